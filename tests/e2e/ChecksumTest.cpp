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

class ChecksummedDiskettes : public ::testing::Test {
protected:
    Box box;
    std::vector<std::string> disks;  // diskettes 1 to 3, and 2 with a damaged piece

    void SetUp() override {
        if (geteuid() != 0 || !HostIsClean())
            return;
        Product p = box.Small(SMALL_LIST + std::string("c a.txt\n")).File("a.txt", "from the diskettes\n");
        std::string probe = box.Scratch("probe");
        ASSERT_TRUE(box.MksiteTo(p, probe));
        long archive = static_cast<long>(fs::file_size(probe + "/pkg_tar.z1"));
        std::string set = box.Scratch("set");
        ASSERT_TRUE(box.MksiteTo(p, set, {"--diskettes", "--piece-size", std::to_string(archive / 3 + 1)}));
        fs::copy(set + "/disk2", set + "/bad2");
        FlipByte(set + "/bad2/pkg_tar.z2");
        disks = {set + "/disk1", set + "/disk2", set + "/disk3", set + "/bad2"};
    }

    Result FromDiskettes(const std::string &input, const std::vector<std::string> &queue) {
        std::vector<std::string> options;
        for (const std::string &d : queue) {
            options.push_back("--diskette");
            options.push_back(d);
        }
        return box.Run({"sh", "-c", "volcheck >/dev/null && exec /floppy/floppy0/setup"}, input, options, "/");
    }
};

TEST_F(ChecksummedDiskettes, ADamagedPieceOnDisketteTwoAsksForItAgain) {
    E2E_PRECONDITIONS(box);
    Result r = FromDiskettes("\n\n\n", {disks[0], disks[3], disks[1], disks[2]});
    ASSERT_EQ(r.status, 0) << r.Both();
    EXPECT_NE(r.err.find("WARNING: pkg_tar.z2 is damaged (checksum mismatch)\n"), std::string::npos) << r.err;
    EXPECT_EQ(Count(r.out, Msg(NLS_ENGLISH, 25, 2)), 2u) << r.out;
    EXPECT_EQ(Count(r.out, Msg(NLS_ENGLISH, 25, 3)), 1u) << r.out;
    EXPECT_EQ(ReadFile(box.Root("/opt/Talvo/dorv/a.txt")), "from the diskettes\n");
}

TEST_F(ChecksummedDiskettes, EndOfInputInsteadOfTheDisketteStopsWithNothingInstalled) {
    E2E_PRECONDITIONS(box);
    Result r = FromDiskettes("\n", {disks[0], disks[3]});
    EXPECT_EQ(r.status, 1) << r.Both();
    EXPECT_NE(r.err.find("WARNING: pkg_tar.z2 is damaged"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("ERROR: unexpected end of input"), std::string::npos) << r.err;
    EXPECT_FALSE(Exists(box.Root("/opt/Talvo")));
    EXPECT_FALSE(Exists(box.Root("/var/sadm/pkg/MRGWdorv")));
}
