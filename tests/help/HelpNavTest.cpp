// Help navigation: the help menu's items, links, history and redirect names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "HelpTty.h"
#include "Html.h"
#include "TextMenu.h"
#include "../textmenu/MenuTestSupport.h"

namespace {

using menutest::LangGuard;

struct TempDir {
    std::string Path;
    TempDir() {
        char tmpl[] = "/tmp/helpnav-XXXXXX";
        Path = mkdtemp(tmpl);
    }
    ~TempDir() { std::system(("rm -rf '" + Path + "'").c_str()); }
    std::string Write(const std::string &name, const std::string &text) const {
        std::string p = Path + "/" + name;
        std::ofstream(p) << text;
        return p;
    }
};

// The item whose text is text, or null.
TextMenuItem *ItemNamed(const char *text) {
    for (TextMenuItem *i = HelpMenuItems; i && i->pText; ++i)
        if (std::string(i->pText) == text)
            return i;
    return nullptr;
}

void Follow(const char *text) {
    TextMenuItem *item = ItemNamed(text);
    ASSERT_NE(nullptr, item) << text;
    EXPECT_EQ(0, item->pfnHandler(&HelpMenu, item));
}

const char *const Pages =
    "<html page=\"top\"><body><p><a href=\"#part2\">Second</a> <a href=\"#mark\">Marked</a> "
    "<a href=\"#nowhere\">Lost</a></p></body></html>"
    "<html page=\"part2\"><body><p>Part two <a name=\"part2\">self</a></p></body></html>"
    "<html page=\"third\"><body><p>Third</p><p><a name=\"mark\">here</a></p></body></html>";

TEST(TtyHelpBuildMenuItems, OneItemPerLinkThenTheLetteredItems) {
    LangGuard lang("C");
    ASSERT_EQ(1, HtmlHelp("nav-items.html", Pages));
    TtyHelpBuildMenuItems();
    TextMenuItem *items = HelpMenuItems;
    EXPECT_EQ(MENUITEM_TEXT, items[0].Type);
    EXPECT_EQ(pCurrentPage->pImage, items[0].pText);
    const char *links[] = {"Second", "Marked", "Lost"};
    for (int i = 1; i <= 3; ++i) {
        EXPECT_STREQ(links[i - 1], items[i].pText);
        EXPECT_EQ(MENUITEM_ACTION, items[i].Type);
        EXPECT_EQ(i, items[i].Key);
    }
    EXPECT_EQ(MENUITEM_BAR, items[4].Type);
    EXPECT_EQ(3, items[5].Value.i);
    EXPECT_STREQ("~e Exit Help", items[6].pText);
    EXPECT_EQ('e', items[6].Key);
    EXPECT_STREQ("~c Contents", items[7].pText);
    EXPECT_STREQ("~b Back", items[8].pText);
    EXPECT_EQ(nullptr, items[9].pText);
    EXPECT_STREQ("Talvo Help", HelpMenu.pTitle);
    EXPECT_EQ(0x01C1, HelpMenu.Flags);
}

TEST(TtyHelpGotoLink, JumpsToPagesAndAnchorsAndBackReturns) {
    LangGuard lang("C");
    ASSERT_EQ(1, HtmlHelp("nav-jumps.html", Pages));
    TtyHelpBuildMenuItems();
    HtmlPage *top = pCurrentPage;
    Follow("Second");
    EXPECT_STREQ("part2", pCurrentPage->pName);
    EXPECT_EQ(0, TargetPos);
    EXPECT_EQ(nullptr, ItemNamed("self"));  // an anchor naming its own page is no item
    Follow("~b Back");
    EXPECT_EQ(top, pCurrentPage);
    Follow("Marked");
    EXPECT_STREQ("third", pCurrentPage->pName);
    EXPECT_EQ('h', pCurrentPage->pImage[TargetPos]);
    HtmlPage *third = pCurrentPage;
    Follow("~c Contents");
    EXPECT_EQ(top, pCurrentPage);
    Follow("Lost");  // a target that matches nothing changes nothing
    EXPECT_EQ(top, pCurrentPage);
    Follow("~b Back");  // the history was cleared by Contents
    EXPECT_EQ(top, pCurrentPage);
    EXPECT_NE(third, pCurrentPage);
}

TEST(ProcessLink, ALoadedFileShowsItsFirstPageWithoutHistory) {
    LangGuard lang("C");
    TempDir dir;
    std::string other = dir.Write("other.html", "<html><body><p>Other</p></body></html>");
    std::string main = dir.Write("main.html", "<html page=\"one\"><body><p><a href=\"#two\">To two</a></p></body></html>"
                                              "<html page=\"two\"><body><p><a href=\"" + other +
                                              "\">Other file</a> <a href=\"" + dir.Path +
                                              "/missing.html\">Missing</a></p></body></html>");
    ASSERT_NE(nullptr, ParseHtmlFile(other.c_str(), nullptr));
    ASSERT_EQ(1, HtmlHelp(main.c_str(), nullptr));
    TtyHelpBuildMenuItems();
    HtmlPage *one = pCurrentPage;
    Follow("To two");
    HtmlPage *two = pCurrentPage;
    testing::internal::CaptureStdout();
    Follow("Missing");
    EXPECT_EQ("Error in reading file " + dir.Path + "/missing.html\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ(two, pCurrentPage);
    Follow("Other file");
    EXPECT_NE(std::string::npos, std::string(pCurrentPage->pImage).find("Other"));
    Follow("~b Back");  // back to the position recorded before the jump to "two"
    EXPECT_EQ(one, pCurrentPage);
}

TEST(ProcessLink, TwoFilesLinkingEachOtherAreEachParsedOnce) {
    LangGuard lang("C");
    TempDir dir;
    std::string a = dir.Path + "/a.html", b = dir.Path + "/b.html";
    dir.Write("a.html", "<html><body><p>In A <a href=\"" + b + "\">to B</a> <a href=\"#\">self</a></p></body></html>");
    dir.Write("b.html", "<html><body><p>In B <a href=\"" + a + "\">to A</a></p></body></html>");
    ASSERT_EQ(1, HtmlHelp(a.c_str(), nullptr));
    TtyHelpBuildMenuItems();
    int files = FileIndex;
    for (int i = 0; i < 3; ++i) {
        Follow("to B");
        Follow("to A");
    }
    Follow("self");
    EXPECT_EQ(files + 1, FileIndex);
    EXPECT_NE(std::string::npos, std::string(pCurrentPage->pImage).find("In A"));
}

TEST(HtmlHelp, ReportsWhatCannotBeRead) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, HtmlHelp("/nonexistent/help.html", nullptr));
    EXPECT_EQ(0, HtmlHelp("nav-buffer.html", "no html here"));
    EXPECT_EQ("Error in reading HTML file /nonexistent/help.html\nError reading HTML buffer\n",
              testing::internal::GetCapturedStdout());
    testing::internal::CaptureStdout();
    TtyHtmlHelp(nullptr, nullptr, "Help");
    TtyHtmlHelp("x.html", nullptr, nullptr);
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
}

TEST(FindRedirect, TakesTheKeyBetweenTheMarkAndTheRedirectSuffix) {
    char name[] = "dir/$$key.Redirect.html";
    EXPECT_STREQ("key", FindRedirect(name));
    EXPECT_STREQ("dir/$$key", name);
    char plain[] = "dir/key.redirect";
    EXPECT_EQ(nullptr, FindRedirect(plain));
    char other[] = "$$key.html.redirect";
    EXPECT_EQ(nullptr, FindRedirect(other));
    std::string longName = "$$" + std::string(100, 'k') + ".redirect";
    EXPECT_EQ(std::string(63, 'k'), FindRedirect(longName.data()));
    char buf[64] = "$$abc.redirect";
    EXPECT_STREQ("abc", CheckForRedirect(buf, sizeof buf));
    EXPECT_STREQ("$$abc", buf);  // no help database: the name stays
}

}  // namespace
