// Settings files: the exact lines written, and what reading them back changes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "Files.h"
#include "MenuTestSupport.h"
#include "TextMenu.h"

using namespace menutest;

namespace {

int SubApplyCalls = 0;
int CountSubApply(TextMenu *, TextMenuItem *) {
    ++SubApplyCalls;
    return 0;
}

// Item 2 a pick-one item, item 3 a name, item 5 a submenu with an integer.
struct SettingsMenus {
    char States[16] = "_off,_on";
    char Many[16] = "_a,_b,_c";
    TextMenuItem SubItems[3];
    TextMenu Sub{"Port", 0, nullptr, nullptr, nullptr, nullptr, SubItems, 0};
    TextMenuItem Items[9];
    TextMenu Menu{"Printer", 0, nullptr, nullptr, nullptr, nullptr, Items, 0};
    SettingsMenus() {
        SubItems[0] = {.pText = "Number", .Type = MENUITEM_INT, .Default = 9100};
        SubItems[1] = {.pText = "Apply", .Type = MENUITEM_APPLY, .pfnHandler = CountSubApply};
        SubItems[2] = {.pText = nullptr};
        Items[0] = {.pText = "Title", .Type = MENUITEM_TEXT};
        Items[1] = {.pText = "Many", .Type = MENUITEM_PICKMANY, .pStates = Many, .Value = 6};
        Items[2] = {.pText = "Mode", .Type = MENUITEM_PICKONE, .pStates = States};
        Items[3] = {.pText = "Queue", .Type = MENUITEM_NAME};
        Items[4] = {.pText = "Go", .Type = MENUITEM_ACTION};
        Items[5] = {.pText = "Port", .Type = MENUITEM_SUBMENU, .Value = &Sub};
        Items[6] = {.pText = "Scale", .Type = MENUITEM_FLOAT, .Default = 1.0f};
        Items[7] = {.pText = "Note", .Type = MENUITEM_STRING};
        Items[8] = {.pText = nullptr};
        InitMenu(&Menu);
        InitMenu(&Sub);
    }
    ~SettingsMenus() {
        FreeMenu(&Menu);
        FreeMenu(&Sub);
    }
    char *Text(int i) { return static_cast<char *>(Items[i].Value.p); }
};

std::string Store(TextMenu *menu) {
    std::string path = TempPath("menuset");
    pOut = std::fopen(path.c_str(), "w");
    StoreMenu(menu);
    std::fclose(pOut);
    pOut = nullptr;
    std::string text = ReadFile(path);
    unlink(path.c_str());
    return text;
}

// Loads the text from a file; returns what was said on standard error, with the
// file's name written as FILE.
std::string Load(TextMenu *menu, const std::string &text) {
    std::string path = TempPath("menuset");
    WriteFile(path, text);
    std::string said;
    {
        StdoutCapture err(2);
        EXPECT_EQ(1, OpenInputFile(path.c_str(), 0));
        LoadMenu(menu);
        if (FileStatus == 0)
            CloseInputFile();
        said = err.Text();
    }
    unlink(path.c_str());
    for (size_t at; (at = said.find(path)) != std::string::npos;)
        said.replace(at, path.size(), "FILE");
    return said;
}

TEST(StoreMenu, WritesValueLinesThenSubmenuBlocks) {
    SettingsMenus m;
    m.Items[2].Value.i = 1;
    std::strcpy(m.Text(3), "print1");
    m.Items[6].Value.f = 2.5f;
    EXPECT_EQ("2[1] 9 0\n3[print1] 11 0\n6[2.500] 14 0\n7[] 12 0\n5{\n0[9100] 13 0\n}\n", Store(&m.Menu));
}

TEST(StoreMenu, LeavesOutSubmenusThatAreNotSelected) {
    SettingsMenus m;
    m.Items[5].State = MENUSTATE_INACTIVE;
    m.Items[3].State = MENUSTATE_HIDDEN;
    EXPECT_EQ("2[0] 9 0\n3[] 11 2\n6[1.000] 14 0\n7[] 12 0\n", Store(&m.Menu));
}

TEST(LoadMenu, ReadsValuesBackIntoTheItems) {
    SettingsMenus m;
    flLoadedSettings = 0;
    SubApplyCalls = 0;
    Load(&m.Menu, "2[1] 9 0\n3[print1] 11 1\n6[2.500] 14 0\n7[] 12 0\n5{\n0[515] 13 0\n}\n");
    EXPECT_EQ(1, flLoadedSettings);
    EXPECT_EQ(1, m.Items[2].Value.i);
    EXPECT_STREQ("print1", m.Text(3));
    EXPECT_EQ(MENUSTATE_INACTIVE, m.Items[3].State);
    EXPECT_FLOAT_EQ(2.5f, m.Items[6].Value.f);
    EXPECT_STREQ("", m.Text(7));
    EXPECT_EQ(515, m.SubItems[0].Value.i);
    EXPECT_EQ(1, SubApplyCalls);  // the submenu's apply item ran at its closing line
    EXPECT_EQ(6, m.Items[1].Value.i);
}

TEST(LoadMenu, StoreAndLoadRoundTrip) {
    SettingsMenus a, b;
    a.Items[2].Value.i = 1;
    std::strcpy(a.Text(3), "queue_2");
    std::strcpy(a.Text(7), "");
    a.Items[6].Value.f = 0.125f;
    a.SubItems[0].Value.i = -3;
    Load(&b.Menu, Store(&a.Menu));
    EXPECT_EQ(1, b.Items[2].Value.i);
    EXPECT_STREQ("queue_2", b.Text(3));
    EXPECT_STREQ("", b.Text(7));
    EXPECT_FLOAT_EQ(0.125f, b.Items[6].Value.f);
    EXPECT_EQ(-3, b.SubItems[0].Value.i);
}

TEST(LoadMenu, PickManyMasksAreNeitherStoredNorLoaded) {
    SettingsMenus m;
    EXPECT_EQ(std::string::npos, Store(&m.Menu).find("1["));
    Load(&m.Menu, "1[3] 10 0\n");
    EXPECT_EQ(6, m.Items[1].Value.i);
}

TEST(LoadMenu, TextsEndAtTheirFirstBlankOrBracket) {
    SettingsMenus m;
    Load(&m.Menu, "7[two words] 12 0\n3[a]b] 11 0\n");
    EXPECT_STREQ("two", m.Text(7));
    EXPECT_STREQ("a", m.Text(3));
}

TEST(LoadMenu, AWordTooLongForTheTextIsRefused) {
    SettingsMenus m;
    std::string said = Load(&m.Menu, "7[" + std::string(400, 'x') + "] 12 0\n");
    EXPECT_STREQ("", m.Text(7));
    EXPECT_EQ("WARNING: FILE line 1: the value is too long; the line is ignored\n", said);
}

TEST(LoadMenu, ATypeFieldTurnsOnlyANameIntoAStringAndBack) {
    SettingsMenus m;
    std::string said = Load(&m.Menu, "3[lp] 12 0\n2[1] 13 0\n6[3] 11 0\n7[x] 0 0\n");
    EXPECT_EQ(MENUITEM_STRING, m.Items[3].Type);
    EXPECT_STREQ("lp", m.Text(3));
    // A pick item made an integer would take any number, its state format as template.
    EXPECT_EQ(MENUITEM_PICKONE, m.Items[2].Type);
    EXPECT_EQ(0, m.Items[2].Value.i);
    EXPECT_EQ(MENUITEM_FLOAT, m.Items[6].Type);
    EXPECT_FLOAT_EQ(1.0f, m.Items[6].Value.f);
    EXPECT_EQ(MENUITEM_STRING, m.Items[7].Type);
    EXPECT_EQ("WARNING: FILE line 2: the type does not fit the item; the line is ignored\n"
              "WARNING: FILE line 3: the type does not fit the item; the line is ignored\n",
              said);
}

TEST(LoadMenu, IgnoresUnknownIndexesAndLinesWithoutTypeAndState) {
    SettingsMenus m;
    std::string said = Load(&m.Menu, "42[7] 13 0\n-1[7] 13 0\n2[1]\n3[lp\n\n2[1] 9\n");
    EXPECT_EQ(0, m.Items[2].Value.i);
    EXPECT_STREQ("", m.Text(3));
    EXPECT_NE(std::string::npos, said.find("FILE line 1: no item of that index"));
    EXPECT_NE(std::string::npos, said.find("FILE line 4: no type and state after the value"));
    EXPECT_EQ(std::string::npos, said.find("line 5"));  // an empty line says nothing
}

TEST(LoadMenu, OnlyItemsWithAValueTakeAState) {
    SettingsMenus m;
    std::string said = Load(&m.Menu, "4[0] 0 2\n1[3] 10 2\n2[1] 9 7\n");
    EXPECT_EQ(MENUSTATE_NORMAL, m.Items[4].State);
    EXPECT_EQ(MENUSTATE_NORMAL, m.Items[1].State);
    EXPECT_EQ(MENUSTATE_NORMAL, m.Items[2].State);
    EXPECT_EQ(0, m.Items[2].Value.i);
    EXPECT_EQ("WARNING: FILE line 1: the item takes no value; the line is ignored\n"
              "WARNING: FILE line 2: the item takes no value; the line is ignored\n"
              "WARNING: FILE line 3: no such item state; the line is ignored\n",
              said);
}

// Each refused line leaves the value the item had, and says which line it was.
TEST(LoadMenu, ValuesPassTheChecksOfTypedOnes) {
    char states[] = "_a,_b, c";
    TextMenuItem items[] = {
        {.pText = "Copies", .Type = MENUITEM_INT, .Default = 1, .pFormat = "d(1,99)"},
        {.pText = "Scale", .Type = MENUITEM_FLOAT, .Default = 1.0f, .pFormat = "f(0.1,4)"},
        {.pText = "Queue", .Type = MENUITEM_NAME, .pFormat = "A(1,16)+_+-"},
        {.pText = "Tray", .Type = MENUITEM_PICKONE, .pStates = states},
        {.pText = "Note", .Type = MENUITEM_STRING},
        {.pText = "Count", .Type = MENUITEM_INT},
        {.pText = nullptr},
    };
    TextMenu menu{"Checked", 0, nullptr, nullptr, nullptr, nullptr, items, 0};
    InitMenu(&menu);
    std::string said = Load(&menu,
                            "0[-99999] 13 0\n1[nan] 14 0\n1[inf] 14 0\n2[../../etc/x] 11 0\n"
                            "3[5] 9 0\n3[2] 9 0\n3[-1] 9 0\n4[\x1b[2J\x9b] 12 0\n5[12abc] 13 0\n"
                            "0[42] 13 0\n1[2.500] 14 0\n2[lp_1] 11 0\n3[1] 9 0\n4[\xe9t\xe9] 12 0\n");
    EXPECT_EQ(42, items[0].Value.i);
    EXPECT_FLOAT_EQ(2.5f, items[1].Value.f);
    EXPECT_STREQ("lp_1", static_cast<char *>(items[2].Value.p));
    EXPECT_EQ(1, items[3].Value.i);
    EXPECT_STREQ("\xe9t\xe9", static_cast<char *>(items[4].Value.p));
    EXPECT_EQ(0, items[5].Value.i);
    for (int line = 1; line <= 9; ++line)
        EXPECT_NE(std::string::npos, said.find("FILE line " + std::to_string(line) + ": ")) << line;
    EXPECT_EQ(std::string::npos, said.find("line 10"));
    EXPECT_EQ(9, static_cast<int>(std::count(said.begin(), said.end(), '\n')));
    FreeMenu(&menu);
}

TEST(LoadMenu, ABraceAfterAnItemThatIsNoSubmenuSkipsTheBlock) {
    SettingsMenus m;
    std::string said = Load(&m.Menu, "3{\n2[1] 9 0\n}\n7{\n}\n3[after] 11 0\n");
    EXPECT_EQ(0, m.Items[2].Value.i);
    EXPECT_STREQ("after", m.Text(3));
    EXPECT_EQ("", said);
}

TEST(LoadMenu, ABlockGoesToTheSubmenuTheConditionsSelectNow) {
    TextMenuItem aItems[] = {{.pText = "A", .Type = MENUITEM_INT}, {.pText = nullptr}};
    TextMenuItem bItems[] = {{.pText = "B", .Type = MENUITEM_INT}, {.pText = nullptr}};
    TextMenu a{"A", 0, nullptr, nullptr, nullptr, nullptr, aItems, 0};
    TextMenu b{"B", 0, nullptr, nullptr, nullptr, nullptr, bItems, 0};
    TextMenu *subs[] = {&a, &b};
    TextMenuItem items[] = {
        {.pText = "Which", .Type = MENUITEM_INT},
        {.pText = "Sub", .Type = MENUITEM_SUBMENU, .Value = subs, .pFormat = "0.0 0.1"},
        {.pText = nullptr},
    };
    TextMenu menu{"M", 0, nullptr, nullptr, nullptr, nullptr, items, 0};
    Load(&menu, "0[1] 13 0\n1{\n0[77] 13 0\n}\n");
    EXPECT_EQ(0, aItems[0].Value.i);
    EXPECT_EQ(77, bItems[0].Value.i);
}

TEST(LoadMenu, ABlockWithoutSelectedSubmenuIsSkippedToItsClosingLine) {
    SettingsMenus m;
    m.Items[5].State = MENUSTATE_HIDDEN;
    Load(&m.Menu, "5{\n0[1] 13 0\n3{\n2[1] 9 0\n}\n2[1] 9 0\n}\n3[after] 11 0\n");
    EXPECT_EQ(9100, m.SubItems[0].Value.i);
    EXPECT_EQ(0, m.Items[2].Value.i);
    EXPECT_STREQ("after", m.Text(3));
}

}  // namespace
