// Receipt.cpp - the receipt of an installation (<AppDir>/.install-receipt), and
// the two operations on an installed system that read it: --verify and --remove.
//
// The receipt is text, one entry per line; a path is written with every blank,
// control character, backslash and byte above 126 as "\ooo" (three octal digits):
//   version V | date YYYY-MM-DDTHH:MM:SSZ | root DIR | package NAME
//   file MODE OWNER GROUP SIZE SHA256 PATH
//   dir  MODE OWNER GROUP - - PATH
//   link MODE OWNER GROUP - - PATH TARGET
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Answers.h"
#include "Errors.h"
#include "Files.h"
#include "Installer.h"
#include "Log.h"
#include "MemMgr.h"
#include "Plan.h"
#include "StrUtils.h"
#include "Sums.h"
#include "SysCmd.h"
#include "SysQuery.h"

namespace {

constexpr char kReceiptName[] = ".install-receipt";

struct Entry {
    std::string type, mode, owner, group, size, hex, path, target;
};

struct Receipt {
    std::string root, package;
    std::vector<Entry> entries;
};

struct FileCloser {
    void operator()(FILE *f) const { fclose(f); }
};
struct DirCloser {
    void operator()(DIR *d) const { closedir(d); }
};

std::string Escape(const std::string &text) {
    std::string out;
    for (unsigned char c : text) {
        if (c <= ' ' || c > '~' || c == '\\') {
            char code[5];
            snprintf(code, sizeof code, "\\%03o", c);
            out += code;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string Unescape(const std::string &text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size()) {
            out += static_cast<char>(strtol(text.substr(i + 1, 3).c_str(), nullptr, 8));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string OwnerName(uid_t uid) {
    struct passwd *pw = getpwuid(uid);
    return pw ? pw->pw_name : std::to_string(uid);
}

std::string GroupName(gid_t gid) {
    struct group *gr = getgrgid(gid);
    return gr ? gr->gr_name : std::to_string(gid);
}

std::string ModeText(mode_t mode) {
    char text[8];
    snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

std::string LinkText(const char *path) {
    char text[4096];
    ssize_t n = readlink(path, text, sizeof text - 1);
    return n < 0 ? std::string() : std::string(text, static_cast<size_t>(n));
}

// The entry of path as it is now; false when it is missing or of another kind.
bool Describe(const std::string &path, Entry *e) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0)
        return false;
    e->path = path;
    e->mode = ModeText(st.st_mode);
    e->owner = OwnerName(st.st_uid);
    e->group = GroupName(st.st_gid);
    e->size = e->hex = e->target = "-";
    if (S_ISDIR(st.st_mode)) {
        e->type = "dir";
    } else if (S_ISLNK(st.st_mode)) {
        e->type = "link";
        e->target = LinkText(path.c_str());
    } else if (S_ISREG(st.st_mode)) {
        e->type = "file";
        e->size = std::to_string(static_cast<long long>(st.st_size));
        char hex[SUM_HEX_SIZE];
        e->hex = FileSum(path.c_str(), hex, sizeof hex) ? hex : "-";
    } else {
        return false;
    }
    return true;
}

bool InsideDir(const std::string &path, const std::string &dir) {
    return path.compare(0, dir.size(), dir) == 0 && (path.size() == dir.size() || path[dir.size()] == '/');
}

// path and, for a tree, everything below it (a directory before its contents).
void Collect(const std::string &path, bool tree, std::set<std::string> &seen, std::vector<Entry> &out) {
    Entry e;
    if (!Describe(path, &e))
        return;
    if (seen.insert(path).second)
        out.push_back(e);
    if (!tree || e.type != "dir")
        return;
    std::unique_ptr<DIR, DirCloser> dir(opendir(path.c_str()));
    if (!dir)
        return;
    std::vector<std::string> names;
    while (dirent *d = readdir(dir.get()))
        if (strcmp(d->d_name, ".") != 0 && strcmp(d->d_name, "..") != 0)
            names.push_back(d->d_name);
    std::sort(names.begin(), names.end());
    for (const std::string &name : names)
        Collect(path + "/" + name, true, seen, out);
}

std::string ReceiptPath(const char *appDir) {
    return std::string(appDir) + "/" + kReceiptName;
}

[[noreturn]] void CouldNotWrite(const std::string &path) {
    fflush(stdout);
    fprintf(stderr, "ERROR: couldn't write %s\n", path.c_str());
    PutLogMsg("ERROR: couldn't write %s\n", path.c_str());
    exit_app(1);
}

// Reads the receipt at path; false when there is none or it cannot be read.
bool ReadReceipt(const std::string &path, Receipt *r) {
    std::unique_ptr<FILE, FileCloser> in(fopen(path.c_str(), "r"));
    if (!in)
        return false;
    char text[16384];
    while (fgets(text, sizeof text, in.get())) {
        std::vector<std::string> w;
        for (char *cur = nullptr, *word = strtok_r(text, " \t\r\n", &cur); word; word = strtok_r(nullptr, " \t\r\n", &cur))
            w.push_back(Unescape(word));
        if (w.size() == 2 && w[0] == "root")
            r->root = w[1];
        else if (w.size() == 2 && w[0] == "package")
            r->package = w[1];
        else if (w.size() >= 7 && (w[0] == "file" || w[0] == "dir" || w[0] == "link"))
            r->entries.push_back(Entry{w[0], w[1], w[2], w[3], w[4], w[5], w[6], w.size() > 7 ? w[7] : "-"});
    }
    return !ferror(in.get());
}

// The install root from DIR (as "install DIR" takes it), an earlier installation,
// or /opt; null (message printed) when it is not a safe install root.
const char *FindRoot(const char *dir) {
    if (dir) {
        char *root = SaveStr_(dir);
        StripToBaseName(root);
        if (root[0] != '/' || !ValidInstallRoot(root)) {
            fprintf(stderr, "ERROR: invalid directory name %s\n", root);
            return nullptr;
        }
        return root;
    }
    const char *previous = LocatePreviousInstallation();
    return SaveStr_(previous ? previous : "/opt");
}

// Finds the installation (FindRoot) and loads its receipt; 2 (message printed)
// when the root is not valid or there is no installation or no usable receipt.
int LoadInstallation(const char *dir, const char **found, Receipt *r) {
    const char *root = *found = FindRoot(dir);
    if (!root)
        return 2;
    MemStr app(SaveStr("%s/%s/%s", root, MAKER, PRODUCT));
    struct stat st {};
    if (stat(app.get(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        fprintf(stderr, "ERROR: no installation of the %s printer software under %s\n", MAKER, root);
        return 2;
    }
    std::string path = ReceiptPath(app.get());
    // Only a receipt this user wrote and no one else can change says what to remove.
    struct stat rs {};
    if (lstat(path.c_str(), &rs) == 0 && (!S_ISREG(rs.st_mode) || rs.st_uid != geteuid() || (rs.st_mode & 022))) {
        fprintf(stderr, "ERROR: %s is not the installer's own (owner or mode changed); it is not used\n",
                path.c_str());
        return 2;
    }
    if (!ReadReceipt(path, r)) {
        fprintf(stderr, "ERROR: the installation under %s has no receipt (%s)\n", root, path.c_str());
        return 2;
    }
    return 0;
}

// The differences of one entry, one line each, counted in *count.
void Compare(const Entry &want, int *count) {
    auto report = [&](const char *what, const std::string &detail) {
        printf("%-16s %s%s\n", what, Escape(want.path).c_str(), detail.c_str());
        ++*count;
    };
    Entry now;
    if (!Describe(want.path, &now)) {
        report("missing", "");
        return;
    }
    if (now.type != want.type) {
        report("changed type", " (" + want.type + ", now " + now.type + ")");
        return;
    }
    if (want.type == "file" && (now.hex != want.hex || now.size != want.size))
        report("changed content", "");
    if (want.type != "link" && now.mode != want.mode)
        report("changed mode", " (" + want.mode + ", now " + now.mode + ")");
    if (now.owner != want.owner || now.group != want.group)
        report("changed owner", " (" + want.owner + ":" + want.group + ", now " + now.owner + ":" + now.group + ")");
    if (want.type == "link" && now.target != want.target)
        report("changed target", " (" + Escape(want.target) + ", now " + Escape(now.target) + ")");
}

}  // namespace

int EarlierReceiptNames(const char *path) {
    static std::set<std::string> earlier;
    static bool read = false;
    if (!read) {
        read = true;
        Receipt r;
        if (ReadReceipt(ReceiptPath(AppDir), &r))
            for (const Entry &e : r.entries)
                earlier.insert(e.path);
    }
    return earlier.count(path) ? 1 : 0;
}

void WriteReceipt() {
    std::string path = ReceiptPath(AppDir);
    if (PlanLine("write %s", path.c_str()))
        return;
    std::string work(pTalvoInstallDir);
    if (work[0] != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd))
            work = std::string(cwd) + "/" + work;
    }
    std::set<std::string> seen{path};
    std::vector<Entry> entries;
    int tree = 0;
    for (int i = 0; const char *p = NotedChange(i, &tree); ++i)
        if (!InsideDir(p, work))
            Collect(p, tree != 0, seen, entries);
    // An upgrade: what the earlier installation made and this run left in place
    // (a directory that existed already, a file no longer shipped) is still the
    // product's.
    Receipt earlier;
    if (ReadReceipt(path, &earlier))
        for (const Entry &e : earlier.entries)
            Collect(e.path, false, seen, entries);
    // In path order (a directory before what it holds): the same system, the same receipt.
    std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) { return a.path < b.path; });

    std::string temp = path + ".new";
    if (ClaimSharedName(temp.c_str()) == SHARED_OWN)
        unlink(temp.c_str());
    int fd = CreateSharedFile(temp.c_str(), 0644);
    std::unique_ptr<FILE, FileCloser> out(fd >= 0 ? fdopen(fd, "w") : nullptr);
    if (!out) {
        if (fd >= 0)
            close(fd);
        CouldNotWrite(temp);
    }
    time_t now = time(nullptr);
    struct tm utc {};
    gmtime_r(&now, &utc);
    char date[32];
    strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%SZ", &utc);
    bool written = fprintf(out.get(), "# %s printer software: what the installation made\nversion %s\ndate %s\n"
                           "root %s\npackage MRGW%s\n", MAKER, SETUP_VERSION, date,
                           Escape(pInstallDir).c_str(), PRODUCT) >= 0;
    for (const Entry &e : entries) {
        written = fprintf(out.get(), "%s %s %s %s %s %s %s", e.type.c_str(), e.mode.c_str(), Escape(e.owner).c_str(),
                          Escape(e.group).c_str(), e.size.c_str(), e.hex.c_str(), Escape(e.path).c_str()) >= 0 &&
                  written;
        if (e.type == "link")
            written = fprintf(out.get(), " %s", Escape(e.target).c_str()) >= 0 && written;
        written = fputc('\n', out.get()) != EOF && written;
    }
    written = fflush(out.get()) == 0 && fsync(fileno(out.get())) == 0 && written;
    written = fclose(out.release()) == 0 && written;
    if (!written || rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        CouldNotWrite(path);
    }
}

int VerifyInstallation(const char *dir) {
    const char *root = nullptr;
    Receipt r;
    if (int status = LoadInstallation(dir, &root, &r))
        return status;
    int count = 0;
    for (const Entry &e : r.entries)
        Compare(e, &count);
    printf("%d difference%s in %zu entries of the installation under %s\n", count, count == 1 ? "" : "s",
           r.entries.size(), root);
    return count ? 1 : 0;
}

namespace {

// Removal of one installation; the paths taken away (or planned so) are known, so
// that a directory whose entries all went is seen empty in a dry run too.
struct Removal {
    std::set<std::string> gone;
    std::vector<std::string> kept;
    bool failed = false;

    void Fail(const char *what, const std::string &path) {
        fprintf(stderr, "ERROR: couldn't %s %s: %s\n", what, path.c_str(), strerror(errno));
        PutLogMsg("ERROR: couldn't %s %s: %s\n", what, path.c_str(), strerror(errno));
        failed = true;
    }

    void Unlink(const std::string &path) {
        if (!PlanLine("rm %s", path.c_str()) && unlink(path.c_str()) != 0) {
            Fail("remove", path);
            return;
        }
        PutLogMsg("removed %s\n", path.c_str());
        gone.insert(path);
    }

    // A changed file stays, under its name with ".saved" (".saved.N" when taken).
    void Keep(const std::string &path) {
        std::string saved = path + ".saved";
        struct stat st {};
        for (int n = 1; lstat(saved.c_str(), &st) == 0; ++n)
            saved = path + ".saved." + std::to_string(n);
        if (!PlanLine("mv %s %s", path.c_str(), saved.c_str()) && rename(path.c_str(), saved.c_str()) != 0) {
            Fail("keep", path);
            return;
        }
        kept.push_back(saved + " (changed since the installation)");
    }

    bool Empty(const std::string &path) {
        std::unique_ptr<DIR, DirCloser> d(opendir(path.c_str()));
        if (!d)
            return false;
        while (dirent *e = readdir(d.get()))
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0 && !gone.count(path + "/" + e->d_name))
                return false;
        return true;
    }

    void Remove(const Entry &want) {
        Entry now;
        if (!Describe(want.path, &now))
            return;  // already gone
        if (now.type != want.type) {
            kept.push_back(want.path + " (now a " + now.type + ", not installed)");
            return;
        }
        if (want.type == "file") {
            if (now.hex != want.hex || now.size != want.size)
                Keep(want.path);
            else
                Unlink(want.path);
        } else if (want.type == "link") {
            if (now.target != want.target)
                kept.push_back(want.path + " (points elsewhere since the installation)");
            else
                Unlink(want.path);
        } else if (!Empty(want.path)) {
            if (InsideDir(want.path, std::string("/var/spool/") + MAKER))
                printf("The spool directory %s still holds jobs; it is left in place.\n", want.path.c_str());
            kept.push_back(want.path + " (holds files not installed)");
        } else if (!PlanLine("rmdir %s", want.path.c_str()) && rmdir(want.path.c_str()) != 0) {
            Fail("remove", want.path);
        } else {
            PutLogMsg("removed %s\n", want.path.c_str());
            gone.insert(want.path);
        }
    }
};

size_t Depth(const std::string &path) {
    return static_cast<size_t>(std::count(path.begin(), path.end(), '/'));
}

}  // namespace

int RemoveInstallation(const char *dir) {
    const char *root = nullptr;
    Receipt r;
    if (int status = LoadInstallation(dir, &root, &r))
        return status;
    if (!AskYN(ANS_REMOVE_INSTALLATION, "Remove the %s printer software from %s", MAKER, root)) {
        printf("Nothing was removed.\n");
        return 0;
    }
    StopDemon();
    Removal run;
    // A package that stays registered leaves everything in place, to try again.
    if (!r.package.empty() && MemStr(GetSysPkgList(r.package.c_str())) &&
        SysCmd(-CMD_PKGRM, SYSCMD_WARN, "%s", ShQuote(r.package.c_str())) != 0)
        run.failed = true;

    // Deepest first, so a directory comes after what it holds; the receipt itself
    // goes with the files, before its directory.
    std::vector<Entry> entries = r.entries;
    MemStr app(SaveStr("%s/%s/%s", root, MAKER, PRODUCT));
    entries.push_back(Entry{"file", "-", "-", "-", "-", "-", ReceiptPath(app.get()), "-"});
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry &a, const Entry &b) { return Depth(a.path) > Depth(b.path); });
    for (const Entry &e : entries) {
        if (run.failed)
            break;  // the receipt stays for another try
        if (e.path == ReceiptPath(app.get()))
            run.Unlink(e.path);
        else
            run.Remove(e);
    }
    for (const std::string &k : run.kept)
        printf("kept: %s\n", k.c_str());
    if (run.failed) {
        MemStr log(GetLogFileName());
        fprintf(stderr, "ERROR: the removal from %s is incomplete; see %s\n", root, log ? log.get() : "the log");
        return 1;
    }
    printf("The %s printer software was removed from %s.\n", MAKER, root);
    return 0;
}
