// SysCmdTestEnv.h - scoped state for the syscmd tests: a private log directory,
// captured command lines and pipes, recorded pauses, exits turned into exceptions.
#pragma once
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "Errors.h"
#include "Env.h"
#include "Log.h"
#include "MemMgr.h"
#include "Sleep.h"
#include "SysCmd.h"
#include "SysQuery.h"

struct ExitCalled {
    int status;
};

// What the seams saw; reset by each SysCmdEnv.
struct Seen {
    std::vector<std::string> Lines;   // command lines given to system()
    std::vector<std::string> Pipes;   // command lines given to popen()
    std::vector<unsigned> Sleeps;     // pauses
    std::vector<int> Statuses;        // wait statuses the fake system() returns, in order
    std::vector<std::string> Outputs; // outputs the fake popen() returns, in order
    std::vector<std::pair<int, int>> Kills;
};
inline Seen &TheSeen() {
    static Seen seen;
    return seen;
}

inline int FakeSystem(const char *line) {
    Seen &s = TheSeen();
    s.Lines.push_back(line);
    if (s.Statuses.empty())
        return 0;
    int status = s.Statuses.front();
    s.Statuses.erase(s.Statuses.begin());
    return status;
}

inline FILE *FakePipe(const char *line) {
    Seen &s = TheSeen();
    s.Pipes.push_back(line);
    FILE *f = std::tmpfile();
    if (!f)
        return nullptr;
    if (!s.Outputs.empty()) {
        std::fputs(s.Outputs.front().c_str(), f);
        s.Outputs.erase(s.Outputs.begin());
    }
    std::rewind(f);
    return f;
}

inline void RecordSleep(unsigned seconds) {
    TheSeen().Sleeps.push_back(seconds);
}

[[noreturn]] inline void ThrowExit(int status) {
    throw ExitCalled{status};
}

inline std::string ReadFileText(const std::string &path) {
    std::string text;
    FILE *f = std::fopen(path.c_str(), "r");
    if (!f)
        return "<missing>";
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    std::fclose(f);
    return text;
}

// Every global the syscmd module reads, saved on entry and restored on exit. The
// table is given fixed directories (sh and the programs in /usr/bin) unless a
// test asks for the real lookup; the log goes to a private directory.
class SysCmdEnv {
public:
    explicit SysCmdEnv(bool fakeSystem = true) {
        saved_ = {flUseLog, flSysCmdLog, flInitSysCmd, flLogFirst};
        savedWarnings_ = SysCmdWarnings;
        SysCmdWarnings = 0;
        savedLogPath_ = pLogPath;
        savedName_ = my_name;
        for (int i = 0; i < CMD_ROWS; ++i) {
            savedPaths_[i] = ComList[i].pPath;
            savedWaits_[i] = ComList[i].Wait;
        }
        char tmpl[] = "/tmp/syscmdtest.XXXXXX";
        char *dir = mkdtemp(tmpl);
        EXPECT_NE(nullptr, dir);
        Dir = dir ? dir : "/nonexistent";
        pLogPath = Dir.c_str();
        Name = "setuptest_" + std::to_string(getpid());
        my_name = Name.data();
        flUseLog = 1;
        flLogFirst = 1;
        flSysCmdLog = 1;
        flInitSysCmd = 0;
        for (int i = 2; i < CMD_END; ++i)
            ComList[i].pPath = "/usr/bin";
        TheSeen() = Seen();
        pSystemHook = fakeSystem ? FakeSystem : nullptr;
        pPipeHook = nullptr;
        pSleepHook = RecordSleep;
        pExitHook = ThrowExit;
        pKillHook = nullptr;
        pSysCmdHook = nullptr;
        pResponseHook = nullptr;
    }
    ~SysCmdEnv() {
        pSystemHook = nullptr;
        pPipeHook = nullptr;
        pSleepHook = nullptr;
        pExitHook = nullptr;
        pKillHook = nullptr;
        pSysCmdHook = nullptr;
        pResponseHook = nullptr;
        for (int i = 0; i < CMD_ROWS; ++i) {
            ComList[i].pPath = savedPaths_[i];
            ComList[i].Wait = savedWaits_[i];
        }
        flUseLog = saved_[0];
        flSysCmdLog = saved_[1];
        flInitSysCmd = saved_[2];
        flLogFirst = saved_[3];
        SysCmdWarnings = savedWarnings_;
        pLogPath = savedLogPath_;
        my_name = savedName_;
        std::error_code ec;
        if (Dir.rfind("/tmp/syscmdtest.", 0) == 0)
            std::filesystem::remove_all(Dir, ec);
    }
    // As a run without the log: no log file, no progress dots.
    void NoLog() {
        flUseLog = 0;
        flSysCmdLog = 0;
    }
    std::string LogFile() const { return Dir + "/" + Name + ".log"; }
    std::string Log() const { return ReadFileText(LogFile()); }
    // What the runner adds to a logged line: both outputs to the log's descriptor
    // (only standard error for a text that redirects its output itself).
    static std::string ToLog(bool ownStdout = false) {
        std::string n = std::to_string(GetLogFd());
        return (ownStdout ? "" : " 1>&" + n) + " 2>&" + n + " " + n + ">&-";
    }

    std::string Dir;
    std::string Name;

private:
    std::array<unsigned char, 4> saved_;
    int savedWarnings_ = 0;
    const char *savedLogPath_;
    char *savedName_;
    std::array<const char *, CMD_ROWS> savedPaths_;
    std::array<int32_t, CMD_ROWS> savedWaits_;
};

// A wait status as system() reports a normal exit with code.
inline int Exited(int code) {
    return code << 8;
}

// Runs fn and returns the exit status it ended with, or -1 when it returned.
template <class Fn> int ExitStatusOf(Fn fn) {
    try {
        fn();
    } catch (const ExitCalled &e) {
        return e.status;
    }
    return -1;
}

// Frees a GetMem result at the end of the scope.
struct Owned {
    char *p;
    explicit Owned(char *q) : p(q) {}
    ~Owned() { PutMem(p); }
    Owned(const Owned &) = delete;
    Owned &operator=(const Owned &) = delete;
    const char *get() const { return p; }
};
