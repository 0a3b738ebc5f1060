// Installer.h - the installer's globals and operations.
// Fixed words of the product: the maker "Talvo", the product code "dorv", the
// archive base "SolarisDorv", the system package "MRGWdorv".
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
// "ERROR: unexpected end of input" (status 1) at end of input (Prompt.cpp).
char *ReadAnswer(char *buf, int size);

// Installation procedure (Install.cpp)
int Install();
void FreeSpaceForInstall(const char *workArea, const char *installDir, const char *word);
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

// Menus (Menus.cpp)
struct TextMenu;
struct TextMenuItem;
extern TextMenu MainMenu;
extern TextMenuItem MainMenuItems[];
extern TextMenu InstallMenu;
extern TextMenuItem InstallMenuItems[];
int RunMainMenu();
