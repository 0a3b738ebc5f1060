// InstallerTestEnv.h - the installer run in-process without reaching the host: a
// private directory holds the work area, the site, the diskette and the install
// root; every table row and every read of a program's output is answered here,
// shell lines, signals and pauses are recorded, answers come from a file on
// standard input, and exits become exceptions. Every global the installer and the
// command layer read is saved on entry and restored on exit.
#pragma once
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <tuple>
#include <string>
#include <vector>

#include "../syscmd/SysCmdTestEnv.h"  // ExitCalled, ExitStatusOf, ThrowExit, ReadFileText
#include "Buffers.h"
#include "Errors.h"
#include "Installer.h"
#include "Log.h"
#include "MemMgr.h"
#include "Sleep.h"
#include "SysCmd.h"
#include "SysQuery.h"
#include "TextMenu.h"

namespace installer_test {

struct RowRun {
    int row;  // as the caller gave it: negative for an unlogged run
    int mode;
    std::string text;
    bool operator==(const RowRun &) const = default;
};

inline void WriteText(const std::string &path, const std::string &text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

struct Outcome {
    int result = -1;
    int status = -1;  // the exit status, -1 when the call returned
    std::string out, err;
};

// Calls fn (returning an int) with standard output and error captured.
template <class Fn> Outcome Capture(Fn fn) {
    Outcome r;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    r.status = ExitStatusOf([&] { r.result = fn(); });
    r.out = testing::internal::GetCapturedStdout();
    r.err = testing::internal::GetCapturedStderr();
    return r;
}

inline bool Has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

// A built-in message as the installer prints it.
template <NlsSetupMsg Id, typename... Args> std::string Msg(Args... args) {
    char *text = MsgSave<Id>(args...);
    std::string s = text ? text : "";
    PutMem(text);
    return s;
}

// Every global the installer's functions set, as a tuple of references.
inline auto Globals() {
    return std::tie(pTmpDir, pTalvoInstallDir, pInstallDir, pToolPath, my_name, pInitTabSave, pFloppyDir, pLogPath,
                    pSedTempDir, flUseLog, flSysCmdLog, flInitSysCmd, flMenu, flInstalled, flExitTextMenu,
                    SysCmdWarnings, pExitReport);
}

class Env {
public:
    std::string Root, Tmp, Work, Site, Floppy, Target;
    std::vector<RowRun> Runs;                      // rows in the order they ran
    std::vector<std::pair<int, std::string>> Reads; // rows whose output was read
    std::vector<std::string> Shell;                // whole shell lines
    std::vector<std::pair<int, int>> Kills;        // pid, signal
    std::vector<unsigned> Sleeps;
    std::map<int, std::string> Output;             // a row's output (none when absent)
    std::map<int, std::vector<int>> Results;       // a row's results in turn (then 0)
    std::map<int, int> KillErrors;                 // errno a signal to that pid fails with
    // The output of a read; by default Output of the row.
    std::function<std::string(int row, const std::string &text)> Reply;
    // Called for each row after it was recorded (a test's side effects).
    std::function<void(const RowRun &run)> OnRun;

    Env() {
        char tmpl[] = "/tmp/installertest.XXXXXX";
        char *dir = mkdtemp(tmpl);
        EXPECT_NE(nullptr, dir);
        Root = dir ? dir : "/nonexistent";
        Tmp = Root + "/tmp";
        Work = Tmp + "/TalvoInstall";
        Site = Root + "/site";
        Floppy = Root + "/floppy";
        Target = Root + "/target";
        for (const std::string &d : {Work, Site, Floppy, Target})
            std::filesystem::create_directories(d);
        Save();
        Current() = this;
        Output = {{CMD_WHOAMI, "root\n"}, {CMD_UNAME, "5.8\n"}};
        Reply = [this](int row, const std::string &) {
            auto it = Output.find(row);
            return it == Output.end() ? std::string() : it->second;
        };
        pTmpDir = Tmp.data();
        pTalvoInstallDir = Work.data();
        pInstallDir = Target.data();
        pToolPath = Site.data();
        pFloppyDir = Floppy.c_str();
        pSedTempDir = Tmp.c_str();
        SysCmdWarnings = 0;
        pExitReport = nullptr;
        pLogPath = Root.c_str();
        my_name = name_.data();
        AppDir[0] = '\0';
        flUseLog = 0;
        flSysCmdLog = 0;
        flInitSysCmd = 0;
        flMenu = 0;
        flInstalled = 0;
        flExitTextMenu = 0;
        for (int i = 0; i < CMD_ROWS; ++i)
            ComList[i].pPath = nullptr;  // nothing is located: every run is answered
        Hook(true);
    }
    ~Env() {
        Restore();
        Current() = nullptr;
        std::error_code ec;
        if (Root.rfind("/tmp/installertest.", 0) == 0)
            std::filesystem::remove_all(Root, ec);
    }
    Env(const Env &) = delete;
    Env &operator=(const Env &) = delete;

    // Standard input from now on reads text.
    void Answers(const std::string &text) {
        std::string path = Root + "/answers";
        WriteText(path, text);
        int fd = open(path.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        dup2(fd, 0);
        close(fd);
    }
    // The runs of a row, unlogged or not.
    std::vector<RowRun> RunsOf(int row) const {
        std::vector<RowRun> out;
        for (const RowRun &r : Runs)
            if (r.row == row || r.row == -row)
                out.push_back(r);
        return out;
    }
    // The runs of the given rows, in order.
    std::vector<RowRun> RunsOf(std::initializer_list<int> rows) const {
        std::vector<RowRun> out;
        for (const RowRun &r : Runs)
            for (int row : rows)
                if (r.row == row || r.row == -row)
                    out.push_back(r);
        return out;
    }
    std::string App() const { return Target + "/Talvo/dorv"; }

private:
    std::string name_ = "setuptest";
    std::string savedCwd_, savedShell_;
    int savedStdin_ = -1;
    std::array<const char *, CMD_ROWS> savedPaths_{};
    decltype(std::apply([](auto &...g) { return std::make_tuple(g...); }, Globals())) saved_;
    char savedAppDir_[APPDIR_SIZE] = {};

    static Env *&Current() {
        static Env *env = nullptr;
        return env;
    }
    void Save() {
        const char *shell = std::getenv("SHELL");  // the start-up sets it
        savedShell_ = shell ? shell : "";
        savedCwd_ = std::filesystem::current_path().string();
        savedStdin_ = dup(0);
        for (int i = 0; i < CMD_ROWS; ++i)
            savedPaths_[i] = ComList[i].pPath;
        saved_ = Globals();
        std::memcpy(savedAppDir_, AppDir, sizeof AppDir);
    }
    static void Hook(bool on) {
        pSysCmdHook = on ? RowHook : nullptr;
        pResponseHook = on ? ReadHook : nullptr;
        pSystemHook = on ? ShellHook : nullptr;
        pPipeHook = nullptr;
        pKillHook = on ? KillHook : nullptr;
        pSleepHook = on ? SleepHook : nullptr;
        pExitHook = on ? ThrowExit : nullptr;
    }
    void Restore() {
        Hook(false);
        if (savedShell_.empty())
            unsetenv("SHELL");
        else
            setenv("SHELL", savedShell_.c_str(), 1);
        std::error_code ec;
        std::filesystem::current_path(savedCwd_, ec);
        if (savedStdin_ >= 0) {
            dup2(savedStdin_, 0);
            close(savedStdin_);
        }
        for (int i = 0; i < CMD_ROWS; ++i)
            ComList[i].pPath = savedPaths_[i];
        Globals() = saved_;
        std::memcpy(AppDir, savedAppDir_, sizeof AppDir);
    }

    // mkdir -p and rm -rf inside the private directory are done for real, so that
    // files the installer writes itself into a directory it made have their place,
    // and a directory it removed can be made again.
    static int RowHook(int row, int mode, const char *text) {
        Env &env = *Current();
        env.Runs.push_back({row, mode, text});
        std::string path = text;
        bool inside = path.rfind(env.Root + "/", 0) == 0 && path.find("..") == std::string::npos;
        std::error_code ec;
        if ((row == CMD_MKDIR || row == -CMD_MKDIR) && inside)
            std::filesystem::create_directories(path);
        if ((row == CMD_RM_R || row == -CMD_RM_R) && inside)
            std::filesystem::remove_all(path, ec);
        if (env.OnRun)
            env.OnRun(env.Runs.back());
        std::vector<int> &results = env.Results[row < 0 ? -row : row];
        if (results.empty())
            return 0;
        int result = results.front();
        results.erase(results.begin());
        return result;
    }
    static FILE *ReadHook(int row, const char *text) {
        Env &env = *Current();
        env.Reads.emplace_back(row, text);
        FILE *f = std::tmpfile();
        if (!f)
            return std::fopen("/dev/null", "r");  // never the program itself
        std::fputs(env.Reply(row, text).c_str(), f);
        std::rewind(f);
        return f;
    }
    static int ShellHook(const char *line) {
        Current()->Shell.push_back(line);
        return 0;
    }
    static int KillHook(int pid, int sig) {
        Env &env = *Current();
        env.Kills.emplace_back(pid, sig);
        auto it = env.KillErrors.find(pid);
        if (it == env.KillErrors.end())
            return 0;
        errno = it->second;
        return -1;
    }
    static void SleepHook(unsigned seconds) { Current()->Sleeps.push_back(seconds); }
};

}  // namespace installer_test
