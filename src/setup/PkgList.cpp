// PkgList.cpp - the package list: places the product's files from the work area
// into the application directory, one command line at a time.
//
// Each line is read into its parts by ParsePkgLine (PkgListParse.h) before any of
// it runs; this file only acts on them: version tests against the system release,
// then the command's handler, then the modifiers in the order written. Every step
// runs through the command runner; the list's own words, operands and sed scripts
// go to the shell as written.
#include <cstdio>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Errors.h"
#include "FileCmds.h"
#include "Files.h"
#include "Installer.h"
#include "Log.h"
#include "MemMgr.h"
#include "NlsSetup.h"
#include "Plan.h"
#include "PkgListParse.h"
#include "Scripts.h"
#include "StrUtils.h"
#include "SysCmd.h"
#include "SysQuery.h"
#include "Tokens.h"

const char *pSedTempDir = "/tmp";

namespace {

// The system release for version tests, read once per list; null when unknown.
struct Release {
    bool read = false;
    char *value = nullptr;
    ~Release() { PutMem(value); }
    const char *Get() {
        if (!read) {
            read = true;
            CmdResponse *lines = GetCmdResponse(CMD_UNAME, nullptr, "%s", " -r");
            if (lines && lines->pText) {
                char buf[128];
                const char *cur = nullptr;
                if (GetTokenD(lines->pText, " \t\r\n", &cur, buf, sizeof buf))
                    value = SaveStr_(buf);
            }
            FreeResponseList(lines);
        }
        return value;
    }
};

// What the lines of one list share.
struct PkgRun {
    const char *subdir;
    const char *workArea;  // quoted for the shell
    Release release;
};

void ReportIncomplete(const char *line) {
    size_t n = strcspn(line, "\r\n");
    fprintf(stderr, "WARNING: incomplete package list line: %.*s\n", static_cast<int>(n), line);
    PutLogMsg("WARNING: incomplete package list line: %.*s\n", static_cast<int>(n), line);
}

bool VersionHolds(int op, const char *system, const char *wanted) {
    int c = CompareRelease(system, wanted);
    switch (op) {
    case OP_LT: return c < 0;
    case OP_LE: return c <= 0;
    case OP_EQ: return c == 0;
    case OP_GT: return c > 0;
    case OP_GE: return c >= 0;
    default: return false;
    }
}

// True when every version test of the line holds; a release that cannot be read
// is reported and holds for none.
bool TestsHold(const PkgLine &line, Release &release) {
    for (int i = 0; i < line.tests; ++i) {
        const char *system = release.Get();
        if (!system) {
            perror(NlsSetupStrCvt(MSG_NO_VERSION));
            return false;
        }
        if (!VersionHolds(line.test[i].op, system, line.test[i].release))
            return false;
    }
    return true;
}

struct FileCloser {
    void operator()(FILE *f) const { fclose(f); }
};

bool SameContent(const char *a, const char *b) {
    std::unique_ptr<FILE, FileCloser> fa(fopen(a, "rb")), fb(fopen(b, "rb"));
    if (!fa || !fb)
        return false;
    char ba[8192], bb[8192];
    for (;;) {
        size_t na = fread(ba, 1, sizeof ba, fa.get());
        size_t nb = fread(bb, 1, sizeof bb, fb.get());
        if (na != nb || memcmp(ba, bb, na) != 0)
            return false;
        if (na < sizeof ba)
            return !ferror(fa.get()) && !ferror(fb.get());
    }
}

bool SameLinkText(const char *a, const char *b) {
    char ta[4096], tb[4096];
    ssize_t na = readlink(a, ta, sizeof ta);
    ssize_t nb = readlink(b, tb, sizeof tb);
    return na >= 0 && na == nb && memcmp(ta, tb, static_cast<size_t>(na)) == 0;
}

struct DirCloser {
    void operator()(DIR *d) const { closedir(d); }
};

// The first path under target that is not a whole copy of source (missing, of
// another kind, other content or link text), as a GetMem string; null when the
// copy is whole or there is no source to compare with.
char *FirstDifference(const char *source, const char *target) {
    struct stat s {}, t {};
    if (lstat(source, &s) != 0)
        return nullptr;
    if (lstat(target, &t) != 0 || (s.st_mode & S_IFMT) != (t.st_mode & S_IFMT))
        return SaveStr_(target);
    if (S_ISREG(s.st_mode))
        return SameContent(source, target) ? nullptr : SaveStr_(target);
    if (S_ISLNK(s.st_mode))
        return SameLinkText(source, target) ? nullptr : SaveStr_(target);
    if (!S_ISDIR(s.st_mode))
        return nullptr;
    std::unique_ptr<DIR, DirCloser> dir(opendir(source));
    if (!dir)
        return nullptr;
    while (dirent *e = readdir(dir.get())) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0)
            continue;
        MemStr from(SaveStr("%s/%s", source, e->d_name));
        MemStr to(SaveStr("%s/%s", target, e->d_name));
        if (char *diff = FirstDifference(from.get(), to.get()))
            return diff;
    }
    return nullptr;
}

[[noreturn]] void CouldNotWrite(const char *path) {
    fflush(stdout);
    fprintf(stderr, "ERROR: couldn't write %s\n", path);
    PutLogMsg("ERROR: couldn't write %s\n", path);
    exit_app(1);
}

// After a copy that failed: a source absent from the archive leaves a warning, but
// a source that is there and did not arrive whole (a full disk) leaves a
// half-installed product, so the run stops naming the first file that differs.
// intoDir: dest was a directory before the copy, so cp put the copy inside it.
void CheckFailedCopy(const char *source, const char *dest, bool intoDir) {
    MemStr target(intoDir ? SaveStr("%s/%s", dest, StripPath(source)) : SaveStr_(dest));
    MemStr diff(FirstDifference(source, target.get()));
    if (diff)
        CouldNotWrite(diff.get());
}

bool IsDir(const char *path) {
    struct stat st {};
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// The sed step's temporary file in the shared temporary directory: the program's
// own earlier file is removed (a link or the like by the look itself), another
// user's stops the run, and the file is made without following links.
void PrepareSedTemp(const char *path) {
    if (flDryRun)
        return;  // the sed step that writes it is planned, not run
    int fd = ReplaceSharedFile(path, 0644);
    close(fd);
}

// Modifiers: each acts on the operand's target in AppDir with its value.
void SetMode(const char *value, const char *operand) {
    SysCmd(CMD_CHMOD, SYSCMD_FATAL, "%s %s/%s", value, AppDir, operand);
}

void WriteLauncher(const char *value, const char *operand) {
    MemStr path(SaveStr("/usr/bin/%s", value));
    if (!GenSimpleScript(path.get(), ScriptShShell, SimpleScript, AppDir, AppDir, operand))
        exit_app(1);
}

void SetOwner(const char *value, const char *operand) {
    SysCmd(CMD_CHOWN, SYSCMD_FATAL, "-R %s %s/%s", value, AppDir, operand);
}

void SetGroup(const char *value, const char *operand) {
    SysCmd(CMD_CHGRP, SYSCMD_FATAL, "-R %s %s/%s", value, AppDir, operand);
}

void MakeLink(const char *value, const char *operand) {
    // An upgrade finds the link of the earlier installation in place.
    if (GetFileType(value) == FILETYPE_LINK)
        SysCmd(CMD_RM, SYSCMD_FATAL, "%s", value);
    SysCmd(CMD_LN, SYSCMD_FATAL, "-s %s/%s %s", AppDir, operand, value);
}

void Rename(const char *value, const char *operand) {
    SysCmd(CMD_MV, SYSCMD_FATAL, "%s/%s %s/%s", AppDir, operand, AppDir, value);
}

// The copy back gives the target the temporary file's mode, owner and group:
// the edited file gets back those it had (chown first, as it clears set-id bits).
void RestoreAttributes(const char *path, const struct stat &before) {
    struct stat now {};
    if (lstat(path, &now) != 0 || !S_ISREG(now.st_mode))
        return;
    bool ok = (now.st_uid == before.st_uid && now.st_gid == before.st_gid) ||
              lchown(path, before.st_uid, before.st_gid) == 0;
    ok = chmod(path, before.st_mode & 07777) == 0 && ok;
    if (!ok) {
        fprintf(stderr, "WARNING: couldn't restore the mode and owner of %s\n", path);
        PutLogMsg("WARNING: couldn't restore the mode and owner of %s\n", path);
    }
}

void EditWithSed(const char *value, const char *operand) {
    MemStr target(SaveStr("%s/%s", AppDir, operand));
    struct stat before {};
    bool known = lstat(target.get(), &before) == 0 && S_ISREG(before.st_mode);
    MemStr temp(SaveStr("%s/%s.tmp", pSedTempDir, my_name));
    PrepareSedTemp(temp.get());
    MemStr dir(ShQuoteSave(pSedTempDir));
    const char *quoted = ShQuote(my_name);
    SysCmdR(CMD_SED, SYSCMD_FATAL, "%s %s/%s > %s/%s.tmp", value, AppDir, operand, dir.get(), quoted);
    if (SysCmd(CMD_CP, SYSCMD_QUIET, "%s/%s.tmp %s/%s", dir.get(), quoted, AppDir, operand) != 0)
        CheckFailedCopy(temp.get(), target.get(), false);
    SysCmd(CMD_RM, SYSCMD_QUIET, "%s/%s.tmp", dir.get(), quoted);
    if (known && !flDryRun)
        RestoreAttributes(target.get(), before);
}

struct ModifierRow {
    int modifier;
    void (*run)(const char *value, const char *operand);
};
constexpr ModifierRow kModifierTable[] = {
    {MOD_MODE, SetMode},   {MOD_BAT, WriteLauncher}, {MOD_OWNER, SetOwner}, {MOD_GROUP, SetGroup},
    {MOD_LINK, MakeLink},  {MOD_NAME, Rename},       {MOD_SED, EditWithSed},
};

// In the order written; a modifier word of no row is skipped with its value.
void RunModifiers(const PkgLine &line) {
    for (int i = 0; i < line.modifiers; ++i) {
        for (const ModifierRow &row : kModifierTable) {
            if (row.modifier == line.modifier[i].modifier)
                row.run(line.modifier[i].value, line.operand);
        }
    }
}

// A copy of the list: cp (row) of the operand in the work area to dest.
void CopyOut(int row, const PkgLine &line, PkgRun &run, const char *dest) {
    bool intoDir = IsDir(dest);
    if (SysCmd(row, SYSCMD_WARN, "%s/%s/%s %s", run.workArea, run.subdir, line.operand, dest) != 0) {
        MemStr source(SaveStr("%s/%s/%s", pTalvoInstallDir, run.subdir, line.operand));
        CheckFailedCopy(source.get(), dest, intoDir);
    }
}

// Commands: each returns 1 when the whole list is to stop, else 0.
int CopyTree(const PkgLine &line, PkgRun &run) {
    CopyOut(CMD_CP_R, line, run, AppDir);
    RunModifiers(line);
    return 0;
}

int CopyTreeTo(const PkgLine &line, PkgRun &run) {
    // A destination that is a directory takes the tree inside it. One the earlier
    // installation made as the copy itself (its receipt names it but nothing of
    // that name inside it) takes the tree's contents again: an upgrade gives the
    // same system instead of a second copy below the first.
    MemStr source(SaveStr("%s/%s/%s", pTalvoInstallDir, run.subdir, line.operand));
    MemStr inside(SaveStr("%s/%s", line.destination, StripPath(line.operand)));
    if (IsDir(line.destination) && IsDir(source.get()) && EarlierReceiptNames(line.destination) &&
        !EarlierReceiptNames(inside.get())) {
        if (SysCmd(CMD_CP_R, SYSCMD_WARN, "%s/%s/%s/. %s", run.workArea, run.subdir, line.operand,
                   line.destination) != 0)
            CheckFailedCopy(source.get(), line.destination, false);
    } else {
        CopyOut(CMD_CP_R, line, run, line.destination);
    }
    RunModifiers(line);
    return 0;
}

int Touch(const PkgLine &line, PkgRun &) {
    SysCmd(CMD_TOUCH, SYSCMD_WARN, "%s/%s", AppDir, line.operand);
    RunModifiers(line);
    return 0;
}

int Copy(const PkgLine &line, PkgRun &run) {
    CopyOut(CMD_CP, line, run, AppDir);
    RunModifiers(line);
    return 0;
}

// Exists in AppDir, or would by now in a dry run.
bool InAppDir(const char *operand) {
    return FindFile(AppDir, operand) || PlannedPath(MemStr(SaveStr("%s/%s", AppDir, operand)).get());
}

int IfExists(const PkgLine &line, PkgRun &) {
    if (InAppDir(line.operand))
        RunModifiers(line);
    return 0;
}

int NewDir(const PkgLine &line, PkgRun &) {
    MemStr target(SaveStr("%s/%s", AppDir, line.operand));
    if (FindFile(nullptr, target.get()) || PlannedPath(target.get()))
        return 0;
    CreateFile(target.get(), nullptr, "775", nullptr, nullptr);
    RunModifiers(line);
    return 0;
}

int CheckProcesses(const PkgLine &line, PkgRun &) {
    if (QuitForRunningProcesses(line.operand))
        return 1;
    RunModifiers(line);
    return 0;
}

// The command words with their handlers; "#" and "v" are settled by the parser.
struct CommandRow {
    int command;
    int (*run)(const PkgLine &line, PkgRun &run);
};
constexpr CommandRow kCommandTable[] = {
    {PK_DIR, CopyTree},       {PK_DIRTO, CopyTreeTo}, {PK_TOUCH, Touch},    {PK_COPY, Copy},
    {PK_IFEXISTS, IfExists},  {PK_IFEXISTS2, IfExists}, {PK_NEWDIR, NewDir}, {PK_CHECKPS, CheckProcesses},
};

// 1 when the whole list is to stop. A line lacking a word is reported only when
// its version tests hold, since it stops where the installer meets the gap.
int RunLine(const PkgLine &line, PkgRun &run) {
    if (!TestsHold(line, run.release))
        return 0;
    if (line.missing) {
        ReportIncomplete(line.text);
        return 0;
    }
    for (const CommandRow &row : kCommandTable) {
        if (row.command == line.command)
            return row.run(line, run);
    }
    return 0;  // an empty line, a comment, or version tests alone
}

}  // namespace

int ProcessPkgList(const char *subdir) {
    MemStr path(SaveStr("%s/%s/pkg.list", pTalvoInstallDir, subdir));
    OpenInputFile(path.get(), 2);
    MemStr workArea(SaveStr_(ShQuote(pTalvoInstallDir)));
    PkgRun run{subdir, workArea.get(), {}};
    std::unique_ptr<PkgLine, MemFree> line(static_cast<PkgLine *>(GetMem(sizeof(PkgLine))));
    if (!line)
        OutOfMemory();

    // The line is parsed whole before it runs: its commands overwrite LineBuf.
    while (GetFileLine()) {
        ParsePkgLine(LineBuf, line.get());
        if (RunLine(*line, run)) {
            CloseInputFile();
            return 1;
        }
    }
    CloseInputFile();
    return 0;
}
