// Package list language: every command word, version tests, modifiers in written
// order, and incomplete lines. The runner's final command lines are captured, so
// nothing runs; the release comes from a captured uname output.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "Errors.h"
#include "Files.h"
#include "Installer.h"
#include "Log.h"
#include "Sleep.h"
#include "SysCmd.h"
#include "SysQuery.h"

namespace {

std::vector<std::string> gLines;
std::string gRelease = "5.7";
std::string gPs;

int RecordLine(const char *line) {
    gLines.push_back(line);
    return 0;
}

FILE *FakePipe(const char *line) {
    std::string text;
    if (strstr(line, "uname"))
        text = gRelease.empty() ? "" : gRelease + "\n";
    else if (strstr(line, "ps"))
        text = gPs;
    FILE *f = tmpfile();
    fputs(text.c_str(), f);
    rewind(f);
    return f;
}

void NoSleep(unsigned) {}

class PkgListTest : public ::testing::Test {
protected:
    std::string root, work, app;

    void SetUp() override {
        char tmpl[] = "/tmp/pkglist.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        work = root + "/work";
        app = root + "/app";
        mkdir(work.c_str(), 0755);
        mkdir(app.c_str(), 0755);
        static char workBuf[512];
        snprintf(workBuf, sizeof workBuf, "%s", work.c_str());
        pTalvoInstallDir = workBuf;
        snprintf(AppDir, sizeof AppDir, "%s", app.c_str());
        my_name = const_cast<char *>("pkglisttest");
        flUseLog = 0;
        InitSysCmdList();
        gLines.clear();
        gRelease = "5.7";
        gPs.clear();
        pSystemHook = RecordLine;
        pPipeHook = FakePipe;
        pSleepHook = NoSleep;
    }
    void TearDown() override {
        pSystemHook = nullptr;
        pPipeHook = nullptr;
        pSleepHook = nullptr;
        std::string cmd = "rm -rf '" + root + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }

    void WriteList(const std::string &text) {
        std::string path = work + "/./pkg.list";
        FILE *f = fopen(path.c_str(), "w");
        ASSERT_NE(f, nullptr);
        fputs(text.c_str(), f);
        fclose(f);
    }
    void Touch(const std::string &path) {
        FILE *f = fopen(path.c_str(), "w");
        ASSERT_NE(f, nullptr);
        fclose(f);
    }
    // The command lines run, each reduced to the program's base name and its text.
    std::vector<std::string> Commands() const {
        std::vector<std::string> out;
        for (const std::string &line : gLines) {
            size_t q = line.find("-c \"");
            if (q == std::string::npos) {
                out.push_back(line);
                continue;
            }
            std::string inner = line.substr(q + 4);
            size_t space = inner.find(' ');
            std::string program = inner.substr(0, space);
            program = program.substr(program.rfind('/') + 1);
            std::string rest = inner.substr(space + 1);
            if (!rest.empty() && rest[0] == ' ')
                rest.erase(0, 1);  // a row without flags leaves two blanks
            size_t redirect = rest.find(" 1>");
            if (redirect == std::string::npos)
                redirect = rest.find(" 2>>");
            if (redirect != std::string::npos)
                rest = rest.substr(0, redirect);
            if (!rest.empty() && rest.back() == '"')
                rest.pop_back();
            out.push_back(program + " " + rest);
        }
        return out;
    }
    int Run(const std::string &list) {
        WriteList(list);
        return ProcessPkgList(".");
    }
};

TEST_F(PkgListTest, CopyCommandsBuildTheirLines) {
    ASSERT_EQ(Run("c a\ndir docs\ndirto conf /etc/conf\nt stamp\nf other\n"), 0);
    std::vector<std::string> c = Commands();
    ASSERT_EQ(c.size(), 5u);
    EXPECT_EQ(c[0], "cp -p " + work + "/./a " + app);
    EXPECT_EQ(c[1], "cp -pr " + work + "/./docs " + app);
    EXPECT_EQ(c[2], "cp -pr " + work + "/./conf /etc/conf");
    EXPECT_EQ(c[3], "touch " + app + "/stamp");
    EXPECT_EQ(c[4], "cp -p " + work + "/./other " + app);
}

TEST_F(PkgListTest, CommentIsAWordOfItsOwn) {
    ASSERT_EQ(Run("# c a\n#c b\n\n   \n"), 0);
    std::vector<std::string> c = Commands();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0], "cp -p " + work + "/./b " + app);
}

TEST_F(PkgListTest, TabIsNotASeparator) {
    ASSERT_EQ(Run("c\ta b\n"), 0);
    std::vector<std::string> c = Commands();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0], "cp -p " + work + "/./b " + app);
}

TEST_F(PkgListTest, ModifiersActInWrittenOrderOnTheTargetInAppDir) {
    ASSERT_EQ(Run("c tool name tool2 mode 755 owner root group staff\n"
                  "dirto conf /etc/conf owner root\n"),
              0);
    std::vector<std::string> c = Commands();
    ASSERT_EQ(c.size(), 7u);
    EXPECT_EQ(c[1], "mv -f " + app + "/tool " + app + "/tool2");
    EXPECT_EQ(c[2], "chmod 755 " + app + "/tool");
    EXPECT_EQ(c[3], "chown -R root " + app + "/tool");
    EXPECT_EQ(c[4], "chgrp -R staff " + app + "/tool");
    EXPECT_EQ(c[6], "chown -R root " + app + "/conf");
}

TEST_F(PkgListTest, UnknownModifierIsSkippedWithItsValue) {
    ASSERT_EQ(Run("c a colour red mode 600\n"), 0);
    std::vector<std::string> c = Commands();
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[1], "chmod 600 " + app + "/a");
}

TEST_F(PkgListTest, SedTakesTheRestOfTheLineWhenFirst) {
    ASSERT_EQ(Run("c a sed s/x/y/ mode 755\n"), 0);
    std::vector<std::string> c = Commands();
    ASSERT_EQ(c.size(), 4u);
    EXPECT_EQ(c[1], "sed s/x/y/ mode 755 " + app + "/a > /tmp/pkglisttest.tmp");
    EXPECT_EQ(c[2], "cp -p /tmp/pkglisttest.tmp " + app + "/a");
    EXPECT_EQ(c[3], "rm -f /tmp/pkglisttest.tmp");
    // Standard output of the sed step stays with its own redirection.
    EXPECT_EQ(gLines[1].find(" 1>"), std::string::npos);
    unlink("/tmp/pkglisttest.tmp");
}

TEST_F(PkgListTest, SedAfterAnotherModifierTakesOneWord) {
    ASSERT_EQ(Run("c a mode 644 sed s/x/y/ owner root\n"), 0);
    std::vector<std::string> c = Commands();
    ASSERT_EQ(c.size(), 6u);
    EXPECT_EQ(c[2], "sed s/x/y/ " + app + "/a > /tmp/pkglisttest.tmp");
    EXPECT_EQ(c[5], "chown -R root " + app + "/a");
    unlink("/tmp/pkglisttest.tmp");
}

TEST_F(PkgListTest, ExistenceCommands) {
    Touch(app + "/present");
    ASSERT_EQ(Run("m missing mode 644\nm present mode 600\ns present mode 640\n"), 0);
    std::vector<std::string> c = Commands();
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0], "chmod 600 " + app + "/present");
    EXPECT_EQ(c[1], "chmod 640 " + app + "/present");
}

TEST_F(PkgListTest, NewdirOnlyForAMissingTarget) {
    mkdir((app + "/logs").c_str(), 0755);
    ASSERT_EQ(Run("newdir logs mode 777\nnewdir spool mode 777\n"), 0);
    std::vector<std::string> c = Commands();
    ASSERT_GE(c.size(), 2u);
    for (const std::string &line : c)
        EXPECT_EQ(line.find("/logs"), std::string::npos) << line;
    EXPECT_EQ(c.back(), "chmod 777 " + app + "/spool");
    EXPECT_EQ(c[0], "mkdir -p " + app + "/spool");
}

TEST_F(PkgListTest, VersionTestsChain) {
    const char *list = "v >= 5.6 v < 5.8 c mid\nv = 5.7 c equal\nv =< 5.7 c never\nv > 5.7 c above\n";
    gRelease = "5.7";
    ASSERT_EQ(Run(list), 0);
    std::vector<std::string> c = Commands();
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0], "cp -p " + work + "/./mid " + app);
    EXPECT_EQ(c[1], "cp -p " + work + "/./equal " + app);

    gLines.clear();
    gRelease = "5.10";  // a later release than 5.8, though it sorts below as text
    ASSERT_EQ(Run(list), 0);
    c = Commands();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0], "cp -p " + work + "/./above " + app);
}

TEST_F(PkgListTest, UnknownReleaseSkipsTheCommand) {
    gRelease = "";
    testing::internal::CaptureStderr();
    ASSERT_EQ(Run("v >= 5.6 c a\nc b\n"), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("failed ts get version"), std::string::npos);
    std::vector<std::string> c = Commands();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0], "cp -p " + work + "/./b " + app);
}

TEST_F(PkgListTest, IncompleteLinesAreReportedAndRunNothing) {
    testing::internal::CaptureStderr();
    ASSERT_EQ(Run("c\ndirto conf\nv >=\nv >= 5.6\nc ok\n"), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("WARNING: incomplete package list line: c\n"), std::string::npos);
    EXPECT_NE(err.find("WARNING: incomplete package list line: dirto conf\n"), std::string::npos);
    EXPECT_NE(err.find("WARNING: incomplete package list line: v >=\n"), std::string::npos);
    std::vector<std::string> c = Commands();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0], "cp -p " + work + "/./ok " + app);
}

TEST_F(PkgListTest, ALineLackingAWordIsReportedOnlyWhereItsTestsHold) {
    testing::internal::CaptureStderr();
    ASSERT_EQ(Run("v < 5.6 c\nv >= 5.6 c\nv >= 5.6\n"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING: incomplete package list line: v >= 5.6 c\n");
    EXPECT_TRUE(Commands().empty());
}

TEST_F(PkgListTest, LinkReplacesOnlyASymbolicLink) {
    std::string dest = root + "/link";
    ASSERT_EQ(symlink("/nowhere", dest.c_str()), 0);
    std::string file = root + "/plain";
    Touch(file);
    ASSERT_EQ(Run("c a link " + dest + "\nc b link " + file + "\n"), 0);
    std::vector<std::string> c = Commands();
    ASSERT_EQ(c.size(), 5u);
    EXPECT_EQ(c[1], "rm -f " + dest);
    EXPECT_EQ(c[2], "ln -s " + app + "/a " + dest);
    EXPECT_EQ(c[4], "ln -s " + app + "/b " + file);
}

TEST_F(PkgListTest, CheckpsQuitStopsTheList) {
    gPs = "  PID TTY      TIME CMD\n 4242 ?        00:00:01 KelvraD\n";
    std::string answers = root + "/answers";
    FILE *f = fopen(answers.c_str(), "w");
    fputs("2\n", f);
    fclose(f);
    ASSERT_NE(freopen(answers.c_str(), "r", stdin), nullptr);
    testing::internal::CaptureStdout();
    int result = Run("c first\ncheckps KelvraD,Kvdm\nc never\n");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, 1);
    EXPECT_NE(out.find("The following processes are running."), std::string::npos);
    std::vector<std::string> c = Commands();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0], "cp -p " + work + "/./first " + app);
}

TEST_F(PkgListTest, CheckpsGoesOnWhenNothingRuns) {
    gPs = "  PID TTY      TIME CMD\n 4242 ?        00:00:01 KelvraDStop\n";
    ASSERT_EQ(Run("checkps KelvraD mode 644\nc after\n"), 0);
    std::vector<std::string> c = Commands();
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0], "chmod 644 " + app + "/KelvraD");
}

TEST_F(PkgListTest, MissingListStopsWithStatusOne) {
    EXPECT_EXIT(ProcessPkgList("nosuchdir"), testing::ExitedWithCode(1), "can't open file");
}

}  // namespace
