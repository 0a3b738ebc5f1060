// Existence, attributes, listings, whole-file reads, opening and writing files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "FilesTestUtil.h"
#include "MemMgr.h"
#include "Tokens.h"

namespace {

struct Saved {  // a GetMem result released at the end of a test
    char *p;
    ~Saved() { PutMem(p); }
};

TEST(FindFile, MatchesWholeEntryNamesInEveryArgumentForm) {
    EXPECT_EQ(1, FindFile("/etc", "passwd"));
    EXPECT_EQ(0, FindFile("/etc", "pass"));
    EXPECT_EQ(1, FindFile(nullptr, "/etc/passwd"));
    EXPECT_EQ(1, FindFile("/", "/"));
    EXPECT_EQ(1, FindFile(nullptr, "/"));
    EXPECT_EQ(0, FindFile(nullptr, ""));
    EXPECT_EQ(0, FindFile("/no/such/dir", "x"));
    EXPECT_EQ(0, FindFile("/etc", std::string(2000, 'n').c_str()));
}

TEST(FindFile, SplitsADirectoryAloneAndJoinsANameWithSlashes) {
    ScratchDir tmp;
    ASSERT_EQ(0, mkdir(tmp.Path("sub").c_str(), 0755));
    tmp.Write("sub/f", "x");
    EXPECT_EQ(1, FindFile(tmp.Path("sub").c_str(), nullptr));
    EXPECT_EQ(0, FindFile(tmp.Path("gone").c_str(), ""));
    EXPECT_EQ(1, FindFile(tmp.c_str(), "sub/f"));
    EXPECT_EQ(0, FindFile(tmp.c_str(), "sub/g"));
    EXPECT_EQ(1, FindFile(tmp.c_str(), "sub/"));  // empty name: any listable directory
    EXPECT_EQ(0, FindFile(tmp.c_str(), "missing/"));
}

TEST(FindFile, NameWithABlankIsNeverFoundThoughStatFindsIt) {
    ScratchDir tmp;
    for (const char *n : {"a b", "a", "b"})
        tmp.Write(n, "");
    EXPECT_EQ(0, FindFile(tmp.c_str(), "a b"));
    EXPECT_EQ(1, FindFile(tmp.c_str(), "a"));
    EXPECT_EQ(1, FindFile_(tmp.c_str(), "a b"));
    EXPECT_EQ(1, FindFile_(tmp.Path("a").c_str(), nullptr));
    EXPECT_EQ(0, FindFile_(tmp.c_str(), "c"));
}

TEST(FileAttributes, TypeSeesLinksAndSizeIsSixtyFourBit) {
    ScratchDir tmp;
    std::string file = tmp.Write("f", std::string(5000, 'q'));
    ASSERT_EQ(0, symlink(tmp.c_str(), tmp.Path("dirlink").c_str()));
    ASSERT_EQ(0, symlink("/no/such/target", tmp.Path("dangling").c_str()));
    EXPECT_EQ(FILETYPE_DIR, GetFileType(tmp.c_str()));
    EXPECT_EQ(FILETYPE_LINK, GetFileType(tmp.Path("dirlink").c_str()));
    EXPECT_EQ(FILETYPE_LINK, GetFileType(tmp.Path("dangling").c_str()));
    EXPECT_EQ(FILETYPE_OTHER, GetFileType(file.c_str()));
    EXPECT_EQ(FILETYPE_NONE, GetFileType(tmp.Path("missing").c_str()));
    EXPECT_EQ(5000, GetFileSize(file.c_str()));
    std::string big = tmp.Write("big", "");
    ASSERT_EQ(0, truncate(big.c_str(), int64_t{5} << 30));  // sparse
    EXPECT_EQ(int64_t{5} << 30, GetFileSize(big.c_str()));
    EXPECT_EQ(0, GetFileSize(tmp.Path("missing").c_str()));
    EXPECT_EQ(0L, GetFileTime(tmp.Path("missing").c_str()));
}

TEST(GetDirFileList, EmptyDirectoryListsOnlyDotAndDotDot) {
    ScratchDir tmp;
    Saved list{GetDirFileList(tmp.c_str())};
    ASSERT_NE(nullptr, list.p);
    EXPECT_TRUE(!std::strcmp(list.p, " . .. ") || !std::strcmp(list.p, " .. . ")) << list.p;
    EXPECT_EQ(nullptr, GetDirFileList("/no/such/dir"));
}

TEST(GetDirFileList, LargeDirectoryIsListedWholeAsKeywords) {
    ScratchDir tmp;
    size_t expected = std::strlen(" . .. ");
    for (int i = 0; i < 400; ++i) {
        std::string name = "entry-" + std::to_string(i) + std::string(40, 'z');
        tmp.Write(name, "");
        expected += name.size() + 1;
    }
    Saved list{GetDirFileList(tmp.c_str())};
    ASSERT_NE(nullptr, list.p);
    EXPECT_EQ(expected, std::strlen(list.p));
    EXPECT_GT(FindToken(("entry-399" + std::string(40, 'z')).c_str(), list.p), 0);
    EXPECT_EQ(0, FindToken("entry-399", list.p));
}

TEST(SearchDirFileList, KeepsEntriesByLastExtensionOrAllButDots) {
    ScratchDir tmp;
    for (const char *n : {"a.txt", "b.tar.txt", "c.txt.bak", "d", "e.TXT"})
        tmp.Write(n, "");
    Saved txt{SearchDirFileList(tmp.c_str(), "txt")};
    ASSERT_NE(nullptr, txt.p);
    EXPECT_EQ(std::strlen(" a.txt b.tar.txt "), std::strlen(txt.p));
    EXPECT_GT(FindToken("b.tar.txt", txt.p), 0);
    Saved all{SearchDirFileList(tmp.c_str(), nullptr)};
    ASSERT_NE(nullptr, all.p);
    EXPECT_EQ(std::strlen(" a.txt b.tar.txt c.txt.bak d e.TXT "), std::strlen(all.p));
    EXPECT_EQ(nullptr, SearchDirFileList(tmp.c_str(), "h"));
    EXPECT_EQ(nullptr, SearchDirFileList("/no/such/dir", nullptr));
}

TEST(GetFileContent, KeepsTheFirst4095Bytes) {
    ScratchDir tmp;
    std::string text;
    for (int i = 0; i < 5000; ++i)
        text += static_cast<char>('a' + i % 26);
    std::string path = tmp.Write("big", text);
    ASSERT_EQ(1, GetFileContent(tmp.c_str(), "big"));
    EXPECT_EQ(text.substr(0, 4095), std::string(LineBuf));
    char buf[12];
    std::memset(buf, '#', sizeof buf);
    ASSERT_EQ(1, GetFileContentR(path.c_str(), nullptr, buf, 10));
    EXPECT_EQ(text.substr(0, 10), std::string(buf));
    EXPECT_EQ('#', buf[11]);
    EXPECT_EQ(0, GetFileContent(tmp.c_str(), "missing"));
}

TEST(GetSavedFileContent, ReadsTheWholeFileEvenOfOneByte) {
    ScratchDir tmp;
    tmp.Write("one", "x");
    Saved one{GetSavedFileContent(tmp.c_str(), "one")};
    ASSERT_NE(nullptr, one.p);
    EXPECT_STREQ("x", one.p);
    EXPECT_EQ(1, SavedFileSize);
    tmp.Write("empty", "");
    EXPECT_EQ(nullptr, GetSavedFileContent(tmp.c_str(), "empty"));
    EXPECT_EQ(nullptr, GetSavedFileContent(tmp.c_str(), "missing"));
    EXPECT_EQ(nullptr, GetSavedFileContent(tmp.c_str(), nullptr));  // a directory
}

TEST(GetSavedFileContent, RefusesAFileTooLargeForOneAllocation) {
    ScratchDir tmp;
    std::string big = tmp.Write("big", "");
    ASSERT_EQ(0, truncate(big.c_str(), int64_t{5} << 30));
    testing::internal::CaptureStderr();
    EXPECT_EQ(nullptr, GetSavedFileContent(big.c_str(), nullptr));
    EXPECT_EQ("WARNING: Unable to allocate memory\n", testing::internal::GetCapturedStderr());
}

TEST(OpenFile, ClosesTheGivenStreamAndReportsFailureByLevel) {
    ScratchDir tmp;
    std::string missing = tmp.Path("none/x");
    FILE *first = fopen(tmp.Write("f", "x").c_str(), "r");
    ASSERT_NE(nullptr, first);
    int fd = fileno(first);
    testing::internal::CaptureStderr();
    EXPECT_EQ(nullptr, OpenFile(first, missing.c_str(), "r", 0));
    EXPECT_EQ(-1, fcntl(fd, F_GETFD));
    EXPECT_EQ(nullptr, OpenFile(nullptr, missing.c_str(), "r", 1));
    EXPECT_EQ("ERROR: can't open file, " + missing + "\n", testing::internal::GetCapturedStderr());
    EXPECT_EXIT(OpenFile(nullptr, missing.c_str(), "r", 2), testing::ExitedWithCode(1),
                "can't open file, " + missing + " : ");
}

TEST(OpenFile, FormattedPathOver511IsRefusedAndRawFailureGoesToStdout) {
    ScratchDir tmp;
    std::string name(600, 'n');
    testing::internal::CaptureStderr();
    EXPECT_EQ(nullptr, OpenFileF(nullptr, "w", 1, "%s/%s", tmp.c_str(), name.c_str()));
    EXPECT_EQ("ERROR: can't open file, " + tmp.Path(name) + "\n", testing::internal::GetCapturedStderr());
    testing::internal::CaptureStdout();
    EXPECT_EQ(-1, OpenRawFile(tmp.Path("missing").c_str(), O_RDONLY));
    EXPECT_EQ("ERROR: can't open file, " + tmp.Path("missing"), testing::internal::GetCapturedStdout());
}

TEST(CreateTextFile, WritesTheFormattedTextWithThePermissions) {
    ScratchDir tmp;
    std::string f = tmp.Path("flag");
    ASSERT_EQ(1, CreateTextFile(f.c_str(), "wt", 0644, "spooler=%s %d%%\n", "lp", 7));
    ASSERT_EQ(1, GetFileContent(f.c_str(), nullptr));
    EXPECT_STREQ("spooler=lp 7%\n", LineBuf);
    struct stat st;
    ASSERT_EQ(0, stat(f.c_str(), &st));
    EXPECT_EQ(0644u, st.st_mode & 07777);
}

TEST(CreateTextFile, FailureToOpenOrWriteIsReported) {
    ScratchDir tmp;
    std::string bad = tmp.Path("none/flag");
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, CreateTextFile(bad.c_str(), "wt", 0644, "%s", "x"));
    EXPECT_EQ(0, CreateTextFile("/dev/full", "wt", 0, "%s", "no room"));
    EXPECT_EQ("ERROR: couldn't open " + bad + "\nERROR: couldn't write /dev/full\n",
              testing::internal::GetCapturedStderr());
}

}  // namespace
