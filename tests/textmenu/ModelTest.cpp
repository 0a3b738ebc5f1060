// Menu model: initialisation, keys, state lists, state formats and conditions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "MemMgr.h"
#include "MenuTestSupport.h"
#include "TextMenu.h"

namespace {

int InstallCalls = 0;
int CountInstall(TextMenu *, TextMenuItem *) {
    ++InstallCalls;
    return 0;
}

// A test copy of the installer's main menu items.
TextMenuItem MainMenuItemsCopy[] = {
    {.pText = "Install Driver and Utilities", .Type = MENUITEM_ACTION, .pfnHandler = CountInstall},
    {.pText = "Create an installation site.", .Type = MENUITEM_ACTION},
    {.pText = "Create installation diskettes.", .Type = MENUITEM_ACTION},
    {.pText = "~e Exit", .Type = MENUITEM_EXIT},
    {.pText = "", .Type = MENUITEM_TEXT},
    {.pText = nullptr},
};
TextMenu MainMenuCopy = {"Install Print Driver and Utilities", 1, nullptr, nullptr, nullptr, nullptr,
                         MainMenuItemsCopy, MENU_NORETURNEXIT};

TEST(InitMenu, GivesTheMainMenuKeysAndTheLongestText) {
    EXPECT_EQ(30, InitMenu(&MainMenuCopy));
    EXPECT_EQ(1, MainMenuItemsCopy[0].Key);
    EXPECT_EQ(2, MainMenuItemsCopy[1].Key);
    EXPECT_EQ(3, MainMenuItemsCopy[2].Key);
    EXPECT_EQ('e', MainMenuItemsCopy[3].Key);
    EXPECT_EQ(0, MainMenuItemsCopy[4].Key);
    EXPECT_EQ(28, MainMenuItemsCopy[0].TextLen);
}

TEST(InitMenu, ReturnsZeroForAMenuWithoutItems) {
    TextMenuItem none[] = {{.pText = nullptr}};
    TextMenu menu{"Empty", 0, nullptr, nullptr, nullptr, nullptr, none, 0};
    EXPECT_EQ(0, InitMenu(&menu));
}

TEST(InitMenu, ResetsPickOneAndNumbersButKeepsPickManyAndTexts) {
    char one[] = "_a,_b,_c";
    char many[] = "_a,_b,_c";
    TextMenuItem items[] = {
        {.pText = "One", .Type = MENUITEM_PICKONE, .pStates = one, .Default = 1},
        {.pText = "Many", .Type = MENUITEM_PICKMANY, .pStates = many, .Value = 6},
        {.pText = "Name", .Type = MENUITEM_NAME, .Default = "lp0"},
        {.pText = "Int", .Type = MENUITEM_INT, .Default = 42},
        {.pText = "Float", .Type = MENUITEM_FLOAT, .Default = 2.5f},
        {.pText = nullptr},
    };
    TextMenu menu{"Values", 0, nullptr, nullptr, nullptr, nullptr, items, 0};
    InitMenu(&menu);
    EXPECT_EQ(3, items[0].StateCnt);
    EXPECT_EQ(1, items[0].Value.i);
    EXPECT_EQ(6, items[1].Value.i);
    EXPECT_STREQ("lp0", static_cast<char *>(items[2].Value.p));
    EXPECT_EQ(42, items[3].Value.i);
    EXPECT_FLOAT_EQ(2.5f, items[4].Value.f);

    items[0].Value.i = 2;
    items[1].Value.i = 5;
    std::strcpy(static_cast<char *>(items[2].Value.p), "lp1");
    items[3].Value.i = 7;
    items[4].Value.f = 1.0f;
    InitMenu(&menu);
    EXPECT_EQ(1, items[0].Value.i);
    EXPECT_EQ(5, items[1].Value.i);
    EXPECT_STREQ("lp1", static_cast<char *>(items[2].Value.p));
    EXPECT_EQ(42, items[3].Value.i);
    EXPECT_FLOAT_EQ(2.5f, items[4].Value.f);
    FreeMenu(&menu);
    EXPECT_EQ(nullptr, items[2].Value.p);
}

TEST(InitMenu, StartsAPickManyItemWithoutValueOnItsFirstState) {
    char states[] = "_a,_b";
    TextMenuItem items[] = {
        {.pText = "Many", .Type = MENUITEM_PICKMANY, .pStates = states},
        {.pText = nullptr},
    };
    TextMenu menu{"M", 0, nullptr, nullptr, nullptr, nullptr, items, 0};
    InitMenu(&menu);
    EXPECT_EQ(1, items[0].Value.i);
    EXPECT_EQ(1, items[0].Default.i);
    EXPECT_EQ(1, items[0].PrevValue);
}

TEST(InitMenu, EmptiesANewTextBufferWithoutDefault) {
    TextMenuItem items[] = {{.pText = "S", .Type = MENUITEM_STRING}, {.pText = nullptr}};
    TextMenu menu{"M", 0, nullptr, nullptr, nullptr, nullptr, items, 0};
    InitMenu(&menu);
    ASSERT_NE(nullptr, items[0].Value.p);
    EXPECT_STREQ("", static_cast<char *>(items[0].Value.p));
    FreeMenu(&menu);
}

TEST(FindTextMenuItem, GivesTheFirstItemOfAKindOrNull) {
    EXPECT_EQ(&MainMenuItemsCopy[0], FindTextMenuItem(&MainMenuCopy, MENUITEM_ACTION));
    EXPECT_EQ(&MainMenuItemsCopy[3], FindTextMenuItem(&MainMenuCopy, MENUITEM_EXIT));
    EXPECT_EQ(nullptr, FindTextMenuItem(&MainMenuCopy, MENUITEM_APPLY));
}

TEST(StateSelection, HidingTheCurrentStateMovesToTheNextOffered) {
    char states[] = "_No,_Yes";
    TextMenuItem items[] = {
        {.pText = "Sound", .Type = MENUITEM_PICKONE, .pStates = states, .Default = 0},
        {.pText = nullptr},
    };
    TextMenu menu{"M", 0, nullptr, nullptr, nullptr, nullptr, items, 0};
    InitMenu(&menu);
    EXPECT_STREQ("_No", items[0].pCurState);
    HideStateSelection(&items[0], 0);
    EXPECT_STREQ(" No,_Yes", states);
    EXPECT_EQ(1, items[0].Value.i);
    EXPECT_EQ(0, items[0].PrevValue);
    EXPECT_STREQ("_Yes", items[0].pCurState);
    ShowStateSelection(&items[0], 0);
    EXPECT_STREQ("_No,_Yes", states);
}

TEST(StateSelection, StopsAfterStateCntStepsWhenEveryStateIsWithheld) {
    char states[] = " a, b, c";
    TextMenuItem item{.pText = "All", .Type = MENUITEM_PICKONE, .pStates = states, .StateCnt = 3};
    UpdateStateSelection(&item);
    ASSERT_NE(nullptr, item.pCurState);
    EXPECT_EQ(' ', item.pCurState[0]);
    EXPECT_EQ(0, item.Value.i);  // three steps went all the way round
    int withheld = 0;
    EXPECT_STREQ("a", GetStateText(&item, 1, &withheld));
    EXPECT_EQ(1, withheld);
}

TEST(StateSelection, AnIndexPastTheListOrNegativeChangesNothing) {
    char states[] = "_a,_b";
    TextMenuItem item{.pText = "I", .Type = MENUITEM_PICKONE, .pStates = states, .StateCnt = 2};
    HideStateSelection(&item, 2);
    HideStateSelection(&item, -1);
    ShowStateSelection(&item, 5);
    EXPECT_STREQ("_a,_b", states);
    HideStateSelection(&item, 1);
    EXPECT_STREQ("_a, b", states);
    EXPECT_EQ(0, item.Value.i);
    UpdateStateSelection(nullptr);  // does nothing
}

TEST(StateSelection, AnEmptyStateHasNoMarkerToChange) {
    char states[] = "_a,";
    TextMenuItem item{.pText = "I", .Type = MENUITEM_PICKONE, .pStates = states, .StateCnt = 1};
    HideStateSelection(&item, 1);
    EXPECT_EQ(0, std::memcmp(states, "_a,", 4));
}

TEST(TestFormatState, MatchesAnyListedNumberOrEverythingAfterAnAsterisk) {
    EXPECT_EQ(1, TestFormatState("*", 17));
    EXPECT_EQ(1, TestFormatState("1/3", 1));
    EXPECT_EQ(1, TestFormatState("1/3", 3));
    EXPECT_EQ(0, TestFormatState("1/3", 2));
    EXPECT_EQ(0, TestFormatState("13", 1));
    EXPECT_EQ(0, TestFormatState("", 0));
}

// Items of a menu whose item 0 owns a state format.
struct FormatMenu {
    char States[16] = "_a,_b,_c";
    TextMenuItem Items[9];
    TextMenu Menu{"F", 0, nullptr, nullptr, nullptr, nullptr, Items, 0};
    explicit FormatMenu(const char *format) {
        Items[0] = {.pText = "Owner", .Type = MENUITEM_PICKONE, .pStates = States, .pFormat = format};
        for (int i = 1; i < 8; ++i)
            Items[i] = {.pText = "Other", .Type = MENUITEM_INT, .Default = 10 * i};
        Items[8] = {.pText = nullptr};
        InitMenu(&Menu);
    }
    void Set(int value) {
        Items[0].Value.i = value;
        ProcessStateFormat(&Menu, 0);
    }
};

int ManyPCalls = 0;
int CountManyP(TextMenu *, TextMenuItem *) {
    ++ManyPCalls;
    return 0;
}

TEST(ProcessStateFormat, TargetsNamedManyTimesDoNotMultiplyAtEveryLevel) {
    // each item's format names the next item ten times: 10^7 runs without a bound
    char states[8][16];
    TextMenuItem items[9];
    TextMenu menu{"P", 0, nullptr, nullptr, nullptr, nullptr, items, 0};
    char formats[8][64];
    for (int i = 0; i < 8; ++i) {
        std::snprintf(states[i], sizeof states[i], "_a,_b");
        int next = i + 1 < 8 ? i + 1 : i;
        std::snprintf(formats[i], sizeof formats[i], "P*{%d,%d,%d,%d,%d,%d,%d,%d,%d,%d}", next, next, next, next,
                      next, next, next, next, next, next);
        items[i] = {.pText = "I", .Type = MENUITEM_PICKONE, .pStates = states[i], .pfnHandler = CountManyP,
                    .pFormat = formats[i]};
    }
    items[8] = {.pText = nullptr};
    InitMenu(&menu);
    ManyPCalls = 0;
    ProcessStateFormat(&menu, 0);
    EXPECT_EQ(64, ManyPCalls);
}

TEST(ProcessStateFormat, NMakesTargetsInactiveOnAMatchAndNormalOtherwise) {
    FormatMenu f("N0{3,4}");
    EXPECT_EQ(MENUSTATE_INACTIVE, f.Items[3].State);
    EXPECT_EQ(MENUSTATE_INACTIVE, f.Items[4].State);
    EXPECT_EQ(MENUSTATE_NORMAL, f.Items[5].State);
    f.Set(2);
    EXPECT_EQ(MENUSTATE_NORMAL, f.Items[3].State);
    EXPECT_EQ(MENUSTATE_NORMAL, f.Items[4].State);
}

TEST(ProcessStateFormat, GroupsApplyInOrderAndHHides) {
    FormatMenu f("N0{3,4} H1{5} H0/2{4}");
    EXPECT_EQ(MENUSTATE_INACTIVE, f.Items[3].State);
    EXPECT_EQ(MENUSTATE_HIDDEN, f.Items[4].State);  // the later group wins
    EXPECT_EQ(MENUSTATE_NORMAL, f.Items[5].State);
    f.Set(1);
    EXPECT_EQ(MENUSTATE_NORMAL, f.Items[3].State);
    EXPECT_EQ(MENUSTATE_NORMAL, f.Items[4].State);
    EXPECT_EQ(MENUSTATE_HIDDEN, f.Items[5].State);
}

TEST(ProcessStateFormat, SGivesAValueAndRestoresTheOldOneOnce) {
    FormatMenu f("S1{6.2}");
    EXPECT_EQ(60, f.Items[6].Value.i);
    EXPECT_EQ(-1, f.Items[6].SavedValue);
    f.Set(1);
    EXPECT_EQ(2, f.Items[6].Value.i);
    EXPECT_EQ(60, f.Items[6].SavedValue);
    f.Set(1);  // a repeated match keeps the first saved value
    EXPECT_EQ(60, f.Items[6].SavedValue);
    f.Set(0);
    EXPECT_EQ(60, f.Items[6].Value.i);
    EXPECT_EQ(-1, f.Items[6].SavedValue);
    f.Items[6].Value.i = 61;
    f.Set(2);
    EXPECT_EQ(61, f.Items[6].Value.i);
}

TEST(ProcessStateFormat, IgnoresTargetsOutsideTheMenuAndUnknownOperators) {
    FormatMenu f("N0{3,99,4} X0{5}");
    EXPECT_EQ(MENUSTATE_INACTIVE, f.Items[3].State);
    EXPECT_EQ(MENUSTATE_INACTIVE, f.Items[4].State);
    EXPECT_EQ(MENUSTATE_NORMAL, f.Items[5].State);
}

TEST(ProcessStateFormat, AnInactiveOwnerAppliesNothing) {
    FormatMenu f("N1{3}");
    f.Items[0].State = MENUSTATE_INACTIVE;
    f.Set(1);
    EXPECT_EQ(MENUSTATE_NORMAL, f.Items[3].State);
}

int PHandlerCalls = 0;
int CountP(TextMenu *, TextMenuItem *) {
    ++PHandlerCalls;
    return 0;
}

TEST(ProcessStateFormat, PWalksTheTargetsFormatAndCallsItsHandlerThenGoesOn) {
    char states[] = "_x,_y";
    char inner[] = "_p,_q";
    TextMenuItem items[] = {
        {.pText = "Owner", .Type = MENUITEM_PICKONE, .pStates = states, .pFormat = "P0{1,2} N0{3}"},
        {.pText = "Inner", .Type = MENUITEM_PICKONE, .pStates = inner, .pfnHandler = CountP,
         .pFormat = "H0{4}"},
        {.pText = "Plain", .Type = MENUITEM_ACTION, .pfnHandler = CountP},
        {.pText = "T3", .Type = MENUITEM_TEXT},
        {.pText = "T4", .Type = MENUITEM_TEXT},
        {.pText = nullptr},
    };
    TextMenu menu{"P", 0, nullptr, nullptr, nullptr, nullptr, items, 0};
    PHandlerCalls = 0;
    InitMenu(&menu);
    // The owner's P ran the inner format and both handlers; the scan went on to N.
    EXPECT_EQ(MENUSTATE_HIDDEN, items[4].State);
    EXPECT_EQ(MENUSTATE_INACTIVE, items[3].State);
    EXPECT_GE(PHandlerCalls, 2);
}

TEST(ProcessStateFormat, APLoopEnds) {
    char states[] = "_x,_y";
    TextMenuItem items[] = {
        {.pText = "Self", .Type = MENUITEM_PICKONE, .pStates = states, .pFormat = "P0{0} N0{1}"},
        {.pText = "T", .Type = MENUITEM_TEXT},
        {.pText = nullptr},
    };
    TextMenu menu{"Loop", 0, nullptr, nullptr, nullptr, nullptr, items, 0};
    InitMenu(&menu);
    EXPECT_EQ(MENUSTATE_INACTIVE, items[1].State);
}

// Conditions over a menu: item 2 holds 1, item 3 holds 0, item 4 holds 1 (inactive).
struct ConditionMenu {
    TextMenuItem Items[7];
    TextMenu Menu{"C", 0, nullptr, nullptr, nullptr, nullptr, Items, 0};
    ConditionMenu() {
        for (int i = 0; i < 6; ++i)
            Items[i] = {.pText = "I", .Type = MENUITEM_INT, .Value = 0};
        Items[6] = {.pText = nullptr};
        Items[2].Value.i = 1;
        Items[4].Value.i = 1;
        Items[4].State = MENUSTATE_INACTIVE;
    }
    int Holds(const char *condition, int owner = 0) {
        return TestStateCondition(&Menu, condition, owner);
    }
};

TEST(TestState, TellsValueAndWhetherTheItemIsNormal) {
    ConditionMenu c;
    EXPECT_EQ(1, TestState(&c.Menu, "2.1", 0));
    EXPECT_EQ(0, TestState(&c.Menu, "2.0", 0));
    EXPECT_EQ(2, TestState(&c.Menu, "4.1", 0));
    EXPECT_EQ(1, TestState(&c.Menu, "+1.1", 1));
    EXPECT_EQ(1, TestState(&c.Menu, "-2.0", 5));
    EXPECT_EQ(0, TestState(&c.Menu, "+9.0", 1));
    EXPECT_EQ(0, TestState(&c.Menu, "-9.0", 1));
}

TEST(TestState, ATermPastTheLargestNumberIsOutsideTheMenu) {
    ConditionMenu c;
    EXPECT_EQ(0, TestState(&c.Menu, "+99999999999999999999.0", 1));
}

TEST(TestStateCondition, AndOrNotAndParentheses) {
    ConditionMenu c;
    EXPECT_EQ(1, c.Holds("2.1&3.0"));
    EXPECT_EQ(0, c.Holds("2.1&3.1"));
    EXPECT_EQ(1, c.Holds("2.0|3.0"));
    EXPECT_EQ(0, c.Holds("2.0|3.1"));
    EXPECT_EQ(1, c.Holds("!2.0"));
    EXPECT_EQ(0, c.Holds("!2.1"));
    EXPECT_EQ(1, c.Holds("!(2.0|3.1)"));
    EXPECT_EQ(1, c.Holds("(2.0|3.0)&2.1"));
}

TEST(TestStateCondition, AnOperandThatCannotChangeTheResultIsReadOver) {
    ConditionMenu c;
    EXPECT_EQ(0, c.Holds("2.0&3.0"));
    EXPECT_EQ(1, c.Holds("2.1|3.1"));
    EXPECT_EQ(0, c.Holds("!2.1&3.0"));
    EXPECT_EQ(1, c.Holds("2.1&3.0|5.7"));
    EXPECT_EQ(0, c.Holds("2.1&3.1&5.0"));
}

TEST(TestStateCondition, RelativeTermsAndTheASuffix) {
    ConditionMenu c;
    EXPECT_EQ(1, c.Holds("+1.1", 1));
    EXPECT_EQ(0, c.Holds("+1.1", 2));
    EXPECT_EQ(0, c.Holds("+8.0", 2));  // outside the menu: false
    EXPECT_EQ(0, c.Holds("2.1A"));
    EXPECT_EQ(1, c.Holds("4.1A"));
    EXPECT_EQ(1, c.Holds("4.1"));
    EXPECT_EQ(1, c.Holds("4.1A&2.1"));
}

TEST(ValidateMenu, ASubmenuWithoutConditionsLeadsThereUnlessInactiveOrHidden) {
    TextMenu sub{"Sub", 0, nullptr, nullptr, nullptr, nullptr, nullptr, 0};
    TextMenuItem items[] = {
        {.pText = "Go", .Type = MENUITEM_SUBMENU, .Value = &sub},
        {.pText = nullptr},
    };
    TextMenu menu{"M", 0, nullptr, nullptr, nullptr, nullptr, items, 0};
    EXPECT_EQ(&sub, ValidateMenu(&menu, 0));
    items[0].State = MENUSTATE_INACTIVE;
    EXPECT_EQ(nullptr, ValidateMenu(&menu, 0));
    items[0].State = MENUSTATE_HIDDEN;
    EXPECT_EQ(nullptr, ValidateMenu(&menu, 0));
    EXPECT_EQ(nullptr, ValidateMenu(&menu, 5));
}

TEST(ValidateMenu, TheFirstConditionThatHoldsChoosesTheSubmenu) {
    TextMenu a{"A", 0, nullptr, nullptr, nullptr, nullptr, nullptr, 0};
    TextMenu b{"B", 0, nullptr, nullptr, nullptr, nullptr, nullptr, 0};
    TextMenu *subs[] = {&a, &b};
    TextMenuItem items[] = {
        {.pText = "Kind", .Type = MENUITEM_INT, .Value = 1},
        {.pText = "Go", .Type = MENUITEM_SUBMENU, .Value = subs, .pFormat = "0.0  -1.1"},
        {.pText = nullptr},
    };
    TextMenu menu{"M", 0, nullptr, nullptr, nullptr, nullptr, items, 0};
    EXPECT_EQ(&b, ValidateMenu(&menu, 1));
    items[0].Value.i = 0;
    EXPECT_EQ(&a, ValidateMenu(&menu, 1));
    items[0].Value.i = 2;
    EXPECT_EQ(nullptr, ValidateMenu(&menu, 1));
}

}  // namespace
