// PkgList.cpp - the package list: places the product's files from the work area
// into the application directory, one command line at a time.
//
// A line is: command word, operand, command words, then modifier pairs. Words are
// separated by blanks; CR and LF end a word; a tab is part of a word. "#" as a word
// of its own starts a comment. Every step runs through the command runner; the
// list's own words, operands and sed scripts go to the shell as written.
#include <cerrno>
#include <cstdio>
#include <cstring>

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
#include "Scripts.h"
#include "StrUtils.h"
#include "SysCmd.h"
#include "SysQuery.h"
#include "Tokens.h"

namespace {

constexpr char kCommands[] = ",dir,dirto,t,c,m,#,v,s,newdir,checkps";
enum { PK_DIR = 1, PK_DIRTO, PK_TOUCH, PK_COPY, PK_IFEXISTS, PK_COMMENT, PK_VERSION, PK_IFEXISTS2, PK_NEWDIR, PK_CHECKPS };
constexpr char kOperators[] = ",<,<=,=,>,>=,";
enum { OP_LT = 1, OP_LE, OP_EQ, OP_GT, OP_GE };
constexpr char kModifiers[] = ",mode,bat,owner,group,link,name,sed";
enum { MOD_MODE = 1, MOD_BAT, MOD_OWNER, MOD_GROUP, MOD_LINK, MOD_NAME, MOD_SED };
constexpr char kDelims[] = " \r\n";

// One line of the list being worked through: its text and the word cursor.
struct PkgLine {
    char text[LINEBUF_SIZE];
    const char *cursor;
    bool started;
    char word[LINEBUF_SIZE];

    // The next word, or null at the end of the line.
    const char *Next() {
        const char *in = started ? nullptr : text;
        started = true;
        return GetTokenD(in, kDelims, &cursor, word, sizeof word);
    }
    // The rest of the line after the cursor, blanks included, without its line end.
    char *Rest() {
        const char *p = cursor ? cursor : "";
        while (*p == ' ')
            ++p;
        size_t n = strcspn(p, "\r\n");
        char *rest = static_cast<char *>(GetMem(static_cast<int>(n) + 1));
        if (rest)
            memcpy(rest, p, n);
        cursor = p + n;
        return rest;
    }
};

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

// The sed step's temporary file: an earlier link or non-regular file of that
// name is removed, and the file is made without following links.
void PrepareSedTemp(const char *path) {
    struct stat st {};
    if (lstat(path, &st) == 0 && !S_ISREG(st.st_mode))
        unlink(path);
    unlink(path);
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
    if (fd < 0)
        SysError("can't create %s", path);
    close(fd);
}

void RunModifier(int modifier, const char *value, const char *operand) {
    switch (modifier) {
    case MOD_MODE:
        SysCmd(CMD_CHMOD, 2, "%s %s/%s", value, AppDir, operand);
        break;
    case MOD_BAT: {
        char *path = SaveStr("/usr/bin/%s", value);
        GenSimpleScript(path, ScriptShShell, SimpleScript, AppDir, AppDir, operand);
        PutMem(path);
        break;
    }
    case MOD_OWNER:
        SysCmd(CMD_CHOWN, 2, "-R %s %s/%s", value, AppDir, operand);
        break;
    case MOD_GROUP:
        SysCmd(CMD_CHGRP, 2, "-R %s %s/%s", value, AppDir, operand);
        break;
    case MOD_LINK:
        // An upgrade finds the link of the earlier installation in place.
        if (GetFileType(value) == FILETYPE_LINK)
            SysCmd(CMD_RM, 2, "%s", value);
        SysCmd(CMD_LN, 2, "-s %s/%s %s", AppDir, operand, value);
        break;
    case MOD_NAME:
        SysCmd(CMD_MV, 2, "%s/%s %s/%s", AppDir, operand, AppDir, value);
        break;
    case MOD_SED: {
        char *temp = SaveStr("/tmp/%s.tmp", my_name);
        PrepareSedTemp(temp);
        const char *quoted = ShQuote(my_name);
        SysCmdR(CMD_SED, 2, "%s %s/%s > /tmp/%s.tmp", value, AppDir, operand, quoted);
        SysCmd(CMD_CP, 0, "/tmp/%s.tmp %s/%s", quoted, AppDir, operand);
        SysCmd(CMD_RM, 0, "/tmp/%s.tmp", quoted);
        PutMem(temp);
        break;
    }
    default:
        break;  // unknown modifiers are skipped with their value
    }
}

void RunModifiers(PkgLine &line, const char *operandWord) {
    char *operand = SaveStr_(operandWord);
    const char *word = line.Next();
    if (!word) {
        PutMem(operand);
        return;
    }
    int modifier = FindToken(word, kModifiers);
    char *value = nullptr;
    if (modifier == MOD_SED) {
        value = line.Rest();
        if (value && !*value) {
            PutMem(value);
            value = nullptr;
        }
    } else {
        const char *next = line.Next();
        value = next ? SaveStr_(next) : nullptr;
    }
    while (value) {
        RunModifier(modifier, value, operand);
        PutMem(value);
        value = nullptr;
        word = line.Next();
        if (!word)
            break;
        modifier = FindToken(word, kModifiers);
        const char *next = line.Next();
        value = next ? SaveStr_(next) : nullptr;
    }
    PutMem(operand);
}

}  // namespace

int ProcessPkgList(const char *subdir) {
    char *path = SaveStr("%s/%s/pkg.list", pTalvoInstallDir, subdir);
    OpenInputFile(path, 2);
    PutMem(path);
    const char *work = ShQuote(pTalvoInstallDir);
    char *workArea = SaveStr_(work);
    Release release;
    auto *line = static_cast<PkgLine *>(GetMem(sizeof(PkgLine)));
    if (!line)
        SysError("%s", OutOfMem);

    while (GetFileLine()) {
        memcpy(line->text, LineBuf, sizeof line->text);
        line->text[sizeof line->text - 1] = '\0';
        line->cursor = nullptr;
        line->started = false;

        const char *first = line->Next();
        if (!first)
            continue;
        char command[LINEBUF_SIZE];
        snprintf(command, sizeof command, "%s", first);
        bool lineDone = false;
        while (!lineDone) {
            lineDone = true;
            int cmd = FindToken(command, kCommands);
            if (cmd == PK_COMMENT)
                break;
            const char *opWord = line->Next();
            if (!opWord) {
                ReportIncomplete(line->text);
                break;
            }
            char operand[LINEBUF_SIZE];
            snprintf(operand, sizeof operand, "%s", opWord);
            switch (cmd) {
            case PK_DIR:
                SysCmd(CMD_CP_R, 1, "%s/%s/%s %s", workArea, subdir, operand, AppDir);
                RunModifiers(*line, operand);
                break;
            case PK_DIRTO: {
                const char *dest = line->Next();
                if (!dest) {
                    ReportIncomplete(line->text);
                    break;
                }
                SysCmd(CMD_CP_R, 1, "%s/%s/%s %s", workArea, subdir, operand, dest);
                RunModifiers(*line, operand);
                break;
            }
            case PK_TOUCH:
                SysCmd(CMD_TOUCH, 1, "%s/%s", AppDir, operand);
                RunModifiers(*line, operand);
                break;
            case PK_IFEXISTS:
            case PK_IFEXISTS2:
                if (FindFile(AppDir, operand))
                    RunModifiers(*line, operand);
                break;
            case PK_VERSION: {
                const char *wanted = line->Next();
                if (!wanted) {
                    ReportIncomplete(line->text);
                    break;
                }
                const char *system = release.Get();
                if (!system) {
                    perror(NlsSetupStrCvt(MSG_NO_VERSION));
                    break;
                }
                if (!VersionHolds(FindToken(operand, kOperators), system, wanted))
                    break;
                const char *next = line->Next();
                if (!next)
                    break;
                snprintf(command, sizeof command, "%s", next);
                lineDone = false;  // the command that follows the test
                break;
            }
            case PK_NEWDIR: {
                char *target = SaveStr("%s/%s", AppDir, operand);
                bool exists = FindFile(nullptr, target);
                if (!exists)
                    CreateFile(target, nullptr, "775", nullptr, nullptr);
                PutMem(target);
                if (!exists)
                    RunModifiers(*line, operand);
                break;
            }
            case PK_CHECKPS:
                if (QuitForRunningProcesses(operand)) {
                    CloseInputFile();
                    PutMem(line);
                    PutMem(workArea);
                    return 1;
                }
                RunModifiers(*line, operand);
                break;
            case PK_COPY:
            default:
                SysCmd(CMD_CP, 1, "%s/%s/%s %s", workArea, subdir, operand, AppDir);
                RunModifiers(*line, operand);
                break;
            }
        }
    }
    CloseInputFile();
    PutMem(line);
    PutMem(workArea);
    return 0;
}
