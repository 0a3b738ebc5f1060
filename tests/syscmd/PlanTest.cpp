// Tests of the dry run's plan in the runner: which rows run, which are planned,
// and what the plan remembers as made.
#include <csignal>

#include "FileCmds.h"
#include "Plan.h"
#include "SysCmdTestEnv.h"

namespace {

int KillsSeen = 0;
int CountKill(int, int) {
    ++KillsSeen;
    return 0;
}

// A dry run with the work area under the test's directory, undone at the end.
struct DryRun {
    SysCmdEnv env;
    std::string work;
    DryRun() : work(env.Dir + "/work") {
        env.NoLog();
        flDryRun = 1;
        pPlanOwnDir = work.c_str();
        ResetPlan();
        pKillHook = CountKill;
        KillsSeen = 0;
    }
    ~DryRun() {
        flDryRun = 0;
        pPlanOwnDir = nullptr;
        ResetPlan();
    }
};

}  // namespace

TEST(Plan, ChangesArePrintedOnceWhileTheWorkAreaAndQueriesRun) {
    DryRun dry;
    const char *work = dry.work.c_str();
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, SysCmd(CMD_MKDIR, SYSCMD_FATAL, "%s", "/opt/x/y"));
    EXPECT_EQ(0, SysCmd(CMD_MKDIR, SYSCMD_FATAL, "%s", "/opt/x/y"));
    CreateFile("/opt/x/y", "f", "644", nullptr, nullptr);  // the planned directory is not made again
    SysCmd(CMD_CP, SYSCMD_FATAL, "%s/a /opt/x/y", work);
    SysCmd(-CMD_PKGADD, SYSCMD_FATAL, "-d %s NAME", work);
    SysCmd(CMD_CP, SYSCMD_FATAL, "/site/disks %s", work);
    SysCmd(CMD_DF, SYSCMD_QUIET, "%s", "/");
    EXPECT_EQ(0, SysKill(4242, SIGKILL));
    EXPECT_EQ(1, PlanLine("write %s", "/opt/x/y/g"));
    std::string out = testing::internal::GetCapturedStdout();

    EXPECT_EQ("plan: mkdir -p /opt/x/y\n"
              "plan: touch /opt/x/y/f\n"
              "plan: chmod 644 /opt/x/y/f\n"
              "plan: cp -p " + dry.work + "/a /opt/x/y\n"
              "plan: pkgadd -d " + dry.work + " NAME\n"
              "plan: kill -9 4242\n"
              "plan: write /opt/x/y/g\n",
              out);
    EXPECT_EQ((std::vector<std::string>{
                  "/usr/bin/sh -c \"/usr/bin/cp -p /site/disks " + dry.work + " 1>>/dev/null 2>>/dev/null\"",
                  "/usr/bin/sh -c \"/usr/bin/df  / 1>/dev/null 2>/dev/null\"",
              }),
              TheSeen().Lines);
    EXPECT_EQ(0, KillsSeen);
    EXPECT_TRUE(PlannedPath("/opt/x/y/a"));  // copied into a planned directory
    EXPECT_TRUE(PlannedPath("/opt/x"));
    EXPECT_FALSE(PlannedPath("/opt/x/z"));
}

TEST(Plan, WithoutADryRunNothingIsPlanned) {
    SysCmdEnv env;
    env.NoLog();
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, PlanLine("write %s", "/x"));
    SysCmd(CMD_MKDIR, SYSCMD_QUIET, "%s", "/opt/x");
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ(1u, TheSeen().Lines.size());
    EXPECT_FALSE(PlannedPath("/opt/x"));
}

// A real run notes what its file rows change: each directory mkdir makes, a copy
// into a directory as the path inside it (a tree for cp -pr), no query; mv and rm
// forget what they take away.
TEST(Plan, ARealRunNotesTheChangesOfItsFileRows) {
    SysCmdEnv env;
    env.NoLog();
    ResetPlan();
    flNoteChanges = 1;
    const std::string d = env.Dir;
    std::filesystem::create_directories(d + "/into");
    SysCmd(CMD_MKDIR, SYSCMD_QUIET, "%s/a/b", d.c_str());
    SysCmd(CMD_CP_R, SYSCMD_QUIET, "/src/tree %s/into", d.c_str());
    SysCmd(CMD_CP, SYSCMD_QUIET, "/src/f %s/g", d.c_str());
    SysCmd(CMD_MV, SYSCMD_QUIET, "%s/g %s/h", d.c_str(), d.c_str());
    SysCmd(CMD_RM_R, SYSCMD_QUIET, "%s/a/b", d.c_str());
    SysCmd(CMD_DF, SYSCMD_QUIET, "%s", d.c_str());
    NoteChange("/etc/own", 0);
    flNoteChanges = 0;

    std::vector<std::string> noted;
    int tree = 0;
    for (int i = 0; const char *p = NotedChange(i, &tree); ++i)
        noted.push_back(std::string(tree ? "tree " : "") + p);
    EXPECT_EQ((std::vector<std::string>{d + "/a", "tree " + d + "/into/tree", "tree " + d + "/h", "/etc/own"}),
              noted);
    ResetPlan();
}
