// Tests of the file operations run through the command runner.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "FileCmds.h"
#include "Files.h"
#include "SysCmdTestEnv.h"

namespace fs = std::filesystem;

TEST(CreateFile, MakesTheDirectoryTouchesAndSetsModeOwnerGroup) {
    SysCmdEnv env;
    std::string dir = env.Dir + "/new/sub";
    std::string log = env.LogFile();
    testing::internal::CaptureStdout();
    CreateFile(dir.c_str(), "Msg", "666", "root", "other");
    EXPECT_EQ(".....", testing::internal::GetCapturedStdout());
    std::string redir = env.ToLog() + "\"";
    std::string target = dir + "/Msg";
    EXPECT_EQ((std::vector<std::string>{
                  "/usr/bin/sh -c \"/usr/bin/mkdir -p " + dir + redir,
                  "/usr/bin/sh -c \"/usr/bin/touch  " + target + redir,
                  "/usr/bin/sh -c \"/usr/bin/chmod  666 " + target + redir,
                  "/usr/bin/sh -c \"/usr/bin/chown  root " + target + redir,
                  "/usr/bin/sh -c \"/usr/bin/chgrp  other " + target + redir,
              }),
              TheSeen().Lines);
}

TEST(CreateFile, AnExistingDirectoryWithoutANameOnlyGetsItsMode) {
    SysCmdEnv env;
    env.NoLog();
    CreateFile(env.Dir.c_str(), nullptr, "775", nullptr, nullptr);
    EXPECT_EQ(std::vector<std::string>{"/usr/bin/sh -c \"/usr/bin/chmod  775 " + env.Dir +
                                       " 1>>/dev/null 2>>/dev/null\""},
              TheSeen().Lines);
}

TEST(CreateFile, AFailureIsFatal) {
    SysCmdEnv env;
    TheSeen().Statuses = {Exited(1)};
    testing::internal::CaptureStdout();
    EXPECT_EQ(1, ExitStatusOf([&] { CreateFile(env.Dir.c_str(), "x", nullptr, nullptr, nullptr); }));
    EXPECT_EQ(".\nERROR: exit status 1: touch failed on " + env.Dir + "/x; see " + env.LogFile() + "\n",
              testing::internal::GetCapturedStdout());
}

TEST(CreateFile, CreatesRealFilesWithTheirMode) {
    SysCmdEnv env(false);
    std::string dir = env.Dir + "/a/b";
    testing::internal::CaptureStdout();
    CreateFile(dir.c_str(), "file", "666", nullptr, nullptr);
    testing::internal::GetCapturedStdout();
    struct stat st;
    ASSERT_EQ(0, stat((dir + "/file").c_str(), &st));
    EXPECT_EQ(0666u, st.st_mode & 0777);
    std::string log = env.Log();
    EXPECT_NE(std::string::npos, log.find("/usr/bin/touch  " + dir + "/file\n"));
    EXPECT_EQ(std::string::npos, log.find("WARNING")) << log;
}

TEST(DeleteFile, RemovesAnExistingEntryWithAWarningOnFailure) {
    SysCmdEnv env;
    std::ofstream(env.Dir + "/SolarisDorv.tar") << "x";
    TheSeen().Statuses = {Exited(1)};
    testing::internal::CaptureStdout();
    DeleteFile(env.Dir.c_str(), "SolarisDorv.tar");
    DeleteFile(env.Dir.c_str(), "absent");
    EXPECT_EQ(".", testing::internal::GetCapturedStdout());
    std::string line = "/usr/bin/sh -c \"/usr/bin/rm -rf " + env.Dir + "/SolarisDorv.tar";
    ASSERT_EQ(1u, TheSeen().Lines.size());
    EXPECT_EQ(0u, TheSeen().Lines[0].rfind(line, 0));
    EXPECT_EQ(line + "\nWARNING_MSG: exit status 1\n", env.Log());
}

TEST(DeleteFile, ANullDirectoryTakesTheNameAsThePath) {
    SysCmdEnv env;
    env.NoLog();
    std::string sub = env.Dir + "/tree";
    fs::create_directory(sub);
    DeleteFile(nullptr, sub.c_str());
    DeleteFile(nullptr, nullptr);
    ASSERT_EQ(1u, TheSeen().Lines.size());
    EXPECT_EQ("/usr/bin/sh -c \"/usr/bin/rm -rf " + sub + " 1>>/dev/null 2>>/dev/null\"", TheSeen().Lines[0]);
}

TEST(DeleteFile, RemovesRealTreesAndQuotesOddNames) {
    SysCmdEnv env(false);
    std::string odd = env.Dir + "/a$b'c";
    fs::create_directories(odd + "/inner");
    std::ofstream(env.Dir + "/a") << "keep";
    testing::internal::CaptureStdout();
    DeleteFile(env.Dir.c_str(), "a$b'c");
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(fs::exists(odd));
    EXPECT_EQ("keep", ReadFileText(env.Dir + "/a"));
    // the value in single quotes, then protected for the outer double quotes
    EXPECT_EQ("/usr/bin/sh -c \"/usr/bin/rm -rf '" + env.Dir + "/a\\$b'\\\\''c'\n", env.Log());
}

TEST(DeleteFile_, TestsAPathWithoutANameAsItsParentAndLastPart) {
    SysCmdEnv env;
    env.NoLog();
    std::string file = env.Dir + "/setup.hlp";
    std::ofstream(file) << "x";
    DeleteFile_(file.c_str(), nullptr);
    DeleteFile_((env.Dir + "/missing").c_str(), nullptr);
    DeleteFile_(env.Dir.c_str(), "setup.hlp");
    DeleteFile_(env.Dir.c_str(), "missing");
    EXPECT_EQ((std::vector<std::string>{
                  "/usr/bin/sh -c \"/usr/bin/rm -rf " + file + " 1>>/dev/null 2>>/dev/null\"",
                  "/usr/bin/sh -c \"/usr/bin/rm -rf " + file + " 1>>/dev/null 2>>/dev/null\"",
              }),
              TheSeen().Lines);
}

TEST(RenameFile, MovesUnloggedWithinADirectory) {
    SysCmdEnv env;
    std::ofstream(env.Dir + "/old") << "x";
    testing::internal::CaptureStdout();
    RenameFile(env.Dir.c_str(), "old", "new");
    RenameFile(env.Dir.c_str(), "absent", "new");
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ(std::vector<std::string>{"/usr/bin/sh -c \"/usr/bin/mv -f " + env.Dir + "/old " + env.Dir + "/new\""},
              TheSeen().Lines);
    EXPECT_EQ("<missing>", env.Log());
}

TEST(RenameFile, WithoutADirectoryMovesWholePathsAndWarnsOnFailure) {
    SysCmdEnv env;
    std::string from = env.Dir + "/x.tmp";
    std::ofstream(from) << "x";
    TheSeen().Statuses = {Exited(1)};
    RenameFile(nullptr, from.c_str(), "/opt/y");
    EXPECT_EQ(std::vector<std::string>{"/usr/bin/sh -c \"/usr/bin/mv -f " + from + " /opt/y\""}, TheSeen().Lines);
    EXPECT_EQ("WARNING_MSG: exit status 1\n", env.Log());
}

TEST(RenameFile, RenamesARealFile) {
    SysCmdEnv env(false);
    std::ofstream(env.Dir + "/before") << "content";
    RenameFile(env.Dir.c_str(), "before", "after");
    EXPECT_FALSE(fs::exists(env.Dir + "/before"));
    EXPECT_EQ("content", ReadFileText(env.Dir + "/after"));
}
