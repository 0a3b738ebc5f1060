// Media.cpp - reading the package from diskettes or an installation site into the
// work area, joining the archive, and writing new sites and diskette sets.
//
// The media list ("disks", or "DISKS" on a DOS diskette; MediaList.h) names the
// files of diskette i on line i. Only its first 4095 bytes are read.
//
// A medium may carry the checksum list "pkg.sums" (on diskette 1 of a set, for every
// diskette). When it does, every file copied from the medium is checked right after
// its copy, and every file the list names must have been copied, before Install
// changes anything. The list itself is not named by the media list, so media
// without one read as they always did.
#include <cctype>
#include <cstdio>
#include <cstring>

#include <strings.h>
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
#include "Plan.h"
#include "StrUtils.h"
#include "Sums.h"
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
    if (flDryRun)
        return;  // the copy itself is planned, not run
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
    if (PlanLine("write %s (mode 644): \"%s\"", path, text))
        return;
    int fd = ReplaceSharedFile(path, 0644);
    size_t n = strlen(text);
    bool written = write(fd, text, n) == static_cast<ssize_t>(n);
    written = close(fd) == 0 && written;
    if (!written) {
        fprintf(stderr, "ERROR: couldn't write %s\n", path);
        exit_app(1);
    }
}

// The checksum list of the medium being read; Count 0 when it carries none. It
// lives for the run (a new read of a medium replaces it).
SumList MediaSums {};

// Reads the checksum list of the medium in dir ("pkg.sums", else "PKG.SUMS");
// the result of ReadSumList. A list that cannot be read stops the run with status 1.
int LoadMediaSums(const char *dir) {
    FreeSumList(&MediaSums);
    MemStr path(SaveStr("%s/%s", dir, SUMS_FILE));
    int read = ReadSumList(path.get(), &MediaSums);
    if (read == SUMS_ABSENT) {
        path.reset(SaveStr("%s/PKG.SUMS", dir));
        read = ReadSumList(path.get(), &MediaSums);
    }
    if (read == SUMS_MALFORMED) {
        fflush(stdout);
        fprintf(stderr, "ERROR: %s is damaged (not a list of checksums)\n", path.get());
        exit_app(1);
    }
    return read;
}

// CheckCopy's result for a file the list does not name.
constexpr int kNotListed = SUM_MISSING + 1;

// A line of its own on standard error after the copies' progress dots.
const char *OwnLine() {
    fflush(stdout);
    return flSysCmdLog ? "\n" : "";
}

[[noreturn]] void StopDamaged(const char *name, int result) {
    const char *nl = OwnLine();
    if (result == kNotListed)
        fprintf(stderr, "%sERROR: %s is not listed in %s; the system was not changed\n", nl, name, SUMS_FILE);
    else if (result == SUM_MISSING)
        fprintf(stderr, "%sERROR: %s is missing; the system was not changed\n", nl, name);
    else
        fprintf(stderr, "%sERROR: %s is damaged (checksum mismatch); the system was not changed\n", nl, name);
    exit_app(1);
}

// The files a checksum list leaves out: the marker, which tells the kind of medium
// and so differs between copies, and the list itself.
bool Unsummed(const char *name) {
    return strcasecmp(name, "installf.rom") == 0 || strcasecmp(name, SUMS_FILE) == 0;
}

// Checks the copy at dir/(base name of name) of a file of the medium: SUM_OK when the
// medium carries no list or the copy is whole, kNotListed for a file the list does
// not name (the list and the media list disagree), else CheckSum's result.
int CheckCopy(const char *dir, const char *name) {
    if (MediaSums.Count == 0 || Unsummed(StripPath(name)))
        return SUM_OK;
    SumEntry *entry = FindSum(&MediaSums, StripPath(name));
    if (!entry)
        return kNotListed;
    entry->Seen = 1;
    return CheckSum(MemStr(SaveStr("%s/%s", dir, StripPath(name))).get(), entry->Hex);
}

// A file the medium's list names that is not on the medium (before its copy).
void StopIfMissing(const char *dir, const char *name) {
    if (MediaSums.Count != 0 && FindSum(&MediaSums, StripPath(name)) && !FindFile_(dir, name))
        StopDamaged(name, SUM_MISSING);
}

// Copies a file named by the media list from the medium in dir into the work area
// and checks the copy; stops when the list names it and the medium lacks it.
int CopyFromMedium(const char *dir, const char *name) {
    StopIfMissing(dir, name);
    SysCmd(CMD_CP, SYSCMD_FATAL, "%s/%s %s", ShQuote(dir), ShQuote(name), ShQuote(pTalvoInstallDir));
    return CheckCopy(pTalvoInstallDir, name);
}

// The checksum list of the files the media list names, read from the copies in dir,
// as the text of "pkg.sums" (a saved string). Stops when a file cannot be read.
char *SumsOfList(const char *list, const char *dir) {
    MemStr text(SaveStr_(""));
    ForEachListLine(list, [dir, &text](int, char *line) {
        ForEachListWord(line, [dir, &text](const char *name) {
            MemStr base(SaveStr_(StripPath(name)));
            if (Unsummed(base.get()))
                return;
            MemStr path(SaveStr("%s/%s", dir, name));
            MemStr sum(SumLine(path.get(), base.get()));
            if (!sum)
                SysError("can't read %s", path.get());
            text.reset(SaveStr("%s%s", text.get(), sum.get()));
        });
    });
    return text.release();
}

// Every file of the list must have been copied; stops otherwise.
void StopIfNotAllRead() {
    for (int i = 0; i < MediaSums.Count; ++i)
        if (!MediaSums.pEntry[i].Seen)
            StopDamaged(MediaSums.pEntry[i].Name, SUM_MISSING);
}

bool FloppyHasPiece(int i) {
    char lower[32], upper[32];
    snprintf(lower, sizeof lower, "pkg_tar.z%i", i);
    snprintf(upper, sizeof upper, "PKG_TAR.Z%i", i);
    return FindFile(pFloppyDir, lower) || FindFile(pFloppyDir, upper);
}

void AskForDiskette(int i) {
    EjectDiskette();
    MsgPrintf<MSG_INSERT_DISKETTE_NL>(stdout, i);
    ReadAnswer(LineBuf, LINEBUF_SIZE);
    SysCmd(CMD_VOLCHECK, SYSCMD_QUIET, "%s", "");
}

// Copies the files of one line of the media list from the diskette into the work
// area, checking each copy: null when all are whole, else the name of the first
// damaged one (the rest of the line is not copied). Missing or unlisted files stop.
const char *ReadDisketteLine(char *line) {
    static char damaged[SUM_NAME_SIZE];
    damaged[0] = '\0';
    ForEachListWord(line, [](const char *name) {
        if (damaged[0] != '\0')
            return;
        StopIfMissing(pFloppyDir, name);
        SysCmd(CMD_CP, SYSCMD_FATAL, "%s/%s %sInstall", ShQuote(pFloppyDir), ShQuote(name), MAKER);
        int check = CheckCopy(pTalvoInstallDir, name);
        if (check == SUM_DAMAGED)
            CopyStr(damaged, name);
        else if (check != SUM_OK)
            StopDamaged(name, check);
    });
    return damaged[0] != '\0' ? damaged : nullptr;
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
    LoadMediaSums(pFloppyDir);
    StopIfMissing(pFloppyDir, "setup.hlp");
    PrepareCopyTarget(pTmpDir, "setup.hlp");
    SysCmd(CMD_CP, SYSCMD_FATAL, "%s/setup.hlp .", ShQuote(pFloppyDir));
    // A dry run only plans the copy into the temporary directory: it checks the
    // diskette's own file instead.
    if (int check = CheckCopy(flDryRun ? pFloppyDir : pTmpDir, "setup.hlp"); check != SUM_OK)
        StopDamaged("setup.hlp", check);
    MakeWorkArea();
    if (!ReadDisksFile(pFloppyDir))
        ErrorMsg(2, 1, "%s", MemStr(MsgSave<MSG_CANT_OPEN_FLOPPY_DISKS>()).get());
    MemStr list(SaveStr_(LineBuf));
    ForEachListLine(list.get(), [](int i, char *line) {
        MsgPrintf<MSG_READING_DISKETTE>(stdout, i);
        for (;;) {
            while (!FloppyHasPiece(i))
                AskForDiskette(i);
            const char *damaged = ReadDisketteLine(line);
            if (!damaged)
                break;
            // A damaged copy is read again from the diskette, which may have been
            // badly inserted; end of input at the question stops the run.
            fprintf(stderr, "%sWARNING: %s is damaged (checksum mismatch)\n", OwnLine(), damaged);
            AskForDiskette(i);
        }
    });
    EjectDiskette();
    StopIfNotAllRead();
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
    LoadMediaSums(pToolPath);
    ForEachListLine(list.get(), [](int, char *line) {
        ForEachListWord(line, [](const char *name) {
            if (int check = CopyFromMedium(pToolPath, name); check != SUM_OK)
                StopDamaged(name, check);
        });
    });
    StopIfNotAllRead();
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
        ClaimSharedName(MemStr(SaveStr("%s/%s", dir, SUMS_FILE)).get());
    } else {
        if (!FindFile(nullptr, Name))
            CreateFile(Name, nullptr, nullptr, nullptr, nullptr);
        if (!PlanLine("mkdir %s (mode 755)", site.get()) && !MakeSharedDir(site.get(), 0755))
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
    MemStr sums(SumsOfList(list.get(), pTalvoInstallDir));
    WriteNewFile(MemStr(SaveStr("%s/%s", site.get(), SUMS_FILE)).get(), sums.get());
    return 0;
}

int GenInstallDisks() {
    Name[0] = '\0';
    ChangeDir(pTmpDir);
    if (!CreateTextFile(MemStr(SaveStr("%s/installf.rom", pTalvoInstallDir)).get(), "wt", 0, "%s", "diskette"))
        exit_app(1);
    MemStr list(MediaList(pTalvoInstallDir));
    // The checksum list of the whole set goes onto diskette 1.
    MemStr sums(SumsOfList(list.get(), pTalvoInstallDir));
    if (!CreateTextFile(MemStr(SaveStr("%s/%s", pTalvoInstallDir, SUMS_FILE)).get(), "wt", 0, "%s", sums.get()))
        exit_app(1);
    sums.reset();
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
        if (i == 1)
            SysCmd(CMD_CP, SYSCMD_FATAL, "%s/%s %s", ShQuote(pTalvoInstallDir), SUMS_FILE, ShQuote(pFloppyDir));
        EjectDiskette();
    });
    return 0;
}

namespace {

// The kind of medium as SetupMain tells it: installf.rom beside the program, a
// diskette when it is missing.
bool MediumIsDiskette() {
    if (GetFileContent(pToolPath, "installf.rom") || GetFileContent(pToolPath, "INSTALLF.ROM"))
        return LineBuf[0] == 'd';
    return true;
}

// The file of the medium in dir that a list entry names, in the case the medium
// shows it; null when there is none.
char *MediumFile(const char *dir, const char *name) {
    if (FindFile_(dir, name))
        return SaveStr("%s/%s", dir, name);
    char upper[SUM_NAME_SIZE];
    CopyStr(upper, name);
    for (char *p = upper; *p; ++p)
        *p = static_cast<char>(toupper(static_cast<unsigned char>(*p)));
    return FindFile_(dir, upper) ? SaveStr("%s/%s", dir, upper) : nullptr;
}

}  // namespace

int CheckMedia() {
    bool diskette = MediumIsDiskette();
    const char *dir = diskette ? pFloppyDir : pToolPath;
    if (LoadMediaSums(dir) != SUMS_READ) {
        fprintf(stderr, "ERROR: %s holds no %s; nothing was checked\n", dir, SUMS_FILE);
        return 1;
    }
    int bad = 0;
    for (int i = 0; i < MediaSums.Count; ++i) {
        const SumEntry &entry = MediaSums.pEntry[i];
        MemStr path(MediumFile(dir, entry.Name));
        int check = path ? CheckSum(path.get(), entry.Hex) : SUM_MISSING;
        if (check == SUM_OK) {
            printf("%s: OK\n", entry.Name);
        } else if (check == SUM_DAMAGED) {
            printf("%s: damaged (checksum mismatch)\n", entry.Name);
            bad = 1;
        } else if (diskette) {
            printf("%s: not on this diskette\n", entry.Name);  // a set's list names every diskette's files
        } else {
            printf("%s: missing\n", entry.Name);
            bad = 1;
        }
    }
    fflush(stdout);
    return bad;
}
