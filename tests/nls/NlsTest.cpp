// Translation files, language choice, message fetches and their fallbacks,
// formatted output with the conversion check, and text conversions.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "../dbm/DbTestDir.h"
#include "DbText.h"
#include "DbmT.h"
#include "NlsUtils.h"

namespace {

std::string Trans(const std::string &text) {
    char *t = ParseTransText(text.data(), text.size());
    std::string s(t);
    PutMem(t);
    return s;
}

std::string ReadText(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// LANG for one test, restored afterwards; the chosen language is forgotten on both
// sides so that each test chooses again.
class LangGuard {
public:
    explicit LangGuard(const char *value) {
        const char *old = getenv("LANG");
        HadOld = old != nullptr;
        if (old)
            Old = old;
        if (value)
            setenv("LANG", value, 1);
        else
            unsetenv("LANG");
        NlsResetLang();
    }
    ~LangGuard() {
        if (HadOld)
            setenv("LANG", Old.c_str(), 1);
        else
            unsetenv("LANG");
        NlsResetLang();
    }

private:
    bool HadOld = false;
    std::string Old;
};

class Nls : public DbTestDir {
protected:
    DbT *SavedCore = nullptr;
    void SetUp() override {
        DbTestDir::SetUp();
        SavedCore = pDrvCoreDB;
        pDrvCoreDB = nullptr;
        NlsResetLang();
    }
    void TearDown() override {
        if (pDrvCoreDB)
            DbTClose(pDrvCoreDB);
        pDrvCoreDB = SavedCore;
        NlsResetLang();
        DbTestDir::TearDown();
    }
    void WriteTrans(const std::string &text) { std::ofstream(Path("trans.conf")) << text; }
    // A database "<lang>/<name>" under the tool path with the given records.
    void MakeDb(const char *name, std::initializer_list<std::pair<const char *, const char *>> records) {
        DbT *db = DbTOpen(name, DBT_NOWRITE);
        for (auto &r : records)
            ASSERT_EQ(1, DbmTPutRecord(db, r.first, r.second, static_cast<int>(strlen(r.second))));
        ASSERT_EQ(1, DbmTArchiveDb(db));
        DbTClose(db);
    }
};

// Translation file ------------------------------------------------------------

TEST(ParseTransText, NormalisesSpacingAndLineEnds) {
    EXPECT_EQ("fr = fr_FR fr\nDefault en_US\n", Trans("fr  =\tfr_FR   fr\n\nDefault en_US"));
    // only a line feed ends a line: a word before a carriage return is followed by a blank
    EXPECT_EQ("a = b c d\n", Trans("a = b c\r\nd\n"));
    EXPECT_EQ("fr = fr_FR fr\n", Trans("fr=fr_FR fr\n"));
    EXPECT_EQ("Default en_US\nde = de\n", Trans("Default en_US de = de\n"));
}

TEST(ParseTransText, CommentsContributeNothing) {
    EXPECT_EQ("fr = fr_FR x\n", Trans("# French\nfr = fr_FR x\n# the end"));
    EXPECT_EQ("a = b ", Trans("a = b # trailing comment without a line end"));
}

TEST(ParseTransText, StopsAtTheSizeLimit) {
    std::string big;
    while (big.size() < 20000)
        big += "word ";
    std::string t = Trans(big);
    EXPECT_EQ(static_cast<size_t>(NLS_TRANS_MAX - 1), t.size());
}

TEST_F(Nls, ParseTransFileReadsBesideTheProgram) {
    EXPECT_EQ(nullptr, ParseTransFile("trans.conf"));
    WriteTrans("fr = fr_FR fr\n");
    char *t = ParseTransFile("trans.conf");
    ASSERT_NE(nullptr, t);
    EXPECT_STREQ("fr = fr_FR fr\n", t);
    PutMem(t);
}

TEST_F(Nls, LanguageComesFromTheTranslationFile) {
    WriteTrans("fr = fr_FR fr\nDefault en_US\n");
    {
        LangGuard lang("fr_FR");
        EXPECT_STREQ("fr", GetDesiredNLSLang());
    }
    {
        LangGuard lang("de_DE");
        EXPECT_STREQ("en_US", GetDesiredNLSLang());
    }
    {
        LangGuard lang("fr");  // the last word of its line is never found
        EXPECT_STREQ("en_US", GetDesiredNLSLang());
    }
}

TEST_F(Nls, DefaultAppliesAndEnglishWithoutOne) {
    WriteTrans("de = de_DE x\nDefault de\n");
    {
        LangGuard lang(nullptr);
        EXPECT_STREQ("de", GetDesiredNLSLang());
    }
    WriteTrans("de = de_DE x\n");
    {
        LangGuard lang("it_IT");
        EXPECT_STREQ("en_US", GetDesiredNLSLang());
    }
}

TEST_F(Nls, LanguageIsComputedOnce) {
    WriteTrans("fr = fr_FR x\n");
    LangGuard lang("fr_FR");
    char *first = GetDesiredNLSLang();
    setenv("LANG", "de_DE", 1);
    EXPECT_EQ(first, GetDesiredNLSLang());
    EXPECT_STREQ("fr", pNLSLang);
}

TEST_F(Nls, WithoutTranslationFileTheEnglishTableDecides) {
    {
        LangGuard lang("fr_FR");
        EXPECT_STREQ("en_US", GetDesiredNLSLang());  // no file, no database
    }
    MakeDb("en_US/CoreString", {{"999_1", "fr = fr_FR x\nDefault en_US\n"}});
    LangGuard lang("fr_FR");
    EXPECT_STREQ("fr", GetDesiredNLSLang());
}

// Shipped texts ---------------------------------------------------------------

const char *const Languages[] = {"en_US", "es_ES", "it_IT", "fr_FR", "de_DE", "pt_BR"};

TEST(ShippedTranslationFile, EveryLanguageIsChosenByItsLangValues) {
    std::string conf = ReadText(std::string(SOURCE_DIR) + "/db-src/trans.conf");
    char *table = ParseTransText(conf.data(), conf.size());
    std::istringstream lines(table);
    int languages = 0;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string x; words >> x;)
            w.push_back(x);
        if (w.empty() || w[0] == "Default")
            continue;
        ASSERT_GE(w.size(), 4u) << line;
        ASSERT_EQ("=", w[1]);
        ++languages;
        for (size_t i = 2; i + 1 < w.size(); ++i) {
            LangGuard lang(w[i].c_str());
            char *saved = pToolPath;
            pToolPath = SaveStr("%s/db-src", SOURCE_DIR);
            EXPECT_EQ(w[0], GetDesiredNLSLang()) << "LANG=" << w[i];
            PutMem(pToolPath);
            pToolPath = saved;
        }
    }
    PutMem(table);
    EXPECT_EQ(6, languages);
    for (const char *lang : Languages) {
        std::ifstream src(std::string(SOURCE_DIR) + "/db-src/" + lang + "/CoreString.txt");
        EXPECT_TRUE(src.good()) << lang;
    }
}

// Loads a shipped source into an in-memory database (nothing is written).
DbT *LoadSource(const char *lang) {
    std::string text = ReadText(std::string(SOURCE_DIR) + "/db-src/" + lang + "/CoreString.txt");
    DbT *db = DbTOpen("./never-written", DBT_NOCHECK | DBT_NOWRITE);
    char err[128];
    if (DbCompileSource(db, text.data(), text.size(), err, sizeof err) < 0) {
        ADD_FAILURE() << lang << ": " << err;
        DbTClose(db);
        return nullptr;
    }
    return db;
}

class ShippedTexts : public DbTestDir {};

TEST_F(ShippedTexts, EveryLanguageHasEveryKeyWithTheEnglishConversions) {
    DbT *en = LoadSource("en_US");
    ASSERT_NE(nullptr, en);
    char *keys = DbmTGetRecordList(en, " ", "");
    std::istringstream words(keys);
    std::vector<std::string> all;
    for (std::string k; words >> k;)
        all.push_back(k);
    PutMem(keys);
    for (const char *k : {"25_201", "25_510", "25_1003", "25_1018", "20_150", "30_22", "30_44", "999_1"})
        EXPECT_NE(all.end(), std::find(all.begin(), all.end(), k)) << k;
    for (const char *lang : Languages) {
        DbT *db = LoadSource(lang);
        ASSERT_NE(nullptr, db) << lang;
        for (const std::string &k : all) {
            if (k == "999_1")
                continue;
            char text[4096], english[4096];
            ASSERT_GT(DbmTGetRecordN(db, k.c_str(), text, sizeof text), 0) << lang << " " << k;
            DbmTGetRecordN(en, k.c_str(), english, sizeof english);
            EXPECT_TRUE(NlsFormatMatches(text, english) && NlsFormatMatches(english, text))
                << lang << " " << k << ": " << text;
            int group = atoi(k.c_str()), number = atoi(strchr(k.c_str(), '_') + 1);
            EXPECT_TRUE(NlsFormatMatches(text, NlsExpectedFormat(group, number))) << lang << " " << k;
            for (size_t i = 0; text[i]; ++i) {  // ISO-8859-1, not UTF-8 sequences
                auto c = static_cast<unsigned char>(text[i]), d = static_cast<unsigned char>(text[i + 1]);
                EXPECT_FALSE((c == 0xC2 || c == 0xC3) && d >= 0x80 && d < 0xC0) << lang << " " << k;
            }
        }
        char save[64], cancel[64];
        DbmTGetRecordN(db, "25_201", save, sizeof save);
        DbmTGetRecordN(db, "25_202", cancel, sizeof cancel);
        EXPECT_NE(tolower(save[0]), tolower(cancel[0])) << lang;
        const char *help[] = {"~e ", "~c ", "~b "};
        for (int i = 0; i < 3; ++i) {
            char label[64];
            DbmTGetRecordN(db, ("20_" + std::to_string(150 + i)).c_str(), label, sizeof label);
            EXPECT_EQ(0, strncmp(label, help[i], 3)) << lang << " " << label;
        }
        DbTClose(db);
    }
    std::string conf = ReadText(std::string(SOURCE_DIR) + "/db-src/trans.conf");
    char *table = ParseTransText(conf.data(), conf.size());
    char stored[NLS_TRANS_MAX];
    DbmTGetRecordN(en, "999_1", stored, sizeof stored);
    EXPECT_STREQ(table, stored);
    PutMem(table);
    DbTClose(en);
}

// Fetches ---------------------------------------------------------------------

TEST_F(Nls, WithoutADatabaseFetchesFallBack) {
    char *byNumber = NlsFetchString(nullptr, nullptr, NLS_BY_NUMBER, 25, 1002);
    EXPECT_STREQ("25_1002", byNumber);
    EXPECT_TRUE(NlsIsMissing(byNumber));
    NlsFreeString(byNumber);
    EXPECT_STREQ("Error", NlsFetchString(nullptr, nullptr, NLS_BY_KEY, "25_1002"));
    EXPECT_STREQ("Error", NlsFetchString(nullptr, nullptr, NLS_BY_KEY2, "25_1002"));
    EXPECT_STREQ("Error", NlsFetchString(nullptr, nullptr, NLS_BY_NUMBER, 0, 0));
    EXPECT_STREQ("30_22", NlsFetchString(nullptr, nullptr, NLS_BY_NUMBER_LONG, 30, 22));
    char buf[16];
    EXPECT_STREQ("25_1", NlsFetchStringN(nullptr, buf, sizeof buf, nullptr, NLS_BY_NUMBER, 25, 1));
    EXPECT_STREQ("25_1", buf);
}

TEST_F(Nls, EmptyDatabaseGivesKeyTexts) {
    DbT *db = DbTOpen("empty", 0);
    EXPECT_STREQ("25_1002", NlsFetchString(db, nullptr, NLS_BY_NUMBER, 25, 1002));
    EXPECT_STREQ("25_1002", NlsFetchString(db, nullptr, NLS_BY_KEY, "25_1002"));
    char buf[4];
    size_t full = 0;
    char *text = NlsFetchStringN(db, buf, sizeof buf, &full, NLS_BY_KEY, "25_1002");
    EXPECT_STREQ("25_1002", text);
    EXPECT_STREQ("25_", buf);
    EXPECT_EQ(7u, full);
    DbTClose(db);
}

TEST_F(Nls, FoundMessagesComeAsCopiesOrInTheBuffer) {
    MakeDb("m", {{"25_1000", "Press <Return> to continue"}});
    DbT *db = DbTOpen("m", 0);
    char *copy = NlsFetchString(db, nullptr, NLS_BY_NUMBER, 25, 1000);
    EXPECT_STREQ("Press <Return> to continue", copy);
    EXPECT_FALSE(NlsIsMissing(copy));
    NlsFreeString(copy);
    char small[6];
    size_t full = 0;
    EXPECT_EQ(small, NlsFetchStringN(db, small, sizeof small, &full, NLS_BY_KEY, "25_1000"));
    EXPECT_STREQ("Press", small);
    EXPECT_EQ(26u, full);
    char *longCopy = NlsFetchString(db, nullptr, NLS_BY_NUMBER_LONG, 25, 1000);
    EXPECT_STREQ("Press <Return> to continue", longCopy);
    NlsFreeString(longCopy);
    DbTClose(db);
}

TEST_F(Nls, LongTextsBeyondTheModuleBuffer) {
    std::string big(5000, 'L');
    MakeDb("long", {{"30_1", big.c_str()}});
    DbT *db = DbTOpen("long", 0);
    char *text = NlsFetchString(db, nullptr, NLS_BY_NUMBER_LONG, 30, 1);
    EXPECT_EQ(big, text);
    NlsFreeString(text);
    DbTClose(db);
}

TEST_F(Nls, OpenDBUsesTheLanguageFolder) {
    WriteTrans("fr = fr_FR x\nDefault en_US\n");
    {
        LangGuard lang("en_US");
        testing::internal::CaptureStderr();
        EXPECT_EQ(nullptr, NlsOpenDB("CoreString", 0));
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ("ERROR:  Could not open English database:  " + Dir + "/db/en_US/CoreString.xdb\n", err);
    }
    {
        LangGuard lang("fr_FR");
        DbT *db = NlsOpenDB("CoreString", 0);
        ASSERT_NE(nullptr, db);  // another language: an empty database
        EXPECT_STREQ("25_1", NlsFetchString(db, nullptr, NLS_BY_NUMBER, 25, 1));
        DbTClose(db);
        MakeDb("fr/CoreString", {{"25_1", "un"}});
        db = NlsOpenDB("CoreString", 0);
        char *text = NlsFetchString(db, nullptr, NLS_BY_NUMBER, 25, 1);
        EXPECT_STREQ("un", text);
        NlsFreeString(text);
        DbTClose(db);
    }
}

// Formatted output ----------------------------------------------------------------

TEST(NlsFormatMatches, ComparesConversionsInOrderAndType) {
    EXPECT_TRUE(NlsFormatMatches("Between %i and %i.", "%i%i"));
    EXPECT_TRUE(NlsFormatMatches("exactly %d long", "%i%i"));  // fewer is fine
    EXPECT_TRUE(NlsFormatMatches("100%% sure", ""));
    EXPECT_TRUE(NlsFormatMatches("'%c' (%-5s)", "%c%s"));
    EXPECT_TRUE(NlsFormatMatches("%*d", "%i%i"));
    EXPECT_FALSE(NlsFormatMatches("%s and %i", "%i%i"));
    EXPECT_FALSE(NlsFormatMatches("%i %i %i", "%i%i"));
    EXPECT_FALSE(NlsFormatMatches("%s", ""));
    EXPECT_FALSE(NlsFormatMatches("%n", "%n"));
    EXPECT_FALSE(NlsFormatMatches("%1$s", "%s"));
    EXPECT_FALSE(NlsFormatMatches("%ls", "%s"));
    EXPECT_FALSE(NlsFormatMatches("%ld", "%i"));
    EXPECT_FALSE(NlsFormatMatches("dangling %", ""));
    EXPECT_FALSE(NlsFormatMatches(nullptr, "%s"));
}

TEST_F(Nls, FprintfPrintsErrorForMissingOrMismatchedTexts) {
    testing::internal::CaptureStdout();
    Nlsfprintf(stdout, nullptr, 25, 1003, 1, 10);
    EXPECT_EQ("Error", testing::internal::GetCapturedStdout());
    MakeDb("f", {{"25_1003", "between %i and %i"}, {"25_1009", "Invalid %s %s"}, {"7_1", "plain %s"}});
    DbT *db = DbTOpen("f", 0);
    testing::internal::CaptureStdout();
    Nlsfprintf(stdout, db, 25, 1003, 1, 10);
    Nlsfprintf(stdout, db, 25, 1009, "entry");  // one argument more than the text's
    Nlsfprintf(stdout, db, 7, 1, "x");           // an unknown message may not convert
    Nlsfprintf(stdout, db, 25, 1000);            // missing
    EXPECT_EQ("between 1 and 10ErrorErrorError", testing::internal::GetCapturedStdout());
    DbTClose(db);
}

TEST_F(Nls, SprintfIsBoundedAndFallsBack) {
    char buf[12];
    EXPECT_EQ(5, Nlssprintf(buf, sizeof buf, nullptr, 30, 42, 1, 2));
    EXPECT_STREQ("Error", buf);
    MakeDb("s", {{"30_42", "from %i to %i characters"}, {"30_22", "%s Help"}});
    DbT *db = DbTOpen("s", 0);
    EXPECT_EQ(22, Nlssprintf(buf, sizeof buf, db, 30, 42, 2, 8));
    EXPECT_STREQ("from 2 to 8", buf);
    char title[64];
    Nlssprintf(title, sizeof title, db, 30, 22, "Talvo");
    EXPECT_STREQ("Talvo Help", title);
    DbTClose(db);
}

TEST(NlsPrintChecked, UsesTheTextOnlyWhenItFitsTheEnglish) {
    char buf[64];
    NlsFormatChecked(buf, sizeof buf, "Il a %i colonnes", "25_207", "It has %i columns", 80);
    EXPECT_STREQ("Il a 80 colonnes", buf);
    NlsFormatChecked(buf, sizeof buf, "Il a %s colonnes", "25_207", "It has %i columns", 80);
    EXPECT_STREQ("25_207", buf);
    testing::internal::CaptureStdout();
    NlsPrintChecked(stdout, "%n", nullptr, "%i", 1);
    EXPECT_EQ("Error", testing::internal::GetCapturedStdout());
}

// Conversions ----------------------------------------------------------------------

TEST_F(Nls, GuiStrCvtReplacesEachStringConversion) {
    char out[64];
    EXPECT_EQ(11, NlsGuiStrCvt("%s and %s", 7, out, sizeof out));
    EXPECT_STREQ("7_1 and 7_2", out);  // no database: key texts
    MakeDb("g", {{"7_1", "yes"}, {"7_2", "no"}});
    pDrvCoreDB = DbTOpen("g", 0);
    EXPECT_EQ(10, NlsGuiStrCvt("%s and %s", 7, out, sizeof out));
    EXPECT_STREQ("yes and no", out);
    char small[6];
    EXPECT_EQ(10, NlsGuiStrCvt("%s and %s", 7, small, sizeof small));
    EXPECT_STREQ("yes a", small);
}

TEST(NlsCalcStrVal, SumsSignedBytesWithSquaredPositions) {
    EXPECT_STREQ("0000000000000000", NlsCalcStrVal(""));
    // "AB": a = 65 + 66, b = 65 * 1 + 66 * 4
    EXPECT_STREQ("0000014900000083", NlsCalcStrVal("AB"));
    // a byte above 127 counts as negative
    EXPECT_STREQ("FFFFFFFFFFFFFFFF", NlsCalcStrVal("\xFF"));
    std::string many(70000, '\x7F');  // b wraps around 2^32
    uint32_t a = 0, b = 0;
    for (uint32_t i = 1; i <= many.size(); ++i) {
        a += 127;
        b += 127u * i * i;
    }
    char expected[17];
    snprintf(expected, sizeof expected, "%08X%08X", b, a);
    EXPECT_STREQ(expected, NlsCalcStrVal(many.c_str()));
}

struct FakeItem {
    const char *pText;
    char *pStates;
    const char *pPrompt;
};

TEST_F(Nls, ItemConvertersStoreSavedCopiesOfGroup25) {
    MakeDb("i", {{"25_10", "first"}, {"25_11", "second"}});
    pDrvCoreDB = DbTOpen("i", 0);
    FakeItem items[3] = {};
    NlsTtyMenuItemCvt(items, 10, 2);
    EXPECT_STREQ("first", items[0].pText);
    EXPECT_STREQ("second", items[1].pText);
    EXPECT_EQ(nullptr, items[2].pText);
    NlsTtyMenuItemStateCvt(items, 11, 1);
    EXPECT_STREQ("second", items[0].pStates);
    NlsTtyMenuItemPromptCvt(items + 2, 12, 1);
    EXPECT_STREQ("25_12", items[2].pPrompt);
    const char *title = nullptr;
    NlsTtyMenuCvt(&title, 10);
    EXPECT_STREQ("first", title);
    for (FakeItem &it : items) {
        PutMem(const_cast<char *>(it.pText));
        PutMem(it.pStates);
        PutMem(const_cast<char *>(it.pPrompt));
    }
    PutMem(const_cast<char *>(title));
}

}  // namespace

