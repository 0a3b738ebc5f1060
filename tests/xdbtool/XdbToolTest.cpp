// The database tool: the source format, the commands run as the built program, and
// the shipped databases the build made with it.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "../support/RunCommand.h"
#include "../dbm/DbTestDir.h"
#include "DbText.h"
#include "Dbm.h"
#include "DbmT.h"
#include "NlsUtils.h"

namespace {

struct ToolRun {
    int Status;
    std::string Out;  // standard output and standard error together
};

// Runs the built tool from dir with the given arguments (each quoted for the shell).
ToolRun Tool(const std::string &dir, std::initializer_list<std::string> args) {
    std::string cmd = "cd '" + dir + "' && '" BINARY_DIR "/xdbtool'";
    for (const std::string &a : args) {
        std::string q;
        for (char c : a)
            q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        cmd += " '" + q + "'";
    }
    cmd += " 2>&1";
    CommandRun run = RunCommand(cmd);
    return ToolRun{run.Status, run.Out};
}

std::string Value(DbT *db, const char *key) {
    char buf[70000];
    int n = DbmTGetRecordN(db, key, buf, sizeof buf);
    return std::string(buf, static_cast<size_t>(n));
}

struct DbCloser {
    void operator()(DbT *db) const { DbTClose(db); }
};
using DbPtr = std::unique_ptr<DbT, DbCloser>;

class XdbTool : public DbTestDir {
protected:
    void SetUp() override {
        DbTestDir::SetUp();
        mkdir(Path("work").c_str(), 0777);  // where the tool is started
        mkdir(Path("out").c_str(), 0777);   // where the databases go
    }
    void Source(const std::string &text) { std::ofstream(Path("src.txt"), std::ios::binary) << text; }
    // The tool leaves nothing behind but the target file.
    void ExpectClean() {
        EXPECT_TRUE(DirNames(Path("work")).empty());
        for (const std::string &e : DirNames(Path("out")))
            EXPECT_EQ(std::string::npos, e.find("_new")) << e;
    }
};

// Starts the built tool without a shell, its output thrown away.
pid_t Spawn(const std::vector<std::string> &args) {
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<char *> argv{const_cast<char *>(BINARY_DIR "/xdbtool")};
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

int Reap(pid_t pid) {
    int st = 0;
    waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

// Source format ----------------------------------------------------------------

TEST(DbText, EscapesRoundTrip) {
    const std::string raw("a\tb\\c\nd\x01\x7F\xE9", 10);
    char *esc = DbEscape(raw.data(), raw.size(), 0);
    EXPECT_STREQ("a\\tb\\\\c\\nd\\x01\\x7F\xE9", esc);
    char out[64];
    size_t n = 0;
    ASSERT_EQ(1, DbUnescape(esc, strlen(esc), out, &n));
    EXPECT_EQ(raw, std::string(out, n));
    PutMem(esc);
    esc = DbEscape("#key", 4, 1);
    EXPECT_STREQ("\\x23key", esc);
    PutMem(esc);
    for (const char *bad : {"\\q", "\\", "\\x4", "\\xZZ"})
        EXPECT_EQ(0, DbUnescape(bad, strlen(bad), out, &n)) << bad;
}

TEST(DbText, MalformedLinesAreNamedByNumber) {
    struct Case {
        const char *text, *reason;
    } cases[] = {
        {"# c\n\nk\tv\nno tab here\n", "line 4: no tab between key and value"},
        {"\tvalue\n", "line 1: empty key"},
        {"k\t\n", "line 1: empty value"},
        {"k\\x00\tv\n", "line 1: NUL byte in the key"},
        {"k\tv\\q\n", "line 1: bad escape in the value"},
        {"k\t1\nk\t2\n", "line 2: key given twice"},
    };
    for (const Case &c : cases) {
        DbT *db = DbTOpen("./never-written", DBT_NOCHECK | DBT_NOWRITE);
        char err[128];
        EXPECT_EQ(-1, DbCompileSource(db, c.text, strlen(c.text), err, sizeof err)) << c.text;
        EXPECT_STREQ(c.reason, err);
        DbTClose(db);
    }
}

// Commands ------------------------------------------------------------------------

TEST_F(XdbTool, CompiledDatabaseIsReadByTheLibrary) {
    Source("# messages\n25_1002\t\\n'%c' is not valid\\x20\n\n30_22\t%s Help\n25_9\ttab\\there\\\\\n");
    ToolRun r = Tool(Path("work"), {"compile", "../src.txt", "../out/Core.xdb"});
    ASSERT_EQ(0, r.Status) << r.Out;
    DbPtr db(DbTOpen(Path("out/Core.xdb").c_str(), 0));
    EXPECT_EQ(DBT_TYPE_HEADERED, db->Type);
    EXPECT_EQ("\n'%c' is not valid ", Value(db.get(), "25_1002"));
    EXPECT_EQ("%s Help", Value(db.get(), "30_22"));
    EXPECT_EQ("tab\there\\", Value(db.get(), "25_9"));
    std::vector<unsigned char> file = ReadBytes(Path("out/Core.xdb"));
    EXPECT_EQ(0, memcmp(file.data(), "TXDBAA3\0", 8));
    ExpectClean();
}

TEST_F(XdbTool, MalformedSourceWritesNothing) {
    Source("a\t1\nbroken line\n");
    ToolRun r = Tool(Path("work"), {"compile", Path("src.txt"), Path("out/x.xdb")});
    EXPECT_EQ(1, r.Status);
    EXPECT_NE(std::string::npos, r.Out.find("line 2: no tab between key and value")) << r.Out;
    EXPECT_FALSE(Exists(Path("out/x.xdb")));
    ExpectClean();
}

TEST_F(XdbTool, GetPutDeleteAndList) {
    Source("b\t2\na\t1\n");
    ASSERT_EQ(0, Tool(Path("work"), {"compile", Path("src.txt"), Path("out/t.xdb")}).Status);
    EXPECT_EQ("1\n", Tool(Path("work"), {"get", Path("out/t.xdb"), "a"}).Out);
    ToolRun miss = Tool(Path("work"), {"get", Path("out/t.xdb"), "zz"});
    EXPECT_EQ(1, miss.Status);
    ASSERT_EQ(0, Tool(Path("work"), {"put", Path("out/t.xdb"), "c", "line\\none"}).Status);
    ASSERT_EQ(0, Tool(Path("work"), {"put", Path("out/t.xdb"), "a", "one"}).Status);
    EXPECT_EQ("b\nc\na\n", Tool(Path("work"), {"list", "../out/t.xdb"}).Out);
    EXPECT_EQ("line\none\n", Tool(Path("work"), {"get", "../out/t.xdb", "c"}).Out);
    ASSERT_EQ(0, Tool(Path("work"), {"delete", Path("out/t.xdb"), "b"}).Status);
    EXPECT_EQ(1, Tool(Path("work"), {"delete", Path("out/t.xdb"), "b"}).Status);
    EXPECT_EQ("c\na\n", Tool(Path("work"), {"list", Path("out/t.xdb")}).Out);
    DbPtr db(DbTOpen(Path("out/t.xdb").c_str(), 0));
    EXPECT_EQ("one", Value(db.get(), "a"));
    EXPECT_EQ(2, db->Count);
    ExpectClean();
}

TEST_F(XdbTool, PutCreatesADatabaseAnywhere) {
    ASSERT_EQ(0, Tool(Path("work"), {"put", "../out/new.xdb", "25_1", "first"}).Status);
    DbPtr db(DbTOpen(Path("out/new.xdb").c_str(), 0));
    EXPECT_EQ("first", Value(db.get(), "25_1"));
    ExpectClean();
}

// The records of two handles, in file order, as text.
std::vector<std::string> Records(DbT *db) {
    std::vector<std::string> out;
    DbTRecord rec;
    std::vector<char> key(DBT_MAX_RECORD), value(DBT_MAX_RECORD);
    for (int more = WalkDbTRecords(db, &rec, 0); more; more = WalkDbTRecords(db, &rec, 1)) {
        DbTDecodeKey(db, &rec, key.data());
        DbTDecodeValue(db, &rec, value.data(), rec.ValueLen);
        out.push_back(std::string(key.data(), static_cast<size_t>(rec.KeyLen)) + '|' +
                      std::string(value.data(), static_cast<size_t>(rec.ValueLen)));
    }
    return out;
}

TEST_F(XdbTool, DumpCompilesBackToTheSameRecords) {
    // repeated keys, a NUL inside a key, an empty key and value, awkward bytes
    DbPtr odd(DbTOpen(Path("out/odd.xdb").c_str(), DBT_NOWRITE));
    for (auto [k, v] : {std::pair<std::string, std::string>{"#k", "tab\there"}, {"k", "1"}, {"k", "2"},
                        {std::string("a\0b", 3), "\x01\r\n\\\xE9"}, {"", ""}})
        ASSERT_EQ(1, DbTAppendRecord(odd.get(), k.data(), static_cast<int>(k.size()), v.data(),
                                     static_cast<int>(v.size())));
    ASSERT_EQ(1, DbmTArchiveDb(odd.get()));
    std::string cmd = "'" BINARY_DIR "/xdbtool' dump '" + Path("out/odd.xdb") + "' | '" BINARY_DIR
                      "/xdbtool' compile - '" + Path("out/again.xdb") + "'";
    ASSERT_EQ(0, system(cmd.c_str()));
    DbPtr again(DbTOpen(Path("out/again.xdb").c_str(), 0));
    EXPECT_EQ(Records(odd.get()), Records(again.get()));
    EXPECT_EQ(5u, Records(again.get()).size());
    ExpectClean();
}

// Every seed of the fuzz corpus, loaded as a database (what of it holds together),
// dumped and compiled again gives the same records.
TEST(DbText, DumpRoundTripsOverTheFuzzCorpus) {
    int files = 0;
    for (const std::string &name : DirNames(SOURCE_DIR "/fuzz/corpus/db")) {
        std::ifstream in(SOURCE_DIR "/fuzz/corpus/db/" + name, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), {});
        for (int type : {DBT_TYPE_LEGACY, DBT_TYPE_HEADERED}) {
            DbPtr db(DbTOpen("./never-written", DBT_NOCHECK | DBT_NOWRITE));
            auto *content = static_cast<unsigned char *>(GetMem(static_cast<int>(bytes.size())));
            memcpy(content, bytes.data(), bytes.size());
            DbTSetContent(db.get(), content, static_cast<int>(bytes.size()));
            DbTSetDbType(db.get(), type);
            char *text = nullptr;
            size_t len = 0;
            FILE *out = open_memstream(&text, &len);
            DbDumpSource(db.get(), out);
            fclose(out);
            DbPtr again(DbTOpen("./never-written", DBT_NOCHECK | DBT_NOWRITE));
            char err[128];
            EXPECT_GE(DbCompileSource(again.get(), text, len, err, sizeof err), 0) << name << ": " << err;
            EXPECT_EQ(Records(db.get()), Records(again.get())) << name;
            free(text);
        }
        ++files;
    }
    EXPECT_GT(files, 0);
}

TEST_F(XdbTool, ChangesKeepALegacyFileLegacy) {
    ASSERT_EQ(1, DbmPutRecord("old", "k", "v", 1));
    ASSERT_EQ(0, Tool(Path("work"), {"put", Path("db/old.xdb"), "j", "w"}).Status);
    char buf[8] = {};
    EXPECT_EQ(1, DbmGetRecordN("old", "j", buf, sizeof buf));
    EXPECT_STREQ("w", buf);
}

TEST_F(XdbTool, UsageAndMessagesNameTheFileAndTheReason) {
    ToolRun r = Tool(Path("work"), {"frobnicate"});
    EXPECT_EQ(2, r.Status);
    EXPECT_NE(std::string::npos, r.Out.find("usage: xdbtool compile SOURCE FILE.xdb"));
    r = Tool(Path("work"), {"--help"});
    EXPECT_EQ(0, r.Status);
    EXPECT_EQ(0u, r.Out.find("usage: xdbtool compile SOURCE FILE.xdb"));
    r = Tool(Path("work"), {"list", Path("out/none.xdb")});
    EXPECT_EQ(1, r.Status);
    EXPECT_NE(std::string::npos, r.Out.find("none.xdb: cannot read: No such file or directory")) << r.Out;
    EXPECT_EQ(1, Tool(Path("work"), {"compile", Path("none.txt"), Path("out/n.xdb")}).Status);
    r = Tool(Path("work"), {"put", Path("out/big.xdb"), "k", std::string(65532, 'v')});
    EXPECT_EQ(1, r.Status);
    EXPECT_NE(std::string::npos, r.Out.find("big.xdb: cannot write: a record of 65536 bytes, longer than the limit of 65535"))
        << r.Out;
    // a write that cannot finish (here a file size limit) names the system's reason
    ASSERT_EQ(0, Tool(Path("work"), {"put", Path("out/full.xdb"), "k", "v"}).Status);
    std::vector<unsigned char> before = ReadBytes(Path("out/full.xdb"));
    std::string cmd = "ulimit -f 4; '" BINARY_DIR "/xdbtool' put '" + Path("out/full.xdb") + "' j " +
                      std::string(6000, 'v') + " 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    char out[512] = {};
    size_t got = fread(out, 1, sizeof out - 1, p);
    EXPECT_NE(0, pclose(p));
    EXPECT_NE(nullptr, strstr(out, "full.xdb: cannot write: File too large")) << std::string(out, got);
    EXPECT_EQ(before, ReadBytes(Path("out/full.xdb")));
    ExpectClean();
}

// 200 rounds of two puts of different keys at once: none is lost and the file
// always loads whole.
TEST_F(XdbTool, ParallelPutsLoseNoUpdate) {
    std::string db = Path("out/p.xdb");
    for (int round = 0; round < 200; ++round) {
        std::string a = "a" + std::to_string(round), b = "b" + std::to_string(round);
        pid_t pa = Spawn({"put", db, a, "1"}), pb = Spawn({"put", db, b, "2"});
        ASSERT_EQ(0, Reap(pa));
        ASSERT_EQ(0, Reap(pb));
        DbPtr now(DbTOpen(db.c_str(), 0));
        ASSERT_EQ(-1, now->DamagePos) << round;
        ASSERT_EQ(2 * (round + 1), now->Count) << round;
    }
    ExpectClean();
}

// SIGINT, SIGTERM and SIGHUP at any moment leave the old file or the new one and no
// temporary file; what kill -9 leaves is removed by the next writer.
TEST_F(XdbTool, InterruptedPutsLeaveNothingBehind) {
    std::string db = Path("out/i.xdb");
    {
        DbPtr big(DbTOpen(db.c_str(), DBT_NOWRITE));
        std::string value(2000, 'v');
        for (int i = 0; i < 2000; ++i)
            DbmTPutRecord(big.get(), ("k" + std::to_string(i)).c_str(), value.data(), 2000);
        ASSERT_EQ(1, DbmTArchiveDb(big.get()));
    }
    std::mt19937 rng(11);
    const int sigs[] = {SIGINT, SIGTERM, SIGHUP, SIGKILL};
    for (int round = 0; round < 40; ++round) {
        pid_t pid = Spawn({"put", db, "r" + std::to_string(round), "x"});
        usleep(std::uniform_int_distribution<int>(0, 30000)(rng));
        int sig = sigs[round % 4];
        kill(pid, sig);
        int rc = Reap(pid);
        DbPtr now(DbTOpen(db.c_str(), 0));
        ASSERT_EQ(-1, now->DamagePos) << round;
        if (sig == SIGKILL) {  // the next writer clears what the killed one left
            ASSERT_EQ(0, Reap(Spawn({"put", db, "after" + std::to_string(round), "x"})));
        }
        ASSERT_EQ(std::vector<std::string>{"i.xdb"}, DirNames(Path("out"))) << round << " rc " << rc;
    }
}

// A file that is not a whole database, or not a file, is never replaced.
TEST_F(XdbTool, DamagedAndForeignTargetsAreRefused) {
    Source("a\t1\nb\t2\nc\t3\n");
    std::string db = Path("out/d.xdb");
    ASSERT_EQ(0, Tool(Path("work"), {"compile", Path("src.txt"), db}).Status);
    std::vector<unsigned char> bytes = ReadBytes(db);
    bytes[16 + 7 + 1] ^= 0x40;  // the second record's length field (records of 7 bytes)
    WriteBytes(db, bytes);
    ToolRun r = Tool(Path("work"), {"put", db, "k", "v"});
    EXPECT_EQ(1, r.Status);
    EXPECT_NE(std::string::npos, r.Out.find("d.xdb: damaged at offset 23")) << r.Out;
    EXPECT_EQ(bytes, ReadBytes(db));
    r = Tool(Path("work"), {"list", db});
    EXPECT_EQ(1, r.Status);
    EXPECT_EQ(0u, r.Out.find("a\n")) << r.Out;
    EXPECT_NE(std::string::npos, r.Out.find("warning: damaged at offset 23")) << r.Out;
    std::ofstream(Path("out/notes.txt")) << "a text file named by mistake\n";
    EXPECT_EQ(1, Tool(Path("work"), {"delete", Path("out/notes.txt"), "k"}).Status);
    EXPECT_EQ(1, Tool(Path("work"), {"compile", Path("src.txt"), Path("out/notes.txt")}).Status);
    std::vector<unsigned char> notes = ReadBytes(Path("out/notes.txt"));
    EXPECT_EQ("a text file named by mistake\n", std::string(notes.begin(), notes.end()));
    ASSERT_EQ(0, mkfifo(Path("out/fifo").c_str(), 0644));
    r = Tool(Path("work"), {"put", Path("out/fifo"), "k", "v"});
    EXPECT_NE(std::string::npos, r.Out.find("not a regular file (a FIFO)")) << r.Out;
    EXPECT_EQ(1, Tool(Path("work"), {"list", Path("out/fifo")}).Status);
    // a link is followed: the linked file changes, the link stays
    ASSERT_EQ(0, symlink("../out/d2.xdb", Path("work/link.xdb").c_str()));
    ASSERT_EQ(0, Tool(Path("work"), {"put", "link.xdb", "k", "v"}).Status);
    EXPECT_EQ("v\n", Tool(Path("work"), {"get", Path("out/d2.xdb"), "k"}).Out);
    struct stat sb;
    ASSERT_EQ(0, lstat(Path("work/link.xdb").c_str(), &sb));
    EXPECT_TRUE(S_ISLNK(sb.st_mode));
}

TEST_F(XdbTool, SourcesLoseCrAndByteOrderMarkAndKeepIsoLatin1) {
    Source("\xEF\xBB\xBFk\tcaf\xC3\xA9\r\nl\tna\xEFve\r\n");  // UTF-8, then ISO-8859-1
    mkdir(Path("out/fr_FR").c_str(), 0777);
    ToolRun r = Tool(Path("work"), {"compile", Path("src.txt"), Path("out/fr_FR/Core.xdb")});
    ASSERT_EQ(0, r.Status) << r.Out;
    EXPECT_NE(std::string::npos, r.Out.find("byte-order mark")) << r.Out;
    EXPECT_NE(std::string::npos, r.Out.find("line 1: the CR of CRLF line ends was dropped (2 lines)")) << r.Out;
    EXPECT_NE(std::string::npos, r.Out.find("line 1: UTF-8 text converted to ISO-8859-1")) << r.Out;
    DbPtr db(DbTOpen(Path("out/fr_FR/Core.xdb").c_str(), 0));
    EXPECT_EQ("caf\xE9", Value(db.get(), "k"));
    EXPECT_EQ("na\xEFve", Value(db.get(), "l"));
    Source("k\tok\nl\t\xE2\x82\xAC 5\n");  // the euro sign has no ISO-8859-1 form
    r = Tool(Path("work"), {"compile", Path("src.txt"), Path("out/fr_FR/Core.xdb")});
    EXPECT_EQ(1, r.Status);
    EXPECT_NE(std::string::npos, r.Out.find("line 2: character U+20AC has no ISO-8859-1 form")) << r.Out;
}

// Shipped databases ---------------------------------------------------------------

TEST_F(XdbTool, BuildMadeEveryShippedDatabase) {
    char *saved = pToolPath;
    pToolPath = SaveStr_(BINARY_DIR);
    const char *languages[] = {"en_US", "es_ES", "it_IT", "fr_FR", "de_DE", "pt_BR"};
    for (const char *lang : languages) {
        DbT *db = DbTOpen((std::string(lang) + "/CoreString").c_str(), 0);
        ASSERT_EQ(DBT_TYPE_HEADERED, db->Type) << lang;
        // each one equals its source, compiled here again
        std::ifstream in(std::string(SOURCE_DIR) + "/db-src/" + lang + "/CoreString.txt", std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), {});
        DbT *fresh = DbTOpen("./never-written", DBT_NOCHECK | DBT_NOWRITE);
        char err[128];
        ASSERT_GT(DbCompileSource(fresh, text.data(), text.size(), err, sizeof err), 0) << err;
        char *a = DbmTGetRecordList(db, " ", "");
        char *b = DbmTGetRecordList(fresh, " ", "");
        EXPECT_STREQ(b, a) << lang;
        EXPECT_EQ(Value(fresh, "25_510"), Value(db, "25_510")) << lang;
        PutMem(a);
        PutMem(b);
        DbTClose(fresh);
        DbTClose(db);
    }
    // the program's own database opening finds them by LANG through the shipped table
    const char *oldLang = getenv("LANG");
    std::string keptLang = oldLang ? oldLang : "";
    setenv("LANG", "fr_FR.ISO8859-1", 1);
    NlsResetLang();
    DbT *fr = NlsOpenDB("CoreString", 0);
    EXPECT_STREQ("fr_FR", pNLSLang);
    char buf[128];
    Nlssprintf(buf, sizeof buf, fr, 30, 44, 3, 3);
    EXPECT_STREQ("Ce texte doit comporter exactement 3 caract\xE8res.", buf);
    DbTClose(fr);
    if (oldLang)
        setenv("LANG", keptLang.c_str(), 1);
    else
        unsetenv("LANG");
    NlsResetLang();
    PutMem(pToolPath);
    pToolPath = saved;
}

}  // namespace
