// Tests of the command table, the lookup and the runner.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "SysCmdTestEnv.h"

namespace {

struct Row {
    int index;
    const char *name;
    const char *flags;
    int wait;
};

}  // namespace

TEST(ComList, HasEightyThreeRowsWithEmptyFirstRowsAndATerminator) {
    EXPECT_STREQ("", ComList[0].pName);
    EXPECT_STREQ("", ComList[0].pFlags);
    EXPECT_STREQ("", ComList[1].pName);
    EXPECT_STREQ("", ComList[1].pFlags);
    EXPECT_EQ(nullptr, ComList[82].pName);
    for (int i = 2; i < 82; ++i) {
        ASSERT_NE(nullptr, ComList[i].pName) << i;
        EXPECT_NE('\0', ComList[i].pName[0]) << i;
    }
    EXPECT_EQ(83, static_cast<int>(sizeof ComList / sizeof ComList[0]));
}

TEST(ComList, RowsKeepTheirIndexesNamesAndFlags) {
    const Row rows[] = {
        {2, "cancel", "", 2},   {3, "cat", "", 0},       {9, "cp", "-p", 0},     {10, "cp", "-pr", 0},
        {11, "cupsd", "", 0},   {14, "eject", "-f", 1},  {15, "eject", "-q", 1}, {24, "kill", "-KILL", 0},
        {25, "mv", "-f", 0},    {26, "mkdir", "-p", 0},  {29, "rm", "-f", 0},    {30, "rm", "-rf", 0},
        {31, "sh", "", 0},      {33, "tar", "cvfp", 0},  {34, "tar", "xvfp", 0}, {37, "whoami", "", 0},
        {41, "du", "-s", 0},    {43, "lpd", "", 0},      {44, "pkgadd", "", 1},  {45, "pkginfo", "", 0},
        {46, "pkgrm", "", 1},   {55, "ps", "-e", 0},     {57, "df", "", 0},      {58, "lpq", "-P", 0},
        {63, "volcheck", "", 0}, {79, "startsrc", "", 1}, {80, "stopsrc", "", 0}, {81, "lssrc", "", 0},
    };
    for (const Row &r : rows) {
        EXPECT_STREQ(r.name, ComList[r.index].pName) << r.index;
        EXPECT_STREQ(r.flags, ComList[r.index].pFlags) << r.index;
        EXPECT_EQ(r.wait, ComList[r.index].Wait) << r.index;
    }
}

TEST(ComList, OnlyTheListedRowsPause) {
    const int oneSecond[] = {14, 15, 19, 21, 22, 44, 46, 47, 48, 49, 50,
                             51, 52, 53, 54, 60, 61, 62, 65, 66, 79};
    int pausing = 0;
    for (int i = 0; i < CMD_ROWS; ++i)
        if (ComList[i].Wait != 0)
            ++pausing;
    EXPECT_EQ(22, pausing);
    for (int i : oneSecond)
        EXPECT_EQ(1, ComList[i].Wait) << i;
    EXPECT_EQ(2, ComList[CMD_CANCEL].Wait);
}

TEST(ComList, NamedRowsMatchTheirPrograms) {
    EXPECT_STREQ("cp", ComList[CMD_CP].pName);
    EXPECT_STREQ("sh", ComList[CMD_SH].pName);
    EXPECT_STREQ("sed", ComList[CMD_SED].pName);
    EXPECT_STREQ("lssrc", ComList[CMD_LSSRC].pName);
    EXPECT_STREQ("volcheck", ComList[CMD_VOLCHECK].pName);
    EXPECT_STREQ("uncompress", ComList[CMD_UNCOMPRESS].pName);
}

// ---- Lookup ----------------------------------------------------------------

namespace {

struct ScratchDirs {
    std::string Root;
    ScratchDirs() {
        char tmpl[] = "/tmp/syscmdpaths.XXXXXX";
        Root = mkdtemp(tmpl);
    }
    ~ScratchDirs() {
        std::error_code ec;
        std::filesystem::remove_all(Root, ec);
    }
    std::string Make(const char *sub, std::initializer_list<const char *> files) {
        std::string dir = Root + "/" + sub;
        std::filesystem::create_directories(dir);
        for (const char *f : files)
            std::ofstream(dir + "/" + f) << "";
        return dir;
    }
};

}  // namespace

TEST(FillCmdPaths, TheFirstDirectoryHoldingAProgramWins) {
    SysCmdEnv env;
    for (int i = 0; i < CMD_ROWS; ++i)
        ComList[i].pPath = nullptr;
    ScratchDirs dirs;
    std::string first = dirs.Make("usr_bin", {"cp", "tar"});
    std::string second = dirs.Make("usr_ucb", {"cp", "eject", "README"});
    EXPECT_EQ(1, FillCmdPaths(first.c_str()));
    EXPECT_EQ(1, FillCmdPaths(second.c_str()));
    EXPECT_STREQ(first.c_str(), ComList[CMD_CP].pPath);
    EXPECT_STREQ(first.c_str(), ComList[CMD_CP_R].pPath);
    EXPECT_STREQ(first.c_str(), ComList[CMD_TAR_X].pPath);
    EXPECT_STREQ(second.c_str(), ComList[CMD_EJECT].pPath);
    EXPECT_STREQ(second.c_str(), ComList[CMD_EJECT_Q].pPath);
    EXPECT_EQ(nullptr, ComList[CMD_SH].pPath);
    EXPECT_EQ(nullptr, ComList[0].pPath);
}

TEST(FillCmdPaths, AnUnlistableDirectoryLeavesRowsMissing) {
    SysCmdEnv env;
    ScratchDirs dirs;
    std::string empty = dirs.Make("empty", {});
    EXPECT_EQ(0, FillCmdPaths(empty.c_str()));  // every row already has a path
    ComList[CMD_LSSRC].pPath = nullptr;
    EXPECT_EQ(1, FillCmdPaths("/nonexistent/dir"));
    std::string d = dirs.Make("aix", {"lssrc"});
    EXPECT_EQ(0, FillCmdPaths(d.c_str()));
    EXPECT_STREQ(d.c_str(), ComList[CMD_LSSRC].pPath);
}

TEST(FillCmdPath, RecordsTheFirstDirectoryOfTheSearchPath) {
    SysCmdEnv env;
    ScratchDirs dirs;
    std::string a = dirs.Make("a", {});
    std::string b = dirs.Make("b", {"bar"});
    std::string c = dirs.Make("c", {"bar"});
    char *savedFull = FullSearchPath;
    std::string search = a + ":" + b + ":" + c;
    FullSearchPath = search.data();
    ComList[CMD_BAR].pPath = nullptr;
    EXPECT_EQ(1, FillCmdPath(CMD_BAR));
    EXPECT_STREQ(b.c_str(), ComList[CMD_BAR].pPath);
    ComList[CMD_CAPTURE].pPath = nullptr;
    EXPECT_EQ(0, FillCmdPath(CMD_CAPTURE));
    EXPECT_EQ(nullptr, ComList[CMD_CAPTURE].pPath);
    EXPECT_EQ(0, FillCmdPath(0));
    FullSearchPath = savedFull;
}

namespace {

// PATH and SHELL as they were, and the table reset around a real lookup.
struct RealLookup {
    std::string Path, Shell;
    bool HadPath, HadShell;
    RealLookup() {
        const char *p = std::getenv("PATH");
        const char *s = std::getenv("SHELL");
        HadPath = p != nullptr;
        HadShell = s != nullptr;
        Path = p ? p : "";
        Shell = s ? s : "";
        ResetSysCmdList();
    }
    ~RealLookup() {
        ResetSysCmdList();
        if (HadPath)
            setenv("PATH", Path.c_str(), 1);
        else
            unsetenv("PATH");
        if (HadShell)
            setenv("SHELL", Shell.c_str(), 1);
        else
            unsetenv("SHELL");
    }
};

}  // namespace

TEST(InitSysCmdList, WithoutPathSearchesOnlyTheFixedDirectories) {
    SysCmdEnv env;
    RealLookup lookup;
    env.NoLog();
    unsetenv("PATH");
    InitSysCmdList();
    ASSERT_NE(nullptr, FullSearchPath);
    EXPECT_EQ(std::string(SearchPaths) + ":", FullSearchPath);
    EXPECT_EQ(0, flInitSysCmd);
    EXPECT_STREQ("/usr/bin", ComList[CMD_CP].pPath);  // also in /bin: the earlier directory wins
    EXPECT_STREQ("/usr/bin", ComList[CMD_SH].pPath);
    EXPECT_EQ(nullptr, ComList[CMD_LSSRC].pPath);
    EXPECT_EQ(0, flSysCmdLog);
}

TEST(InitSysCmdList, SetsShellWithoutATrailingBlankAndLogsWhenLogging) {
    SysCmdEnv env;
    RealLookup lookup;
    flSysCmdLog = 0;
    InitSysCmdList();
    EXPECT_EQ(std::string(SearchPaths) + ":" + lookup.Path, FullSearchPath);
    EXPECT_STREQ("/usr/bin/sh", std::getenv("SHELL"));
    EXPECT_EQ(1, flSysCmdLog);
    EXPECT_EQ("initializing system\n", env.Log());
}

TEST(InitSysCmdList, PathServesProgramsTheFixedDirectoriesLack) {
    SysCmdEnv env;
    RealLookup lookup;
    env.NoLog();
    ScratchDirs dirs;
    std::string standIns = dirs.Make("platform", {"pkgadd", "volcheck", "cp"});
    setenv("PATH", standIns.c_str(), 1);
    InitSysCmdList();
    EXPECT_EQ(standIns, ComList[CMD_PKGADD].pPath);
    EXPECT_EQ(standIns, ComList[CMD_VOLCHECK].pPath);
    EXPECT_STREQ("/usr/bin", ComList[CMD_CP].pPath);
}

TEST(InitSysCmdList, AMissingProgramStopsTheRunOnFirstUse) {
    SysCmdEnv env(false);
    RealLookup lookup;
    env.NoLog();
    unsetenv("PATH");
    InitSysCmdList();
    ASSERT_EQ(nullptr, ComList[CMD_PIOMKPQ].pPath);
    testing::internal::CaptureStderr();
    int status = ExitStatusOf([] { SysCmd(CMD_PIOMKPQ, SYSCMD_WARN, "%s", "x"); });
    EXPECT_EQ("ERROR: unable to locate system command 'piomkpq'\n", testing::internal::GetCapturedStderr());
    EXPECT_EQ(1, status);
}

TEST(TestCmd, NeedsATableRowWithAPath) {
    SysCmdEnv env;
    EXPECT_EQ(1, TestCmd(CMD_CP));
    EXPECT_EQ(0, TestCmd(0));
    EXPECT_EQ(0, TestCmd(1));
    EXPECT_EQ(0, TestCmd(CMD_END));
    EXPECT_EQ(0, TestCmd(-5));
    ComList[CMD_LPD].pPath = nullptr;
    EXPECT_EQ(0, TestCmd(CMD_LPD));
}

TEST(GetCmd, GivesDirectoryNameAndFlags) {
    SysCmdEnv env;
    Owned ps(GetCmd(CMD_PS));
    EXPECT_STREQ("/usr/bin/ps -e", ps.get());
    Owned who(GetCmd(CMD_WHOAMI));
    EXPECT_STREQ("/usr/bin/whoami ", who.get());
    Owned noFlags(GetCmdNoFlags(CMD_PS));
    EXPECT_STREQ("/usr/bin/ps", noFlags.get());
    EXPECT_EQ(nullptr, GetCmdNoFlags(CMD_END));
    ComList[CMD_WHOAMI].pPath = nullptr;
    EXPECT_EQ(nullptr, GetCmd(CMD_WHOAMI));
    EXPECT_EQ(nullptr, GetCmdNoFlags(CMD_WHOAMI));
}

// ---- Command lines -----------------------------------------------------------

TEST(SysCmd, NegativeIndexQuietModeRunsUnloggedWithoutADot) {
    SysCmdEnv env;
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, SysCmd(-CMD_RM, SYSCMD_QUIET, "%s", "/floppy/floppy0/*"));
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    ASSERT_EQ(1u, TheSeen().Lines.size());
    EXPECT_EQ("/usr/bin/sh -c \"/usr/bin/rm -f /floppy/floppy0/* 1>/dev/null 2>/dev/null\"", TheSeen().Lines[0]);
    EXPECT_EQ("<missing>", env.Log());
}

TEST(SysCmd, FatalModeLogsTheLineAndAppendsOutputToTheLog) {
    SysCmdEnv env;
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, SysCmd(CMD_CP, SYSCMD_FATAL, "%s/%s %s", "/tmp/TalvoInstall", "pkg_tar.z1", "/floppy/floppy0"));
    EXPECT_EQ(".", testing::internal::GetCapturedStdout());
    ASSERT_EQ(1u, TheSeen().Lines.size());
    EXPECT_EQ("/usr/bin/sh -c \"/usr/bin/cp -p /tmp/TalvoInstall/pkg_tar.z1 /floppy/floppy0" + env.ToLog() + "\"",
              TheSeen().Lines[0]);
    EXPECT_EQ("/usr/bin/sh -c \"/usr/bin/cp -p /tmp/TalvoInstall/pkg_tar.z1 /floppy/floppy0\n", env.Log());
}

TEST(SysCmd, UnloggedInteractiveRunsGetNoRedirection) {
    SysCmdEnv env;
    testing::internal::CaptureStdout();
    SysCmd(-CMD_PKGADD, SYSCMD_FATAL, "-d %s MRGW%s", "/tmp/TalvoInstall", "dorv");
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ("/usr/bin/sh -c \"/usr/bin/pkgadd  -d /tmp/TalvoInstall MRGWdorv\"", TheSeen().Lines.at(0));
    EXPECT_EQ("<missing>", env.Log());
    EXPECT_EQ(std::vector<unsigned>{1}, TheSeen().Sleeps);
}

TEST(SysCmd, RowZeroRunsTheCallersTextAsTheWholeLine) {
    SysCmdEnv env;
    testing::internal::CaptureStdout();
    SysCmd(0, SYSCMD_FATAL, "%s", "echo hi");
    SysCmd(0, SYSCMD_QUIET, "%s", "echo hi");
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ("echo hi", TheSeen().Lines.at(0));
    EXPECT_EQ("echo hi 1>/dev/null 2>/dev/null", TheSeen().Lines.at(1));
}

TEST(SysCmd, RowOneIsLoggedLikeATableRow) {
    SysCmdEnv env;
    testing::internal::CaptureStdout();
    SysCmd(1, SYSCMD_WARN, "%s", "echo hi");
    EXPECT_EQ(".", testing::internal::GetCapturedStdout());
    EXPECT_EQ("echo hi" + env.ToLog(), TheSeen().Lines.at(0));
    EXPECT_EQ("echo hi\n", env.Log());
}

TEST(SysCmd, WithoutTheLogModeOneAndTwoDiscardOutput) {
    SysCmdEnv env;
    env.NoLog();
    testing::internal::CaptureStdout();
    SysCmd(CMD_MKDIR, SYSCMD_FATAL, "%s", "/opt/Talvo");
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ("/usr/bin/sh -c \"/usr/bin/mkdir -p /opt/Talvo 1>>/dev/null 2>>/dev/null\"", TheSeen().Lines.at(0));
    EXPECT_EQ("<missing>", env.Log());
}

TEST(SysCmdR, RedirectsOnlyStandardErrorAndLogsTheSameLine) {
    SysCmdEnv env;
    testing::internal::CaptureStdout();
    SysCmdR(CMD_SED, SYSCMD_FATAL, "%s %s/%s > /tmp/%s.tmp", ShQuote("s/a/b/"), "/opt/Talvo/dorv", "f",
            "setup");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ("/usr/bin/sh -c \"/usr/bin/sed  s/a/b/ /opt/Talvo/dorv/f > /tmp/setup.tmp" + env.ToLog(true) + "\"",
              TheSeen().Lines.at(0));
    EXPECT_EQ("/usr/bin/sh -c \"/usr/bin/sed  s/a/b/ /opt/Talvo/dorv/f > /tmp/setup.tmp\n", env.Log());
    SysCmdR(CMD_SED, SYSCMD_QUIET, "%s", "x > y");
    EXPECT_EQ("/usr/bin/sh -c \"/usr/bin/sed  x > y 2>/dev/null\"", TheSeen().Lines.at(1));
}

TEST(SysCmd, ProtectsQuotedValuesForTheOuterShell) {
    SysCmdEnv env;
    env.NoLog();
    SysCmd(CMD_SED, SYSCMD_QUIET, "%s %s", ShQuote("s/$/\"x\"/"), ShQuote("my file"));
    EXPECT_EQ("/usr/bin/sh -c \"/usr/bin/sed  's/\\$/\\\"x\\\"/' 'my file' 1>/dev/null 2>/dev/null\"",
              TheSeen().Lines.at(0));
}

TEST(SysCmd, AProgramNameWithABlankLogsThroughTheDescriptor) {
    SysCmdEnv env;
    std::string odd = "my setup";
    my_name = odd.data();
    testing::internal::CaptureStdout();
    SysCmd(CMD_TOUCH, SYSCMD_WARN, "%s", "/tmp/x");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ("/usr/bin/sh -c \"/usr/bin/touch  /tmp/x" + env.ToLog() + "\"", TheSeen().Lines.at(0));
    EXPECT_EQ("/usr/bin/sh -c \"/usr/bin/touch  /tmp/x\n", ReadFileText(env.Dir + "/my setup.log"));
    std::filesystem::remove(env.Dir + "/my setup.log");
}

// ---- Results and failures ----------------------------------------------------

TEST(SysCmd, ResultComesFromTheWaitStatus) {
    SysCmdEnv env;
    TheSeen().Statuses = {Exited(3), 9 /* killed by SIGKILL */, Exited(0)};
    EXPECT_EQ(3, SysCmd(CMD_CAT, SYSCMD_QUIET, "%s", "x"));
    EXPECT_EQ(128 + 9, SysCmd(CMD_CAT, SYSCMD_QUIET, "%s", "x"));
    EXPECT_EQ(0, SysCmd(CMD_CAT, SYSCMD_QUIET, "%s", "x"));
}

namespace {

int FailToStart(const char *) {
    errno = EAGAIN;
    return -1;
}

}  // namespace

TEST(SysCmd, AShellThatCannotStartGivesTheErrorNumber) {
    SysCmdEnv env;
    pSystemHook = FailToStart;
    testing::internal::CaptureStdout();
    EXPECT_EQ(EAGAIN, SysCmd(CMD_CAT, SYSCMD_WARN, "%s", "x"));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ("/usr/bin/sh -c \"/usr/bin/cat  x\nWARNING_MSG: " + std::string(std::strerror(EAGAIN)) + "\n",
              env.Log());
}

TEST(SysCmd, WarningModeLogsTheFailureAndGoesOn) {
    SysCmdEnv env;
    TheSeen().Statuses = {Exited(1)};
    testing::internal::CaptureStdout();
    EXPECT_EQ(1, SysCmd(CMD_RM_R, SYSCMD_WARN, "%s", "/opt/Talvo"));
    EXPECT_EQ(".", testing::internal::GetCapturedStdout());
    EXPECT_EQ("/usr/bin/sh -c \"/usr/bin/rm -rf /opt/Talvo\nWARNING_MSG: exit status 1\n", env.Log());
}

TEST(SysCmd, InterruptedLikeStatusesAreFailuresToo) {
    SysCmdEnv env;
    TheSeen().Statuses = {Exited(4), Exited(200)};
    testing::internal::CaptureStdout();
    EXPECT_EQ(4, SysCmd(CMD_CAT, SYSCMD_WARN, "%s", "a"));
    EXPECT_EQ(200, SysCmd(CMD_CAT, SYSCMD_WARN, "%s", "b"));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ("/usr/bin/sh -c \"/usr/bin/cat  a\nWARNING_MSG: exit status 4\n"
              "/usr/bin/sh -c \"/usr/bin/cat  b\nWARNING_MSG: exit status 200\n",
              env.Log());
}

TEST(SysCmd, FatalModeFailureExitsOneWithTheErrorLine) {
    SysCmdEnv env;
    TheSeen().Statuses = {15 /* killed by SIGTERM */};
    testing::internal::CaptureStdout();
    int status = ExitStatusOf([] { SysCmd(CMD_TAR_X, SYSCMD_FATAL, "%s/%s.tar", "/tmp/w", "SolarisDorv"); });
    EXPECT_EQ(".\nERROR: killed by signal 15: tar failed on /tmp/w/SolarisDorv.tar; see " + env.LogFile() + "\n",
              testing::internal::GetCapturedStdout());
    EXPECT_EQ(1, status);
    EXPECT_EQ("/usr/bin/sh -c \"/usr/bin/tar xvfp /tmp/w/SolarisDorv.tar\nERROR: killed by signal 15\n", env.Log());
}

TEST(SysCmd, QuietModeNeverReports) {
    SysCmdEnv env;
    TheSeen().Statuses = {Exited(2)};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(2, SysCmd(CMD_EJECT, SYSCMD_QUIET, " >> %s/Msg", "/tmp/w"));
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    EXPECT_EQ("<missing>", env.Log());
}

TEST(SysCmd, PackageToolsAskingForARebootSucceeded) {
    SysCmdEnv env;
    TheSeen().Statuses = {Exited(10), Exited(20), Exited(10), Exited(1)};
    EXPECT_EQ(0, SysCmd(-CMD_PKGADD, SYSCMD_FATAL, "%s", "-d /w MRGWdorv"));
    EXPECT_EQ(0, SysCmd(-CMD_PKGRM, SYSCMD_FATAL, "%s", "MRGWdorv"));
    EXPECT_EQ(10, SysCmd(CMD_CAT, SYSCMD_QUIET, "%s", "x"));
    testing::internal::CaptureStdout();
    EXPECT_EQ(1, ExitStatusOf([] { SysCmd(-CMD_PKGRM, SYSCMD_FATAL, "%s", "MRGWdorv"); }));
    EXPECT_EQ("\nERROR: exit status 1: pkgrm failed; see " + env.LogFile() + "\n",
              testing::internal::GetCapturedStdout());
}

// ---- Row seam ----------------------------------------------------------------

namespace {

struct RowRun {
    int row;
    int mode;
    std::string text;
    bool operator==(const RowRun &) const = default;
};
std::vector<RowRun> gRowRuns;
std::vector<int> gRowAnswers;  // answers in order; SYSCMD_PASS when none is left

int AnswerRow(int row, int mode, const char *text) {
    gRowRuns.push_back({row, mode, text});
    if (gRowAnswers.empty())
        return SYSCMD_PASS;
    int answer = gRowAnswers.front();
    gRowAnswers.erase(gRowAnswers.begin());
    return answer;
}

}  // namespace

TEST(SysCmdHook, AnswersForTheProgramWhichNeverStarts) {
    SysCmdEnv env;
    pSysCmdHook = AnswerRow;
    gRowRuns.clear();
    gRowAnswers = {0, 20, 3, SYSCMD_PASS};
    ComList[CMD_EJECT].pPath = nullptr;  // an answered row needs no program
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, SysCmd(CMD_EJECT, SYSCMD_QUIET, " >> %s/Msg", "/w"));
    EXPECT_EQ(0, SysCmd(-CMD_PKGADD, SYSCMD_FATAL, "-d %s", "/w"));
    EXPECT_EQ(3, SysCmdR(CMD_CP, SYSCMD_WARN, "%s %s", "a", "b"));
    EXPECT_EQ(0, SysCmd(CMD_CAT, SYSCMD_QUIET, "%s", "x"));
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ((std::vector<RowRun>{{CMD_EJECT, SYSCMD_QUIET, " >> /w/Msg"},
                                   {-CMD_PKGADD, SYSCMD_FATAL, "-d /w"},
                                   {CMD_CP, SYSCMD_WARN, "a b"},
                                   {CMD_CAT, SYSCMD_QUIET, "x"}}),
              gRowRuns);
    // Only the passed run started; the answered ones still paused and reported.
    EXPECT_EQ(1u, TheSeen().Lines.size());
    EXPECT_EQ((std::vector<unsigned>{1, 1}), TheSeen().Sleeps);
    EXPECT_EQ("WARNING_MSG: exit status 3\n", env.Log());
}

TEST(SysCmdHook, AFailureAnsweredInFatalModeStopsTheRun) {
    SysCmdEnv env;
    pSysCmdHook = AnswerRow;
    gRowRuns.clear();
    gRowAnswers = {1};
    testing::internal::CaptureStdout();
    EXPECT_EQ(1, ExitStatusOf([] { SysCmd(CMD_TAR_X, SYSCMD_FATAL, "%s", "/w/SolarisDorv.tar"); }));
    EXPECT_EQ("\nERROR: exit status 1: tar failed on /w/SolarisDorv.tar; see " + env.LogFile() + "\n",
              testing::internal::GetCapturedStdout());
    EXPECT_TRUE(TheSeen().Lines.empty());
}

TEST(RunShellLine, GivesTheLineToTheShellSeamAsItIs) {
    SysCmdEnv env;
    TheSeen().Statuses = {Exited(4)};
    EXPECT_EQ(Exited(4), RunShellLine("/opt/Talvo/dorv/kvqadmin -clean"));
    EXPECT_EQ(std::vector<std::string>{"/opt/Talvo/dorv/kvqadmin -clean"}, TheSeen().Lines);
    EXPECT_TRUE(TheSeen().Sleeps.empty());
}

// ---- Pauses ------------------------------------------------------------------

TEST(SysCmd, EjectPausesOneSecondAfterEveryRunFailedOrNot) {
    SysCmdEnv env;
    TheSeen().Statuses = {Exited(0), Exited(1)};
    SysCmd(CMD_EJECT, SYSCMD_QUIET, "%s", "");
    SysCmd(CMD_EJECT, SYSCMD_QUIET, "%s", "");
    SysCmd(CMD_CP, SYSCMD_QUIET, "%s", "a b");
    SysCmd(CMD_CANCEL, SYSCMD_QUIET, "%s", "1");
    EXPECT_EQ((std::vector<unsigned>{1, 1, 2}), TheSeen().Sleeps);
}

TEST(SysCmd, WaitingForAProcessChecksElevenTimesThenLogsATimeOut) {
    SysCmdEnv env;
    pPipeHook = FakePipe;
    ComList[CMD_LPSCHED].Wait = -1;
    testing::internal::CaptureStdout();
    SysCmd(-CMD_LPSCHED, SYSCMD_QUIET, "%s", "");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(11u, TheSeen().Pipes.size());
    EXPECT_EQ(std::vector<unsigned>(10, 1), TheSeen().Sleeps);
    EXPECT_EQ("ERROR: Time out for command lpsched\n", env.Log());
}

TEST(SysCmd, WaitingForAProcessStopsWhenItShows) {
    SysCmdEnv env;
    pPipeHook = FakePipe;
    TheSeen().Outputs = {"", "", "  812 ?        00:00:00 lpsched\n"};
    ComList[CMD_LPSCHED].Wait = -1;
    SysCmd(-CMD_LPSCHED, SYSCMD_QUIET, "%s", "");
    EXPECT_EQ(3u, TheSeen().Pipes.size());
    EXPECT_EQ("/usr/bin/ps -e ", TheSeen().Pipes[0]);
    EXPECT_EQ((std::vector<unsigned>{1, 1}), TheSeen().Sleeps);
    EXPECT_EQ("<missing>", env.Log());
}

// ---- Missing programs --------------------------------------------------------

TEST(SysCmd, AMissingShellStopsEveryRun) {
    SysCmdEnv env;
    ComList[CMD_SH].pPath = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(1, ExitStatusOf([] { SysCmd(CMD_CP, SYSCMD_QUIET, "%s", "a b"); }));
    EXPECT_EQ(1, ExitStatusOf([] { SysCmd(0, SYSCMD_QUIET, "%s", "true"); }));
    EXPECT_EQ("ERROR: unable to locate system command 'sh'\n"
              "ERROR: unable to locate system command 'sh'\n",
              testing::internal::GetCapturedStderr());
    EXPECT_TRUE(TheSeen().Lines.empty());
}

TEST(SysCmd, LazyLookupFindsARowOnFirstUse) {
    SysCmdEnv env;
    ScratchDirs dirs;
    std::string d = dirs.Make("lazy", {"volcheck", "sh"});
    char *savedFull = FullSearchPath;
    FullSearchPath = d.data();
    flInitSysCmd = 1;
    ComList[CMD_VOLCHECK].pPath = nullptr;
    ComList[CMD_SH].pPath = nullptr;
    SysCmd(-CMD_VOLCHECK, SYSCMD_QUIET, "%s", "");
    EXPECT_EQ(d, ComList[CMD_VOLCHECK].pPath);
    EXPECT_EQ(d, ComList[CMD_SH].pPath);
    EXPECT_EQ(d + "/sh -c \"" + d + "/volcheck   1>/dev/null 2>/dev/null\"", TheSeen().Lines.at(0));
    FullSearchPath = savedFull;
}

// ---- SysCmdP -----------------------------------------------------------------

TEST(SysCmdP, PrintsRunsReportsAndPauses) {
    SysCmdEnv env;
    TheSeen().Statuses = {Exited(0), Exited(5), Exited(6)};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, SysCmdP(SYSCMD_WARN, "%s %s", "/usr/bin/true", "x"));
    EXPECT_EQ(5, SysCmdP(SYSCMD_QUIET, "%s", "q"));
    EXPECT_EQ(1, ExitStatusOf([] { SysCmdP(SYSCMD_FATAL, "%s", "/usr/bin/false"); }));
    EXPECT_EQ("/usr/bin/true x\n/usr/bin/false\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ("ERROR: exit status 6\n", testing::internal::GetCapturedStderr());
    EXPECT_EQ((std::vector<std::string>{"/usr/bin/true x", "q", "/usr/bin/false"}), TheSeen().Lines);
    EXPECT_EQ((std::vector<unsigned>{1, 1}), TheSeen().Sleeps);
}

// ---- Quoting -----------------------------------------------------------------

TEST(ShQuote, LeavesPlainValuesUnchanged) {
    EXPECT_STREQ("/opt/Talvo/dorv", ShQuote("/opt/Talvo/dorv"));
    EXPECT_STREQ("pkg_tar.z1", ShQuote("pkg_tar.z1"));
    EXPECT_STREQ("a+b,c:d@e=f-g", ShQuote("a+b,c:d@e=f-g"));
    EXPECT_EQ(1, ShIsPlain("MRGWdorv"));
}

TEST(ShQuote, WrapsEverythingElseInSingleQuotes) {
    EXPECT_STREQ("'my file'", ShQuote("my file"));
    EXPECT_STREQ("''", ShQuote(""));
    EXPECT_STREQ("''", ShQuote(nullptr));
    EXPECT_STREQ("'$HOME'", ShQuote("$HOME"));
    EXPECT_STREQ("'it'\\''s'", ShQuote("it's"));
    EXPECT_STREQ("'a`b`'", ShQuote("a`b`"));
    EXPECT_STREQ("'*'", ShQuote("*"));
    EXPECT_EQ(0, ShIsPlain("a;b"));
}

TEST(ShQuote, KeepsSixteenResultsAlive) {
    const char *first = ShQuote("first value");
    std::string copy = first;
    for (int i = 0; i < 15; ++i)
        ShQuote("other value");
    EXPECT_EQ(copy, first);
    Owned saved(ShQuoteSave("x y"));
    EXPECT_STREQ("'x y'", saved.get());
}

TEST(ShQuote, RealShellsGetTheValueBack) {
    SysCmdEnv env(false);
    env.NoLog();
    const char *nasty = "a 'b' \"c\" $d `e` \\f; g";
    std::string out = env.Dir + "/out";
    SysCmdR(CMD_SH, SYSCMD_QUIET, "-c %s", ShQuote(("printf %s " + std::string(ShQuote(nasty)) + " > " + out).c_str()));
    EXPECT_EQ(nasty, ReadFileText(out));
}

// ---- What the user sees of failures -------------------------------------------

TEST(SysCmdFailure, AFatalLineStandsAloneAndNamesProgramFilesAndLog) {
    SysCmdEnv env;
    TheSeen().Statuses = {Exited(1)};
    testing::internal::CaptureStdout();
    EXPECT_EQ(1, ExitStatusOf([] {
        SysCmd(CMD_CP, SYSCMD_FATAL, "%s/%s %s", ShQuote("/site"), ShQuote("it's"), "/opt/x 2>/dev/null");
    }));
    EXPECT_EQ(".\nERROR: exit status 1: cp failed on /site/it's /opt/x /dev/null; see " + env.LogFile() + "\n",
              testing::internal::GetCapturedStdout());
    // The log keeps the line it always had.
    EXPECT_TRUE(env.Log().ends_with("\nERROR: exit status 1\n")) << env.Log();
}

TEST(SysCmdFailure, WarningsAreCountedAndReportedOnceAtTheEnd) {
    SysCmdEnv env;
    TheSeen().Statuses = {Exited(1), Exited(0), Exited(2)};
    testing::internal::CaptureStdout();
    SysCmd(CMD_RM, SYSCMD_WARN, "%s", "/a");
    SysCmd(CMD_RM, SYSCMD_WARN, "%s", "/b");
    SysCmd(CMD_RM, SYSCMD_WARN, "%s", "/c");
    SysCmd(CMD_RM, SYSCMD_QUIET, "%s", "/d");  // quiet failures are the caller's
    testing::internal::GetCapturedStdout();
    testing::internal::CaptureStderr();
    ReportFailedCommands(1);  // a failed run has its error line already
    pExitReport = ReportFailedCommands;
    EXPECT_EQ(0, ExitStatusOf([] { exit_app(0); }));
    EXPECT_EQ(0, ExitStatusOf([] { exit_app(0); }));  // the report is given once
    EXPECT_EQ("WARNING: 2 commands failed; see " + env.LogFile() + "\n", testing::internal::GetCapturedStderr());
    EXPECT_EQ(nullptr, pExitReport);
    SysCmdWarnings = 0;
    testing::internal::CaptureStderr();
    ReportFailedCommands(0);
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
}
