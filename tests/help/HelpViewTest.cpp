// The helpview tool's command line and its --dump output.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "../support/RunCommand.h"

namespace {

using ToolRun = CommandRun;

ToolRun HelpView(const std::string &args) {
    std::string cmd = std::string(BINARY_DIR) + "/helpview " + args + " 2>&1";
    return RunCommand(cmd);
}

TEST(HelpViewDump, PrintsEachPageThenItsLinks) {
    char tmpl[] = "/tmp/helpview-XXXXXX";
    int fd = mkstemp(tmpl);
    ASSERT_GE(fd, 0);
    close(fd);
    std::ofstream(tmpl) << "<html><body><p>Go <a href=\"#two\">Next</a></p><a name=\"top\"></a></body></html>"
                           "<html page=\"two\"><body>Two<br><a>plain</a></body></html>";
    ToolRun r = HelpView(std::string("--dump ") + tmpl);
    unlink(tmpl);
    EXPECT_EQ(0, r.Status);
    EXPECT_EQ("== page contents ==\n\n\nGo <Next>\n"
              "1\t2\t5\t11\t#two\n"
              "2\t1\t12\t12\ttop\n"
              "== page two ==\nTwo\nplain\n"
              "1\t0\t4\t9\t\n",
              r.Out);
}

TEST(HelpViewDump, CommandLineErrors) {
    ToolRun missing = HelpView("--dump /nonexistent/help.html");
    EXPECT_EQ(1, missing.Status);
    EXPECT_EQ("Error in reading HTML file /nonexistent/help.html\n", missing.Out);
    EXPECT_EQ(2, HelpView("").Status);
    EXPECT_EQ(2, HelpView("--dump").Status);
    EXPECT_EQ(2, HelpView("--frob x").Status);
    ToolRun help = HelpView("--help");
    EXPECT_EQ(0, help.Status);
    EXPECT_EQ(0u, help.Out.find("usage: helpview FILE[#TARGET] [TITLE]\n"));
}

}  // namespace
