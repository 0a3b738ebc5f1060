// The isolated root: writes land in the state directory and never on the host, the
// process table is the sandbox's own, and standard input, environment, working
// directory and terminal are the caller's choice.
#include "SandboxRun.h"

#include <dirent.h>

#include <chrono>

using namespace sandbox_test;

namespace {

// A name no host path has, so that its absence on the host proves something.
std::string UniqueName(const Sandbox &box) {
    return "sbxtest" + box.Scratch("").substr(std::string("/tmp/sandbox-test.").size(), 6);
}

bool HostProcessRuns(const std::string &needle) {
    DIR *d = opendir("/proc");
    if (!d)
        return false;
    bool found = false;
    while (dirent *e = readdir(d)) {
        std::string cmdline = ReadFile(std::string("/proc/") + e->d_name + "/cmdline");
        for (char &c : cmdline)
            if (c == '\0')
                c = ' ';
        if (cmdline.find(needle) != std::string::npos)
            found = true;
    }
    closedir(d);
    return found;
}

}  // namespace

TEST(IsolatedRoot, SystemDirectoriesAreWritableInsideAndUntouchedOutside) {
    SKIP_UNLESS_ROOT();
    Sandbox box;
    ASSERT_TRUE(box.Ok());
    const std::string n = UniqueName(box);
    const std::string passwd = ReadFile("/etc/passwd");
    Result r = box.Sh("set -e; N=" + n +
                      "; echo opt > /opt/$N; echo bin > /usr/bin/$N; echo etc > /etc/$N;"
                      " echo tmp > /tmp/$N; mkdir -p /var/spool/$N /var/sadm/pkg/$N /floppy/$N;"
                      " echo extra >> /etc/passwd; cat /opt/$N /usr/bin/$N /etc/$N /tmp/$N");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "opt\nbin\netc\ntmp\n");

    for (const char *dir : {"/opt/", "/usr/bin/", "/etc/", "/tmp/", "/var/spool/", "/var/sadm/pkg/", "/floppy/"}) {
        EXPECT_FALSE(Exists(dir + n)) << dir << n << " was made on the host";
        EXPECT_TRUE(Exists(box.Kept(dir + n))) << dir << n << " is not in the state directory";
    }
    EXPECT_EQ(ReadFile(box.Kept("/usr/bin/" + n)), "bin\n");
    EXPECT_EQ(ReadFile("/etc/passwd"), passwd);
    EXPECT_EQ(ReadFile(box.Kept("/etc/passwd")), passwd + "extra\n");
}

TEST(IsolatedRoot, StateCarriesOverToTheNextRunIncludingDeletions) {
    SKIP_UNLESS_ROOT();
    Sandbox box;
    ASSERT_TRUE(box.Ok());
    ASSERT_TRUE(Exists("/etc/os-release"));
    const std::string osRelease = ReadFile("/etc/os-release");
    Result first = box.Sh("echo kept > /opt/first && rm /etc/os-release");
    ASSERT_EQ(first.status, 0) << first.out;
    EXPECT_EQ(ReadFile("/etc/os-release"), osRelease);

    Result second = box.Sh("cat /opt/first; test -e /etc/os-release && echo present || echo gone");
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(second.out, "kept\ngone\n");
}

TEST(IsolatedRoot, ChangesKeptInMemoryAreCopiedToTheStateDirectory) {
    SKIP_UNLESS_ROOT();
    Sandbox box;
    ASSERT_TRUE(box.Ok());
    Result first = box.Sh("echo mem > /opt/inmemory && rm /etc/os-release", {"--tmpfs-upper"});
    ASSERT_EQ(first.status, 0) << first.out;
    EXPECT_EQ(ReadFile(box.Kept("/opt/inmemory")), "mem\n");
    EXPECT_FALSE(Exists("/opt/inmemory"));
    EXPECT_TRUE(Exists("/etc/os-release"));

    Result second = box.Sh("cat /opt/inmemory; test -e /etc/os-release || echo gone");
    EXPECT_EQ(second.out, "mem\ngone\n");
}

TEST(IsolatedRoot, PsListsOnlyTheSandboxProcesses) {
    SKIP_UNLESS_ROOT();
    Sandbox box;
    ASSERT_TRUE(box.Ok());
    Result r = box.Sh("ps -e");
    ASSERT_EQ(r.status, 0) << r.out;
    std::istringstream lines(r.out);
    std::string line, pid, tty, time, cmd;
    std::getline(lines, line);
    EXPECT_NE(line.find("PID"), std::string::npos);
    std::vector<std::string> cmds;
    std::vector<std::string> pids;
    while (lines >> pid >> tty >> time >> cmd) {
        pids.push_back(pid);
        cmds.push_back(cmd);
    }
    ASSERT_FALSE(pids.empty());
    EXPECT_EQ(pids.front(), "1");
    EXPECT_EQ(cmds.front(), "run-isolated");
    EXPECT_EQ(cmds.back(), "ps");
    EXPECT_LE(cmds.size(), 4u) << r.out;  // the runner, the shell, ps
}

TEST(IsolatedRoot, EveryProcessEndsWithTheRun) {
    SKIP_UNLESS_ROOT();
    Sandbox box;
    ASSERT_TRUE(box.Ok());
    auto start = std::chrono::steady_clock::now();
    Result r = box.Sh("sleep 297 & echo started");
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.out, "started\n");
    EXPECT_LT(elapsed, std::chrono::seconds(20));
    EXPECT_FALSE(HostProcessRuns("sleep 297"));
}

TEST(IsolatedRoot, InputEnvironmentAndWorkingDirectoryAreTheCallers) {
    SKIP_UNLESS_ROOT();
    Sandbox box;
    ASSERT_TRUE(box.Ok());
    setenv("SANDBOX_TEST_LEAK", "leaked", 1);
    Result r = box.Sh("read line; echo \"[$line] $LANG ${SANDBOX_TEST_LEAK:-clean} $(pwd) $(whoami)\"; exit 7",
                      {"--env", "LANG=de", "--cwd", "/etc"}, "typed text\n");
    unsetenv("SANDBOX_TEST_LEAK");
    EXPECT_EQ(r.status, 7);
    EXPECT_EQ(r.out, "[typed text] de clean /etc root\n");
}

TEST(IsolatedRoot, TerminalIsAPseudoTerminalOnlyWhenAsked) {
    SKIP_UNLESS_ROOT();
    Sandbox box;
    ASSERT_TRUE(box.Ok());
    Result plain = box.Sh("test -t 0 && echo tty || echo notty");
    EXPECT_EQ(plain.out, "notty\n");

    Result pty = box.Sh("read a; test -t 0 && test -t 1 && echo \"tty $a\"; exit 5", {"--pty"}, "key\n");
    EXPECT_EQ(pty.status, 5);
    EXPECT_NE(pty.out.find("tty key"), std::string::npos) << pty.out;
}

TEST(IsolatedRoot, HostDirectoriesCanBeBound) {
    SKIP_UNLESS_ROOT();
    Sandbox box;
    ASSERT_TRUE(box.Ok());
    WriteFile(box.Scratch("media/disks"), "list\n");
    Result r = box.Sh("cat /media/site/disks; echo x > /media/site/new || echo refused",
                      {"--ro-bind", box.Scratch("media") + ":/media/site"});
    EXPECT_EQ(r.out.substr(0, 5), "list\n");
    EXPECT_NE(r.out.find("refused"), std::string::npos);
    EXPECT_FALSE(Exists(box.Scratch("media/new")));
}

TEST(IsolatedRoot, TimeoutAndRunnerErrorsHaveTheirOwnStatus) {
    SKIP_UNLESS_ROOT();
    Sandbox box;
    ASSERT_TRUE(box.Ok());
    EXPECT_EQ(box.Sh("sleep 30", {"--timeout", "1"}).status, 124);
    EXPECT_EQ(box.Sh("true", {"--cwd", "relative"}).status, 125);
    EXPECT_EQ(box.Run({"--", "no-such-program"}).status, 127);
}
