// mksite through its command line, in a private scratch directory: the piece size,
// the media list the installer can read, the first diskette and where the result
// may go. Every refusal leaves the scratch directory as it was.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr long kDisketteBytes = 1457664;
constexpr long kListLimit = 4095;

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class Mksite : public ::testing::Test {
protected:
    std::string root, product, err;

    void SetUp() override {
        char tmpl[] = "/tmp/mksite.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        product = root + "/product";
        fs::create_directories(product + "/sub");
        std::ofstream(product + "/pkg.list") << "c a.bin\n";
        // random bytes do not compress, so the archive is a few kilobytes
        std::ifstream random("/dev/urandom", std::ios::binary);
        std::string bytes(3000, '\0');
        random.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::ofstream(product + "/a.bin", std::ios::binary) << bytes;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    // Runs mksite with the options over the product into out; its exit status.
    // A non-empty path goes before the PATH it searches.
    int Run(const std::vector<std::string> &options, const std::string &out, const std::string &path = "") {
        std::string cmd = (path.empty() ? "" : "PATH='" + path + "':\"$PATH\" ") + BINARY_DIR + "/mksite";
        for (const std::string &o : options)
            cmd += " '" + o + "'";
        cmd += " '" + product + "' '" + out + "' >/dev/null 2>'" + root + "/err'";
        int status = system(cmd.c_str());
        err = ReadFile(root + "/err");
        fs::remove(root + "/err");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // The names in a directory.
    static std::set<std::string> Entries(const std::string &dir) {
        std::set<std::string> names;
        for (const auto &e : fs::directory_iterator(dir))
            names.insert(e.path().filename().string());
        return names;
    }
};

TEST_F(Mksite, APieceSizeAboveTheArchiveKeepsItOnePiece) {
    ASSERT_EQ(Run({"--piece-size", "100000000000"}, root + "/site"), 0) << err;
    std::string list = ReadFile(root + "/site/disks");
    EXPECT_NE(list.find("pkg_tar.z1\n"), std::string::npos) << list;
    EXPECT_EQ(list.find("pkg_tar.z2"), std::string::npos) << list;
    // the piece is the whole compressed archive of the product
    std::string piece = root + "/site/pkg_tar.z1";
    std::string listing = root + "/listing";
    ASSERT_EQ(system(("uncompress -c <'" + piece + "' | tar -tf - >'" + listing + "'").c_str()), 0);
    EXPECT_NE(ReadFile(listing).find("./a.bin"), std::string::npos);
}

TEST_F(Mksite, APieceSizeBelowOneIsRefused) {
    EXPECT_EQ(Run({"--piece-size", "0"}, root + "/site"), 1);
    EXPECT_NE(err.find("piece size"), std::string::npos) << err;
    EXPECT_EQ(Entries(root), (std::set<std::string>{"product"}));
}

TEST_F(Mksite, APieceSizeWhoseMediaListIsTooLongIsRefusedNamingTheSmallestThatWorks) {
    ASSERT_EQ(Run({"--piece-size", "1"}, root + "/site"), 1);
    const std::string lead = "the smallest workable piece size is ";
    size_t at = err.find(lead);
    ASSERT_NE(at, std::string::npos) << err;
    long smallest = std::stol(err.substr(at + lead.size()));
    ASSERT_GT(smallest, 1);
    // the refusal happens after packing: nothing of that work is left behind
    EXPECT_EQ(Entries(root), (std::set<std::string>{"product"}));

    EXPECT_EQ(Run({"--piece-size", std::to_string(smallest - 1)}, root + "/site"), 1) << err;
    ASSERT_EQ(Run({"--piece-size", std::to_string(smallest)}, root + "/site"), 0) << err;
    std::string list = ReadFile(root + "/site/disks");
    EXPECT_LE(static_cast<long>(list.size()), kListLimit);
    EXPECT_EQ(list.substr(list.size() - 13), "\nend_of_list\n");
}

TEST_F(Mksite, TheInstallerGoesOntoDiskettesWithoutDebugInformation) {
    const std::string debug = ".debug_info";
    if (ReadFile(std::string(BINARY_DIR) + "/setup").find(debug) == std::string::npos)
        GTEST_SKIP() << "the installer was built without debug information";
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitized installer does not fit a diskette";
#endif
    ASSERT_EQ(Run({"--diskettes"}, root + "/set"), 0) << err;
    std::string setup = root + "/set/disk1/setup";
    EXPECT_EQ(ReadFile(setup).find(debug), std::string::npos);
    EXPECT_EQ(access(setup.c_str(), X_OK), 0);
    long used = 0;
    for (const auto &e : fs::directory_iterator(root + "/set/disk1"))
        used += static_cast<long>(e.file_size());
    EXPECT_LE(used, kDisketteBytes);
}

TEST_F(Mksite, AFirstDisketteThatCannotHoldItsFilesIsRefusedWithTheSizes) {
    std::string help = root + "/big.hlp";
    std::ofstream(help) << std::string(kDisketteBytes, 'x');
    EXPECT_EQ(Run({"--diskettes", "--help-file", help}, root + "/set"), 1);
    EXPECT_NE(err.find("diskette 1"), std::string::npos) << err;
    EXPECT_NE(err.find("help file " + std::to_string(kDisketteBytes)), std::string::npos) << err;
    EXPECT_EQ(Entries(root), (std::set<std::string>{"product", "big.hlp"}));
}

TEST_F(Mksite, AnOutputDirectoryInsideTheProductIsRefused) {
    EXPECT_EQ(Run({}, product + "/sub/site"), 1);
    EXPECT_NE(err.find("outside the product"), std::string::npos) << err;
    EXPECT_TRUE(Entries(product + "/sub").empty());
    EXPECT_EQ(Entries(root), (std::set<std::string>{"product"}));
}

TEST_F(Mksite, AnInterruptionLeavesNothingBehind) {
    // compress asks for mksite to be ended, then does its work as usual
    std::string fake = root + "/fake";
    fs::create_directories(fake);
    std::ofstream(fake + "/compress") << "#!/bin/sh\nkill -TERM $PPID\nPATH='" << getenv("PATH")
                                      << "' exec compress \"$@\"\n";
    fs::permissions(fake + "/compress", fs::perms::owner_all);
    EXPECT_NE(Run({}, root + "/site", fake), 0) << err;
    EXPECT_EQ(Entries(root), (std::set<std::string>{"product", "fake"}));
}

}  // namespace
