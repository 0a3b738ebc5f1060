// Legacy keyed record files: bytes, rewrites, reads, lists and damage.
#include <cstring>
#include <set>
#include <sstream>
#include <string>

#include "DbTestDir.h"
#include "Dbm.h"

namespace {

using Bytes = std::vector<unsigned char>;

// A legacy record written independently of the library: native lengths, one chunk.
void AddLegacyRecord(Bytes &file, const std::string &key, const std::string &value,
                     int keyLenOverride = -1) {
    std::string k = key + '\0';
    uint16_t kl = static_cast<uint16_t>(keyLenOverride >= 0 ? keyLenOverride : static_cast<int>(k.size()));
    std::string chunk(reinterpret_cast<const char *>(&kl), 2);
    chunk += k + value;
    uint16_t rl = static_cast<uint16_t>(chunk.size());
    file.insert(file.end(), reinterpret_cast<unsigned char *>(&rl), reinterpret_cast<unsigned char *>(&rl) + 2);
    for (size_t i = 0; i < chunk.size(); ++i)
        file.push_back(static_cast<unsigned char>(i + 1 < chunk.size() ? chunk[i] ^ chunk[i + 1] : chunk[i]));
}

std::string Get(const char *name, const char *key) {
    char buf[70000];
    int n = DbmGetRecordN(name, key, buf, sizeof buf);
    return std::string(buf, static_cast<size_t>(n));
}

class Dbm : public DbTestDir {
protected:
    std::string DbFile(const char *name) { return Path(std::string("db/") + name + ".xdb"); }
};

TEST_F(Dbm, StoredRecordIsLengthThenOneScrambledChunk) {
    ASSERT_EQ(1, DbmPutRecord("t", "ab", "wxyz", 4));
    Bytes expected;
    AddLegacyRecord(expected, "ab", "wxyz");
    Bytes file = ReadBytes(DbFile("t"));
    ASSERT_EQ(2u + 9, file.size());
    uint16_t len;
    memcpy(&len, file.data(), 2);
    EXPECT_EQ(9, len);  // 2 + 3 + 4
    EXPECT_EQ(expected, file);
}

TEST_F(Dbm, ReplacementLeavesOneRecordAtTheEnd) {
    ASSERT_EQ(1, DbmPutRecord("r", "a", "1", 1));
    ASSERT_EQ(1, DbmPutRecord("r", "b", "2", 1));
    ASSERT_EQ(1, DbmPutRecord("r", "a", "3", 1));
    Bytes expected;
    AddLegacyRecord(expected, "b", "2");
    AddLegacyRecord(expected, "a", "3");
    EXPECT_EQ(expected, ReadBytes(DbFile("r")));
    char *list = DbmGetRecordList("r", "<", ">");
    EXPECT_STREQ("<b<a>", list);
    PutMem(list);
}

TEST_F(Dbm, DeletingByKeyAndByPrefix) {
    for (const char *k : {"25_1", "251", "25_2", "25"})
        ASSERT_EQ(1, DbmPutRecord("d", k, "v", 1));
    EXPECT_EQ(1, DbmDeleteRecord("d", "25"));
    EXPECT_EQ("v", Get("d", "25_1"));
    EXPECT_EQ(1, DbmDeleteRecords("d", "25_"));
    char *list = DbmGetRecordList("d", ",", ",");
    EXPECT_STREQ(",251,", list);
    PutMem(list);
    EXPECT_EQ(0, DbmDeleteRecord("missing", "x"));
}

TEST_F(Dbm, KeysCompareByLengthFirst) {
    ASSERT_EQ(1, DbmPutRecord("k", "a", "short", 5));
    ASSERT_EQ(1, DbmPutRecord("k", "abc", "long", 4));
    EXPECT_EQ("short", Get("k", "a"));
    EXPECT_EQ("", Get("k", "ab"));
    EXPECT_EQ(4, DbmGetRecordSize("k", "abc"));
    ASSERT_EQ(1, DbmDeleteRecord("k", "ab"));
    EXPECT_EQ("long", Get("k", "abc"));
}

TEST_F(Dbm, ReadsReturnLengthsAndCutSizedCopies) {
    ASSERT_EQ(1, DbmPutRecord("s", "k", "abcdef", 6));
    char small[3];
    EXPECT_EQ(6, DbmGetRecordN("s", "k", small, sizeof small));
    EXPECT_STREQ("ab", small);
    char whole[6];
    EXPECT_EQ(6, DbmGetRecord("s", "k", whole));
    EXPECT_EQ(0, memcmp(whole, "abcdef", 6));
    EXPECT_EQ(0, DbmGetRecord("s", "k", nullptr));
    EXPECT_EQ(0, DbmGetRecord("none", "k", whole));
    EXPECT_EQ(nullptr, DbmGetRecordList("none", "", ""));
}

TEST_F(Dbm, RefusesWhatCannotBeARecord) {
    std::string fits(65535 - 2 - 2, 'x');
    EXPECT_EQ(1, DbmPutRecord("big", "k", fits.data(), static_cast<int>(fits.size())));
    EXPECT_EQ(static_cast<int>(fits.size()), DbmGetRecordSize("big", "k"));
    EXPECT_EQ(0, DbmPutRecord("big", "j", fits.data(), static_cast<int>(fits.size()) + 1));
    EXPECT_EQ(0, DbmPutRecord("big", "", "v", 1));
    EXPECT_EQ(0, DbmPutRecord("big", "k", "v", 0));
    EXPECT_EQ(0, DbmPutRecord(nullptr, "k", "v", 1));
}

TEST_F(Dbm, NextRecordCounterRunsOnceAcrossCalls) {
    ASSERT_EQ(1, DbmPutRecord("n", "a", "1", 1));
    ASSERT_EQ(1, DbmPutRecord("n", "b", "22", 2));
    ASSERT_EQ(1, DbmPutRecord("n", "c", "333", 3));
    // The counter belongs to the process and is never reset, so collect what this
    // walk sees from wherever earlier tests left it.
    char buf[16];
    std::vector<int> lengths;
    while (int n = DbmGetNextRecordN("n", buf, sizeof buf))
        lengths.push_back(n);
    ASSERT_FALSE(lengths.empty());
    EXPECT_EQ(3, lengths.back());
    EXPECT_EQ(0, DbmGetNextRecordN("n", buf, sizeof buf));
    ASSERT_EQ(1, DbmPutRecord("n", "d", "4444", 4));
    EXPECT_EQ(4, DbmGetNextRecordN("n", buf, sizeof buf));
    EXPECT_STREQ("4444", buf);
}

TEST_F(Dbm, DatabaseListKeepsOnlyXdbFiles) {
    mkdir("db", 0777);
    for (const char *f : {"a.xdb", "b.txt", "c.xdb_new"})
        WriteBytes(Path(std::string("db/") + f), Bytes{});
    char *list = DbmGetDbList(nullptr);
    EXPECT_STREQ("a", list);
    PutMem(list);
    WriteBytes(Path("db/d.xdb"), Bytes{});
    list = DbmGetDbList(",");
    std::set<std::string> names;
    std::istringstream words(list);
    for (std::string w; words >> w;)
        names.insert(w);
    EXPECT_EQ((std::set<std::string>{"a", "d"}), names);
    EXPECT_NE(' ', list[0]);
    PutMem(list);
    list = DbmGetDbList(nullptr);
    EXPECT_TRUE(!strcmp(list, "a,d") || !strcmp(list, "d,a")) << list;
    PutMem(list);
}

TEST_F(Dbm, CopyAndLinkLists) {
    ASSERT_EQ(1, DbmPutRecord("c", "30_22", "%s Help", 7));
    EXPECT_EQ(1, DbmCopyRecord("c", "30_22", "30_23"));
    EXPECT_EQ(0, DbmCopyRecord("c", "30_99", "30_24"));
    DbLink *chain = DbmGetDbLinkList("c", "30_2");
    ASSERT_NE(nullptr, chain);
    ASSERT_NE(nullptr, chain->pNext);
    EXPECT_STREQ("30_23", chain->pNext->pKey);
    EXPECT_EQ(std::string("%s Help"), std::string(chain->pNext->pValue, 7));
    EXPECT_EQ(nullptr, chain->pNext->pNext);
    DbmFreeDbLinkList(chain);
}

TEST_F(Dbm, DamageEndsTheFileLikeItsEnd) {
    mkdir("db", 0777);
    Bytes file;
    AddLegacyRecord(file, "good", "1");
    Bytes goodOnly = file;
    AddLegacyRecord(file, "bad", "2", 40);  // key length past the record
    AddLegacyRecord(file, "after", "3");
    WriteBytes(DbFile("dmg"), file);
    EXPECT_EQ("1", Get("dmg", "good"));
    EXPECT_EQ("", Get("dmg", "after"));
    ASSERT_EQ(1, DbmPutRecord("dmg", "new", "4", 1));
    Bytes expected = goodOnly;
    AddLegacyRecord(expected, "new", "4");
    EXPECT_EQ(expected, ReadBytes(DbFile("dmg")));
}

TEST_F(Dbm, KeyWithoutItsNulIsDamage) {
    mkdir("db", 0777);
    Bytes file;
    AddLegacyRecord(file, "ok", "1");
    // key length 3 over "abc": the key bytes fit the record but end in no NUL
    uint16_t kl = 3, rl = 5;
    std::string chunk(reinterpret_cast<const char *>(&kl), 2);
    chunk += "abc";
    file.insert(file.end(), reinterpret_cast<unsigned char *>(&rl), reinterpret_cast<unsigned char *>(&rl) + 2);
    for (size_t i = 0; i < chunk.size(); ++i)
        file.push_back(static_cast<unsigned char>(i + 1 < chunk.size() ? chunk[i] ^ chunk[i + 1] : chunk[i]));
    WriteBytes(DbFile("nonul"), file);
    char *list = DbmGetRecordList("nonul", "", ";");
    EXPECT_STREQ("ok;", list);
    PutMem(list);
}

TEST_F(Dbm, DumpPrintsLengthsAndPrintableBytes) {
    Bytes file;
    AddLegacyRecord(file, "ab", std::string("x\ty", 3));
    WriteBytes(Path("dumped.db"), file);
    testing::internal::CaptureStdout();
    DumpDbm("dumped");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ("8 3 ==>{ab.x.y}\n", out);
}

TEST_F(Dbm, FifoInPlaceOfADatabaseIsNeitherWaitedForNorReplaced) {
    mkdir("db", 0777);
    ASSERT_EQ(0, mkfifo(DbFile("f").c_str(), 0644));
    EXPECT_EQ(0, DbmGetRecordSize("f", "k"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, DbmPutRecord("f", "k", "v", 1));
    EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find("ERROR: Can't write to f"));
    struct stat sb;
    ASSERT_EQ(0, stat(DbFile("f").c_str(), &sb));
    EXPECT_TRUE(S_ISFIFO(sb.st_mode));
    EXPECT_TRUE(RecordedSleeps().empty());
}

TEST_F(Dbm, FailedRewriteKeepsTheOldFile) {
    ASSERT_EQ(1, DbmPutRecord("keep", "k", "v", 1));
    Bytes before = ReadBytes(DbFile("keep"));
    ASSERT_EQ(0, chmod(DbFile("keep").c_str(), 0444));  // read-only: refused
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, DbmPutRecord("keep", "k", "w", 1));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("ERROR: Can't write to keep"));
    EXPECT_EQ(before, ReadBytes(DbFile("keep")));
    EXPECT_TRUE(RecordedSleeps().empty());
}

TEST_F(Dbm, OpenDataBaseNeedsAnExistingFile) {
    EXPECT_EQ(nullptr, OpenDataBase("nothing", "xdb", "rb", 0));
    ASSERT_EQ(1, DbmPutRecord("x", "k", "v", 1));
    FILE *f = OpenDataBase("x", "xdb", "rb", 0);
    ASSERT_NE(nullptr, f);
    unsigned char buf[DBM_REC_BUF];
    EXPECT_EQ(5, GetData(f, buf));  // 2 + "k" and its NUL + "v"
    EXPECT_EQ(0, GetData(f, buf));
    fclose(f);
    EXPECT_EQ(1, RenameDataBase("x", "xdb", "old"));
    EXPECT_TRUE(Exists(Path("db/x.old")));
}

}  // namespace
