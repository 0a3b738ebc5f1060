// RunCommand.h - runs a shell command line for a test and captures what it prints
// (the caller adds "2>&1" when it wants standard error too) and its exit status
// (-1 when it did not exit normally or could not be started).
#pragma once
#include <sys/wait.h>

#include <cstdio>
#include <string>

struct CommandRun {
    int Status = -1;
    std::string Out;
};

inline CommandRun RunCommand(const std::string &cmd) {
    CommandRun r;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.Out.append(buf, n);
    int st = pclose(p);
    if (st != -1 && WIFEXITED(st))
        r.Status = WEXITSTATUS(st);
    return r;
}
