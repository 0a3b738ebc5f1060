// Prompts: yes/no questions, message-and-wait, name checks and line prompts.
#include <gtest/gtest.h>

#include <string>

#include "MemMgr.h"
#include "MenuTestSupport.h"
#include "TextMenu.h"

using namespace menutest;

namespace {

TEST(PromptYN, AcceptsLowerCaseYesAndNoByTheirFirstLetter) {
    {
        StdinFeed in("yes\n");
        StdoutCapture out;
        EXPECT_EQ(1, PromptYN("Do you want to use %s", "/opt"));
        EXPECT_EQ("Do you want to use /opt? [y/n] ", out.Text());
    }
    {
        StdinFeed in("nope\n");
        StdoutCapture out;
        EXPECT_EQ(0, PromptYN("%s", "Go on"));
    }
}

TEST(PromptYN, AsksAgainOnCapitalsAndEmptyLines) {
    StdinFeed in("Y\nYes\n\nn\nleft over\n");
    StdoutCapture out;
    EXPECT_EQ(0, PromptYN("%s", "Really"));
    std::string q = "Really? [y/n] ";
    EXPECT_EQ(q + q + q + q, out.Text());
    EXPECT_EQ("left over\n", in.Rest());
}

TEST(PromptYN, StopsTheProgramAtTheEndOfInput) {
    ExitTrap trap;
    StdinFeed in("maybe\n");
    StdoutCapture out;
    try {
        PromptYN("%s", "Really");
        FAIL() << "PromptYN returned at the end of input";
    } catch (const ExitCalled &e) {
        EXPECT_EQ(1, e.Status);
    }
}

TEST(PostMsg, PrintsTheMessageAndWaitsForOneLine) {
    EnglishTexts texts;
    StdinFeed in("anything\nnext\n");
    StdoutCapture out;
    PostMsg("Disk %d of %d", 2, 3);
    EXPECT_EQ("Disk 2 of 3\nPress <Return> to continue ", out.Text());
    EXPECT_EQ("next\n", in.Rest());
}

TEST(PostMsg, ReturnsAtTheEndOfInput) {
    LangGuard lang("C");
    StdinFeed in("");
    StdoutCapture out;
    PostMsg("%s", "gone");
    EXPECT_EQ("gone\nPress <Return> to continue ", out.Text());  // no database: the built-in text
}

TEST(TestName, AcceptsLettersDigitsUnderscoreAndMinus) {
    StdoutCapture out;
    EXPECT_EQ(1, TestName("lp-0_A9"));
    EXPECT_EQ(1, TestName(""));
    EXPECT_EQ("", out.Text());
}

TEST(TestName, NamesTheFirstBadCharacterAndWaits) {
    EnglishTexts texts;
    StdinFeed in("\nrest\n");
    StdoutCapture out;
    EXPECT_EQ(0, TestName("lp 0.x"));
    EXPECT_EQ(
        "\n' ' is not a valid name character. \nOnly alphanumeric character, '-', and '_' are "
        "valid: \nPress <Return> to continue",
        out.Text());
    EXPECT_EQ("rest\n", in.Rest());
}

TEST(TestName, ShowsAnUnprintableByteAsItsCode) {
    EnglishTexts texts;
    StdinFeed in("\n");
    StdoutCapture out;
    EXPECT_EQ(0, TestName("lp\x1b[A"));
    EXPECT_EQ(0u, out.Text().find("\n'\\x1b' is not a valid name character."));
}

struct NamesMenu {
    TextMenuItem Items[5];
    TextMenu Menu{"Names", 0, nullptr, nullptr, nullptr, nullptr, Items, 0};
    NamesMenu() {
        Items[0] = {.pText = "Queue", .Type = MENUITEM_NAME, .Default = "lp"};
        Items[1] = {.pText = "Hidden", .Type = MENUITEM_TEXT, .State = MENUSTATE_HIDDEN};
        Items[2] = {.pText = "Host", .Type = MENUITEM_NAME};
        Items[3] = {.pText = "Note", .Type = MENUITEM_STRING};
        Items[4] = {.pText = nullptr};
        InitMenu(&Menu);
    }
    ~NamesMenu() { FreeMenu(&Menu); }
};

TEST(TestNames, StopsCheckingAtTheFirstHiddenItem) {
    NamesMenu m;
    StdoutCapture out;
    EXPECT_EQ(1, TestNames(&m.Menu));
    EXPECT_EQ("", out.Text());
}

TEST(TestNames, AnEmptyNameBeforeAnyHiddenItemFails) {
    EnglishTexts texts;
    NamesMenu m;
    m.Items[1].State = MENUSTATE_NORMAL;
    StdinFeed in("\n");
    StdoutCapture out;
    EXPECT_EQ(0, TestNames(&m.Menu));
    EXPECT_EQ("\nAll names must be set before applying setup.\nPress <Return> to continue", out.Text());
}

TEST(PromptUser, PrintsThePromptAsTextAndFillsTheBuffer) {
    StdinFeed in("/opt/site\n");
    StdoutCapture out;
    char buf[16];
    EXPECT_EQ(buf, PromptUser("100% sure? ", buf, sizeof buf));
    EXPECT_STREQ("/opt/site", buf);
    EXPECT_EQ("100% sure? ", out.Text());
}

TEST(PromptUser, ALineLongerThanTheBufferIsRefusedWhole) {
    EnglishTexts texts;
    StdinFeed in("0123456789abcdef\n\nnext\n");
    StdoutCapture out;
    char buf[8];
    EXPECT_EQ(buf, PromptUser("> ", buf, sizeof buf));
    EXPECT_STREQ("", buf);
    EXPECT_NE(std::string::npos, out.Text().find("from 0 to 7 characters long."));
    EXPECT_EQ("next\n", in.Rest());  // the rest of the line and the wait's line are read
}

TEST(PromptYN, ALongAnswerIsReportedAndAskedAgain) {
    EnglishTexts texts;
    StdinFeed in("y" + std::string(LINEBUF_SIZE, 'y') + "\n\nn\nafter\n");
    StdoutCapture out;
    EXPECT_EQ(0, PromptYN("%s", "Go"));
    std::string shown = out.Text();
    EXPECT_NE(std::string::npos, shown.find("from 0 to 4095 characters long."));
    size_t first = shown.find("Go? [y/n] ");
    ASSERT_NE(std::string::npos, first);
    EXPECT_NE(std::string::npos, shown.find("Go? [y/n] ", first + 1));
    EXPECT_EQ("after\n", in.Rest());
}

TEST(PromptUser, WithoutABufferGivesASavedCopy) {
    StdinFeed in("answer\n");
    StdoutCapture out;
    char *copy = PromptUser("> ", nullptr, 0);
    ASSERT_NE(nullptr, copy);
    EXPECT_STREQ("answer", copy);
    PutMem(copy);
}

TEST(PromptUser, GivesNullAtTheEndOfInput) {
    StdinFeed in("");
    StdoutCapture out;
    char buf[8];
    EXPECT_EQ(nullptr, PromptUser("> ", buf, sizeof buf));
    EXPECT_EQ(nullptr, PromptUser("> ", nullptr, 0));
}

}  // namespace
