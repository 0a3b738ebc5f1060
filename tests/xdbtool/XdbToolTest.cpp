// The database tool: the source format, the commands run as the built program, and
// the shipped databases the build made with it.
#include <dirent.h>
#include <sys/wait.h>

#include <cstring>
#include <fstream>
#include <string>

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
    ToolRun r{-1, ""};
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.Out.append(buf, n);
    int st = pclose(p);
    r.Status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::vector<std::string> Entries(const std::string &dir) {
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (strcmp(e->d_name, ".") && strcmp(e->d_name, ".."))
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
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
        EXPECT_TRUE(Entries(Path("work")).empty());
        for (const std::string &e : Entries(Path("out")))
            EXPECT_EQ(std::string::npos, e.find(".xdbtool")) << e;
    }
};

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

TEST_F(XdbTool, DumpCompilesBackToTheSameRecords) {
    // a legacy file with awkward bytes in keys and values
    ASSERT_EQ(1, DbmPutRecord("legacy", "#hash key", "tab\there", 8));
    ASSERT_EQ(1, DbmPutRecord("legacy", "ctl", "\x01\n\\\xE9", 4));
    ToolRun dump = Tool(Path("work"), {"dump", Path("db/legacy.xdb")});
    ASSERT_EQ(0, dump.Status);
    std::ofstream(Path("dump.txt"), std::ios::binary) << dump.Out;
    ASSERT_EQ(0, Tool(Path("work"), {"compile", Path("dump.txt"), Path("out/again.xdb")}).Status);
    DbPtr legacy(DbTOpen("legacy", 0));
    DbPtr again(DbTOpen(Path("out/again.xdb").c_str(), 0));
    EXPECT_EQ(DBT_TYPE_LEGACY, legacy->Type);
    EXPECT_EQ(DBT_TYPE_HEADERED, again->Type);
    char *a = DbmTGetRecordList(legacy.get(), "|", "");
    char *b = DbmTGetRecordList(again.get(), "|", "");
    EXPECT_STREQ(a, b);
    PutMem(a);
    PutMem(b);
    for (const char *k : {"#hash key", "ctl"})
        EXPECT_EQ(Value(legacy.get(), k), Value(again.get(), k)) << k;
    EXPECT_EQ(dump.Out, Tool(Path("work"), {"dump", Path("out/again.xdb")}).Out);
    ExpectClean();
}

TEST_F(XdbTool, ChangesKeepALegacyFileLegacy) {
    ASSERT_EQ(1, DbmPutRecord("old", "k", "v", 1));
    ASSERT_EQ(0, Tool(Path("work"), {"put", Path("db/old.xdb"), "j", "w"}).Status);
    char buf[8] = {};
    EXPECT_EQ(1, DbmGetRecordN("old", "j", buf, sizeof buf));
    EXPECT_STREQ("w", buf);
}

TEST_F(XdbTool, UsageAndUnreadableFiles) {
    ToolRun r = Tool(Path("work"), {"frobnicate"});
    EXPECT_EQ(2, r.Status);
    EXPECT_NE(std::string::npos, r.Out.find("usage: xdbtool compile SOURCE FILE.xdb"));
    EXPECT_EQ(1, Tool(Path("work"), {"list", Path("out/none.xdb")}).Status);
    EXPECT_EQ(1, Tool(Path("work"), {"compile", Path("none.txt"), Path("out/n.xdb")}).Status);
    ExpectClean();
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
