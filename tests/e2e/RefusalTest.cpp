// The installer's orderly refusals and their exit statuses: not root, an old
// release, a conflicting package the user keeps, short space, missing size files,
// the existing-daemon dialogue, the language of the messages, and the command line.
#include "E2eSupport.h"

using namespace e2e;

namespace {

class Refusal : public ::testing::Test {
protected:
    Box box;

    void SetUp() override {
        if (geteuid() == 0 && box.Ok()) {
            ASSERT_TRUE(box.Mksite(box.Small(SMALL_LIST)));
        }
    }
    // Nothing of the product reached the system.
    void ExpectNothingInstalled() {
        EXPECT_FALSE(Exists(box.Root("/opt/Talvo")));
        EXPECT_FALSE(Exists(box.Root("/var/spool/Talvo")));
        EXPECT_FALSE(Exists(box.Root("/usr/bin/kelvra")));
        EXPECT_FALSE(Exists(box.Root("/var/sadm/pkg/MRGWdorv")));
    }
};

Result AsNobody(const Box &box, const std::vector<std::string> &options = {}) {
    return box.Run({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "./setup"}, "", options);
}

}  // namespace

TEST_F(Refusal, NotRootIsToldToBecomeRootAndNothingIsInstalled) {
    E2E_PRECONDITIONS(box);
    Result r = AsNobody(box);
    EXPECT_EQ(r.status, 0) << r.Both();
    EXPECT_NE(r.out.find(Msg(NLS_ENGLISH, 35, "nobody", "setup")), std::string::npos) << r.Both();
    ExpectNothingInstalled();
    EXPECT_FALSE(Exists(box.Root("/tmp/TalvoInstall")));
}

TEST_F(Refusal, ReleaseBelowFiveSixIsRefusedAndTheWorkAreaRemoved) {
    E2E_PRECONDITIONS(box);
    box.FakeRelease("5.5");
    Result r = box.Setup({});
    EXPECT_EQ(r.status, 0) << r.Both();
    EXPECT_NE(r.err.find(NLS_ENGLISH[61]), std::string::npos) << r.Both();
    ExpectNothingInstalled();
    EXPECT_FALSE(Exists(box.Root("/tmp/TalvoInstall")));
    EXPECT_FALSE(Exists(box.Root("/tmp/setup")));
}

TEST_F(Refusal, LangChoosesTheLanguageOfTheMessages) {
    E2E_PRECONDITIONS(box);
    box.FakeRelease("5.5");
    Result german = box.Setup({}, "", {"--env", "LANG=ge_GE"});
    EXPECT_EQ(german.status, 0) << german.Both();
    EXPECT_NE(german.err.find(NLS_GERMAN[61]), std::string::npos) << german.Both();
    EXPECT_EQ(german.err.find(NLS_ENGLISH[61]), std::string::npos);

    // The log of root's run is not another user's to write: it is taken away first.
    fs::remove(box.Root("/tmp/setup.log"));
    Result french = AsNobody(box, {"--env", "LANG=fr_FR"});
    EXPECT_EQ(french.status, 0) << french.Both();
    EXPECT_NE(french.out.find(Msg(NLS_FRENCH, 35, "nobody", "setup")), std::string::npos) << french.Both();
}

TEST_F(Refusal, ConflictingPackageKeptByTheUserStopsTheInstallation) {
    E2E_PRECONDITIONS(box);
    Result r = box.Sh("mkdir -p /var/spool/pkg && pkgadd -d /var/spool/pkg MRGWdorv >/dev/null && exec ./setup", "n\n");
    EXPECT_EQ(r.status, 0) << r.Both();
    EXPECT_NE(r.out.find("The following packages must be removed to insure proper installation:"), std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("Removal of"), std::string::npos) << r.out;
    EXPECT_TRUE(Exists(box.Root("/var/sadm/pkg/MRGWdorv/pkginfo")));  // still registered
    EXPECT_FALSE(Exists(box.Root("/opt/Talvo")));
    EXPECT_FALSE(Exists(box.Root("/tmp/TalvoInstall")));
}

TEST_F(Refusal, ShortWorkAreaSpaceIsReportedWithItsSize) {
    E2E_PRECONDITIONS(box);
    WriteFile(box.Root("/site/tsize"), "1000000000000\n");
    Result r = box.Setup({});
    EXPECT_EQ(r.status, 0) << r.Both();
    EXPECT_EQ(r.out, Msg(NLS_ENGLISH, 49, "/tmp", 1e12 + 40.0));
    EXPECT_NE(r.out.find("1.000000e+12"), std::string::npos);
    ExpectNothingInstalled();
    EXPECT_FALSE(Exists(box.Root("/tmp/TalvoInstall")));
}

TEST_F(Refusal, ShortInstallSpaceIsReportedWithItsSize) {
    E2E_PRECONDITIONS(box);
    WriteFile(box.Root("/site/isize"), "2500000000000\n");
    Result r = box.Setup({"install", "/export"});
    EXPECT_EQ(r.status, 0) << r.Both();
    EXPECT_EQ(r.out, Msg(NLS_ENGLISH, 55, "/export", 2.5e12 + 40.0));
    EXPECT_FALSE(Exists(box.Root("/export")));
    EXPECT_FALSE(Exists(box.Root("/tmp/TalvoInstall")));
}

TEST_F(Refusal, ShortSpaceOnOneFileSystemCountsBothNeeds) {
    E2E_PRECONDITIONS(box);
    WriteFile(box.Root("/site/isize"), "1000000000000\n");
    WriteFile(box.Root("/site/tsize"), "1000000000000\n");
    // A work area in /opt shares the file system of the install root.
    Result r = box.Setup({"/opt"});
    EXPECT_EQ(r.status, 0) << r.Both();
    EXPECT_EQ(r.out, Msg(NLS_ENGLISH, 56, "/opt/TalvoInstall", "/opt", 2e12 + 80.0));
    ExpectNothingInstalled();
    EXPECT_FALSE(Exists(box.Root("/opt/TalvoInstall")));
}

TEST_F(Refusal, MissingSizeFileStopsWithStatusOne) {
    E2E_PRECONDITIONS(box);
    for (const char *name : {"isize", "tsize"}) {
        std::string path = box.Root(std::string("/site/") + name);
        std::string kept = ReadFile(path);
        ASSERT_EQ(unlink(path.c_str()), 0);
        Result r = box.Setup({});
        EXPECT_EQ(r.status, 1) << name << "\n" << r.Both();
        EXPECT_NE(r.out.find(NLS_ENGLISH[65]), std::string::npos) << name << "\n" << r.Both();
        EXPECT_FALSE(Exists(box.Root("/tmp/TalvoInstall")));
        WriteFile(path, kept);
    }
    ExpectNothingInstalled();
}

// An earlier product's daemon in the application directory starts a dialogue.
class ExistingDaemon : public Refusal {
protected:
    void SetUp() override {
        Refusal::SetUp();
        WriteFile(box.Root("/opt/Talvo/dorv/KelvraD"), "daemon\n", 0755);
        WriteFile(box.Root("/etc/rc2.d/KTalvoPrintD"), "stop\n", 0755);
        WriteFile(box.Root("/etc/rc2.d/STalvoPrintD"), "start\n", 0755);
    }
};

TEST_F(ExistingDaemon, AnswerNRemovesTheRunLevelScriptsAndInstalls) {
    E2E_PRECONDITIONS(box);
    Result r = box.Setup({}, "maybe\n\nn\n");
    ASSERT_EQ(r.status, 0) << r.Both();
    EXPECT_NE(r.out.find(Msg(NLS_ENGLISH, 62, "Talvo", "Talvo", "Talvo", "dorv")), std::string::npos) << r.out;
    EXPECT_EQ(Count(r.out, NLS_ENGLISH[63]), 3u) << r.out;  // asked again after each other answer
    EXPECT_FALSE(Exists(box.Root("/etc/rc2.d/KTalvoPrintD")));
    EXPECT_FALSE(Exists(box.Root("/etc/rc2.d/STalvoPrintD")));
    EXPECT_EQ(ReadFile(box.Root("/opt/Talvo/dorv/.kv_cfg")), " V5 ");
    EXPECT_TRUE(Exists(box.Root("/var/sadm/pkg/MRGWdorv/pkginfo")));
}

TEST_F(ExistingDaemon, AnswerNoEndsWithoutChange) {
    E2E_PRECONDITIONS(box);
    Result r = box.Setup({}, "no\n");
    EXPECT_EQ(r.status, 0) << r.Both();
    EXPECT_EQ(Count(r.out, NLS_ENGLISH[63]), 1u) << r.out;
    EXPECT_EQ(ReadFile(box.Root("/etc/rc2.d/KTalvoPrintD")), "stop\n");
    EXPECT_EQ(ReadFile(box.Root("/etc/rc2.d/STalvoPrintD")), "start\n");
    std::vector<std::string> app;
    for (const auto &e : fs::directory_iterator(box.Root("/opt/Talvo/dorv")))
        app.push_back(e.path().filename().string());
    EXPECT_EQ(app, std::vector<std::string>{"KelvraD"});
    EXPECT_FALSE(Exists(box.Root("/var/spool/Talvo")));
    EXPECT_FALSE(Exists(box.Root("/var/sadm/pkg/MRGWdorv")));
    EXPECT_FALSE(Exists(box.Root("/usr/bin/kelvra")));
}

// The command line.
TEST_F(Refusal, VersionOptionPrintsNameAndVersionOnStandardError) {
    E2E_PRECONDITIONS(box);
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"-v"}, std::vector<std::string>{"manual", "menu", "-v", "/no/such/dir"}}) {
        Result r = box.Setup(args);
        EXPECT_EQ(r.status, 0) << r.Both();
        EXPECT_EQ(r.err, "setup 3.00.92\n");
        EXPECT_EQ(r.out, "");
    }
    ExpectNothingInstalled();
}

TEST_F(Refusal, WorkAreaArgumentThatIsNoDirectoryExitsTwo) {
    E2E_PRECONDITIONS(box);
    for (const char *arg : {"/no/such/dir", "/site/setup.hlp"}) {
        Result r = box.Setup({arg});
        EXPECT_EQ(r.status, 2) << arg << "\n" << r.Both();
        EXPECT_EQ(r.err, std::string("ERROR: ") + arg + " is not a directory\n");
        EXPECT_EQ(r.out, "");
    }
    ExpectNothingInstalled();
    EXPECT_FALSE(Exists(box.Root("/tmp/TalvoInstall")));
}

TEST_F(Refusal, InstallRootHoldingABlankExitsTwo) {
    E2E_PRECONDITIONS(box);
    Result r = box.Setup({"install", "/ex port"});
    EXPECT_EQ(r.status, 2) << r.Both();
    EXPECT_EQ(r.err, "ERROR: invalid directory name /ex port\n");
    ExpectNothingInstalled();
    EXPECT_FALSE(Exists(box.Root("/ex port")));
    EXPECT_FALSE(Exists(box.Root("/tmp/TalvoInstall")));
}
