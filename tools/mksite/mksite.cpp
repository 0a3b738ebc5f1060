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
// help file, and the checksum list "pkg.sums" of every file but "installf.rom" (the
// form "sha256sum -c" reads). Without --diskettes OUT_DIR is the site; with it
// OUT_DIR receives one directory per diskette (disk1, disk2, ...) holding the files
// of its line, and "pkg.sums" on the first lists the files of every diskette.
//
// Everything is built in a temporary directory beside OUT_DIR and renamed into place
// only when complete; a failure or an interruption removes it, so nothing is left
// behind. The installer
// goes onto the media without its debug information. The installer reads only the
// first LINEBUF_SIZE - 1 bytes of the media list, so a piece size that makes the
// list longer is refused, and so is a diskette set whose first diskette cannot hold
// its files. Programs (tar, compress, cp, strip) start only through Run, without a
// shell.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Buffers.h"
#include "Files.h"
#include "PkgListParse.h"
#include "Sums.h"

namespace {

constexpr long kDisketteBytes = 1457664;  // a formatted 1.44 MB DOS diskette
constexpr long kDisketteCluster = 512;  // what each file takes is rounded up to this
constexpr long kMinPiece = 4096;
constexpr long kListLimit = LINEBUF_SIZE - 1;  // the bytes of the media list the installer reads
constexpr char kArchive[] = "SolarisDorv.tar";

[[noreturn]] void Fail(const std::string &message) {
    fprintf(stderr, "mksite: %s\n", message.c_str());
    exit(1);
}

std::string SysText() { return strerror(errno); }

// The directory the result is built in; removed at exit, whatever the outcome.
std::string TempDir;
void RemoveTemp() {
    std::error_code ec;
    if (!TempDir.empty())
        std::filesystem::remove_all(TempDir, ec);
    TempDir.clear();
}

// A signal that would end the program is held back while the result is built and
// acted on between steps, so the temporary directory goes before the program does.
// The programs started keep the mask the tool was started with.
constexpr int kEndingSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};
sigset_t HeldSignals, StartMask;

void HoldSignals() {
    sigemptyset(&HeldSignals);
    for (int s : kEndingSignals)
        sigaddset(&HeldSignals, s);
    sigprocmask(SIG_BLOCK, &HeldSignals, &StartMask);
}

void StopIfInterrupted() {
    sigset_t pending;
    if (sigpending(&pending) != 0)
        return;
    for (int s : kEndingSignals) {
        if (sigismember(&pending, s) && sigismember(&HeldSignals, s)) {
            RemoveTemp();
            sigprocmask(SIG_UNBLOCK, &HeldSignals, nullptr);  // the signal takes effect here
            Fail("interrupted");
        }
    }
}

// Starts a program (looked up in PATH) with the given arguments and waits for it:
// the one place this tool starts programs. True when it exits with status 0.
bool Run(const std::vector<std::string> &args) {
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawnattr_t attr;
    if (posix_spawnattr_init(&attr) != 0)
        return false;
    posix_spawnattr_setsigmask(&attr, &StartMask);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
    pid_t pid = 0;
    int started = posix_spawnp(&pid, argv[0], nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (started != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return false;
    StopIfInterrupted();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A path the programs Run starts cannot take for an option.
std::string NotAnOption(const std::string &path) { return !path.empty() && path[0] == '-' ? "./" + path : path; }

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
    if (!Run({"cp", from, to}))
        Fail("cannot copy " + from + " to " + to);
}

bool IsElf(const std::string &path) {
    char magic[4] = {};
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    bool elf = fread(magic, 1, sizeof magic, f) == sizeof magic && memcmp(magic, "\x7f" "ELF", 4) == 0;
    fclose(f);
    return elf;
}

// The installer goes onto the media without its debug information, which would
// otherwise take most of a diskette; a file that is not a program is copied as it is.
void CopyInstaller(const std::string &from, const std::string &to) {
    if (!IsElf(from)) {
        CopyFile(from, to);
        return;
    }
    if (!Run({"strip", "--strip-debug", "-o", to, from}))
        Fail("cannot copy " + from + " without its debug information (strip failed)");
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

// A piece size is a whole number of bytes, at least 1; one too large to be held is
// simply larger than any archive, so the archive stays one piece.
long ParsePieceSize(const char *text) {
    char *end = nullptr;
    errno = 0;
    long size = strtol(text, &end, 10);
    bool digits = text[0] >= '0' && text[0] <= '9' && *end == '\0';
    if (digits && errno == ERANGE)
        return LONG_MAX;
    if (!digits || errno != 0 || size < 1)
        Fail(std::string("bad piece size: ") + text + " (a whole number of bytes, at least 1)");
    return size;
}

// The result is built beside OUT_DIR; inside the product tree it would be packed
// into its own archive.
void RefuseOutputInsideProduct(const std::string &product, const std::string &parent) {
    struct stat prod {};
    if (stat(product.c_str(), &prod) != 0)
        Fail("cannot read the product tree " + product);
    char resolved[PATH_MAX];
    if (!realpath(parent.c_str(), resolved))
        Fail("cannot use the directory " + parent + ": " + SysText());
    for (std::string dir = resolved;;) {
        struct stat st {};
        if (stat(dir.c_str(), &st) == 0 && st.st_dev == prod.st_dev && st.st_ino == prod.st_ino)
            Fail("the output directory must lie outside the product tree " + product);
        if (dir == "/")
            return;
        size_t slash = dir.rfind('/');
        dir = slash == 0 ? "/" : dir.substr(0, slash);
    }
}

// The media list of a set of `pieces` pieces: diskette 1 carries the small files
// and the first piece, every other diskette one piece.
std::vector<std::vector<std::string>> MediaLines(long pieces) {
    std::vector<std::vector<std::string>> lines;
    lines.push_back({"disks", "installf.rom", "isize", "tsize", "setup", "setup.hlp", "pkg_tar.z1"});
    for (long i = 2; i <= pieces; ++i)
        lines.push_back({"pkg_tar.z" + std::to_string(i)});
    return lines;
}

std::string MediaListText(const std::vector<std::vector<std::string>> &lines) {
    std::string list;
    for (const auto &line : lines) {
        for (size_t i = 0; i < line.size(); ++i)
            list += (i ? " " : "") + line[i];
        list += "\n";
    }
    return list + "end_of_list\n";
}

long PieceCount(long archiveBytes, long pieceSize) { return (archiveBytes - 1) / pieceSize + 1; }

// Refuses a piece size that makes the media list longer than the installer reads,
// naming the smallest piece size whose list fits.
void CheckListFits(long archiveBytes, long pieceSize) {
    long pieces = PieceCount(archiveBytes, pieceSize);
    if (static_cast<long>(MediaListText(MediaLines(pieces)).size()) <= kListLimit)
        return;
    long most = 1;
    while (static_cast<long>(MediaListText(MediaLines(most + 1)).size()) <= kListLimit)
        ++most;
    long smallest = (archiveBytes + most - 1) / most;
    Fail("a piece size of " + std::to_string(pieceSize) + " bytes cuts the archive of " +
         std::to_string(archiveBytes) + " bytes into " + std::to_string(pieces) +
         " pieces, more than the media list can name (the installer reads " + std::to_string(kListLimit) +
         " bytes of it); the smallest workable piece size is " + std::to_string(smallest) + " bytes");
}

long OnDiskette(long bytes) { return (bytes + kDisketteCluster - 1) / kDisketteCluster * kDisketteCluster; }

// The files "pkg.sums" lists: every file of the media but "installf.rom".
std::vector<std::string> SummedNames(const std::vector<std::vector<std::string>> &lines) {
    std::vector<std::string> names;
    for (const auto &line : lines)
        for (const auto &name : line)
            if (name != "installf.rom")
                names.push_back(name);
    return names;
}

// The size of the checksum list of the media, known before the pieces are cut.
long SumsBytes(const std::vector<std::vector<std::string>> &lines) {
    long bytes = 0;
    for (const auto &name : SummedNames(lines))
        bytes += SUM_HEX_SIZE - 1 + 2 + static_cast<long>(name.size()) + 1;
    return bytes;
}

std::string SumsText(const std::string &work, const std::vector<std::vector<std::string>> &lines) {
    std::string text;
    for (const auto &name : SummedNames(lines)) {
        char hex[SUM_HEX_SIZE];
        if (!FileSum((work + "/" + name).c_str(), hex, sizeof hex))
            Fail("cannot read " + work + "/" + name + ": " + SysText());
        text += std::string(hex) + "  " + name + "\n";
    }
    return text;
}

// Refuses a diskette set whose first diskette cannot hold the installer, its help
// file, the small files (the checksum list among them) and the first piece (the
// largest, so every other one fits).
void CheckFirstDiskette(const std::string &work, long firstPiece, long sumsBytes) {
    long setup = OnDiskette(FileSize(work + "/setup"));
    long help = OnDiskette(FileSize(work + "/setup.hlp"));
    long small = OnDiskette(sumsBytes);
    for (const char *name : {"disks", "installf.rom", "isize", "tsize"})
        small += OnDiskette(FileSize(work + "/" + name));
    long piece = OnDiskette(firstPiece);
    long total = setup + help + small + piece;
    if (total <= kDisketteBytes)
        return;
    long room = (kDisketteBytes - setup - help - small) / kDisketteCluster * kDisketteCluster;
    std::string advice = room >= kDisketteCluster
                             ? "; a piece size of at most " + std::to_string(room) + " bytes fits"
                             : "; the installer and its help file leave no room for a piece";
    Fail("diskette 1 cannot hold its files: the installer takes " + std::to_string(setup) +
         " bytes, its help file " + std::to_string(help) + ", the small files " + std::to_string(small) +
         " and the first piece " + std::to_string(piece) + ", together " + std::to_string(total) +
         " bytes of the diskette's " + std::to_string(kDisketteBytes) + advice);
}

void WritePiece(const std::string &path, FILE *in, long bytes) {
    std::unique_ptr<FILE, int (*)(FILE *)> out(fopen(path.c_str(), "wb"), fclose);
    if (!out)
        Fail("cannot write " + path + ": " + SysText());
    std::vector<char> buf(65536);
    while (bytes > 0) {
        size_t want = static_cast<size_t>(std::min<long>(bytes, static_cast<long>(buf.size())));
        size_t got = fread(buf.data(), 1, want, in);
        if (got != want)
            Fail("cannot read the compressed archive");
        if (fwrite(buf.data(), 1, got, out.get()) != got)
            Fail("cannot write " + path + ": " + SysText());
        bytes -= static_cast<long>(got);
        StopIfInterrupted();
    }
    if (fflush(out.get()) != 0 || fclose(out.release()) != 0)
        Fail("cannot write " + path + ": " + SysText());
}

// Cuts the archive into pieces of pieceSize bytes (the last one shorter), copying
// through a small buffer whatever the piece size.
std::vector<std::string> CutPieces(const std::string &archive, long archiveBytes, long pieceSize,
                                   const std::string &work) {
    std::unique_ptr<FILE, int (*)(FILE *)> in(fopen(archive.c_str(), "rb"), fclose);
    if (!in)
        Fail("cannot read " + archive + ": " + SysText());
    std::vector<std::string> pieces;
    for (long left = archiveBytes; left > 0; left -= std::min(left, pieceSize)) {
        std::string name = "pkg_tar.z" + std::to_string(pieces.size() + 1);
        WritePiece(work + "/" + name, in.get(), std::min(left, pieceSize));
        pieces.push_back(name);
    }
    return pieces;
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
            pieceSize = ParsePieceSize(argv[++i]);
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
    std::string product = NotAnOption(args[0]);
    std::string out = NotAnOption(args[1]);
    setupFile = NotAnOption(setupFile);
    helpFile = NotAnOption(helpFile);
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
    RefuseOutputInsideProduct(product, parent);
    HoldSignals();
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
    if (!Run({"tar", "-C", product, "-cf", tar, "."}))
        Fail("cannot pack " + product + " (tar failed)");
    long tarBytes = FileSize(tar);
    if (!Run({"compress", "-f", tar}))
        Fail("cannot compress the archive (is ncompress installed?)");
    std::string archive = tar + ".Z";
    long archiveBytes = FileSize(archive);
    if (archiveBytes <= 0)
        Fail("compress left no archive");

    CopyInstaller(setupFile, work + "/setup");
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
    pieceSize = std::min(pieceSize, archiveBytes);
    CheckListFits(archiveBytes, pieceSize);
    auto lines = MediaLines(PieceCount(archiveBytes, pieceSize));
    WriteFile(work + "/disks", MediaListText(lines));
    if (diskettes)
        CheckFirstDiskette(work, pieceSize, SumsBytes(lines));

    std::vector<std::string> pieces = CutPieces(archive, archiveBytes, pieceSize, work);
    unlink(archive.c_str());
    WriteFile(work + "/" + SUMS_FILE, SumsText(work, lines));

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
            if (i == 0)
                CopyFile(work + "/" + SUMS_FILE, disk + "/" + SUMS_FILE);
        }
        result = set;
    }
    sync();
    StopIfInterrupted();
    if (rename(result.c_str(), out.c_str()) != 0)
        Fail("cannot move the result to " + out + ": " + SysText());
    printf("%s: %s with %zu piece(s) of at most %ld bytes\n", out.c_str(),
           diskettes ? "diskette set" : "installation site", pieces.size(), pieceSize);
    return 0;
}
