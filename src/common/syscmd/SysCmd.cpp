// SysCmd.cpp - the command table, program lookup and the runner.
#include "SysCmd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>

#include <array>
#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "Env.h"
#include "Errors.h"
#include "Files.h"
#include "Log.h"
#include "MemMgr.h"
#include "Plan.h"
#include "Sleep.h"
#include "StrUtils.h"
#include "SysCmdText.h"
#include "SysQuery.h"

SysCommand ComList[CMD_ROWS] = {
    {"", "", nullptr, 0},
    {"", "", nullptr, 0},
    {"cancel", "", nullptr, 2},
    {"cat", "", nullptr, 0},
    {"chgrp", "", nullptr, 0},
    {"chmod", "", nullptr, 0},
    {"chown", "", nullptr, 0},
    {"clear", "", nullptr, 0},
    {"compress", "", nullptr, 0},
    {"cp", "-p", nullptr, 0},
    {"cp", "-pr", nullptr, 0},
    {"cupsd", "", nullptr, 0},
    {"id", "", nullptr, 0},
    {"echo", "", nullptr, 0},
    {"eject", "-f", nullptr, 1},
    {"eject", "-q", nullptr, 1},
    {"file", "", nullptr, 0},
    {"ln", "", nullptr, 0},
    {"lp", "", nullptr, 0},
    {"lpc", "", nullptr, 1},
    {"lpr", "", nullptr, 0},
    {"lprm", "", nullptr, 1},
    {"lpstat", "", nullptr, 1},
    {"ls", "", nullptr, 0},
    {"kill", "-KILL", nullptr, 0},
    {"mv", "-f", nullptr, 0},
    {"mkdir", "-p", nullptr, 0},
    {"more", "", nullptr, 0},
    {"ping", "", nullptr, 0},
    {"rm", "-f", nullptr, 0},
    {"rm", "-rf", nullptr, 0},
    {"sh", "", nullptr, 0},
    {"sleep", "", nullptr, 0},
    {"tar", "cvfp", nullptr, 0},
    {"tar", "xvfp", nullptr, 0},
    {"touch", "", nullptr, 0},
    {"uncompress", "", nullptr, 0},
    {"whoami", "", nullptr, 0},
    {"zcat", "", nullptr, 0},
    {"uname", "", nullptr, 0},
    {"sed", "", nullptr, 0},
    {"du", "-s", nullptr, 0},
    {"checkpc", "", nullptr, 0},
    {"lpd", "", nullptr, 0},
    {"pkgadd", "", nullptr, 1},
    {"pkginfo", "", nullptr, 0},
    {"pkgrm", "", nullptr, 1},
    {"accept", "", nullptr, 1},
    {"disable", "", nullptr, 1},
    {"enable", "", nullptr, 1},
    {"lpadmin", "", nullptr, 1},
    {"lpfilter", "", nullptr, 1},
    {"lpsched", "", nullptr, 1},
    {"lpshut", "", nullptr, 1},
    {"lpsystem", "", nullptr, 1},
    {"ps", "-e", nullptr, 0},
    {"bar", "", nullptr, 0},
    {"df", "", nullptr, 0},
    {"lpq", "-P", nullptr, 0},
    {"ypcat", "", nullptr, 0},
    {"reject", "", nullptr, 1},
    {"pmadm", "", nullptr, 1},
    {"sacadm", "", nullptr, 1},
    {"volcheck", "", nullptr, 0},
    {"capture", "", nullptr, 0},
    {"lpset", "", nullptr, 1},
    {"instnetpr", "", nullptr, 1},
    {"piomkpq", "", nullptr, 0},
    {"piomisc_ext", "", nullptr, 0},
    {"piomisc_base", "", nullptr, 0},
    {"lsallq", "", nullptr, 0},
    {"mkque", "", nullptr, 0},
    {"mkquedev", "", nullptr, 0},
    {"rmque", "", nullptr, 0},
    {"rmquedev", "", nullptr, 0},
    {"piochdfq", "", nullptr, 0},
    {"enq", "", nullptr, 0},
    {"lsquedev", "", nullptr, 0},
    {"lsque", "", nullptr, 0},
    {"startsrc", "", nullptr, 1},
    {"stopsrc", "", nullptr, 0},
    {"lssrc", "", nullptr, 0},
    {nullptr, nullptr, nullptr, 0},
};

const char *const SearchPaths = "/usr/bin:/usr/ucb:/usr/sbin:/bin:/sbin:/usr/lib:/usr/lib/lp";
char *FullSearchPath = nullptr;
unsigned char flInitSysCmd = 1;
unsigned char flSysCmdLog = 0;
int SysCmdWarnings = 0;
int (*pSystemHook)(const char *line) = nullptr;
int (*pSysCmdHook)(int row, int mode, const char *text) = nullptr;

namespace {

struct DirCloser {
    void operator()(DIR *d) const { closedir(d); }
};

// Storage the table points into; kept for the run, released by ResetSysCmdList.
struct TableStore {
    char *pFixedDirs = nullptr;           // SearchPaths cut into directories
    char *pPathDirs = nullptr;            // PATH cut into directories
    std::array<char *, CMD_ROWS> Lazy{};  // FillCmdPath's directory copies, by row
    std::array<char *, 16> Quoted{};      // ShQuote's ring
    unsigned NextQuoted = 0;
};
TableStore Store;

constexpr int FIRST_ROW = 2;

bool IsTableRow(int row) {
    return row >= FIRST_ROW && row < CMD_END;
}

// Rows by the first character of their name, so one directory pass looks each
// entry up among a handful of rows instead of listing the directory as text.
struct NameIndex {
    std::array<unsigned char, 256> First{};  // first row + 1 in Next's chain, 0 none
    std::array<unsigned char, CMD_ROWS> Next{};
    NameIndex() {
        for (int row = CMD_END - 1; row >= FIRST_ROW; --row) {
            auto c = static_cast<unsigned char>(ComList[row].pName[0]);
            Next[row] = First[c];
            First[c] = static_cast<unsigned char>(row + 1);
        }
    }
};

const NameIndex &Index() {
    static const NameIndex index;
    return index;
}

int MissingRows() {
    int missing = 0;
    for (int row = FIRST_ROW; ComList[row].pName && *ComList[row].pName; ++row)
        if (!ComList[row].pPath)
            ++missing;
    return missing;
}

// Cuts a colon-separated list in place; calls fn for each non-empty directory
// until it returns false.
template <class Fn> void ForEachDir(char *list, Fn fn) {
    char *p = list;
    while (p && *p) {
        char *colon = std::strchr(p, ':');
        if (colon)
            *colon = '\0';
        if (*p && !fn(p))
            return;
        p = colon ? colon + 1 : nullptr;
    }
}

void Unlocated(const char *name) {
    std::fflush(stdout);
    std::fprintf(stderr, "ERROR: unable to locate system command '%s'\n", name);
    exit_app(1);
}

void AppendProgram(CmdText &line, int row) {
    CmdText path(ComList[row].pPath);
    path += '/';
    path += ComList[row].pName;
    AppendQuoted(line, path);
}

// Looks up the row and the shell when the table is still lazy; stops the run
// when either cannot be located.
void NeedRow(int row) {
    if (flInitSysCmd && IsTableRow(row) && !ComList[row].pPath)
        FillCmdPath(row);
    if (flInitSysCmd && !ComList[CMD_SH].pPath)
        FillCmdPath(CMD_SH);
    if (IsTableRow(row) && !ComList[row].pPath)
        Unlocated(ComList[row].pName);
    if (!ComList[CMD_SH].pPath)
        Unlocated(ComList[CMD_SH].pName);
}

CmdText FormatText(const char *fmt, va_list ap) {
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    CmdText text;
    if (n <= 0)
        return text;
    text.resize(static_cast<size_t>(n));
    std::vsnprintf(text.data(), static_cast<size_t>(n) + 1, fmt, ap);
    return text;
}

// The redirections a mode adds. ownStdout: the caller's text sends standard
// output somewhere itself, so only standard error is redirected. A logged run
// writes into the log's kept descriptor ("1>&N 2>&N N>&-": the program itself does
// not keep it); logFd is set to that descriptor, else to -1.
void AppendRedirection(CmdText &line, int mode, bool logging, bool ownStdout, bool inQuotes, int *logFd) {
    *logFd = -1;
    CmdText target;
    const char *op = ">>";
    if (mode == SYSCMD_QUIET) {
        target = "/dev/null";
        op = ">";
    } else if ((mode == SYSCMD_WARN || mode == SYSCMD_FATAL) && logging) {
        int fd = flUseLog ? GetLogFd() : -1;
        if (fd >= 0 && fd <= 9) {
            *logFd = fd;
            target = "&" + CmdText(1, static_cast<char>('0' + fd));
            op = ">";
        } else {
            target = "/dev/null";
        }
    } else {
        return;
    }
    CmdText redirection;
    if (!ownStdout)
        redirection.append(" 1").append(op).append(target);
    redirection.append(" 2").append(op).append(target);
    if (*logFd >= 0)
        redirection.append(" ").append(1, static_cast<char>('0' + *logFd)).append(">&-");
    if (inQuotes)
        AppendInQuotes(line, redirection);
    else
        line += redirection;
}

// The log's descriptor open in the child for the length of one run (it is
// close-on-exec otherwise, so no other program inherits it).
class InheritedFd {
public:
    explicit InheritedFd(int fd) : fd_(fd) {
        if (fd_ >= 0)
            fcntl(fd_, F_SETFD, 0);
    }
    ~InheritedFd() {
        if (fd_ >= 0)
            fcntl(fd_, F_SETFD, FD_CLOEXEC);
    }
    InheritedFd(const InheritedFd &) = delete;
    InheritedFd &operator=(const InheritedFd &) = delete;

private:
    int fd_;
};

int RunLine(const char *line, char *reason, size_t size) {
    int status = RunShellLine(line);
    return StatusResult(status, errno, reason, size);
}

bool AsksForReboot(int row, int result) {
    return (row == CMD_PKGADD || row == CMD_PKGRM) && (result == 10 || result == 20);
}

// The words of a caller's text that name files: absolute paths, read as the shell
// reads them, redirection targets included.
CmdText PathsOf(const char *text) {
    CmdText paths;
    ForEachShellWord(text, [&](const CmdText &word) {
        size_t start = word.find_first_not_of("0123456789");
        start = word.find_first_not_of("<>&|", start == CmdText::npos ? 0 : start);
        if (start != CmdText::npos && word[start] == '/')
            paths.append(" ").append(word, start);
    });
    return paths;
}

// The terminal line of a fatal failure: on a line of its own, with the program,
// the files it worked on, and where the log keeps the details.
void PrintFatalLine(int row, const char *text, const char *reason) {
    CmdText line(flSysCmdLog ? "\n" : "");  // progress dots may fill the current line
    line.append("ERROR: ").append(reason).append(": ");
    if (row >= FIRST_ROW) {
        line.append(ComList[row].pName);
    } else {
        const char *t = text ? text + std::strspn(text, " ") : "";
        line.append(t, std::strcspn(t, " "));  // the caller's line names its program first
    }
    line.append(" failed");
    CmdText paths = PathsOf(text);
    if (!paths.empty())
        line.append(" on").append(paths);
    MemStr log(flUseLog ? GetLogFileName() : nullptr);
    if (log)
        line.append("; see ").append(log.get());
    for (size_t i = 1; i < line.size(); ++i) {
        auto c = static_cast<unsigned char>(line[i]);
        if (c < 0x20 || c == 0x7f)
            line[i] = '?';  // a name from the media must not drive the terminal
    }
    std::printf("%s\n", line.c_str());
}

void ReportFailure(int row, int mode, const char *text, const char *reason) {
    const char *prefix = mode == SYSCMD_FATAL ? "ERROR" : "WARNING_MSG";
    PutLogMsg("%s: %s\n", prefix, reason);
    if (mode != SYSCMD_FATAL) {
        ++SysCmdWarnings;
        return;
    }
    PrintFatalLine(row, text, reason);
    exit_app(1);
}

// A row whose program starts a process of its own name: look for it for up to
// eleven checks, one second apart.
void WaitForProcess(const char *name) {
    for (int check = 0; check <= 10; ++check) {
        MemStr ids(GetSysPsIdList(name));
        if (ids)
            return;
        if (check < 10)
            SysSleep(1);
    }
    PutLogMsg("ERROR: Time out for command %s\n", name);
}

void PauseAfter(int row) {
    int wait = ComList[row].Wait;
    if (wait == -1)
        WaitForProcess(ComList[row].pName);
    else if (wait > 0)
        SysSleep(static_cast<unsigned>(wait));
}

// The result after the run: reboot requests of pkgadd and pkgrm count as success,
// failures of the logged modes are reported (mode 2 stops), then the row's pause.
int FinishRun(int row, int mode, const char *text, int result, const char *reason) {
    if (AsksForReboot(row, result))
        result = 0;
    if (result != 0 && (mode == SYSCMD_WARN || mode == SYSCMD_FATAL))
        ReportFailure(row, mode, text, reason);
    PauseAfter(row);
    return result;
}

}  // namespace

int RunShellLine(const char *line) {
    std::fflush(stdout);
    std::fflush(stderr);
    errno = 0;
    return pSystemHook ? pSystemHook(line) : std::system(line);
}

void AppendInQuotes(CmdText &line, std::string_view text) {
    for (char c : text) {
        if (c == '\\' || c == '"' || c == '$' || c == '`')
            line += '\\';
        line += c;
    }
}

int ShIsPlain(const char *value) {
    if (!value || !*value)
        return 0;
    for (const char *p = value; *p; ++p) {
        char c = *p;
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     std::strchr("/._+,:@=-", c) != nullptr;
        if (!plain)
            return 0;
    }
    return 1;
}

void AppendQuoted(CmdText &line, std::string_view value) {
    CmdText copy(value);
    if (ShIsPlain(copy.c_str())) {
        line += copy;
        return;
    }
    line += '\'';
    for (char c : value) {
        if (c == '\'')
            line += "'\\''";
        else
            line += c;
    }
    line += '\'';
}

char *SaveText(const CmdText &text) {
    auto *p = static_cast<char *>(GetMem(static_cast<int>(text.size()) + 1));
    if (p)
        std::memcpy(p, text.c_str(), text.size() + 1);
    return p;
}

int StatusResult(int status, int savedErrno, char *reason, size_t size) {
    if (status == -1) {
        int err = savedErrno ? savedErrno : 1;
        CopyStr(reason, size, std::strerror(err));
        return err;
    }
    if (WIFEXITED(status)) {
        int code = WEXITSTATUS(status);
        std::snprintf(reason, size, "exit status %d", code);
        return code;
    }
    if (WIFSIGNALED(status)) {
        std::snprintf(reason, size, "killed by signal %d", WTERMSIG(status));
        return 128 + WTERMSIG(status);
    }
    std::snprintf(reason, size, "exit status %d", status);
    return 1;
}

char *ShQuoteSave(const char *value) {
    CmdText quoted;
    AppendQuoted(quoted, value ? value : "");
    return SaveText(quoted);
}

const char *ShQuote(const char *value) {
    char *&slot = Store.Quoted[Store.NextQuoted++ % Store.Quoted.size()];
    PutMem(slot);
    slot = ShQuoteSave(value);
    return slot ? slot : "''";
}

int FillCmdPaths(const char *dir) {
    std::unique_ptr<DIR, DirCloser> d(opendir(dir));
    if (!d)
        return 1;
    const NameIndex &index = Index();
    while (dirent *e = readdir(d.get())) {
        auto c = static_cast<unsigned char>(e->d_name[0]);
        for (int next = index.First[c]; next; next = index.Next[next - 1]) {
            SysCommand &row = ComList[next - 1];
            if (!row.pPath && std::strcmp(row.pName, e->d_name) == 0)
                row.pPath = dir;  // the first directory in search order wins
        }
    }
    return MissingRows() ? 1 : 0;
}

namespace {

char *BuildFullSearchPath() {
    MemStr path(GetEnv("PATH"));
    return SaveStr("%s:%s", SearchPaths, path ? path.get() : "");
}

}  // namespace

void InitSysCmdList() {
    flInitSysCmd = 0;
    if (!FullSearchPath)
        FullSearchPath = BuildFullSearchPath();
    bool missing = true;
    // the table points into these copies, so a second call keeps the first ones
    Store.pFixedDirs = SaveStr_(SearchPaths);
    ForEachDir(Store.pFixedDirs, [&](const char *dir) { return missing = FillCmdPaths(dir) != 0; });
    MemStr path(GetEnv("PATH"));
    if (missing && path) {
        Store.pPathDirs = path.release();
        ForEachDir(Store.pPathDirs, [&](const char *dir) { return missing = FillCmdPaths(dir) != 0; });
    }
    // SHELL names the shell itself (no trailing blank), so children can run it
    if (ComList[CMD_SH].pPath) {
        CmdText shell(ComList[CMD_SH].pPath);
        shell.append("/").append(ComList[CMD_SH].pName);
        setenv("SHELL", shell.c_str(), 1);
    }
    if (flUseLog) {
        flSysCmdLog = 1;
        PutLogMsg("initializing system\n");
    }
}

int FillCmdPath(int row) {
    if (!IsTableRow(row))
        return 0;
    if (!FullSearchPath)
        FullSearchPath = BuildFullSearchPath();
    MemStr dirs(SaveStr_(FullSearchPath));
    int found = 0;
    ForEachDir(dirs.get(), [&](const char *dir) {
        if (!FindFile(dir, ComList[row].pName))
            return true;
        PutMem(Store.Lazy[row]);
        Store.Lazy[row] = SaveStr_(dir);
        ComList[row].pPath = Store.Lazy[row];
        found = 1;
        return false;
    });
    return found;
}

int TestCmd(int row) {
    return IsTableRow(row) && ComList[row].pPath ? 1 : 0;
}

char *GetCmd(int row) {
    if (flInitSysCmd && IsTableRow(row) && !ComList[row].pPath)
        FillCmdPath(row);
    if (!TestCmd(row))
        return nullptr;
    CmdText line;
    AppendProgram(line, row);
    line.append(" ").append(ComList[row].pFlags);
    return SaveText(line);
}

char *GetCmdNoFlags(int row) {
    if (flInitSysCmd && IsTableRow(row) && !ComList[row].pPath)
        FillCmdPath(row);
    if (!TestCmd(row))
        return nullptr;
    CmdText line;
    AppendProgram(line, row);
    return SaveText(line);
}

int SysCmdV(int row, int mode, bool ownStdout, const char *fmt, va_list ap) {
    bool logging = row > 0;
    if (row < 0)
        row = -row;
    assert(row < CMD_END);
    if (row >= CMD_END)
        return 1;
    CmdText text = FormatText(fmt, ap);
    if (PlanRow(row, text.c_str()))
        return 0;
    if (pSysCmdHook) {
        int answer = pSysCmdHook(logging ? row : -row, mode, text.c_str());
        if (answer != SYSCMD_PASS) {
            char reason[32];
            std::snprintf(reason, sizeof reason, "exit status %d", answer);
            return FinishRun(row, mode, text.c_str(), answer, reason);
        }
    }
    NeedRow(row);
    bool wrapped = IsTableRow(row);
    CmdText line;
    if (wrapped) {
        CmdText shell(ComList[CMD_SH].pPath);
        shell.append("/").append(ComList[CMD_SH].pName);
        AppendQuoted(line, shell);
        line += " -c \"";
        CmdText program;
        AppendProgram(program, row);
        program.append(" ").append(ComList[row].pFlags).append(" ");
        AppendInQuotes(line, program);
        AppendInQuotes(line, text);
    } else {
        line = text;
    }
    bool logged = mode == SYSCMD_WARN || mode == SYSCMD_FATAL;
    if (logging && flSysCmdLog && logged) {
        std::fputs(".", stdout);
        std::fflush(stdout);
        PutLogMsg("%s\n", line.c_str());
    }
    int logFd;
    AppendRedirection(line, mode, logging, ownStdout, wrapped, &logFd);
    if (wrapped)
        line += '"';
    char reason[256];
    int result;
    {
        InheritedFd inherited(logFd);
        result = RunLine(line.c_str(), reason, sizeof reason);
    }
    return FinishRun(row, mode, text.c_str(), result, reason);
}

void ReportFailedCommands(int status) {
    if (status != 0 || SysCmdWarnings <= 0)
        return;  // a failed run has already said why it stopped
    MemStr log(GetLogFileName());
    std::fflush(stdout);
    std::fprintf(stderr, "WARNING: %d commands failed; see %s\n", SysCmdWarnings, log ? log.get() : "the log");
}

int SysCmd(int row, int mode, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int result = SysCmdV(row, mode, false, fmt, ap);
    va_end(ap);
    return result;
}

int SysCmdR(int row, int mode, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int result = SysCmdV(row, mode, true, fmt, ap);
    va_end(ap);
    return result;
}

int SysCmdP(int mode, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    CmdText line = FormatText(fmt, ap);
    va_end(ap);
    bool logged = mode == SYSCMD_WARN || mode == SYSCMD_FATAL;
    if (logged)
        std::printf("%s\n", line.c_str());
    char reason[256];
    int result = RunLine(line.c_str(), reason, sizeof reason);
    if (result != 0 && logged) {
        std::fprintf(stderr, "ERROR: %s\n", reason);
        if (mode == SYSCMD_FATAL)
            exit_app(1);
    }
    SysSleep(1);
    return result;
}

void ResetSysCmdList() {
    for (int row = 0; row < CMD_ROWS; ++row)
        ComList[row].pPath = nullptr;
    for (char *&dir : Store.Lazy) {
        PutMem(dir);
        dir = nullptr;
    }
    PutMem(Store.pFixedDirs);
    PutMem(Store.pPathDirs);
    PutMem(FullSearchPath);
    Store.pFixedDirs = Store.pPathDirs = FullSearchPath = nullptr;
    flInitSysCmd = 1;
    flSysCmdLog = 0;
    SysCmdWarnings = 0;
}
