// E2eSupport.h - runs the installer from media built by mksite inside the isolated
// root (tools/sandbox/run-isolated). Each Box owns a fresh state directory under /tmp;
// a site is built straight into the root it sees (at /site), so the installer runs from
// it as an administrator would. Everything the installer writes lands in the state
// directory, which the Box removes when it goes away.
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "NlsSetup.h"

namespace e2e {

namespace fs = std::filesystem;

// Every run ends within this many seconds: a prompt that waits for an answer that
// never comes fails the test instead of hanging it.
constexpr int RUN_TIMEOUT = 60;

inline std::string Quote(const std::string &s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

inline std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteFile(const std::string &path, const std::string &text, mode_t mode = 0644) {
    fs::create_directories(fs::path(path).parent_path());
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
    }
    chmod(path.c_str(), mode);
}

inline bool Exists(const std::string &path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

inline bool IsLink(const std::string &path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

inline bool IsDir(const std::string &path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Permission bits of a path (not following a link); -1 when it is missing.
inline int Mode(const std::string &path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0)
        return -1;
    return static_cast<int>(st.st_mode & 07777);
}

inline std::string LinkTarget(const std::string &path) {
    std::error_code ec;
    fs::path t = fs::read_symlink(path, ec);
    return ec ? std::string() : t.string();
}

inline size_t Count(const std::string &text, const std::string &needle) {
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size()))
        ++n;
    return n;
}

inline std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The command lines of a log, in the order they ran, each reduced to the program's
// base name, its flags and its operands with single blanks: "/usr/bin/sh -c
// "/usr/bin/chmod  755 /x" becomes "chmod 755 /x". Other log lines are left out.
inline std::vector<std::string> LoggedCommands(const std::string &log) {
    std::vector<std::string> commands;
    for (const std::string &line : Lines(log)) {
        size_t c = line.find(" -c \"");
        if (line.empty() || line[0] != '/' || c == std::string::npos ||
            line.compare(c - 3, 3, "/sh") != 0)
            continue;
        std::string rest = line.substr(c + 5);
        std::istringstream words(rest);
        std::string word, out;
        bool first = true;
        while (words >> word) {
            if (first && word.find('/') != std::string::npos)
                word = word.substr(word.rfind('/') + 1);
            out += (first ? "" : " ") + word;
            first = false;
        }
        commands.push_back(out);
    }
    return commands;
}

inline bool Has(const std::vector<std::string> &lines, const std::string &line) {
    for (const std::string &l : lines)
        if (l == line)
            return true;
    return false;
}

inline std::string Join(const std::vector<std::string> &lines) {
    std::string all;
    for (const std::string &l : lines)
        all += l + "\n";
    return all;
}

// Message n of a built-in table filled with the arguments, as the installer prints it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
inline std::string Msg(const char *const *table, int n, ...) {
    va_list ap, again;
    va_start(ap, n);
    va_copy(again, ap);
    int size = vsnprintf(nullptr, 0, table[n], ap);
    va_end(ap);
    std::string text(size > 0 ? static_cast<size_t>(size) : 0u, '\0');
    if (size > 0)
        vsnprintf(text.data(), text.size() + 1, table[n], again);
    va_end(again);
    return text;
}
#pragma GCC diagnostic pop

struct Result {
    int status = -1;  // exit status of the command inside (124 after the timeout)
    std::string out;  // its standard output
    std::string err;  // its standard error
    std::string Both() const { return "stdout:\n" + out + "\nstderr:\n" + err; }
};

// A product tree for mksite: files and a package list.
class Product {
public:
    explicit Product(const std::string &dir) : dir_(dir) { fs::create_directories(dir_); }
    const std::string &Dir() const { return dir_; }
    Product &File(const std::string &name, const std::string &text, mode_t mode = 0644) {
        WriteFile(dir_ + "/" + name, text, mode);
        return *this;
    }
    Product &List(const std::string &text) { return File("pkg.list", text); }

    // The programs of the package the installer starts or the spoolers call: each
    // records its arguments beside itself, so a test sees how it was called.
    Product &Tools() {
        File("kvqadmin", "#!/bin/sh\necho \"kvqadmin $*\" >> \"`dirname \"$0\"`/kvqadmin.calls\"\n", 0755);
        File("kvrdorvtty", "#!/bin/sh\necho \"kvrdorvtty $*\" >> \"`dirname \"$0\"`/print.calls\"\n", 0755);
        File("ksf", "#!/bin/sh\necho \"ksf $*\" >> \"`dirname \"$0\"`/print.calls\"\n", 0755);
        File("kelvra", "#!/bin/sh\necho \"kelvra in `pwd` from $KelvraFileSourceDir: $*\"\n", 0755);
        return *this;
    }

private:
    std::string dir_;
};

class Box {
public:
    Box() {
        char tmpl[] = "/tmp/e2e.XXXXXX";
        if (mkdtemp(tmpl)) {
            dir_ = tmpl;
            fs::create_directories(State() + "/root");
        }
    }
    ~Box() {
        std::error_code ec;
        if (!dir_.empty())
            fs::remove_all(dir_, ec);
    }
    Box(const Box &) = delete;
    Box &operator=(const Box &) = delete;

    bool Ok() const { return !dir_.empty(); }
    std::string State() const { return dir_ + "/state"; }
    // Where a path of the isolated root is kept (and may be prepared before a run).
    std::string Root(const std::string &inner) const { return State() + "/root" + inner; }
    // Private scratch space, not seen inside.
    std::string Scratch(const std::string &name) const { return dir_ + "/scratch/" + name; }

    // The demo product of the repository (its list uses every command), copied so a
    // test may change it.
    Product Demo(const std::string &name = "demo") const {
        std::string dir = Scratch(name);
        fs::create_directories(fs::path(dir).parent_path());
        fs::copy(std::string(SOURCE_DIR) + "/examples/demo-product", dir,
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        return Product(dir);
    }
    // A small product: the package's programs and the given list.
    Product Small(const std::string &list, const std::string &name = "small") const {
        Product p(Scratch(name));
        p.Tools().List(list);
        return p;
    }

    // Builds media with mksite into the root at `inner`, where the installer finds
    // the site.
    bool Mksite(const Product &product, const std::string &inner = "/site",
                const std::vector<std::string> &options = {}) const {
        return MksiteTo(product, Root(inner), options);
    }
    // The same into a host directory (with "--diskettes": disk1, disk2, ... in it).
    bool MksiteTo(const Product &product, const std::string &out, const std::vector<std::string> &options = {}) const {
        std::string cmd = Quote(std::string(BINARY_DIR) + "/mksite");
        for (const std::string &o : options)
            cmd += " " + Quote(o);
        cmd += " " + Quote(product.Dir()) + " " + Quote(out) + " >/dev/null 2>&1";
        return system(cmd.c_str()) == 0;
    }

    // Replaces the archive of the single-piece site at `inner` with the product as it
    // is now, packed as the media builder packs it but without its checks.
    bool Repack(const Product &product, const std::string &inner = "/site") const {
        std::string piece = Root(inner + "/pkg_tar.z1");
        std::string cmd = "tar -C " + Quote(product.Dir()) + " -cf - . | compress -c > " + Quote(piece);
        return system(cmd.c_str()) == 0 && ReadFile(Root(inner + "/disks")).find("pkg_tar.z2") == std::string::npos;
    }

    // A command of the isolated root replaced by a script (the installer looks in
    // /usr/bin before the PATH).
    void FakeCommand(const std::string &name, const std::string &script) const {
        WriteFile(Root("/usr/bin/" + name), "#!/bin/sh\n" + script, 0755);
    }
    // uname answering -r with the given release.
    void FakeRelease(const std::string &release) const {
        FakeCommand("uname", "case \"$1\" in -r) echo '" + release + "' ;; *) echo SunOS ;; esac\n");
    }

    // Runs a command inside: the runner's options, then the command; `input` is its
    // standard input.
    Result Run(const std::vector<std::string> &command, const std::string &input = "",
               const std::vector<std::string> &options = {}, const std::string &cwd = "/site") const {
        std::string in = Scratch("stdin"), out = Scratch("stdout"), err = Scratch("stderr");
        WriteFile(in, input);
        std::string cmd = Quote(std::string(SOURCE_DIR) + "/tools/sandbox/run-isolated") + " --state " +
                          Quote(State()) + " --cwd " + Quote(cwd) + " --timeout " + std::to_string(RUN_TIMEOUT);
        for (const std::string &o : options)
            cmd += " " + Quote(o);
        cmd += " --";
        for (const std::string &a : command)
            cmd += " " + Quote(a);
        cmd += " <" + Quote(in) + " >" + Quote(out) + " 2>" + Quote(err);
        Result r;
        int st = system(cmd.c_str());
        if (st != -1 && WIFEXITED(st))
            r.status = WEXITSTATUS(st);
        r.out = ReadFile(out);
        r.err = ReadFile(err);
        return r;
    }
    // setup of the site at /site with the given arguments.
    Result Setup(const std::vector<std::string> &args, const std::string &input = "",
                 const std::vector<std::string> &options = {}) const {
        std::vector<std::string> command{"./setup"};
        command.insert(command.end(), args.begin(), args.end());
        return Run(command, input, options);
    }
    // sh -c script inside, from /site.
    Result Sh(const std::string &script, const std::string &input = "",
              const std::vector<std::string> &options = {}) const {
        return Run({"sh", "-c", script}, input, options);
    }

    std::string Log() const { return ReadFile(Root("/tmp/setup.log")); }

private:
    std::string dir_;
};

// A host that already holds the product would show through the isolated root.
inline bool HostIsClean() {
    return !Exists("/usr/bin/kelvra") && !Exists("/bin/kelvra") && !Exists("/opt/Talvo") &&
           !Exists("/var/sadm/pkg/MRGWdorv") && !Exists("/var/spool/Talvo");
}

// The tests need root (the runner builds namespaces and mounts) and a host without
// the product.
// A sanitized installer is several times larger than a diskette holds, so mksite
// rightly refuses to put it on one: diskette sets are made only by the plain build.
#if defined(__SANITIZE_ADDRESS__)
#define E2E_NEEDS_DISKETTE_SIZED_INSTALLER() \
    GTEST_SKIP() << "the sanitized installer does not fit a diskette"
#else
#define E2E_NEEDS_DISKETTE_SIZED_INSTALLER() (void)0
#endif

#define E2E_PRECONDITIONS(box)                                                     \
    do {                                                                           \
        if (geteuid() != 0)                                                        \
            GTEST_SKIP() << "the isolated root needs root";                        \
        if (!::e2e::HostIsClean())                                                 \
            GTEST_SKIP() << "the host holds the product; results would mix";      \
        ASSERT_TRUE((box).Ok());                                                   \
    } while (0)

// The small product's list: the package's programs, a launcher and a link.
inline const char *const SMALL_LIST =
    "c kvqadmin mode 755\n"
    "c kvrdorvtty mode 755\n"
    "c ksf mode 755\n"
    "c kelvra mode 755 bat kelvra\n"
    "s kelvra link /usr/bin/kelvra-tool\n";

}  // namespace e2e
