// Menu rendering: the exact text of titles, items, values, bars and the prompt line.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "MenuTestSupport.h"
#include "TextMenu.h"

using namespace menutest;

namespace {

TextMenuItem MainItems[] = {
    {.pText = "Install Driver and Utilities", .Type = MENUITEM_ACTION},
    {.pText = "Create an installation site.", .Type = MENUITEM_ACTION},
    {.pText = "Create installation diskettes.", .Type = MENUITEM_ACTION},
    {.pText = "~e Exit", .Type = MENUITEM_EXIT},
    {.pText = "", .Type = MENUITEM_TEXT},
    {.pText = nullptr},
};
TextMenu MainMenuCopy = {"Install Print Driver and Utilities", 1, nullptr, nullptr, nullptr, nullptr,
                         MainItems, MENU_NORETURNEXIT};

class PrintMenuTest : public ::testing::Test {
protected:
    std::string Print(TextMenu *menu, int maxWidth = -1, int titleLen = -1) {
        int width = InitMenu(menu);
        if (maxWidth < 0)
            maxWidth = width;
        if (titleLen < 0)
            titleLen = menu->pTitle ? static_cast<int>(std::strcspn(menu->pTitle, "\n\r")) : 0;
        StdoutCapture out;
        PrintMenu(menu, maxWidth, titleLen);
        return out.Text();
    }
    EnvGuard term{"TERM", "vt100"};
    SystemRecorder system;
    EnglishTexts texts;
};

TEST_F(PrintMenuTest, MainMenuExample) {
    std::string shown = Print(&MainMenuCopy, 30, 34);
    std::string expected = "\f\n" + std::string(23, ' ') + "Install Print Driver and Utilities\n\n" +
                           " 1) Install Driver and Utilities \n\n" +
                           " 2) Create an installation site. \n\n" +
                           " 3) Create installation diskettes. \n\n" + " e) Exit \n\n" + " \n\n" +
                           "\nEnter a number: ";
    EXPECT_EQ(expected, shown);
    ASSERT_EQ(1u, SystemRecorder::Lines().size());
    const std::string &clear = SystemRecorder::Lines()[0];
    EXPECT_NE(std::string::npos, clear.find("clear"));
    EXPECT_EQ(std::string::npos, clear.find("1>"));  // unlogged: it reaches the terminal
    EXPECT_NE(std::string::npos, clear.find("2>/dev/null"));  // and its complaints do not
}

TEST_F(PrintMenuTest, WithoutAUsableTerminalTypeNothingIsCleared) {
    for (const char *term : {static_cast<const char *>(nullptr), "", "no-such-terminal-type"}) {
        EnvGuard guard("TERM", term);
        SystemRecorder::Lines().clear();
        std::string shown = Print(&MainMenuCopy, 30, 34);
        EXPECT_EQ(0u, SystemRecorder::Lines().size()) << (term ? term : "unset");
        EXPECT_EQ(0u, shown.find("\f\n")) << (term ? term : "unset");
    }
}

TEST_F(PrintMenuTest, ReturnsTheNumberOfItemsWalked) {
    InitMenu(&MainMenuCopy);
    StdoutCapture out;
    EXPECT_EQ(5, PrintMenu(&MainMenuCopy, 30, 34));
}

TEST_F(PrintMenuTest, TitleStyles) {
    TextMenuItem none[] = {{.pText = nullptr}};
    TextMenu plain{"Setup\nsecond line", 0, nullptr, nullptr, nullptr, nullptr, none, MENU_NORETURNEXIT};
    EXPECT_EQ("\f\nSetup\nsecond line:\n\n\nEnter a number: ", Print(&plain, 0, 5));
    TextMenu right{"Setup", 2, nullptr, nullptr, nullptr, nullptr, none, MENU_NORETURNEXIT};
    EXPECT_EQ("\f\n" + std::string(75, ' ') + "Setup\n\n\nEnter a number: ", Print(&right, 0, 5));
    std::string wide(90, 'w');
    TextMenu centred{wide.c_str(), 1, nullptr, nullptr, nullptr, nullptr, none, MENU_NORETURNEXIT};
    EXPECT_EQ("\f\n" + wide + "\n\n\nEnter a number: ", Print(&centred, 0, 90));
    TextMenu untitled{"Setup", 3, nullptr, nullptr, nullptr, nullptr, none, MENU_NORETURNEXIT};
    EXPECT_EQ("\nEnter a number: ", Print(&untitled, 0, 5));
}

TEST_F(PrintMenuTest, PromptLineOffersTheMenusKeys) {
    TextMenuItem none[] = {{.pText = nullptr}};
    TextMenu menu{"T", 3, nullptr, nullptr, nullptr, nullptr, none, MENU_STOREASK | MENU_HELP};
    EXPECT_EQ("\nEnter a number or s for store settings in a file or h for help or <Return> to exit: ",
              Print(&menu));
    menu.Flags = MENU_STOREEXIT;
    EXPECT_EQ("\nEnter a number or s for store settings in a file or <Return> to exit: ", Print(&menu));
}

TEST_F(PrintMenuTest, WithoutDatabaseThePromptIsBuiltInInTheLanguageOfLang) {
    DbT *saved = pDrvCoreDB;
    pDrvCoreDB = nullptr;
    std::string english, french;
    {
        LangGuard lang("C");
        english = Print(&MainMenuCopy, 30, 34);
    }
    {
        LangGuard lang("fr_FR.UTF-8");
        french = Print(&MainMenuCopy, 30, 34);
    }
    pDrvCoreDB = saved;
    const std::string prompt = "\nEnter a number: ";
    EXPECT_EQ(prompt, english.substr(english.size() - prompt.size()));
    EXPECT_NE(english.substr(english.size() - prompt.size()), french.substr(french.size() - prompt.size()));
    EXPECT_EQ(std::string::npos, french.find("25_510"));
}

TEST_F(PrintMenuTest, ValuesLineUpBehindDots) {
    char yesNo[] = "_No,_Yes";
    char many[] = "_a,_b,_c";
    TextMenuItem items[] = {
        {.pText = "Sound", .Type = MENUITEM_PICKONE, .pStates = yesNo, .Default = 1},
        {.pText = "Many", .Type = MENUITEM_PICKMANY, .pStates = many, .Value = 5},
        {.pText = "Queue", .Type = MENUITEM_NAME, .Default = "lp0"},
        {.pText = "Port", .Type = MENUITEM_INT, .Default = 9100},
        {.pText = "Scale", .Type = MENUITEM_FLOAT, .Default = 2.5f},
        {.pText = nullptr},
    };
    TextMenu menu{"V", 3, nullptr, nullptr, nullptr, nullptr, items, MENU_NORETURNEXIT | MENU_SINGLESPACE};
    std::string expected = std::string(" 1) Sound .... [2. Yes]\n") + " 2) Many ..... [1,3]\n" +
                           " 3) Queue .... [lp0]\n" + " 4) Port ..... [9100]\n" +
                           " 5) Scale .... [2.500]\n" + "\nEnter a number: ";
    EXPECT_EQ(expected, Print(&menu, 9));
    FreeMenu(&menu);
}

TEST_F(PrintMenuTest, PickManyWithOnlyTheFirstStateShowsTheDefaultWord) {
    char many[] = "_a,_b,_c";
    TextMenuItem items[] = {
        {.pText = "Many", .Type = MENUITEM_PICKMANY, .pStates = many, .Value = 1},
        {.pText = nullptr},
    };
    TextMenu menu{"V", 3, nullptr, nullptr, nullptr, nullptr, items, MENU_NORETURNEXIT | MENU_SINGLESPACE};
    EXPECT_EQ(" 1) Many  [default]\n\nEnter a number: ", Print(&menu));
    DbT *saved = pDrvCoreDB;
    pDrvCoreDB = nullptr;
    LangGuard lang("C");
    std::string bare = Print(&menu);
    pDrvCoreDB = saved;
    EXPECT_EQ(" 1) Many  [default]\n", bare.substr(0, 20));
}

TEST_F(PrintMenuTest, AWithheldOrMissingStateShowsEmptyBrackets) {
    char states[] = " off,_on";
    TextMenuItem items[] = {
        {.pText = "Mode", .Type = MENUITEM_PICKONE, .pStates = states},
        {.pText = nullptr},
    };
    TextMenu menu{"V", 3, nullptr, nullptr, nullptr, nullptr, items, MENU_NORETURNEXIT | MENU_SINGLESPACE};
    InitMenu(&menu);  // moves to the offered state
    EXPECT_EQ(" 1) Mode  [2. on]\n", Print(&menu).substr(0, 18));
    items[0].Default = 5;
    EXPECT_EQ(" 1) Mode  [ ]\n", Print(&menu).substr(0, 14));
}

TEST_F(PrintMenuTest, InactiveItemsAreIndentedAndHiddenItemsVanish) {
    TextMenuItem items[] = {
        {.pText = "First", .Type = MENUITEM_ACTION},
        {.pText = "Second", .Type = MENUITEM_ACTION, .State = MENUSTATE_INACTIVE},
        {.pText = "Third", .Type = MENUITEM_ACTION, .State = MENUSTATE_HIDDEN},
        {.pText = "Count", .Type = MENUITEM_INT, .State = MENUSTATE_INACTIVE, .Default = 3},
        {.pText = "~x Leave", .Type = MENUITEM_EXIT},
        {.pText = "Label", .Type = MENUITEM_LABEL},
        {.pText = nullptr},
    };
    TextMenu menu{"I", 3, nullptr, nullptr, nullptr, nullptr, items, MENU_NORETURNEXIT};
    std::string expected = std::string(" 1) First \n\n") + "    Second \n\n" + "    Count ... [3]\n\n" +
                           " x) Leave \n\n" + " 0) Label \n\n" + "\nEnter a number: ";
    EXPECT_EQ(expected, Print(&menu, 8));
}

TEST_F(PrintMenuTest, SubmenuItemsShowTheSubmenuTitleOrNothing) {
    TextMenu sub{"Network Settings", 0, nullptr, nullptr, nullptr, nullptr, nullptr, 0};
    TextMenu *subs[] = {&sub};
    TextMenuItem items[] = {
        {.pText = "ignored", .Type = MENUITEM_SUBMENU, .Value = &sub},
        {.pText = "Flag", .Type = MENUITEM_INT, .Default = 0},
        {.pText = "never", .Type = MENUITEM_SUBMENU, .Value = subs, .pFormat = "1.1"},
        {.pText = nullptr},
    };
    TextMenu menu{"S", 3, nullptr, nullptr, nullptr, nullptr, items, MENU_NORETURNEXIT};
    std::string expected = std::string(" 1) Network Settings \n\n") + " 2) Flag ... [0]\n\n" +
                           "\nEnter a number: ";
    EXPECT_EQ(expected, Print(&menu));
}

TEST_F(PrintMenuTest, HelpBarLayout) {
    TextMenuItem items[] = {
        {.pText = "Page text", .Type = MENUITEM_TEXT},
        {.pText = "Link one", .Type = MENUITEM_ACTION},
        {.pText = "", .Type = MENUITEM_BAR, .Value = 1},
        {.pText = "", .Type = MENUITEM_BAR, .Value = 3},
        {.pText = "~e Exit Help", .Type = MENUITEM_EXIT},
        {.pText = "~c Contents", .Type = MENUITEM_ACTION},
        {.pText = "~b Back", .Type = MENUITEM_ACTION},
        {.pText = nullptr},
    };
    TextMenu help{"Help", 3, nullptr, nullptr, nullptr, nullptr, items,
                  MENU_SINGLESPACE | MENU_KEEPTYPE | MENU_REINIT | MENU_NORETURNEXIT};
    std::string cells = std::string(" e) Exit Help") + std::string(12, ' ') + " c) Contents" +
                        std::string(13, ' ') + " b) Back" + std::string(17, ' ');
    std::string expected = std::string("Page text \n") + " 1) Link one \n" + "\n" + cells + "\n" +
                           "\nEnter a number: ";
    EXPECT_EQ(expected, Print(&help));
}

TEST_F(PrintMenuTest, BarCellsWrapAndCutLongTexts) {
    std::string longText(40, 'L');
    TextMenuItem items[] = {
        {.pText = "", .Type = MENUITEM_BAR, .Value = 4},
        {.pText = "One", .Type = MENUITEM_ACTION},
        {.pText = longText.c_str(), .Type = MENUITEM_ACTION},
        {.pText = "Hidden", .Type = MENUITEM_ACTION, .State = MENUSTATE_HIDDEN},
        {.pText = nullptr},
    };
    TextMenu menu{"B", 3, nullptr, nullptr, nullptr, nullptr, items, MENU_NORETURNEXIT | MENU_SINGLESPACE};
    // Width 20: "One" fills its cell; the long text starts a new line, is cut to 19
    // characters ending in a blank and ends its line; the hidden cell prints nothing.
    std::string expected = " 1) One" + std::string(12, ' ') + "\n" + " 2) " + std::string(14, 'L') + " " +
                           "\n" + "\n" + "\nEnter a number: ";
    EXPECT_EQ(expected, Print(&menu));
}

TEST_F(PrintMenuTest, RowBarPrintsALineBreakPerTextItem) {
    TextMenuItem items[] = {
        {.pText = "", .Type = MENUITEM_ROWBAR},
        {.pText = "a", .Type = MENUITEM_TEXT},
        {.pText = "b", .Type = MENUITEM_TEXT},
        {.pText = "After", .Type = MENUITEM_ACTION},
        {.pText = nullptr},
    };
    TextMenu menu{"R", 3, nullptr, nullptr, nullptr, nullptr, items, MENU_NORETURNEXIT | MENU_SINGLESPACE};
    EXPECT_EQ("\n\n\n 1) After \n\nEnter a number: ", Print(&menu));
}

TEST(PrintMenuBarItem, AdvancesTheCallersIndexAndNumber) {
    TextMenuItem items[] = {
        {.pText = "", .Type = MENUITEM_BAR, .Value = 2},
        {.pText = "~a Alpha", .Type = MENUITEM_ACTION, .Key = 'a'},
        {.pText = "Beta", .Type = MENUITEM_ACTION, .Key = 1},
        {.pText = nullptr},
    };
    int index = 0, number = 0;
    StdoutCapture out;
    TextMenuItem *last = PrintMenuBarItem(&items[0], MENUITEM_BAR, &index, &number);
    EXPECT_EQ(&items[2], last);
    EXPECT_EQ(2, index);
    EXPECT_EQ(2, number);
    EXPECT_EQ(" a) Alpha" + std::string(30, ' ') + " 1) Beta" + std::string(31, ' '), out.Text());
}

}  // namespace

TEST(FetchMenuMessage, ADatabaseTextWinsAndMissingOnesAreBuiltIn) {
    LangGuard lang("de_DE.UTF-8");
    NlsResetLang();
    DbT *saved = pDrvCoreDB;
    pDrvCoreDB = DbTOpen("/nonexistent-fetch-test/CoreString.xdb", DBT_NOCHECK | DBT_NOWRITE);
    DbmTPutRecord(pDrvCoreDB, "25_231", " oder h", 8);
    char buf[256];
    EXPECT_STREQ(" oder h", FetchMenuMessage(25, 231, buf, sizeof buf));
    EXPECT_STREQ("\nGeben Sie eine Nummer ein%s%s%s: ", FetchMenuMessage(25, 510, buf, sizeof buf));
    EXPECT_STREQ("25_9999", FetchMenuMessage(25, 9999, buf, sizeof buf));
    char small[8];
    EXPECT_STREQ("\nGeben ", FetchMenuMessage(25, 510, small, sizeof small));
    DbTClose(pDrvCoreDB);
    pDrvCoreDB = saved;
    NlsResetLang();
}
