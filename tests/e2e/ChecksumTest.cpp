// Checksummed media: the installer checks every file it copies against "pkg.sums"
// before it changes anything, asks again for a diskette whose piece is damaged, and
// "setup --check" reports a medium without installing.
#include <set>

#include "E2eSupport.h"

using namespace e2e;

namespace {

const std::string kNotChanged = "; the system was not changed\n";

// Changes one byte in the middle of a file.
void FlipByte(const std::string &path) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    auto at = static_cast<std::streamoff>(fs::file_size(path) / 2);
    char c = 0;
    f.seekg(at);
    f.get(c);
    f.seekp(at);
    f.put(static_cast<char>(c ^ 0x20));
}

// Every path the isolated root has changed so far, relative to it.
std::set<std::string> ChangedPaths(const Box &box) {
    std::set<std::string> paths;
    const std::string root = box.Root("");
    for (const auto &e : fs::recursive_directory_iterator(root))
        paths.insert(e.path().string().substr(root.size()));
    return paths;
}

}  // namespace

TEST(ChecksummedSite, AFlippedByteInAPieceStopsTheRunBeforeAnyChange) {
    Box box;
    E2E_PRECONDITIONS(box);
    ASSERT_TRUE(box.Mksite(box.Small(SMALL_LIST)));
    // A conflicting package and an earlier daemon: what a run would change first.
    WriteFile(box.Root("/var/sadm/pkg/MRGWdorv/pkginfo"), "PKG=MRGWdorv\nPKGINST=MRGWdorv\nNAME=old\n");
    WriteFile(box.Root("/opt/Talvo/dorv/KelvraD"), "#!/bin/sh\n", 0755);
    FlipByte(box.Root("/site/pkg_tar.z1"));
    ASSERT_EQ(box.Run({"true"}).status, 0);  // the runner's own entries
    const std::set<std::string> before = ChangedPaths(box);

    Result r = box.Setup({}, "y\ny\ny\n");
    EXPECT_EQ(r.status, 1) << r.Both();
    EXPECT_NE(r.err.find("ERROR: pkg_tar.z1 is damaged (checksum mismatch)" + kNotChanged), std::string::npos)
        << r.err;
    // Only the work area and the run's log are new.
    for (const std::string &p : ChangedPaths(box)) {
        bool own = before.count(p) || p.rfind("/tmp/TalvoInstall", 0) == 0 || p == "/tmp/setup.log";
        EXPECT_TRUE(own) << p;
    }
    EXPECT_TRUE(Exists(box.Root("/var/sadm/pkg/MRGWdorv/pkginfo")));
    EXPECT_TRUE(Exists(box.Root("/opt/Talvo/dorv/KelvraD")));
}

TEST(ChecksummedSite, AWholeSiteAndOneWithoutAListInstallAlike) {
    Box with, without;
    E2E_PRECONDITIONS(with);
    ASSERT_TRUE(without.Ok());
    ASSERT_TRUE(with.Mksite(with.Small(SMALL_LIST)));
    ASSERT_TRUE(without.Mksite(without.Small(SMALL_LIST)));
    ASSERT_TRUE(fs::remove(without.Root("/site/pkg.sums")));
    Result a = with.Setup({});
    Result b = without.Setup({});
    ASSERT_EQ(a.status, 0) << a.Both();
    ASSERT_EQ(b.status, 0) << b.Both();
    EXPECT_EQ(a.out, b.out);
    EXPECT_EQ(a.err, b.err);
    EXPECT_EQ(LoggedCommands(with.Log()), LoggedCommands(without.Log()));
    EXPECT_TRUE(Exists(without.Root("/opt/Talvo/dorv/kvqadmin.calls")));
}

TEST(ChecksummedSite, CheckReportsEveryFileAndInstallsNothing) {
    Box box;
    E2E_PRECONDITIONS(box);
    ASSERT_TRUE(box.Mksite(box.Small(SMALL_LIST)));
    Result whole = box.Setup({"--check"});
    EXPECT_EQ(whole.status, 0) << whole.Both();
    EXPECT_EQ(whole.out, "disks: OK\nisize: OK\ntsize: OK\nsetup: OK\nsetup.hlp: OK\npkg_tar.z1: OK\n");

    FlipByte(box.Root("/site/pkg_tar.z1"));
    ASSERT_TRUE(fs::remove(box.Root("/site/setup.hlp")));
    Result damaged = box.Setup({"--check"});
    EXPECT_EQ(damaged.status, 1) << damaged.Both();
    EXPECT_EQ(damaged.out, "disks: OK\nisize: OK\ntsize: OK\nsetup: OK\nsetup.hlp: missing\n"
                           "pkg_tar.z1: damaged (checksum mismatch)\n");
    EXPECT_FALSE(Exists(box.Root("/opt/Talvo")));
    EXPECT_FALSE(Exists(box.Root("/tmp/TalvoInstall")));

    // An installation from it names the first bad file.
    Result install = box.Setup({});
    EXPECT_EQ(install.status, 1);
    EXPECT_NE(install.err.find("ERROR: setup.hlp is missing" + kNotChanged), std::string::npos) << install.err;
}

TEST(ChecksummedSite, AListThatDoesNotFitTheMediaStopsTheRun) {
    Box box;
    E2E_PRECONDITIONS(box);
    ASSERT_TRUE(box.Mksite(box.Small(SMALL_LIST)));
    const std::string sums = box.Root("/site/pkg.sums"), whole = ReadFile(sums);
    const std::string isize = whole.substr(whole.find("  isize\n") - 64, 64 + 8);
    struct Case {
        std::string list, error;
    } cases[] = {
        {whole + "junk\n", "ERROR: /site/pkg.sums is damaged (not a list of checksums)\n"},
        {whole.substr(0, whole.find(isize)) + whole.substr(whole.find(isize) + isize.size()),
         "ERROR: isize is not listed in pkg.sums" + kNotChanged},
        {whole + std::string(64, '0') + "  pkg_tar.z2\n", "ERROR: pkg_tar.z2 is missing" + kNotChanged},
    };
    for (const Case &c : cases) {
        WriteFile(sums, c.list);
        Result r = box.Setup({}, "y\ny\ny\n");
        EXPECT_EQ(r.status, 1) << r.Both();
        EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
        EXPECT_FALSE(Exists(box.Root("/opt/Talvo")));
    }
}

class ChecksummedDiskettes : public ::testing::Test {
protected:
    Box box;
    std::vector<std::string> disks;  // diskettes 1 to 3, and 2 with a damaged piece

    void SetUp() override {
        if (geteuid() != 0 || !HostIsClean())
            return;
        Product p = box.Small(SMALL_LIST + std::string("c a.txt\n")).File("a.txt", "from the diskettes\n");
        disks = ThreeDiskettes(box, p);
        ASSERT_EQ(disks.size(), 3u);
        std::string bad = box.Scratch("bad2");
        fs::copy(disks[1], bad);
        FlipByte(bad + "/pkg_tar.z2");
        disks.push_back(bad);
    }
};

TEST_F(ChecksummedDiskettes, ADamagedPieceOnDisketteTwoAsksForItAgain) {
    E2E_PRECONDITIONS(box);
    Result r = FromDiskette(box, "\n\n\n", {disks[0], disks[3], disks[1], disks[2]});
    ASSERT_EQ(r.status, 0) << r.Both();
    EXPECT_NE(r.err.find("WARNING: pkg_tar.z2 is damaged (checksum mismatch)\n"), std::string::npos) << r.err;
    EXPECT_EQ(Count(r.out, Msg(NLS_ENGLISH, 25, 2)), 2u) << r.out;
    EXPECT_EQ(Count(r.out, Msg(NLS_ENGLISH, 25, 3)), 1u) << r.out;
    EXPECT_EQ(ReadFile(box.Root("/opt/Talvo/dorv/a.txt")), "from the diskettes\n");
}

TEST_F(ChecksummedDiskettes, EndOfInputInsteadOfTheDisketteStopsWithNothingInstalled) {
    E2E_PRECONDITIONS(box);
    Result r = FromDiskette(box, "\n", {disks[0], disks[3]});
    EXPECT_EQ(r.status, 1) << r.Both();
    EXPECT_NE(r.err.find("WARNING: pkg_tar.z2 is damaged"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("ERROR: unexpected end of input"), std::string::npos) << r.err;
    EXPECT_FALSE(Exists(box.Root("/opt/Talvo")));
    EXPECT_FALSE(Exists(box.Root("/var/sadm/pkg/MRGWdorv")));
}
