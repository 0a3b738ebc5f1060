// The package-list parser: each command word, operator and modifier once, the
// lines that lack a word, and mksite's verdict over the same lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>

#include "PkgListParse.h"
#include "Tokens.h"

namespace {

class ParsePkgLineTest : public ::testing::Test {
protected:
    std::unique_ptr<PkgLine> line = std::make_unique<PkgLine>();
    int Parse(const std::string &text) { return ParsePkgLine(text.c_str(), line.get()); }
};

TEST_F(ParsePkgLineTest, EachCommandWordTakesItsOperand) {
    const struct { const char *text; int command; const char *operand; } cases[] = {
        {"dir docs", PK_DIR, "docs"},     {"t docs", PK_TOUCH, "docs"},     {"c docs", PK_COPY, "docs"},
        {"m docs", PK_IFEXISTS, "docs"},  {"s docs", PK_IFEXISTS2, "docs"}, {"newdir docs", PK_NEWDIR, "docs"},
        {"checkps docs", PK_CHECKPS, "docs"},
        {"#c docs", PK_COPY, "docs"},            // only "#" alone starts a comment
        {"c\ta  docs\r\n", PK_COPY, "docs"},     // a tab joins words, CR ends one
        {"# c docs", PK_COMMENT, nullptr},  {"   \r\n", PK_NONE, nullptr},
    };
    const char saved = chTokenDel;
    chTokenDel = 'Q';  // the one piece of tokenizer state the parser might touch
    ASSERT_EQ(Parse("v = 5.7 dirto conf /etc/conf mode 1\n"), PKMISS_NONE);
    EXPECT_EQ(line->command, PK_DIRTO);
    EXPECT_STREQ(line->destination, "/etc/conf");
    EXPECT_EQ(chTokenDel, 'Q');
    chTokenDel = saved;
    for (const auto &c : cases) {  // each forgets the line before it
        EXPECT_EQ(Parse(c.text), PKMISS_NONE) << c.text;
        EXPECT_EQ(line->command, c.command) << c.text;
        EXPECT_STREQ(line->operand, c.operand) << c.text;
        EXPECT_EQ(line->destination, nullptr) << c.text;
        EXPECT_EQ(line->tests + line->modifiers, 0) << c.text;
    }
}

TEST_F(ParsePkgLineTest, VersionTestsChainBeforeTheCommand) {
    const struct { const char *word; int op; } ops[] = {
        {"<", OP_LT}, {"<=", OP_LE}, {"=", OP_EQ}, {">", OP_GT}, {">=", OP_GE}, {"=<", 0}};
    for (const auto &o : ops) {
        ASSERT_EQ(Parse(std::string("v >= 5.6 v ") + o.word + " 5.8 c mid\n"), PKMISS_NONE) << o.word;
        ASSERT_EQ(line->tests, 2);
        EXPECT_EQ(line->test[0].op, OP_GE);
        EXPECT_EQ(line->test[1].op, o.op) << o.word;
        EXPECT_STREQ(line->test[1].release, "5.8");
        EXPECT_STREQ(line->operand, "mid");
    }
}

// Which word a line lacks, after how many complete tests; tests alone lack none.
TEST_F(ParsePkgLineTest, ALineSaysWhichWordItLacksAfterItsCompleteTests) {
    const struct { const char *text; int missing; int tests; } cases[] = {
        {"v >= 5.6\n", PKMISS_NONE, 1},       {"c\n", PKMISS_OPERAND, 0},  {"v", PKMISS_OPERAND, 0},
        {"dirto conf", PKMISS_DESTINATION, 0}, {"v >=", PKMISS_RELEASE, 0}, {"v >= 5.6 c", PKMISS_OPERAND, 1},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Parse(c.text), c.missing) << c.text;
        EXPECT_EQ(line->tests, c.tests) << c.text;
        EXPECT_EQ(line->modifiers, 0) << c.text;
    }
    EXPECT_EQ(Parse("v >= 5.6"), PKMISS_NONE);
    EXPECT_EQ(line->command, PK_NONE);
    EXPECT_STREQ(PkgLineMissing(PKMISS_DESTINATION), "the destination");
}

TEST_F(ParsePkgLineTest, ModifiersComeInWrittenOrderAndALoneWordEndsThem) {
    ASSERT_EQ(Parse("c a mode 644 bat kel owner root group staff link /l name b colour red sed s/x/ mode\n"), 0);
    const struct { int modifier; const char *value; } want[] = {
        {MOD_MODE, "644"}, {MOD_BAT, "kel"}, {MOD_OWNER, "root"}, {MOD_GROUP, "staff"},
        {MOD_LINK, "/l"},  {MOD_NAME, "b"},  {0, "red"},          {MOD_SED, "s/x/"}};
    ASSERT_EQ(line->modifiers, 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(line->modifier[i].modifier, want[i].modifier) << i;
        EXPECT_STREQ(line->modifier[i].value, want[i].value) << i;
    }
    // A first "sed" takes the rest of the line as written.
    ASSERT_EQ(Parse("c a sed  's/x/ y/' mode\\ 755\r\n"), PKMISS_NONE);
    ASSERT_EQ(line->modifiers, 1);
    EXPECT_STREQ(line->modifier[0].value, "'s/x/ y/' mode\\ 755");
}

// mksite over a product holding only the list, in a scratch directory.
class MksiteAgreement : public ::testing::Test {
protected:
    std::string root, err;
    int runs = 0;

    void SetUp() override {
        char tmpl[] = "/tmp/pkgparse.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        ASSERT_EQ(mkdir((root + "/product").c_str(), 0755), 0);
    }
    void TearDown() override { ASSERT_EQ(system(("rm -rf '" + root + "'").c_str()), 0); }

    int Mksite(const std::string &list) {
        std::string path = root + "/product/pkg.list";
        std::ofstream(path) << list;
        std::string cmd = std::string(BINARY_DIR) + "/mksite --setup " + path + " --help-file " + path + " " +
                          root + "/product " + root + "/site" + std::to_string(++runs) + " >/dev/null 2>" + root +
                          "/err";
        int status = system(cmd.c_str());
        std::stringstream text;
        text << std::ifstream(root + "/err").rdbuf();
        err = text.str();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(MksiteAgreement, RefusesByNumberExactlyTheLinesTheParserFindsLackingAWord) {
    const std::vector<std::string> lines = {
        "c a mode 644", "v >= 5.6", "c", "# comment", "dirto conf", "dirto conf /etc/conf owner root",
        "c b \\\n  mode 600",  // one line of two, as the installer reads it
        "v >= 5.6 c", "v >=", "v < 5.8 v", "m a sed s/x/y/", "newdir logs mode", "", "frob c",
    };
    std::string list, accepted;
    for (const std::string &l : lines)
        list += l + "\n";
    ASSERT_EQ(Mksite(list), 1) << err;
    auto line = std::make_unique<PkgLine>();
    int number = 1;
    for (const std::string &l : lines) {
        bool refused = ParsePkgLine((l + "\n").c_str(), line.get()) != PKMISS_NONE;
        std::string at = "\nline " + std::to_string(number) + ": ";
        EXPECT_EQ(err.find(at) != std::string::npos, refused) << l << "\n" << err;
        if (refused)
            EXPECT_NE(err.find(at + PkgLineMissing(line->missing)), std::string::npos) << err;
        else
            accepted += l + "\n";
        number += 1 + static_cast<int>(std::count(l.begin(), l.end(), '\n'));
    }
    ASSERT_NE(accepted, list);
    EXPECT_EQ(Mksite(accepted), 0) << err;
}

TEST_F(MksiteAgreement, RefusesALineTheInstallerCannotReadWhole) {
    EXPECT_EQ(Mksite("c a\nc " + std::string(LINEBUF_SIZE, 'x') + "\nc b\n"), 1);
    EXPECT_NE(err.find("\nline 2: longer than 4095 characters"), std::string::npos) << err;
}

}  // namespace
