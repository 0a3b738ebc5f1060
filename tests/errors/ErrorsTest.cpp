// Tests of the error reports: ErrorMsg levels, SysError, errormsg and exit_app.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "Errors.h"
#include "Files.h"

namespace {

using ::testing::ExitedWithCode;
using ::testing::HasSubstr;

struct ExitCalled {
    int Status;
};

[[noreturn]] void ThrowingHook(int status) {
    throw ExitCalled{status};
}

// Restores my_name and pExitHook whatever a test did to them.
class ErrorsFixture : public ::testing::Test {
protected:
    char name[16] = "setup";
    char *savedName = my_name;
    void (*savedHook)(int) = pExitHook;
    void SetUp() override { my_name = name; }
    void TearDown() override {
        my_name = savedName;
        pExitHook = savedHook;
    }
};

using ErrorMsgTest = ErrorsFixture;
using SysErrorTest = ErrorsFixture;
using ErrormsgTest = ErrorsFixture;
using ExitAppTest = ErrorsFixture;

TEST_F(ErrorMsgTest, LevelZeroOnlyFormatsIntoLine) {
    ::testing::internal::CaptureStderr();
    ErrorMsg(0, 0, "can't open file, %s", "pkg.list");
    EXPECT_EQ("", ::testing::internal::GetCapturedStderr());
    EXPECT_STREQ("can't open file, pkg.list", Line);
}

TEST_F(ErrorMsgTest, LevelOneWarnsAndReturns) {
    ::testing::internal::CaptureStderr();
    ErrorMsg(1, 5, "disk %i of %s", 2, "set");
    EXPECT_EQ("WARNING: disk 2 of set\n", ::testing::internal::GetCapturedStderr());
    EXPECT_STREQ("disk 2 of set", Line);
}

TEST_F(ErrorMsgTest, OtherLevelsPrintNothing) {
    ::testing::internal::CaptureStderr();
    ErrorMsg(3, 1, "three");
    ErrorMsg(-1, 1, "minus one");
    EXPECT_EQ("", ::testing::internal::GetCapturedStderr());
    EXPECT_STREQ("minus one", Line);
}

TEST_F(ErrorMsgTest, LevelTwoReportsAndExitsWithTheStatus) {
    EXPECT_EXIT(ErrorMsg(2, 3, "can't open file, %s", "disks"), ExitedWithCode(3),
                HasSubstr("ERROR: can't open file, disks\n"));
    EXPECT_EXIT(ErrorMsg(2, 0, "stopped"), ExitedWithCode(0), HasSubstr("ERROR: stopped\n"));
}

TEST_F(ErrorMsgTest, LongMessageIsCutAtTheEndOfLine) {
    std::string huge(LINE_SIZE + 5000, 'x');
    ErrorMsg(0, 0, "<%s>", huge.c_str());
    ASSERT_EQ(static_cast<size_t>(LINE_SIZE - 1), std::strlen(Line));
    EXPECT_EQ('<', Line[0]);
    EXPECT_EQ('x', Line[LINE_SIZE - 2]);
}

TEST_F(ErrorMsgTest, LineMayBeAnArgumentOfItsOwnMessage) {
    std::snprintf(Line, LINE_SIZE, "%s", "a b c");
    ErrorMsg(0, 0, "words [%s] then [%s]", Line, Line + 2);
    EXPECT_STREQ("words [a b c] then [b c]", Line);
}

void QuietMsg(const char *fmt, ...) PRINTF_LIKE(1, 2);
void QuietMsg(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    ErrorMsgV(0, 0, fmt, ap);
    va_end(ap);
}

TEST_F(ErrorMsgTest, VaListTwinFormatsTheSame) {
    QuietMsg("%s=%i", "n", 4);
    EXPECT_STREQ("n=4", Line);
}

TEST_F(SysErrorTest, NamesProgramMessageAndSystemErrorThenExitsOne) {
    std::string expected =
        std::string("\nsetup: can't open file, /x : ") + std::strerror(ENOENT) + "\n";
    EXPECT_EXIT(
        {
            errno = ENOENT;
            SysError("can't open file, %s", "/x");
        },
        ExitedWithCode(1), HasSubstr(expected));
}

TEST_F(SysErrorTest, ReportsTheErrorNumberItWasCalledWith) {
    // Flushing pending output to a full device fails and sets errno afresh.
    std::string expected = std::string("\nsetup: boom : ") + std::strerror(EACCES) + "\n";
    EXPECT_EXIT(
        {
            if (!std::freopen("/dev/full", "w", stdout))
                std::_Exit(99);
            std::setvbuf(stdout, nullptr, _IOFBF, 4096);
            std::printf("pending output");
            errno = EACCES;
            SysError("boom");
        },
        ExitedWithCode(1), HasSubstr(expected));
}

TEST_F(SysErrorTest, MissingProgramNamePrintsAnEmptyName) {
    my_name = nullptr;
    EXPECT_EXIT(
        {
            errno = EPERM;
            SysError("no name");
        },
        ExitedWithCode(1), HasSubstr("\n: no name : "));
}

TEST_F(SysErrorTest, ExitHookReceivesStatusOne) {
    pExitHook = ThrowingHook;
    ::testing::internal::CaptureStderr();
    int status = -1;
    try {
        SysError("hooked");
    } catch (const ExitCalled &e) {
        status = e.Status;
    }
    EXPECT_EQ(1, status);
    EXPECT_THAT(::testing::internal::GetCapturedStderr(), HasSubstr("setup: hooked : "));
}

TEST_F(ErrormsgTest, PrefixesTheProgramName) {
    ::testing::internal::CaptureStderr();
    errormsg("bad argument %s", "-q");
    my_name = nullptr;
    errormsg("nameless");
    EXPECT_EQ("setup: bad argument -q\n: nameless\n", ::testing::internal::GetCapturedStderr());
}

TEST_F(ExitAppTest, ExitsWithTheStatus) {
    EXPECT_EXIT(exit_app(4), ExitedWithCode(4), "");
    EXPECT_EXIT(exit_app(0), ExitedWithCode(0), "");
}

TEST_F(ExitAppTest, FlushesStandardOutputBeforeTheHookRuns) {
    char dir[] = "/tmp/errors_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    std::string path = std::string(dir) + "/out";
    EXPECT_EXIT(
        {
            if (!std::freopen(path.c_str(), "w", stdout))
                std::_Exit(99);
            std::setvbuf(stdout, nullptr, _IOFBF, 4096);
            std::printf("unflushed");
            pExitHook = [](int status) { _exit(status); };  // skips exit()'s own flush
            exit_app(6);
        },
        ExitedWithCode(6), "");
    FILE *f = std::fopen(path.c_str(), "r");
    ASSERT_NE(nullptr, f);
    char buf[32] = {};
    size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    std::remove(path.c_str());
    rmdir(dir);
    EXPECT_EQ("unflushed", std::string(buf, n));
}

TEST_F(ExitAppTest, HookThatReturnsIsFollowedByTheExit) {
    EXPECT_EXIT(
        {
            pExitHook = [](int) { std::fputs("hook ran\n", stderr); };
            exit_app(9);
        },
        ExitedWithCode(9), HasSubstr("hook ran\n"));
}

TEST_F(ExitAppTest, ErrorMsgLevelTwoGoesThroughTheHook) {
    pExitHook = ThrowingHook;
    ::testing::internal::CaptureStderr();
    int status = -1;
    try {
        ErrorMsg(2, 7, "fatal %i", 7);
    } catch (const ExitCalled &e) {
        status = e.Status;
    }
    EXPECT_EQ(7, status);
    EXPECT_EQ("ERROR: fatal 7\n", ::testing::internal::GetCapturedStderr());
}

}  // namespace
