// Fixed names in directories every user can write to (/tmp, a directory typed at the
// site prompt), prepared by another user before the run: links planted at them are
// never written through, another user's files and directories are never removed or
// written, and a name the run needs that belongs to another user stops it with
// status 1 before anything changes. Also a run started with standard input closed.
#include "E2eSupport.h"

using namespace e2e;

namespace {

constexpr uid_t kNobody = 65534;

// A root-only file of the system, the target of the planted links.
std::string Victim(const Box &box, const std::string &inner = "/etc/victim") {
    WriteFile(box.Root(inner), "secret\n", 0600);
    return box.Root(inner);
}

void OwnedByNobody(const std::string &path) {
    ASSERT_EQ(0, lchown(path.c_str(), kNobody, kNobody)) << path;
}

class SharedDir : public ::testing::Test {
protected:
    Box box;
};

}  // namespace

TEST_F(SharedDir, SiteInstallationWritesThroughNoPlantedLinkAndLeavesOtherUsersEntries) {
    E2E_PRECONDITIONS(box);
    ASSERT_TRUE(box.Mksite(box.Small(SMALL_LIST)));
    std::string victim = Victim(box);
    // A hard link to a root file at the log's name; another user's leftovers.
    fs::create_directories(box.Root("/tmp"));
    ASSERT_EQ(0, link(victim.c_str(), box.Root("/tmp/setup.log").c_str()));
    WriteFile(box.Root("/tmp/setup/notes"), "mine\n");
    OwnedByNobody(box.Root("/tmp/setup"));
    OwnedByNobody(box.Root("/tmp/setup/notes"));
    WriteFile(box.Root("/tmp/setup.hlp"), "my help\n");
    OwnedByNobody(box.Root("/tmp/setup.hlp"));

    Result r = box.Setup({});
    ASSERT_EQ(r.status, 0) << r.Both();
    EXPECT_EQ(ReadFile(victim), "secret\n");
    EXPECT_EQ(Mode(victim), 0600);
    EXPECT_NE(box.Log().find("initializing system\n"), std::string::npos);
    EXPECT_EQ(ReadFile(box.Root("/tmp/setup/notes")), "mine\n");
    EXPECT_EQ(ReadFile(box.Root("/tmp/setup.hlp")), "my help\n");
    EXPECT_FALSE(Exists(box.Root("/tmp/TalvoInstall")));
    EXPECT_EQ(ReadFile(box.Root("/opt/Talvo/dorv/kvqadmin.calls")), "kvqadmin -upgrade\nkvqadmin -clean\n");
}

TEST_F(SharedDir, ALogOrWorkAreaOfAnotherUserStopsTheRunBeforeAnyChange) {
    E2E_PRECONDITIONS(box);
    ASSERT_TRUE(box.Mksite(box.Small(SMALL_LIST)));
    WriteFile(box.Root("/tmp/setup.log"), "their log\n");
    OwnedByNobody(box.Root("/tmp/setup.log"));
    Result r = box.Setup({});
    EXPECT_EQ(r.status, 1) << r.Both();
    EXPECT_EQ(r.err, "ERROR: /tmp/setup.log belongs to another user\n");
    EXPECT_EQ(box.Log(), "their log\n");
    EXPECT_FALSE(Exists(box.Root("/tmp/TalvoInstall")));
    EXPECT_FALSE(Exists(box.Root("/opt/Talvo")));

    // The same for a work area of another user.
    fs::remove(box.Root("/tmp/setup.log"));
    WriteFile(box.Root("/tmp/TalvoInstall/disks"), "their list\n");
    OwnedByNobody(box.Root("/tmp/TalvoInstall"));
    r = box.Setup({});
    EXPECT_EQ(r.status, 1) << r.Both();
    EXPECT_EQ(r.err, "ERROR: /tmp/TalvoInstall belongs to another user\n");
    EXPECT_EQ(ReadFile(box.Root("/tmp/TalvoInstall/disks")), "their list\n");
    EXPECT_FALSE(Exists(box.Root("/opt/Talvo")));
}

TEST_F(SharedDir, ASiteDirectoryOfAnotherUserIsNeitherUsedNorChanged) {
    E2E_PRECONDITIONS(box);
    ASSERT_TRUE(box.Mksite(box.Small(SMALL_LIST)));
    std::string victim = Victim(box);
    const std::string site = box.Root("/tmp/SolarisDorvInstall");
    fs::create_directories(site);
    chmod(site.c_str(), 0777);
    OwnedByNobody(site);
    for (const char *name : {"installf.rom", "setup"}) {
        fs::create_symlink("/etc/victim", site + "/" + name);
        OwnedByNobody(site + "/" + name);
    }
    Result r = box.Setup({"menu"}, "2\n/tmp\n\ny\n", {"--pty"});
    EXPECT_EQ(r.status, 1) << r.Both();
    EXPECT_NE(r.out.find("ERROR: /tmp/SolarisDorvInstall belongs to another user"), std::string::npos) << r.Both();
    EXPECT_EQ(Mode(site), 0777);
    EXPECT_TRUE(IsLink(site + "/installf.rom"));
    EXPECT_TRUE(IsLink(site + "/setup"));
    EXPECT_EQ(ReadFile(victim), "secret\n");
    EXPECT_EQ(Mode(victim), 0600);
}

TEST_F(SharedDir, TheDiskettesHelpFileIsCopiedIntoANewFileOnly) {
    E2E_PRECONDITIONS(box);
    E2E_NEEDS_DISKETTE_SIZED_INSTALLER();
    std::string set = box.Scratch("set");
    ASSERT_TRUE(box.MksiteTo(box.Small(SMALL_LIST), set, {"--diskettes"}));
    auto fromDiskette = [&] {
        return box.Run({"sh", "-c", "volcheck >/dev/null && exec /floppy/floppy0/setup"}, "",
                       {"--diskette", set + "/disk1"}, "/");
    };
    // Another user's file at the name: the run stops before copying anything.
    WriteFile(box.Root("/tmp/setup.hlp"), "their help\n");
    OwnedByNobody(box.Root("/tmp/setup.hlp"));
    Result stopped = fromDiskette();
    EXPECT_EQ(stopped.status, 1) << stopped.Both();
    EXPECT_NE(stopped.err.find("ERROR: /tmp/setup.hlp belongs to another user\n"), std::string::npos)
        << stopped.Both();
    EXPECT_EQ(ReadFile(box.Root("/tmp/setup.hlp")), "their help\n");
    EXPECT_FALSE(Exists(box.Root("/tmp/TalvoInstall")));

    // A link to a root file at the name: removed, and the installation goes on.
    std::string victim = Victim(box);
    fs::remove(box.Root("/tmp/setup.hlp"));
    fs::remove(box.Root("/tmp/setup.log"));
    fs::create_symlink("/etc/victim", box.Root("/tmp/setup.hlp"));
    Result r = fromDiskette();
    ASSERT_EQ(r.status, 0) << r.Both();
    EXPECT_EQ(ReadFile(victim), "secret\n");
    EXPECT_EQ(Mode(victim), 0600);
    EXPECT_FALSE(Exists(box.Root("/tmp/setup.hlp")));  // the installer's own copy, removed at the end
    EXPECT_EQ(ReadFile(box.Root("/opt/Talvo/dorv/.kv_cfg")), " V5 ");
}

TEST_F(SharedDir, ClosedStandardInputIsTheEndOfInput) {
    E2E_PRECONDITIONS(box);
    ASSERT_TRUE(box.Mksite(box.Small(SMALL_LIST)));
    WriteFile(box.Root("/opt/Talvo/dorv/KelvraD"), "daemon\n");  // asks the existing-daemon question
    Result r = box.Sh("exec ./setup <&-");
    EXPECT_EQ(r.status, 1) << r.Both();
    EXPECT_EQ(r.err, "ERROR: unexpected end of input\n") << r.Both();
    EXPECT_EQ(Count(r.out, NLS_ENGLISH[63]), 1u) << r.out.substr(0, 2000);
    EXPECT_FALSE(Exists(box.Root("/opt/Talvo/dorv/.kv_cfg")));
}
