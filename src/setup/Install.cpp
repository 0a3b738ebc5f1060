// Install.cpp - one installation from a filled work area, the free-space check,
// the daemon stop and the wait for running programs.
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Answers.h"
#include "Env.h"
#include "Errors.h"
#include "FileCmds.h"
#include "Files.h"
#include "Installer.h"
#include "Log.h"
#include "MemMgr.h"
#include "NlsSetup.h"
#include "Plan.h"
#include "TextMenu.h"
#include "Scripts.h"
#include "Sleep.h"
#include "StrUtils.h"
#include "SysCmd.h"
#include "SysQuery.h"
#include "Tokens.h"

namespace {

constexpr double kSizeMargin = 40.0;

// The first word of the first line of "uname -r", or null when it printed nothing.
char *SystemRelease() {
    CmdResponse *lines = GetCmdResponse(CMD_UNAME, nullptr, "%s", " -r");
    char *release = nullptr;
    if (lines && lines->pText) {
        char *word = GetToken(lines->pText, " \t\r\n");
        if (word)
            release = SaveStr_(word);
    }
    FreeResponseList(lines);
    return release;
}

// Size file beside the program plus the margin; stops with message 65 when it is
// missing or holds no usable size ("nan", "inf" or a negative number would turn
// the check off or ask for an endless amount).
double ReadSizeFile(const char *name) {
    double size = 0.0;
    if (!GetFileContent(pToolPath, name) || !ParseSizeText(LineBuf, &size)) {
        MsgPrintf<MSG_MISSING_ISIZE>(stdout);
        fflush(stdout);
        exit_app(1);
    }
    return size + kSizeMargin;
}

// The file system column (first word) and the mount point (last word) of a df data
// line. The numbers between them change with every write on a busy system, so two
// lines of one file system taken a moment apart need not be equal.
void FileSystemOf(const char *line, char *out, size_t size) {
    const char *first = line + strspn(line, " \t");
    size_t firstLen = strcspn(first, " \t\r\n");
    const char *end = first + strlen(first);
    while (end > first && strchr(" \t\r\n", end[-1]))
        --end;
    const char *last = end;
    while (last > first && !strchr(" \t", last[-1]))
        --last;
    snprintf(out, size, "%.*s %.*s", static_cast<int>(firstLen), first, static_cast<int>(end - last), last);
}

bool SameFileSystem(const char *a, const char *b) {
    char fa[DISK_SPACE_LINE + 2], fb[DISK_SPACE_LINE + 2];
    FileSystemOf(a, fa, sizeof fa);
    FileSystemOf(b, fb, sizeof fb);
    return strcmp(fa, fb) == 0;
}

// The existing-daemon dialogue: 0 to go on, exits on "no".
void ExistingDaemonDialogue() {
    MsgPrintf<MSG_DELETE_QUEUES>(stdout, MAKER, MAKER, MAKER, PRODUCT);
    char answer[512];
    for (;;) {
        MsgPrintf<MSG_CONTINUE_INSTALL>(stdout);
        AskLine(ANS_EXISTING_DAEMON, answer, sizeof answer);
        char *word = GetToken(answer, " \t\r\n");
        switch (word ? FindToken(word, ",y,yes,n,no,") : 0) {
        case 1:
        case 2:
            return;
        case 3:
            DeleteFile("/etc/rc2.d", "KTalvoPrintD");
            DeleteFile("/etc/rc2.d", "STalvoPrintD");
            return;
        case 4:
            exit_app(0);
        default:
            break;
        }
    }
}


// The archive's entry "." carries the owner and mode of the directory it was
// packed from, and tar gives them to the work area: it becomes this user's again,
// mode 700.
void KeepWorkAreaPrivate() {
    int fd = open(pTalvoInstallDir, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    bool kept = fd >= 0 && fchown(fd, geteuid(), getegid()) == 0 && fchmod(fd, 0700) == 0;
    if (fd >= 0)
        close(fd);
    if (!kept)
        SysError("can't keep the work area %s private", pTalvoInstallDir);
}

}  // namespace

bool ParseSizeText(const char *text, double *size) {
    double value = strtod(text, nullptr);
    if (!std::isfinite(value) || value < 0.0)
        return false;
    *size = value;
    return true;
}

void StopDemon() {
    for (const char *name : {"KelvraD", "KVD"}) {
        MemStr ids(GetSysPsIdList(name));
        if (!ids)
            continue;
        const char *cursor = nullptr;
        char word[64];
        for (const char *in = ids.get(); GetTokenD(in, " ", &cursor, word, sizeof word); in = nullptr) {
            pid_t pid;
            if (!SafePid(word, &pid))
                continue;
            if (SysKill(pid, SIGKILL) != 0) {
                if (errno == EPERM) {
                    perror(NlsSetupStrCvt(MSG_SETUP_ERROR));
                    return;
                }
                continue;
            }
            if (!flDryRun)
                MsgPrintf<MSG_KILLED_DAEMON>(stdout, word);
        }
    }
}

int QuitForRunningProcesses(const char *names) {
    for (;;) {
        MemStr running(CheckProcTableForExecs(names));
        if (!running)
            return 0;
        MsgPrintf<MSG_PROCESSES_RUNNING>(stdout);
        printf("%s\n", running.get());
        running.reset();
        MsgPrintf<MSG_WOULD_YOU_LIKE>(stdout);
        MsgPrintf<MSG_WAIT_30_SECONDS>(stdout);
        MsgPrintf<MSG_QUIT_INSTALL>(stdout);
        MsgPrintf<MSG_ENTER_SELECTION>(stdout);
        char answer[512];
        AskLine(ANS_RUNNING_PROGRAMS, answer, sizeof answer);  // the whole line: nothing is left for the next prompt
        if (answer[0] == '1') {
            for (int check = 0; check < 6; ++check) {
                SysSleep(5);
                if (!MemStr(CheckProcTableForExecs(names)))
                    return 0;
            }
        } else if (answer[0] == '2') {
            return 1;
        }
    }
}

void FreeSpaceForInstall(const char *workArea, const char *installDir, const char *word) {
    double isize = ReadSizeFile("isize");
    double tsize = ReadSizeFile("tsize");

    int workExists = 0;
    MemStr workFs(FindExistingPath(workArea, &workExists));
    DiskSpace work {};
    if (!GetDiskSpace(workFs.get(), &work))
        return;
    double workSize = workExists ? DUPath(workArea) : 0.0;
    double workAvail = work.Avail + workSize;

    MemStr target(SaveStr("%s/%s", installDir, word));
    int targetExists = 0;
    MemStr targetFs(FindExistingPath(target.get(), &targetExists));
    DiskSpace inst {};
    if (!GetDiskSpace(targetFs.get(), &inst))
        return;
    double targetSize = targetExists ? DUPath(target.get()) : 0.0;
    double instAvail = inst.Avail + targetSize;

    bool refuse = false;
    if (!SameFileSystem(work.Line, inst.Line)) {
        if (workAvail < tsize) {
            MsgPrintf<MSG_NO_WORK_SPACE>(stdout, pTmpDir, tsize);
            refuse = true;
        } else if (instAvail < isize) {
            MsgPrintf<MSG_NO_INSTALL_SPACE>(stdout, pInstallDir, isize);
            refuse = true;
        }
    } else {
        DiskSpace again {};
        double avail = GetDiskSpace(workFs.get(), &again) ? again.Avail : work.Avail;
        double combined = avail + workSize + targetSize;
        if (combined < isize + tsize) {
            MsgPrintf<MSG_NO_SHARED_SPACE>(stdout, workArea, pInstallDir, isize + tsize);
            refuse = true;
        }
    }
    if (refuse) {
        fflush(stdout);
        exit_app(0);
    }
}

int Install() {
    flNoteChanges = 1;  // for the receipt
    // 1. Only root installs.
    MemStr user(GetUserName());
    if (!user || strcmp(user.get(), "root") != 0) {
        MsgPrintf<MSG_NOT_ROOT>(stdout, user ? user.get() : "", my_name);
        flExitTextMenu = 1;
        return 1;
    }
    user.reset();

    // 2. The system release.
    MemStr release(SystemRelease());
    if (release && CompareRelease(release.get(), "5.6") < 0) {
        MsgPrintf<MSG_WRONG_VERSION>(stderr);
        flInstalled = 0;
        TalvoClean(1);
        exit_app(0);
    }
    release.reset();

    // 3. A print daemon of an earlier installation.
    if (pInstallDir) {
        MemStr app(SaveStr("%s/%s/%s", pInstallDir, MAKER, PRODUCT));
        bool daemon = FindFile(app.get(), "KelvraD") || FindFile(app.get(), "KelvraDStop");
        if (daemon)
            ExistingDaemonDialogue();
    }
    printf("\n");

    // 5. Conflicting system packages.
    char pkgName[32];
    snprintf(pkgName, sizeof pkgName, "MRGW%s", PRODUCT);
    MemStr packages(GetSysPkgList(pkgName));
    if (packages) {
        if (!AskYN(ANS_REMOVE_PACKAGES, "%s", MemStr(MsgSave<MSG_REMOVE_PACKAGES>(packages.get())).get())) {
            flExitTextMenu = 1;
            return 1;
        }
        // Each name read back from pkginfo goes to the shell quoted.
        MemStr args(SaveStr_(""));
        const char *cursor = nullptr;
        char word[256];
        for (const char *in = packages.get(); GetTokenD(in, " ", &cursor, word, sizeof word); in = nullptr)
            args.reset(SaveStr("%s %s", args.get(), ShQuote(word)));
        SysCmd(-CMD_PKGRM, SYSCMD_FATAL, "%s", args.get());
    }

    // 6-8. Stop the daemon, join and unpack the archive.
    StopDemon();
    GenZFile();
    DeleteFile(pTalvoInstallDir, "SolarisDorv.tar");
    SysCmd(CMD_UNCOMPRESS, SYSCMD_FATAL, "%s/%s.tar.Z", ShQuote(pTalvoInstallDir), ARCHIVE_BASE);
    ChangeDir(pTalvoInstallDir);
    SysCmd(CMD_TAR_X, SYSCMD_FATAL, "%s/%s.tar", ShQuote(pTalvoInstallDir), ARCHIVE_BASE);
    KeepWorkAreaPrivate();
    DeleteFile(pTalvoInstallDir, "SolarisDorv.tar");

    // 9. The install root.
    if (!pInstallDir) {
        if (!GetDirName(InstallInfo, "/opt", 1))
            return 1;
        pInstallDir = SaveStr_(Name);
    }

    // 10-12. Application and spool directories.
    snprintf(AppDir, sizeof AppDir, "%s/%s/%s", pInstallDir, MAKER, PRODUCT);
    SysCmd(CMD_CHMOD, SYSCMD_QUIET, "755 %s/%s", ShQuote(pInstallDir), MAKER);
    CreateFile(AppDir, nullptr, "775", nullptr, nullptr);
    CreateFile(AppDir, ".PrintError", "666", nullptr, nullptr);
    MemStr spool(SaveStr("/var/spool/%s", MAKER));
    MemStr queueSpool(SaveStr("%s/%s", spool.get(), PRODUCT));
    MemStr download(SaveStr("%s/%s/__kva_download__", spool.get(), PRODUCT));
    CreateFile(spool.get(), nullptr, "775", nullptr, nullptr);
    CreateFile(queueSpool.get(), nullptr, "775", nullptr, nullptr);
    CreateFile(download.get(), nullptr, "777", nullptr, nullptr);

    // 13. The spooler flag: CUPS wins over LPRng, both over System V.
    const char *flag = " V5 ";
    if (SniffLprng())
        flag = " LPRng ";
    if (SniffCUPS())
        flag = " CUPS ";
    MemStr flagFile(SaveStr("%s/.kv_cfg", AppDir));
    if (!PlanLine("write %s (mode 644): \"%s\"", flagFile.get(), flag) &&
        !CreateTextFile(flagFile.get(), "wt", 0644, "%s", flag))
        exit_app(1);
    NoteChange(flagFile.get(), 0);

    // 14. Links into /opt.
    if (strcmp(pInstallDir, "/opt") != 0) {
        int optType = GetFileType("/opt/Talvo");
        CreateFile(pInstallDir, nullptr, "775", nullptr, nullptr);
        const char *root = ShQuote(pInstallDir);
        if (optType == FILETYPE_DIR)
            SysCmd(CMD_LN, SYSCMD_FATAL, "-s %s/%s/%s %s/%s/%s", root, MAKER, PRODUCT, "/opt", MAKER, PRODUCT);
        else if (optType == FILETYPE_NONE)
            SysCmd(CMD_LN, SYSCMD_FATAL, "-s %s/%s %s/%s", root, MAKER, "/opt", MAKER);
    }

    // 15. Register the system package.
    ChangeDir(pTalvoInstallDir);
    SysCmd(-CMD_PKGADD, SYSCMD_FATAL, "-d %s MRGW%s", ShQuote(pTalvoInstallDir), PRODUCT);

    // 16. Owner and group of the desktop files.
    if (!TestConfigFlag(AppDir, ".StandAloneDb") && !TestConfigFlag(AppDir, ".StandAlone")) {
        SysCmd(CMD_CHOWN, SYSCMD_QUIET, "-R root %s/dt", ShQuote(pTalvoInstallDir));
        SysCmd(CMD_CHGRP, SYSCMD_QUIET, "-R other %s/dt", ShQuote(pTalvoInstallDir));
    }

    // 17. The two interface scripts.
    MemStr script1(SaveStr("%s/%sPrint%s", AppDir, MAKER, PRODUCT));
    if (!GenSimpleScript(script1.get(), ScriptShShell, TalvoPrintdorvScript, AppDir, PRODUCT, "kelvradorv",
                         "kelvradorv", PRODUCT, PRODUCT, PRODUCT))
        exit_app(1);
    MemStr script2(SaveStr("%s/%s%s", AppDir, MAKER, "KSF"));
    if (!GenSimpleScript(script2.get(), ScriptShShell, TalvoKSFScript, AppDir, queueSpool.get()))
        exit_app(1);

    // 18. The product files, then the maintenance tool.
    if (ProcessPkgList(".") != 0)
        return 1;
    flInstalled = 1;
    flExitTextMenu = 1;
    MemStr upgrade(SaveStr("%s/kvqadmin -upgrade", ShQuote(AppDir)));
    fflush(stdout);
    if (!PlanLine("run %s", upgrade.get()) && RunShellLine(upgrade.get()) == -1)
        perror("kvqadmin");
    WriteReceipt();
    return 0;
}
