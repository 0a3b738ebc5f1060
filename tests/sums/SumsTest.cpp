// SHA-256 of files and the checksum list "pkg.sums", in a private scratch directory.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "MemMgr.h"
#include "Sums.h"

namespace {

namespace fs = std::filesystem;

const std::string kAbc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const std::string kEmpty = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

class Sums : public ::testing::Test {
protected:
    std::string dir;
    SumList list {};

    void SetUp() override {
        char tmpl[] = "/tmp/sums.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        FreeSumList(&list);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string Write(const std::string &name, const std::string &text) {
        std::ofstream(dir + "/" + name, std::ios::binary) << text;
        return dir + "/" + name;
    }
    int Read(const std::string &text) { return ReadSumList(Write("pkg.sums", text).c_str(), &list); }
};

TEST_F(Sums, FileSumAndSumLineGiveTheSha256InTheFormSha256sumWrites) {
    char hex[SUM_HEX_SIZE];
    ASSERT_EQ(1, FileSum(Write("a", "abc").c_str(), hex, sizeof hex));
    EXPECT_EQ(kAbc, hex);
    ASSERT_EQ(1, FileSum(Write("empty", "").c_str(), hex, sizeof hex));
    EXPECT_EQ(kEmpty, hex);
    MemStr line(SumLine((dir + "/a").c_str(), "pkg_tar.z1"));
    ASSERT_TRUE(line);
    EXPECT_EQ(kAbc + "  pkg_tar.z1\n", line.get());
    EXPECT_EQ(0, FileSum((dir + "/none").c_str(), hex, sizeof hex));
    EXPECT_EQ(nullptr, SumLine((dir + "/none").c_str(), "none"));
}

TEST_F(Sums, ReadSumListTakesBothModesAndLineEndsAndFindsNamesInAnyCase) {
    std::string upper = kAbc;
    for (char &c : upper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    ASSERT_EQ(SUMS_READ, Read(kEmpty + "  disks\n\n" + upper + " *pkg_tar.z1\r\n"));
    ASSERT_EQ(2, list.Count);
    SumEntry *piece = FindSum(&list, "PKG_TAR.Z1");
    ASSERT_NE(nullptr, piece);
    EXPECT_STREQ("pkg_tar.z1", piece->Name);
    EXPECT_EQ(kAbc, piece->Hex);
    EXPECT_EQ(nullptr, FindSum(&list, "setup"));
    EXPECT_EQ(SUMS_ABSENT, ReadSumList((dir + "/none").c_str(), &list));
}

TEST_F(Sums, ReadSumListRefusesEveryMalformedList) {
    const std::string bad[] = {
        kAbc.substr(1) + "  short\n",          kAbc.substr(1) + "g  nothex\n", kAbc + " oneblank\n",
        kAbc + "  ../etc/passwd\n",            kAbc + "  ..\n",                kAbc + "  back\\slash\n",
        kAbc + "  a\n" + kEmpty + "  A\n",     kAbc + "  \n",
        kAbc + "  nul" + std::string(1, '\0') + "\n",
    };
    for (const std::string &text : bad) {
        EXPECT_EQ(SUMS_MALFORMED, Read(text)) << text;
        EXPECT_EQ(0, list.Count);
        EXPECT_EQ(nullptr, list.pEntry);
    }
}

TEST_F(Sums, CheckSumTellsAWholeADamagedAndAMissingFile) {
    EXPECT_EQ(SUM_OK, CheckSum(Write("a", "abc").c_str(), kAbc.c_str()));
    EXPECT_EQ(SUM_DAMAGED, CheckSum(Write("b", "abd").c_str(), kAbc.c_str()));
    EXPECT_EQ(SUM_MISSING, CheckSum((dir + "/none").c_str(), kAbc.c_str()));
}

}  // namespace
