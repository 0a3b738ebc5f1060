// Plan.cpp - the plan of a dry run: which rows change the system, the plan lines,
// and the paths the plan has made.
#include "Plan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "MemMgr.h"
#include "StrUtils.h"
#include "SysCmd.h"
#include "SysCmdText.h"

unsigned char flDryRun = 0;
unsigned char flNoteChanges = 0;
const char *pPlanOwnDir = nullptr;

namespace {

// Rows that only read the system or handle the diskette drive: they run in a plan.
constexpr int kQueryRows[] = {
    CMD_CLEAR, CMD_ID,      CMD_ECHO,    CMD_EJECT, CMD_EJECT_Q, CMD_FILE,    CMD_LPSTAT,  CMD_LS,
    CMD_MORE,  CMD_PING,    CMD_SLEEP,   CMD_WHOAMI, CMD_ZCAT,   CMD_UNAME,   CMD_DU,      CMD_CHECKPC,
    CMD_PKGINFO, CMD_PS,    CMD_DF,      CMD_LPQ,   CMD_YPCAT,   CMD_VOLCHECK, CMD_LSALLQ, CMD_LSQUEDEV,
    CMD_LSQUE, CMD_LSSRC,
};
// Rows that change files named by the last word of their text: they run in a plan
// when that file lies in the work area. Every other change row (packages, spooler,
// daemons, whole lines) is always planned.
constexpr int kFileRows[] = {
    CMD_CAT, CMD_CHGRP, CMD_CHMOD, CMD_CHOWN, CMD_COMPRESS, CMD_CP,    CMD_CP_R,  CMD_LN, CMD_MV,
    CMD_MKDIR, CMD_RM,  CMD_RM_R,  CMD_TAR_C, CMD_TAR_X,    CMD_TOUCH, CMD_UNCOMPRESS, CMD_SED,
};

template <size_t N> bool InTable(const int (&table)[N], int row) {
    for (int r : table)
        if (r == row)
            return true;
    return false;
}

using Lines = std::vector<CmdText, MemAllocator<CmdText>>;

// What the plan printed and the paths it made, for the run.
Lines &Printed() {
    static Lines lines;
    return lines;
}
Lines &Made() {
    static Lines paths;
    return paths;
}

bool Contains(const Lines &lines, const CmdText &text) {
    for (const CmdText &l : lines)
        if (l == text)
            return true;
    return false;
}

// path made absolute from the working directory.
CmdText Absolute(const CmdText &path) {
    if (!path.empty() && path[0] == '/')
        return path;
    char cwd[4096];
    CmdText full(getcwd(cwd, sizeof cwd) ? cwd : "");
    if (path != ".")
        full.append("/").append(path);
    return full;
}

// 1 when path is dir or lies below it.
bool Inside(const CmdText &path, const char *dir) {
    if (!dir || !*dir)
        return false;
    size_t n = strlen(dir);
    return path.compare(0, n, dir) == 0 && (path.size() == n || path[n] == '/');
}

bool IsDirectory(const CmdText &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The path a planned run of row makes, or an empty text.
CmdText MadePath(int row, const Lines &words) {
    if (words.empty())
        return CmdText();
    CmdText target = Absolute(words.back());
    switch (row) {
    case CMD_MKDIR:
    case CMD_TOUCH:
    case CMD_LN:
    case CMD_MV:
        return target;
    case CMD_CP:
    case CMD_CP_R:
        if (words.size() >= 2 && (IsDirectory(target) || PlannedPath(target.c_str()))) {
            const CmdText &source = words[words.size() - 2];
            size_t slash = source.rfind('/');
            CmdText name = slash == CmdText::npos ? source : source.substr(slash + 1);
            if (name != ".")  // "dir/." copies the contents into the target itself
                target.append("/").append(name);
        }
        return target;
    default:
        return CmdText();
    }
}

// The paths a real run changed, in order, each with its tree mark.
struct Noted {
    CmdText path;
    bool tree;
};
std::vector<Noted, MemAllocator<Noted>> &NotedPaths() {
    static std::vector<Noted, MemAllocator<Noted>> paths;
    return paths;
}

void Forget(const CmdText &path) {
    auto &paths = NotedPaths();
    for (size_t i = paths.size(); i-- > 0;)
        if (Inside(paths[i].path, path.c_str()))
            paths.erase(paths.begin() + static_cast<long>(i));
}

bool Exists(const CmdText &path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// Notes what a file row is about to change (called before it runs).
void NoteRow(int row, const char *text) {
    if (!InTable(kFileRows, row))
        return;
    Lines words;
    ForEachShellWord(text, [&](const CmdText &word) { words.push_back(word); });
    if (words.empty())
        return;
    CmdText target = Absolute(words.back());
    switch (row) {
    case CMD_RM:
    case CMD_RM_R:
        Forget(target);
        return;
    case CMD_MKDIR: {
        Lines missing;
        for (CmdText p = target; p.size() > 1 && !Exists(p); p = p.substr(0, p.rfind('/')))
            missing.push_back(p);
        for (size_t i = missing.size(); i-- > 0;)
            NoteChange(missing[i].c_str(), 0);
        return;
    }
    case CMD_MV:
        if (words.size() >= 2)
            Forget(Absolute(words[words.size() - 2]));
        NoteChange(MadePath(row, words).c_str(), 1);
        return;
    case CMD_CP:
    case CMD_CP_R:
        NoteChange(MadePath(row, words).c_str(), row == CMD_CP_R);
        return;
    default:
        NoteChange(target.c_str(), 0);
        return;
    }
}

}  // namespace

void NoteChange(const char *path, int tree) {
    if (!path || !*path)
        return;
    for (Noted &n : NotedPaths()) {
        if (n.path == path) {
            n.tree = n.tree || tree;
            return;
        }
    }
    NotedPaths().push_back(Noted{CmdText(path), tree != 0});
}

const char *NotedChange(int i, int *tree) {
    auto &paths = NotedPaths();
    if (i < 0 || static_cast<size_t>(i) >= paths.size())
        return nullptr;
    if (tree)
        *tree = paths[static_cast<size_t>(i)].tree;
    return paths[static_cast<size_t>(i)].path.c_str();
}

int PlanLine(const char *fmt, ...) {
    if (!flDryRun)
        return 0;
    va_list ap;
    va_start(ap, fmt);
    MemStr text(SaveStrV(fmt, ap));
    va_end(ap);
    CmdText line(text ? text.get() : "");
    if (!Contains(Printed(), line)) {
        Printed().push_back(line);
        std::printf("plan: %s\n", line.c_str());
    }
    return 1;
}

void PlanPath(const char *path) {
    if (path && *path && !PlannedPath(path))
        Made().push_back(CmdText(path));
}

int PlannedPath(const char *path) {
    if (!path || !*path)
        return 0;
    for (const CmdText &made : Made())
        if (Inside(made, path))
            return 1;
    return 0;
}

void ResetPlan() {
    Printed().clear();
    Made().clear();
    NotedPaths().clear();
}

int PlanRow(int row, const char *text) {
    if (!flDryRun && flNoteChanges)
        NoteRow(row, text);
    if (!flDryRun || InTable(kQueryRows, row))
        return 0;
    Lines words;
    ForEachShellWord(text, [&](const CmdText &word) { words.push_back(word); });
    if (InTable(kFileRows, row) && !words.empty() && Inside(Absolute(words.back()), pPlanOwnDir))
        return 0;
    CmdText line;
    if (row >= 2 && row < CMD_END) {
        line.append(ComList[row].pName);
        if (*ComList[row].pFlags)
            line.append(" ").append(ComList[row].pFlags);
        line.append(" ");
    }
    line.append(text + strspn(text, " "));
    PlanLine("%s", line.c_str());
    PlanPath(MadePath(row, words).c_str());
    return 1;
}
