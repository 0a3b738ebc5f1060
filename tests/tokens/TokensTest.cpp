// Tests of the shared tokenizer, keyword lists, SortTokens and Gets.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

#include "Tokens.h"

namespace {

// Restores the shared tokenizer state, so that tests never depend on order.
struct TokenStateGuard {
    const char *in = GetTokenBufInput();
    const char *tokenIn = szTokenIn;
    char del = chTokenDel;
    ~TokenStateGuard() {
        SetTokenBuf(in);
        szTokenIn = tokenIn;
        chTokenDel = del;
    }
};

// A writable copy of a text in an allocation of exactly its size, so that the
// sanitizer build catches a write one byte past it.
std::unique_ptr<char[]> Exact(const std::string &text) {
    std::unique_ptr<char[]> p(new char[text.size() + 1]);
    std::memcpy(p.get(), text.c_str(), text.size() + 1);
    return p;
}

}  // namespace

TEST(GetToken, SkipsRunsOfDelimitersAndTellsWhereTheScanStands) {
    TokenStateGuard guard;
    const char *text = "  ls  -l ";
    ASSERT_STREQ("ls", GetToken(text, " \t\r\n"));
    EXPECT_EQ(' ', chTokenDel);
    EXPECT_EQ(text + 5, szTokenIn);
    EXPECT_STREQ("-l", GetToken(nullptr, " \t\r\n"));
    EXPECT_EQ(text + 9, szTokenIn);
    EXPECT_EQ(nullptr, GetToken(nullptr, " \t\r\n"));
}

TEST(GetToken, EscapedDelimiterBelongsToTheToken) {
    TokenStateGuard guard;
    EXPECT_STREQ("a,b", GetToken("a\\,b,c", ","));
    EXPECT_STREQ("c", GetToken(nullptr, ","));
    EXPECT_STREQ("two words", GetToken("two\\ words next", " "));
    EXPECT_STREQ("next", GetToken(nullptr, " "));
}

TEST(GetToken, BackslashLettersGiveControlCharacters) {
    TokenStateGuard guard;
    EXPECT_STREQ("x\ty", GetToken("x\\ty", " \t"));
    EXPECT_STREQ("a\nb\rc", GetToken("a\\nb\\rc", " "));
    EXPECT_STREQ("q\\", GetToken("q\\\\", " "));
}

TEST(GetToken, TrailingBackslashIsDroppedAndEndsTheInput) {
    TokenStateGuard guard;
    const char *text = "ab\\";
    EXPECT_STREQ("ab", GetToken(text, " "));
    EXPECT_EQ(text + 3, szTokenIn);
    EXPECT_EQ(nullptr, GetToken(nullptr, " "));
    EXPECT_EQ(nullptr, GetToken("\\", " "));
}

TEST(GetToken, EmptyOrDelimiterOnlyInputYieldsNothing) {
    TokenStateGuard guard;
    EXPECT_EQ(nullptr, GetToken("", " "));
    EXPECT_EQ(0, chTokenDel);
    EXPECT_EQ(nullptr, GetToken(" \t ", " \t"));
    EXPECT_EQ(' ', chTokenDel);
}

TEST(GetToken, DelimiterIsTheOneThatEndedTheTokenOrTheLastSkipped) {
    TokenStateGuard guard;
    EXPECT_STREQ("a", GetToken("a,b", ", "));
    EXPECT_EQ(',', chTokenDel);
    EXPECT_STREQ("x", GetToken(" x", " "));
    EXPECT_EQ(' ', chTokenDel);
    EXPECT_STREQ("x", GetToken("x", " "));
    EXPECT_EQ(0, chTokenDel);
}

TEST(GetToken, OverLongTokenIsCutAndTheNextCallStartsAtTheNextToken) {
    TokenStateGuard guard;
    std::string text = std::string(300, 'a') + ", next";
    char *token = GetToken(text.c_str(), ", ");
    ASSERT_NE(nullptr, token);
    EXPECT_EQ(std::string(TOKEN_BUF_SIZE - 1, 'a'), token);
    EXPECT_EQ(',', chTokenDel);
    EXPECT_EQ(text.c_str() + 301, szTokenIn);
    EXPECT_STREQ("next", GetToken(nullptr, ", "));
}

TEST(GetTokenSameLine, TokenEndedByNewlineIsWithheld) {
    TokenStateGuard guard;
    const char *text = "a b\nc d";
    ASSERT_STREQ("a", GetToken(text, " \n"));
    const char *before = szTokenIn;
    EXPECT_EQ(nullptr, GetToken(TOKEN_SAMELINE, " \n"));
    EXPECT_EQ('\n', chTokenDel);
    EXPECT_EQ(before, szTokenIn);
    EXPECT_EQ(text + 4, GetTokenBufInput());
    EXPECT_STREQ("c", GetToken(nullptr, " \n"));
}

TEST(GetTokenSameLine, TokensEndedByOtherDelimitersAreReturned) {
    TokenStateGuard guard;
    ASSERT_STREQ("a", GetToken("a b c\n", " \n"));
    EXPECT_STREQ("b", GetToken(TOKEN_SAMELINE, " \n"));
    EXPECT_EQ(nullptr, GetToken(TOKEN_SAMELINE, " \n"));
    ASSERT_STREQ("x", GetToken("x y", " \n"));
    EXPECT_STREQ("y", GetToken(TOKEN_SAMELINE, " \n"));
}

TEST(GetTokenNesting, SavedStateResumesTheOuterScan) {
    TokenStateGuard guard;
    ASSERT_STREQ("one", GetToken("one two three", " "));
    const char *savedIn = GetTokenBufInput();
    char savedDel = chTokenDel;

    EXPECT_STREQ("x", GetToken("x,y", ","));
    EXPECT_STREQ("y", GetToken(nullptr, ","));
    EXPECT_EQ(nullptr, GetToken(nullptr, ","));

    SetTokenBuf(savedIn);
    chTokenDel = savedDel;
    EXPECT_EQ(' ', chTokenDel);
    EXPECT_STREQ("two", GetToken(nullptr, " "));
    EXPECT_STREQ("three", GetToken(nullptr, " "));
}

TEST(SetTokenBuf, SetsBothCursors) {
    TokenStateGuard guard;
    const char *text = "p q";
    SetTokenBuf(text + 2);
    EXPECT_EQ(text + 2, GetTokenBufInput());
    EXPECT_EQ(text + 2, szTokenIn);
    EXPECT_STREQ("q", GetToken(nullptr, " "));
}

TEST(GetTokenD, UsesTheCallersCursorAndLeavesTheSharedScanAlone) {
    TokenStateGuard guard;
    ASSERT_STREQ("outer", GetToken("outer rest", " "));
    const char *tokenIn = szTokenIn;

    char buf[32];
    const char *cursor = nullptr;
    const char *text = "k1=v1;k2";
    EXPECT_EQ(buf, GetTokenD(text, ";", &cursor, buf, sizeof buf));
    EXPECT_STREQ("k1=v1", buf);
    EXPECT_EQ(text + 6, cursor);
    EXPECT_EQ(';', chTokenDel);
    EXPECT_STREQ("k2", GetTokenD(nullptr, ";", &cursor, buf, sizeof buf));
    EXPECT_EQ(nullptr, GetTokenD(nullptr, ";", &cursor, buf, sizeof buf));

    EXPECT_STREQ("outer", GetTokenBuf);
    EXPECT_EQ(tokenIn, szTokenIn);
    EXPECT_STREQ("rest", GetToken(nullptr, " "));
}

TEST(GetTokenD, CutsAnOverLongTokenAtTheGivenSize) {
    char buf[16];
    std::memset(buf, 'Z', sizeof buf);
    const char *cursor = nullptr;
    EXPECT_STREQ("abcdefg", GetTokenD("abcdefghijk,next", ",", &cursor, buf, 8));
    for (size_t i = 8; i < sizeof buf; ++i)
        EXPECT_EQ('Z', buf[i]);
    EXPECT_STREQ("next", GetTokenD(nullptr, ",", &cursor, buf, 8));
}

TEST(GetTokenD, WithheldSameLineTokenLeavesTheCursor) {
    char buf[16];
    const char *cursor = nullptr;
    ASSERT_STREQ("a", GetTokenD("a b\nc", " \n", &cursor, buf, sizeof buf));
    const char *before = cursor;
    EXPECT_EQ(nullptr, GetTokenD(TOKEN_SAMELINE, " \n", &cursor, buf, sizeof buf));
    EXPECT_EQ(before, cursor);
    EXPECT_STREQ("b", GetTokenD(nullptr, " \n", &cursor, buf, sizeof buf));
}

TEST(GetTokenD, RefusesMissingCursorOrBuffer) {
    char buf[4];
    const char *cursor = nullptr;
    EXPECT_EQ(nullptr, GetTokenD("a", " ", nullptr, buf, sizeof buf));
    EXPECT_EQ(nullptr, GetTokenD("a", " ", &cursor, buf, 0));
    EXPECT_EQ(nullptr, GetTokenD(nullptr, " ", &cursor, buf, sizeof buf));
}

TEST(GetTokenParse, CutsTheStringIntoItsTokensInPlace) {
    TokenStateGuard guard;
    char path[] = "::/usr/bin:/bin:";
    char *first = GetTokenParse(path, ":");
    EXPECT_EQ(path + 2, first);
    EXPECT_STREQ("/usr/bin", first);
    EXPECT_EQ(':', chTokenDel);
    char *second = GetTokenParse(nullptr, ":");
    EXPECT_EQ(path + 11, second);
    EXPECT_STREQ("/bin", second);
    EXPECT_EQ(nullptr, GetTokenParse(nullptr, ":"));
    EXPECT_EQ('\0', path[0]);
    EXPECT_EQ('\0', path[10]);
    EXPECT_STREQ("/usr/bin", first);
}

TEST(GetTokenParse, KeepsEscapesAsWritten) {
    TokenStateGuard guard;
    char text[] = "a\\:b:c\\";
    EXPECT_STREQ("a\\:b", GetTokenParse(text, ":"));
    EXPECT_STREQ("c\\", GetTokenParse(nullptr, ":"));
    EXPECT_EQ(nullptr, GetTokenParse(nullptr, ":"));
}

TEST(GetTokenParse, SameLineWithholdsANewlineEndedToken) {
    TokenStateGuard guard;
    char text[] = "a b\nc";
    ASSERT_STREQ("a", GetTokenParse(text, " \n"));
    const char *before = szTokenIn;
    EXPECT_EQ(nullptr, GetTokenParse(TOKEN_SAMELINE, " \n"));
    EXPECT_EQ(before, szTokenIn);
    EXPECT_STREQ("c", GetTokenParse(nullptr, " \n"));
}

TEST(GetTokenParse, EmptyAndDelimiterOnlyInputsYieldNothing) {
    TokenStateGuard guard;
    char empty[] = "";
    char delims[] = ":::";
    EXPECT_EQ(nullptr, GetTokenParse(empty, ":"));
    EXPECT_EQ(nullptr, GetTokenParse(delims, ":"));
}

TEST(GetTokenN, ReturnsTheNthTokenOrNull) {
    TokenStateGuard guard;
    EXPECT_EQ(nullptr, GetTokenN("a,b", ",", 3));
    EXPECT_STREQ("c", GetTokenN("a,b,c,d", ",", 3));
    EXPECT_STREQ("d", GetTokenN(nullptr, ",", 1));
    EXPECT_STREQ("a", GetTokenN("a,b,c,d", ",", 0));
}

TEST(GetTokenCount, CountsInTheMiddleOfAScanWithoutDisturbingIt) {
    TokenStateGuard guard;
    ASSERT_STREQ("a", GetToken("a b c d", " "));
    EXPECT_EQ(3, GetTokenCount(nullptr, " "));
    EXPECT_STREQ("a", GetTokenBuf);
    EXPECT_STREQ("b", GetToken(nullptr, " "));
    EXPECT_EQ(4, GetTokenCount("w x y z", " "));
    EXPECT_STREQ("c", GetToken(nullptr, " "));
}

TEST(GetTokenCount, LeavesTheDelimiterOfItsOwnScan) {
    TokenStateGuard guard;
    ASSERT_STREQ("a", GetToken("a,b", ","));
    ASSERT_EQ(',', chTokenDel);
    EXPECT_EQ(2, GetTokenCount("x y", " "));
    EXPECT_EQ(0, chTokenDel);
}

TEST(ParseStr, FillsAtMostLengthSlots) {
    char text[] = "one two three";
    char *words[2];
    EXPECT_EQ(2, ParseStr(text, " ", words, 2));
    EXPECT_STREQ("one", words[0]);
    EXPECT_STREQ("two", words[1]);
    EXPECT_STREQ("three", words[1] + 4);
}

TEST(ParseStr, ClearsUnusedSlotsAndSkipsDelimiterRuns) {
    char text[] = ",,a,,b,";
    char *words[4] = {text, text, text, text};
    EXPECT_EQ(2, ParseStr(text, ",", words, 4));
    EXPECT_STREQ("a", words[0]);
    EXPECT_STREQ("b", words[1]);
    EXPECT_EQ(nullptr, words[2]);
    EXPECT_EQ(nullptr, words[3]);
}

TEST(ParseStr, NothingToSplitGivesZero) {
    char empty[] = "";
    char text[] = "a";
    char *words[2] = {text, text};
    EXPECT_EQ(0, ParseStr(empty, " ", words, 2));
    EXPECT_EQ(nullptr, words[0]);
    EXPECT_EQ(0, ParseStr(nullptr, " ", words, 2));
    EXPECT_EQ(0, ParseStr(text, " ", words, 0));
}

TEST(FindToken, IsOneBasedAndCaseSensitive) {
    const char *options = ",manual,install,menu,-v,no_space_check";
    EXPECT_EQ(3, FindToken("menu", options));
    EXPECT_EQ(1, FindToken("manual", options));
    EXPECT_EQ(0, FindToken("MENU", options));
}

TEST(FindToken, FindsTheLastWordOfAListWithoutTrailingDelimiter) {
    EXPECT_EQ(5, FindToken("no_space_check", ",manual,install,menu,-v,no_space_check"));
    EXPECT_EQ(4, FindToken("no", ",y,yes,n,no,"));
}

TEST(FindToken, MatchesOnlyWholeWords) {
    const char *options = ",manual,install,menu,-v,no_space_check";
    EXPECT_EQ(0, FindToken("ins", options));
    EXPECT_EQ(0, FindToken("check", options));
    EXPECT_EQ(2, FindToken("<=", ",<,<=,=,>,>=,"));
}

TEST(FindToken, AWordHoldingTheDelimiterIsNoWordOfTheList) {
    EXPECT_EQ(0, FindToken("m,#", ",dir,dirto,t,c,m,#,v"));
    EXPECT_EQ(0, FindTokenC("M,#", ",dir,dirto,t,c,m,#,v"));
    EXPECT_EQ(0, FindTokenC("x", "XaXb"));  // a letter delimiter, in the other case
}

TEST(FindToken, FirstOfTwoEqualWordsWins) {
    EXPECT_EQ(2, FindToken("b", ",a,b,c,b,"));
    EXPECT_EQ(2, FindTokenC("B", ",a,b,c,b,"));
}

TEST(FindToken, NullOrEmptyArgumentsGiveZero) {
    EXPECT_EQ(0, FindToken(nullptr, ",a"));
    EXPECT_EQ(0, FindToken("a", nullptr));
    EXPECT_EQ(0, FindToken("a", ""));
    EXPECT_EQ(0, FindTokenC(nullptr, ",a"));
    EXPECT_EQ(0, FindTokenC("a", ""));
}

TEST(FindToken, EmptyWordNeverMatchesTheEndAfterATrailingDelimiter) {
    EXPECT_EQ(0, FindToken("", ",y,yes,n,no,"));
    EXPECT_EQ(0, FindTokenC("", ",y,yes,n,no,"));
    EXPECT_EQ(2, FindToken("", ",a,,b"));
    EXPECT_EQ(2, FindTokenC("", ",a,,b"));
}

TEST(FindToken, WordsLongerThanAnyFixedPatternAreFound) {
    std::string word(600, 'w');
    std::string list = ",a," + word + ",b";
    EXPECT_EQ(2, FindToken(word.c_str(), list.c_str()));
    std::string last = ",a,b," + word;
    EXPECT_EQ(3, FindToken(word.c_str(), last.c_str()));
    EXPECT_EQ(0, FindToken((word + "w").c_str(), list.c_str()));
    std::string upper(600, 'W');
    EXPECT_EQ(3, FindTokenC(upper.c_str(), last.c_str()));
}

TEST(FindTokenC, IgnoresCase) {
    EXPECT_EQ(3, FindTokenC("BODY", ",html,head,body,/html,"));
    EXPECT_EQ(4, FindTokenC("/HTML", ",html,head,body,/html"));
    EXPECT_EQ(0, FindTokenC("bod", ",html,head,body,/html,"));
}

TEST(SortTokens, SortsADelimitedListInPlace) {
    auto list = Exact("pear,apple,fig");
    SortTokens(list.get(), ',', 0);
    EXPECT_STREQ("apple,fig,pear", list.get());
}

TEST(SortTokens, IgnoreCaseChangesTheOrder) {
    auto exact = Exact("b,a,C");
    SortTokens(exact.get(), ',', 0);
    EXPECT_STREQ("C,a,b", exact.get());
    auto folded = Exact("b,a,C");
    SortTokens(folded.get(), ',', 1);
    EXPECT_STREQ("a,b,C", folded.get());
}

TEST(SortTokens, SmallestLastWordKeepsTheListLength) {
    auto list = Exact("c,b,a");
    SortTokens(list.get(), ',', 0);
    EXPECT_STREQ("a,b,c", list.get());
    auto pair = Exact("b,a");
    SortTokens(pair.get(), ',', 0);
    EXPECT_STREQ("a,b", pair.get());
    // the word before a removed last word is compared whole, not cut short
    auto prefix = Exact("ba,b,A");
    SortTokens(prefix.get(), ',', 0);
    EXPECT_STREQ("A,b,ba", prefix.get());
    auto prefixes = Exact("abc,a,ab,B");
    SortTokens(prefixes.get(), ',', 0);
    EXPECT_STREQ("B,a,ab,abc", prefixes.get());
    // a last word ending in an escaped delimiter still gets a delimiter after it
    auto escaped = Exact("c,b\\,");
    SortTokens(escaped.get(), ',', 0);
    EXPECT_STREQ("b\\,,c", escaped.get());
}

TEST(SortTokens, KeepsLeadingAndTrailingDelimiters) {
    auto trailing = Exact("b,a,");
    SortTokens(trailing.get(), ',', 0);
    EXPECT_STREQ("a,b,", trailing.get());
    auto leading = Exact(",,b,a");
    SortTokens(leading.get(), ',', 0);
    EXPECT_STREQ(",,a,b", leading.get());
}

TEST(SortTokens, EscapedDelimiterStaysInsideItsWord) {
    auto list = Exact("b\\,x,a");
    SortTokens(list.get(), ',', 0);
    EXPECT_STREQ("a,b\\,x", list.get());
}

TEST(SortTokens, AWordSortsBeforeTheWordsItBegins) {
    auto list = Exact("ab,a");  // also when it is the last word
    SortTokens(list.get(), ',', 0);
    EXPECT_STREQ("a,ab", list.get());
    auto other = Exact("ab,a,");
    SortTokens(other.get(), ',', 0);
    EXPECT_STREQ("a,ab,", other.get());
}

TEST(SortTokens, LeavesNullEmptyAndSingleWordListsAlone) {
    SortTokens(nullptr, ',', 0);
    auto empty = Exact("");
    SortTokens(empty.get(), ',', 0);
    EXPECT_STREQ("", empty.get());
    auto one = Exact(",word");
    SortTokens(one.get(), ',', 1);
    EXPECT_STREQ(",word", one.get());
}

namespace {

// Feeds a text to file descriptor 0 through a pipe for the life of the object.
class StdinFromText {
public:
    explicit StdinFromText(const std::string &text) {
        int fds[2];
        EXPECT_EQ(0, pipe(fds));
        EXPECT_EQ(static_cast<ssize_t>(text.size()), write(fds[1], text.data(), text.size()));
        close(fds[1]);
        saved_ = dup(0);
        dup2(fds[0], 0);
        close(fds[0]);
    }
    ~StdinFromText() {
        dup2(saved_, 0);
        close(saved_);
    }
    StdinFromText(const StdinFromText &) = delete;
    StdinFromText &operator=(const StdinFromText &) = delete;

private:
    int saved_ = -1;
};

}  // namespace

TEST(Gets, ReturnsALineWithoutItsNewline) {
    StdinFromText input("yes\n");
    char buf[64];
    EXPECT_STREQ("yes", Gets(buf, sizeof buf));
    EXPECT_EQ(nullptr, Gets(buf, sizeof buf));
}

TEST(Gets, EmptyLineIsAnEmptyStringNotNull) {
    StdinFromText input("\n");
    char buf[64];
    EXPECT_STREQ("", Gets(buf, sizeof buf));
}

TEST(Gets, EndOfInputGivesNullUnlessSomethingWasRead) {
    {
        StdinFromText input("");
        char buf[64];
        EXPECT_EQ(nullptr, Gets(buf, sizeof buf));
        EXPECT_STREQ("", buf);
    }
    StdinFromText input("last");
    char buf[64];
    EXPECT_STREQ("last", Gets(buf, sizeof buf));
    EXPECT_EQ(nullptr, Gets(buf, sizeof buf));
}

TEST(GetsLine, ALongLineIsReadToItsEndAndReportedTooLong) {
    StdinFromText input("abcdefg\nabc\nz\n");
    char buf[4];
    EXPECT_EQ(GETS_TOOLONG, GetsLine(buf, sizeof buf));
    EXPECT_STREQ("abc", buf);
    EXPECT_EQ(GETS_LINE, GetsLine(buf, sizeof buf));  // exactly size - 1 characters fit
    EXPECT_STREQ("abc", buf);
    EXPECT_EQ(GETS_LINE, GetsLine(buf, sizeof buf));
    EXPECT_STREQ("z", buf);
    EXPECT_EQ(GETS_END, GetsLine(buf, sizeof buf));
}

TEST(GetsLine, ALongLastLineWithoutNewlineEndsTheInput) {
    StdinFromText input("abcdefg");
    char buf[4];
    EXPECT_EQ(GETS_TOOLONG, GetsLine(buf, sizeof buf));
    EXPECT_EQ(nullptr, Gets(buf, sizeof buf));
}

TEST(Gets, ALongLineGivesItsStartAndNothingOfTheRest) {
    StdinFromText input("abcdefg\nz\n");
    char buf[4];
    EXPECT_STREQ("abc", Gets(buf, sizeof buf));
    EXPECT_STREQ("z", Gets(buf, sizeof buf));
}

TEST(Gets, EveryByteValueIsText) {
    StdinFromText input("ab\xff" "cd\n\xff\n\x1b[A\x01\x80\n\xff");
    char buf[64];
    EXPECT_STREQ("ab\xff" "cd", Gets(buf, sizeof buf));
    EXPECT_STREQ("\xff", Gets(buf, sizeof buf));
    EXPECT_STREQ("\x1b[A\x01\x80", Gets(buf, sizeof buf));
    EXPECT_STREQ("\xff", Gets(buf, sizeof buf));  // a last line without its newline
    EXPECT_EQ(nullptr, Gets(buf, sizeof buf));
}

TEST(Gets, ReadsNothingPastTheLine) {
    StdinFromText input("one\ntwo\n");
    char buf[64];
    EXPECT_STREQ("one", Gets(buf, sizeof buf));
    char rest[8] = {};
    EXPECT_EQ(4, read(0, rest, sizeof rest - 1));
    EXPECT_STREQ("two\n", rest);
}

TEST(Gets, RefusesAMissingBuffer) {
    char buf[4];
    EXPECT_EQ(nullptr, Gets(nullptr, 4));
    EXPECT_EQ(nullptr, Gets(buf, 0));
}
