// Tests of saved strings, path splitters, searches and conversions.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "MemMgr.h"
#include "StrUtils.h"

namespace {

using Saved = MemStr;

char *SaveThroughV(const char *fmt, ...) PRINTF_LIKE(1, 2);
char *SaveThroughV(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    char *text = SaveStrV(fmt, ap);
    va_end(ap);
    return text;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
#pragma GCC diagnostic ignored "-Wformat"
char *SaveStrNoFormat() {
    const char *none = nullptr;
    return SaveStr__(none);
}
#pragma GCC diagnostic pop

// A private scratch directory under /tmp, removed with what the test made in it.
class ScratchDir {
public:
    ScratchDir() {
        char tmpl[] = "/tmp/strutils-test-XXXXXX";
        const char *made = mkdtemp(tmpl);
        EXPECT_NE(nullptr, made);
        path_ = made ? made : "";
    }
    ~ScratchDir() {
        for (auto it = made_.rbegin(); it != made_.rend(); ++it)
            rmdir(it->c_str());
        rmdir(path_.c_str());
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;
    const std::string &Path() const { return path_; }
    std::string MakeDir(const std::string &name) {
        std::string p = path_ + "/" + name;
        EXPECT_EQ(0, mkdir(p.c_str(), 0700));
        made_.push_back(p);
        return p;
    }

private:
    std::string path_;
    std::vector<std::string> made_;
};

}  // namespace

TEST(SaveStr, FormatsIntoANewString) {
    Saved text(SaveStr("%s/%s", "/tmp", "setup.log"));
    EXPECT_STREQ("/tmp/setup.log", text.get());
    Saved number(SaveStr("%d-%c", 42, 'x'));
    EXPECT_STREQ("42-x", number.get());
}

TEST(SaveStr, EmptyResultIsAnEmptyStringNotNull) {
    Saved text(SaveStr("%s", ""));
    ASSERT_NE(nullptr, text.get());
    EXPECT_STREQ("", text.get());
}

TEST(SaveStr, LongResultFromAShortFormatIsKeptWhole) {
    std::string big(100 * 1024, 'x');
    big[50000] = 'm';
    Saved text(SaveStr("<%s>", big.c_str()));
    ASSERT_NE(nullptr, text.get());
    EXPECT_EQ("<" + big + ">", text.get());
}

TEST(SaveStr, VaListTwinFormatsTheSame) {
    Saved text(SaveThroughV("%s=%u", "count", 7u));
    EXPECT_STREQ("count=7", text.get());
}

TEST(SaveStr_, CopiesPercentSignsVerbatim) {
    const char *typed = "/opt/50%s%d%n/x";
    Saved text(SaveStr_(typed));
    EXPECT_STREQ(typed, text.get());
    EXPECT_NE(typed, text.get());
}

TEST(SaveStr_, NullTextGivesNull) {
    EXPECT_EQ(nullptr, SaveStr_(nullptr));
}

TEST(SaveStr__, FormatsAndRefusesANullFormat) {
    Saved text(SaveStr__("%s-%d", "disk", 3));
    EXPECT_STREQ("disk-3", text.get());
    EXPECT_EQ(nullptr, SaveStrNoFormat());
}

TEST(SaveStr__, LongResultIsNotCut) {
    std::string big(100 * 1024, 'y');
    Saved text(SaveStr__("%s!", big.c_str()));
    ASSERT_NE(nullptr, text.get());
    EXPECT_EQ(big + "!", text.get());
}

TEST(StripFn, GivesTheDirectoryPart) {
    EXPECT_STREQ("/usr/bin", StripFn("/usr/bin/ls"));
    EXPECT_STREQ("/", StripFn("/ls"));
    EXPECT_STREQ(".", StripFn("ls"));
    EXPECT_STREQ("/usr/bin", StripFn("/usr/bin/"));
    EXPECT_STREQ(".", StripFn(""));
    EXPECT_STREQ(".", StripFn(nullptr));
    EXPECT_STREQ("a", StripFn("a/b"));
}

TEST(StripFn, OwnResultCanBePassedBack) {
    char *dir = StripFn("/a/b/c");
    EXPECT_STREQ("/a", StripFn(dir));
}

TEST(StripFn, LongPathIsNeverCut) {
    std::string dir = "/" + std::string(5000, 'd');
    std::string path = dir + "/file";
    EXPECT_EQ(dir, StripFn(path.c_str()));
}

TEST(StripPath, GivesTheLastComponent) {
    EXPECT_STREQ("ls", StripPath("/usr/bin/ls"));
    EXPECT_STREQ("bin", StripPath("/usr/bin/"));
    EXPECT_STREQ("/", StripPath("/"));
    EXPECT_STREQ("///", StripPath("///"));
    EXPECT_STREQ("name", StripPath("name"));
    EXPECT_STREQ("", StripPath(""));
    EXPECT_STREQ("", StripPath(nullptr));
}

TEST(StripPath, LongComponentIsNeverCut) {
    std::string name(5000, 'n');
    std::string path = "/opt/" + name + "//";
    EXPECT_EQ(name, StripPath(path.c_str()));
}

TEST(PathResults, EachOperationKeepsItsOwnResult) {
    const char *path = "/usr/lib/libc.so.1";
    char *dir = StripFn(path);
    char *name = StripPath(path);
    char *stem = StripPathExt(path);
    EXPECT_STREQ("/usr/lib", dir);
    EXPECT_STREQ("libc.so.1", name);
    EXPECT_STREQ("libc", stem);
    StripPath("/other/thing");
    EXPECT_STREQ("/usr/lib", dir);
    EXPECT_STREQ("libc", stem);
}

TEST(StripPathExt, CutsTheLastComponentAtItsFirstDot) {
    EXPECT_STREQ("file", StripPathExt("/opt/a/file.tar.Z"));
    EXPECT_STREQ(".profile", StripPathExt("/home/u/.profile.bak"));
    EXPECT_STREQ("plain", StripPathExt("plain"));
    EXPECT_STREQ("", StripPathExt(nullptr));
    EXPECT_EQ(nullptr, StripPathExt(""));
    EXPECT_EQ(nullptr, StripPathExt("//"));
}

TEST(StripExt, KeepsLeadingDotsAndCutsAtTheFirstOtherDot) {
    EXPECT_STREQ("pkg_tar", StripExt("pkg_tar.1"));
    EXPECT_STREQ("a", StripExt("a.b.c"));
    EXPECT_STREQ(".a", StripExt(".a.b"));
    EXPECT_STREQ("..", StripExt(".."));
    EXPECT_STREQ("a", StripExt("a..b"));
    EXPECT_STREQ("", StripExt(nullptr));
}

TEST(StripPathName, GivesTheLastComponentOrEmpty) {
    EXPECT_STREQ("", StripPathName(nullptr));
    EXPECT_STREQ("", StripPathName("."));
    EXPECT_STREQ("", StripPathName(".."));
    EXPECT_STREQ("", StripPathName("/usr/.."));
    EXPECT_STREQ("", StripPathName("/"));
    EXPECT_STREQ("name", StripPathName("name"));
    EXPECT_STREQ("lib", StripPathName("/usr/lib/"));
    EXPECT_STREQ(".hidden", StripPathName("/x/.hidden"));
}

TEST(FindExistingPath, WalksUpToTheExistingPart) {
    ScratchDir dir;
    std::string missing = dir.Path() + "/nothere/norhere";
    int flag = 7;
    Saved found(FindExistingPath(missing.c_str(), &flag));
    EXPECT_EQ(dir.Path(), found.get());
    EXPECT_EQ(7, flag);
}

TEST(FindExistingPath, ExistingPathSetsTheFlag) {
    ScratchDir dir;
    std::string sub = dir.MakeDir("sub");
    int flag = 0;
    Saved found(FindExistingPath(sub.c_str(), &flag));
    EXPECT_EQ(sub, found.get());
    EXPECT_EQ(1, flag);
}

TEST(FindExistingPath, TrailingSlashStillNamesAnExistingDirectory) {
    ScratchDir dir;
    std::string sub = dir.MakeDir("sub");
    int flag = 0;
    Saved found(FindExistingPath((sub + "/").c_str(), &flag));
    EXPECT_EQ(sub, found.get());
    EXPECT_EQ(1, flag);
}

TEST(FindExistingPath, RootAndVeryLongPaths) {
    int flag = 0;
    Saved root(FindExistingPath("/", &flag));
    EXPECT_STREQ("/", root.get());
    EXPECT_EQ(1, flag);

    ScratchDir dir;
    std::string deep = dir.Path();
    for (int i = 0; i < 500; ++i)
        deep += "/component";
    flag = 0;
    Saved found(FindExistingPath(deep.c_str(), &flag));
    EXPECT_EQ(dir.Path(), found.get());
    EXPECT_EQ(0, flag);
}

TEST(FindExistingPath, NullPathGivesNull) {
    int flag = 0;
    EXPECT_EQ(nullptr, FindExistingPath(nullptr, &flag));
    EXPECT_EQ(0, flag);
}

TEST(StrStr, EmptyPatternMatchesNowhere) {
    EXPECT_EQ(nullptr, StrStr("abc", ""));
    EXPECT_EQ(nullptr, StrStr("", "a"));
    EXPECT_EQ(nullptr, StrStr(nullptr, "a"));
    EXPECT_EQ(nullptr, StrStr("abc", nullptr));
}

TEST(StrStr, FindsTheFirstOccurrence) {
    const char *text = "abcbc";
    EXPECT_EQ(text + 1, StrStr(text, "bc"));
    EXPECT_EQ(nullptr, StrStr(text, "bcd"));
    EXPECT_EQ(nullptr, StrStr(text, "BC"));
}

TEST(StrCaseStr, IgnoresCase) {
    const char *text = "<Body BGCOLOR=x>";
    EXPECT_EQ(text + 6, StrCaseStr(text, "bgcolor"));
    EXPECT_EQ(nullptr, StrCaseStr(text, ""));
    EXPECT_EQ(nullptr, StrCaseStr(text, "bgcolour"));
}

TEST(StrChr, StepsOverEscapedCharacters) {
    const char *text = "a\\,b,";
    EXPECT_EQ(text + 4, StrChr(text, ','));
    EXPECT_EQ(nullptr, StrChr("", ','));
    EXPECT_EQ(nullptr, StrChr("a\\", ','));
    EXPECT_EQ(nullptr, StrChr("a\\,", ','));
}

TEST(StrNChr, FindsTheNthOccurrence) {
    const char *text = "a,b,c";
    EXPECT_EQ(text + 1, StrNChr(text, ',', 1));
    EXPECT_EQ(text + 3, StrNChr(text, ',', 2));
    EXPECT_EQ(nullptr, StrNChr(text, ',', 3));
    EXPECT_EQ(nullptr, StrNChr(nullptr, ',', 1));
    EXPECT_EQ(nullptr, StrNChr("", ',', 1));
}

TEST(StrNStr, OccurrencesMayOverlap) {
    const char *text = "aaa";
    EXPECT_EQ(text, StrNStr(text, "aa", 1));
    EXPECT_EQ(text + 1, StrNStr(text, "aa", 2));
    EXPECT_EQ(nullptr, StrNStr(text, "aa", 3));
    EXPECT_EQ(nullptr, StrNStr(nullptr, "aa", 1));
}

TEST(StrLen, CountsCharactersAndTakesNull) {
    EXPECT_EQ(3, StrLen("abc"));
    EXPECT_EQ(0, StrLen(""));
    EXPECT_EQ(0, StrLen(nullptr));
}

TEST(SkipSpace, SkipsTheStandardWhiteSpaceClass) {
    const char *text = " \t\n\v\f\rword ";
    EXPECT_EQ(text + 6, SkipSpace(text));
    EXPECT_EQ(nullptr, SkipSpace(nullptr));
    const char *none = "x";
    EXPECT_EQ(none, SkipSpace(none));
}

TEST(StripAllBackslashes, RemovesEveryBackslash) {
    char text[] = "a\\\\b\\c\\";
    EXPECT_EQ(text, StripAllBackslashes(text));
    EXPECT_STREQ("abc", text);
    EXPECT_EQ(nullptr, StripAllBackslashes(nullptr));
}

TEST(GenName, JoinsCapitalisedWords) {
    EXPECT_STREQ("HelloWorld42Foo", GenName("hello world-42 foo"));
    EXPECT_STREQ("AbcDef", GenName("42abc DEF"));
    EXPECT_STREQ("", GenName("12 34"));
    EXPECT_STREQ("", GenName(""));
    EXPECT_STREQ("", GenName(nullptr));
}

TEST(GenName, LongTextIsNeverCut) {
    std::string text;
    std::string expected;
    for (int i = 0; i < 1000; ++i) {
        text += "word ";
        expected += "Word";
    }
    EXPECT_EQ(expected, GenName(text.c_str()));
}

TEST(SetVarContent, CopiesOrReversesBytes) {
    const unsigned char big[4] = {0x01, 0x02, 0x03, 0x04};
    unsigned char out[4] = {};
    SetVarContent(out, big, 4, 1);
    EXPECT_EQ(0x04, out[0]);
    EXPECT_EQ(0x03, out[1]);
    EXPECT_EQ(0x02, out[2]);
    EXPECT_EQ(0x01, out[3]);
    SetVarContent(out, big, 4, 0);
    EXPECT_EQ(0, std::memcmp(out, big, 4));
}

TEST(SetVarContent, ReversesInPlace) {
    unsigned char bytes[3] = {1, 2, 3};
    SetVarContent(bytes, bytes, 3, 1);
    EXPECT_EQ(3, bytes[0]);
    EXPECT_EQ(2, bytes[1]);
    EXPECT_EQ(1, bytes[2]);
}

TEST(MaxD, TakesTheLargerOrTheSecondWhenEqual) {
    EXPECT_EQ(2.5, MaxD(2.5, -1.0));
    EXPECT_EQ(3.0, MaxD(1.0, 3.0));
    EXPECT_TRUE(std::signbit(MaxD(0.0, -0.0)));
    EXPECT_FALSE(std::signbit(MaxD(-0.0, 0.0)));
}

TEST(CvtFloatFormat, ConvertsBetweenInchesCentimetresAndPoints) {
    EXPECT_FLOAT_EQ(72.0f, CvtFloatFormat(1.0f, UNIT_INCH, UNIT_POINT));
    EXPECT_FLOAT_EQ(1.0f, CvtFloatFormat(2.54f, UNIT_CM, UNIT_INCH));
    EXPECT_FLOAT_EQ(2.54f, CvtFloatFormat(72.0f, UNIT_POINT, UNIT_CM));
    EXPECT_FLOAT_EQ(72.0f, CvtFloatFormat(2.54f, UNIT_CM, UNIT_POINT));
}

TEST(CvtFloatFormat, SameOrUnknownUnitsLeaveTheValue) {
    EXPECT_EQ(3.25f, CvtFloatFormat(3.25f, UNIT_CM, UNIT_CM));
    EXPECT_EQ(3.25f, CvtFloatFormat(3.25f, 5, UNIT_CM));
    EXPECT_EQ(3.25f, CvtFloatFormat(3.25f, UNIT_INCH, -1));
}
