// The installation procedure step by step, the daemon stop and the free-space
// check, run in-process: every program is answered by the test (InstallerTestEnv.h).
#include <signal.h>
#include <algorithm>

#include "InstallerTestEnv.h"

using namespace installer_test;

namespace {

// A work area as the media readers leave it: one archive piece, the media list and
// a package list that copies one file.
void FillWorkArea(const Env &env) {
    WriteText(env.Work + "/disks", "pkg_tar.z1\nend_of_list\n");
    WriteText(env.Work + "/pkg_tar.z1", "piece\n");
    WriteText(env.Work + "/pkg.list", "c tool\n");
}

Outcome RunInstall() {
    return Capture([] { return Install(); });
}

}  // namespace

// ---- Install -------------------------------------------------------------------

TEST(Install, RunsEveryStepInOrderAndStartsTheMaintenanceTool) {
    Env env;
    FillWorkArea(env);
    Outcome r = RunInstall();
    ASSERT_EQ(-1, r.status) << r.out << r.err;
    EXPECT_EQ(0, r.result);
    EXPECT_EQ(1, flInstalled);
    EXPECT_EQ(1, flExitTextMenu);
    const std::string &w = env.Work, app = env.App();
    EXPECT_EQ(app, AppDir);
    // User, release, packages, then the two daemon names, before anything runs.
    std::vector<int> reads;
    for (const auto &read : env.Reads)
        reads.push_back(read.first);
    EXPECT_EQ((std::vector<int>{CMD_WHOAMI, CMD_UNAME, CMD_PKGINFO, CMD_PS, CMD_PS}), reads);
    EXPECT_EQ((std::vector<RowRun>{
                  {-CMD_CAT, SYSCMD_FATAL, w + "/pkg_tar.z1 >> " + w + "/SolarisDorv.tar.Z"},
                  {CMD_UNCOMPRESS, SYSCMD_FATAL, w + "/SolarisDorv.tar.Z"},
                  {CMD_TAR_X, SYSCMD_FATAL, w + "/SolarisDorv.tar"},
                  {-CMD_PKGADD, SYSCMD_FATAL, "-d " + w + " MRGWdorv"},
                  {CMD_CHOWN, SYSCMD_QUIET, "-R root " + w + "/dt"},
                  {CMD_CHGRP, SYSCMD_QUIET, "-R other " + w + "/dt"},
                  {CMD_CP, SYSCMD_WARN, w + "/./tool " + app},
              }),
              env.RunsOf({CMD_CAT, CMD_UNCOMPRESS, CMD_TAR_X, CMD_PKGADD, CMD_CHOWN, CMD_CHGRP, CMD_CP}));
    std::vector<RowRun> modes = env.RunsOf(CMD_CHMOD);
    ASSERT_FALSE(modes.empty());
    EXPECT_EQ((RowRun{CMD_CHMOD, SYSCMD_QUIET, "755 " + env.Target + "/Talvo"}), modes[0]);
    for (const char *dir : {"/var/spool/Talvo", "/var/spool/Talvo/dorv"})
        EXPECT_NE(modes.end(), std::find(modes.begin(), modes.end(), RowRun{CMD_CHMOD, SYSCMD_FATAL, std::string("775 ") + dir}));
    EXPECT_NE(modes.end(), std::find(modes.begin(), modes.end(),
                                     RowRun{CMD_CHMOD, SYSCMD_FATAL, "777 /var/spool/Talvo/dorv/__kva_download__"}));
    EXPECT_NE(modes.end(), std::find(modes.begin(), modes.end(), RowRun{CMD_CHMOD, SYSCMD_FATAL, "666 " + app + "/.PrintError"}));
    // The link into /opt follows what /opt/Talvo is on this machine; nothing is made there.
    std::error_code ec;
    auto opt = std::filesystem::symlink_status("/opt/Talvo", ec);
    std::vector<RowRun> links = env.RunsOf(CMD_LN);
    std::vector<RowRun> expected;
    if (opt.type() == std::filesystem::file_type::not_found)
        expected = {{CMD_LN, SYSCMD_FATAL, "-s " + env.Target + "/Talvo /opt/Talvo"}};
    else if (opt.type() == std::filesystem::file_type::directory)
        expected = {{CMD_LN, SYSCMD_FATAL, "-s " + env.Target + "/Talvo/dorv /opt/Talvo/dorv"}};
    EXPECT_EQ(expected, links);
    EXPECT_EQ(" V5 ", ReadFileText(app + "/.kv_cfg"));
    EXPECT_TRUE(Has(ReadFileText(app + "/TalvoPrintdorv"), "ToolPath=\"" + app + "\""));
    EXPECT_TRUE(Has(ReadFileText(app + "/TalvoKSF"), "/var/spool/Talvo/dorv"));
    EXPECT_EQ(std::vector<std::string>{app + "/kvqadmin -upgrade"}, env.Shell);
}

TEST(Install, RefusesAnyoneButRootBeforeChangingAnything) {
    Env env;
    env.Output[CMD_WHOAMI] = "alice\n";
    Outcome r = RunInstall();
    EXPECT_EQ(1, r.result);
    EXPECT_EQ(1, flExitTextMenu);
    EXPECT_EQ(Msg<MSG_NOT_ROOT>("alice", "setuptest"), r.out);
    EXPECT_TRUE(env.Runs.empty());
    EXPECT_TRUE(env.Shell.empty());
}

TEST(Install, AReleaseBelowFiveSixCleansUpAndEnds) {
    Env env;
    flInstalled = 1;
    env.Output[CMD_UNAME] = "5.5.1 Generic\n";
    Outcome r = RunInstall();
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(Msg<MSG_WRONG_VERSION>(), r.err);
    EXPECT_EQ(0, flInstalled);
    // The work area is removed, and the maintenance tool is not started.
    EXPECT_EQ((std::vector<RowRun>{{CMD_RM_R, SYSCMD_WARN, env.Work}}), env.Runs);
    EXPECT_TRUE(env.Shell.empty());
}

TEST(Install, TheDaemonQuestionAsksUntilAnsweredAndNoEndsTheRun) {
    Env env;
    WriteText(env.App() + "/KelvraDStop", "");
    env.Answers("maybe\n\nno\n");
    Outcome r = RunInstall();
    EXPECT_EQ(0, r.status);
    std::string question = Msg<MSG_CONTINUE_INSTALL>();
    EXPECT_EQ(Msg<MSG_DELETE_QUEUES>("Talvo", "Talvo", "Talvo", "dorv") + question + question + question, r.out);
    EXPECT_TRUE(env.Runs.empty());
}

TEST(Install, ConflictingPackagesAreRemovedOnlyAfterYes) {
    Env env;
    FillWorkArea(env);
    env.Output[CMD_PKGINFO] = "application MRGWdorv    Talvo driver\napplication MRGWdorv.2  Talvo driver\n";
    env.Answers("n\n");
    Outcome r = RunInstall();
    EXPECT_EQ(1, r.result);
    EXPECT_EQ(1, flExitTextMenu);
    EXPECT_TRUE(Has(r.out, Msg<MSG_REMOVE_PACKAGES>(" MRGWdorv MRGWdorv.2 ")));
    EXPECT_TRUE(env.Runs.empty());

    env.Answers("y\n");
    r = RunInstall();
    EXPECT_EQ(0, r.result);
    ASSERT_FALSE(env.Runs.empty());
    EXPECT_EQ((RowRun{-CMD_PKGRM, SYSCMD_FATAL, " MRGWdorv MRGWdorv.2"}), env.Runs[0]);
}

TEST(Install, CupsWinsOverLprngInTheSpoolerFlag) {
    Env env;
    FillWorkArea(env);
    ComList[CMD_LPD].pPath = "/usr/sbin";
    env.Output[CMD_LPD] = "lpd (LPRng-3.8.28)\n";
    ASSERT_EQ(0, RunInstall().result);
    EXPECT_EQ(" LPRng ", ReadFileText(env.App() + "/.kv_cfg"));
    ComList[CMD_CUPSD].pPath = "/usr/sbin";
    ASSERT_EQ(0, RunInstall().result);
    EXPECT_EQ(" CUPS ", ReadFileText(env.App() + "/.kv_cfg"));
}

class StandAloneFlag : public testing::TestWithParam<const char *> {};

TEST_P(StandAloneFlag, KeepsTheOwnerAndGroupOfTheDesktopFiles) {
    Env env;
    FillWorkArea(env);
    WriteText(env.App() + "/" + GetParam(), "");
    ASSERT_EQ(0, RunInstall().result);
    EXPECT_TRUE(env.RunsOf({CMD_CHOWN, CMD_CHGRP}).empty());
    EXPECT_EQ(1u, env.RunsOf(CMD_PKGADD).size());
}

INSTANTIATE_TEST_SUITE_P(Install, StandAloneFlag, testing::Values(".StandAlone", ".StandAloneDb"));

TEST(Install, AnInterfaceScriptItCannotWriteStopsBeforeTheProductFiles) {
    Env env;
    FillWorkArea(env);
    std::filesystem::create_directories(env.App() + "/TalvoKSF");  // no file can take its place
    Outcome r = RunInstall();
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("ERROR: couldn't write " + env.App() + "/TalvoKSF\n", r.err);
    EXPECT_TRUE(env.RunsOf(CMD_CP).empty());
    EXPECT_EQ(0, flInstalled);
}

TEST(Install, AFailedPackageRegistrationStopsBeforeTheProductFiles) {
    Env env;
    FillWorkArea(env);
    env.Results[CMD_PKGADD] = {1};
    Outcome r = RunInstall();
    EXPECT_EQ(1, r.status);
    EXPECT_TRUE(Has(r.out, "ERROR: exit status 1: pkgadd failed on " + env.Work + "\n")) << r.out;
    EXPECT_EQ(0, flInstalled);
    EXPECT_TRUE(env.RunsOf(CMD_CP).empty());
    EXPECT_TRUE(env.Shell.empty());
}

// ---- StopDemon -------------------------------------------------------------------

TEST(StopDemon, KillsEveryProcessOfBothDaemonsButNeverItselfOrInit) {
    Env env;
    std::string self = std::to_string(getpid());
    env.Output[CMD_PS] = "  PID TTY      TIME CMD\n"
                         "    1 ?    00:00:01 KelvraD\n"
                         " 4242 ?    00:00:00 KelvraD\n"
                         " 4243 ?    00:00:00 KelvraD\n"
                         " 4300 ?    00:00:00 KelvraDStop\n"
                         " " + self + " pts/0 00:00:00 KVD\n"
                         " 5151 ?    00:00:00 KVD\n";
    env.KillErrors[4243] = ESRCH;  // ended in the meantime: no message, go on
    testing::internal::CaptureStdout();
    StopDemon();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ((std::vector<std::pair<int, int>>{{4242, SIGKILL}, {4243, SIGKILL}, {5151, SIGKILL}}), env.Kills);
    EXPECT_EQ(Msg<MSG_KILLED_DAEMON>("4242") + Msg<MSG_KILLED_DAEMON>("5151"), out);
}

TEST(StopDemon, AKillNotPermittedStopsAtOnceWithTheSystemError) {
    Env env;
    env.Output[CMD_PS] = " 4242 ? 00:00:00 KelvraD\n 4243 ? 00:00:00 KelvraD\n 5151 ? 00:00:00 KVD\n";
    env.KillErrors[4242] = EPERM;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    StopDemon();
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ((std::vector<std::pair<int, int>>{{4242, SIGKILL}}), env.Kills);
    EXPECT_EQ("", out);
    EXPECT_EQ(Msg<MSG_SETUP_ERROR>() + ": " + std::strerror(EPERM) + "\n", err);
}

// ---- FreeSpaceForInstall -----------------------------------------------------------

namespace {

// df output with the given available space for one file system.
std::string Df(const char *device, int avail) {
    return "Filesystem 1K-blocks Used Available Use% Mounted on\n" + std::string(device) + " 9999 100 " +
           std::to_string(avail) + " 1% /" + device + "\n";
}

// Sizes of 100 and 200 need 140 in the install root and 240 in the work area.
class FreeSpace : public testing::Test {
protected:
    Env env;
    void SetUp() override {
        WriteText(env.Site + "/isize", "100\n");
        WriteText(env.Site + "/tsize", "200\n");
        env.Output[CMD_DU] = "30\t" + env.Work + "\n";  // the work area, emptied later
    }
    // The work area on one file system, the install root on the other.
    void Disks(int workAvail, int targetAvail, bool shared) {
        env.Reply = [=, this](int row, const std::string &text) {
            if (row != CMD_DF)
                return env.Output[row];
            bool work = text == env.Work;
            return shared ? Df("a", workAvail) : Df(work ? "a" : "b", work ? workAvail : targetAvail);
        };
    }
    Outcome Check() {
        return Capture([this] {
            FreeSpaceForInstall(env.Work.c_str(), env.Target.c_str(), "Talvo");
            return 0;
        });
    }
};

}  // namespace

TEST_F(FreeSpace, AShortWorkAreaEndsTheRun) {
    Disks(200, 100000, false);  // 200 + the work area's 30 < 240
    Outcome r = Check();
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(Msg<MSG_NO_WORK_SPACE>(env.Tmp.c_str(), 240.0), r.out);
}

TEST_F(FreeSpace, AShortInstallRootEndsTheRun) {
    Disks(100000, 139, false);
    Outcome r = Check();
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(Msg<MSG_NO_INSTALL_SPACE>(env.Target.c_str(), 140.0), r.out);
    // The missing target was measured at its nearest existing directory.
    EXPECT_NE(env.Reads.end(), std::find(env.Reads.begin(), env.Reads.end(), std::make_pair(int(CMD_DF), env.Target)));
}

TEST_F(FreeSpace, OneFileSystemMustHoldBothAndCountsTheWorkArea) {
    Disks(350, 0, true);  // 350 + 30 = 380 = 140 + 240
    EXPECT_EQ(-1, Check().status);
    Disks(349, 0, true);
    Outcome r = Check();
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(Msg<MSG_NO_SHARED_SPACE>(env.Work.c_str(), env.Target.c_str(), 380.0), r.out);
}

TEST_F(FreeSpace, AMissingSizeFileStopsWithStatusOne) {
    std::filesystem::remove(env.Site + "/tsize");
    Disks(100000, 100000, false);
    Outcome r = Check();
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(Msg<MSG_MISSING_ISIZE>(), r.out);
}

TEST_F(FreeSpace, ASizeThatIsNoFiniteNumberCountsAsMissing) {
    Disks(100000, 100000, false);
    for (const char *bad : {"nan\n", "inf\n", "-1e300\n"}) {
        WriteText(env.Site + "/isize", bad);
        Outcome r = Check();
        EXPECT_EQ(1, r.status) << bad;
        EXPECT_EQ(Msg<MSG_MISSING_ISIZE>(), r.out) << bad;
    }
    WriteText(env.Site + "/isize", "100\n");
    WriteText(env.Site + "/tsize", "INF\n");
    EXPECT_EQ(1, Check().status);
}
