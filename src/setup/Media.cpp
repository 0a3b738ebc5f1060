// Media.cpp - reading the package from diskettes or an installation site into the
// work area, joining the archive, and writing new sites and diskette sets.
//
// The media list ("disks", or "DISKS" on a DOS diskette; MediaList.h) names the
// files of diskette i on line i. Only its first 4095 bytes are read.
#include <cctype>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include "Errors.h"
#include "FileCmds.h"
#include "Files.h"
#include "Installer.h"
#include "Log.h"
#include "MediaList.h"
#include "MemMgr.h"
#include "NlsSetup.h"
#include "StrUtils.h"
#include "SysCmd.h"
#include "Tokens.h"

const char *pFloppyDir = FLOPPY_DIR;

namespace {

// Reads the list of dir ("disks", else "DISKS", upper-cased up to the end marker)
// into LineBuf; 0 when there is neither.
int ReadDisksFile(const char *dir) {
    if (GetFileContent(dir, "disks"))
        return 1;
    if (!GetFileContent(dir, "DISKS"))
        return 0;
    char *end = StrStr(LineBuf, kEndOfList);
    for (char *p = LineBuf; *p && p != end; ++p)
        *p = static_cast<char>(toupper(static_cast<unsigned char>(*p)));
    return 1;
}

// The media list of dir as a saved string; stops the program when there is none.
char *MediaList(const char *dir) {
    GetDisksData(dir);
    return SaveStr_(LineBuf);
}

// Empties the work area and makes it again: a new directory of this user (never a
// link or an entry someone else made), mode 700, so nothing of the media is
// readable by other users while it exists or after a failed run. Another user's
// entry at its name stops the run (ClaimSharedName).
void MakeWorkArea() {
    if (ClaimSharedName(pTalvoInstallDir) == SHARED_OWN)
        DeleteFile(pTalvoInstallDir, nullptr);
    if (!MakeSharedDir(pTalvoInstallDir, 0700)) {
        fprintf(stderr, "ERROR: the work area %s is not a directory of this user\n", pTalvoInstallDir);
        exit_app(1);
    }
}

// Removes a leftover of an earlier run at dir/name: only the program's own entry
// (links and the like are removed by the look itself); another user's is left alone.
void RemoveLeftover(const char *dir, const char *name) {
    if (ExamineSharedName(MemStr(SaveStr("%s/%s", dir, name)).get()) == SHARED_OWN)
        SysCmd(CMD_RM, SYSCMD_QUIET, " %s/%s", ShQuote(dir), name);
}

// Makes dir/name ready for a copy by "cp": claimed for this run (another user's
// file stops it), and an empty file made without following links when nothing of
// this user is there, so the copy writes into the program's own file.
void PrepareCopyTarget(const char *dir, const char *name) {
    MemStr path(SaveStr("%s/%s", dir, name));
    if (ClaimSharedName(path.get()) == SHARED_OWN)
        return;
    int fd = CreateSharedFile(path.get(), 0600);
    if (fd < 0)
        SysError("can't create %s", path.get());
    close(fd);
}

// Writes text as the whole of a new file at path (mode 644): the program's own
// earlier file there is removed, and the file is made without following links.
// A failure stops the run with status 1.
void WriteNewFile(const char *path, const char *text) {
    if (ClaimSharedName(path) == SHARED_OWN)
        unlink(path);
    int fd = CreateSharedFile(path, 0644);
    if (fd < 0)
        SysError("can't create %s", path);
    size_t n = strlen(text);
    bool written = write(fd, text, n) == static_cast<ssize_t>(n);
    written = close(fd) == 0 && written;
    if (!written) {
        fprintf(stderr, "ERROR: couldn't write %s\n", path);
        exit_app(1);
    }
}

bool FloppyHasPiece(int i) {
    char lower[32], upper[32];
    snprintf(lower, sizeof lower, "pkg_tar.z%i", i);
    snprintf(upper, sizeof upper, "PKG_TAR.Z%i", i);
    return FindFile(pFloppyDir, lower) || FindFile(pFloppyDir, upper);
}

int InstallOrMenu() {
    if (pInstallDir)
        return Install();
    return RunMainMenu();
}

}  // namespace

void GetDisksData(const char *dir) {
    if (ReadDisksFile(dir))
        return;
    ErrorMsg(2, 1, "%s", MemStr(MsgSave<MSG_CANT_OPEN_SITE_DISKS>(MAKER)).get());
}

int GenZFile() {
    Name[0] = '\0';
    ChangeDir(pTmpDir);
    MemStr list(MediaList(pTalvoInstallDir));
    DeleteFile(pTalvoInstallDir, MemStr(SaveStr("%s.tar.Z", ARCHIVE_BASE)).get());
    MemStr work(ShQuoteSave(pTalvoInstallDir));
    const char *cursor = nullptr;
    char word[LINEBUF_SIZE];
    // The join splits at blanks and line ends only: a name joined to the next by a
    // tab names no file of the work area and stays out of the archive.
    for (const char *in = list.get(); GetTokenD(in, " \n\r", &cursor, word, sizeof word); in = nullptr) {
        if (strcmp(word, kEndOfList) == 0)
            break;
        if ((strncmp(word, "pkg_tar.", 8) == 0 || strncmp(word, "PKG_TAR.", 8) == 0) &&
            FindFile(pTalvoInstallDir, word))
            SysCmd(-CMD_CAT, SYSCMD_FATAL, "%s/%s >> %s/%s.tar.Z", work.get(), ShQuote(word), work.get(),
                   ARCHIVE_BASE);
    }
    return 0;
}

int EjectDiskette() {
    MemStr work(ShQuoteSave(pTalvoInstallDir));
    while (SysCmd(CMD_EJECT, SYSCMD_QUIET, " >> %s/Msg", work.get()) != 0) {
        MsgPrintf<MSG_CANT_OPEN>(stdout, pFloppyDir);
        ReadAnswer(LineBuf, LINEBUF_SIZE);
    }
    return 0;
}

int TestDiskette() {
    while (SysCmd(CMD_EJECT_Q, SYSCMD_QUIET, "%s", "") != 0) {
        MsgPrintf<MSG_CANT_EJECT>(stdout);
        MsgPrintf<MSG_NO_DISKETTE>(stdout);
        ReadAnswer(LineBuf, LINEBUF_SIZE);
    }
    return 0;
}

int InstallFromDiskette() {
    ChangeDir(pTmpDir);
    if (!FindFile(pFloppyDir, "disks") && !FindFile(pFloppyDir, "DISKS")) {
        MsgPrintf<MSG_NO_DISKETTE_0>(stderr);
        exit_app(1);
    }
    // Both names in the temporary directory are the run's: another user's entry at
    // either stops it before anything is copied.
    ClaimSharedName(pTalvoInstallDir);
    PrepareCopyTarget(pTmpDir, "setup.hlp");
    SysCmd(CMD_CP, SYSCMD_FATAL, "%s/setup.hlp .", ShQuote(pFloppyDir));
    MakeWorkArea();
    if (!ReadDisksFile(pFloppyDir))
        ErrorMsg(2, 1, "%s", MemStr(MsgSave<MSG_CANT_OPEN_FLOPPY_DISKS>()).get());
    MemStr list(SaveStr_(LineBuf));
    ForEachListLine(list.get(), [](int i, char *line) {
        MsgPrintf<MSG_READING_DISKETTE>(stdout, i);
        while (!FloppyHasPiece(i)) {
            EjectDiskette();
            MsgPrintf<MSG_INSERT_DISKETTE_NL>(stdout, i);
            ReadAnswer(LineBuf, LINEBUF_SIZE);
            SysCmd(CMD_VOLCHECK, SYSCMD_QUIET, "%s", "");
        }
        ForEachListWord(line, [](const char *name) {
            SysCmd(CMD_CP, SYSCMD_FATAL, "%s/%s %sInstall", ShQuote(pFloppyDir), ShQuote(name), MAKER);
        });
    });
    EjectDiskette();
    return InstallOrMenu();
}

int InstallFromSite() {
    MakeWorkArea();
    // A work area inside the site itself must not delete the installer.
    if (!SameFile(pTmpDir, pToolPath)) {
        RemoveLeftover(pTmpDir, "setup");
        RemoveLeftover(pTmpDir, "setup.hlp");
    }
    MemStr list(MediaList(pToolPath));
    ForEachListLine(list.get(), [](int, char *line) {
        ForEachListWord(line, [](const char *name) {
            SysCmd(CMD_CP, SYSCMD_FATAL, "%s/%s %s", ShQuote(pToolPath), ShQuote(name), ShQuote(pTalvoInstallDir));
        });
    });
    return InstallOrMenu();
}

int GenInstallSite() {
    ChangeDir(pTmpDir);
    if (!GetDirName(InstallSiteInfo, "/opt", 0))
        return 0;
    const char *separator = strcmp(Name, "/") == 0 ? "" : "/";
    MemStr site(SaveStr("%s%s%sInstall", Name, separator, ARCHIVE_BASE));
    MemStr list(MediaList(pTalvoInstallDir));
    // The chosen directory may be one every user can write to: before anything is
    // written, the site must be missing or a directory of this user that no one
    // else may write to, and no name written into it may be another user's.
    if (ClaimSharedName(site.get()) == SHARED_OWN) {
        if (!IsSafeDir(site.get())) {
            fflush(stdout);
            fprintf(stderr, "ERROR: %s exists and is not a safe directory\n", site.get());
            exit_app(1);
        }
        // cp puts each file under its base name into the site
        const char *dir = site.get();
        ForEachListLine(list.get(), [dir](int, char *line) {
            ForEachListWord(line, [dir](const char *name) {
                ClaimSharedName(MemStr(SaveStr("%s/%s", dir, StripPath(name))).get());
            });
        });
        ClaimSharedName(MemStr(SaveStr("%s/installf.rom", dir)).get());
    } else {
        if (!FindFile(nullptr, Name))
            CreateFile(Name, nullptr, nullptr, nullptr, nullptr);
        if (!MakeSharedDir(site.get(), 0755))
            SysError("can't create %s", site.get());
    }
    MemStr quoted(ShQuoteSave(site.get()));
    const char *quotedSite = quoted.get();
    ForEachListLine(list.get(), [quotedSite](int, char *line) {
        ForEachListWord(line, [quotedSite](const char *name) {
            SysCmd(CMD_CP, SYSCMD_FATAL, "%s/%s %s", ShQuote(pTalvoInstallDir), ShQuote(name), quotedSite);
        });
    });
    WriteNewFile(MemStr(SaveStr("%s/installf.rom", site.get())).get(), "installation site");
    return 0;
}

int GenInstallDisks() {
    Name[0] = '\0';
    ChangeDir(pTmpDir);
    if (!CreateTextFile(MemStr(SaveStr("%s/installf.rom", pTalvoInstallDir)).get(), "wt", 0, "%s", "diskette"))
        exit_app(1);
    MemStr list(MediaList(pTalvoInstallDir));
    ForEachListLine(list.get(), [](int i, char *line) {
        MsgPrintf<MSG_CREATING_DISKETTE>(stdout, i);
        int failed = SysCmdWarnings;
        while (SysCmd(CMD_EJECT_Q, SYSCMD_WARN, "%s", "") != 0) {
            MsgPrintf<MSG_INSERT_DOS_DISKETTE>(stdout, i);
            ReadAnswer(LineBuf, LINEBUF_SIZE);
        }
        SysCmdWarnings = failed;  // "no diskette yet" is an answer, not a failed command
        SysCmd(-CMD_VOLCHECK, SYSCMD_QUIET, "%s", "");
        SysCmd(-CMD_RM, SYSCMD_QUIET, "%s/*", ShQuote(pFloppyDir));
        ForEachListWord(line, [](const char *name) {
            SysCmd(CMD_CP, SYSCMD_FATAL, "%s/%s %s", ShQuote(pTalvoInstallDir), ShQuote(name), ShQuote(pFloppyDir));
        });
        EjectDiskette();
    });
    return 0;
}
