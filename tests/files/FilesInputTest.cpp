// The current input file and its readers, and FileSearch.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "Files.h"
#include "FilesTestUtil.h"
#include "gtest/gtest.h"

namespace {

size_t Count(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class InputFile : public testing::Test {
protected:
    // Opens a scratch file with the given content as the current input file.
    void Open(const std::string &content) {
        path_ = tmp_.Write("input", content);
        ASSERT_EQ(1, OpenInputFile(path_.c_str(), 0));
    }
    ScratchDir tmp_;
    std::string path_;
    InputFileGuard guard_;
};

using OpenInputFileTest = InputFile;
using GetFileLineTest = InputFile;
using GetFileTextLineTest = InputFile;
using GetLineTest = InputFile;

TEST_F(OpenInputFileTest, OpensAndRecordsTheName) {
    Open("line\n");
    EXPECT_NE(nullptr, pIn);
    EXPECT_EQ(0, FileStatus);
    EXPECT_EQ(path_, InputFileName);
}

TEST_F(OpenInputFileTest, MissingFileAtLevelZeroIsSilent) {
    std::snprintf(LineBuf, sizeof LineBuf, "%s", "junk");
    LineLen = 7;
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, OpenInputFile(tmp_.Path("missing").c_str(), 0));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    EXPECT_EQ(2, FileStatus);
    EXPECT_EQ(nullptr, pIn);
    EXPECT_STREQ("", LineBuf);
    EXPECT_EQ(0, LineLen);
}

TEST_F(OpenInputFileTest, MissingFileAtLevelOneWarns) {
    std::string missing = tmp_.Path("missing");
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, OpenInputFile(missing.c_str(), 1));
    EXPECT_EQ("WARNING: can't open file, " + missing + "\n", testing::internal::GetCapturedStderr());
}

TEST(OpenInputFileDeathTest, MissingFileAtLevelTwoStopsWithStatusOne) {
    EXPECT_EXIT(OpenInputFile("/no/such/dir/pkg.list", 2), testing::ExitedWithCode(1),
                "ERROR: can't open file, /no/such/dir/pkg.list");
}

TEST_F(OpenInputFileTest, PathTooLongForTheNameIsRefusedNotCut) {
    // an existing file whose path fills InputFileName exactly
    std::string dir = tmp_.c_str();
    std::string name(INPUT_FILE_NAME_SIZE - 1 - dir.size() - 1, 'p');
    std::string fits = tmp_.Write(name, "exists\n");
    ASSERT_EQ(size_t{INPUT_FILE_NAME_SIZE - 1}, fits.size());
    EXPECT_EQ(1, OpenInputFile(fits.c_str(), 0));
    // one more character: cutting it would open the file above
    std::string longer = fits + "x";
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, OpenInputFile(longer.c_str(), 1));
    EXPECT_EQ("WARNING: can't open file, " + longer + "\n", testing::internal::GetCapturedStderr());
    EXPECT_EQ(2, FileStatus);
    EXPECT_EQ(nullptr, pIn);
}

TEST_F(OpenInputFileTest, OpeningAnotherFileClosesThePreviousOne) {
    std::string second = tmp_.Write("second", "from second\n");
    Open("from first\n");
    ASSERT_EQ(1, OpenInputFileF(0, "%s/%s", tmp_.c_str(), "second"));
    EXPECT_EQ(second, InputFileName);
    ASSERT_EQ(1, GetFileLine());
    EXPECT_STREQ("from second\n", LineBuf);
}

TEST_F(OpenInputFileTest, FormattedPathOver511IsRefused) {
    std::string name(600, 'n');
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, OpenInputFileF(1, "%s/%s", tmp_.c_str(), name.c_str()));
    EXPECT_EQ("WARNING: can't open file, " + tmp_.Path(name) + "\n", testing::internal::GetCapturedStderr());
    EXPECT_EQ(2, FileStatus);
}

TEST_F(OpenInputFileTest, CloseInputFileEndsReading) {
    Open("a\n");
    CloseInputFile();
    EXPECT_EQ(nullptr, pIn);
    EXPECT_EQ(1, FileStatus);
    EXPECT_EQ(0, GetFileLine());
    EXPECT_EQ(0, GetLine());
}

TEST_F(GetFileLineTest, ReturnsLinesWithTheirNewlineAndClosesAtTheEnd) {
    Open("one\ntwo");
    ASSERT_EQ(1, GetFileLine());
    EXPECT_STREQ("one\n", LineBuf);
    ASSERT_EQ(1, GetFileLine());
    EXPECT_STREQ("two", LineBuf);
    EXPECT_EQ(0, GetFileLine());
    EXPECT_EQ(nullptr, pIn);
    EXPECT_EQ(1, FileStatus);
}

TEST_F(GetFileLineTest, BackslashNewlineJoinsTheNextLines) {
    Open("copy a \\\nb \\\nc\nnext\n");
    ASSERT_EQ(1, GetFileLine());
    EXPECT_STREQ("copy a \\\nb \\\nc\n", LineBuf);
    EXPECT_EQ(static_cast<int32_t>(std::strlen("copy a \\\nb \\\n")), LineLen);
    ASSERT_EQ(1, GetFileLine());
    EXPECT_STREQ("next\n", LineBuf);
    EXPECT_EQ(0, LineLen);
}

TEST_F(GetFileLineTest, BackslashNotBeforeTheNewlineDoesNotJoin) {
    Open("a\\b\nc\\ \nd\n");
    ASSERT_EQ(1, GetFileLine());
    EXPECT_STREQ("a\\b\n", LineBuf);
    ASSERT_EQ(1, GetFileLine());
    EXPECT_STREQ("c\\ \n", LineBuf);
}

TEST_F(GetFileLineTest, LineOf600CharactersIsReadWhole) {
    std::string longLine(600, 'x');
    Open(longLine + "\nnext\n");
    testing::internal::CaptureStderr();
    ASSERT_EQ(1, GetFileLine());
    EXPECT_EQ(longLine + "\n", std::string(LineBuf));
    ASSERT_EQ(1, GetFileLine());
    EXPECT_STREQ("next\n", LineBuf);
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
}

TEST_F(GetFileLineTest, TextBeyondTheBufferIsDroppedWithOneWarning) {
    std::string longLine = std::string(4095, 'x') + std::string(10000 - 4095, 'y');
    Open(longLine + "\nnext\n");
    testing::internal::CaptureStderr();
    ASSERT_EQ(1, GetFileLine());
    EXPECT_EQ(std::string(4095, 'x'), std::string(LineBuf));
    ASSERT_EQ(1, GetFileLine());
    EXPECT_STREQ("next\n", LineBuf);
    EXPECT_EQ(0, GetFileLine());
    EXPECT_EQ(1u, Count(testing::internal::GetCapturedStderr(), "WARNING: "));
}

TEST_F(GetFileLineTest, ContinuationsBeyondTheBufferAreConsumedNotReturned) {
    std::string first = std::string(4000, 'a') + "\\\n";
    std::string second = std::string(500, 'b') + "\\\n";
    Open(first + second + "cont\nnext\n");
    testing::internal::CaptureStderr();
    ASSERT_EQ(1, GetFileLine());
    EXPECT_EQ(size_t{LINEBUF_SIZE - 1}, std::strlen(LineBuf));
    EXPECT_EQ(0, std::strncmp(LineBuf, first.c_str(), first.size()));
    ASSERT_EQ(1, GetFileLine());
    EXPECT_STREQ("next\n", LineBuf);
    EXPECT_EQ(1u, Count(testing::internal::GetCapturedStderr(), "WARNING: "));
}

TEST_F(GetFileTextLineTest, SkipsCommentsAndBlankLinesAndKeepsTheFirstToken) {
    Open("# a comment\n\n   \t\n  first word\nsecond\n");
    ASSERT_EQ(1, GetFileTextLine(" \t\n"));
    EXPECT_STREQ("first", LineBuf);
    ASSERT_EQ(1, GetFileTextLine(" \t\n"));
    EXPECT_STREQ("second", LineBuf);
    EXPECT_EQ(0, GetFileTextLine(" \t\n"));
}

TEST_F(GetLineTest, LineCommentLeavesAnEmptyLine) {
    Open("// only a comment\ncode // note\n");
    ASSERT_EQ(1, GetLine());
    EXPECT_STREQ("", Line);
    EXPECT_EQ(Line, pLine);
    ASSERT_EQ(1, GetLine());
    EXPECT_EQ(0, std::strncmp(Line, "code", 4));
    EXPECT_EQ(nullptr, std::strstr(Line, "note"));
}

TEST_F(GetLineTest, BlockCommentOnOneLineIsRemoved) {
    Open("a /* b */ c\n");
    ASSERT_EQ(1, GetLine());
    EXPECT_STREQ("a  c", Line);
    EXPECT_EQ(1, LineCnt);
}

TEST_F(GetLineTest, LeadingWhiteSpaceAndLineEndsGo) {
    Open("   \tlead\r\n");
    ASSERT_EQ(1, GetLine());
    EXPECT_STREQ("lead", Line);
}

TEST_F(GetLineTest, BlockCommentOverSeveralLinesJoinsWhatSurroundsIt) {
    Open("first\nkeep /* start\nmiddle\nend */ tail\nnext\n");
    ASSERT_EQ(1, GetLine());
    EXPECT_EQ(0, InPos);
    ASSERT_EQ(3, GetLine());
    EXPECT_STREQ("keep  tail", Line);
    EXPECT_EQ(3, LineCnt);
    EXPECT_EQ(6, InPos);
    ASSERT_EQ(1, GetLine());
    EXPECT_STREQ("next", Line);
    EXPECT_EQ(static_cast<int32_t>(std::strlen("first\nkeep /* start\nmiddle\nend */ tail\n")), InPos);
}

TEST_F(GetLineTest, UnclosedBlockCommentRunsToTheEnd) {
    Open("x /* open\nmore\n");
    ASSERT_EQ(2, GetLine());
    EXPECT_STREQ("x ", Line);
    EXPECT_EQ(0, GetLine());
}

TEST_F(GetLineTest, LineCommentMarkInsideABlockCommentDoesNotCutIt) {
    Open("a /* x // y */ b\nnext\n");
    ASSERT_EQ(1, GetLine());
    EXPECT_STREQ("a  b", Line);
    ASSERT_EQ(1, GetLine());
    EXPECT_STREQ("next", Line);
}

TEST_F(GetLineTest, RawModeKeepsEverything) {
    flInputFilterState = 0;
    Open("  a // b\n");
    ASSERT_EQ(1, GetLine());
    EXPECT_STREQ("  a // b\n", Line);
}

TEST_F(GetLineTest, ClearsTheRestOfThe512ByteArea) {
    std::memset(Line, 'z', 600);
    Open("ab\n");
    ASSERT_EQ(1, GetLine());
    EXPECT_STREQ("ab", Line);
    EXPECT_TRUE(std::all_of(Line + 2, Line + 512, [](char c) { return c == '\0'; }));
}

TEST_F(GetLineTest, LongLineKeeps510CharactersAndTheNextLineIsIntact) {
    Open(std::string(600, 'w') + "\nnext\n");
    testing::internal::CaptureStderr();
    ASSERT_EQ(1, GetLine());
    EXPECT_EQ(std::string(510, 'w'), std::string(Line));
    ASSERT_EQ(1, GetLine());
    EXPECT_STREQ("next", Line);
    EXPECT_EQ(1u, Count(testing::internal::GetCapturedStderr(), "WARNING: "));
}

TEST_F(GetLineTest, LineNAndLinePosSkipAndSeek) {
    Open("one\ntwo\nthree\n");
    EXPECT_EQ(0, GetLineN(0));
    ASSERT_EQ(1, GetLineN(3));
    EXPECT_STREQ("three", Line);
    EXPECT_EQ(0, GetLine());
    ASSERT_EQ(1, GetLinePos(4));
    EXPECT_STREQ("two", Line);
    EXPECT_EQ(4, InPos);
}

TEST(Fgetsp, ReadsOneLineAtTheOffset) {
    ScratchDir tmp;
    FILE *f = fopen(tmp.Write("f", "abc\ndef\n").c_str(), "r");
    ASSERT_NE(nullptr, f);
    char buf[16];
    ASSERT_NE(nullptr, fgetsp(buf, sizeof buf, f, 4));
    EXPECT_STREQ("def\n", buf);
    ASSERT_NE(nullptr, fgetsp(buf, sizeof buf, f, 0));
    EXPECT_STREQ("abc\n", buf);
    EXPECT_EQ(nullptr, fgetsp(buf, sizeof buf, f, 8));
    EXPECT_EQ(nullptr, fgetsp(buf, 0, f, 0));
    fclose(f);
    EXPECT_EQ(nullptr, fgetsp(buf, sizeof buf, nullptr, 0));
}

TEST(FileSearch, GivesTheFirstLineContainingTheText) {
    ScratchDir tmp;
    std::string f = tmp.Write("kelvra", "#!/bin/sh\ncd /opt/app\ncd /other\n");
    const char *hit = FileSearch(f.c_str(), "cd ", 0);
    ASSERT_NE(nullptr, hit);
    EXPECT_STREQ("cd /opt/app\n", hit);
    hit = FileSearch(f.c_str(), nullptr, 0);
    ASSERT_NE(nullptr, hit);
    EXPECT_STREQ("#!/bin/sh\n", hit);
    EXPECT_EQ(nullptr, FileSearch(f.c_str(), "absent", 0));
}

TEST(FileSearch, MatchesWithinWhatFitsAndNeverSplitsALine) {
    ScratchDir tmp;
    // the needle of the first line lies past the 512-byte buffer
    std::string f = tmp.Write("f", std::string(600, 'x') + "needle\nneedle here\n");
    const char *hit = FileSearch(f.c_str(), "needle", 0);
    ASSERT_NE(nullptr, hit);
    EXPECT_STREQ("needle here\n", hit);
    std::string g = tmp.Write("g", "needle" + std::string(700, 'y') + "\n");
    hit = FileSearch(g.c_str(), "needle", 0);
    ASSERT_NE(nullptr, hit);
    EXPECT_EQ(511u, std::strlen(hit));
}

TEST(FileSearch, UnopenableFileFollowsTheLevel) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(nullptr, FileSearch("/no/such/file", "x", 0));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    testing::internal::CaptureStderr();
    EXPECT_EQ(nullptr, FileSearch("/no/such/file", "x", 1));
    EXPECT_EQ("ERROR: can't open file, /no/such/file\n", testing::internal::GetCapturedStderr());
}

TEST(FileSearchDeathTest, UnopenableFileAtLevelTwoStopsWithStatusOne) {
    EXPECT_EXIT(FileSearch("/no/such/file", "x", 2), testing::ExitedWithCode(1), "can't open file, /no/such/file");
}

}  // namespace
