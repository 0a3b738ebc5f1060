// Settings files: the exact lines written, and what reading them back changes.
#include <gtest/gtest.h>

#include <unistd.h>

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

void Load(TextMenu *menu, const std::string &text) {
    std::string path = TempPath("menuset");
    WriteFile(path, text);
    ASSERT_EQ(1, OpenInputFile(path.c_str(), 0));
    LoadMenu(menu);
    if (FileStatus == 0)
        CloseInputFile();
    unlink(path.c_str());
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

TEST(LoadMenu, ALongWordIsCutTo255Bytes) {
    SettingsMenus m;
    Load(&m.Menu, "7[" + std::string(400, 'x') + "] 12 0\n");
    EXPECT_EQ(255u, std::strlen(m.Text(7)));
}

TEST(LoadMenu, ATypeFieldChangesTheKindOnlyWhenTheValueIsKeptAlike) {
    SettingsMenus m;
    Load(&m.Menu, "3[lp] 12 0\n2[1] 13 0\n6[3] 11 0\n7[x] 0 0\n");
    EXPECT_EQ(MENUITEM_STRING, m.Items[3].Type);
    EXPECT_EQ(MENUITEM_INT, m.Items[2].Type);
    EXPECT_EQ(MENUITEM_FLOAT, m.Items[6].Type);
    EXPECT_FLOAT_EQ(3.0f, m.Items[6].Value.f);
    EXPECT_EQ(MENUITEM_STRING, m.Items[7].Type);
    m.Items[2].Type = MENUITEM_PICKONE;
    Load(&m.Menu, "2[1] 11 0\n");
    EXPECT_EQ(MENUITEM_PICKONE, m.Items[2].Type);
}

TEST(LoadMenu, IgnoresUnknownIndexesAndLinesWithoutTypeAndState) {
    SettingsMenus m;
    Load(&m.Menu, "42[7] 13 0\n-1[7] 13 0\n2[1]\n3[lp\n\n2[1] 9\n");
    EXPECT_EQ(0, m.Items[2].Value.i);
    EXPECT_STREQ("", m.Text(3));
}

TEST(LoadMenu, StateIsStoredForItemsOfEveryKind) {
    SettingsMenus m;
    Load(&m.Menu, "4[0] 0 1\n");
    EXPECT_EQ(MENUSTATE_INACTIVE, m.Items[4].State);
    EXPECT_EQ(MENUITEM_ACTION, m.Items[4].Type);
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
