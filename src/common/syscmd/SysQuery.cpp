// SysQuery.cpp - program output read back through a pipe, and its parsers.
#include "SysQuery.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "Errors.h"
#include "Files.h"
#include "MemMgr.h"
#include "Plan.h"
#include "Sleep.h"
#include "StrUtils.h"
#include "SysCmd.h"
#include "SysCmdText.h"

FILE *(*pPipeHook)(const char *line) = nullptr;
int (*pKillHook)(int pid, int sig) = nullptr;
FILE *(*pResponseHook)(int row, const char *text) = nullptr;

namespace {


struct ListFree {
    void operator()(CmdResponse *list) const { FreeResponseList(list); }
};
using ResponseList = std::unique_ptr<CmdResponse, ListFree>;

constexpr int READ_BUF = 4096;
FILE *pHookedPipe = nullptr;  // the stream pPipeHook gave; closed with fclose

// Words of a line separated by blanks, tabs, CRs or newlines.
constexpr const char *WORD_DELIMS = " \t\r\n";

// The n-th (0-based) word of text, empty when the text has fewer words.
std::string_view WordAt(const char *text, int n) {
    const char *p = text;
    for (int i = 0;; ++i) {
        p += std::strspn(p, WORD_DELIMS);
        if (!*p)
            return {};
        size_t len = std::strcspn(p, WORD_DELIMS);
        if (i == n)
            return {p, len};
        p += len;
    }
}

CmdResponse *NewRecord(const char *text, size_t len) {
    auto *r = static_cast<CmdResponse *>(GetMem(static_cast<int>(sizeof(CmdResponse) + len)));
    if (!r)
        return nullptr;
    r->pText = reinterpret_cast<char *>(r + 1);
    std::memcpy(r->pText, text, len);
    r->pText[len] = '\0';
    return r;
}

bool Keep(const char *line, const char *filter) {
    return !filter || !*filter || std::strstr(line, filter);
}

// Kept lines of a stream, in order; null when none.
CmdResponse *ReadResponse(FILE *in, const char *filter) {
    CmdResponse *head = nullptr;
    CmdResponse **tail = &head;
    char buf[READ_BUF];
    while (std::fgets(buf, sizeof buf, in)) {
        if (!Keep(buf, filter))
            continue;
        CmdResponse *r = NewRecord(buf, std::strlen(buf));
        if (!r)
            break;
        *tail = r;
        tail = &r->pNext;
    }
    return head;
}

// The command line of a row: "<dir>/<name> <flags> " and the text; rows 0 and 1:
// the text alone. Stops the run when the program cannot be located.
CmdText ResponseLine(int row, const CmdText &text) {
    bool tableRow = row >= 2 && row < CMD_END;
    if (tableRow && flInitSysCmd && !ComList[row].pPath)
        FillCmdPath(row);
    if (tableRow && !ComList[row].pPath) {
        std::fflush(stdout);
        std::fprintf(stderr, "ERROR: unable to locate system command '%s'\n", ComList[row].pName);
        exit_app(1);
    }
    CmdText line;
    if (tableRow) {
        MemStr cmd(GetCmd(row));
        line.append(cmd.get()).append(" ");
    }
    return line + text;
}

// The output of a row's run with the caller's text, as a stream for CloseCmdPipe.
FILE *OpenRowPipe(int row, const char *fmt, va_list ap) {
    if (row < 0)
        row = -row;  // as for SysCmd: the same program (nothing is logged here anyway)
    CmdText text;
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n > 0) {
        text.resize(static_cast<size_t>(n));
        std::vsnprintf(text.data(), static_cast<size_t>(n) + 1, fmt, ap);
    }
    if (FILE *hooked = OpenHookedPipe(row, text.c_str()))
        return hooked;
    return OpenCmdPipe(ResponseLine(row, text).c_str());
}

// Appends " word" for each word taken from the lines; finishes with one blank.
template <class Pick> char *WordList(const CmdResponse *lines, Pick pick) {
    CmdText list;
    for (const CmdResponse *r = lines; r; r = r->pNext) {
        std::string_view word = pick(r->pText);
        if (!word.empty())
            list.append(" ").append(word);
    }
    if (list.empty())
        return nullptr;
    list += ' ';
    return SaveText(list);
}

// A process id as the kill loop may use it: the whole word a decimal number
// above 1 (0 and -1 would signal groups or everything) and not this program.
bool PidWord(std::string_view word, pid_t *pid) {
    if (word.empty() || word.size() > 18)
        return false;
    long long value = 0;
    for (char c : word) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value <= 1 || value > INT_MAX || value == getpid())
        return false;
    *pid = static_cast<pid_t>(value);
    return true;
}

}  // namespace

int SafePid(const char *text, pid_t *pid) {
    return text && PidWord(text, pid) ? 1 : 0;
}


FILE *OpenCmdPipe(const char *line) {
    std::fflush(stdout);
    std::fflush(stderr);
    if (pPipeHook) {
        pHookedPipe = pPipeHook(line);
        return pHookedPipe;
    }
    return popen(line, "r");
}

FILE *OpenHookedPipe(int row, const char *text) {
    if (!pResponseHook)
        return nullptr;
    FILE *stream = pResponseHook(row, text);
    if (stream)
        pHookedPipe = stream;
    return stream;
}

int CloseCmdPipe(FILE *pipe) {
    if (!pipe)
        return -1;
    if (pipe == pHookedPipe) {
        pHookedPipe = nullptr;
        std::fclose(pipe);
        return 0;
    }
    return pclose(pipe);
}

CmdResponse *GetCmdResponseV(int row, const char *filter, const char *fmt, va_list ap) {
    FILE *pipe = OpenRowPipe(row, fmt, ap);
    if (!pipe)
        return nullptr;
    CmdResponse *list = ReadResponse(pipe, filter);
    CloseCmdPipe(pipe);
    return list;
}

CmdResponse *GetCmdResponse(int row, const char *filter, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    CmdResponse *list = GetCmdResponseV(row, filter, fmt, ap);
    va_end(ap);
    return list;
}

char *GetCmdResponseStr(int row, const char *filter, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    FILE *pipe = OpenRowPipe(row, fmt, ap);
    va_end(ap);
    if (!pipe)
        return nullptr;
    CmdText text;
    char buf[READ_BUF];
    while (std::fgets(buf, sizeof buf, pipe)) {
        if (!Keep(buf, filter))
            continue;
        text += buf;
        if (text.back() != '\n')
            text += '\n';
    }
    CloseCmdPipe(pipe);
    return text.empty() ? nullptr : SaveText(text);
}

void FreeResponseList(CmdResponse *list) {
    while (list) {
        CmdResponse *next = list->pNext;
        PutMem(list);
        list = next;
    }
}

CmdResponse *MakeResponseList(const char *text, const char *filter) {
    if (!text || !*text)
        return nullptr;
    MemStr copy(SaveStr_(text));
    FILE *in = fmemopen(copy.get(), std::strlen(copy.get()), "r");
    if (!in)
        return nullptr;
    CmdResponse *list = ReadResponse(in, filter);
    std::fclose(in);
    return list;
}

char *ParsePsIdList(const CmdResponse *lines, const char *name) {
    std::string_view wanted(name ? name : "");
    return WordList(lines, [&](const char *text) {
        // the command column must be the name itself, not a longer one holding it
        return WordAt(text, 3) == wanted && !wanted.empty() ? WordAt(text, 0) : std::string_view();
    });
}

char *GetSysPsIdList(const char *name) {
    if (!name || !*name)
        return nullptr;
    ResponseList lines(GetCmdResponse(CMD_PS, name, "%s", ""));
    return ParsePsIdList(lines.get(), name);
}

int ParseDiskSpace(const CmdResponse *lines, DiskSpace *ds) {
    ds->Avail = 0;
    ds->Line[0] = '\0';
    if (!lines)
        return 0;
    int column = 0;
    for (;; ++column) {
        std::string_view word = WordAt(lines->pText, column);
        if (word.empty())
            return 0;
        if (word.size() >= 5 && strncasecmp(word.data(), "avail", 5) == 0)
            break;
    }
    // a header without a data line measured nothing: the check is skipped
    const CmdResponse *data = lines->pNext;
    if (!data)
        return 0;
    CopyStr(ds->Line, data->pText);
    std::string_view word = WordAt(ds->Line, column);
    if (word.empty())
        return 0;
    CmdText number(word);
    ds->Avail = std::strtod(number.c_str(), nullptr);
    return 1;
}

int GetDiskSpace(const char *path, DiskSpace *ds) {
    ds->Avail = 0;
    ResponseList lines(GetCmdResponse(CMD_DF, nullptr, "%s", ShQuote(path)));
    return ParseDiskSpace(lines.get(), ds);
}

double DUPath(const char *path) {
    ResponseList lines(GetCmdResponse(CMD_DU, nullptr, "%s", ShQuote(path)));
    if (!lines)
        return 0;
    return std::strtod(lines->pText, nullptr);
}

int AvailSpace(const char *dir, const char *name, double need) {
    DiskSpace ds{};
    if (name && *name && FindFile(dir, name)) {
        MemStr target(SaveStr("%s/%s", dir, name));
        double used = DUPath(target.get());
        GetDiskSpace(dir, &ds);
        return ds.Avail + used >= need;
    }
    if (!GetDiskSpace(dir, &ds)) {
        // not there yet: measure where it will be made
        MemStr parent(SaveStr_(StripFn(dir)));
        if (parent && std::strcmp(parent.get(), dir) != 0)
            return AvailSpace(parent.get(), nullptr, need);
    }
    return ds.Avail >= need;
}

char *ParsePkgList(const CmdResponse *lines) {
    return WordList(lines, [](const char *text) { return WordAt(text, 1); });
}

char *GetSysPkgList(const char *filter) {
    ResponseList lines(GetCmdResponse(CMD_PKGINFO, filter, "%s", ""));
    return ParsePkgList(lines.get());
}

char *CheckProcTableForExecs(const char *names) {
    if (!names)
        return nullptr;
    CmdText text;
    std::string_view rest(names);
    while (!rest.empty()) {
        size_t comma = rest.find(',');
        CmdText name(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        if (name.empty())
            continue;
        MemStr ids(GetSysPsIdList(name.c_str()));
        if (ids)
            text.append(name).append(" (").append(ids.get()).append(")\n");
    }
    return text.empty() ? nullptr : SaveText(text);
}

int KillProcessByName(const char *name) {
    MemStr ids(GetSysPsIdList(name));
    const char *list = ids ? ids.get() : "";
    for (int i = 0;; ++i) {
        std::string_view word = WordAt(list, i);
        if (word.empty())
            break;
        pid_t pid;
        if (!PidWord(word, &pid))
            continue;
        int rc = SysKill(pid, SIGKILL);
        if (rc != 0 && errno == EPERM)
            break;
    }
    SysSleep(1);
    return 0;
}

int SysKill(pid_t pid, int sig) {
    if (PlanLine("kill -%d %d", sig, static_cast<int>(pid)))
        return 0;
    return pKillHook ? pKillHook(pid, sig) : kill(pid, sig);
}

void SysGetSubnetMask(const char *, char *, int) {}

int SniffLprng() {
    if (!TestCmd(CMD_LPD))
        return 0;
    CmdResponse *lines = GetCmdResponse(CMD_LPD, "LPRng", "%s", " -V 2>&1");
    int found = lines != nullptr;
    FreeResponseList(lines);
    return found;
}

int SniffCUPS() {
    return TestCmd(CMD_CUPSD);
}
