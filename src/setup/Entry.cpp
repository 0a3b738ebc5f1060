// Entry.cpp - start-up, the command line, and the choice of the install root.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include <sys/stat.h>
#include <unistd.h>

#include "Answers.h"
#include "Env.h"
#include "Errors.h"
#include "Files.h"
#include "Installer.h"
#include "Log.h"
#include "MemMgr.h"
#include "NlsSetup.h"
#include "Plan.h"
#include "TextMenu.h"
#include "Scripts.h"
#include "StrUtils.h"
#include "SysCmd.h"
#include "Tokens.h"

char *pTmpDir = const_cast<char *>("/tmp");
char *pTalvoInstallDir = nullptr;
char *pInstallDir = nullptr;
char *pInitTabSave = nullptr;
char AppDir[APPDIR_SIZE];
char flMenu = 0;
char flInstalled = 0;
const char *InstallInfo[6];
const char *InstallSiteInfo[5];

namespace {

constexpr char kOptions[] = ",manual,install,menu,-v,no_space_check";
enum { OPT_MANUAL = 1, OPT_INSTALL, OPT_MENU, OPT_VERSION, OPT_NO_SPACE_CHECK };

// Copies text into Name, never past its end; 0 when it does not fit.
int SetName(const char *text) {
    size_t n = strlen(text);
    if (n >= sizeof Name)
        return 0;
    memcpy(Name, text, n + 1);
    return 1;
}

bool IsDirectory(const char *path) {
    struct stat st {};
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Leading decimal number of a release field and where its digits end.
unsigned long FieldNumber(const char *s, const char **end) {
    unsigned long v = 0;
    while (isdigit(static_cast<unsigned char>(*s))) {
        if (v < 100000000UL)
            v = v * 10 + static_cast<unsigned long>(*s - '0');
        ++s;
    }
    *end = s;
    return v;
}

// After the command line: an answer file's directory chooses the install root of a
// run without the menu, as "install DIR" does (the command line's wins); a dry run
// changes nothing outside the work area, which must be known by its full path.
void UseRunOptions() {
    if (!flMenu && !pInstallDir && AnswerOf(ANS_INSTALL_DIR))
        pInstallDir = StripToBaseName(SaveStr_(AnswerOf(ANS_INSTALL_DIR)));  // a checked root stays one
    if (flDryRun) {
        char cwd[4096];
        pPlanOwnDir = pTalvoInstallDir[0] == '/' || !getcwd(cwd, sizeof cwd)
                          ? pTalvoInstallDir
                          : SaveStr("%s/%s", cwd, pTalvoInstallDir);
    }
}

}  // namespace

int TestConfigFlag(const char *dir, const char *name) {
    return FindFile(dir, name) ? 1 : 0;
}

// Cuts the path at a whole component "dorv" or "Talvo" (and what follows), then
// removes one trailing slash from a result longer than one character.
char *StripToBaseName(char *path) {
    if (!path)
        return nullptr;
    for (const char *word : {PRODUCT, MAKER}) {
        size_t len = strlen(word);
        for (char *p = path; (p = strstr(p, word)) != nullptr; ++p) {
            bool startsComponent = p == path || p[-1] == '/';
            bool endsComponent = p[len] == '\0' || p[len] == '/';
            if (startsComponent && endsComponent) {
                *p = '\0';
                break;
            }
        }
    }
    size_t n = strlen(path);
    if (n > 1 && path[n - 1] == '/')
        path[n - 1] = '\0';
    return path;
}

int ValidInstallRoot(const char *dir) {
    if (!dir || !*dir)
        return 0;
    size_t n = strlen(dir);
    // AppDir is the root, "/Talvo/dorv" and the longest file name written there.
    if (n >= sizeof Name || n + strlen("/Talvo/dorv/TalvoPrintdorv") >= APPDIR_SIZE)
        return 0;
    return ShIsPlain(dir);
}

int CompareRelease(const char *a, const char *b) {
    if (!a)
        a = "";
    if (!b)
        b = "";
    while (*a || *b) {
        const char *ea, *eb;
        unsigned long na = FieldNumber(a, &ea);
        unsigned long nb = FieldNumber(b, &eb);
        if (na != nb)
            return na < nb ? -1 : 1;
        // Equal numbers: what follows the digits, up to the next dot.
        size_t la = strcspn(ea, "."), lb = strcspn(eb, ".");
        int c = strncmp(ea, eb, la < lb ? la : lb);
        if (c == 0 && la != lb)
            c = la < lb ? -1 : 1;
        if (c != 0)
            return c < 0 ? -1 : 1;
        a = ea + la;
        b = eb + lb;
        if (*a == '.')
            ++a;
        if (*b == '.')
            ++b;
    }
    return 0;
}

char *LocatePreviousInstallation() {
    const char *launcher = nullptr;
    if (FindFile(nullptr, "/bin/kelvra"))
        launcher = "/bin/kelvra";
    else if (FindFile(nullptr, "/usr/bin/kelvra"))
        launcher = "/usr/bin/kelvra";
    if (!launcher)
        return nullptr;
    char *line = FileSearch(launcher, "cd ", 0);
    if (!line)
        return nullptr;
    char *dir = GetTokenN(line, " \n", 2);
    if (!dir)
        return nullptr;
    char marker[64];
    snprintf(marker, sizeof marker, "/%s/%s", MAKER, PRODUCT);
    char *cut = strstr(dir, marker);
    if (!cut)
        return nullptr;
    *cut = '\0';
    if (!ValidInstallRoot(dir) || !SetName(dir))
        return nullptr;
    return Name;
}

int GetDirName(const char **info, const char *proposal, char check) {
    if (!SetName(proposal ? proposal : ""))
        Name[0] = '\0';
    if (check && LocatePreviousInstallation()) {
        MsgPrintf<MSG_EXISTING_INSTALL_DIR>(stdout, Name);
        if (AskYN(ANS_USE_EARLIER_DIR, "%s", MemStr(MsgSave<MSG_NEW_INSTALL_DIR>(Name)).get()))
            return 1;
        if (AskYN(ANS_KEEP_PRINT_QUEUES, "%s", MemStr(MsgSave<MSG_NEW_DIR_WARNING>(Name)).get()))
            return 1;
    }
    printf("\n");
    for (int i = 0; info && info[i]; ++i)
        printf("%s\n", info[i]);
    for (;;) {
        MsgPrintf<MSG_NEW_INSTALL_DIR>(stdout, Name);
        AskLine(ANS_INSTALL_DIR, LineBuf, LINEBUF_SIZE);
        if (LineBuf[0] == '\0')
            break;
        if (LineBuf[0] != '/') {
            MsgPrintf<MSG_RETURN_TO_MENU>(stdout);
            ReadAnswer(LineBuf, LINEBUF_SIZE);
            continue;
        }
        if (!ValidInstallRoot(LineBuf)) {
            fprintf(stderr, "ERROR: invalid directory name %s\n", LineBuf);
            continue;
        }
        SetName(LineBuf);
    }
    return AskYN(ANS_INSTALL_DIR, "%s", MemStr(MsgSave<MSG_USE_DIR>(Name)).get()) ? 1 : 0;
}

void SetupMain(int argc, char **argv) {
    const char *argv0 = argc > 0 && argv[0] ? argv[0] : "setup";
    ScanRunOptions(argc, argv);
    flUseLog = flDryRun ? 0 : 1;  // a dry run keeps the log of the last real one
    pInitTabSave = SaveStr("/etc/inittab.%sSave", MAKER);
    pTalvoInstallDir = SaveStr("/tmp/%sInstall", MAKER);
    LineBuf[0] = '\0';
    pToolPath = GetToolPath(argv0);
    my_name = SaveStr_(StripPath(argv0));

    InitSysCmdList();
    pExitReport = ReportFailedCommands;  // every end of the run counts failed commands

    for (int i = 0; i < 5; ++i)
        InstallInfo[i] = NlsSetupStrCvt(MSG_NEED_FULL_PATH + i);
    InstallInfo[5] = nullptr;
    InstallSiteInfo[0] = NlsSetupStrCvt(MSG_NEED_FULL_PATH);
    InstallSiteInfo[1] = NlsSetupStrCvt(MSG_INFO_1);
    InstallSiteInfo[2] = NlsSetupStrCvt(MSG_SITE_INFO_1);
    InstallSiteInfo[3] = NlsSetupStrCvt(MSG_SITE_INFO_2);
    InstallSiteInfo[4] = nullptr;

    char cleanFlag = 1;
    bool spaceCheck = true;
    bool checkMedia = false;
    int afterward = 0;  // 1: --verify, 2: --remove
    const char *afterDir = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i] ? argv[i] : "";
        if (IsRunOption(argc, argv, &i))
            continue;
        if (strcmp(arg, "--check") == 0) {  // check the medium against its checksums only
            checkMedia = true;
            continue;
        }
        // Operations on an installed system: the next word, when there is one and
        // it is no option, is the install root.
        if (strcmp(arg, "--verify") == 0 || strcmp(arg, "--remove") == 0) {
            afterward = arg[2] == 'v' ? 1 : 2;
            if (i + 1 < argc && argv[i + 1] && argv[i + 1][0] != '-')
                afterDir = argv[++i];
            continue;
        }
        switch (FindToken(arg, kOptions)) {
        case OPT_MANUAL:
            cleanFlag = 0;
            break;
        case OPT_INSTALL:
            if (i + 1 < argc) {
                char *root = SaveStr_(argv[++i]);
                StripToBaseName(root);
                if (!ValidInstallRoot(root)) {
                    fprintf(stderr, "ERROR: invalid directory name %s\n", root);
                    exit_app(2);
                }
                pInstallDir = root;
            }
            break;
        case OPT_MENU:
            flMenu = 1;
            break;
        case OPT_VERSION:
            fprintf(stderr, "%s %s\n", my_name, SETUP_VERSION);
            exit_app(0);
        case OPT_NO_SPACE_CHECK:
            spaceCheck = false;
            break;
        default:
            if (!IsDirectory(arg)) {
                MsgPrintf<MSG_EMPTY>(stderr);
                fprintf(stderr, "ERROR: %s is not a directory\n", arg);
                exit_app(2);
            }
            pTmpDir = SaveStr_(arg);
            pTalvoInstallDir = SaveStr("%s/%sInstall", arg, MAKER);
            break;
        }
    }

    UseRunOptions();
    if (afterward == 1) {
        flUseLog = 0;  // read-only
        exit_app(VerifyInstallation(afterDir));
    }
    if (afterward == 2)
        exit_app(RemoveInstallation(afterDir));
    if (checkMedia)
        exit_app(CheckMedia());
    if (!flMenu && !pInstallDir) {
        const char *previous = LocatePreviousInstallation();
        pInstallDir = SaveStr_(previous ? previous : "/opt");
    }
    if (!flMenu && spaceCheck)
        FreeSpaceForInstall(pTalvoInstallDir, pInstallDir, MAKER);

    bool diskette;
    if (GetFileContent(pToolPath, "installf.rom"))
        diskette = LineBuf[0] == 'd';
    else if (GetFileContent(pToolPath, "INSTALLF.ROM"))
        diskette = LineBuf[0] == 'd';
    else
        diskette = true;
    if (diskette)
        InstallFromDiskette();
    else
        InstallFromSite();

    if (!TestConfigFlag(AppDir, ".StandAloneDb") && !TestConfigFlag(AppDir, ".StandAlone"))
        TalvoClean(cleanFlag);
    exit_app(0);
}
