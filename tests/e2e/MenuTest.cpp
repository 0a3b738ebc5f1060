// "setup menu" on a terminal (the runner's pseudo-terminal): the main menu's screen,
// installing from it, creating an installation site and a diskette set from what was
// read, and leaving with e.
#include "E2eSupport.h"

using namespace e2e;

namespace {

const std::string TITLE = "Install Print Driver and Utilities";

// What the terminal received, with the line ends the terminal driver adds removed.
std::string Screen(const std::string &out) {
    std::string text;
    for (size_t i = 0; i < out.size(); ++i)
        if (!(out[i] == '\r' && i + 1 < out.size() && out[i + 1] == '\n'))
            text += out[i];
    return text;
}

class SetupMenu : public ::testing::Test {
protected:
    Box box;
};

}  // namespace

TEST_F(SetupMenu, ShowsTheMainMenuAndInstallsFromItsFirstItem) {
    E2E_PRECONDITIONS(box);
    ASSERT_TRUE(box.Mksite(box.Small(SMALL_LIST)));
    Result r = box.Setup({"menu"}, "1\n\ny\n", {"--pty"});
    ASSERT_EQ(r.status, 0) << r.Both();
    std::string screen = Screen(r.out);

    // The menu: a form feed, the title centred on 80 columns, the numbered items and
    // the exit letter double-spaced, the empty item, then the prompt.
    const std::string menu = "\f\n" + std::string((80 - TITLE.size()) / 2, ' ') + TITLE +
                             "\n\n"
                             " 1) Install Driver and Utilities \n\n"
                             " 2) Create an installation site. \n\n"
                             " 3) Create installation diskettes. \n\n"
                             " e) Exit \n\n"
                             " \n\n";
    size_t at = screen.find('\f');
    ASSERT_NE(at, std::string::npos) << screen;
    EXPECT_EQ(screen.substr(at, menu.size()), menu);
    EXPECT_EQ(Count(screen, TITLE), 1u);

    // No root was named: the installation asks for the directory, proposing /opt.
    size_t ask = screen.find(Msg(NLS_ENGLISH, 7, "/opt"), at);
    ASSERT_NE(ask, std::string::npos) << screen;
    for (int n : {10, 11, 12, 13, 14})
        EXPECT_NE(screen.find(NLS_ENGLISH[n], at), std::string::npos) << n;
    EXPECT_NE(screen.find(Msg(NLS_ENGLISH, 8, "/opt") + "? [y/n] ", ask), std::string::npos) << screen;
    EXPECT_EQ(ReadFile(box.Root("/opt/Talvo/dorv/.kv_cfg")), " V5 ");
    EXPECT_EQ(ReadFile(box.Root("/opt/Talvo/dorv/kvqadmin.calls")), "kvqadmin -upgrade\nkvqadmin -clean\n");
    EXPECT_FALSE(Exists(box.Root("/tmp/TalvoInstall")));
}

TEST_F(SetupMenu, InstallOffersTheDirectoryOfTheExistingInstallation) {
    E2E_PRECONDITIONS(box);
    WriteFile(box.Root("/usr/bin/kelvra"), "#!/bin/sh\ncd /export/Talvo/dorv\nexec /export/Talvo/dorv/kelvra $*\n", 0755);
    ASSERT_TRUE(box.Mksite(box.Small(SMALL_LIST)));
    Result r = box.Setup({"menu"}, "1\ny\n", {"--pty"});
    ASSERT_EQ(r.status, 0) << r.Both();
    std::string screen = Screen(r.out);
    size_t at = screen.find(Msg(NLS_ENGLISH, 42, "/export"));
    ASSERT_NE(at, std::string::npos) << screen;
    EXPECT_NE(screen.find(Msg(NLS_ENGLISH, 7, "/export") + "? [y/n] ", at), std::string::npos) << screen;
    EXPECT_EQ(Mode(box.Root("/export/Talvo/dorv/kvqadmin")), 0755);
    EXPECT_EQ(LinkTarget(box.Root("/opt/Talvo")), "/export/Talvo");
}

TEST_F(SetupMenu, CreatesASiteAndADisketteSetThenLeavesWithE) {
    E2E_PRECONDITIONS(box);
    Product p = box.Small(SMALL_LIST + std::string("c a.txt\n")).File("a.txt", "made from the menu\n");
    std::string probe = box.Scratch("probe");
    ASSERT_TRUE(box.MksiteTo(p, probe));
    long archive = static_cast<long>(fs::file_size(probe + "/pkg_tar.z1"));
    ASSERT_TRUE(box.Mksite(p, "/site", {"--piece-size", std::to_string(archive / 2 + 1)}));
    const std::string site = box.Root("/site");
    ASSERT_EQ(ReadFile(site + "/disks"),
              "disks installf.rom isize tsize setup setup.hlp pkg_tar.z1\npkg_tar.z2\nend_of_list\n");

    // Two blank diskettes, one of them holding an old file.
    WriteFile(box.Scratch("blank1/old.txt"), "old\n");
    fs::create_directories(box.Scratch("blank2"));
    Result r = box.Setup({"menu"}, "2\n/export\n\ny\n3\ne\n",
                         {"--pty", "--diskette", box.Scratch("blank1"), "--diskette", box.Scratch("blank2")});
    ASSERT_EQ(r.status, 0) << r.Both();
    std::string screen = Screen(r.out);
    EXPECT_EQ(Count(screen, TITLE), 3u) << screen;  // shown again after each action
    for (int n : {10, 11, 17, 18})
        EXPECT_NE(screen.find(NLS_ENGLISH[n]), std::string::npos) << n;
    EXPECT_NE(screen.find(Msg(NLS_ENGLISH, 22, 1)), std::string::npos) << screen;
    EXPECT_NE(screen.find(Msg(NLS_ENGLISH, 22, 2)), std::string::npos) << screen;

    // The new site: every file of the medium, marked as a site.
    const std::string made = box.Root("/export/SolarisDorvInstall");
    EXPECT_EQ(Mode(made), 0755);
    for (const char *name : {"disks", "isize", "tsize", "setup", "setup.hlp", "pkg_tar.z1", "pkg_tar.z2"})
        EXPECT_EQ(ReadFile(made + "/" + name), ReadFile(site + "/" + name)) << name;
    EXPECT_EQ(ReadFile(made + "/installf.rom"), "installation site");
    EXPECT_EQ(ReadFile(made + "/pkg.sums"), ReadFile(site + "/pkg.sums"));  // the same files

    // The diskettes: emptied first, then the files of their line; marked as diskettes.
    const std::string ejected = box.Root("/var/lib/floppy-sim/ejected");
    EXPECT_FALSE(Exists(ejected + "/1/old.txt"));
    for (const char *name : {"disks", "isize", "tsize", "setup", "setup.hlp", "pkg_tar.z1"})
        EXPECT_EQ(ReadFile(ejected + "/1/" + name), ReadFile(site + "/" + name)) << name;
    EXPECT_EQ(ReadFile(ejected + "/1/installf.rom"), "diskette");
    EXPECT_EQ(ReadFile(ejected + "/1/pkg.sums"), ReadFile(site + "/pkg.sums"));  // the whole set's
    std::vector<std::string> second;
    for (const auto &e : fs::directory_iterator(ejected + "/2"))
        second.push_back(e.path().filename().string());
    EXPECT_EQ(second, std::vector<std::string>{"pkg_tar.z2"});

    // Nothing was installed, and e left through the clean-up.
    EXPECT_FALSE(Exists(box.Root("/opt/Talvo")));
    EXPECT_FALSE(Exists(box.Root("/tmp/TalvoInstall")));

    // The new site installs.
    Result install = box.Run({"./setup"}, "", {}, "/export/SolarisDorvInstall");
    ASSERT_EQ(install.status, 0) << install.Both();
    EXPECT_EQ(ReadFile(box.Root("/opt/Talvo/dorv/a.txt")), "made from the menu\n");
    EXPECT_TRUE(Exists(made + "/setup"));
}

TEST_F(SetupMenu, HelpKeyShowsTheMediaHelpFileAndWithoutItTheMenuIsUnchanged) {
    E2E_PRECONDITIONS(box);
    ASSERT_TRUE(box.Mksite(box.Small(SMALL_LIST)));
    Result r = box.Setup({"menu"}, "h\n1\nb\ne\ne\n", {"--pty"});
    ASSERT_EQ(r.status, 0) << r.Both();
    std::string screen = Screen(r.out);
    size_t prompt = screen.find("\nEnter a number or h for help: ");
    ASSERT_NE(prompt, std::string::npos) << screen;
    size_t help = screen.find("Talvo Help", prompt);
    ASSERT_NE(help, std::string::npos) << screen;
    size_t page = screen.find("Run setup as root.", help);
    EXPECT_NE(page, std::string::npos) << screen;
    EXPECT_NE(screen.find(" 1) What the installation does and changes", help), std::string::npos) << screen;
    EXPECT_NE(screen.find(" e) Exit Help", help), std::string::npos) << screen;
    EXPECT_NE(screen.find("Enter a number or h for help: ", page), std::string::npos) << screen;

    // media without the help file: neither beside the installer nor in the media list
    // (nor a checksum list that names it)
    fs::remove(box.Root("/site/setup.hlp"));
    fs::remove(box.Root("/site/pkg.sums"));
    std::string disks = ReadFile(box.Root("/site/disks"));
    disks.erase(disks.find(" setup.hlp"), 10);
    WriteFile(box.Root("/site/disks"), disks);
    Result bare = box.Setup({"menu"}, "h\ne\n", {"--pty"});
    ASSERT_EQ(bare.status, 0) << bare.Both();
    EXPECT_NE(Screen(bare.out).find("\nEnter a number: "), std::string::npos) << bare.out;
    EXPECT_EQ(Screen(bare.out).find("Talvo Help"), std::string::npos) << bare.out;
}
