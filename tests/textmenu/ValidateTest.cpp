// Validation templates: results and the messages shown for each fault.
#include <gtest/gtest.h>

#include <string>

#include "MenuTestSupport.h"
#include "TextMenu.h"

using namespace menutest;

namespace {

const std::string Press = "\nPress <Return> to continue ";

struct Outcome {
    int Result;
    std::string Shown;
};

class ValidateEntryTest : public ::testing::Test {
protected:
    Outcome Check(const char *entry, const char *templ) {
        StdinFeed in("\n\n\n");
        StdoutCapture out;
        int r = ValidateEntry(entry, templ);
        return {r, out.Text()};
    }
    EnglishTexts texts;
    FreshTexts fresh;
};

TEST_F(ValidateEntryTest, NoTemplateAcceptsEverything) {
    EXPECT_EQ(0, Check("anything at all", nullptr).Result);
    EXPECT_EQ(0, Check("anything", "").Result);
}

TEST_F(ValidateEntryTest, SettingsFileTemplate) {
    const char *t = "/A(1,255)+-+_+/";
    Outcome ok = Check("/tmp/menu_1", t);
    EXPECT_EQ(0, ok.Result);
    EXPECT_EQ("", ok.Shown);

    Outcome first = Check("menu.cfg", t);
    EXPECT_EQ(3, first.Result);
    EXPECT_EQ("Invalid character m\n/ was expected after \"\"" + Press, first.Shown);

    Outcome point = Check("/tmp/menu.cfg", t);
    EXPECT_EQ(3, point.Result);
    EXPECT_EQ("Invalid character '.'\nThis text may contain \"abc..zABC..Z012..9-_/\"" + Press,
              point.Shown);
}

TEST_F(ValidateEntryTest, AnUnprintableByteIsShownAsItsCode) {
    Outcome arrow = Check("ab\x1b[A", "A(1,8)");
    EXPECT_EQ(3, arrow.Result);
    EXPECT_EQ("Invalid character '\\x1b'\nThis text may contain \"abc..zABC..Z012..9\"" + Press,
              arrow.Shown);
    EXPECT_EQ("Invalid digit:  \\xe9\n" + Press, Check("1\xe9", "d(1,99)").Shown);
    EXPECT_EQ("Invalid character '\\x7f'\nThis text may contain \"0123456789.\"" + Press,
              Check("1\x7f", "f(0,9)").Shown);
    EXPECT_EQ("Invalid character '\\x01'\nThis text may contain \"abc..zABC..Z\"" + Press,
              Check("\x01", "a(1,8)").Shown);
    EXPECT_EQ("Invalid character \\x00\n/ was expected after \"\"" + Press, Check("", "/").Shown);
}

TEST_F(ValidateEntryTest, FixedCharactersReportTheAcceptedText) {
    Outcome o = Check("#:-c", "#:+");
    EXPECT_EQ(3, o.Result);
    EXPECT_EQ("Invalid character -\n+ was expected after \"#:\"" + Press, o.Shown);
}

TEST_F(ValidateEntryTest, IntegerRangeDigitsAndSigns) {
    Outcome range = Check("12", "d(1,10)");
    EXPECT_EQ(1, range.Result);
    EXPECT_EQ("This number must be between 1 to 10." + Press, range.Shown);

    Outcome letter = Check("1a", "d(1,10)");
    EXPECT_EQ(3, letter.Result);
    EXPECT_EQ("Invalid digit:  a\n" + Press, letter.Shown);

    Outcome sign = Check("-5", "d(1,10)");
    EXPECT_EQ(3, sign.Result);
    EXPECT_EQ("Invalid digit:  -\n" + Press, sign.Shown);

    EXPECT_EQ(0, Check("7", "d(1,10)").Result);
}

TEST_F(ValidateEntryTest, IntegerOverflowIsOutOfRange) {
    Outcome big = Check("99999999999999999999", "d(1,10)");
    EXPECT_EQ(1, big.Result);
    EXPECT_EQ("This number must be between 1 to 10." + Press, big.Shown);
    Outcome unbounded = Check("99999999999", "d");
    EXPECT_EQ(1, unbounded.Result);
    EXPECT_EQ(0, Check("2147483647", "d").Result);
}

TEST_F(ValidateEntryTest, MinusPairsExcludeDigits) {
    Outcome o = Check("105", "d(0,999)-5");
    EXPECT_EQ(3, o.Result);
    EXPECT_EQ("Invalid digit:  5\n" + Press, o.Shown);
}

TEST_F(ValidateEntryTest, MalformedBoundsMeanNoBounds) {
    EXPECT_EQ(0, Check("123456", "d(5)").Result);
    EXPECT_EQ(0, Check("abcdefgh", "A(x,y)").Result);
}

TEST_F(ValidateEntryTest, FractionNumbers) {
    EXPECT_EQ(0, Check("1.25", "f(0.5,2)").Result);

    Outcome points = Check("1.2.3", "f(0.5,2)");
    EXPECT_EQ(1, points.Result);
    EXPECT_EQ("Only one '.' may be entered." + Press, points.Shown);

    Outcome range = Check("3", "f(0.5,2)");
    EXPECT_EQ(1, range.Result);
    EXPECT_EQ("This number must be between 0.500000 to 2.000000." + Press, range.Shown);

    Outcome letter = Check("1,5", "f(0.5,2)");
    EXPECT_EQ(3, letter.Result);
    EXPECT_EQ("Invalid character ','\nThis text may contain \"0123456789.\"" + Press, letter.Shown);
}

TEST_F(ValidateEntryTest, HexadecimalRange) {
    EXPECT_EQ(0, Check("ff", "x(0,255)").Result);
    Outcome o = Check("1ff", "x(0,255)");
    EXPECT_EQ(1, o.Result);
    EXPECT_EQ("This number must be between 0 to ff." + Press, o.Shown);
    EXPECT_EQ(1, Check("fffffffffff", "x").Result);
}

TEST_F(ValidateEntryTest, LengthMessages) {
    Outcome exact = Check("ab", "A(3,3)");
    EXPECT_EQ(2, exact.Result);
    EXPECT_EQ("This text must be exactly 3 characters long." + Press, exact.Shown);

    Outcome span = Check("a", "A(2,8)");
    EXPECT_EQ(2, span.Result);
    EXPECT_EQ("This text length must be from 2 to 8 characters long." + Press, span.Shown);

    EXPECT_EQ(2, Check("toolong", "t(1,3)").Result);
    EXPECT_EQ(0, Check("x y!", "L(1,4)").Result);
}

TEST_F(ValidateEntryTest, LetterClassesAndExtraCharacters) {
    Outcome digit = Check("ab1", "a(1,5)+_");
    EXPECT_EQ(3, digit.Result);
    EXPECT_EQ("Invalid character '1'\nThis text may contain \"abc..zABC..Z_\"" + Press, digit.Shown);
    EXPECT_EQ(0, Check("a_b", "a(1,5)+_").Result);
    EXPECT_EQ(0, Check("Hello, world!", "p(1,20)").Result);
    EXPECT_EQ(3, Check("tab\there", "p(1,20)").Result);
}

TEST_F(ValidateEntryTest, Alternatives) {
    const char *t = "a(1,3)|d(1,5)";
    EXPECT_EQ(0, Check("abc", t).Result);
    Outcome four = Check("4", t);
    EXPECT_EQ(0, four.Result);
    EXPECT_EQ("", four.Shown);
    Outcome long_ = Check("abcd", t);
    EXPECT_EQ(3, long_.Result);
    EXPECT_EQ("Invalid digit:  a\n" + Press, long_.Shown);
}

TEST_F(ValidateEntryTest, AmpersandChecksTheEntryAgainFromItsStart) {
    EXPECT_EQ(0, Check("abc", "a(1,5)&t(3,3)").Result);
    Outcome o = Check("abcd", "a(1,5)&t(3,3)");
    EXPECT_EQ(2, o.Result);
    EXPECT_EQ("This text must be exactly 3 characters long." + Press, o.Shown);
    EXPECT_EQ(0, Check("/x", "/a(1,9)+/&/").Result);
}

TEST_F(ValidateEntryTest, ForbiddenWord) {
    Outcome root = Check("root", "!(root)");
    EXPECT_EQ(4, root.Result);
    EXPECT_EQ("Invalid entry \"root\"" + Press, root.Shown);
    EXPECT_EQ(0, Check("roots", "!(root)").Result);
    EXPECT_EQ(0, Check("1a", "!(root)d(1,9)").Result);  // accepted at once
}

TEST_F(ValidateEntryTest, FixedCharactersAcceptTrailingText) {
    EXPECT_EQ(0, Check("/opt/more", "/").Result);
}

TEST_F(ValidateEntryTest, MessagesMissingFromTheDatabaseAreBuiltIn) {
    DbT *saved = pDrvCoreDB;
    pDrvCoreDB = nullptr;
    LangGuard lang("C");
    Outcome o = Check("a", "A(2,8)");
    pDrvCoreDB = saved;
    EXPECT_EQ(2, o.Result);
    EXPECT_EQ("This text length must be from 2 to 8 characters long." + Press, o.Shown);
}

TEST_F(ValidateEntryTest, ADatabaseTextWithOtherConversionsCountsAsMissing) {
    texts.Put("30_42", "Length %s wrong");
    Outcome o = Check("a", "A(2,8)");
    EXPECT_EQ(2, o.Result);
    EXPECT_EQ("30_42" + Press, o.Shown);
}

TEST_F(ValidateEntryTest, TheRangeTextIsFetchedOnce) {
    Check("12", "d(1,10)");
    texts.Put("25_1003", "Out of range: %i-%i");
    EXPECT_EQ("This number must be between 1 to 10." + Press, Check("12", "d(1,10)").Shown);
    EXPECT_STREQ("This number must be between %i to %i.", pErrIntRange);
}

}  // namespace
