// Tests of command output read back and its parsers.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "SysCmdTestEnv.h"

namespace fs = std::filesystem;

namespace {

struct Lines {
    CmdResponse *p;
    explicit Lines(CmdResponse *q) : p(q) {}
    ~Lines() { FreeResponseList(p); }
    std::vector<std::string> Texts() const {
        std::vector<std::string> v;
        for (CmdResponse *r = p; r; r = r->pNext)
            v.push_back(r->pText);
        return v;
    }
};

const char *const LINUX_PS =
    "    PID TTY          TIME CMD\n"
    "      1 ?        00:00:03 systemd\n"
    "    812 ?        00:00:00 KelvraD\n"
    "    813 ?        00:00:00 KelvraDStop\n"
    "    900 pts/0    00:00:00 KelvraD\n"
    "    951 ?        00:00:00 KelvraDaemonLon\n";

const char *const SOLARIS_PS =
    "   PID TTY      TIME CMD\n"
    "     0 ?        0:01 sched\n"
    "   412 ?        0:00 lpsched\n"
    "   977 pts/2    0:00 KelvraD\n";

}  // namespace

// ---- Reading output -------------------------------------------------------------

TEST(GetCmdResponse, KeepsTheLinesHoldingTheFilterInOrder) {
    SysCmdEnv env(false);
    Lines all(GetCmdResponse(0, nullptr, "%s", "printf 'a\\nb x\\nc'"));
    EXPECT_EQ((std::vector<std::string>{"a\n", "b x\n", "c"}), all.Texts());
    Lines some(GetCmdResponse(0, "b", "%s", "printf 'a\\nb x\\nc b\\n'"));
    EXPECT_EQ((std::vector<std::string>{"b x\n", "c b\n"}), some.Texts());
    Lines empty(GetCmdResponse(0, "", "%s", "printf 'only\\n'"));
    EXPECT_EQ(std::vector<std::string>{"only\n"}, empty.Texts());
}

TEST(GetCmdResponse, IsNullWhenNothingWasKept) {
    SysCmdEnv env(false);
    EXPECT_EQ(nullptr, GetCmdResponse(0, nullptr, "%s", "true"));
    EXPECT_EQ(nullptr, GetCmdResponse(0, "zzz", "%s", "echo abc"));
    FreeResponseList(nullptr);
}

TEST(GetCmdResponse, TableRowsRunTheirProgramWithFlags) {
    SysCmdEnv env;
    pPipeHook = FakePipe;
    Lines l(GetCmdResponse(CMD_UNAME, nullptr, "%s", " -r"));
    EXPECT_EQ("/usr/bin/uname   -r", TheSeen().Pipes.at(0));
    Lines real(nullptr);
    pPipeHook = nullptr;
    real.p = GetCmdResponse(CMD_ECHO, nullptr, "%s", "hello world");
    EXPECT_EQ(std::vector<std::string>{"hello world\n"}, real.Texts());
}

TEST(GetCmdResponse, LongLinesAreReadInBoundedPieces) {
    SysCmdEnv env;
    pPipeHook = FakePipe;
    TheSeen().Outputs = {std::string(5000, 'x') + "\n"};
    Lines l(GetCmdResponse(0, nullptr, "%s", "long"));
    auto texts = l.Texts();
    ASSERT_EQ(2u, texts.size());
    EXPECT_EQ(4095u, texts[0].size());
    EXPECT_EQ(std::string(905, 'x') + "\n", texts[1]);
}

TEST(GetCmdResponse, AMissingProgramStopsTheRun) {
    SysCmdEnv env;
    ComList[CMD_PKGINFO].pPath = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(1, ExitStatusOf([] { GetCmdResponse(CMD_PKGINFO, nullptr, "%s", ""); }));
    EXPECT_EQ("ERROR: unable to locate system command 'pkginfo'\n", testing::internal::GetCapturedStderr());
}

namespace {

std::vector<std::pair<int, std::string>> gReads;

// Answers uname and whoami; every other row is left to the program.
FILE *AnswerReads(int row, const char *text) {
    gReads.emplace_back(row, text);
    const char *output = row == CMD_UNAME ? "5.8 extra\n" : row == CMD_WHOAMI ? "alice\n" : nullptr;
    if (!output)
        return nullptr;
    FILE *f = std::tmpfile();
    std::fputs(output, f);
    std::rewind(f);
    return f;
}

}  // namespace

TEST(ResponseHook, AnswersReadsOfARowWhoseProgramNeverStarts) {
    SysCmdEnv env;
    pPipeHook = FakePipe;
    pResponseHook = AnswerReads;
    gReads.clear();
    ComList[CMD_UNAME].pPath = nullptr;  // an answered row needs no program
    Lines release(GetCmdResponse(CMD_UNAME, nullptr, "%s", " -r"));
    EXPECT_EQ(std::vector<std::string>{"5.8 extra\n"}, release.Texts());
    Owned user(GetUserName());
    EXPECT_STREQ("alice", user.get());
    Owned ps(GetCmdResponseStr(CMD_PS, nullptr, "%s", ""));
    EXPECT_EQ((std::vector<std::pair<int, std::string>>{{CMD_UNAME, " -r"}, {CMD_WHOAMI, ""}, {CMD_PS, ""}}),
              gReads);
    EXPECT_EQ(std::vector<std::string>{"/usr/bin/ps -e "}, TheSeen().Pipes);
}

TEST(GetCmdResponseStr, JoinsTheKeptLinesEachWithALineEnd) {
    SysCmdEnv env(false);
    Owned text(GetCmdResponseStr(0, "b", "%s", "printf 'a\\nb1\\nc\\nb2'"));
    EXPECT_STREQ("b1\nb2\n", text.get());
    EXPECT_EQ(nullptr, GetCmdResponseStr(0, "zzz", "%s", "echo abc"));
}

// ---- Process ids ---------------------------------------------------------------

TEST(GetSysPsIdList, MatchesTheCommandColumnExactly) {
    CmdResponse *lines = MakeResponseList(LINUX_PS, "KelvraD");
    Owned ids(ParsePsIdList(lines, "KelvraD"));
    EXPECT_STREQ(" 812 900 ", ids.get());
    FreeResponseList(lines);
}

TEST(GetSysPsIdList, ACommandColumnCutShortIsNotMatched) {
    SysCmdEnv env;
    pPipeHook = FakePipe;
    TheSeen().Outputs = {LINUX_PS};
    EXPECT_EQ(nullptr, GetSysPsIdList("KelvraDaemonLong"));
    CmdResponse *all = MakeResponseList(LINUX_PS, nullptr);
    EXPECT_EQ(nullptr, ParsePsIdList(all, "KelvraDaemonLong"));
    FreeResponseList(all);
}

TEST(GetSysPsIdList, RunsPsAndReadsSolarisColumnsToo) {
    SysCmdEnv env;
    pPipeHook = FakePipe;
    TheSeen().Outputs = {SOLARIS_PS, SOLARIS_PS};
    Owned ids(GetSysPsIdList("KelvraD"));
    EXPECT_STREQ(" 977 ", ids.get());
    EXPECT_EQ("/usr/bin/ps -e ", TheSeen().Pipes.at(0));
    EXPECT_EQ(nullptr, GetSysPsIdList("Kvdm"));
}

TEST(GetSysPsIdList, FindsARealProcess) {
    SysCmdEnv env;
    Owned self(GetSysPsIdList(ComList[CMD_PS].pName));  // the ps that lists
    EXPECT_NE(nullptr, self.get());
}

TEST(CheckProcTableForExecs, DescribesOnlyTheRunningNames) {
    SysCmdEnv env;
    pPipeHook = FakePipe;
    const char *ps = "  PID TTY          TIME CMD\n   42 ?        00:00:00 b\n";
    TheSeen().Outputs = {ps, ps};
    Owned text(CheckProcTableForExecs("a,b"));
    EXPECT_STREQ("b ( 42 )\n", text.get());
    TheSeen().Outputs = {ps, ps};
    EXPECT_EQ(nullptr, CheckProcTableForExecs("x,,y"));
    EXPECT_EQ(2u + 2u, TheSeen().Pipes.size());
}

TEST(CheckProcTableForExecs, GrowsPastAThousandCharacters) {
    SysCmdEnv env;
    pPipeHook = FakePipe;
    std::string names, ps = "  PID TTY TIME CMD\n";
    for (int i = 0; i < 60; ++i) {
        std::string name = "daemon_with_a_long_name_" + std::to_string(i);
        names += (i ? "," : "") + name;
        ps += "  " + std::to_string(1000 + i) + " ?   00:00:00 " + name + "\n";
    }
    TheSeen().Outputs.assign(60, ps);
    Owned text(CheckProcTableForExecs(names.c_str()));
    ASSERT_NE(nullptr, text.get());
    std::string t = text.get();
    EXPECT_GT(t.size(), 1024u);
    EXPECT_NE(std::string::npos, t.find("daemon_with_a_long_name_59 ( 1059 )\n"));
}

// ---- Killing -------------------------------------------------------------------

namespace {

int RecordKill(int pid, int sig) {
    TheSeen().Kills.emplace_back(pid, sig);
    return 0;
}
int DenyKill(int pid, int sig) {
    TheSeen().Kills.emplace_back(pid, sig);
    errno = EPERM;
    return -1;
}

}  // namespace

TEST(KillProcessByName, SignalsOnlyPlainIdsAboveOneAndNeverItself) {
    SysCmdEnv env;
    pPipeHook = FakePipe;
    pKillHook = RecordKill;
    std::string self = std::to_string(getpid());
    TheSeen().Outputs = {"    0 ?  00:00:00 KelvraD\n"
                         "    1 ?  00:00:00 KelvraD\n"
                         "   -1 ?  00:00:00 KelvraD\n"
                         "  12x ?  00:00:00 KelvraD\n"
                         "  007 ?  00:00:00 KelvraD\n" +
                         std::string("  ") + self + " ?  00:00:00 KelvraD\n" +
                         "99999999999999999999 ? 00:00:00 KelvraD\n"
                         " 4242 ?  00:00:00 KelvraD\n"
                         " 4243 ?  00:00:00 KelvraD\n"};
    EXPECT_EQ(0, KillProcessByName("KelvraD"));
    EXPECT_EQ((std::vector<std::pair<int, int>>{{7, SIGKILL}, {4242, SIGKILL}, {4243, SIGKILL}}), TheSeen().Kills);
    EXPECT_EQ(std::vector<unsigned>{1}, TheSeen().Sleeps);
}

TEST(KillProcessByName, StopsWhenNotAllowedAndStillPauses) {
    SysCmdEnv env;
    pPipeHook = FakePipe;
    pKillHook = DenyKill;
    TheSeen().Outputs = {" 4242 ? 00:00:00 KelvraD\n 4243 ? 00:00:00 KelvraD\n", ""};
    EXPECT_EQ(0, KillProcessByName("KelvraD"));
    EXPECT_EQ(1u, TheSeen().Kills.size());
    EXPECT_EQ(0, KillProcessByName("KelvraD"));
    EXPECT_EQ(1u, TheSeen().Kills.size());
    EXPECT_EQ((std::vector<unsigned>{1, 1}), TheSeen().Sleeps);
}

TEST(KillProcessByName, KillsARealProcessOfThatName) {
    SysCmdEnv env;
    std::string name = "kpt" + std::to_string(getpid() % 1000000);
    std::string prog = env.Dir + "/" + name;
    fs::copy_file("/usr/bin/sleep", prog);
    fs::permissions(prog, fs::perms::owner_all);
    pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        execl(prog.c_str(), name.c_str(), "30", static_cast<char *>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 50; ++i) {  // until ps shows it
        Owned ids(GetSysPsIdList(name.c_str()));
        if (ids.get())
            break;
        usleep(20000);
    }
    EXPECT_EQ(0, KillProcessByName(name.c_str()));
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(SIGKILL, WTERMSIG(status));
}

// ---- Disk space ------------------------------------------------------------------

TEST(GetDiskSpace, FindsTheAvailableColumnOfLinuxDf) {
    CmdResponse *lines = MakeResponseList(
        "Filesystem     1K-blocks     Used Available Use% Mounted on\n"
        "/dev/sda1       1000000   400000    600000  40% /\n",
        nullptr);
    DiskSpace ds;
    EXPECT_EQ(1, ParseDiskSpace(lines, &ds));
    EXPECT_DOUBLE_EQ(600000.0, ds.Avail);
    EXPECT_STREQ("/dev/sda1       1000000   400000    600000  40% /\n", ds.Line);
    FreeResponseList(lines);
}

TEST(GetDiskSpace, MatchesAvailInAnyCase) {
    CmdResponse *lines = MakeResponseList(
        "Filesystem            kbytes    used   avail capacity  Mounted on\n"
        "/dev/dsk/c0t0d0s0    1984564  839024 1086004    44%    /\n",
        nullptr);
    DiskSpace ds;
    EXPECT_EQ(1, ParseDiskSpace(lines, &ds));
    EXPECT_DOUBLE_EQ(1086004.0, ds.Avail);
    FreeResponseList(lines);
}

TEST(GetDiskSpace, AWrappedDataLineGivesNoValue) {
    CmdResponse *lines = MakeResponseList(
        "Filesystem     1K-blocks     Used Available Use% Mounted on\n"
        "/dev/mapper/vg_system-lv_a_very_long_name\n"
        "                1000000   400000    600000  40% /\n",
        nullptr);
    DiskSpace ds;
    EXPECT_EQ(0, ParseDiskSpace(lines, &ds));
    EXPECT_DOUBLE_EQ(0.0, ds.Avail);
    FreeResponseList(lines);
}

TEST(GetDiskSpace, HeaderAloneOrOtherLayoutsGiveNoValue) {
    DiskSpace ds;
    CmdResponse *header = MakeResponseList("Filesystem 1K-blocks Used Available Use% Mounted on\n", nullptr);
    EXPECT_EQ(0, ParseDiskSpace(header, &ds));
    FreeResponseList(header);
    CmdResponse *other = MakeResponseList("/        (/dev/dsk/c0t0d0s0 ): 1234 blocks   567 files\n", nullptr);
    EXPECT_EQ(0, ParseDiskSpace(other, &ds));
    FreeResponseList(other);
    EXPECT_EQ(0, ParseDiskSpace(nullptr, &ds));
}

TEST(GetDiskSpace, KeepsAtMost511CharactersOfTheDataLine) {
    std::string data = "/dev/x 1 2 777 " + std::string(1000, 'y') + "\n";
    CmdResponse *lines = MakeResponseList(("Filesystem 1K Used Avail\n" + data).c_str(), nullptr);
    DiskSpace ds;
    EXPECT_EQ(1, ParseDiskSpace(lines, &ds));
    EXPECT_EQ(511u, std::strlen(ds.Line));
    EXPECT_DOUBLE_EQ(777.0, ds.Avail);
    FreeResponseList(lines);
}

TEST(GetDiskSpace, RunsDfOnTheQuotedPath) {
    SysCmdEnv env;
    pPipeHook = FakePipe;
    DiskSpace ds;
    EXPECT_EQ(0, GetDiskSpace("/opt", &ds));
    EXPECT_EQ(0, GetDiskSpace("/my dir", &ds));
    EXPECT_EQ((std::vector<std::string>{"/usr/bin/df  /opt", "/usr/bin/df  '/my dir'"}), TheSeen().Pipes);
}

TEST(GetDiskSpace, ReadsTheRealDf) {
    SysCmdEnv env;
    DiskSpace ds;
    EXPECT_EQ(1, GetDiskSpace(env.Dir.c_str(), &ds));
    EXPECT_GT(ds.Avail, 0.0);
}

TEST(DUPath, IsTheFirstNumberOfDu) {
    SysCmdEnv env;
    pPipeHook = FakePipe;
    TheSeen().Outputs = {"1234\t/opt/Talvo\n", ""};
    EXPECT_DOUBLE_EQ(1234.0, DUPath("/opt/Talvo"));
    EXPECT_DOUBLE_EQ(0.0, DUPath("/opt/Talvo"));
    EXPECT_EQ("/usr/bin/du -s /opt/Talvo", TheSeen().Pipes.at(0));
}

TEST(DUPath, MeasuresARealDirectory) {
    SysCmdEnv env;
    std::ofstream(env.Dir + "/data") << std::string(256 * 1024, 'z');
    EXPECT_GE(DUPath(env.Dir.c_str()), 250.0);
}

TEST(AvailSpace, CountsAnExistingFileAsAvailable) {
    SysCmdEnv env;
    std::ofstream(env.Dir + "/old.tar") << "x";
    pPipeHook = FakePipe;
    const char *df = "Filesystem 1K-blocks Used Available Use% Mounted on\n/dev/sda1 100 90 10 90% /\n";
    TheSeen().Outputs = {"50\tx\n", df, "50\tx\n", df};
    EXPECT_EQ(1, AvailSpace(env.Dir.c_str(), "old.tar", 60));
    EXPECT_EQ(0, AvailSpace(env.Dir.c_str(), "old.tar", 61));
    EXPECT_EQ("/usr/bin/du -s " + env.Dir + "/old.tar", TheSeen().Pipes.at(0));
}

TEST(AvailSpace, MeasuresAMissingDirectoryAtItsParent) {
    SysCmdEnv env;
    pPipeHook = FakePipe;
    const char *df = "Filesystem 1K-blocks Used Available Use% Mounted on\n/dev/sda1 100 90 10 90% /\n";
    TheSeen().Outputs = {"df: no such file\n", df};
    EXPECT_EQ(1, AvailSpace("/opt/new", "absent", 10));
    EXPECT_EQ((std::vector<std::string>{"/usr/bin/df  /opt/new", "/usr/bin/df  /opt"}), TheSeen().Pipes);
    TheSeen().Pipes.clear();
    EXPECT_EQ(0, AvailSpace("/", nullptr, 10));  // no df answer at the root: nothing to climb to
    EXPECT_EQ(std::vector<std::string>{"/usr/bin/df  /"}, TheSeen().Pipes);
}

// ---- Packages --------------------------------------------------------------------

TEST(GetSysPkgList, ListsTheInstancesOfTheMatchingPackages) {
    SysCmdEnv env;
    pPipeHook = FakePipe;
    const char *pkginfo =
        "application MRGWdorv       Morrowgate printer drivers\n"
        "system      SUNWcsu        Core Solaris, (Usr)\n"
        "application MRGWdorv.2     Morrowgate printer drivers\n";
    TheSeen().Outputs = {pkginfo, pkginfo};
    Owned list(GetSysPkgList("MRGWdorv"));
    EXPECT_STREQ(" MRGWdorv MRGWdorv.2 ", list.get());
    EXPECT_EQ("/usr/bin/pkginfo  ", TheSeen().Pipes.at(0));
    EXPECT_EQ(nullptr, GetSysPkgList("KVQXnone"));
}

TEST(ParsePkgList, SkipsLinesWithoutASecondWord) {
    CmdResponse *lines = MakeResponseList("lonely\napplication MRGWdorv x\n", nullptr);
    Owned list(ParsePkgList(lines));
    EXPECT_STREQ(" MRGWdorv ", list.get());
    FreeResponseList(lines);
}
