// Menus driven through a pseudo-terminal: the menudemo program runs the menus on a
// vt100 terminal of a fixed size while the test types answers and reads the screen.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BuiltinTexts.h"
#include "../textmenu/MenuTestSupport.h"
#include "../textmenu/Vt100.h"
#include "PtyRun.h"

using namespace menutest;
using namespace ptytest;

namespace {

// The picker's prompt as shipped.
std::string PickPrompt() {
    return BuiltinText("en_US", 25, 205);
}

const std::string Demo = std::string(BINARY_DIR) + "/menudemo";

// One run of menudemo.
class DemoRun : public PtyRun {
public:
    explicit DemoRun(const std::vector<std::string> &args, int columns = 80, int lines = 24,
                     const std::string &cwd = "")
        : PtyRun(Demo, args, columns, lines, cwd) {}
};

const char *const PrinterPrompt = "Enter a number or s for store settings in a file or <Return> to exit: ";

TEST(MenuOnATerminal, MainMenuActionsAndTheExitFlag) {
    DemoRun run({"main", "-english"});
    ASSERT_TRUE(run.Expect("Enter a number: "));
    Vt100 vt = run.Screen();
    EXPECT_EQ(std::string(23, ' ') + "Install Print Driver and Utilities", vt.Trimmed(2));
    EXPECT_EQ(" 1) Install Driver and Utilities", vt.Trimmed(4));
    EXPECT_EQ(" e) Exit", vt.Trimmed(10));
    run.Send("\n");  // no Return exit in this menu: drawn again
    ASSERT_TRUE(run.Expect("Enter a number: "));
    run.Send("3\n");  // a failing action stays
    ASSERT_TRUE(run.Expect("Enter a number: "));
    run.Send("2\n");
    ASSERT_TRUE(run.Expect("Creating an installation site"));
    ASSERT_TRUE(run.Expect("Enter a number: "));
    run.Send("1\n");
    ASSERT_TRUE(run.Expect("Installing Driver and Utilities"));
    ASSERT_TRUE(run.Expect("FINAL main menu left"));
    EXPECT_EQ(0, run.Finish());
}

TEST(MenuOnATerminal, WithoutDatabaseThePromptIsBuiltIn) {
    DemoRun run({"main"});
    ASSERT_TRUE(run.Expect("Enter a number: "));
    run.Send("E\n");
    ASSERT_TRUE(run.Expect("FINAL main menu left"));
    EXPECT_EQ(0, run.Finish());
}

TEST(MenuOnATerminal, ToggleAndDirectSet) {
    DemoRun run({"printer", "-english"});
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    EXPECT_EQ(" 2) Banner page .. [1. No]", RowWith(run.Screen(), "Banner page"));
    run.Send("2\n");
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    EXPECT_EQ(" 2) Banner page .. [2. Yes]", RowWith(run.Screen(), "Banner page"));
    run.Send("2 1\n");
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    EXPECT_EQ(" 2) Banner page .. [1. No]", RowWith(run.Screen(), "Banner page"));
    run.Send("2 2\n");
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    run.Send("x\n");
    ASSERT_TRUE(run.Expect("FINAL"));
    EXPECT_NE(std::string::npos, run.Output().find("banner=1 "));
    EXPECT_NE(std::string::npos, run.Output().find("handler=3\r\n"));
    EXPECT_EQ(0, run.Finish());
}

TEST(MenuOnATerminal, TypedEntriesWithAndWithoutOptionText) {
    DemoRun run({"printer", "-english"});
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    run.Send("1 lp_main\n");
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    run.Send("5\n");
    ASSERT_TRUE(run.Expect("Copies: "));
    run.Send("12\n");
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    run.Send("6 2.5\n");
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    run.Send("1 bad name\n");
    ASSERT_TRUE(run.Expect("Invalid character ' '"));
    ASSERT_TRUE(run.Expect("Press <Return> to continue "));
    run.Send("\n");
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    run.Send("5\n");
    ASSERT_TRUE(run.Expect("Copies: "));
    run.Send("\n");  // an empty answer keeps the value
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    Vt100 vt = run.Screen();
    EXPECT_EQ(" 1) Printer queue  [lp_main]", RowWith(vt, "Printer queue"));
    EXPECT_EQ(" 5) Copies ....... [12]", RowWith(vt, "Copies"));
    EXPECT_EQ(" 6) Scale ........ [2.500]", RowWith(vt, "Scale"));
    run.Send("x\n");
    ASSERT_TRUE(run.Expect("FINAL queue=lp_main "));
    EXPECT_EQ(0, run.Finish());
}

TEST(MenuOnATerminal, PickerOnOnePageSavesTheChosenState) {
    DemoRun run({"printer", "-english"});
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    run.Send("3\n");
    ASSERT_TRUE(run.Expect(PickPrompt()));
    Vt100 vt = run.Screen();
    EXPECT_EQ(std::string(35, ' ') + "Paper tray", vt.Trimmed(0));
    EXPECT_EQ(" ->  1) Tray 1" + std::string(30, ' ') + "19) Tray 19", vt.Trimmed(2));
    EXPECT_EQ("    18) Tray 18", vt.Trimmed(19));
    EXPECT_EQ("Current selection: Tray 1", vt.Trimmed(22));
    run.Send("\n");  // the next page is the first again: every state fits
    ASSERT_TRUE(run.Expect(PickPrompt()));
    run.Send("20\n");
    ASSERT_TRUE(run.Expect(PickPrompt()));
    vt = run.Screen();
    EXPECT_EQ("Current selection: Tray 20", vt.Trimmed(22));
    EXPECT_NE(std::string::npos, vt.Row(3).find(" -> 20) Tray 20"));
    run.Send("s\n");
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    EXPECT_EQ(" 3) Paper tray ... [20. Tray 20]", RowWith(run.Screen(), "Paper tray"));
    run.Send("x\n");
    ASSERT_TRUE(run.Expect("FINAL"));
    EXPECT_NE(std::string::npos, run.Output().find("tray=19 "));
    EXPECT_EQ(0, run.Finish());
}

TEST(MenuOnATerminal, PickerPagesOnASmallTerminal) {
    DemoRun run({"printer", "-english"}, 80, 10);
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    run.Send("3\n");
    ASSERT_TRUE(run.Expect(PickPrompt()));
    Vt100 first = run.Screen();
    EXPECT_NE(std::string::npos, first.Row(2).find(" ->  1) Tray 1"));
    EXPECT_NE(std::string::npos, first.Row(5).find("20) Tray 20"));
    run.Send("\n");
    ASSERT_TRUE(run.Expect(PickPrompt()));
    Vt100 second = run.Screen();
    EXPECT_EQ("    21) Tray 21", second.Trimmed(2).substr(0, 15));
    EXPECT_EQ("Current selection: Tray 1", second.Trimmed(8));
    run.Send("23\n");  // taken on this page, which is drawn again
    ASSERT_TRUE(run.Expect(PickPrompt()));
    EXPECT_NE(std::string::npos, run.Screen().Row(4).find(" -> 23) Tray 23"));
    run.Send("\n");  // the list ran out: back to the first page
    ASSERT_TRUE(run.Expect(PickPrompt()));
    EXPECT_NE(std::string::npos, run.Screen().Row(2).find("     1) Tray 1"));
    run.Send("s\n");
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    run.Send("x\n");
    ASSERT_TRUE(run.Expect("FINAL"));
    EXPECT_NE(std::string::npos, run.Output().find("tray=22 "));
    EXPECT_EQ(0, run.Finish());
}

TEST(MenuOnATerminal, PickManyCancelRestoresAndSaveKeeps) {
    DemoRun run({"printer", "-english"});
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    run.Send("4 2,5\n");  // the option text is the first answer; state 5 is withheld
    ASSERT_TRUE(run.Expect(PickPrompt()));  // drawn before the answer
    ASSERT_TRUE(run.Expect(PickPrompt()));  // and after it
    Vt100 vt = run.Screen();
    EXPECT_EQ("Current selection: duplex staple", vt.Trimmed(22));
    EXPECT_EQ("        fold", vt.Trimmed(6));
    run.Send("c\n");
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    EXPECT_EQ(" 4) Options ...... [default]", RowWith(run.Screen(), "Options"));
    run.Send("4\n");
    ASSERT_TRUE(run.Expect(PickPrompt()));
    run.Send("3 4\n");
    ASSERT_TRUE(run.Expect(PickPrompt()));
    run.Send("4\n");
    ASSERT_TRUE(run.Expect(PickPrompt()));
    EXPECT_EQ("Current selection: duplex punch", run.Screen().Trimmed(22));
    run.Send("s\n");
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    EXPECT_EQ(" 4) Options ...... [1,3]", RowWith(run.Screen(), "Options"));
    // Picker answers are no change: an empty line asks only the leave question.
    run.Send("\n");
    ASSERT_TRUE(run.Expect("Do you want to exit menudemo? [y/n] "));
    EXPECT_EQ(std::string::npos, run.Output().find("Apply these settings"));
    run.Send("y\n");
    ASSERT_TRUE(run.Expect("FINAL"));
    EXPECT_NE(std::string::npos, run.Output().find("options=5 "));
    EXPECT_EQ(0, run.Finish());
}

TEST(MenuOnATerminal, ApplyAndLeaveQuestions) {
    DemoRun run({"printer", "-english"});
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    run.Send("5 3\n");
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    run.Send("\n");
    ASSERT_TRUE(run.Expect("Apply these settings? [y/n] "));
    run.Send("n\n");
    ASSERT_TRUE(run.Expect("Do you want to exit menudemo? [y/n] "));
    run.Send("n\n");
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    run.Send("\n");
    ASSERT_TRUE(run.Expect("Apply these settings? [y/n] "));
    run.Send("Y\n");  // only lower case answers
    ASSERT_TRUE(run.Expect("Apply these settings? [y/n] "));
    run.Send("y\n");
    ASSERT_TRUE(run.Expect("All names must be set before applying setup."));
    run.Send("\n");
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    run.Send("1 lp\n");
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    run.Send("\n");
    ASSERT_TRUE(run.Expect("Apply these settings? [y/n] "));
    run.Send("y\n");
    ASSERT_TRUE(run.Expect("APPLIED queue=lp banner=0 tray=0 options=1 copies=3 "));
    ASSERT_TRUE(run.Expect("FINAL"));
    EXPECT_EQ(0, run.Finish());
}

TEST(MenuOnATerminal, SubmenuAndTheReturnQuestion) {
    DemoRun run({"printer", "-english"});
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    run.Send("7\n");
    ASSERT_TRUE(run.Expect("Enter a number or <Return> to exit: "));
    Vt100 vt = run.Screen();
    EXPECT_EQ("Network:", vt.Trimmed(2));
    EXPECT_EQ(" 2) Host .... [printhost]", RowWith(vt, "Host"));
    run.Send("1\n");  // local device: host and port become inactive
    ASSERT_TRUE(run.Expect("Enter a number or <Return> to exit: "));
    vt = run.Screen();
    EXPECT_EQ(" 1) Protocol  [2. local device]", RowWith(vt, "Protocol"));
    EXPECT_EQ("    Host .... [printhost]", RowWith(vt, "Host"));
    run.Send("2\n");  // not selectable now
    ASSERT_TRUE(run.Expect("Enter a number or <Return> to exit: "));
    run.Send("\n");
    ASSERT_TRUE(run.Expect("Do you want to return to Printer Set-up menu? [y/n] "));
    run.Send("n\n");
    ASSERT_TRUE(run.Expect("Enter a number or <Return> to exit: "));
    run.Send("\n");
    ASSERT_TRUE(run.Expect("Do you want to return to Printer Set-up menu? [y/n] "));
    run.Send("y\n");
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    run.Send("x\n");
    ASSERT_TRUE(run.Expect("FINAL"));
    EXPECT_NE(std::string::npos, run.Output().find("protocol=1 host=printhost port=9100"));
    EXPECT_EQ(0, run.Finish());
}

struct ScratchDir {
    std::string Path;
    ScratchDir() {
        char tmpl[] = "/tmp/menuptyXXXXXX";
        Path = mkdtemp(tmpl);
    }
    ~ScratchDir() {
        std::string cmd = "rm -rf '" + Path + "'";
        EXPECT_EQ(0, std::system(cmd.c_str()));
    }
};

TEST(MenuOnATerminal, StoreAndReplayASettingsFile) {
    ScratchDir dir;
    std::string file = dir.Path + "/printer_1";
    {
        DemoRun run({"printer", "-english"});
        ASSERT_TRUE(run.Expect(PrinterPrompt));
        run.Send("1 lp_store\n");
        ASSERT_TRUE(run.Expect(PrinterPrompt));
        run.Send("2\n");
        ASSERT_TRUE(run.Expect(PrinterPrompt));
        run.Send("6 0.5\n");
        ASSERT_TRUE(run.Expect(PrinterPrompt));
        run.Send("7\n");
        ASSERT_TRUE(run.Expect("Enter a number or <Return> to exit: "));
        run.Send("3 515\n");
        ASSERT_TRUE(run.Expect("Enter a number or <Return> to exit: "));
        run.Send("\n");
        ASSERT_TRUE(run.Expect("[y/n] "));
        run.Send("y\n");
        ASSERT_TRUE(run.Expect(PrinterPrompt));
        run.Send("s\n");
        ASSERT_TRUE(run.Expect("Enter the settings file name: "));
        run.Send(file + "\n");
        ASSERT_TRUE(run.Expect(PrinterPrompt));
        run.Send("x\n");
        ASSERT_TRUE(run.Expect("FINAL"));
        EXPECT_EQ(0, run.Finish());
    }
    EXPECT_EQ("0[lp_store] 11 0\n1[1] 9 0\n2[0] 9 0\n4[1] 13 0\n5[0.500] 14 0\n6{\n0[0] 9 0\n"
              "1[printhost] 12 0\n2[515] 13 0\n}\n",
              ReadFile(file));
    {
        DemoRun replay({"printer", "-english", "-load", file});
        ASSERT_TRUE(replay.Expect("APPLIED queue=lp_store banner=1 tray=0 options=1 copies=1 "
                                  "scale=0.500 protocol=0 host=printhost port=515 "));
        EXPECT_EQ(std::string::npos, replay.Output().find(PrinterPrompt));
        EXPECT_EQ(0, replay.Finish());
    }
    {
        DemoRun replay({"printer", "-english", "-replay", file});
        ASSERT_TRUE(replay.Expect(PrinterPrompt));
        EXPECT_EQ(" 1) Printer queue  [lp_store]", RowWith(replay.Screen(), "Printer queue"));
        replay.Send("x\n");
        ASSERT_TRUE(replay.Expect("FINAL"));
        EXPECT_EQ(0, replay.Finish());
    }
}

TEST(MenuOnATerminal, StoreExitWritesDotSettingsAndEnds) {
    ScratchDir dir;
    DemoRun run({"storeexit", "-english"}, 80, 24, dir.Path);
    ASSERT_TRUE(run.Expect("Enter a number or s for store settings in a file: "));
    run.Send("1 lp5\n");
    ASSERT_TRUE(run.Expect("Enter a number or s for store settings in a file: "));
    run.Send("s\n");
    EXPECT_EQ(0, run.Finish());
    EXPECT_EQ(std::string::npos, run.Output().find("FINAL"));
    EXPECT_EQ("0[lp5] 11 0\n1[2] 13 0\n", ReadFile(dir.Path + "/.settings"));
}

TEST(MenuOnATerminal, TheEndOfInputStopsTheMenu) {
    DemoRun run({"main", "-english"});
    ASSERT_TRUE(run.Expect("Enter a number: "));
    run.Send("\004");
    ASSERT_TRUE(run.Expect("ERROR: unexpected end of input"));
    EXPECT_EQ(1, run.Finish());
}

TEST(MenuOnATerminal, WithoutAUsableTerminalTypeNoComplaintReachesTheScreen) {
    for (const char *term : {"TERM=", "TERM=no-such-terminal-type"}) {
        PtyRun run(Demo, {"main", "-english"}, 80, 24, "", {term});
        ASSERT_TRUE(run.Expect("Enter a number: ")) << term;
        run.Send("\n");
        ASSERT_TRUE(run.Expect("Enter a number: ")) << term;
        run.Send("e\n");
        ASSERT_TRUE(run.Expect("FINAL main menu left")) << term;
        EXPECT_EQ(0, run.Finish());
        EXPECT_EQ(std::string::npos, run.Output().find("TERM")) << run.Output();
        EXPECT_EQ(std::string::npos, run.Output().find("terminal type")) << run.Output();
    }
}

TEST(MenuOnATerminal, TheEndOfInputStopsThePicker) {
    DemoRun run({"printer", "-english"});
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    run.Send("3\n");
    ASSERT_TRUE(run.Expect(PickPrompt()));
    run.Send("\004");
    ASSERT_TRUE(run.Expect("ERROR: unexpected end of input"));
    EXPECT_EQ(1, run.Finish());
}

TEST(MenuOnATerminal, APickerPageAfterAResizeIsTheFirstOfTheNewSize) {
    DemoRun run({"printer", "-english"}, 80, 10);
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    run.Send("3\n");
    ASSERT_TRUE(run.Expect(PickPrompt()));
    run.Send("\n");  // the second page: states 21 to 25
    ASSERT_TRUE(run.Expect(PickPrompt()));
    run.Resize(60, 24);
    run.Send("23\n");  // taken; the page drawn next is the first of the new size
    ASSERT_TRUE(run.Expect(PickPrompt()));
    Vt100 vt = run.Screen();
    EXPECT_EQ("     1) Tray 1", vt.Trimmed(2).substr(0, 14));
    EXPECT_EQ("    18) Tray 18", vt.Trimmed(19));
    EXPECT_NE(std::string::npos, vt.Trimmed(6).find(" -> 23) Tray 23"));
    EXPECT_NE(std::string::npos, vt.Trimmed(8).find("25) Tray 25"));
    EXPECT_EQ("Current selection: Tray 23", vt.Trimmed(22));
    run.Send("s\n");
    ASSERT_TRUE(run.Expect(PrinterPrompt));
    run.Send("x\n");
    ASSERT_TRUE(run.Expect("FINAL"));
    EXPECT_NE(std::string::npos, run.Output().find("tray=22 "));
    EXPECT_EQ(0, run.Finish());
}

TEST(MenuOnATerminal, ATooSmallTerminalLeavesThePickItemAlone) {
    DemoRun run({"printer", "-english"}, 80, 6);
    ASSERT_TRUE(run.Expect("to exit: "));
    run.Send("3\n");
    ASSERT_TRUE(run.Expect("The screen is too small for this list.It has 80 columns and 6 lines;"));
    run.Send("\n");
    ASSERT_TRUE(run.Expect("to exit: "));
    run.Send("x\n");
    ASSERT_TRUE(run.Expect("FINAL"));
    EXPECT_NE(std::string::npos, run.Output().find("tray=0 "));
    EXPECT_EQ(0, run.Finish());
}

}  // namespace
