// Install root handling and release comparison.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Installer.h"

namespace {

std::string Strip(const char *path) {
    char buf[512];
    snprintf(buf, sizeof buf, "%s", path);
    return StripToBaseName(buf);
}

TEST(StripToBaseName, CutsAtTheProductComponents) {
    EXPECT_EQ(Strip("/opt/Talvo/dorv/"), "/opt");
    EXPECT_EQ(Strip("/opt/Talvo/dorv"), "/opt");
    EXPECT_EQ(Strip("/opt/Talvo"), "/opt");
    EXPECT_EQ(Strip("/export/home/"), "/export/home");
    EXPECT_EQ(Strip("/"), "/");
    EXPECT_EQ(StripToBaseName(nullptr), nullptr);
}

TEST(StripToBaseName, LeavesWordsInsideComponents) {
    EXPECT_EQ(Strip("/export/dorvdata"), "/export/dorvdata");
    EXPECT_EQ(Strip("/export/myTalvo/x"), "/export/myTalvo/x");
    EXPECT_EQ(Strip("/export/dorvdata/Talvo/dorv"), "/export/dorvdata");
}

TEST(CompareRelease, ComparesFieldByFieldAsNumbers) {
    EXPECT_GT(CompareRelease("5.10", "5.6"), 0);
    EXPECT_LT(CompareRelease("5.5.1", "5.6"), 0);
    EXPECT_EQ(CompareRelease("5.6", "5.6.0"), 0);
    EXPECT_EQ(CompareRelease("5.6", "5.6"), 0);
    EXPECT_GT(CompareRelease("5.7", "5.6"), 0);
    EXPECT_GT(CompareRelease("6.1.0-18-amd64", "5.6"), 0);
    EXPECT_LT(CompareRelease("5.10", "5.10a"), 0);
    EXPECT_LT(CompareRelease("", "5.6"), 0);
}

TEST(ValidInstallRoot, AcceptsOnlySafeShortNames) {
    EXPECT_TRUE(ValidInstallRoot("/opt"));
    EXPECT_TRUE(ValidInstallRoot("/export/a-b_c.d+e,f:g@h=i"));
    EXPECT_FALSE(ValidInstallRoot("/opt/my dir"));
    EXPECT_FALSE(ValidInstallRoot("/opt/$(reboot)"));
    EXPECT_FALSE(ValidInstallRoot("/opt/'x'"));
    EXPECT_FALSE(ValidInstallRoot(""));
    EXPECT_FALSE(ValidInstallRoot(nullptr));
    std::string longRoot = "/" + std::string(300, 'a');
    EXPECT_FALSE(ValidInstallRoot(longRoot.c_str()));
}

}  // namespace

// ---- GetDirName and the start-up, in-process (InstallerTestEnv.h) ------------------

#include "InstallerTestEnv.h"

namespace {

using namespace installer_test;

const char *const kInfo[] = {"first line", "second line", nullptr};

}  // namespace

TEST(GetDirName, TakesEachAbsoluteAnswerAsTheNextProposalUntilAnEmptyLine) {
    Env env;
    std::string chosen = env.Root + "/new";
    env.Answers("relative\ndiscarded\n/bad dir\n" + chosen + "\n\ny\n");
    Outcome r = Capture([] { return GetDirName(const_cast<const char **>(kInfo), "/opt", 0); });
    EXPECT_EQ(1, r.result);
    EXPECT_EQ(chosen, Name);
    EXPECT_EQ("\nfirst line\nsecond line\n" + Msg<MSG_NEW_INSTALL_DIR>("/opt") + Msg<MSG_RETURN_TO_MENU>() +
                  Msg<MSG_NEW_INSTALL_DIR>("/opt") + Msg<MSG_NEW_INSTALL_DIR>("/opt") +
                  Msg<MSG_NEW_INSTALL_DIR>(chosen.c_str()) + Msg<MSG_USE_DIR>(chosen.c_str()) + "? [y/n] ",
              r.out);
    EXPECT_EQ("ERROR: invalid directory name /bad dir\n", r.err);

    env.Answers("\nn\n");
    EXPECT_EQ(0, Capture([] { return GetDirName(nullptr, "/export", 0); }).result);
    EXPECT_STREQ("/export", Name);
}

// The start-up from a site whose marker has the DOS name, through the installation
// to the clean-up, which a stand-alone flag in the application directory skips.
class StartUp : public testing::TestWithParam<const char *> {};

TEST_P(StartUp, InstallsFromTheSiteAndCleansUpUnlessStandAlone) {
    Env env;
    std::string flag = GetParam();
    WriteText(env.Site + "/INSTALLF.ROM", "installation site");
    WriteText(env.Site + "/disks", "pkg_tar.z1 setup\nend_of_list\n");
    env.OnRun = [&env](const RowRun &run) {  // the copies fill the new work area
        if (run.row == CMD_CP && !std::filesystem::exists(env.Work + "/pkg.list")) {
            WriteText(env.Work + "/disks", "pkg_tar.z1 setup\nend_of_list\n");
            WriteText(env.Work + "/pkg.list", "c tool\n");
        }
    };
    if (!flag.empty())
        WriteText(env.App() + "/" + flag, "");
    std::string words[] = {env.Site + "/setup", "install", env.Target, "no_space_check", env.Tmp};
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(word.data());
    Outcome r = Capture([&] {
        SetupMain(static_cast<int>(argv.size()), argv.data());
        return 0;
    });
    ASSERT_EQ(0, r.status) << r.out << r.err;
    std::vector<RowRun> copies = env.RunsOf(CMD_CP);
    ASSERT_GE(copies.size(), 2u);
    EXPECT_EQ((RowRun{CMD_CP, SYSCMD_FATAL, env.Site + "/pkg_tar.z1 " + env.Work}), copies[0]);
    EXPECT_EQ((RowRun{CMD_CP, SYSCMD_FATAL, env.Site + "/setup " + env.Work}), copies[1]);
    std::string app = env.App();
    RowRun cleanUp{CMD_RM_R, SYSCMD_WARN, env.Work};
    std::vector<RowRun> removals = env.RunsOf(CMD_RM_R);
    if (flag.empty()) {
        EXPECT_EQ((std::vector<std::string>{app + "/kvqadmin -upgrade", app + "/kvqadmin -clean"}), env.Shell);
        EXPECT_EQ((std::vector<RowRun>{cleanUp, cleanUp}), removals);  // the media read, then the clean-up
    } else {
        EXPECT_EQ(std::vector<std::string>{app + "/kvqadmin -upgrade"}, env.Shell);
        EXPECT_EQ(std::vector<RowRun>{cleanUp}, removals);
    }
    EXPECT_TRUE(Has(ReadFileText(env.Root + "/setup.log"), "initializing system\n"));
}

INSTANTIATE_TEST_SUITE_P(SetupMain, StartUp, testing::Values("", ".StandAlone", ".StandAloneDb"));
