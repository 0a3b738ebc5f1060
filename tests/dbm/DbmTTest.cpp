// Typed record database: file bytes, lookups, changes, reloads, damage and limits.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstring>
#include <map>
#include <random>
#include <string>

#include "DbFile.h"
#include "DbTestDir.h"
#include "Dbm.h"
#include "DbmT.h"

namespace {

using Bytes = std::vector<unsigned char>;

// The stored form of a chunk, written out independently of the library.
Bytes Scrambled(const std::string &plain) {
    Bytes s(plain.begin(), plain.end());
    for (size_t i = 0; i + 1 < s.size(); ++i)
        s[i] = static_cast<unsigned char>(plain[i] ^ plain[i + 1]);
    return s;
}

void PutBE16(Bytes &b, unsigned v) {
    b.push_back(static_cast<unsigned char>(v >> 8));
    b.push_back(static_cast<unsigned char>(v & 0xFF));
}

// One headered record: lengths big-endian, key (with NUL) and value scrambled apart.
void AddHeaderedRecord(Bytes &file, const std::string &key, const std::string &value) {
    std::string k = key + '\0';
    PutBE16(file, static_cast<unsigned>(2 + k.size() + value.size()));
    PutBE16(file, static_cast<unsigned>(k.size()));
    Bytes sk = Scrambled(k), sv = Scrambled(value);
    file.insert(file.end(), sk.begin(), sk.end());
    file.insert(file.end(), sv.begin(), sv.end());
}

Bytes Header(int count) {
    Bytes h(16, 0xAA);
    std::string text = "TXDBAA" + std::to_string(count);
    memcpy(h.data(), text.c_str(), text.size() + 1);
    return h;
}

std::string Get(DbT *db, const char *key) {
    char buf[70000];
    int n = DbmTGetRecordN(db, key, buf, sizeof buf);
    return std::string(buf, static_cast<size_t>(n));
}

struct DbCloser {
    void operator()(DbT *db) const { DbTClose(db); }
};
using DbPtr = std::unique_ptr<DbT, DbCloser>;

class DbmT : public DbTestDir {
protected:
    std::string DbFile(const char *name) { return Path(std::string("db/") + name + ".xdb"); }
};

TEST_F(DbmT, FirstRecordMakesTheFileOfThePartsExample) {
    DbPtr db(DbTOpen("msgs", 0));
    ASSERT_TRUE(db);
    EXPECT_EQ(DBT_TYPE_NONE, db->Type);
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "25_1002", "hello", 5));
    Bytes file = ReadBytes(DbFile("msgs"));
    ASSERT_EQ(16u + 2 + 2 + 8 + 5, file.size());
    EXPECT_EQ(0, memcmp(file.data(), "TXDBAA1\0", 8));
    Bytes expected;
    AddHeaderedRecord(expected, "25_1002", "hello");
    EXPECT_EQ(expected, Bytes(file.begin() + 16, file.end()));
    EXPECT_EQ(DBT_TYPE_HEADERED, db->Type);
}

TEST_F(DbmT, OneAndTwoByteChunksAreScrambledAsChained) {
    DbPtr db(DbTOpen("chunks", 0));
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "k", "AB", 2));
    Bytes file = ReadBytes(DbFile("chunks"));
    // key "k\0": k ^ 0 then 0; value "AB": A ^ B then B.
    ASSERT_EQ(16u + 4 + 2 + 2, file.size());
    EXPECT_EQ('k', file[20]);
    EXPECT_EQ(0, file[21]);
    EXPECT_EQ('A' ^ 'B', file[22]);
    EXPECT_EQ('B', file[23]);
    unsigned char one[1] = {'Z'};
    DbScramble(one, 1);
    EXPECT_EQ('Z', one[0]);
}

TEST_F(DbmT, ScrambleAndUnscrambleAreInverse) {
    unsigned char text[] = "a longer chunk of text";
    unsigned char copy[sizeof text];
    memcpy(copy, text, sizeof text);
    DbScramble(copy, sizeof copy);
    EXPECT_NE(0, memcmp(copy, text, sizeof text));
    DbUnscramble(copy, sizeof copy);
    EXPECT_EQ(0, memcmp(copy, text, sizeof text));
}

TEST_F(DbmT, ReplacingAKeyKeepsOneRecordAndTheCount) {
    DbPtr db(DbTOpen("r", 0));
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "25_1002", "first", 5));
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "25_1002", "second!", 7));
    Bytes file = ReadBytes(DbFile("r"));
    EXPECT_EQ(0, memcmp(file.data(), "TXDBAA1\0", 8));
    EXPECT_EQ(16u + 4 + 8 + 7, file.size());
    EXPECT_EQ("second!", Get(db.get(), "25_1002"));
    EXPECT_EQ(1, db->Count);
}

TEST_F(DbmT, HeaderFillerIsRewrittenButCountStays) {
    DbPtr db(DbTOpen("h", 0));
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "a", "1", 1));
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "b", "2", 1));
    Bytes file = ReadBytes(DbFile("h"));
    EXPECT_EQ(0, memcmp(file.data(), "TXDBAA2\0", 8));
}

TEST_F(DbmT, PrefixDeletionSparesKeysThatOnlyLookAlike) {
    DbPtr db(DbTOpen("p", 0));
    for (const char *k : {"25_1", "251", "25_2", "30_1"})
        ASSERT_EQ(1, DbmTPutRecord(db.get(), k, "v", 1));
    EXPECT_EQ(1, DbmTDeleteRecords(db.get(), "25_"));
    char *list = DbmTGetRecordList(db.get(), ",", ",");
    EXPECT_STREQ(",251,30_1,", list);
    PutMem(list);
    Bytes file = ReadBytes(DbFile("p"));
    EXPECT_EQ(0, memcmp(file.data(), "TXDBAA2\0", 8));
}

TEST_F(DbmT, KeyListsFollowFileOrderWithPrefixAndSuffix) {
    DbPtr db(DbTOpen("l", 0));
    EXPECT_EQ(nullptr, DbmTGetRecordList(db.get(), ",", ","));
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "a", "x", 1));
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "b", "y", 1));
    char *list = DbmTGetRecordList(db.get(), ",", ",");
    EXPECT_STREQ(",a,b,", list);
    PutMem(list);
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "25_7", "z", 1));
    list = DbmTGetRecordListS(db.get(), "25_,b", "[", "]");
    EXPECT_STREQ("[b[25_7]", list);
    PutMem(list);
}

TEST_F(DbmT, TestKeyNameMatchesAnyBeginning) {
    EXPECT_EQ(1, TestKeyName("25_1002", "20_,25_"));
    EXPECT_EQ(0, TestKeyName("251", "25_"));
    EXPECT_EQ(0, TestKeyName("x", ""));
}

TEST_F(DbmT, LookupsFindNothingWithoutAKeyOrWithAnEmptyOne) {
    DbPtr db(DbTOpen("e", 0));
    char buf[8];
    EXPECT_EQ(0, DbmTGetRecord(db.get(), "missing", buf));
    EXPECT_EQ(0, DbmTGetRecord(db.get(), "", buf));
    EXPECT_EQ(0, DbmTGetRecord(nullptr, "k", buf));
    EXPECT_EQ(0, DbmTGetRecord(db.get(), nullptr, buf));
    EXPECT_EQ(0, DbmTGetRecord(db.get(), "k", nullptr));
    EXPECT_EQ(0, DbmTPutRecord(db.get(), "", "v", 1));
    EXPECT_EQ(0, DbmTPutRecord(db.get(), "k", "v", 0));
    EXPECT_EQ(0, DbmTPutRecord(db.get(), "k", nullptr, 1));
    EXPECT_EQ(nullptr, DbTOpen(nullptr, 0));
    EXPECT_FALSE(Exists(DbFile("e")));
}

TEST_F(DbmT, SizedReadsCutAndReportTheFullLength) {
    DbPtr db(DbTOpen("s", 0));
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "k", "abcdef", 6));
    char small[4];
    EXPECT_EQ(6, DbmTGetRecordN(db.get(), "k", small, sizeof small));
    EXPECT_STREQ("abc", small);
    EXPECT_EQ(6, DbmTGetRecordSize(db.get(), "k"));
    char exact[6];
    EXPECT_EQ(6, DbmTGetRecord(db.get(), "k", exact));
    EXPECT_EQ(0, memcmp(exact, "abcdef", 6));
}

TEST_F(DbmT, LongValuesGetTheirOwnBuffer) {
    DbPtr db(DbTOpen("v", 0));
    std::string big(3000, 'q');
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "long", big.data(), static_cast<int>(big.size())));
    char local[2048];
    char *p = local;
    EXPECT_EQ(3000, DbmTGetRecordV(db.get(), "long", &p, sizeof local));
    ASSERT_NE(local, p);
    EXPECT_EQ(big, std::string(p));
    PutMem(p);
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "short", "hi", 2));
    p = local;
    EXPECT_EQ(2, DbmTGetRecordV(db.get(), "short", &p, sizeof local));
    EXPECT_EQ(local, p);
    EXPECT_STREQ("hi", local);
}

TEST_F(DbmT, CopyDeleteAndLinkLists) {
    DbPtr db(DbTOpen("c", 0));
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "20_150", "~e Exit", 7));
    EXPECT_EQ(0, DbmTCopyRecord(db.get(), "nothing", "x"));
    EXPECT_EQ(1, DbmTCopyRecord(db.get(), "20_150", "20_151"));
    EXPECT_EQ("~e Exit", Get(db.get(), "20_151"));
    DbLink *chain = DbmTGetDbLinkList(db.get(), "_15");
    ASSERT_NE(nullptr, chain);
    EXPECT_STREQ("20_150", chain->pKey);
    EXPECT_EQ(std::string("~e Exit"), std::string(chain->pValue, static_cast<size_t>(chain->ValueLen)));
    ASSERT_NE(nullptr, chain->pNext);
    EXPECT_STREQ("20_151", chain->pNext->pKey);
    EXPECT_EQ(nullptr, chain->pNext->pNext);
    DbmFreeDbLinkList(chain);
    EXPECT_EQ(0, DbmTDeleteRecord(db.get(), "absent"));
    EXPECT_EQ(1, DbmTDeleteRecord(db.get(), "20_150"));
    EXPECT_EQ(0, DbmTGetRecordSize(db.get(), "20_150"));
    Bytes file = ReadBytes(DbFile("c"));
    EXPECT_EQ(0, memcmp(file.data(), "TXDBAA1\0", 8));
}

TEST_F(DbmT, NewFilesFollowTheUmaskAndRewritesKeepTheMode) {
    mode_t mask = umask(027);
    DbPtr db(DbTOpen("m", 0));
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "k", "v", 1));
    struct stat sb;
    ASSERT_EQ(0, stat("db", &sb));
    EXPECT_EQ(0750u, sb.st_mode & 0777);
    ASSERT_EQ(0, stat(DbFile("m").c_str(), &sb));
    EXPECT_EQ(0640u, sb.st_mode & 0777);
    ASSERT_EQ(0, chmod(DbFile("m").c_str(), 0600));
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "k", "w", 1));
    ASSERT_EQ(0, stat(DbFile("m").c_str(), &sb));
    EXPECT_EQ(0600u, sb.st_mode & 0777);
    umask(mask);
    // a file without any write permission is refused, not replaced
    ASSERT_EQ(0, chmod(DbFile("m").c_str(), 0444));
    Bytes before = ReadBytes(DbFile("m"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, DbmTPutRecord(db.get(), "k", "x", 1));
    EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find("Can't write to m"));
    EXPECT_EQ(before, ReadBytes(DbFile("m")));
    EXPECT_EQ(std::vector<std::string>{"m.xdb"}, DirNames(Path("db")));
}

TEST_F(DbmT, NamesArePathsOrToolPathNames) {
    Bytes file = Header(1);
    AddHeaderedRecord(file, "k", "abs");
    mkdir(Path("sub").c_str(), 0777);
    WriteBytes(Path("sub/plain"), file);
    WriteBytes(Path("sub/x.data"), file);
    DbPtr noDot(DbTOpen(Path("sub/plain").c_str(), 0));  // ".xdb" is added
    EXPECT_EQ(0, DbmTGetRecordSize(noDot.get(), "k"));
    DbPtr dotted(DbTOpen(Path("sub/x.data").c_str(), 0));
    EXPECT_EQ("abs", Get(dotted.get(), "k"));
    DbPtr relative(DbTOpen("./sub/x.data", 0));
    EXPECT_EQ("abs", Get(relative.get(), "k"));
}

TEST_F(DbmT, ChangesByAnotherProcessAreSeen) {
    DbPtr db(DbTOpen("shared", 0));
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "k", "old", 3));
    EXPECT_EQ("old", Get(db.get(), "k"));
    pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        // same size, most likely within the same second as the first write
        DbT *other = DbTOpen("shared", 0);
        _exit(DbmTPutRecord(other, "k", "new", 3) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ("new", Get(db.get(), "k"));
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "j", "mine", 4));  // the change is kept too
    DbPtr fresh(DbTOpen("shared", 0));
    EXPECT_EQ("new", Get(fresh.get(), "k"));
    EXPECT_EQ("mine", Get(fresh.get(), "j"));
}

TEST_F(DbmT, NoCheckFlagKeepsTheLoadedContent) {
    DbPtr writer(DbTOpen("f", 0));
    ASSERT_EQ(1, DbmTPutRecord(writer.get(), "k", "one", 3));
    DbPtr frozen(DbTOpen("f", DBT_NOCHECK));
    ASSERT_EQ(1, DbmTPutRecord(writer.get(), "k", "two", 3));
    EXPECT_EQ("one", Get(frozen.get(), "k"));
    DbPtr fresh(DbTOpen("f", 0));
    EXPECT_EQ("two", Get(fresh.get(), "k"));
}

TEST_F(DbmT, NoWriteFlagDefersTheFileUntilArchived) {
    DbPtr db(DbTOpen("w", DBT_NOWRITE));
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "a", "1", 1));
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "b", "2", 1));
    EXPECT_FALSE(Exists(DbFile("w")));
    ASSERT_EQ(1, DbmTArchiveDb(db.get()));
    DbPtr reader(DbTOpen("w", 0));
    EXPECT_EQ("1", Get(reader.get(), "a"));
    EXPECT_EQ("2", Get(reader.get(), "b"));
}

TEST_F(DbmT, DamagedTailIsCutAndTheNextWriteMakesItFinal) {
    mkdir("db", 0777);
    Bytes file = Header(3);
    AddHeaderedRecord(file, "good", "value");
    Bytes good = file;
    file.push_back(0xFF);  // a record length far past the end
    file.push_back(0xF0);
    file.insert(file.end(), 10, 'x');
    WriteBytes(DbFile("d"), file);
    DbPtr db(DbTOpen("d", 0));
    EXPECT_EQ("value", Get(db.get(), "good"));
    EXPECT_EQ(static_cast<int>(good.size()), db->Size);
    EXPECT_EQ(static_cast<int>(good.size()), db->DamagePos);
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "more", "x", 1));
    Bytes written = ReadBytes(DbFile("d"));
    Bytes expected(written.begin(), written.begin() + 16);
    expected.insert(expected.end(), good.begin() + 16, good.end());
    AddHeaderedRecord(expected, "more", "x");
    EXPECT_EQ(expected, written);
    EXPECT_EQ(0, memcmp(written.data(), "TXDBAA2\0", 8));  // the count of what was kept
}

// Records that do not hold together end the usable content at their start.
TEST_F(DbmT, InconsistentRecordsCountAsDamage) {
    mkdir("db", 0777);
    struct Case {
        const char *what;
        unsigned recLen, keyLen;
        std::string key;  // stored unscrambled here: the NUL test reads the last byte
    };
    const Case cases[] = {
        {"key length 0", 5, 0, std::string("ab\0", 3)},
        {"key length past the record", 5, 9, std::string("ab\0", 3)},
        {"key without NUL", 5, 3, "abc"},
    };
    for (const Case &c : cases) {
        Bytes file = Header(2);
        AddHeaderedRecord(file, "ok", "1");
        size_t goodSize = file.size();
        PutBE16(file, c.recLen);
        PutBE16(file, c.keyLen);
        file.insert(file.end(), c.key.begin(), c.key.end());
        WriteBytes(DbFile("bad"), file);
        DbPtr db(DbTOpen("bad", 0));
        EXPECT_EQ(static_cast<int>(goodSize), db->Size) << c.what;
        EXPECT_EQ(static_cast<int>(goodSize), db->DamagePos) << c.what;
        EXPECT_EQ("1", Get(db.get(), "ok")) << c.what;
        EXPECT_EQ(0, DbmTGetRecordSize(db.get(), "ab")) << c.what;
    }
}

TEST_F(DbmT, MissingRecordsAndEmptyFilesAreTold) {
    mkdir("db", 0777);
    Bytes file = Header(3);  // counts three, holds one
    AddHeaderedRecord(file, "ok", "1");
    WriteBytes(DbFile("cut"), file);
    DbPtr db(DbTOpen("cut", 0));
    EXPECT_EQ(static_cast<int>(file.size()), db->DamagePos);
    WriteBytes(DbFile("empty"), Bytes{});
    DbPtr empty(DbTOpen("empty", 0));
    EXPECT_EQ(-1, empty->DamagePos);
    ASSERT_EQ(1, DbmTPutRecord(empty.get(), "k", "v", 1));
    EXPECT_EQ(0, memcmp(ReadBytes(DbFile("empty")).data(), "TXDBAA1", 8));  // headered
}

TEST_F(DbmT, ShortFilesAndHeadersAreSafe) {
    mkdir("db", 0777);
    for (Bytes file : {Bytes{'T', 'X', 'D', 'B', 'A'}, Bytes{'T'}, Bytes{}, Bytes{0x00, 0x05, 1}}) {
        WriteBytes(DbFile("short"), file);
        DbPtr db(DbTOpen("short", 0));
        ASSERT_TRUE(db);
        EXPECT_EQ(nullptr, DbmTGetRecordList(db.get(), "", ""));
        EXPECT_EQ(1, DbmTPutRecord(db.get(), "k", "v", 1));
        EXPECT_EQ("v", Get(db.get(), "k"));
    }
}

TEST_F(DbmT, RecordSizesAreBoundedByTheLengthField) {
    DbPtr db(DbTOpen("big", DBT_NOWRITE));
    std::string key = "k";                               // 2 bytes with the NUL
    std::string fits(65535 - 2 - 2, 'a');                 // 2 + 2 + 65531 = 65535
    EXPECT_EQ(1, DbmTPutRecord(db.get(), key.c_str(), fits.data(), static_cast<int>(fits.size())));
    EXPECT_EQ(static_cast<int>(fits.size()), DbmTGetRecordSize(db.get(), "k"));
    std::string tooLong(fits.size() + 1, 'a');
    EXPECT_EQ(0, DbmTPutRecord(db.get(), "j", tooLong.data(), static_cast<int>(tooLong.size())));
    EXPECT_EQ(0, DbmTGetRecordSize(db.get(), "j"));
}

TEST_F(DbmT, CountStopsBeforeTenDigits) {
    mkdir("db", 0777);
    Bytes file = Header(999999998);
    AddHeaderedRecord(file, "k", "v");
    WriteBytes(DbFile("n"), file);
    DbPtr db(DbTOpen("n", 0));
    EXPECT_EQ(1, DbmTPutRecord(db.get(), "j", "w", 1));   // reaches 999999999
    EXPECT_EQ(0, DbmTPutRecord(db.get(), "i", "x", 1));   // would need ten digits
    EXPECT_EQ(1, DbmTPutRecord(db.get(), "k", "again", 5)); // a replacement adds none
    Bytes written = ReadBytes(DbFile("n"));
    EXPECT_EQ(0, memcmp(written.data(), "TXDBAA999999999\0", 16));
}

TEST_F(DbmT, FailedRenameKeepsTheOldFileAndReportsIt) {
    // The database path is a folder that is not empty, so the rename must fail.
    mkdir("db", 0777);
    mkdir(DbFile("locked").c_str(), 0777);
    WriteBytes(DbFile("locked") + "/keep", Bytes{'1'});
    DbPtr db(DbTOpen("locked", 0));
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, DbmTPutRecord(db.get(), "k", "v", 1));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("ERROR: Can't write to locked")) << err;
    EXPECT_FALSE(Exists(Path("db/locked.xdb_new")));
    EXPECT_TRUE(Exists(DbFile("locked") + "/keep"));
}

TEST_F(DbmT, UncreatableTemporaryFileIsReportedAtOnce) {
    WriteBytes(Path("db"), Bytes{'x'});  // "db" is a file: nothing can be made in it
    DbPtr db(DbTOpen("t", 0));
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, DbmTPutRecord(db.get(), "k", "v", 1));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("ERROR: Can't write to t"));
    EXPECT_TRUE(RecordedSleeps().empty());
}

TEST_F(DbmT, FailedWriteLeavesTheOldFile) {
    DbPtr db(DbTOpen("full", 0));
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "k", "small", 5));
    Bytes before = ReadBytes(DbFile("full"));
    pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {  // a file size limit makes the large write fail
        signal(SIGXFSZ, SIG_IGN);
        if (!freopen("/dev/null", "w", stderr))
            _exit(2);
        struct rlimit lim = {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &lim);
        std::string big(20000, 'b');
        int r = DbmTPutRecord(db.get(), "big", big.data(), static_cast<int>(big.size()));
        _exit(r == 0 && !Exists(Path("db/full.xdb_new")) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(before, ReadBytes(DbFile("full")));
}

TEST_F(DbmT, LastingReadErrorsAreNotRetriedAndNotOverwritten) {
    mkdir("db", 0777);
    mkdir(DbFile("folder").c_str(), 0777);
    int fd = open(DbFile("huge").c_str(), O_WRONLY | O_CREAT, 0644);  // sparse, past the limit
    ASSERT_EQ(0, ftruncate(fd, static_cast<off_t>(DBT_MAX_CONTENT) + 1));
    close(fd);
    for (const char *name : {"folder", "huge"}) {
        DbPtr db(DbTOpen(name, 0));
        EXPECT_NE(0, db->LoadErr) << name;
        testing::internal::CaptureStderr();
        EXPECT_EQ(0, DbmTPutRecord(db.get(), "k", "v", 1)) << name;
        testing::internal::GetCapturedStderr();
    }
    EXPECT_NE(std::string::npos, std::string(DbLastError()).find("more than")) << DbLastError();
    EXPECT_TRUE(RecordedSleeps().empty());
    struct stat sb;
    ASSERT_EQ(0, stat(DbFile("huge").c_str(), &sb));
    EXPECT_EQ(static_cast<off_t>(DBT_MAX_CONTENT) + 1, sb.st_size);
}

TEST_F(DbmT, LinkedDatabaseIsUpdatedWhereItLies) {
    mkdir("db", 0777);
    mkdir("elsewhere", 0777);
    ASSERT_EQ(0, symlink(Path("elsewhere/real.xdb").c_str(), DbFile("linked").c_str()));
    DbPtr db(DbTOpen("linked", 0));
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "k", "v", 1));
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "j", "w", 1));
    struct stat sb;
    ASSERT_EQ(0, lstat(DbFile("linked").c_str(), &sb));
    EXPECT_TRUE(S_ISLNK(sb.st_mode));
    DbPtr real(DbTOpen(Path("elsewhere/real.xdb").c_str(), 0));
    EXPECT_EQ("v", Get(real.get(), "k"));
    EXPECT_EQ("w", Get(real.get(), "j"));
    EXPECT_EQ(std::vector<std::string>{"real.xdb"}, DirNames(Path("elsewhere")));
    if (geteuid() == 0) {  // a rewrite keeps the owner and group
        ASSERT_EQ(0, chown(Path("elsewhere/real.xdb").c_str(), 4321, 4322));
        ASSERT_EQ(1, DbmTPutRecord(db.get(), "i", "u", 1));
        ASSERT_EQ(0, stat(Path("elsewhere/real.xdb").c_str(), &sb));
        EXPECT_EQ(4321u, sb.st_uid);
        EXPECT_EQ(4322u, sb.st_gid);
    }
}

// Two processes writing the same files at once, through both interfaces: every
// record of both is kept and nothing but the databases is left.
TEST_F(DbmT, ParallelWritersLoseNoRecord) {
    constexpr int PUTS = 150;
    mkdir("db", 0777);
    pid_t kids[2];
    for (int w = 0; w < 2; ++w) {
        kids[w] = fork();
        ASSERT_GE(kids[w], 0);
        if (kids[w] == 0) {
            DbT *db = DbTOpen("shared", 0);
            bool ok = db != nullptr;
            for (int i = 0; i < PUTS && ok; ++i) {
                std::string key = std::to_string(w) + "_" + std::to_string(i);
                ok = DbmTPutRecord(db, key.c_str(), "value", 5) == 1 &&
                     DbmPutRecord("legacy", key.c_str(), "value", 5) == 1;
            }
            _exit(ok ? 0 : 1);
        }
    }
    for (pid_t kid : kids) {
        int st = 0;
        waitpid(kid, &st, 0);
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    }
    DbPtr db(DbTOpen("shared", 0));
    EXPECT_EQ(2 * PUTS, db->Count);
    EXPECT_EQ(-1, db->DamagePos);
    char *legacy = DbmGetRecordList("legacy", ",", ",");
    ASSERT_NE(nullptr, legacy);
    for (int w = 0; w < 2; ++w)
        for (int i = 0; i < PUTS; ++i) {
            std::string key = std::to_string(w) + "_" + std::to_string(i);
            EXPECT_EQ("value", Get(db.get(), key.c_str())) << key;
            EXPECT_NE(nullptr, strstr(legacy, ("," + key + ",").c_str())) << key;
        }
    PutMem(legacy);
    EXPECT_EQ((std::vector<std::string>{"legacy.xdb", "shared.xdb"}), DirNames(Path("db")));
}

TEST_F(DbmT, FirstOfRepeatedKeysWinsAndReplacementRemovesAll) {
    mkdir("db", 0777);
    Bytes file = Header(3);
    AddHeaderedRecord(file, "dup", "first");
    AddHeaderedRecord(file, "other", "o");
    AddHeaderedRecord(file, "dup", "second");
    WriteBytes(DbFile("dups"), file);
    DbPtr db(DbTOpen("dups", 0));
    EXPECT_EQ("first", Get(db.get(), "dup"));
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "dup", "third", 5));
    char *list = DbmTGetRecordList(db.get(), " ", "");
    EXPECT_STREQ(" other dup", list);
    PutMem(list);
    EXPECT_EQ("third", Get(db.get(), "dup"));
}

TEST_F(DbmT, LegacyFilesAreReadAndWrittenAsLegacy) {
    ASSERT_EQ(1, DbmPutRecord("legacy", "25_1", "from 7.1", 8));
    DbPtr db(DbTOpen("legacy", 0));
    EXPECT_EQ(DBT_TYPE_LEGACY, db->Type);
    EXPECT_EQ("from 7.1", Get(db.get(), "25_1"));
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "25_2", "typed", 5));
    EXPECT_EQ(DBT_TYPE_LEGACY, db->Type);
    char buf[64] = {};
    EXPECT_EQ(5, DbmGetRecordN("legacy", "25_2", buf, sizeof buf));
    EXPECT_STREQ("typed", buf);
    EXPECT_EQ(8, DbmGetRecordN("legacy", "25_1", buf, sizeof buf));
    Bytes file = ReadBytes(DbFile("legacy"));
    EXPECT_NE(0, memcmp(file.data(), "TXDBA", 5));
}

TEST_F(DbmT, SettingTheTypeRevalidatesTheContent) {
    DbPtr db(DbTOpen("st", DBT_NOWRITE));
    DbTSetDbType(db.get(), DBT_TYPE_LEGACY);
    EXPECT_EQ(0, db->Size);  // the header is no legacy record
    ASSERT_EQ(1, DbmTPutRecord(db.get(), "k", "v", 1));
    ASSERT_EQ(1, DbmTArchiveDb(db.get()));
    char buf[8] = {};
    EXPECT_EQ(1, DbmGetRecordN("st", "k", buf, sizeof buf));
}

// The index must give what a walk from the start gives, through any mix of changes.
TEST_F(DbmT, IndexAgreesWithAModelThroughRandomChanges) {
    DbPtr db(DbTOpen("model", DBT_NOWRITE));
    std::map<std::string, std::string> model;
    std::mt19937 rng(12345);
    for (int step = 0; step < 3000; ++step) {
        std::string key = std::to_string(rng() % 7) + "_" + std::to_string(rng() % 60);
        switch (rng() % 5) {
        case 0: case 1: case 2: {
            std::string value(1 + rng() % 40, static_cast<char>('a' + rng() % 26));
            ASSERT_EQ(1, DbmTPutRecord(db.get(), key.c_str(), value.data(), static_cast<int>(value.size())));
            model[key] = value;
            break;
        }
        case 3:
            EXPECT_EQ(model.erase(key) ? 1 : 0, DbmTDeleteRecord(db.get(), key.c_str()));
            break;
        default: {
            std::string prefix = key.substr(0, 2);
            DbmTDeleteRecords(db.get(), prefix.c_str());
            for (auto it = model.begin(); it != model.end();)
                it = it->first.compare(0, prefix.size(), prefix) == 0 ? model.erase(it) : std::next(it);
        }
        }
        if (step % 100 == 0) {
            for (int g = 0; g < 7; ++g)
                for (int n = 0; n < 60; ++n) {
                    std::string k = std::to_string(g) + "_" + std::to_string(n);
                    auto it = model.find(k);
                    ASSERT_EQ(it == model.end() ? "" : it->second, Get(db.get(), k.c_str())) << k;
                }
        }
    }
    EXPECT_EQ(static_cast<int>(model.size()), db->Count);
}

}  // namespace
