// The screen buffer and the picker on a fixed 80 x 24 vt100 terminal.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "BuiltinTexts.h"
#include "../textmenu/MenuTestSupport.h"
#include "../textmenu/Vt100.h"
#include "Screen.h"
#include "TextMenu.h"

using namespace menutest;

namespace {

// The terminal size the screen layer sees (standard output is a file here).
class TerminalSize {
public:
    TerminalSize(int columns, int lines) {
        Save("COLUMNS", savedColumns_);
        Save("LINES", savedLines_);
        Save("TERM", savedTerm_);
        setenv("COLUMNS", std::to_string(columns).c_str(), 1);
        setenv("LINES", std::to_string(lines).c_str(), 1);
        setenv("TERM", "vt100", 1);
    }
    ~TerminalSize() {
        Restore("COLUMNS", savedColumns_);
        Restore("LINES", savedLines_);
        Restore("TERM", savedTerm_);
    }

private:
    static void Save(const char *name, std::string &to) {
        const char *v = getenv(name);
        to = v ? v : std::string(1, '\0');
    }
    static void Restore(const char *name, const std::string &from) {
        if (from == std::string(1, '\0'))
            unsetenv(name);
        else
            setenv(name, from.c_str(), 1);
    }
    std::string savedColumns_, savedLines_, savedTerm_;
};

class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        StdoutCapture out;
        screen_ = GetTermInfo(nullptr);
        ASSERT_NE(nullptr, screen_);
        out.Text();
    }
    void TearDown() override { FreeTermScreen(screen_); }
    void Clear() {
        StdoutCapture out;
        ClearScreen(screen_);
    }
    std::string Cells(int line) const {  // from 1
        return std::string(screen_->pCells + (line - 1) * screen_->Columns, screen_->Columns);
    }
    TerminalSize size_{80, 24};
    TermScreen *screen_ = nullptr;
};

TEST_F(ScreenTest, TakesTheSizeOfTheTerminal) {
    EXPECT_EQ(80, screen_->Columns);
    EXPECT_EQ(24, screen_->Lines);
}

TEST_F(ScreenTest, NewCellsWhenTheTerminalSizeChanges) {
    {
        TerminalSize bigger(100, 30);
        StdoutCapture out;
        EXPECT_EQ(screen_, GetTermInfo(screen_));
    }
    EXPECT_EQ(100, screen_->Columns);
    EXPECT_EQ(30, screen_->Lines);
    EXPECT_EQ(100, screen_->CellColumns);
    EXPECT_EQ(30, screen_->CellLines);
    SetPosition(screen_, 95, 30);
    WriteString(screen_, "%s", "edge!");
    EXPECT_EQ("edge!", Cells(30).substr(95));
}

TEST_F(ScreenTest, LinesZeroAndOneBothAddressTheFirstRow) {
    Clear();
    SetPosition(screen_, 0, 0);
    WriteString(screen_, "%s", "AB");
    SetPosition(screen_, 1, 1);
    WriteString(screen_, "%s", "C");
    SetPosition(screen_, 3, 25);
    WriteString(screen_, "%d", 7);
    EXPECT_EQ("AC 7", Cells(1).substr(0, 4));
    EXPECT_EQ(1, screen_->CursorY);  // pulled back, not advanced
    EXPECT_EQ(3, screen_->CursorX);
}

TEST_F(ScreenTest, TextContinuesOnTheNextRowAndStopsAtTheEnd) {
    Clear();
    SetPosition(screen_, 76, 2);
    WriteString(screen_, "%s", "abcdefg");
    EXPECT_EQ("abcd", Cells(2).substr(76));
    EXPECT_EQ("efg ", Cells(3).substr(0, 4));
    SetPosition(screen_, 78, 24);
    WriteString(screen_, "%s", "xyz");
    EXPECT_EQ("xy", Cells(24).substr(78));
    SetPosition(screen_, 10, 5);
    WriteString(screen_, "%s", std::string(600, 'w').c_str());
    EXPECT_EQ(std::string(70, 'w'), Cells(5).substr(10));
    EXPECT_EQ(std::string(80, 'w'), Cells(10));
    EXPECT_EQ("w ", Cells(11).substr(40, 2));  // 511 characters kept
}

TEST_F(ScreenTest, FillAreaStaysInsideTheScreen) {
    Clear();
    FillArea(screen_, 78, 22, 10, 10, '#');
    FillArea(screen_, -5, -5, 7, 7, '+');
    EXPECT_EQ("##", Cells(23).substr(78));
    EXPECT_EQ("##", Cells(24).substr(78));
    EXPECT_EQ(" ", Cells(22).substr(79));
    EXPECT_EQ("++ ", Cells(2).substr(0, 3));
    EXPECT_EQ(" ", Cells(3).substr(0, 1));
}

TEST_F(ScreenTest, ClearAndRefreshSendRowsOfBlanksWithoutTheLastCell) {
    StdoutCapture out;
    ClearScreen(screen_);
    Refresh(screen_);
    std::string sent = out.Text();
    EXPECT_EQ("\033[H\033[J" + std::string(80 * 24 - 1, ' '), sent);
}

TEST_F(ScreenTest, ANewlineCellEndsItsRow) {
    StdoutCapture out;
    ClearScreen(screen_);
    SetPosition(screen_, 0, 1);
    WriteString(screen_, "%s", "top\nnext");
    Refresh(screen_);
    Vt100 vt;
    vt.Feed(out.Text());
    EXPECT_EQ("top", vt.Trimmed(0));
    EXPECT_EQ("next", vt.Trimmed(1));
}

TEST_F(ScreenTest, MoveCursorSendsCupAndRecordsThePosition) {
    StdoutCapture out;
    MoveCursor(screen_, 10, 5);
    EXPECT_EQ("\033[6;11H", out.Text());
    EXPECT_EQ(10, screen_->CursorX);
    EXPECT_EQ(5, screen_->CursorY);
}

TEST_F(ScreenTest, NumberScreenWritesTheDigitPattern) {
    NumberScreen(screen_);
    EXPECT_EQ("01234567890123456789", Cells(1).substr(0, 20));
    EXPECT_EQ('9', Cells(24)[79]);
}

TEST_F(ScreenTest, OverlayDrawsABoxAndWaitsForEnter) {
    StdinFeed in("\nrest\n");
    StdoutCapture out;
    ClearScreen(screen_);
    SetOvlInfo(screen_, 5, 3, 20, 2);
    SetPosition(screen_, 1, 1);
    Overlay(screen_, "abcdefghijklmnopqrstuvwxyz0123", 1);
    Vt100 vt;
    vt.Feed(out.Text());
    EXPECT_EQ("     " + std::string(24, '*'), vt.Trimmed(3));
    EXPECT_EQ("     * abcdefghijklmnopqrst *", vt.Trimmed(4));
    EXPECT_EQ("     * uvwxyz0123           *", vt.Trimmed(5));
    EXPECT_EQ("     * Press enter          *", vt.Trimmed(6));
    EXPECT_EQ("     " + std::string(24, '*'), vt.Trimmed(7));
    EXPECT_EQ(1, vt.CursorX());  // back where it was
    EXPECT_EQ(1, vt.CursorY());
    EXPECT_EQ("rest\n", in.Rest());
}

TEST_F(ScreenTest, OverlayRowsEndAtANewline) {
    StdoutCapture out;
    ClearScreen(screen_);
    SetOvlInfo(screen_, 0, 0, 20, 2);
    Overlay(screen_, "first\nsecond line", 0);
    Vt100 vt;
    vt.Feed(out.Text());
    EXPECT_EQ("* first                *", vt.Trimmed(1));
    EXPECT_EQ("* second line          *", vt.Trimmed(2));
    EXPECT_EQ(std::string(24, '*'), vt.Trimmed(3));
}

TEST_F(ScreenTest, OverlayIsClippedToTheScreen) {
    Clear();
    StdoutCapture out;
    SetOvlInfo(screen_, 70, 22, 20, 3);
    Overlay(screen_, "abcdefghijklmnopqrstuvwxyz", 0);
    Vt100 vt;
    vt.Feed(out.Text());
    EXPECT_EQ(std::string(70, ' ') + std::string(10, '*'), vt.Row(22));
    EXPECT_EQ(std::string(70, ' ') + "* abcdefgh", vt.Row(23));
    for (int line = 0; line < 22; ++line)
        EXPECT_EQ("", vt.Trimmed(line)) << "line " << line;
}

TEST_F(ScreenTest, OverlayReturnsAtTheEndOfInput) {
    StdinFeed in("");
    StdoutCapture out;
    SetOvlInfo(screen_, 0, 0, 10, 1);
    Overlay(screen_, "x", 1);
    EXPECT_NE(std::string::npos, out.Text().find("Press enter"));
}

// The picker, drawn through the screen and read back from the terminal model.
class PickerScreenTest : public ::testing::Test {
protected:
    std::string Draw(TextMenuItem *item, int offset, uint32_t *mask) {
        StdoutCapture out;
        drawn_ = PrintPickOneManyScreen(item, mask, offset);
        return out.Text();
    }
    TerminalSize size_{80, 24};
    EnglishTexts texts_;
    FreshTexts fresh_;
    int drawn_ = 0;
};

std::string TrayStates(int n) {
    std::string states;
    for (int i = 1; i <= n; ++i)
        states += (i > 1 ? ",_Tray " : "_Tray ") + std::to_string(i);
    return states;
}

TEST_F(PickerScreenTest, TwentyFiveStatesFillTwoColumns) {
    std::string states = TrayStates(25);
    std::vector<char> buf(states.begin(), states.end());
    buf.push_back('\0');
    TextMenuItem item{.pText = "Paper source", .Type = MENUITEM_PICKONE, .pStates = buf.data(),
                      .Value = 18, .TextLen = 12, .StateCnt = 25};
    uint32_t mask = 0;
    Vt100 vt;
    vt.Feed(Draw(&item, 0, &mask));
    EXPECT_EQ(25, drawn_);
    EXPECT_EQ(std::string(34, ' ') + "Paper source", vt.Trimmed(0));
    EXPECT_EQ("", vt.Trimmed(1));
    EXPECT_EQ("     1) Tray 1" + std::string(26, ' ') + " -> 19) Tray 19", vt.Trimmed(2));
    EXPECT_EQ("     7) Tray 7" + std::string(30, ' ') + "25) Tray 25", vt.Trimmed(8));
    EXPECT_EQ("    18) Tray 18", vt.Trimmed(19));
    EXPECT_EQ("", vt.Trimmed(20));
    std::string save = BuiltinText("en_US", 25, 201);
    EXPECT_EQ(save + std::string(40 - save.size(), ' ') + BuiltinText("en_US", 25, 202), vt.Trimmed(21));
    EXPECT_EQ("Current selection: Tray 19", vt.Trimmed(22));
    std::string prompt = BuiltinText("en_US", 25, 205);
    EXPECT_EQ(prompt.substr(0, prompt.size() - 1), vt.Trimmed(23));
    EXPECT_EQ(static_cast<int>(prompt.size()), vt.CursorX());
    EXPECT_EQ(23, vt.CursorY());
    EXPECT_EQ(0u, mask);
}

TEST_F(PickerScreenTest, PickManyMarksEveryChosenStateAndWithheldOnesHaveNoNumber) {
    char states[] = "_red, green,_blue";
    TextMenuItem item{.pText = "Colours", .Type = MENUITEM_PICKMANY, .pStates = states, .Value = 5,
                      .TextLen = 7, .StateCnt = 3};
    uint32_t mask = 0;
    Vt100 vt;
    vt.Feed(Draw(&item, 0, &mask));
    EXPECT_EQ(3, drawn_);
    EXPECT_EQ(" ->  1) red", vt.Trimmed(2));
    EXPECT_EQ("        green", vt.Trimmed(3));
    EXPECT_EQ(" ->  3) blue", vt.Trimmed(4));
    EXPECT_EQ("Current selection: red blue", vt.Trimmed(22));
    EXPECT_EQ(2u, mask);
}

TEST_F(PickerScreenTest, ALongStateInTheFirstColumnIsCut) {
    std::string longState = "_" + std::string(100, 'L');
    std::string states = longState + ",_short";
    std::vector<char> buf(states.begin(), states.end());
    buf.push_back('\0');
    TextMenuItem item{.pText = "Long", .Type = MENUITEM_PICKONE, .pStates = buf.data(), .Value = 1,
                      .TextLen = 4, .StateCnt = 2};
    uint32_t mask = 0;
    Vt100 vt;
    vt.Feed(Draw(&item, 0, &mask));
    EXPECT_EQ("     1) " + std::string(69, 'L') + "...", vt.Trimmed(2));
    EXPECT_EQ(" ->  2) short", vt.Trimmed(3));
}

TEST_F(PickerScreenTest, ALongSelectionIsShownCut) {
    std::string states;
    for (int i = 0; i < 8; ++i)
        states += (i ? ",_" : "_") + std::string(12, static_cast<char>('a' + i));
    std::vector<char> buf(states.begin(), states.end());
    buf.push_back('\0');
    TextMenuItem item{.pText = "Many", .Type = MENUITEM_PICKMANY, .pStates = buf.data(), .Value = 255,
                      .TextLen = 4, .StateCnt = 8};
    uint32_t mask = 0;
    Vt100 vt;
    vt.Feed(Draw(&item, 0, &mask));
    // 8 states of 13 characters with blanks: 104 characters, cut to 58 and "...".
    std::string all;
    for (int i = 0; i < 8; ++i)
        all += std::string(12, static_cast<char>('a' + i)) + " ";
    EXPECT_EQ("Current selection: " + all.substr(0, 58) + "...", vt.Trimmed(22));
}

TEST_F(PickerScreenTest, LaterPagesStartAtTheColumnHoldingTheOffset) {
    TerminalSize small(80, 10);  // four rows per column
    std::string states = TrayStates(25);
    std::vector<char> buf(states.begin(), states.end());
    buf.push_back('\0');
    TextMenuItem item{.pText = "Tray", .Type = MENUITEM_PICKONE, .pStates = buf.data(), .Value = 22,
                      .TextLen = 4, .StateCnt = 25};
    uint32_t mask = 0;
    Vt100 first(80, 10);
    first.Feed(Draw(&item, 0, &mask));
    EXPECT_EQ(20, drawn_);  // five columns of four
    EXPECT_EQ("     1) Tray 1", first.Trimmed(2).substr(0, 14));
    Vt100 second(80, 10);
    second.Feed(Draw(&item, 20, &mask));
    EXPECT_EQ(0, drawn_);  // the list ran out before the page was full
    EXPECT_EQ("    21) Tray 21", second.Trimmed(2).substr(0, 15));
    EXPECT_NE(std::string::npos, second.Trimmed(4).find(" -> 23) Tray 23"));
    EXPECT_EQ("Current selection: Tray 23", second.Trimmed(8));
}

TEST_F(PickerScreenTest, ATooSmallTerminalGetsTheSizeMessages) {
    TerminalSize tiny(80, 6);
    char states[] = "_a,_b,_c";
    TextMenuItem item{.pText = "Small", .Type = MENUITEM_PICKONE, .pStates = states, .TextLen = 5,
                      .StateCnt = 3};
    StdinFeed in("xrest\nnext\n");
    uint32_t mask = 0;
    std::string shown = Draw(&item, 0, &mask);
    EXPECT_EQ(-1, drawn_);
    EXPECT_EQ(
        "The screen is too small for this list.It has 80 columns and 6 lines; at least 21 "
        "columns and 7 lines are needed.",
        shown);
    EXPECT_EQ("next\n", in.Rest());  // the wait reads its whole line
}

TEST_F(PickerScreenTest, TheNeededWidthComesFromTheStatesNotTheWindow) {
    std::string states = "_" + std::string(79, 'w') + ",_b";  // 80 with its marker: 60 needed
    std::vector<char> buf(states.begin(), states.end());
    buf.push_back('\0');
    TextMenuItem item{.pText = "Wide", .Type = MENUITEM_PICKONE, .pStates = buf.data(), .TextLen = 4,
                      .StateCnt = 2};
    for (auto [columns, lines] : {std::pair{40, 24}, std::pair{40, 5}, std::pair{80, 5}}) {
        TerminalSize size(columns, lines);
        StdinFeed in("\n");
        uint32_t mask = 0;
        std::string shown = Draw(&item, 0, &mask);
        EXPECT_EQ(-1, drawn_);
        EXPECT_NE(std::string::npos, shown.find("at least 60 columns and 7 lines")) << columns << "x" << lines;
    }
}

TEST_F(PickerScreenTest, PickManyShowsTheWholeSelectionOnEveryPage) {
    TerminalSize small(80, 10);  // four rows per column, twenty states a page
    std::string states = TrayStates(25);
    std::vector<char> buf(states.begin(), states.end());
    buf.push_back('\0');
    TextMenuItem item{.pText = "Trays", .Type = MENUITEM_PICKMANY, .pStates = buf.data(),
                      .Value = (1 << 1) | (1 << 22), .TextLen = 5, .StateCnt = 25};
    uint32_t mask = 0;
    for (int offset : {0, 20}) {
        Vt100 vt(80, 10);
        vt.Feed(Draw(&item, offset, &mask));
        EXPECT_EQ("Current selection: Tray 2 Tray 23", vt.Trimmed(8)) << offset;
    }
}

TEST_F(PickerScreenTest, AChangeOfWindowSizeStartsAgainAtTheFirstPage) {
    std::string states = TrayStates(25);
    std::vector<char> buf(states.begin(), states.end());
    buf.push_back('\0');
    TextMenuItem item{.pText = "Tray", .Type = MENUITEM_PICKONE, .pStates = buf.data(), .TextLen = 4,
                      .StateCnt = 25};
    uint32_t mask = 0;
    {
        TerminalSize small(80, 10);
        Draw(&item, 0, &mask);
        EXPECT_EQ(20, drawn_);
    }
    // The next page was asked for, but the window is now 60 x 24: the first page of
    // the new size is drawn in full, every row ended inside the new width.
    TerminalSize large(60, 24);
    Vt100 vt(60, 24);
    vt.Feed(Draw(&item, 20, &mask));
    EXPECT_EQ(25, drawn_);
    EXPECT_EQ(" ->  1) Tray 1", vt.Trimmed(2).substr(0, 14));
    EXPECT_EQ("    18) Tray 18", vt.Trimmed(19));
    EXPECT_EQ("Current selection: Tray 1", vt.Trimmed(22));
}

TEST_F(PickerScreenTest, WithoutDatabaseTheLabelsAreBuiltInEnglish) {
    menutest::LangGuard lang("C");
    DbT *saved = pDrvCoreDB;
    pDrvCoreDB = nullptr;
    char states[] = "_a,_b,_c";
    TextMenuItem item{.pText = "Plain", .Type = MENUITEM_PICKONE, .pStates = states, .TextLen = 5,
                      .StateCnt = 3};
    uint32_t mask = 0;
    Vt100 vt;
    vt.Feed(Draw(&item, 0, &mask));
    pDrvCoreDB = saved;
    EXPECT_EQ("Save" + std::string(36, ' ') + "Cancel", vt.Trimmed(21));
    EXPECT_EQ("Current selection: a", vt.Trimmed(22));
    EXPECT_EQ("Enter numbers, s to save or c to cancel:", vt.Trimmed(23));  // the shipped text
}

TEST_F(PickerScreenTest, AnOffsetPastTheListFails) {
    char states[] = "_a,_b";
    TextMenuItem item{.pText = "P", .Type = MENUITEM_PICKONE, .pStates = states, .TextLen = 1,
                      .StateCnt = 2};
    uint32_t mask = 0;
    Draw(&item, 0, &mask);
    Draw(&item, 5, &mask);
    EXPECT_EQ(-1, drawn_);
}

TEST(GetColumnWidths, KeepsTheWidestStatePerColumnAndStopsAtTheCapacity) {
    TerminalSize size(80, 9);  // three rows per column
    StdoutCapture out;
    TermScreen *s = GetTermInfo(nullptr);
    char states[] = "_a,_bbb,_cc,_dddd,_e,_ffffff,_g";
    TextMenuItem item{.pText = "W", .Type = MENUITEM_PICKONE, .pStates = states, .StateCnt = 7};
    int widths[3] = {0, 0, 0};
    EXPECT_EQ(7, GetColumnWidths(s, &item, widths, 3));
    EXPECT_EQ(4, widths[0]);
    EXPECT_EQ(7, widths[1]);
    EXPECT_EQ(2, widths[2]);
    int two[2] = {0, 0};
    GetColumnWidths(s, &item, two, 2);
    EXPECT_EQ(7, two[1]);
    FreeTermScreen(s);
}

}  // namespace

namespace {

TEST(ScreenWithoutTerminfo, FallsBackTo80By24AndAnsiSequences) {
    TerminalSize size(100, 30);
    pScreenTermName = "no-such-terminal-entry";
    StdoutCapture out;
    TermScreen *s = GetTermInfo(nullptr);
    ClearScreen(s);
    MoveCursor(s, 2, 3);
    std::string sent = out.Text();
    pScreenTermName = "vt100";
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(80, s->Columns);
    EXPECT_EQ(24, s->Lines);
    EXPECT_EQ("\033[H\033[J\033[4;3H", sent);
    StdoutCapture again;
    GetTermInfo(s);  // terminfo is back: the real size again
    again.Text();
    EXPECT_EQ(100, s->Columns);
    FreeTermScreen(s);
}

}  // namespace
