// Installation from an installation site built by mksite: what lands on the system,
// the log and the progress dots, the clean-up, the spooler flag and the interface
// scripts, other install roots, and a second installation over the first.
#include <ctime>

#include "E2eSupport.h"

using namespace e2e;

namespace {

std::string ThisYear() {
    time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    return std::to_string(local.tm_year + 1900);
}

// The launcher the "bat" modifier writes: header, 63-column banner, then the body.
void ExpectLauncher(const std::string &path, const std::string &appDir, const std::string &program) {
    std::string text = ReadFile(path);
    std::vector<std::string> lines = Lines(text);
    ASSERT_GE(lines.size(), 7u) << text;
    EXPECT_EQ(lines[0], "#!/bin/sh");
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(lines[i].size(), 63u) << lines[i];
    EXPECT_EQ(lines[1], std::string(63, '#'));
    EXPECT_NE(lines[3].find(ThisYear()), std::string::npos) << lines[3];
    std::string body = "\nKelvraFileSourceDir=`pwd`\nexport KelvraFileSourceDir\n\ncd " + appDir + "\nexec " + appDir +
                       "/" + program + " $*\n";
    ASSERT_GE(text.size(), body.size());
    EXPECT_EQ(text.substr(text.size() - body.size()), body);
    EXPECT_EQ(Mode(path), 0755);
}

}  // namespace

class SiteInstall : public ::testing::Test {
protected:
    Box box;
};

// One installation of the demo product (its list uses every command), looked at by
// several tests.
class DemoInstall : public ::testing::Test {
protected:
    static Box *box;
    static Result run;

    static void SetUpTestSuite() {
        box = new Box;
        if (geteuid() != 0 || !HostIsClean() || !box->Ok())
            return;
        box->FakeRelease("5.10");  // also shows that 5.10 is a release above 5.6
        if (box->Mksite(box->Demo()))
            run = box->Setup({});
    }
    static void TearDownTestSuite() {
        delete box;
        box = nullptr;
    }
    void SetUp() override {
        E2E_PRECONDITIONS(*box);
        ASSERT_EQ(run.status, 0) << run.Both();
    }
};

Box *DemoInstall::box = nullptr;
Result DemoInstall::run;

TEST_F(DemoInstall, PlacesEveryFileLinkAndDirectory) {
    const std::string app = box->Root("/opt/Talvo/dorv");
    EXPECT_EQ(Mode(app), 0775);
    EXPECT_EQ(Mode(box->Root("/opt/Talvo")), 0755);
    for (const char *tool : {"kvqadmin", "kvrdorvtty", "ksf", "kelvra"})
        EXPECT_EQ(Mode(app + "/" + tool), 0755) << tool;
    EXPECT_EQ(Mode(app + "/.PrintError"), 0666);
    EXPECT_EQ(Mode(app + "/.PrintLog"), 0666);
    EXPECT_TRUE(IsDir(app + "/spool"));
    EXPECT_EQ(Mode(app + "/spool"), 0777);
    EXPECT_EQ(Mode(app + "/extra.txt"), 0644);

    // The package list: sed edit, rename, version tests, a word merely beginning
    // with "#" copies its operand, directory copies.
    const std::string demo = std::string(SOURCE_DIR) + "/examples/demo-product";
    EXPECT_EQ(ReadFile(app + "/README.txt"), "Talvo demo package, version 3.00.92.\n");
    EXPECT_EQ(ReadFile(app + "/NOTES"), ReadFile(demo + "/notes.txt"));
    EXPECT_FALSE(Exists(app + "/notes.txt"));
    EXPECT_FALSE(Exists(app + "/old-notes.txt"));
    EXPECT_TRUE(Exists(app + "/release-notes.txt"));
    EXPECT_TRUE(Exists(app + "/hash-extra.txt"));
    EXPECT_EQ(ReadFile(app + "/docs/manual.txt"), ReadFile(demo + "/docs/manual.txt"));
    EXPECT_EQ(ReadFile(box->Root("/etc/talvo-demo/talvo.conf")), ReadFile(demo + "/conf/talvo.conf"));

    // Launcher and link in /usr/bin.
    ExpectLauncher(box->Root("/usr/bin/kelvra"), "/opt/Talvo/dorv", "kelvra");
    EXPECT_TRUE(IsLink(box->Root("/usr/bin/kelvra-tool")));
    EXPECT_EQ(LinkTarget(box->Root("/usr/bin/kelvra-tool")), "/opt/Talvo/dorv/kelvra");

    // Spooler flag: exactly " V5 ", no newline.
    EXPECT_EQ(ReadFile(app + "/.kv_cfg"), " V5 ");
    EXPECT_EQ(Mode(app + "/.kv_cfg"), 0644);

    // Spool directories: print jobs of every user write into the download directory.
    EXPECT_EQ(Mode(box->Root("/var/spool/Talvo")), 0775);
    EXPECT_EQ(Mode(box->Root("/var/spool/Talvo/dorv")), 0775);
    EXPECT_EQ(Mode(box->Root("/var/spool/Talvo/dorv/__kva_download__")), 0777);

    // The registered package and the interface scripts.
    EXPECT_NE(ReadFile(box->Root("/var/sadm/pkg/MRGWdorv/pkginfo")).find("PKG=MRGWdorv"), std::string::npos);
    for (const char *script : {"TalvoPrintdorv", "TalvoKSF"}) {
        std::string text = ReadFile(app + "/" + script);
        EXPECT_EQ(text.rfind("#!/bin/sh\n", 0), 0u) << script;
        EXPECT_NE(text.find("ToolPath=\"/opt/Talvo/dorv\""), std::string::npos) << script;
        EXPECT_EQ(Mode(app + "/" + script), 0755) << script;
    }
    EXPECT_NE(ReadFile(app + "/TalvoKSF").find("SpoolDir=\"/var/spool/Talvo/dorv\""), std::string::npos);

    // The maintenance tool was started after the installation and at clean-up.
    EXPECT_EQ(ReadFile(app + "/kvqadmin.calls"), "kvqadmin -upgrade\nkvqadmin -clean\n");
}

TEST_F(DemoInstall, RemovesTheWorkAreaAndKeepsTheSite) {
    EXPECT_FALSE(Exists(box->Root("/tmp/TalvoInstall")));
    EXPECT_FALSE(Exists(box->Root("/tmp/setup")));
    EXPECT_FALSE(Exists(box->Root("/tmp/SolarisDorv.tar.Z")));
    EXPECT_FALSE(Exists(box->Root("/tmp/setup.tmp")));
    EXPECT_TRUE(Exists(box->Root("/site/setup")));
    EXPECT_TRUE(Exists(box->Root("/site/pkg_tar.z1")));
}

TEST_F(DemoInstall, LogsEachCommandAndPrintsOneDotPerLoggedCommand) {
    std::vector<std::string> commands = LoggedCommands(box->Log());
    const std::vector<std::string> expected = {
        "cp -p /site/disks /tmp/TalvoInstall",
        "cp -p /site/pkg_tar.z1 /tmp/TalvoInstall",
        "uncompress /tmp/TalvoInstall/SolarisDorv.tar.Z",
        "tar xvfp /tmp/TalvoInstall/SolarisDorv.tar",
        "chmod 775 /var/spool/Talvo/dorv",
        "chmod 777 /var/spool/Talvo/dorv/__kva_download__",
        "cp -p /tmp/TalvoInstall/./kvqadmin /opt/Talvo/dorv",
        "chmod 755 /opt/Talvo/dorv/kvqadmin",
        "sed s/@VERSION@/3.00.92/ /opt/Talvo/dorv/README.txt > /tmp/setup.tmp",
        "ln -s /opt/Talvo/dorv/kelvra /usr/bin/kelvra-tool",
        "cp -pr /tmp/TalvoInstall/./docs /opt/Talvo/dorv",
        "chown -R root /opt/Talvo/dorv/docs",
        "chgrp -R root /opt/Talvo/dorv/docs",
        "cp -pr /tmp/TalvoInstall/./conf /etc/talvo-demo",
        "touch /opt/Talvo/dorv/.PrintLog",
        "mv -f /opt/Talvo/dorv/notes.txt /opt/Talvo/dorv/NOTES",
        "cp -p /tmp/TalvoInstall/./hash-extra.txt /opt/Talvo/dorv",
        "rm -rf /tmp/TalvoInstall",
    };
    for (const std::string &line : expected)
        EXPECT_TRUE(Has(commands, line)) << line << "\nlogged:\n" << Join(commands);
    // Not logged: the interactive package commands and the quiet ones.
    for (const std::string &line : commands) {
        EXPECT_EQ(line.find("pkgadd"), std::string::npos) << line;
        EXPECT_EQ(line.find("old-notes"), std::string::npos) << line;
    }
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.front(), "cp -p /site/disks /tmp/TalvoInstall");  // the work area is made directly
    EXPECT_EQ(commands.back(), "rm -rf /tmp/TalvoInstall");

    // Standard output: a dot per logged command; pkgadd speaks on the terminal.
    std::string dots;
    const std::string pkgadd = "Installation of <MRGWdorv> was successful.";
    for (std::string line : Lines(run.out)) {
        size_t at = line.find(pkgadd);
        if (at != std::string::npos)
            line.erase(at, pkgadd.size());
        dots += line;
    }
    EXPECT_EQ(dots, std::string(commands.size(), '.')) << run.out;
}

TEST_F(SiteInstall, ManualKeepsTheWorkAreaButStillCleansUpThroughTheTool) {
    E2E_PRECONDITIONS(box);
    ASSERT_TRUE(box.Mksite(box.Small(SMALL_LIST)));
    Result r = box.Setup({"manual"});
    ASSERT_EQ(r.status, 0) << r.Both();
    const std::string work = box.Root("/tmp/TalvoInstall");
    EXPECT_TRUE(IsDir(work));
    EXPECT_EQ(Mode(work), 0700);  // nothing of the media readable by other users
    for (const char *name : {"disks", "installf.rom", "isize", "tsize", "setup", "setup.hlp", "pkg_tar.z1",
                             "pkg.list", "kvqadmin"})
        EXPECT_TRUE(Exists(work + "/" + name)) << name;
    EXPECT_FALSE(Exists(work + "/SolarisDorv.tar"));
    EXPECT_EQ(ReadFile(box.Root("/opt/Talvo/dorv/kvqadmin.calls")), "kvqadmin -upgrade\nkvqadmin -clean\n");
    EXPECT_FALSE(Has(LoggedCommands(box.Log()), "rm -rf /tmp/TalvoInstall"));
}

// The spooler flag follows the spooler found on the system, and the interface
// scripts written by the installation take the matching branch when a spooler calls
// them.
TEST_F(SiteInstall, LprngSystemGetsTheLprngFlagAndScriptsTakeTheLprngBranch) {
    E2E_PRECONDITIONS(box);
    ASSERT_TRUE(box.Mksite(box.Small(SMALL_LIST)));
    Result r = box.Setup({}, "", {"--with", "lpd"});
    ASSERT_EQ(r.status, 0) << r.Both();
    const std::string app = box.Root("/opt/Talvo/dorv");
    EXPECT_EQ(ReadFile(app + "/.kv_cfg"), " LPRng ");

    Result job = box.Sh("mkdir -p /var/spool/lpd/laser && cd /var/spool/lpd/laser &&"
                        " PRINTER=laser SPOOL_DIR=/var/spool/lpd/laser"
                        " CONTROL='Hhost\nPbob\nJreport\nNone\nUdfA001host' /opt/Talvo/dorv/TalvoPrintdorv -print &&"
                        " /opt/Talvo/dorv/TalvoKSF -Jreport -f /tmp/job1",
                        "", {"--with", "lpd"});
    ASSERT_EQ(job.status, 0) << job.Both();
    EXPECT_EQ(job.out, "Output for LPRng\n");
    EXPECT_EQ(ReadFile(app + "/print.calls"),
              "kvrdorvtty -dlaser -Jreport -c1 /var/spool/lpd/laser/dfA001host\nksf /tmp/job1\n");
}

TEST_F(SiteInstall, CupsWinsOverLprngAndScriptsTakeTheCupsBranch) {
    E2E_PRECONDITIONS(box);
    ASSERT_TRUE(box.Mksite(box.Small(SMALL_LIST)));
    Result r = box.Setup({}, "", {"--with", "lpd", "--with", "cupsd"});
    ASSERT_EQ(r.status, 0) << r.Both();
    const std::string app = box.Root("/opt/Talvo/dorv");
    EXPECT_EQ(ReadFile(app + "/.kv_cfg"), " CUPS ");

    Result job = box.Sh("PRINTER=laser /opt/Talvo/dorv/TalvoPrintdorv 17 alice title 1 opts /tmp/f1 &&"
                        " PRINTER=laser /opt/Talvo/dorv/TalvoKSF 18 alice title 1 opts /tmp/f2");
    ASSERT_EQ(job.status, 0) << job.Both();
    EXPECT_EQ(ReadFile(app + "/print.calls"), "kvrdorvtty -dlaser -i /tmp/f1\nksf /tmp/f2\n");
}

TEST_F(SiteInstall, SystemVScriptsNameThePrinterAfterTheInterfaceAndLauncherRuns) {
    E2E_PRECONDITIONS(box);
    ASSERT_TRUE(box.Mksite(box.Small(SMALL_LIST)));
    Result r = box.Setup({}, "", {"--with", "lpd.bsd"});  // a print daemon that is not LPRng
    ASSERT_EQ(r.status, 0) << r.Both();
    const std::string app = box.Root("/opt/Talvo/dorv");
    EXPECT_EQ(ReadFile(app + "/.kv_cfg"), " V5 ");

    // The System V spooler calls a copy named after the printer.
    Result job = box.Sh("cp /opt/Talvo/dorv/TalvoPrintdorv /tmp/laser && /tmp/laser 17 alice title 1 opts /tmp/f1 &&"
                        " /opt/Talvo/dorv/TalvoKSF 18 alice title 1 opts /tmp/f2 &&"
                        " cd /var && kelvra one two && kelvra-tool three");
    ASSERT_EQ(job.status, 0) << job.Both();
    EXPECT_EQ(ReadFile(app + "/print.calls"), "kvrdorvtty -dlaser -i /tmp/f1\nksf /tmp/f2\n");
    EXPECT_EQ(job.out, "kelvra in /opt/Talvo/dorv from /var: one two\nkelvra in /var from : three\n");
}

// Install roots other than /opt: the product is linked into /opt.
TEST_F(SiteInstall, OtherRootWithoutOptTalvoLinksOptTalvo) {
    E2E_PRECONDITIONS(box);
    ASSERT_TRUE(box.Mksite(box.Small(SMALL_LIST)));
    // A root named down to the application directory is cut back to the root.
    Result r = box.Setup({"install", "/export/Talvo/dorv/"});
    ASSERT_EQ(r.status, 0) << r.Both();
    EXPECT_TRUE(IsLink(box.Root("/opt/Talvo")));
    EXPECT_EQ(LinkTarget(box.Root("/opt/Talvo")), "/export/Talvo");
    EXPECT_EQ(Mode(box.Root("/export/Talvo/dorv/kvqadmin")), 0755);
    EXPECT_EQ(ReadFile(box.Root("/export/Talvo/dorv/.kv_cfg")), " V5 ");
    ExpectLauncher(box.Root("/usr/bin/kelvra"), "/export/Talvo/dorv", "kelvra");
    EXPECT_EQ(LinkTarget(box.Root("/usr/bin/kelvra-tool")), "/export/Talvo/dorv/kelvra");
    EXPECT_NE(ReadFile(box.Root("/export/Talvo/dorv/TalvoPrintdorv")).find("ToolPath=\"/export/Talvo/dorv\""),
              std::string::npos);
    EXPECT_TRUE(Has(LoggedCommands(box.Log()), "ln -s /export/Talvo /opt/Talvo"));
}

TEST_F(SiteInstall, OtherRootWithOptTalvoDirectoryLinksTheApplicationDirectory) {
    E2E_PRECONDITIONS(box);
    fs::create_directories(box.Root("/opt/Talvo"));
    ASSERT_TRUE(box.Mksite(box.Small(SMALL_LIST)));
    // "dorv" inside a longer component is no part of the product's path.
    Result r = box.Setup({"install", "/export/dorvdata"});
    ASSERT_EQ(r.status, 0) << r.Both();
    EXPECT_TRUE(IsDir(box.Root("/opt/Talvo")));
    EXPECT_TRUE(IsLink(box.Root("/opt/Talvo/dorv")));
    EXPECT_EQ(LinkTarget(box.Root("/opt/Talvo/dorv")), "/export/dorvdata/Talvo/dorv");
    EXPECT_EQ(Mode(box.Root("/export/dorvdata/Talvo/dorv/kvqadmin")), 0755);
    ExpectLauncher(box.Root("/usr/bin/kelvra"), "/export/dorvdata/Talvo/dorv", "kelvra");
}

// A second installation finds the first through its launcher, removes the registered
// package after asking, replaces the link of the first and succeeds.
TEST_F(SiteInstall, SecondInstallationUpgradesTheFirstFoundThroughItsLauncher) {
    E2E_PRECONDITIONS(box);
    ASSERT_TRUE(box.Mksite(box.Small(SMALL_LIST + std::string("c a.txt\n")).File("a.txt", "first\n")));
    Result first = box.Setup({"install", "/export"});
    ASSERT_EQ(first.status, 0) << first.Both();
    ASSERT_EQ(ReadFile(box.Root("/export/Talvo/dorv/a.txt")), "first\n");

    // The new release of the product.
    fs::remove_all(box.Root("/site"));
    ASSERT_TRUE(box.Mksite(box.Small(SMALL_LIST + std::string("c a.txt\n"), "second").File("a.txt", "second\n")));
    Result second = box.Setup({}, "y\n");
    ASSERT_EQ(second.status, 0) << second.Both();
    size_t question = second.out.find("The following packages must be removed to insure proper installation:\n");
    ASSERT_NE(question, std::string::npos) << second.out;
    size_t yesNo = second.out.find("Do want to continue with the upgrade? [y/n] ", question);
    ASSERT_NE(yesNo, std::string::npos) << second.out;
    EXPECT_LT(second.out.find("MRGWdorv", question), yesNo) << second.out;
    EXPECT_NE(second.out.find("Removal of <MRGWdorv> was successful."), std::string::npos);
    EXPECT_EQ(ReadFile(box.Root("/export/Talvo/dorv/a.txt")), "second\n");
    EXPECT_EQ(LinkTarget(box.Root("/opt/Talvo")), "/export/Talvo");
    EXPECT_EQ(LinkTarget(box.Root("/usr/bin/kelvra-tool")), "/export/Talvo/dorv/kelvra");
    EXPECT_TRUE(Exists(box.Root("/var/sadm/pkg/MRGWdorv/pkginfo")));
    EXPECT_EQ(ReadFile(box.Root("/export/Talvo/dorv/kvqadmin.calls")),
              "kvqadmin -upgrade\nkvqadmin -clean\nkvqadmin -upgrade\nkvqadmin -clean\n");
    std::vector<std::string> commands = LoggedCommands(box.Log());
    EXPECT_TRUE(Has(commands, "rm -f /usr/bin/kelvra-tool")) << Join(commands);
    EXPECT_TRUE(Has(commands, "ln -s /export/Talvo/dorv/kelvra /usr/bin/kelvra-tool")) << Join(commands);
}
