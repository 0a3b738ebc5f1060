// Installer.h - the installer's globals and operations.
// Fixed words of the product: the maker "Talvo", the product code "dorv", the
// archive base "SolarisDorv", the system package "MRGWdorv".
//
// What a caller can rely on:
// - Results in the shared buffers (valid until the next user overwrites them):
//   LocatePreviousInstallation returns Name (the earlier install root) or null;
//   GetDirName leaves the directory it proposes or the user typed in Name and
//   returns 1 when the user accepts it, 0 when not; GenZFile and GenInstallDisks
//   use Name as scratch. Every question reads its answer into LineBuf, and the
//   media list is read there too (GetDisksData).
// - Strings: MsgSave returns a GetMem string the caller frees; StripToBaseName
//   cuts its argument in place and returns it.
// - Ending the program: SetupMain always ends it (exit_app). Every question stops
//   with "ERROR: unexpected end of input" and status 1 at end of input
//   (ReadAnswer, and so GetDirName, the media functions and Install); with an
//   answer file (Answers.h) the questions it covers are answered from it and one
//   it does not answer stops with status 1. An orderly
//   refusal (not root, release too low, not enough space, the user declined) ends
//   with status 0 inside Install and FreeSpaceForInstall (QuitForRunningProcesses
//   returns 1 when the user chooses to quit; its caller ends the run).
//   A command run in SYSCMD_FATAL mode that fails stops with status 1 (Install,
//   ProcessPkgList, GenZFile, the media functions, DelQLSV); GetDisksData stops
//   with status 1 when the media list cannot be read; StopDemon stops with status 1
//   when a running daemon cannot be signalled. A file the installer writes itself
//   (the flag file, the interface scripts, a launcher, installf.rom) or a package-list
//   copy left different from its source stops with "ERROR: couldn't write %s" and
//   status 1; a size file that is missing or holds no finite, non-negative number
//   stops FreeSpaceForInstall with status 1. Everything else returns.
#pragma once
#include <cstdio>
#include "Attrs.h"
#include "MsgFormat.h"

constexpr char SETUP_VERSION[] = "3.00.92";
constexpr char MAKER[] = "Talvo";
constexpr char PRODUCT[] = "dorv";
constexpr char ARCHIVE_BASE[] = "SolarisDorv";
constexpr char FLOPPY_DIR[] = "/floppy/floppy0";
constexpr int APPDIR_SIZE = 512;

extern char *pTmpDir;           // directory that holds the work area
extern char *pTalvoInstallDir;  // the work area
extern char *pInstallDir;       // install root, null until chosen
extern char *pInitTabSave;      // backup name of the init table
extern char AppDir[APPDIR_SIZE];
extern char flMenu;
extern char flInstalled;
extern const char *InstallInfo[6];
extern const char *InstallSiteInfo[5];
extern const char *pFloppyDir;  // where the diskette is mounted: FLOPPY_DIR (tests point it elsewhere)
extern const char *pSedTempDir; // where the sed modifier edits into: "/tmp" (tests point it elsewhere)


// Entry (main.cpp, Entry.cpp)
[[noreturn]] void SetupMain(int argc, char **argv);
int TestConfigFlag(const char *dir, const char *name);
char *StripToBaseName(char *path);
char *LocatePreviousInstallation();
int GetDirName(const char **info, const char *proposal, char check);
// 1 when an install root may be written into scripts: only the safe characters
// and short enough for AppDir and Name.
int ValidInstallRoot(const char *dir);
// Compares release numbers field by field ("5.10" is above "5.6").
int CompareRelease(const char *a, const char *b);
// Reads one answer line from standard input into buf; stops the program with
// "ERROR: unexpected end of input" (status 1) at end of input (Prompt.cpp). A line
// that does not fit buf is read to its end, dropped, and asked for again.
char *ReadAnswer(char *buf, int size);

// Installation procedure (Install.cpp)
int Install();
void FreeSpaceForInstall(const char *workArea, const char *installDir, const char *word);
// The size a size file ("isize", "tsize") gives in its text: true with *size set
// when the text starts with a finite number that is not negative.
bool ParseSizeText(const char *text, double *size);
void StopDemon();
int QuitForRunningProcesses(const char *names);

// Package list (PkgList.cpp)
int ProcessPkgList(const char *subdir);

// Media (Media.cpp)
void GetDisksData(const char *dir);
int GenZFile();
int InstallFromDiskette();
int InstallFromSite();
int GenInstallSite();
int GenInstallDisks();
int EjectDiskette();
int TestDiskette();
// Checks the medium the program runs from (a site, or the diskette in the drive)
// against its checksum list and prints one line per listed file ("NAME: OK",
// "NAME: damaged (checksum mismatch)", "NAME: missing"; on a diskette a file of
// another diskette is "not on this diskette"); 0 when every file checked is whole,
// 1 otherwise or when the medium has no list. Installs nothing.
int CheckMedia();

// The receipt (Receipt.cpp). WriteReceipt writes <AppDir>/.install-receipt from
// the paths the run noted (Plan.h), to a temporary name renamed into place; a
// failed write stops with "ERROR: couldn't write %s" and status 1.
// VerifyInstallation and RemoveInstallation take the install root (null: an
// earlier installation's, else /opt) and return the program's status: 0 nothing
// differs / all removed or kept as listed, 1 something differs / a removal failed,
// 2 no installation or no receipt there.
void WriteReceipt();
// 1 when the receipt found in AppDir at the first call (an earlier installation's)
// names path.
int EarlierReceiptNames(const char *path);
int VerifyInstallation(const char *dir);
int RemoveInstallation(const char *dir);

// Menus (Menus.cpp)
struct TextMenu;
struct TextMenuItem;
extern TextMenu MainMenu;
extern TextMenuItem MainMenuItems[];
extern TextMenu InstallMenu;
extern TextMenuItem InstallMenuItems[];
int RunMainMenu();
