// PtyRun.h - runs a program on a pseudo-terminal of a fixed size (TERM=vt100) while a
// test types answers and reads the screen; used by the terminal tests of the menus and
// of the help viewer.
#pragma once
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "../textmenu/Vt100.h"

namespace ptytest {

using menutest::Vt100;

constexpr int WAIT_MS = 10000;

// One run of program on a pseudo-terminal of columns x lines.
class PtyRun {
public:
    PtyRun(const std::string &program, const std::vector<std::string> &args, int columns = 80,
           int lines = 24, const std::string &cwd = "", const std::vector<std::string> &env = {})
        : columns_(columns), lines_(lines) {
        struct winsize ws{};
        ws.ws_col = static_cast<unsigned short>(columns);
        ws.ws_row = static_cast<unsigned short>(lines);
        pid_ = forkpty(&master_, nullptr, nullptr, &ws);
        if (pid_ == 0)
            Child(program, args, cwd, env);
    }
    ~PtyRun() {
        if (pid_ > 0 && !finished_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0)
            close(master_);
    }
    // Reads until text shows after the previous match; false on timeout or end.
    bool Expect(const std::string &text) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(WAIT_MS);
        for (;;) {
            size_t at = out_.find(text, mark_);
            if (at != std::string::npos) {
                mark_ = at + text.size();
                return true;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !ReadSome(static_cast<int>(left.count())))
                return false;
        }
    }
    void Send(const std::string &keys) {
        size_t done = 0;
        while (done < keys.size()) {
            ssize_t n = write(master_, keys.data() + done, keys.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            done += static_cast<size_t>(n);
        }
    }
    // Everything until the program ends; its exit status (-1 when it did not end).
    int Finish() {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(WAIT_MS);
        while (std::chrono::steady_clock::now() < deadline && ReadSome(200)) {
        }
        int status = 0;
        for (int i = 0; i < 100; ++i) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                finished_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            usleep(50000);
        }
        return -1;
    }
    // The screen as the terminal shows it now.
    Vt100 Screen() const {
        Vt100 vt(columns_, lines_);
        vt.Feed(out_);
        return vt;
    }
    const std::string &Output() const { return out_; }
    // The window takes a new size, as when the user resizes it; Screen() follows.
    void Resize(int columns, int lines) {
        struct winsize ws{};
        ws.ws_col = static_cast<unsigned short>(columns);
        ws.ws_row = static_cast<unsigned short>(lines);
        EXPECT_EQ(0, ioctl(master_, TIOCSWINSZ, &ws));
        columns_ = columns;
        lines_ = lines;
    }

private:
    [[noreturn]] static void Child(const std::string &program, const std::vector<std::string> &args,
                                   const std::string &cwd, const std::vector<std::string> &env) {
        if (!cwd.empty() && chdir(cwd.c_str()) != 0)
            _exit(126);
        setenv("TERM", "vt100", 1);
        unsetenv("COLUMNS");
        unsetenv("LINES");
        for (const auto &e : env)
            putenv(const_cast<char *>(e.c_str()));
        std::vector<char *> argv;
        argv.push_back(const_cast<char *>(program.c_str()));
        for (const auto &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    bool ReadSome(int ms) {
        struct pollfd p{master_, POLLIN, 0};
        int r = poll(&p, 1, ms);
        if (r <= 0)
            return r == 0;  // a timeout may be followed by more output
        char buf[4096];
        ssize_t n = read(master_, buf, sizeof buf);
        if (n <= 0)
            return false;  // the program has ended
        out_.append(buf, static_cast<size_t>(n));
        return true;
    }
    int columns_, lines_;
    int master_ = -1;
    pid_t pid_ = -1;
    bool finished_ = false;
    std::string out_;
    size_t mark_ = 0;
};

// The row of the screen that contains text, or "" when none does.
inline std::string RowWith(const Vt100 &vt, const std::string &text, int lines = 24) {
    for (int i = 0; i < lines; ++i)
        if (vt.Row(i).find(text) != std::string::npos)
            return vt.Trimmed(i);
    return "";
}

}  // namespace ptytest
