// Real commands that change the system, run in the isolated root: the test program
// starts itself inside (tools/sandbox/run-isolated) with SYSCMD_SCENARIO naming what
// to do, and the outer test reads what the scenario left in the isolated /tmp: the
// program's standard output (scenario.out), the log (setup.log) and notes
// (scenario.notes).
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "../sandbox/SandboxRun.h"
#include "FileCmds.h"
#include "Files.h"
#include "SysCmdTestEnv.h"

namespace fs = std::filesystem;

namespace {

// ---- Inside the isolated root --------------------------------------------------

void Note(const char *fmt, ...) PRINTF_LIKE(1, 2);
void Note(const char *fmt, ...) {
    FILE *f = std::fopen("/tmp/scenario.notes", "a");
    if (!f)
        return;
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(f, fmt, ap);
    va_end(ap);
    std::fclose(f);
}

std::string ListOrNone(char *list) {
    std::string s = list ? "[" + std::string(list) + "]" : "none";
    PutMem(list);
    return s;
}

void SkipSleep(unsigned) {}

using Scenario = std::function<int()>;

const std::map<std::string, Scenario> &Scenarios() {
    static const std::map<std::string, Scenario> all = {
        {"fatal",
         [] {
             SysCmd(CMD_CP, SYSCMD_FATAL, "%s %s", "/nonexistent/pkg_tar.z1", "/opt");
             return 0;  // not reached: the failure ends the run
         }},
        {"warn",
         [] {
             std::ofstream("/opt/file") << "x";
             int first = SysCmd(CMD_MKDIR, SYSCMD_WARN, "%s", "/opt/file/sub");
             int second = SysCmd(CMD_TOUCH, SYSCMD_WARN, "%s", "/opt/after");
             Note("first=%d second=%d\n", first, second);
             return 0;
         }},
        {"quiet",
         [] {
             std::ofstream("/opt/file") << "x";
             return SysCmd(CMD_MKDIR, SYSCMD_QUIET, "%s", "/opt/file/sub");
         }},
        {"floppy",
         [] {
             SysCmd(-CMD_VOLCHECK, SYSCMD_QUIET, "%s", "");
             int before = 0, after = 0;
             for ([[maybe_unused]] auto &e : fs::directory_iterator("/floppy/floppy0"))
                 ++before;
             int r = SysCmd(-CMD_RM, SYSCMD_QUIET, "%s", "/floppy/floppy0/*");
             for ([[maybe_unused]] auto &e : fs::directory_iterator("/floppy/floppy0"))
                 ++after;
             Note("before=%d after=%d result=%d\n", before, after, r);
             return 0;
         }},
        {"eject",
         [] {
             int present = SysCmd(-CMD_EJECT_Q, SYSCMD_QUIET, "%s", "");
             int ejected = SysCmd(-CMD_EJECT, SYSCMD_QUIET, "%s", "");
             int empty = SysCmd(-CMD_EJECT_Q, SYSCMD_QUIET, "%s", "");
             Note("present=%d ejected=%d empty=%d\n", present, ejected, empty);
             return 0;
         }},
        {"files",
         [] {
             fs::create_directories("/opt/Talvo/old/inner");
             CreateFile("/opt/Talvo/dorv", ".kv_cfg", "666", "root", "root");
             RenameFile("/opt/Talvo/dorv", ".kv_cfg", ".kv_cfg2");
             CreateFile("/var/spool/Talvo", nullptr, "777", nullptr, nullptr);
             DeleteFile("/opt/Talvo", "old");
             DeleteFile("/opt/Talvo", "never_there");
             return 0;
         }},
        {"packages",
         [] {
             fs::create_directories("/tmp/work/MRGWdorv");
             SysCmd(-CMD_PKGADD, SYSCMD_FATAL, "-d %s MRGW%s", "/tmp/work", "dorv");
             Note("after_add=%s\n", ListOrNone(GetSysPkgList("MRGWdorv")).c_str());
             Note("other=%s\n", ListOrNone(GetSysPkgList("KVQXnone")).c_str());
             char *list = GetSysPkgList("MRGWdorv");
             SysCmd(-CMD_PKGRM, SYSCMD_FATAL, "%s", list ? list : "");
             PutMem(list);
             Note("after_rm=%s\n", ListOrNone(GetSysPkgList("MRGWdorv")).c_str());
             return 0;
         }},
        {"unlocated",
         [] {
             SysCmd(CMD_PIOMKPQ, SYSCMD_WARN, "%s", "-q x");
             return 0;
         }},
        {"environment",
         [] {
             char *user = GetUserName();
             Note("user=%s lprng=%d cups=%d\n", user ? user : "(null)", SniffLprng(), SniffCUPS());
             PutMem(user);
             return 0;
         }},
    };
    return all;
}

// ---- Outside: starting a scenario and reading what it left ---------------------

std::string SelfExe() {
    std::error_code ec;
    return fs::read_symlink("/proc/self/exe", ec).string();
}

struct ScenarioRun {
    sandbox_test::Result Runner;
    std::string Out, Log, Notes;
};

ScenarioRun RunScenario(const sandbox_test::Sandbox &box, const std::string &name,
                        std::vector<std::string> options = {}) {
    std::vector<std::string> args = std::move(options);
    args.insert(args.end(), {"--env", "SYSCMD_SCENARIO=" + name, "--timeout", "60", "--", SelfExe(),
                             "--gtest_filter=InIsolatedRoot.Scenario"});
    ScenarioRun r;
    r.Runner = box.Run(args);
    r.Out = sandbox_test::ReadFile(box.Kept("/tmp/scenario.out"));
    r.Log = sandbox_test::ReadFile(box.Kept("/tmp/setup.log"));
    r.Notes = sandbox_test::ReadFile(box.Kept("/tmp/scenario.notes"));
    return r;
}

const char *const INIT = "initializing system\n";

}  // namespace

// The scenario itself: runs only when started by the tests below.
TEST(InIsolatedRoot, Scenario) {
    const char *name = std::getenv("SYSCMD_SCENARIO");
    if (!name)
        GTEST_SKIP() << "started by the isolated-root tests";
    auto it = Scenarios().find(name);
    ASSERT_NE(Scenarios().end(), it) << name;
    std::fflush(stdout);
    FILE *out = std::freopen("/tmp/scenario.out", "w", stdout);
    ASSERT_NE(nullptr, out);
    static std::string program = "setup";
    my_name = program.data();
    flUseLog = 1;
    pSleepHook = SkipSleep;
    InitSysCmdList();
    int status = it->second();
    std::fflush(stdout);
    std::exit(status);
}

class Isolated : public testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0)
            GTEST_SKIP() << "the isolated root needs root";
        if (!fs::exists(sandbox_test::Runner()))
            GTEST_SKIP() << "no isolated root runner";
        ASSERT_TRUE(box.Ok());
    }
    sandbox_test::Sandbox box;
};

TEST_F(Isolated, AFatalFailureExitsOneWithTheErrorLine) {
    ScenarioRun r = RunScenario(box, "fatal");
    EXPECT_EQ(1, r.Runner.status) << r.Runner.out;
    EXPECT_EQ(".\nERROR: exit status 1: cp failed on /nonexistent/pkg_tar.z1 /opt; see /tmp/setup.log\n", r.Out);
    std::string line = "/usr/bin/sh -c \"/usr/bin/cp -p /nonexistent/pkg_tar.z1 /opt\n";
    EXPECT_EQ(0u, r.Log.find(INIT + line)) << r.Log;
    ASSERT_GT(r.Log.size(), std::strlen(INIT) + line.size());
    std::string between = r.Log.substr(std::strlen(INIT) + line.size());
    EXPECT_NE(std::string::npos, between.find("pkg_tar.z1")) << "cp's own complaint goes to the log";
    EXPECT_TRUE(between.ends_with("\nERROR: exit status 1\n")) << r.Log;
}

TEST_F(Isolated, AWarningIsLoggedAndTheRunGoesOn) {
    ScenarioRun r = RunScenario(box, "warn");
    EXPECT_EQ(0, r.Runner.status) << r.Runner.out;
    EXPECT_EQ("..", r.Out);
    EXPECT_EQ("first=1 second=0\n", r.Notes);
    EXPECT_TRUE(sandbox_test::Exists(box.Kept("/opt/after")));
    EXPECT_FALSE(sandbox_test::Exists("/opt/after"));
    EXPECT_NE(std::string::npos, r.Log.find("WARNING_MSG: exit status 1\n"
                                            "/usr/bin/sh -c \"/usr/bin/touch  /opt/after\n"))
        << r.Log;
    EXPECT_TRUE(r.Log.starts_with(std::string(INIT) + "/usr/bin/sh -c \"/usr/bin/mkdir -p /opt/file/sub\n"));
}

TEST_F(Isolated, QuietModeIsSilentAndGivesTheStatus) {
    ScenarioRun r = RunScenario(box, "quiet");
    EXPECT_EQ(1, r.Runner.status) << r.Runner.out;
    EXPECT_EQ("", r.Out);
    EXPECT_EQ(INIT, r.Log);
}

TEST_F(Isolated, EmptyingTheDisketteIsUnloggedAndPrintsNoDot) {
    std::string disk = box.Scratch("disk1");
    sandbox_test::WriteFile(disk + "/setup", "old");
    sandbox_test::WriteFile(disk + "/pkg_tar.z1", "old");
    ScenarioRun r = RunScenario(box, "floppy", {"--diskette", disk});
    EXPECT_EQ(0, r.Runner.status) << r.Runner.out;
    // the drive also shows upper-case links of the names
    EXPECT_TRUE(r.Notes.starts_with("before=")) << r.Notes;
    EXPECT_NE("before=0 after=0 result=0\n", r.Notes);
    EXPECT_TRUE(r.Notes.ends_with(" after=0 result=0\n")) << r.Notes;
    EXPECT_EQ("", r.Out);
    EXPECT_EQ(INIT, r.Log);
}

TEST_F(Isolated, EjectAnswersWhetherADisketteIsIn) {
    std::string disk = box.Scratch("disk1");
    sandbox_test::WriteFile(disk + "/setup", "x");
    ScenarioRun r = RunScenario(box, "eject", {"--diskette", disk});
    EXPECT_EQ(0, r.Runner.status) << r.Runner.out;
    EXPECT_EQ("present=0 ejected=0 empty=1\n", r.Notes);
}

TEST_F(Isolated, FileOperationsChangeTheIsolatedRootAndLogTheirCommands) {
    ScenarioRun r = RunScenario(box, "files");
    EXPECT_EQ(0, r.Runner.status) << r.Runner.out;
    EXPECT_EQ("........", r.Out);  // one dot per logged command
    EXPECT_EQ(std::string(INIT) +
                  "/usr/bin/sh -c \"/usr/bin/mkdir -p /opt/Talvo/dorv\n"
                  "/usr/bin/sh -c \"/usr/bin/touch  /opt/Talvo/dorv/.kv_cfg\n"
                  "/usr/bin/sh -c \"/usr/bin/chmod  666 /opt/Talvo/dorv/.kv_cfg\n"
                  "/usr/bin/sh -c \"/usr/bin/chown  root /opt/Talvo/dorv/.kv_cfg\n"
                  "/usr/bin/sh -c \"/usr/bin/chgrp  root /opt/Talvo/dorv/.kv_cfg\n"
                  "/usr/bin/sh -c \"/usr/bin/mkdir -p /var/spool/Talvo\n"
                  "/usr/bin/sh -c \"/usr/bin/chmod  777 /var/spool/Talvo\n"
                  "/usr/bin/sh -c \"/usr/bin/rm -rf /opt/Talvo/old\n",
              r.Log);
    struct stat st;
    ASSERT_EQ(0, stat(box.Kept("/opt/Talvo/dorv/.kv_cfg2").c_str(), &st));
    EXPECT_EQ(0666u, st.st_mode & 0777);
    EXPECT_FALSE(sandbox_test::Exists(box.Kept("/opt/Talvo/dorv/.kv_cfg")));
    ASSERT_EQ(0, stat(box.Kept("/var/spool/Talvo").c_str(), &st));
    EXPECT_EQ(0777u, st.st_mode & 0777);
    EXPECT_FALSE(sandbox_test::Exists(box.Kept("/opt/Talvo/old")));
    EXPECT_FALSE(sandbox_test::Exists("/var/spool/Talvo"));
}

TEST_F(Isolated, PackagesAreRegisteredListedAndRemoved) {
    ScenarioRun r = RunScenario(box, "packages");
    EXPECT_EQ(0, r.Runner.status) << r.Runner.out;
    EXPECT_EQ("after_add=[ MRGWdorv ]\nother=none\nafter_rm=none\n", r.Notes);
    EXPECT_EQ(INIT, r.Log);
}

TEST_F(Isolated, AReBootRequestOfPkgaddIsSuccess) {
    ScenarioRun r = RunScenario(box, "packages", {"--env", "PLATFORM_PKGADD_STATUS=10"});
    EXPECT_EQ(0, r.Runner.status) << r.Runner.out;
    EXPECT_EQ("after_add=[ MRGWdorv ]\nother=none\nafter_rm=none\n", r.Notes);
}

TEST_F(Isolated, AFailingPkgaddStopsTheRun) {
    ScenarioRun r = RunScenario(box, "packages", {"--env", "PLATFORM_PKGADD_STATUS=3"});
    EXPECT_EQ(1, r.Runner.status) << r.Runner.out;
    EXPECT_EQ("\nERROR: exit status 3: pkgadd failed on /tmp/work; see /tmp/setup.log\n", r.Out);
    EXPECT_EQ(std::string(INIT) + "ERROR: exit status 3\n", r.Log);
    EXPECT_EQ("", r.Notes);
}

TEST_F(Isolated, AnUnlocatedProgramEndsTheRunWithStatusOne) {
    ScenarioRun r = RunScenario(box, "unlocated");
    EXPECT_EQ(1, r.Runner.status) << r.Runner.out;
    EXPECT_NE(std::string::npos, r.Runner.out.find("ERROR: unable to locate system command 'piomkpq'\n"));
    EXPECT_EQ("", r.Out);
    EXPECT_EQ(INIT, r.Log);
}

TEST_F(Isolated, SpoolersAreSniffedFromTheProgramsPresent) {
    EXPECT_EQ("user=root lprng=0 cups=0\n", RunScenario(box, "environment").Notes);
    sandbox_test::Sandbox lprng, bsd, cups;
    EXPECT_EQ("user=root lprng=1 cups=0\n", RunScenario(lprng, "environment", {"--with", "lpd"}).Notes);
    EXPECT_EQ("user=root lprng=0 cups=0\n", RunScenario(bsd, "environment", {"--with", "lpd.bsd"}).Notes);
    EXPECT_EQ("user=root lprng=0 cups=1\n", RunScenario(cups, "environment", {"--with", "cupsd"}).Notes);
}
