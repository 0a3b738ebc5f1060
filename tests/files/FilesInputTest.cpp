// The current input file and its readers, and FileSearch.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "FilesTestUtil.h"

namespace {

size_t Warnings(const std::string &err) {
    size_t n = 0;
    for (size_t at = err.find("WARNING: "); at != std::string::npos; at = err.find("WARNING: ", at + 1))
        ++n;
    return n;
}

class InputFile : public testing::Test {
protected:
    void Open(const std::string &content) {
        path_ = tmp_.Write("input", content);
        ASSERT_EQ(1, OpenInputFile(path_.c_str(), 0));
    }
    ScratchDir tmp_;
    std::string path_;
    InputFileGuard guard_;
};

TEST_F(InputFile, MissingFileIsSilentAtLevelZeroAndWarnsAtLevelOne) {
    std::string missing = tmp_.Path("missing");
    std::snprintf(LineBuf, sizeof LineBuf, "%s", "junk");
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, OpenInputFile(missing.c_str(), 0));
    EXPECT_EQ(2, FileStatus);
    EXPECT_STREQ("", LineBuf);
    EXPECT_EQ(0, OpenInputFile(missing.c_str(), 1));
    EXPECT_EQ("WARNING: can't open file, " + missing + "\n", testing::internal::GetCapturedStderr());
    EXPECT_EXIT(OpenInputFile(missing.c_str(), 2), testing::ExitedWithCode(1), "ERROR: can't open file, " + missing);
}

TEST_F(InputFile, PathTooLongForTheNameIsRefusedNotCut) {
    std::string dir = tmp_.c_str();
    std::string fits = tmp_.Write(std::string(INPUT_FILE_NAME_SIZE - 2 - dir.size(), 'p'), "exists\n");
    ASSERT_EQ(size_t{INPUT_FILE_NAME_SIZE - 1}, fits.size());
    EXPECT_EQ(1, OpenInputFile(fits.c_str(), 0));
    testing::internal::CaptureStderr();  // cut by one character, the path would name the file above
    EXPECT_EQ(0, OpenInputFile((fits + "x").c_str(), 1));
    EXPECT_EQ("WARNING: can't open file, " + fits + "x\n", testing::internal::GetCapturedStderr());
    EXPECT_EQ(nullptr, pIn);
}

TEST_F(InputFile, OpeningAnotherClosesThePreviousAndTheEndClosesIt) {
    tmp_.Write("second", "one\ntwo");
    Open("from first\n");
    ASSERT_EQ(1, OpenInputFileF(0, "%s/%s", tmp_.c_str(), "second"));
    ASSERT_EQ(1, GetFileLine());
    EXPECT_STREQ("one\n", LineBuf);
    ASSERT_EQ(1, GetFileLine());
    EXPECT_STREQ("two", LineBuf);
    EXPECT_EQ(0, GetFileLine());
    EXPECT_EQ(nullptr, pIn);
    EXPECT_EQ(1, FileStatus);
}

TEST_F(InputFile, BackslashNewlineJoinsLines) {
    Open("copy a \\\nb \\\nc\nx\\y\nnext\n");
    ASSERT_EQ(1, GetFileLine());
    EXPECT_STREQ("copy a \\\nb \\\nc\n", LineBuf);
    EXPECT_EQ(static_cast<int32_t>(std::strlen("copy a \\\nb \\\n")), LineLen);
    ASSERT_EQ(1, GetFileLine());
    EXPECT_STREQ("x\\y\n", LineBuf);
}

TEST_F(InputFile, LongLinesAreReadWholeAndWhatDoesNotFitIsDroppedOnce) {
    std::string line600(600, 'x');
    std::string line10000 = std::string(4095, 'a') + std::string(10000 - 4095, 'b');
    Open(line600 + "\n" + line10000 + "\nnext\n");
    testing::internal::CaptureStderr();
    ASSERT_EQ(1, GetFileLine());
    EXPECT_EQ(line600 + "\n", std::string(LineBuf));
    ASSERT_EQ(1, GetFileLine());
    EXPECT_EQ(std::string(4095, 'a'), std::string(LineBuf));
    ASSERT_EQ(1, GetFileLine());
    EXPECT_STREQ("next\n", LineBuf);
    EXPECT_EQ(1u, Warnings(testing::internal::GetCapturedStderr()));
}

TEST_F(InputFile, ContinuationsBeyondTheBufferAreConsumedNotReturned) {
    Open(std::string(4000, 'a') + "\\\n" + std::string(500, 'b') + "\\\ncont\nnext\n");
    testing::internal::CaptureStderr();
    ASSERT_EQ(1, GetFileLine());
    EXPECT_EQ(size_t{LINEBUF_SIZE - 1}, std::strlen(LineBuf));
    ASSERT_EQ(1, GetFileLine());
    EXPECT_STREQ("next\n", LineBuf);
    EXPECT_EQ(1u, Warnings(testing::internal::GetCapturedStderr()));
}

TEST_F(InputFile, TextLineSkipsCommentsAndBlankLinesAndKeepsTheFirstToken) {
    Open("# a comment\n\n   \t\n  first word\nsecond\n");
    ASSERT_EQ(1, GetFileTextLine(" \t\n"));
    EXPECT_STREQ("first", LineBuf);
    ASSERT_EQ(1, GetFileTextLine(" \t\n"));
    EXPECT_STREQ("second", LineBuf);
    EXPECT_EQ(0, GetFileTextLine(" \t\n"));
}

TEST_F(InputFile, GetLineRemovesCommentsAndLeadingSpace) {
    std::memset(Line, 'z', 600);
    Open("// only a comment\na /* b */ c\n   \tlead\r\na /* x // y */ b\n");
    ASSERT_EQ(1, GetLine());
    EXPECT_STREQ("", Line);
    EXPECT_TRUE(std::all_of(Line, Line + 512, [](char c) { return c == '\0'; }));
    ASSERT_EQ(1, GetLine());
    EXPECT_STREQ("a  c", Line);
    ASSERT_EQ(1, GetLine());
    EXPECT_STREQ("lead", Line);
    ASSERT_EQ(1, GetLine());  // a "//" inside a block comment does not cut it
    EXPECT_STREQ("a  b", Line);
    EXPECT_EQ(0, GetLine());
}

TEST_F(InputFile, GetLineJoinsWhatSurroundsABlockCommentOverSeveralLines) {
    Open("first\nkeep /* start\nmiddle\nend */ tail\nnext\nx /* open\nmore\n");
    ASSERT_EQ(1, GetLine());
    ASSERT_EQ(3, GetLine());
    EXPECT_STREQ("keep  tail", Line);
    EXPECT_EQ(3, LineCnt);
    EXPECT_EQ(6, InPos);
    ASSERT_EQ(1, GetLine());
    EXPECT_STREQ("next", Line);
    ASSERT_EQ(2, GetLine());  // never closed: runs to the end
    EXPECT_STREQ("x ", Line);
}

TEST_F(InputFile, GetLineRawModeLongLinesAndPositioning) {
    flInputFilterState = 0;
    Open("  a // b\n" + std::string(600, 'w') + "\nthree\n");
    testing::internal::CaptureStderr();
    ASSERT_EQ(1, GetLine());
    EXPECT_STREQ("  a // b\n", Line);
    ASSERT_EQ(1, GetLine());
    EXPECT_EQ(std::string(510, 'w'), std::string(Line));
    ASSERT_EQ(1, GetLine());
    EXPECT_STREQ("three\n", Line);
    ASSERT_EQ(1, GetLinePos(2));
    EXPECT_STREQ("a // b\n", Line);
    EXPECT_EQ(2, InPos);
    ASSERT_EQ(1, GetLinePos(0));
    ASSERT_EQ(1, GetLineN(2));
    EXPECT_STREQ("three\n", Line);
    EXPECT_EQ(0, GetLineN(0));
    EXPECT_EQ(2u, Warnings(testing::internal::GetCapturedStderr()));  // the long line, read twice
    char buf[16];
    ASSERT_NE(nullptr, fgetsp(buf, sizeof buf, pIn, 4));
    EXPECT_STREQ("// b\n", buf);
}

TEST(FileSearch, GivesTheFirstMatchingLineAndNeverSplitsALongOne) {
    ScratchDir tmp;
    std::string f = tmp.Write("kelvra", "#!/bin/sh\n" + std::string(600, 'x') + "cd \ncd /opt/app\n");
    EXPECT_STREQ("cd /opt/app\n", FileSearch(f.c_str(), "cd ", 0));
    EXPECT_STREQ("#!/bin/sh\n", FileSearch(f.c_str(), nullptr, 0));
    EXPECT_EQ(511u, std::strlen(FileSearch(f.c_str(), "xxx", 0)));
    EXPECT_EQ(nullptr, FileSearch(f.c_str(), "absent", 0));
}

TEST(FileSearch, UnopenableFileFollowsTheLevel) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(nullptr, FileSearch("/no/such/file", "x", 0));
    EXPECT_EQ(nullptr, FileSearch("/no/such/file", "x", 1));
    EXPECT_EQ("ERROR: can't open file, /no/such/file\n", testing::internal::GetCapturedStderr());
    EXPECT_EXIT(FileSearch("/no/such/file", "x", 2), testing::ExitedWithCode(1), "can't open file, /no/such/file");
}

}  // namespace
