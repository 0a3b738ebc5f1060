// mksite - builds an installation site, or a diskette set, from a product tree.
//
//   mksite [--diskettes] [--piece-size BYTES] [--setup FILE] [--help-file FILE]
//          PRODUCT_DIR OUT_DIR
//
// The product tree holds "pkg.list" and the files it names. The tree is packed into
// the tar archive "SolarisDorv.tar", compressed with compress into
// "SolarisDorv.tar.Z" and cut into pieces "pkg_tar.z1", "pkg_tar.z2", ... of the
// piece size. Beside them come the media list "disks", "isize" and "tsize" (in
// kilobytes, as df and du print them), "installf.rom" and copies of setup and its
// help file. Without --diskettes OUT_DIR is the site; with it OUT_DIR receives one
// directory per diskette (disk1, disk2, ...) holding the files of its line.
//
// Everything is built in a temporary directory beside OUT_DIR and renamed into place
// only when complete, so a failure never leaves a site that looks whole.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Buffers.h"
#include "Files.h"
#include "PkgListParse.h"

namespace {

constexpr long kDisketteBytes = 1457664;  // a formatted 1.44 MB DOS diskette
constexpr long kMinPiece = 4096;
constexpr char kArchive[] = "SolarisDorv.tar";

[[noreturn]] void Fail(const std::string &message) {
    fprintf(stderr, "mksite: %s\n", message.c_str());
    exit(1);
}

std::string SysText() { return strerror(errno); }

// Quotes a value for sh: single quotes, each ' written '\''.
std::string Quote(const std::string &value) {
    std::string out = "'";
    for (char c : value) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

bool Run(const std::string &line) {
    int status = system(line.c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool IsDir(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

long FileSize(const std::string &path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return -1;
    return static_cast<long>(st.st_size);
}

// Kilobytes a tree takes, counted the way "du -sk" counts (allocated blocks).
long TreeKilobytes(const std::string &path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0)
        return 0;
    long kb = static_cast<long>(st.st_blocks) / 2;
    if (S_ISDIR(st.st_mode)) {
        DIR *d = opendir(path.c_str());
        if (!d)
            Fail("cannot read " + path + ": " + SysText());
        while (dirent *e = readdir(d)) {
            if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0)
                continue;
            kb += TreeKilobytes(path + "/" + e->d_name);
        }
        closedir(d);
    }
    return kb;
}

void WriteFile(const std::string &path, const std::string &text) {
    FILE *f = fopen(path.c_str(), "w");
    if (!f)
        Fail("cannot write " + path + ": " + SysText());
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = fflush(f) == 0 && ok;
    ok = fsync(fileno(f)) == 0 && ok;
    ok = fclose(f) == 0 && ok;
    if (!ok)
        Fail("cannot write " + path + ": " + SysText());
}

void CopyFile(const std::string &from, const std::string &to) {
    if (!Run("cp " + Quote(from) + " " + Quote(to)))
        Fail("cannot copy " + from + " to " + to);
}

// The number of physical lines a line of GetFileLine was read from: it keeps the
// newline of each, and lines that end in a backslash are joined with the next.
int PhysicalLines(const char *text) {
    int n = 0;
    const char *p = text;
    for (; *p; ++p)
        n += *p == '\n';
    return p > text && p[-1] != '\n' ? n + 1 : n;
}

// The package list is read as the installer reads it: its lines by GetFileLine,
// their words by ParsePkgLine. A line the installer would stop short on (a
// command without a word it needs) or could not read whole is refused with the
// number of its first physical line; a list that runs no command is refused too.
void CheckPackageList(const std::string &path) {
    if (!OpenInputFile(path.c_str(), 0))
        Fail("cannot read the package list " + path + ": " + SysText());
    auto line = std::make_unique<PkgLine>();
    int number = 0;
    int commands = 0;
    std::string problems;
    long before = 0;
    while (GetFileLine()) {
        std::string at = "line " + std::to_string(number + 1) + ": ";
        long after = ftell(pIn);
        long stored = static_cast<long>(strlen(LineBuf));
        if (before >= 0 && after >= 0 && after - before > stored) {
            // the installer would not see all of it; the numbers of later lines are unknown
            if (after - before > LINEBUF_SIZE - 1)
                problems += at + "longer than " + std::to_string(LINEBUF_SIZE - 1) + " characters\n";
            else
                problems += at + "holds a NUL byte\n";
            CloseInputFile();
            break;
        }
        before = after;
        number += PhysicalLines(LineBuf);
        int missing = ParsePkgLine(LineBuf, line.get());
        if (missing != PKMISS_NONE)
            problems += at + PkgLineMissing(missing) + " is missing: " +
                        std::string(LineBuf, strcspn(LineBuf, "\r\n")) + "\n";
        else if (line->command != PK_NONE && line->command != PK_COMMENT)
            ++commands;
    }
    if (!problems.empty())
        Fail("malformed package list " + path + ":\n" + problems);
    if (commands == 0)
        Fail("the package list " + path + " holds no command");
}

std::string SelfDir() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return ".";
    buf[n] = '\0';
    std::string path(buf);
    return path.substr(0, path.rfind('/'));
}

void Usage() {
    fprintf(stderr,
            "usage: mksite [--diskettes] [--piece-size BYTES] [--setup FILE] [--help-file FILE]\n"
            "              PRODUCT_DIR OUT_DIR\n");
    exit(2);
}

std::string TempDir;
void RemoveTemp() {
    if (!TempDir.empty())
        Run("rm -rf " + Quote(TempDir));
}

}  // namespace

int main(int argc, char **argv) {
    bool diskettes = false;
    long pieceSize = 0;
    std::string setupFile = SelfDir() + "/setup";
    std::string helpFile = SelfDir() + "/setup.hlp";
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--diskettes") {
            diskettes = true;
        } else if (a == "--piece-size" && i + 1 < argc) {
            char *end = nullptr;
            errno = 0;
            pieceSize = strtol(argv[++i], &end, 10);
            if (errno != 0 || *end != '\0' || pieceSize < 1)
                Fail(std::string("bad piece size: ") + argv[i]);
        } else if (a == "--setup" && i + 1 < argc) {
            setupFile = argv[++i];
        } else if (a == "--help-file" && i + 1 < argc) {
            helpFile = argv[++i];
        } else if (a == "-h" || a == "--help") {
            Usage();
        } else if (!a.empty() && a[0] == '-') {
            Usage();
        } else {
            args.push_back(a);
        }
    }
    if (args.size() != 2)
        Usage();
    std::string product = args[0];
    std::string out = args[1];
    while (out.size() > 1 && out.back() == '/')
        out.pop_back();

    if (!IsDir(product) || access(product.c_str(), R_OK | X_OK) != 0)
        Fail("cannot read the product tree " + product);
    CheckPackageList(product + "/pkg.list");
    if (FileSize(setupFile) < 0)
        Fail("cannot find the installer " + setupFile + " (use --setup)");
    if (FileSize(helpFile) < 0)
        Fail("cannot find the help file " + helpFile + " (use --help-file)");
    struct stat st {};
    if (lstat(out.c_str(), &st) == 0)
        Fail(out + " exists already; remove it or name another directory");

    std::string parent = out.find('/') == std::string::npos ? "." : out.substr(0, out.rfind('/'));
    if (parent.empty())
        parent = "/";
    std::string pattern = parent + "/.mksite.XXXXXX";
    std::vector<char> tmpl(pattern.begin(), pattern.end());
    tmpl.push_back('\0');
    if (!mkdtemp(tmpl.data()))
        Fail("cannot create a directory in " + parent + ": " + SysText());
    TempDir = tmpl.data();
    atexit(RemoveTemp);
    std::string work = TempDir + "/site";
    if (mkdir(work.c_str(), 0755) != 0)
        Fail("cannot create " + work + ": " + SysText());

    // The archive: the product tree as "./...", compressed.
    std::string tar = work + "/" + kArchive;
    if (!Run("tar -C " + Quote(product) + " -cf " + Quote(tar) + " ."))
        Fail("cannot pack " + product + " (tar failed)");
    long tarBytes = FileSize(tar);
    if (!Run("compress -f " + Quote(tar)))
        Fail("cannot compress the archive (is ncompress installed?)");
    std::string archive = tar + ".Z";
    long archiveBytes = FileSize(archive);
    if (archiveBytes <= 0)
        Fail("compress left no archive");

    CopyFile(setupFile, work + "/setup");
    CopyFile(helpFile, work + "/setup.hlp");
    WriteFile(work + "/installf.rom", diskettes ? "diskette" : "installation site");
    long productKb = TreeKilobytes(product);
    // The work area holds the pieces, the joined archive, the tar file and the
    // unpacked tree at once.
    long workKb = productKb + (2 * archiveBytes + tarBytes) / 1024 + 1;
    WriteFile(work + "/isize", std::to_string(productKb) + "\n");
    WriteFile(work + "/tsize", std::to_string(workKb) + "\n");

    if (pieceSize == 0) {
        long room = kDisketteBytes - FileSize(work + "/setup") - FileSize(work + "/setup.hlp") - 16384;
        pieceSize = room > kMinPiece ? room : kDisketteBytes - 16384;
    }

    // Cut the archive into pieces.
    std::vector<std::string> pieces;
    {
        FILE *in = fopen(archive.c_str(), "rb");
        if (!in)
            Fail("cannot read " + archive + ": " + SysText());
        std::vector<char> buf(static_cast<size_t>(pieceSize));
        for (int n = 1;; ++n) {
            size_t got = fread(buf.data(), 1, buf.size(), in);
            if (got == 0)
                break;
            std::string name = "pkg_tar.z" + std::to_string(n);
            std::string path = work + "/" + name;
            FILE *f = fopen(path.c_str(), "wb");
            if (!f)
                Fail("cannot write " + path + ": " + SysText());
            bool ok = fwrite(buf.data(), 1, got, f) == got;
            ok = fflush(f) == 0 && ok;
            ok = fclose(f) == 0 && ok;
            if (!ok)
                Fail("cannot write " + path + ": " + SysText());
            pieces.push_back(name);
            if (got < buf.size())
                break;
        }
        bool readError = ferror(in) != 0;
        fclose(in);
        if (readError)
            Fail("cannot read " + archive);
    }
    unlink(archive.c_str());

    // The media list: diskette 1 carries the small files and the first piece.
    std::vector<std::vector<std::string>> lines;
    lines.push_back({"disks", "installf.rom", "isize", "tsize", "setup", "setup.hlp", pieces[0]});
    for (size_t i = 1; i < pieces.size(); ++i)
        lines.push_back({pieces[i]});
    std::string list;
    for (const auto &line : lines) {
        for (size_t i = 0; i < line.size(); ++i)
            list += (i ? " " : "") + line[i];
        list += "\n";
    }
    list += "end_of_list\n";
    WriteFile(work + "/disks", list);

    std::string result = work;
    if (diskettes) {
        std::string set = TempDir + "/set";
        if (mkdir(set.c_str(), 0755) != 0)
            Fail("cannot create " + set + ": " + SysText());
        for (size_t i = 0; i < lines.size(); ++i) {
            std::string disk = set + "/disk" + std::to_string(i + 1);
            if (mkdir(disk.c_str(), 0755) != 0)
                Fail("cannot create " + disk + ": " + SysText());
            for (const auto &name : lines[i])
                CopyFile(work + "/" + name, disk + "/" + name);
        }
        result = set;
    }
    if (!Run("sync"))
        Fail("cannot flush the new files to disk");
    if (rename(result.c_str(), out.c_str()) != 0)
        Fail("cannot move the result to " + out + ": " + SysText());
    printf("%s: %s with %zu piece(s) of at most %ld bytes\n", out.c_str(),
           diskettes ? "diskette set" : "installation site", pieces.size(), pieceSize);
    return 0;
}
