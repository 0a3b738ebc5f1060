// The help viewer on a terminal: helpview driven through a pseudo-terminal.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "PtyRun.h"

using namespace ptytest;

namespace {

const std::string HelpView = std::string(BINARY_DIR) + "/helpview";

struct HelpFile {
    std::string Path;
    explicit HelpFile(const std::string &text) {
        char tmpl[] = "/tmp/helppty-XXXXXX";
        int fd = mkstemp(tmpl);
        if (fd >= 0)
            close(fd);
        Path = tmpl;
        std::ofstream(Path) << text;
    }
    ~HelpFile() { unlink(Path.c_str()); }
};

const char *const Prompt = "Enter a number: ";

TEST(HelpOnATerminal, FollowBackContentsAndLeave) {
    HelpFile help("<html page=\"start\"><head><title>Start page</title></head><body>"
                  "<p>Read <a href=\"#details\">Details</a> or <a href=\"#end\">End</a>.</p></body></html>"
                  "<html page=\"details\"><body><p>The details. <a href=\"#end\">Go on</a></p></body></html>"
                  "<html page=\"end\"><body><p>The end.</p></body></html>");
    PtyRun run(HelpView, {help.Path}, 80, 24, "", {"LANG=C"});
    ASSERT_TRUE(run.Expect(Prompt));
    Vt100 vt = run.Screen();
    EXPECT_EQ(std::string(35, ' ') + "Talvo Help", RowWith(vt, "Talvo Help"));
    EXPECT_EQ(std::string(35, ' ') + "Start page", RowWith(vt, "Start page"));
    // a blank right after a tag starts no text: "&#32;" writes one
    EXPECT_EQ("Read <Details>or <End>.", RowWith(vt, "Read"));
    EXPECT_EQ(" 1) Details", RowWith(vt, "1) Details"));
    EXPECT_NE(std::string::npos, RowWith(vt, "e) Exit Help").find("c) Contents"));
    run.Send("1\n");
    ASSERT_TRUE(run.Expect("The details."));
    ASSERT_TRUE(run.Expect(Prompt));
    run.Send("1\n");
    ASSERT_TRUE(run.Expect("The end."));
    ASSERT_TRUE(run.Expect(Prompt));
    run.Send("b\n");
    ASSERT_TRUE(run.Expect("The details."));
    ASSERT_TRUE(run.Expect(Prompt));
    run.Send("c\n");
    ASSERT_TRUE(run.Expect("Read <Details>or"));
    ASSERT_TRUE(run.Expect(Prompt));
    run.Send("\n");  // no Return exit in the help
    ASSERT_TRUE(run.Expect(Prompt));
    run.Send("e\n");
    EXPECT_EQ(0, run.Finish());
}

TEST(HelpOnATerminal, ATargetOpensItsPageAndABadFileFails) {
    HelpFile help("<html><body><p>First</p></body></html><html page=\"two\"><body><p>Second</p></body></html>");
    PtyRun run(HelpView, {help.Path + "#two", "Manual"}, 80, 24, "", {"LANG=C"});
    ASSERT_TRUE(run.Expect("Second"));
    ASSERT_TRUE(run.Expect(Prompt));
    run.Send("e\n");
    EXPECT_EQ(0, run.Finish());

    PtyRun bad(HelpView, {"/nonexistent/help.hlp"});
    ASSERT_TRUE(bad.Expect("Error in reading HTML file /nonexistent/help.hlp"));
    EXPECT_EQ(1, bad.Finish());
}

}  // namespace
