// Tests of the command log and the environment queries.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "SysCmdTestEnv.h"

namespace fs = std::filesystem;

TEST(PutLogMsg, WritesNothingWithoutTheLogFlag) {
    SysCmdEnv env;
    env.NoLog();
    PutLogMsg("%s\n", "hello");
    EXPECT_FALSE(fs::exists(env.LogFile()));
    EXPECT_EQ(1, flLogFirst);
}

TEST(PutLogMsg, FirstMessageOfARunEmptiesTheLogAndLaterOnesAppend) {
    SysCmdEnv env;
    std::ofstream(env.LogFile()) << "left by an earlier run\n";
    PutLogMsg("copying %s\n", "disk 1");
    EXPECT_EQ("copying disk 1\n", env.Log());
    PutLogMsg("%s", "no line end;");
    PutLogMsg("%d\n", 42);
    EXPECT_EQ("copying disk 1\nno line end;42\n", env.Log());
    flLogFirst = 1;  // the next run
    PutLogMsg("%s\n", "second run");
    EXPECT_EQ("second run\n", env.Log());
}

TEST(PutLogMsg, CommandsAppendBetweenMessages) {
    SysCmdEnv env;
    PutLogMsg("%s\n", "before");
    std::ofstream(env.LogFile(), std::ios::app) << "command output\n";
    PutLogMsg("%s\n", "after");
    EXPECT_EQ("before\ncommand output\nafter\n", env.Log());
}

TEST(PutLogMsg, CreatesTheFileWritableOnlyByItsOwner) {
    SysCmdEnv env;
    mode_t old = umask(0);
    PutLogMsg("%s\n", "x");
    umask(old);
    struct stat st;
    ASSERT_EQ(0, lstat(env.LogFile().c_str(), &st));
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(0644u, st.st_mode & 0777);
}

TEST(PutLogMsg, NeverWritesThroughAPlantedHardOrSymbolicLink) {
    SysCmdEnv env;
    std::string victim = env.Dir + "/victim";
    std::ofstream(victim) << "precious\n";
    fs::create_hard_link(victim, env.LogFile());  // a second name of a file of this user
    PutLogMsg("%s\n", "logged");
    EXPECT_EQ("precious\n", ReadFileText(victim));
    EXPECT_EQ(1u, fs::hard_link_count(env.LogFile()));
    EXPECT_EQ("logged\n", env.Log());

    // A link swapped in mid-run is never opened: the next message and the output of
    // a command go to the file opened first.
    fs::create_hard_link(env.LogFile(), env.Dir + "/first");
    fs::create_symlink(victim, env.Dir + "/tmp_link");
    fs::rename(env.Dir + "/tmp_link", env.LogFile());
    PutLogMsg("%s\n", "again");
    pSystemHook = nullptr;  // a real shell and child
    testing::internal::CaptureStdout();
    SysCmd(1, SYSCMD_WARN, "%s", "{ echo output; echo error >&2; }");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ("precious\n", ReadFileText(victim));
    EXPECT_EQ("logged\nagain\n{ echo output; echo error >&2; }\noutput\nerror\n", ReadFileText(env.Dir + "/first"));
    EXPECT_EQ(FD_CLOEXEC, fcntl(GetLogFd(), F_GETFD) & FD_CLOEXEC);  // no other program inherits it
}

TEST(PutLogMsg, ALogOfAnotherUserStopsTheRunUntouched) {
    if (geteuid() != 0)
        GTEST_SKIP() << "making a file of another user needs root";
    SysCmdEnv env;
    std::ofstream(env.LogFile()) << "theirs\n";
    ASSERT_EQ(0, chown(env.LogFile().c_str(), 65534, 65534));
    testing::internal::CaptureStderr();
    EXPECT_EQ(1, ExitStatusOf([] { PutLogMsg("%s\n", "x"); }));
    EXPECT_EQ("ERROR: " + env.LogFile() + " belongs to another user\n", testing::internal::GetCapturedStderr());
    EXPECT_EQ("theirs\n", env.Log());
}

TEST(PutLogMsg, ReplacesAPipeAtTheLogName) {
    SysCmdEnv env;
    ASSERT_EQ(0, mkfifo(env.LogFile().c_str(), 0666));
    PutLogMsg("%s\n", "through");
    EXPECT_TRUE(fs::is_regular_file(env.LogFile()));
    EXPECT_EQ("through\n", env.Log());
}

TEST(PutLogMsg, AnUnopenableLogIsReportedForEachMessageAndTheRunGoesOn) {
    SysCmdEnv env;
    fs::create_directory(env.LogFile());  // cannot be removed or written as a file
    testing::internal::CaptureStderr();
    PutLogMsg("%s\n", "one");
    PutLogMsg("%s\n", "two");
    std::string expected = "ERROR: couldn't open " + env.LogFile() + "\n";
    EXPECT_EQ(expected + expected, testing::internal::GetCapturedStderr());
    fs::remove(env.LogFile());
    PutLogMsg("%s\n", "three");
    EXPECT_EQ("three\n", env.Log());
}

TEST(GetLogFileName, IsTheProgramNameInTheLogDirectory) {
    EXPECT_STREQ("/tmp", pLogPath);  // the program's own log directory
    SysCmdEnv env;
    Owned name(GetLogFileName());
    EXPECT_EQ(env.Dir + "/" + env.Name + ".log", name.get());
}

// ---- GetToolPath -------------------------------------------------------------

namespace {

// A scratch tree holding export/install, export/bin, with the working directory
// moved into export/install for the test and back afterwards.
struct InDirectory {
    std::string Saved, Root, Cwd;
    explicit InDirectory(const std::string &sub = "export/install") {
        Saved = fs::current_path().string();
        char tmpl[] = "/tmp/toolpath.XXXXXX";
        Root = mkdtemp(tmpl);
        Cwd = Root + "/" + sub;
        fs::create_directories(Cwd);
        fs::current_path(Cwd);
    }
    ~InDirectory() {
        fs::current_path(Saved);
        std::error_code ec;
        fs::remove_all(Root, ec);
    }
};

std::string ToolPath(const char *argv0) {
    Owned p(GetToolPath(argv0));
    return p.get() ? p.get() : "<null>";
}

}  // namespace

TEST(GetToolPath, AnAbsoluteNameGivesItsDirectory) {
    EXPECT_EQ("/cdrom", ToolPath("/cdrom/setup"));
    EXPECT_EQ("/", ToolPath("/setup"));
}

TEST(GetToolPath, RelativeNamesAreTakenFromTheCurrentDirectory) {
    InDirectory in;
    std::string exportDir = in.Root + "/export";
    EXPECT_EQ(in.Cwd, ToolPath("setup"));
    EXPECT_EQ(in.Cwd + "/sub", ToolPath("sub/setup"));
    EXPECT_EQ(in.Cwd, ToolPath("./setup"));
    EXPECT_EQ(in.Cwd + "/sub", ToolPath("./sub/setup"));
    EXPECT_EQ(exportDir + "/bin", ToolPath("../bin/setup"));
}

TEST(GetToolPath, OnlyTheFirstParentStepIsResolved) {
    InDirectory in;
    std::string exportDir = in.Root + "/export";
    EXPECT_EQ(in.Cwd + "/..", ToolPath("../setup"));
    EXPECT_EQ(exportDir + "/../x", ToolPath("../../x/setup"));
}

TEST(GetToolPath, TheRootHasNoDoubledSlash) {
    std::string saved = fs::current_path().string();
    fs::current_path("/");
    EXPECT_EQ("/", ToolPath("setup"));
    EXPECT_EQ("/sub", ToolPath("./sub/setup"));
    EXPECT_EQ("/bin", ToolPath("../bin/setup"));
    fs::current_path(saved);
}

TEST(GetToolPath, ALongCurrentDirectoryIsReadWhole) {
    std::string sub;
    for (int i = 0; i < 30; ++i)
        sub += "directory_level_" + std::to_string(i) + "/";
    sub += "install";
    InDirectory in(sub);
    ASSERT_GT(in.Cwd.size(), 511u);
    EXPECT_EQ(in.Cwd, ToolPath("setup"));
    EXPECT_EQ(in.Cwd + "/sub", ToolPath("sub/setup"));
}

// ---- Environment, host and user ----------------------------------------------

TEST(GetEnv, GivesASavedCopyOrNull) {
    setenv("SYSCMD_TEST_VAR", "value 1", 1);
    Owned v(GetEnv("SYSCMD_TEST_VAR"));
    EXPECT_STREQ("value 1", v.get());
    unsetenv("SYSCMD_TEST_VAR");
    EXPECT_STREQ("value 1", v.get());
    EXPECT_EQ(nullptr, GetEnv("SYSCMD_TEST_VAR"));
}

TEST(GetHostname, IsTheSystemsHostName) {
    char expected[256] = {};
    ASSERT_EQ(0, gethostname(expected, sizeof expected - 1));
    Owned name(GetHostname());
    EXPECT_STREQ(expected, name.get());
}

TEST(GetUserName, ReadsTheFirstLineOfWhoami) {
    SysCmdEnv env;
    pPipeHook = FakePipe;
    TheSeen().Outputs = {"root\r\nsecond line\n"};
    Owned name(GetUserName());
    EXPECT_STREQ("root", name.get());
    EXPECT_EQ(std::vector<std::string>{"/usr/bin/whoami "}, TheSeen().Pipes);
}

TEST(GetUserName, IsNullWithoutOutputOrWithoutWhoami) {
    SysCmdEnv env;
    pPipeHook = FakePipe;
    EXPECT_EQ(nullptr, GetUserName());
    ComList[CMD_WHOAMI].pPath = nullptr;
    EXPECT_EQ(nullptr, GetUserName());
    EXPECT_EQ(1u, TheSeen().Pipes.size());
}

TEST(GetUserName, NamesTheEffectiveUser) {
    SysCmdEnv env;
    const passwd *pw = getpwuid(geteuid());
    ASSERT_NE(nullptr, pw);
    Owned name(GetUserName());
    EXPECT_STREQ(pw->pw_name, name.get());
}

// ---- Spooler sniffers ------------------------------------------------------------

TEST(SniffLprng, IsFalseWithoutRunningAnythingWhenLpdIsMissing) {
    SysCmdEnv env;
    pPipeHook = FakePipe;
    ComList[CMD_LPD].pPath = nullptr;
    EXPECT_EQ(0, SniffLprng());
    EXPECT_TRUE(TheSeen().Pipes.empty());
}

TEST(SniffLprng, LooksForLprngInTheVersionText) {
    SysCmdEnv env;
    pPipeHook = FakePipe;
    TheSeen().Outputs = {"lpd (LPRng) 3.8.28\n", "lpd: unknown option -V\nusage: lpd\n"};
    EXPECT_EQ(1, SniffLprng());
    EXPECT_EQ(0, SniffLprng());
    EXPECT_EQ("/usr/bin/lpd   -V 2>&1", TheSeen().Pipes.at(0));
}

TEST(SniffCUPS, IsWhetherCupsdWasLocated) {
    SysCmdEnv env;
    EXPECT_EQ(1, SniffCUPS());
    ComList[CMD_CUPSD].pPath = nullptr;
    EXPECT_EQ(0, SniffCUPS());
}
