// The stand-ins of platform/ as the installer calls them, inside the isolated root:
// the package register (pkgadd, pkginfo, pkgrm), the diskette drive (volcheck, eject)
// and the optional spooler programs.
#include "SandboxRun.h"

using namespace sandbox_test;

namespace {

// The second word of every line: the package instances of a pkginfo listing.
std::vector<std::string> SecondWords(const std::string &text) {
    std::vector<std::string> words;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string first, second;
        if (fields >> first >> second)
            words.push_back(second);
    }
    return words;
}

const char *kPackageDir = "/tmp/TalvoInstall";

}  // namespace

TEST(PackageStandIns, AddListRemoveAsTheInstallerCallsThem) {
    SKIP_UNLESS_ROOT();
    Sandbox box;
    ASSERT_TRUE(box.Ok());
    WriteFile(box.Kept(std::string(kPackageDir) + "/MRGWdorv/pkginfo"),
              "PKG=MRGWdorv\nNAME=\"Talvo printer software\"\nCATEGORY=application\n");
    WriteFile(box.Kept(std::string(kPackageDir) + "/MRGWdorv/reloc/bin/kvtool"), "tool\n");
    // pkgadd and pkgrm must leave standard input to the caller: the line after them is
    // still there to be read.
    Result r = box.Sh("pkginfo; echo \"empty=$?\";"
                      " cd /tmp/TalvoInstall && pkgadd -d /tmp/TalvoInstall MRGWdorv >/dev/null; echo \"add=$?\";"
                      " pkgadd -n -d /tmp/TalvoInstall OTHERpkg >/dev/null; pkginfo;"
                      " pkginfo MRGWdorv >/dev/null; echo \"known=$?\";"
                      " pkgrm OTHERpkg >/dev/null; echo \"rm=$?\"; pkginfo OTHERpkg 2>/dev/null; echo \"gone=$?\";"
                      " read rest; echo \"stdin=$rest\"",
                      {}, "still here\n");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out,
              "empty=0\n"
              "add=0\n"
              "application MRGWdorv       Talvo printer software\n"
              "application OTHERpkg       OTHERpkg\n"
              "known=0\n"
              "rm=0\n"
              "gone=1\n"
              "stdin=still here\n");
    EXPECT_EQ(SecondWords(box.Sh("pkginfo").out), std::vector<std::string>{"MRGWdorv"});
    // Registered, and nothing of the package copied.
    std::vector<std::string> record;
    for (const auto &e : std::filesystem::directory_iterator(box.Kept("/var/sadm/pkg/MRGWdorv")))
        record.push_back(e.path().filename());
    EXPECT_EQ(record, std::vector<std::string>{"pkginfo"});
    EXPECT_FALSE(Exists(box.Kept("/usr/bin/kvtool")));
    EXPECT_FALSE(Exists(box.Kept("/opt/bin/kvtool")));
    EXPECT_FALSE(Exists("/var/sadm/pkg/MRGWdorv"));
}

TEST(PackageStandIns, FailuresAndRebootRequests) {
    SKIP_UNLESS_ROOT();
    Sandbox box;
    ASSERT_TRUE(box.Ok());
    Result r = box.Sh("pkgadd -d /no/such/dir P1 2>/dev/null; echo \"nodir=$?\";"
                      " pkgadd -d /tmp ../escape 2>/dev/null; echo \"badname=$?\";"
                      " pkgrm NOTTHERE 2>/dev/null; echo \"notthere=$?\";"
                      " PLATFORM_PKGADD_STATUS=10 pkgadd -d /tmp REBOOT >/dev/null; echo \"reboot=$?\";"
                      " PLATFORM_PKGADD_STATUS=3 pkgadd -d /tmp FAILED 2>/dev/null; echo \"failed=$?\";"
                      " PLATFORM_PKGRM_STATUS=20 pkgrm REBOOT >/dev/null; echo \"rmreboot=$?\";"
                      " pkgadd -d /tmp KEEP >/dev/null; pkginfo");
    EXPECT_EQ(r.out,
              "nodir=1\nbadname=1\nnotthere=1\nreboot=10\nfailed=3\nrmreboot=20\n"
              "application KEEP           KEEP\n");
    EXPECT_FALSE(Exists(box.Kept("/escape")));
    EXPECT_FALSE(Exists(box.Kept("/var/sadm/escape")));
}

TEST(DisketteStandIns, EmptyDriveHasNoDiskette) {
    SKIP_UNLESS_ROOT();
    Sandbox box;
    ASSERT_TRUE(box.Ok());
    Result r = box.Sh("eject -q 2>/dev/null; echo \"q=$?\"; volcheck; echo \"v=$?\";"
                      " test -e /floppy/floppy0; echo \"shown=$?\"; eject -f; echo \"f=$?\"");
    EXPECT_EQ(r.out, "q=1\nv=1\nshown=1\nf=0\n");
}

TEST(DisketteStandIns, QueuedDiskettesAreInsertedMountedAndEjectedInOrder) {
    SKIP_UNLESS_ROOT();
    Sandbox box;
    ASSERT_TRUE(box.Ok());
    WriteFile(box.Scratch("d1/disks"), "pkg_tar.z1\nend_of_list\n");
    WriteFile(box.Scratch("d1/pkg_tar.z1"), "piece 1\n");
    WriteFile(box.Scratch("d2/pkg_tar.z2"), "piece 2\n");
    Result r = box.Sh("test -e /floppy/floppy0; echo \"before=$?\";"
                      " eject -q >/dev/null; echo \"q=$?\"; test -e /floppy/floppy0; echo \"unmounted=$?\";"
                      " volcheck; echo \"v=$?\"; ls /floppy/floppy0 | tr '\\n' ' '; echo;"
                      " eject -f; echo \"f=$?\"; test -e /floppy/floppy0; echo \"after=$?\";"
                      " volcheck; cat /floppy/floppy0/pkg_tar.z2; eject -f;"
                      " eject -q 2>/dev/null; echo \"last=$?\"",
                      {"--diskette", box.Scratch("d1"), "--diskette", box.Scratch("d2")});
    ASSERT_EQ(r.status, 0) << r.out;
    // A DOS diskette answers to both cases of a name.
    EXPECT_EQ(r.out,
              "before=1\nq=0\nunmounted=1\nv=0\nDISKS PKG_TAR.Z1 disks pkg_tar.z1 \n"
              "f=0\nafter=1\npiece 2\nlast=1\n");
    // Ejected diskettes are kept as they were, without the case links.
    EXPECT_EQ(ReadFile(box.Kept("/var/lib/floppy-sim/ejected/1/pkg_tar.z1")), "piece 1\n");
    EXPECT_FALSE(Exists(box.Kept("/var/lib/floppy-sim/ejected/1/DISKS")));
    EXPECT_EQ(ReadFile(box.Kept("/var/lib/floppy-sim/ejected/2/pkg_tar.z2")), "piece 2\n");
    EXPECT_FALSE(Exists("/floppy"));
}

TEST(DisketteStandIns, WrittenDisketteIsKeptAndBusyDriveRefusesToEject) {
    SKIP_UNLESS_ROOT();
    Sandbox box;
    ASSERT_TRUE(box.Ok());
    WriteFile(box.Scratch("blank/old"), "old\n");
    WriteFile(box.Kept("/var/lib/floppy-sim/busy"), "2\n");
    // The installer's way of writing a diskette: query, mount, empty, copy, eject.
    Result r = box.Sh("eject -q >/dev/null && volcheck && rm -f /floppy/floppy0/* &&"
                      " echo new > /tmp/pkg_tar.z1 && cp -p /tmp/pkg_tar.z1 /floppy/floppy0;"
                      " eject -f 2>/dev/null; echo \"busy1=$?\"; eject -f 2>/dev/null; echo \"busy2=$?\";"
                      " eject -f; echo \"f=$?\"",
                      {"--diskette", box.Scratch("blank")});
    EXPECT_EQ(r.out, "busy1=1\nbusy2=1\nf=0\n");
    EXPECT_EQ(ReadFile(box.Kept("/var/lib/floppy-sim/ejected/1/pkg_tar.z1")), "new\n");
    EXPECT_FALSE(Exists(box.Kept("/var/lib/floppy-sim/ejected/1/old")));
    EXPECT_TRUE(Exists(box.Scratch("blank/old")));  // the host directory was copied
}

TEST(SpoolerStandIns, AbsentUnlessAskedFor) {
    SKIP_UNLESS_ROOT();
    Sandbox box;
    ASSERT_TRUE(box.Ok());
    EXPECT_EQ(box.Sh("command -v lpd || command -v cupsd || echo none").out, "none\n");

    Result lprng = box.Sh("lpd -V 2>&1 | grep -c LPRng; command -v cupsd", {"--with", "lpd", "--with", "cupsd"});
    EXPECT_EQ(lprng.out, "1\n/usr/local/platform/bin/cupsd\n");

    Result bsd = box.Sh("lpd -V 2>&1 | grep -c LPRng", {"--with", "lpd.bsd"});
    EXPECT_EQ(bsd.out, "0\n");
}
