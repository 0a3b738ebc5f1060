// SandboxRun.h - runs commands through tools/sandbox/run-isolated for the tests of the
// isolated root and of the platform stand-ins. Each Sandbox owns a fresh state
// directory under /tmp, removed when it goes away.
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>

#include "../support/RunCommand.h"
#include <vector>

namespace sandbox_test {

inline std::string Quote(const std::string &s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

inline std::string Runner() { return std::string(SOURCE_DIR) + "/tools/sandbox/run-isolated"; }

inline std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteFile(const std::string &path, const std::string &text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline bool Exists(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

struct Result {
    int status = -1;   // exit status of the runner (the command's), -1 when not exited
    std::string out;   // standard output and standard error together
};

class Sandbox {
public:
    Sandbox() {
        char tmpl[] = "/tmp/sandbox-test.XXXXXX";
        if (mkdtemp(tmpl))
            dir_ = tmpl;
    }
    ~Sandbox() {
        std::error_code ec;
        if (!dir_.empty())
            std::filesystem::remove_all(dir_, ec);
    }
    Sandbox(const Sandbox &) = delete;
    Sandbox &operator=(const Sandbox &) = delete;

    bool Ok() const { return !dir_.empty(); }
    // Private scratch space beside the state directory (not seen inside).
    std::string Scratch(const std::string &name) const { return dir_ + "/" + name; }
    std::string State() const { return dir_ + "/state"; }
    // Where a path of the isolated root is kept after a run.
    std::string Kept(const std::string &inner) const { return State() + "/root" + inner; }

    // Runs `sh -c script` inside with the given runner options; `input` is its standard
    // input.
    Result Sh(const std::string &script, std::initializer_list<std::string> options = {},
              const std::string &input = "") const {
        std::vector<std::string> args(options);
        args.insert(args.end(), {"--", "sh", "-c", script});
        return Run(args, input);
    }

    Result Run(const std::vector<std::string> &args, const std::string &input = "") const {
        std::string in = Scratch("stdin");
        WriteFile(in, input);
        std::string cmd = Quote(Runner()) + " --state " + Quote(State());
        for (const std::string &a : args)
            cmd += " " + Quote(a);
        cmd += " <" + Quote(in) + " 2>&1";
        CommandRun run = RunCommand(cmd);
        Result r;
        r.status = run.Status;
        r.out = run.Out;
        return r;
    }

private:
    std::string dir_;
};

// The tests need root: the runner builds namespaces and mounts.
#define SKIP_UNLESS_ROOT()                                                  \
    do {                                                                    \
        if (geteuid() != 0)                                                 \
            GTEST_SKIP() << "the isolated root needs root";                 \
    } while (0)

}  // namespace sandbox_test
