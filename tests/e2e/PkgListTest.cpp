// The package list of a real installation: every command and modifier as the
// installer meets them in a product, the lines it reports and skips, a modifier that
// fails, a system whose release cannot be read, and running programs at a checkps
// line.
#include "E2eSupport.h"

using namespace e2e;

namespace {

class PkgList : public ::testing::Test {
protected:
    Box box;
};

}  // namespace

TEST_F(PkgList, EdgeCasesOfTheListLanguage) {
    E2E_PRECONDITIONS(box);
    box.FakeRelease("5.10");
    Product p = box.Small(
        "c kvqadmin mode 755\n"
        "m missing.txt mode 644\n"
        "newdir logs mode 777\n"
        "newdir logs mode 700\n"
        "v = 5.10 c eq.txt\n"
        "v =< 5.10 c never1.txt\n"
        "v >= 5.6 v < 5.8 c never2.txt\n"
        "v > 5.9 v <= 5.10 c chain.txt\n"
        "# comment.txt\n"
        "#hash.txt hash2.txt\n"
        "c\ttab1.txt tab2.txt\n"
        "c sedme.txt sed 's/old/new/; s/x/y/'\n"
        "c sed2.txt mode 600 sed s/a/b/ mode 640\n"
        "dirto conf\n"
        "c\n"
        "v >=\n"
        "dirto conf /etc/e2e-conf\n"
        "\n"
        "unknownword u.txt mode 640 frobnicate 1 mode 600\n"
        "t stamp\n");
    for (const char *name : {"missing.txt", "eq.txt", "never1.txt", "never2.txt", "chain.txt", "comment.txt",
                             "hash.txt", "hash2.txt", "tab1.txt", "tab2.txt", "u.txt"})
        p.File(name, std::string(name) + "\n");
    p.File("sedme.txt", "old x\n").File("sed2.txt", "a\n").File("conf/c.conf", "conf\n");
    // The media builder refuses a list with incomplete lines: build the site from a
    // sound list, then pack the product with this one into the site's archive.
    std::string list = ReadFile(p.Dir() + "/pkg.list");
    p.List("c kvqadmin\n");
    ASSERT_TRUE(box.Mksite(p));
    p.List(list);
    ASSERT_TRUE(box.Repack(p));

    Result r = box.Setup({});
    ASSERT_EQ(r.status, 0) << r.Both();
    const std::string app = box.Root("/opt/Talvo/dorv");
    auto here = [&](const char *name) { return Exists(app + "/" + name); };

    EXPECT_FALSE(here("missing.txt"));       // "m" of a missing target does nothing
    EXPECT_EQ(Mode(app + "/logs"), 0777);    // an existing directory keeps its mode
    EXPECT_TRUE(here("eq.txt"));             // "=" on the equal release
    EXPECT_FALSE(here("never1.txt"));        // an unknown operator never holds
    EXPECT_FALSE(here("never2.txt"));        // 5.10 is not below 5.8
    EXPECT_TRUE(here("chain.txt"));          // chained tests that both hold
    EXPECT_FALSE(here("comment.txt"));       // "#" as a word of its own
    EXPECT_FALSE(here("hash.txt"));          // a word beginning with "#" copies its operand
    EXPECT_TRUE(here("hash2.txt"));
    EXPECT_FALSE(here("tab1.txt"));          // a tab joins "c" and tab1.txt into one word
    EXPECT_TRUE(here("tab2.txt"));
    EXPECT_EQ(ReadFile(app + "/sedme.txt"), "new y\n");  // the rest of the line is the script
    EXPECT_EQ(ReadFile(app + "/sed2.txt"), "b\n");  // a later sed takes one word only
    EXPECT_EQ(Mode(app + "/sed2.txt"), 0640);
    EXPECT_FALSE(Exists(app + "/conf"));
    EXPECT_EQ(ReadFile(box.Root("/etc/e2e-conf/c.conf")), "conf\n");
    EXPECT_EQ(Mode(app + "/u.txt"), 0600);   // modifiers in written order, unknown ones skipped
    EXPECT_TRUE(here("stamp"));

    // Lines lacking a word are reported with their text, and run nothing.
    for (const char *line : {"dirto conf", "c", "v >="}) {
        std::string warning = std::string("WARNING: incomplete package list line: ") + line + "\n";
        EXPECT_NE(r.err.find(warning), std::string::npos) << r.err;
        EXPECT_NE(box.Log().find(warning), std::string::npos) << line;
    }
    EXPECT_EQ(Count(r.err, "WARNING: incomplete package list line"), 3u) << r.err;
    EXPECT_FALSE(Exists(box.Root("/tmp/setup.tmp")));
    EXPECT_EQ(ReadFile(app + "/kvqadmin.calls"), "kvqadmin -upgrade\nkvqadmin -clean\n");
}

TEST_F(PkgList, ModeAfterNameFailsAndStopsTheInstallation) {
    E2E_PRECONDITIONS(box);
    Product p = box.Small("c kvqadmin mode 755\nc tool name tool2 mode 755\nc after.txt\n");
    p.File("tool", "tool\n").File("after.txt", "after\n");
    ASSERT_TRUE(box.Mksite(p));
    Result r = box.Setup({});
    EXPECT_EQ(r.status, 1) << r.Both();
    EXPECT_NE(r.out.find("ERROR: "), std::string::npos) << r.Both();
    const std::string app = box.Root("/opt/Talvo/dorv");
    EXPECT_TRUE(Exists(app + "/tool2"));
    EXPECT_FALSE(Exists(app + "/tool"));
    EXPECT_FALSE(Exists(app + "/after.txt"));         // no later line ran
    EXPECT_FALSE(Exists(app + "/kvqadmin.calls"));    // nor the maintenance tool
    EXPECT_TRUE(IsDir(box.Root("/tmp/TalvoInstall")));  // nothing is undone or cleaned
    std::vector<std::string> commands = LoggedCommands(box.Log());
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), "chmod 755 /opt/Talvo/dorv/tool");
}

TEST_F(PkgList, UnknownReleaseSkipsTheReleaseCheckAndEveryVersionTest) {
    E2E_PRECONDITIONS(box);
    box.FakeCommand("uname", "exit 0\n");  // prints nothing
    Product p = box.Small("c kvqadmin mode 755\nv >= 5.6 c a.txt\nc b.txt\n");
    p.File("a.txt", "a\n").File("b.txt", "b\n");
    ASSERT_TRUE(box.Mksite(p));
    Result r = box.Setup({});
    ASSERT_EQ(r.status, 0) << r.Both();
    EXPECT_NE(r.err.find(NLS_ENGLISH[60]), std::string::npos) << r.err;
    EXPECT_FALSE(Exists(box.Root("/opt/Talvo/dorv/a.txt")));
    EXPECT_TRUE(Exists(box.Root("/opt/Talvo/dorv/b.txt")));
}

// A checkps line shows the running programs and lets the user wait or quit.
class RunningPrograms : public PkgList {
protected:
    void SetUp() override {
        if (geteuid() != 0 || !box.Ok())
            return;
        Product p = box.Small("c kvqadmin mode 755\ncheckps KelvraD,Kvdm\nc after.txt\n");
        p.File("after.txt", "after\n");
        ASSERT_TRUE(box.Mksite(p));
    }
    // setup with a program named Kvdm running until `until` is true.
    Result WithKvdm(const std::string &until, const std::string &input) {
        WriteFile(box.Root("/tmp/Kvdm"), "#!/bin/sh\nuntil " + until + "; do sleep 0.1; done\n", 0755);
        // Started from a subshell, so that the installer is not its parent and an
        // ended Kvdm does not linger as a zombie of it.
        return box.Sh("( /tmp/Kvdm & ) && exec ./setup", input);
    }
};

TEST_F(RunningPrograms, QuitEndsTheListBeforeItsLaterLines) {
    E2E_PRECONDITIONS(box);
    Result r = WithKvdm("false", "x\n2\n");
    EXPECT_EQ(r.status, 0) << r.Both();
    EXPECT_EQ(Count(r.out, NLS_ENGLISH[66] + std::string("Kvdm")), 2u) << r.out;  // asked again after "x"
    for (int n : {67, 68, 69, 70})
        EXPECT_NE(r.out.find(NLS_ENGLISH[n]), std::string::npos) << n;
    const std::string app = box.Root("/opt/Talvo/dorv");
    EXPECT_TRUE(Exists(app + "/kvqadmin"));
    EXPECT_FALSE(Exists(app + "/after.txt"));
    EXPECT_FALSE(Exists(app + "/kvqadmin.calls"));  // not installed: the tool is not started
    EXPECT_FALSE(Exists(box.Root("/tmp/TalvoInstall")));
}

TEST_F(RunningPrograms, WaitGoesOnOnceTheProgramsHaveEnded) {
    E2E_PRECONDITIONS(box);
    // It ends two seconds after the line before the checkps line ran, so the first
    // check, five seconds after the question, finds it gone.
    Result r = WithKvdm("grep -q 'chmod.*dorv/kvqadmin' /tmp/setup.log 2>/dev/null && sleep 2", "1\n");
    ASSERT_EQ(r.status, 0) << r.Both();
    EXPECT_EQ(Count(r.out, NLS_ENGLISH[66]), 1u) << r.out;
    EXPECT_EQ(ReadFile(box.Root("/opt/Talvo/dorv/after.txt")), "after\n");
    EXPECT_EQ(ReadFile(box.Root("/opt/Talvo/dorv/kvqadmin.calls")), "kvqadmin -upgrade\nkvqadmin -clean\n");
}
