// The interaction loop driven in-process: answers come from a file on standard input.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "BuiltinTexts.h"
#include "Errors.h"
#include "Files.h"
#include "MenuTestSupport.h"
#include "TextMenu.h"

using namespace menutest;

namespace {

// The picker's prompt as shipped.
std::string PickPrompt() {
    return BuiltinText("en_US", 25, 205);
}

struct Counters {
    int Install = 0, Toggle = 0, Apply = 0, Refresh = 0, Leave = 0, Action = 0;
};
Counters C;

int SetExit(TextMenu *, TextMenuItem *) {
    ++C.Install;
    flExitTextMenu = 1;
    return 0;
}
int CountToggle(TextMenu *, TextMenuItem *) {
    ++C.Toggle;
    return 0;
}
int CountLeave(TextMenu *, TextMenuItem *) {
    ++C.Leave;
    return 0;
}
int CountAction(TextMenu *, TextMenuItem *) {
    ++C.Action;
    return 0;
}
int BecomeExit(TextMenu *, TextMenuItem *item) {
    item->Type = MENUITEM_EXIT;
    return 0;
}
void CountApply(TextMenu *) {
    ++C.Apply;
}
void CountRefresh(TextMenu *) {
    ++C.Refresh;
}

// Everything a loop test needs: swallowed clears, English texts, a program name,
// exits trapped, and the loop-ending flag cleared before and after.
class RunMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        C = Counters{};
        flExitTextMenu = 0;
        savedName_ = my_name;
        my_name = name_;
    }
    void TearDown() override {
        flExitTextMenu = 0;
        my_name = savedName_;
    }
    // Runs the menu on the answers; returns what was printed.
    std::string Run(TextMenu *menu, const std::string &answers, const char *file = nullptr,
                    int interactive = 1) {
        StdinFeed in(answers);
        StdoutCapture out;
        EXPECT_EQ(0, RunMenu(menu, file, interactive));
        rest_ = in.Rest();
        return out.Text();
    }
    int Draws() const { return static_cast<int>(SystemRecorder::Lines().size()); }
    std::string rest_;
    EnvGuard term_{"TERM", "vt100"};  // every draw clears the terminal, one command each
    SystemRecorder system_;
    EnglishTexts texts_;
    FreshTexts fresh_;
    ExitTrap trap_;
    char name_[8] = "test";
    char *savedName_ = nullptr;
};

TextMenuItem MainItems[] = {
    {.pText = "Install Driver and Utilities", .Type = MENUITEM_ACTION, .pfnHandler = SetExit},
    {.pText = "Create an installation site.", .Type = MENUITEM_ACTION, .pfnHandler = CountAction},
    {.pText = "Create installation diskettes.", .Type = MENUITEM_ACTION},
    {.pText = "~e Exit", .Type = MENUITEM_EXIT},
    {.pText = "", .Type = MENUITEM_TEXT},
    {.pText = nullptr},
};
TextMenu MainMenuCopy = {"Install Print Driver and Utilities", 1, nullptr, nullptr, nullptr, nullptr,
                         MainItems, MENU_NORETURNEXIT};

TEST_F(RunMenuTest, AHandlerThatSetsTheExitFlagEndsTheLoop) {
    Run(&MainMenuCopy, "2\n1\nleft\n");
    EXPECT_EQ(1, C.Action);
    EXPECT_EQ(1, C.Install);
    EXPECT_EQ("left\n", rest_);
    // A later run returns at once.
    std::string shown = Run(&MainMenuCopy, "e\n");
    EXPECT_EQ("", shown);
    EXPECT_EQ("e\n", rest_);
}

TEST_F(RunMenuTest, UnknownNumbersAndLettersRedrawSilently) {
    Run(&MainMenuCopy, "9\nq\nh\ns\n 1\ne\n");
    EXPECT_EQ(6, Draws());
    EXPECT_EQ(0, C.Install);
}

TEST_F(RunMenuTest, TheEndOfInputStopsTheProgram) {
    StdoutCapture err(2);
    try {
        Run(&MainMenuCopy, "\n");
        FAIL() << "RunMenu returned at the end of input";
    } catch (const ExitCalled &e) {
        EXPECT_EQ(1, e.Status);
    }
    EXPECT_EQ("ERROR: unexpected end of input\n", err.Text());
}

TEST_F(RunMenuTest, AByteTwoFiftyFiveIsAnAnswerNotTheEndOfInput) {
    Run(&MainMenuCopy, "\xff\n\xff" "e\ne\n");
    EXPECT_EQ(3, Draws());
    EXPECT_EQ("", rest_);
}

TEST_F(RunMenuTest, ALongAnswerIsReportedAndRefusedWhole) {
    // In pieces, "exxx..." would have chosen Exit and the rest would have been answers.
    std::string shown = Run(&MainMenuCopy, "e" + std::string(LINEBUF_SIZE + 10, 'x') + "\n\n1\n");
    EXPECT_NE(std::string::npos, shown.find("This text length must be from 0 to 4095 characters long."));
    EXPECT_EQ(2, Draws());
    EXPECT_EQ(1, C.Install);
}

struct ValueMenu {
    char YesNo[16] = "_No,_Yes";
    TextMenuItem Items[7];
    TextMenu Menu{"Values", 0, nullptr, nullptr, nullptr, nullptr, Items, MENU_NORETURNEXIT};
    explicit ValueMenu(uint16_t flags = 0) {
        Menu.Flags |= flags;
        Items[0] = {.pText = "Banner", .Type = MENUITEM_PICKONE, .pStates = YesNo,
                    .pfnHandler = CountToggle};
        Items[1] = {.pText = "Queue", .Type = MENUITEM_NAME, .pPrompt = "Queue name",
                    .pfnHandler = CountToggle};
        Items[2] = {.pText = "Copies", .Type = MENUITEM_INT, .pPrompt = "Copies",
                    .Default = 1, .pFormat = "d(1,10)"};
        Items[3] = {.pText = "Scale", .Type = MENUITEM_FLOAT, .pPrompt = "Scale"};
        Items[4] = {.pText = "~x Done", .Type = MENUITEM_EXIT};
        Items[5] = {.pText = "Hidden", .Type = MENUITEM_ACTION, .State = MENUSTATE_INACTIVE,
                    .pfnHandler = CountAction};
        Items[6] = {.pText = nullptr};
    }
    const char *Text() const { return static_cast<const char *>(Items[1].Value.p); }
};

TEST_F(RunMenuTest, AnInvalidEntryKeepsTheOldValue) {
    ValueMenu m;
    m.Menu.Flags |= MENU_KEEPITEMS;
    std::string shown = Run(&m.Menu, "3 12\n\n3 x\n\nx\n");
    EXPECT_EQ(1, m.Items[2].Value.i);
    EXPECT_NE(std::string::npos, shown.find("This number must be between 1 to 10."));
    EXPECT_NE(std::string::npos, shown.find("Invalid digit:  x"));
    FreeMenu(&m.Menu);
}

TEST_F(RunMenuTest, AnEntryTooLongForTheTextBufferIsRefused) {
    ValueMenu m;
    m.Menu.Flags |= MENU_KEEPITEMS;
    std::string shown = Run(&m.Menu, "2 first\n2 " + std::string(256, 'q') + "\n\n2 " +
                                         std::string(255, 'k') + "\nx\n");
    EXPECT_NE(std::string::npos, shown.find("This text length must be from 0 to 255 characters long."));
    EXPECT_EQ(std::string(255, 'k'), m.Text());
    FreeMenu(&m.Menu);
}

TEST_F(RunMenuTest, InactiveItemsCannotBeChosen) {
    ValueMenu m;
    Run(&m.Menu, "6\nx\n");
    EXPECT_EQ(0, C.Action);
    EXPECT_EQ(2, Draws());
}

TEST_F(RunMenuTest, TextBuffersAreReleasedUnlessTheMenuKeepsThem) {
    ValueMenu m;
    Run(&m.Menu, "2 name\nx\n");
    EXPECT_EQ(nullptr, m.Items[1].Value.p);
}

struct QuestionMenu {
    TextMenuItem Items[3];
    TextMenu Parent{"Main", 0, nullptr, nullptr, nullptr, nullptr, nullptr, 0};
    TextMenu Menu{"Printer", 0, "Apply changes", CountApply, nullptr, CountRefresh, Items, 0};
    QuestionMenu() {
        Items[0] = {.pText = "Queue", .Type = MENUITEM_NAME, .pPrompt = "Queue"};
        Items[1] = {.pText = "Nothing", .Type = MENUITEM_ACTION};
        Items[2] = {.pText = nullptr};
    }
};

TEST_F(RunMenuTest, ApplyNeedsEveryNameSet) {
    QuestionMenu m;
    m.Items[1] = {.pText = "Clear", .Type = MENUITEM_STRING};
    std::string shown = Run(&m.Menu, "2 x\n\ny\n\n1 lp\n\ny\n");
    EXPECT_NE(std::string::npos, shown.find("All names must be set before applying setup."));
    EXPECT_EQ(1, C.Apply);
}

TEST_F(RunMenuTest, WithoutChangesNoApplyQuestionIsAsked) {
    QuestionMenu m;
    std::string shown = Run(&m.Menu, "\ny\n");
    EXPECT_EQ(std::string::npos, shown.find("Apply changes"));
    EXPECT_EQ(0, C.Apply);
}

TEST_F(RunMenuTest, WithoutQuestionApplyRunsBeforeEveryLeaveQuestion) {
    QuestionMenu m;
    m.Menu.pQuestion = nullptr;
    Run(&m.Menu, "\nn\n\ny\n");
    EXPECT_EQ(2, C.Apply);
    EXPECT_EQ(2, C.Refresh);  // on entry and after the declined question
}

TEST_F(RunMenuTest, PickerAnswersAfterTheFirstAreReadFresh) {
    char states[] = "_a,_b,_c,_d";
    TextMenuItem items[] = {
        {.pText = "Pick", .Type = MENUITEM_PICKMANY, .pStates = states},
        {.pText = "~x Done", .Type = MENUITEM_EXIT},
        {.pText = nullptr},
    };
    TextMenu menu{"P", 0, nullptr, nullptr, nullptr, nullptr, items, MENU_NORETURNEXIT};
    setenv("COLUMNS", "80", 1);
    setenv("LINES", "24", 1);
    std::string shown = Run(&menu, "1\n3 4\n2\ns\nx\n");
    EXPECT_EQ(15, items[0].Value.i);
    size_t draws = 0;
    for (size_t at = shown.find(PickPrompt()); at != std::string::npos;
         at = shown.find(PickPrompt(), at + 1))
        ++draws;
    EXPECT_EQ(3u, draws);  // one per answer before the save
}

TextMenuItem SubItems[] = {
    {.pText = "~b Back", .Type = MENUITEM_EXIT},
    {.pText = nullptr},
};
TextMenu SubMenu{"Sub", 0, nullptr, nullptr, nullptr, nullptr, SubItems, MENU_NORETURNEXIT};

TEST_F(RunMenuTest, SubmenusRunByRecursionAndTheParentRefreshes) {
    TextMenuItem items[] = {
        {.pText = "Go", .Type = MENUITEM_SUBMENU, .Value = &SubMenu},
        {.pText = "~x Done", .Type = MENUITEM_EXIT},
        {.pText = nullptr},
    };
    TextMenu menu{"Top", 0, nullptr, nullptr, nullptr, CountRefresh, items, MENU_NORETURNEXIT};
    std::string shown = Run(&menu, "1\nb\nx\n");
    EXPECT_NE(std::string::npos, shown.find("\f\nSub:\n\n"));
    EXPECT_EQ(2, C.Refresh);
    EXPECT_EQ(3, Draws());
}

TEST_F(RunMenuTest, ReinitAfterASuccessfulAction) {
    char states[] = "_a,_b";
    TextMenuItem items[] = {
        {.pText = "Pick", .Type = MENUITEM_PICKONE, .pStates = states},
        {.pText = "Reset", .Type = MENUITEM_ACTION, .pfnHandler = CountAction},
        {.pText = "~x Done", .Type = MENUITEM_EXIT},
        {.pText = nullptr},
    };
    TextMenu menu{"R", 0, nullptr, nullptr, nullptr, nullptr, items, MENU_NORETURNEXIT | MENU_REINIT};
    Run(&menu, "1\n2\nx\n");
    EXPECT_EQ(0, items[0].Value.i);
    menu.Flags = MENU_NORETURNEXIT;
    Run(&menu, "1\n2\nx\n");
    EXPECT_EQ(1, items[0].Value.i);
}

TEST_F(RunMenuTest, KeepTypeJudgesTheSelectionByTheKindBeforeTheHandler) {
    TextMenuItem items[] = {
        {.pText = "Morph", .Type = MENUITEM_ACTION, .pfnHandler = BecomeExit},
        {.pText = "~x Done", .Type = MENUITEM_EXIT},
        {.pText = nullptr},
    };
    TextMenu menu{"K", 0, nullptr, nullptr, nullptr, nullptr, items, MENU_NORETURNEXIT};
    Run(&menu, "1\nx\n");
    EXPECT_EQ("x\n", rest_);  // the item became an exit: the menu left at once
    items[0].Type = MENUITEM_ACTION;
    menu.Flags |= MENU_KEEPTYPE;
    Run(&menu, "1\nx\n");
    EXPECT_EQ("", rest_);
}

TEST_F(RunMenuTest, HelpAndStoreKeysNeedTheirFlags) {
    TextMenuItem items[] = {
        {.pText = "~h Hello", .Type = MENUITEM_ACTION, .pfnHandler = CountAction},
        {.pText = "~s Stop", .Type = MENUITEM_EXIT},
        {.pText = nullptr},
    };
    TextMenu menu{"H", 0, nullptr, nullptr, nullptr, nullptr, items, MENU_NORETURNEXIT};
    Run(&menu, "H\nS\n");
    EXPECT_EQ(1, C.Action);
    menu.Flags |= MENU_HELP;
    Run(&menu, "h\ns\n");
    EXPECT_EQ(1, C.Action);  // h opened the (absent) help instead
}

struct StoreDir {
    std::string Path;
    std::string Saved;
    StoreDir() {
        char tmpl[] = "/tmp/menustoreXXXXXX";
        Path = mkdtemp(tmpl);
        char cwd[4096];
        Saved = getcwd(cwd, sizeof cwd) ? cwd : "/";
        EXPECT_EQ(0, chdir(Path.c_str()));
    }
    ~StoreDir() {
        EXPECT_EQ(0, chdir(Saved.c_str()));
        std::string cmd = "rm -rf '" + Path + "'";
        EXPECT_EQ(0, std::system(cmd.c_str()));
    }
};

TEST_F(RunMenuTest, StoreAskWritesTheNamedFileAfterValidation) {
    StoreDir dir;
    ValueMenu m(MENU_STOREASK);
    std::string good = dir.Path + "/printer_1";
    std::string shown = Run(&m.Menu, "s\nbad.name\n\ns\n" + good + "\nx\n");
    EXPECT_NE(std::string::npos, shown.find("Enter the settings file name: "));
    EXPECT_EQ(-1, access((dir.Path + "/bad.name").c_str(), F_OK));
    EXPECT_EQ("0[0] 9 0\n1[] 11 0\n2[1] 13 0\n3[0.000] 14 0\n", ReadFile(good));
    EXPECT_EQ(nullptr, pOut);
}

TEST_F(RunMenuTest, AnEmptySettingsFileNameReturnsQuietly) {
    ValueMenu m(MENU_STOREASK);
    std::string shown = Run(&m.Menu, "s\n\nx\n");
    EXPECT_EQ(std::string::npos, shown.find("Invalid"));
    EXPECT_EQ(std::string::npos, shown.find('\0'));
    EXPECT_EQ(2, Draws());
}

TEST_F(RunMenuTest, StoreAsksBeforeReplacingAFile) {
    StoreDir dir;
    ValueMenu m(MENU_STOREASK);
    std::string file = dir.Path + "/printer";
    WriteFile(file, "kept\n");
    std::string shown = Run(&m.Menu, "s\n" + file + "\nn\nx\n");
    EXPECT_NE(std::string::npos, shown.find(file + " exists. Replace it? [y/n] "));
    EXPECT_EQ("kept\n", ReadFile(file));
    Run(&m.Menu, "s\n" + file + "\ny\nx\n");
    EXPECT_EQ("0[0] 9 0\n1[] 11 0\n2[1] 13 0\n3[0.000] 14 0\n", ReadFile(file));
}

TEST_F(RunMenuTest, StoreNeverWritesThroughALink) {
    StoreDir dir;
    ValueMenu m(MENU_STOREASK);
    std::string target = dir.Path + "/target", soft = dir.Path + "/soft", hard = dir.Path + "/hard";
    WriteFile(target, "precious\n");
    ASSERT_EQ(0, symlink(target.c_str(), soft.c_str()));
    ASSERT_EQ(0, link(target.c_str(), hard.c_str()));
    std::string shown = Run(&m.Menu, "s\n" + soft + "\ny\n\ns\n" + hard + "\ny\n\nx\n");
    EXPECT_EQ("precious\n", ReadFile(target));
    EXPECT_NE(std::string::npos, shown.find(soft + ": "));
    EXPECT_NE(std::string::npos, shown.find(hard + ": not a plain file; nothing was stored"));
    EXPECT_EQ(3, Draws());
    EXPECT_EQ(nullptr, pOut);
}

TEST_F(RunMenuTest, StoreExitThroughALinkStoresNothingAndStays) {
    StoreDir dir;
    ValueMenu m(MENU_STOREEXIT);
    std::string target = dir.Path + "/target";
    WriteFile(target, "precious\n");
    ASSERT_EQ(0, symlink(target.c_str(), ".settings"));
    Run(&m.Menu, "s\n\nx\n");  // no exit: the test would have caught it
    EXPECT_EQ("precious\n", ReadFile(target));
    EXPECT_EQ(2, Draws());
}

TEST_F(RunMenuTest, ASettingsFileIsLoadedAndAppliedWithoutInteraction) {
    StoreDir dir;
    QuestionMenu m;
    m.Menu.Flags |= MENU_KEEPITEMS;
    std::string path = dir.Path + "/replay";
    WriteFile(path, "0[lp_replay] 11 0\n");
    std::string shown = Run(&m.Menu, "", path.c_str(), 0);
    EXPECT_EQ("", shown);
    EXPECT_EQ(0, Draws());
    EXPECT_EQ(1, C.Apply);
    EXPECT_STREQ("lp_replay", static_cast<char *>(m.Items[0].Value.p));
    FreeMenu(&m.Menu);
}

TEST_F(RunMenuTest, AMissingSettingsFileRunsTheLeaveItemInstead) {
    TextMenuItem items[] = {
        {.pText = "Go", .Type = MENUITEM_ACTION},
        {.pText = "Quit", .Type = MENUITEM_LEAVE, .pfnHandler = CountLeave},
        {.pText = nullptr},
    };
    TextMenu menu{"L", 0, nullptr, CountApply, nullptr, nullptr, items, 0};
    Run(&menu, "", "/nonexistent-menu-test/settings", 0);
    EXPECT_EQ(1, C.Leave);
    EXPECT_EQ(0, C.Apply);
}

}  // namespace
