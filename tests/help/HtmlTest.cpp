// The help parser and page layout, through ParseHtmlFile and the records it builds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Html.h"

namespace {

// Parses html given in memory under a name no other test uses.
HtmlFile *Parse(const std::string &html) {
    static int n = 0;
    std::string name = "memory-" + std::to_string(++n) + ".html";
    return ParseHtmlFile(name.c_str(), html.c_str());
}

HtmlPage *PageAt(HtmlFile *file, int index) {
    return static_cast<HtmlPage *>(ListFindItemN(&file->Pages, index + 1));
}

std::vector<HtmlItem *> Items(List *list) {
    std::vector<HtmlItem *> v;
    for (auto *i = static_cast<HtmlItem *>(ListWalk(list, 0)); i; i = static_cast<HtmlItem *>(ListWalk(list, 1)))
        v.push_back(i);
    return v;
}

std::vector<HtmlLink *> Links(HtmlPage *page) {
    std::vector<HtmlLink *> v;
    for (auto **p = static_cast<HtmlLink **>(ListWalk(&page->Links, 0)); p;
         p = static_cast<HtmlLink **>(ListWalk(&page->Links, 1)))
        v.push_back(*p);
    return v;
}

std::string Text(HtmlPage *page) {
    return page->pImage ? page->pImage : "";
}

// The page text of a one-page body.
std::string Laid(const std::string &body) {
    HtmlFile *f = Parse("<html><body>" + body + "</body></html>");
    return f ? Text(PageAt(f, 0)) : "(no file)";
}

TEST(ParseHtml, CollapsesEachStretchOfWhitespaceToItsFirstCharacter) {
    HtmlFile *f = Parse("<html><body>a  b\n\n c<br></body></html>");
    ASSERT_NE(nullptr, f);
    auto items = Items(&PageAt(f, 0)->Body);
    ASSERT_EQ(2u, items.size());
    EXPECT_EQ(nullptr, items[0]->pName);
    EXPECT_EQ(5, items[0]->Length);
    EXPECT_EQ(std::string("a b\nc"), static_cast<char *>(items[0]->pValue));
    EXPECT_STREQ("br", items[1]->pName);
}

TEST(ParseHtml, ReplacesTheKnownEntitiesOnly) {
    HtmlFile *f = Parse("<html><body>&eacute;&nbsp;&#65;&QUOT;&yuml; &amp;&lt;&gt;<br>x&#66<br>lost</body></html>");
    ASSERT_NE(nullptr, f);
    auto items = Items(&PageAt(f, 0)->Body);
    ASSERT_EQ(2u, items.size());  // "&#" without ";" skips the rest of the text
    EXPECT_EQ(std::string("\xE9\xA0" "A\"\xFF &amp;&lt;&gt;"), static_cast<char *>(items[0]->pValue));
    EXPECT_STREQ("br", items[1]->pName);
}

TEST(ParseHtml, EveryEntityStandsForItsCodeInOrder) {
    std::string body, expected;
    std::string names = HTMLKeys + 1;
    for (size_t at = 0, k = 0; at < names.size(); ++k) {
        size_t comma = names.find(',', at);
        body += "&" + names.substr(at, comma - at);
        expected += static_cast<char>(160 + k);
        at = comma == std::string::npos ? names.size() : comma + 1;
    }
    HtmlFile *f = Parse("<html><body>" + body + "<br></body></html>");
    ASSERT_NE(nullptr, f);
    auto items = Items(&PageAt(f, 0)->Body);
    ASSERT_EQ(96u, expected.size());
    EXPECT_EQ(expected, static_cast<char *>(items[0]->pValue));
}

TEST(ParseHtmlFile, SplitsPagesAndSkipsHiddenOnes) {
    HtmlFile *one = Parse("<html><body>x</body></html>");
    ASSERT_NE(nullptr, one);
    EXPECT_EQ(1, one->Pages.Count);
    EXPECT_EQ(nullptr, PageAt(one, 0)->pName);

    HtmlFile *f = Parse("<html page=\"a\"><body>1<br></body></html>"
                        "<HTML SkipPage><body>hidden<br></body></HTML>"
                        "<html PAGE=\"b\"><body>2<br></body></html><html page=\"c\"><body>3<br></body></html>");
    ASSERT_NE(nullptr, f);
    ASSERT_EQ(3, f->Pages.Count);
    EXPECT_STREQ("a", PageAt(f, 0)->pName);
    EXPECT_STREQ("b", PageAt(f, 1)->pName);
    EXPECT_STREQ("c", PageAt(f, 2)->pName);
    EXPECT_EQ("1\n", Text(PageAt(f, 0)));
    EXPECT_EQ(nullptr, Parse("no tags at all"));
    EXPECT_EQ(nullptr, ParseHtmlFile("http://example.invalid/x.html", "<html><body>x</body></html>"));
}

TEST(ParseHtmlFile, IgnoresASecondHead) {
    HtmlFile *f = Parse("<html><head><title>One</title></head><head><title>Two</title></head><body>x<br></body></html>");
    ASSERT_NE(nullptr, f);
    HtmlPage *page = PageAt(f, 0);
    auto head = Items(&page->Head);
    ASSERT_EQ(3u, head.size());
    EXPECT_STREQ("One", static_cast<char *>(head[1]->pValue));
}

TEST(AddAtribute, AnAnchorKeepsTheAttributeWrittenLast) {
    HtmlFile *f = Parse("<html><body><a href=\"x.html\" name=\"here\">A</a><a name=\"n\" href=\"#t\">B</a><a>C</a></body></html>");
    ASSERT_NE(nullptr, f);
    auto links = Links(PageAt(f, 0));
    ASSERT_EQ(3u, links.size());
    EXPECT_EQ(HTMLLINK_NAME, links[0]->Kind);
    EXPECT_STREQ("here", links[0]->pTarget);
    EXPECT_EQ(HTMLLINK_HREF, links[1]->Kind);
    EXPECT_STREQ("#t", links[1]->pTarget);
    EXPECT_EQ(HTMLLINK_NONE, links[2]->Kind);
    EXPECT_EQ(nullptr, links[2]->pTarget);
}

// Fills the file table and tries one more; exits 0 when exactly the free slots took.
[[noreturn]] void FillTheTable() {
    int room = HTML_MAX_FILES - FileIndex;
    int parsed = 0;
    for (int i = 0; i <= room; ++i)
        parsed += Parse("<html><body>x</body></html>") != nullptr;
    std::exit(parsed == room && FileIndex == HTML_MAX_FILES ? 0 : 1);
}

TEST(ParseHtmlFile, RegistersAHundredFilesAndRefusesTheNext) {
    EXPECT_EXIT(FillTheTable(), ::testing::ExitedWithCode(0), "");
}

TEST(PrintTextImage, TitleParagraphAndTheLastLine) {
    HtmlFile *f = Parse("<html><head><title>Help</title></head><body><p>Hello</p></body></html>");
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(std::string(38, ' ') + "Help\n\n\n\nHello\n", Text(PageAt(f, 0)));
    EXPECT_EQ(5, PageAt(f, 0)->LineCnt);
    // A body that ends with text and no line end keeps that line.
    EXPECT_EQ("Hello\n", Laid("Hello"));
}

TEST(PrintTextImage, LinkOffsetsPointAtTheAngleBrackets) {
    HtmlFile *f = Parse("<html><body><p>Go <a href=\"#n\">Next</a></p></body></html>");
    ASSERT_NE(nullptr, f);
    HtmlPage *page = PageAt(f, 0);
    std::string text = Text(page);
    auto links = Links(page);
    ASSERT_EQ(1u, links.size());
    EXPECT_EQ("<Next>", text.substr(links[0]->Line, links[0]->Column - links[0]->Line));
    EXPECT_EQ(5, links[0]->Line);  // after two empty lines and "Go "
}

TEST(PrintTextImage, TextPastTheLastColumnRunsOnWithConsistentLinks) {
    std::string long1(200, 'x');
    HtmlFile *f = Parse("<html><body>" + long1 + "<a href=\"#z\">Far</a><br>" + std::string(140, 'y') +
                        "<a href=\"#y\">Near</a></body></html>");
    ASSERT_NE(nullptr, f);
    HtmlPage *page = PageAt(f, 0);
    std::string text = Text(page);
    EXPECT_EQ(0u, text.find(long1 + "<Far>\n"));
    for (HtmlLink *l : Links(page)) {
        ASSERT_LE(l->Column, static_cast<int>(text.size()));
        EXPECT_EQ('<', text[l->Line]);
    }
}

TEST(PrintTextImage, NumberedListsNumberAndUnnumberedOnesRunOn) {
    EXPECT_EQ("\n   1. one\n   2. two\n", Laid("<ol><li>one</li><li>two</li></ol>"));
    EXPECT_EQ("onetwo\n", Laid("<ul><li>one</li><li>two</li></ul>"));
}

TEST(DrawTableArea, BorderedTwoColumnTable) {
    EXPECT_EQ(",----+----,\n"
              "|abcd|efgh|\n"
              "|----+----|\n"
              "|ijkl|mnop|\n"
              "'----+----'\n",
              Laid("<table border=\"1\"><tr><td>abcd</td><td>efgh</td></tr>"
                   "<tr><td>ijkl</td><td>mnop</td></tr></table>"));
}

TEST(GetTextTable, MeasuresColumnsPaddingAndPercentages) {
    HtmlFile *f = Parse("<html><body><table border width=\"50%\" cellpadding=\"7\"><tr><td>ab</td><td>c</td></tr>"
                        "<tr><td>d</td><td><table width=\"50%\" border><tr><td>e</td></tr></table></td></tr>"
                        "</table></body></html>");
    ASSERT_NE(nullptr, f);
    auto items = Items(&PageAt(f, 0)->Body);
    ASSERT_STREQ("fitab", items[0]->pName);
    auto *t = static_cast<HtmlTable *>(items[0]->pValue);
    // a top-level table has no width to take a percentage of: its columns decide
    EXPECT_EQ(2, t->Cols);
    EXPECT_EQ(2, t->Rows);
    EXPECT_EQ(1, t->Padding);
    EXPECT_EQ(2, t->pColWidths[0]);
    EXPECT_EQ(3, t->pColWidths[1]);  // the nested table: "e" between two bars
    EXPECT_EQ(2 * 2 * 1 + 2 + 1 + 2 + 3, t->Width);
    EXPECT_EQ(1, t->pRowHeights[0]);
    EXPECT_EQ(3, t->pRowHeights[1]);  // the nested table: a row between two rules
    EXPECT_EQ(1 + 3 + 2 + 1, t->Height);
}

TEST(PrintTextImage, HostileInputEndsWithWhatItCanShow) {
    std::string open, close;
    for (int i = 0; i < 2000; ++i) {
        open += "<table border><tr><td>";
        close += "</td></tr></table>";
    }
    // deep tables are drawn down to a limit, the rest as plain text
    EXPECT_NE(std::string::npos, Laid(open + "deep" + close).find("||deep||"));
    EXPECT_EQ(0u, Laid(open + "unclosed<br>").find(","));
    // widths far past any number are bounded like any other
    EXPECT_NE(std::string::npos,
              Laid("<table border><tr><td><table width=\"9223372036854775807%\" border><tr><td>wide</td></tr>"
                   "</table></td></tr></table>").find("wide"));
    EXPECT_NE(std::string::npos,
              Laid("<table border><tr><td width=\"9223372036854775807%\">cell</td></tr></table>").find("cell"));
    EXPECT_EQ(0u, Laid("open<br><a href=\"x").find("open\n"));
    std::string run(10 << 20, 'r');
    EXPECT_EQ(run.size() + 1, Laid(run).size());
    EXPECT_EQ("a\n", Laid(std::string("a<br>b\0c", 8)));
    EXPECT_EQ(nullptr, Parse("<html"));
    EXPECT_EQ("x\n", Laid("<fitab border=1>x</fitab><br>"));  // only the layout makes tables of it
    std::string wide = "<table width=\"99999999999\" cellpadding=\"-70\"><tr><td width=\"999999%\">w</td></tr></table>";
    EXPECT_NE(std::string::npos, Laid(wide).find('w'));
}

}  // namespace
