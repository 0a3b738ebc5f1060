// Reading diskettes and sites into the work area, joining the archive, and writing
// new sites and diskette sets, run in-process (InstallerTestEnv.h).
#include "InstallerTestEnv.h"

using namespace installer_test;

namespace {

// The SHA-256 of "abc", the text every summed file of these tests holds.
const std::string kAbcSum = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

// Work-area files holding "abc".
void WriteAbc(const std::string &dir, std::initializer_list<const char *> names) {
    for (const char *name : names)
        WriteText(dir + "/" + name, "abc");
}

}  // namespace

// ---- GenZFile --------------------------------------------------------------------

TEST(GenZFile, JoinsTheUpperCasePiecesOfADosListInItsOrder) {
    Env env;
    WriteText(env.Work + "/DISKS", "pkg_tar.z2 setup\npkg_tar.z1\npkg_tar.z3\nend_of_list\npkg_tar.z4\n");
    for (const char *piece : {"PKG_TAR.Z1", "PKG_TAR.Z2", "PKG_TAR.Z4"})
        WriteText(env.Work + "/" + piece, "piece\n");
    EXPECT_EQ(0, GenZFile());
    const std::string &w = env.Work;
    // The third piece is missing and the fourth lies past the end of the list.
    EXPECT_EQ((std::vector<RowRun>{{-CMD_CAT, SYSCMD_FATAL, w + "/PKG_TAR.Z2 >> " + w + "/SolarisDorv.tar.Z"},
                                   {-CMD_CAT, SYSCMD_FATAL, w + "/PKG_TAR.Z1 >> " + w + "/SolarisDorv.tar.Z"}}),
              env.Runs);
}

TEST(GenZFile, AWorkAreaWithoutAListStopsWithStatusOne) {
    Env env;
    Outcome r = Capture([] { return GenZFile(); });
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("ERROR: " + Msg<MSG_CANT_OPEN_SITE_DISKS>("Talvo") + "\n", r.err);
    EXPECT_TRUE(env.Runs.empty());
}

// ---- InstallFromDiskette -------------------------------------------------------------

TEST(InstallFromDiskette, ReadsADosSetAskingForEachMissingDiskette) {
    Env env;
    WriteText(env.Floppy + "/DISKS", "pkg_tar.z1 setup\npkg_tar.z2\nend_of_list\n");
    WriteText(env.Floppy + "/PKG_TAR.Z1", "piece\n");
    env.Output[CMD_WHOAMI] = "nobody\n";  // the installation itself is refused at once
    env.Results[CMD_EJECT] = {1};        // the drive is busy once
    env.OnRun = [&](const RowRun &run) {
        if (run.row == CMD_VOLCHECK)  // the user put in the second diskette
            WriteText(env.Floppy + "/PKG_TAR.Z2", "piece\n");
    };
    // A link planted at the help file's name in the temporary directory.
    WriteText(env.Root + "/victim", "precious\n");
    std::filesystem::create_symlink(env.Root + "/victim", env.Tmp + "/setup.hlp");
    env.Answers("\n\n");
    Outcome r = Capture([] { return InstallFromDiskette(); });
    ASSERT_EQ(-1, r.status) << r.out << r.err;
    EXPECT_FALSE(std::filesystem::is_symlink(env.Tmp + "/setup.hlp"));  // the copy's target is a new file
    EXPECT_TRUE(std::filesystem::is_regular_file(env.Tmp + "/setup.hlp"));
    EXPECT_EQ("precious\n", ReadFileText(env.Root + "/victim"));
    EXPECT_EQ(std::filesystem::perms::owner_all, std::filesystem::status(env.Work).permissions());
    EXPECT_EQ(1, r.result);
    const std::string &f = env.Floppy;
    EXPECT_EQ((std::vector<RowRun>{{CMD_CP, SYSCMD_FATAL, f + "/setup.hlp ."},
                                   {CMD_CP, SYSCMD_FATAL, f + "/PKG_TAR.Z1 TalvoInstall"},
                                   {CMD_CP, SYSCMD_FATAL, f + "/SETUP TalvoInstall"},
                                   {CMD_EJECT, SYSCMD_QUIET, " >> " + env.Work + "/Msg"},
                                   {CMD_EJECT, SYSCMD_QUIET, " >> " + env.Work + "/Msg"},
                                   {CMD_VOLCHECK, SYSCMD_QUIET, ""},
                                   {CMD_CP, SYSCMD_FATAL, f + "/PKG_TAR.Z2 TalvoInstall"},
                                   {CMD_EJECT, SYSCMD_QUIET, " >> " + env.Work + "/Msg"}}),
              env.RunsOf({CMD_CP, CMD_EJECT, CMD_VOLCHECK}));
    EXPECT_EQ(Msg<MSG_READING_DISKETTE>(1) + Msg<MSG_READING_DISKETTE>(2) + Msg<MSG_CANT_OPEN>(f.c_str()) +
                  Msg<MSG_INSERT_DISKETTE_NL>(2) + Msg<MSG_NOT_ROOT>("nobody", "setuptest"),
              r.out);
    EXPECT_EQ(env.Tmp, std::filesystem::current_path().string());
}

TEST(InstallFromDiskette, ADriveWithoutAListStopsWithStatusOne) {
    Env env;
    Outcome r = Capture([] { return InstallFromDiskette(); });
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(Msg<MSG_NO_DISKETTE_0>(), r.err);
    EXPECT_TRUE(env.Runs.empty());
}

// ---- InstallFromSite -------------------------------------------------------------------

TEST(InstallFromSite, CopiesTheListedFilesAndKeepsAnInstallerInTheWorkAreasParent) {
    Env env;
    WriteText(env.Site + "/disks", "pkg_tar.z1 setup\n\npkg_tar.z2 end_of_list setup.hlp\nend_of_list\nisize\n");
    // Leftovers: the help file of an earlier run, and a link someone planted.
    WriteText(env.Tmp + "/setup.hlp", "help\n");
    std::filesystem::create_symlink(env.Site + "/disks", env.Tmp + "/setup");
    env.Output[CMD_WHOAMI] = "nobody\n";
    EXPECT_EQ(1, Capture([] { return InstallFromSite(); }).result);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(env.Tmp + "/setup")));
    EXPECT_TRUE(std::filesystem::exists(env.Site + "/disks"));
    const std::string s = env.Site, w = env.Work;
    EXPECT_EQ((std::vector<RowRun>{{CMD_RM, SYSCMD_QUIET, " " + env.Tmp + "/setup.hlp"},
                                   {CMD_CP, SYSCMD_FATAL, s + "/pkg_tar.z1 " + w},
                                   {CMD_CP, SYSCMD_FATAL, s + "/setup " + w},
                                   {CMD_CP, SYSCMD_FATAL, s + "/pkg_tar.z2 " + w}}),
              env.RunsOf({CMD_RM, CMD_CP}));

    // A work area made inside the site itself leaves the installer there alone.
    env.Runs.clear();
    pTmpDir = env.Site.data();
    EXPECT_EQ(1, Capture([] { return InstallFromSite(); }).result);
    EXPECT_TRUE(env.RunsOf(CMD_RM).empty());
}

// ---- GenInstallSite ---------------------------------------------------------------------

TEST(GenInstallSite, CopiesTheWorkAreaIntoANewSiteMarkedAsSuchWithItsChecksums) {
    Env env;
    WriteText(env.Work + "/disks", "pkg_tar.z1 setup installf.rom\npkg_tar.z2\nend_of_list\n");
    WriteAbc(env.Work, {"pkg_tar.z1", "setup", "pkg_tar.z2", "installf.rom"});
    const std::string parent = env.Root + "/sites", site = parent + "/SolarisDorvInstall";
    env.Answers(parent + "\n\ny\n");
    Outcome r = Capture([] { return GenInstallSite(); });
    ASSERT_EQ(0, r.result) << r.out << r.err;
    const std::string &w = env.Work;
    // The missing parent is made as asked; the site itself is a new directory.
    EXPECT_EQ((std::vector<RowRun>{{CMD_MKDIR, SYSCMD_FATAL, parent},
                                   {CMD_CP, SYSCMD_FATAL, w + "/pkg_tar.z1 " + site},
                                   {CMD_CP, SYSCMD_FATAL, w + "/setup " + site},
                                   {CMD_CP, SYSCMD_FATAL, w + "/installf.rom " + site},
                                   {CMD_CP, SYSCMD_FATAL, w + "/pkg_tar.z2 " + site}}),
              env.Runs);
    EXPECT_EQ("installation site", ReadFileText(site + "/installf.rom"));
    // Every file of the list but the marker, in the list's order.
    EXPECT_EQ(kAbcSum + "  pkg_tar.z1\n" + kAbcSum + "  setup\n" + kAbcSum + "  pkg_tar.z2\n",
              ReadFileText(site + "/pkg.sums"));
    EXPECT_EQ(std::filesystem::perms(0755), std::filesystem::status(site).permissions());
}

TEST(GenInstallSite, AnExistingSiteWritableByOthersIsRefusedUntouched) {
    Env env;
    WriteText(env.Work + "/disks", "pkg_tar.z1\nend_of_list\n");
    const std::string site = env.Root + "/SolarisDorvInstall";
    std::filesystem::create_directory(site);
    std::filesystem::permissions(site, std::filesystem::perms::all);
    env.Answers(env.Root + "\n\ny\n");
    Outcome r = Capture([] { return GenInstallSite(); });
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("ERROR: " + site + " exists and is not a safe directory\n", r.err);
    EXPECT_TRUE(env.Runs.empty());
    EXPECT_EQ(std::filesystem::perms::all, std::filesystem::status(site).permissions());
}

TEST(GenInstallSite, AnExistingSafeSiteLosesPlantedLinksAndIsWrittenFresh) {
    Env env;
    WriteText(env.Work + "/disks", "pkg_tar.z1 setup\nend_of_list\n");
    WriteAbc(env.Work, {"pkg_tar.z1", "setup"});
    const std::string site = env.Root + "/SolarisDorvInstall", victim = env.Root + "/victim";
    std::filesystem::create_directory(site);
    std::filesystem::permissions(site, std::filesystem::perms(0755));
    WriteText(victim, "precious\n");
    for (const char *name : {"setup", "installf.rom", "pkg.sums"})
        std::filesystem::create_symlink(victim, site + "/" + name);
    env.Answers(env.Root + "\n\ny\n");
    Outcome r = Capture([] { return GenInstallSite(); });
    ASSERT_EQ(-1, r.status) << r.err;
    EXPECT_EQ(2u, env.RunsOf(CMD_CP).size());
    EXPECT_FALSE(std::filesystem::is_symlink(site + "/setup"));
    EXPECT_FALSE(std::filesystem::is_symlink(site + "/installf.rom"));
    EXPECT_FALSE(std::filesystem::is_symlink(site + "/pkg.sums"));
    EXPECT_EQ("installation site", ReadFileText(site + "/installf.rom"));
    EXPECT_EQ("precious\n", ReadFileText(victim));
}

TEST(GenInstallSite, DecliningTheDirectoryWritesNothing) {
    Env env;
    WriteText(env.Work + "/disks", "pkg_tar.z1\nend_of_list\n");
    env.Answers("\nn\n");
    EXPECT_EQ(0, Capture([] { return GenInstallSite(); }).result);
    EXPECT_TRUE(env.Runs.empty());
}

// ---- GenInstallDisks ----------------------------------------------------------------------

TEST(GenInstallDisks, WritesOneEmptiedDiskettePerLineAfterMarkingTheSet) {
    Env env;
    WriteText(env.Work + "/disks", "pkg_tar.z1 setup\npkg_tar.z2\nend_of_list\n");
    WriteAbc(env.Work, {"pkg_tar.z1", "setup", "pkg_tar.z2"});
    WriteText(env.Work + "/installf.rom", "installation site");
    env.Results[CMD_EJECT_Q] = {1};  // no diskette in the drive at first
    env.Answers("\n");
    Outcome r = Capture([] { return GenInstallDisks(); });
    ASSERT_EQ(0, r.result) << r.out << r.err;
    const std::string &w = env.Work, f = env.Floppy, eject = " >> " + w + "/Msg";
    std::vector<RowRun> disk1 = {{CMD_EJECT_Q, SYSCMD_WARN, ""},
                                 {CMD_EJECT_Q, SYSCMD_WARN, ""},
                                 {-CMD_VOLCHECK, SYSCMD_QUIET, ""},
                                 {-CMD_RM, SYSCMD_QUIET, f + "/*"},
                                 {CMD_CP, SYSCMD_FATAL, w + "/pkg_tar.z1 " + f},
                                 {CMD_CP, SYSCMD_FATAL, w + "/setup " + f},
                                 {CMD_CP, SYSCMD_FATAL, w + "/pkg.sums " + f},  // the whole set's list
                                 {CMD_EJECT, SYSCMD_QUIET, eject}};
    std::vector<RowRun> disk2 = {{CMD_EJECT_Q, SYSCMD_WARN, ""},
                                 {-CMD_VOLCHECK, SYSCMD_QUIET, ""},
                                 {-CMD_RM, SYSCMD_QUIET, f + "/*"},
                                 {CMD_CP, SYSCMD_FATAL, w + "/pkg_tar.z2 " + f},
                                 {CMD_EJECT, SYSCMD_QUIET, eject}};
    disk1.insert(disk1.end(), disk2.begin(), disk2.end());
    EXPECT_EQ(disk1, env.Runs);
    EXPECT_EQ(Msg<MSG_CREATING_DISKETTE>(1) + Msg<MSG_INSERT_DOS_DISKETTE>(1) + Msg<MSG_CREATING_DISKETTE>(2), r.out);
    EXPECT_EQ("diskette", ReadFileText(w + "/installf.rom"));
    EXPECT_EQ(kAbcSum + "  pkg_tar.z1\n" + kAbcSum + "  setup\n" + kAbcSum + "  pkg_tar.z2\n",
              ReadFileText(w + "/pkg.sums"));
    EXPECT_EQ(0, SysCmdWarnings) << "waiting for a diskette is no failed command";
}

// ---- CheckMedia ---------------------------------------------------------------------------

TEST(CheckMedia, OnADisketteChecksTheFilesInTheDriveAndPassesOverTheOthers) {
    Env env;
    WriteText(env.Site + "/installf.rom", "diskette");
    WriteAbc(env.Floppy, {"disks", "PKG_TAR.Z1"});  // a DOS diskette shows upper-case names
    WriteText(env.Floppy + "/pkg.sums",
              kAbcSum + "  disks\n" + kAbcSum + "  pkg_tar.z1\n" + kAbcSum + "  pkg_tar.z2\n");
    Outcome r = Capture([] { return CheckMedia(); });
    EXPECT_EQ(0, r.result) << r.err;
    EXPECT_EQ("disks: OK\npkg_tar.z1: OK\npkg_tar.z2: not on this diskette\n", r.out);

    WriteText(env.Floppy + "/PKG_TAR.Z1", "abd");
    r = Capture([] { return CheckMedia(); });
    EXPECT_EQ(1, r.result);
    EXPECT_TRUE(Has(r.out, "pkg_tar.z1: damaged (checksum mismatch)\n")) << r.out;
    EXPECT_TRUE(env.Runs.empty());
}

TEST(CheckMedia, AMediumWithoutAListFails) {
    Env env;
    WriteText(env.Site + "/installf.rom", "installation site");
    Outcome r = Capture([] { return CheckMedia(); });
    EXPECT_EQ(1, r.result);
    EXPECT_EQ("ERROR: " + env.Site + " holds no pkg.sums; nothing was checked\n", r.err);
}
