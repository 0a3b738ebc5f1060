// Package list language: every command word, version tests, modifiers in written
// order, incomplete lines, and what a failed copy or a sed edit leaves behind.
// Table rows are answered through the runner's row seam, so nothing runs; the
// release and the process list come through the read seam.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "../syscmd/SysCmdTestEnv.h"  // ExitStatusOf, ThrowExit
#include "Errors.h"
#include "Files.h"
#include "Installer.h"
#include "Log.h"
#include "Sleep.h"
#include "SysCmd.h"
#include "SysQuery.h"

namespace {

struct Row {
    int row;
    std::string text;
};
std::vector<Row> gRows;
std::vector<std::string> gLines;  // whole lines of the runs let through to the shell
std::string gRelease = "5.7";
std::string gPs;
std::map<int, int> gPass;  // rows let through to the runner (value unused)
std::function<int(const Row &)> gOnRow;  // a test's side effects and result

int AnswerRow(int row, int, const char *text) {
    gRows.push_back({row < 0 ? -row : row, text});
    if (gPass.count(gRows.back().row))
        return SYSCMD_PASS;
    return gOnRow ? gOnRow(gRows.back()) : 0;
}

int RecordLine(const char *line) {
    gLines.push_back(line);
    return 0;
}

FILE *AnswerRead(int row, const char *) {
    std::string text;
    if (row == CMD_UNAME)
        text = gRelease.empty() ? "" : gRelease + "\n";
    else if (row == CMD_PS)
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
        savedWork_ = pTalvoInstallDir;
        savedName_ = my_name;
        savedSedDir_ = pSedTempDir;
        pTalvoInstallDir = workBuf;
        snprintf(AppDir, sizeof AppDir, "%s", app.c_str());
        my_name = const_cast<char *>("pkglisttest");
        pSedTempDir = root.c_str();
        flUseLog = 0;
        gRows.clear();
        gLines.clear();
        gPass.clear();
        gOnRow = nullptr;
        gRelease = "5.7";
        gPs.clear();
        pSysCmdHook = AnswerRow;
        pSystemHook = RecordLine;
        pResponseHook = AnswerRead;
        pSleepHook = NoSleep;
        pExitHook = ThrowExit;
    }
    void TearDown() override {
        pSysCmdHook = nullptr;
        pSystemHook = nullptr;
        pResponseHook = nullptr;
        pSleepHook = nullptr;
        pExitHook = nullptr;
        pTalvoInstallDir = savedWork_;
        my_name = savedName_;
        pSedTempDir = savedSedDir_;
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }

    void WriteList(const std::string &text) { Write(work + "/./pkg.list", text); }
    void Write(const std::string &path, const std::string &text) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path) << text;
    }
    void Touch(const std::string &path) { Write(path, ""); }
    // The rows run, each as its program, its flags and the caller's text.
    std::vector<std::string> Commands() const {
        std::vector<std::string> out;
        for (const Row &r : gRows) {
            std::string flags = ComList[r.row].pFlags;
            out.push_back(std::string(ComList[r.row].pName) + (flags.empty() ? "" : " " + flags) + " " + r.text);
        }
        return out;
    }
    int Run(const std::string &list) {
        WriteList(list);
        return ProcessPkgList(".");
    }

private:
    char *savedWork_ = nullptr;
    char *savedName_ = nullptr;
    const char *savedSedDir_ = nullptr;
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
    std::string temp = root + "/pkglisttest.tmp";
    EXPECT_EQ(c[1], "sed s/x/y/ mode 755 " + app + "/a > " + temp);
    EXPECT_EQ(c[2], "cp -p " + temp + " " + app + "/a");
    EXPECT_EQ(c[3], "rm -f " + temp);
}

TEST_F(PkgListTest, SedStepRedirectsOnlyStandardErrorItself) {
    InitSysCmdList();  // the sed run goes through the runner to the shell seam
    gPass[CMD_SED] = 1;
    ASSERT_EQ(Run("c a sed s/x/y/\n"), 0);
    ASSERT_EQ(gLines.size(), 1u);
    EXPECT_NE(gLines[0].find("> " + root + "/pkglisttest.tmp"), std::string::npos) << gLines[0];
    EXPECT_EQ(gLines[0].find(" 1>"), std::string::npos) << gLines[0];
}

TEST_F(PkgListTest, SedAfterAnotherModifierTakesOneWord) {
    ASSERT_EQ(Run("c a mode 644 sed s/x/y/ owner root\n"), 0);
    std::vector<std::string> c = Commands();
    ASSERT_EQ(c.size(), 6u);
    EXPECT_EQ(c[2], "sed s/x/y/ " + app + "/a > " + root + "/pkglisttest.tmp");
    EXPECT_EQ(c[5], "chown -R root " + app + "/a");
}

// The copy back (cp -p) gives the target the temporary file's mode and owner.
TEST_F(PkgListTest, SedKeepsTheModeOwnerAndGroupOfTheEditedFile) {
    std::string tool = app + "/kvqadmin", temp = root + "/pkglisttest.tmp";
    Write(tool, "old\n");
    bool root_ = geteuid() == 0;
    if (root_) {
        ASSERT_EQ(0, chown(tool.c_str(), 65534, 65534));
    }
    chmod(tool.c_str(), 04750);
    gOnRow = [&](const Row &r) {
        if (r.row == CMD_SED)
            Write(temp, "new\n");
        if (r.row == CMD_CP && r.text.rfind(temp, 0) == 0) {
            std::filesystem::copy_file(temp, tool, std::filesystem::copy_options::overwrite_existing);
            chmod(tool.c_str(), 0600);
            if (root_) {
                EXPECT_EQ(0, chown(tool.c_str(), 0, 0));
            }
        }
        return 0;
    };
    ASSERT_EQ(Run("m kvqadmin sed s/old/new/\n"), 0);
    struct stat st {};
    ASSERT_EQ(0, stat(tool.c_str(), &st));
    EXPECT_EQ(04750u, st.st_mode & 07777);
    if (root_) {
        EXPECT_EQ(65534u, st.st_uid);
        EXPECT_EQ(65534u, st.st_gid);
    }
    EXPECT_EQ("new\n", ReadFileText(tool));
}

// A full disk: a copy that failed halfway stops the run naming the file, while a
// file the archive simply lacks stays a warning.
TEST_F(PkgListTest, AHalfWrittenCopyStopsTheRunAndAnAbsentSourceIsAWarning) {
    Write(work + "/big", "0123456789");
    Write(work + "/docs/html/index.html", "<p>text</p>");
    Write(work + "/docs/readme", "read me");
    gOnRow = [&](const Row &r) {
        if (r.text.find("/absent ") != std::string::npos)
            return 1;
        if (r.text.find("/docs ") != std::string::npos) {  // the tree stops after one file
            Write(root + "/etc/docs/readme", "read me");
            return 1;
        }
        if (r.text.find("/big ") != std::string::npos) {
            Write(app + "/big", "01234");
            return 1;
        }
        return 0;
    };
    std::filesystem::create_directories(root + "/etc");
    testing::internal::CaptureStderr();
    EXPECT_EQ(1, ExitStatusOf([&] { Run("c absent mode 644\ndirto docs " + root + "/etc\n"); }));
    EXPECT_EQ("ERROR: couldn't write " + root + "/etc/docs/html\n", testing::internal::GetCapturedStderr());
    EXPECT_EQ(3u, gRows.size()) << "the absent file's line went on to its modifier";

    gRows.clear();
    testing::internal::CaptureStderr();
    EXPECT_EQ(1, ExitStatusOf([&] { Run("c big\nc never\n"); }));
    EXPECT_EQ("ERROR: couldn't write " + app + "/big\n", testing::internal::GetCapturedStderr());
    EXPECT_EQ(1u, gRows.size());
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

    gRows.clear();
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
    testing::internal::CaptureStderr();
    EXPECT_EQ(1, ExitStatusOf([] { ProcessPkgList("nosuchdir"); }));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("can't open file"), std::string::npos);
}

}  // namespace
