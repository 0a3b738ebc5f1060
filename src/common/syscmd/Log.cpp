// Log.cpp - the command log, the environment, user, host and spooler.
#include "Log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "Errors.h"
#include "MemMgr.h"
#include "StrUtils.h"
#include "SysCmd.h"
#include "SysCmdText.h"
#include "SysQuery.h"

unsigned char flUseLog = 0;
const char *pLogPath = "/tmp";
char *pToolPath = nullptr;
unsigned char flLogFirst = 1;

namespace {

struct MemFree {
    void operator()(void *p) const { PutMem(p); }
};
using MemStr = std::unique_ptr<char, MemFree>;

struct FdCloser {
    int fd = -1;
    ~FdCloser() {
        if (fd >= 0)
            close(fd);
    }
    int release() {
        int f = fd;
        fd = -1;
        return f;
    }
};

// The log lives in a world-writable directory: anything at its name that is not
// a plain file (a planted symbolic link, a pipe) is removed first, a new file is
// created without following links, and an existing one is opened the same way.
int OpenLogFile(const char *path, bool truncate) {
    struct stat st;
    if (lstat(path, &st) == 0 && !S_ISREG(st.st_mode))
        unlink(path);
    FdCloser f;
    f.fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (f.fd >= 0) {
        fchmod(f.fd, 0666);  // every user's run may write it, whatever the umask
        return f.release();
    }
    if (errno != EEXIST)
        return -1;
    int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    f.fd = open(path, flags | (truncate ? O_TRUNC : 0));
    if (f.fd < 0 || fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    fcntl(f.fd, F_SETFL, O_WRONLY | O_APPEND);
    return f.release();
}

struct FileCloser {
    void operator()(FILE *f) const { std::fclose(f); }
};

}  // namespace

char *GetLogFileName() {
    return SaveStr("%s/%s.log", pLogPath, my_name ? my_name : "");
}

void PutLogMsgV(const char *fmt, va_list ap) {
    if (!flUseLog)
        return;
    bool first = flLogFirst != 0;
    flLogFirst = 0;
    MemStr path(GetLogFileName());
    if (!path)
        return;
    int fd = OpenLogFile(path.get(), first);
    std::unique_ptr<FILE, FileCloser> log(fd >= 0 ? fdopen(fd, "a") : nullptr);
    if (!log) {
        if (fd >= 0)
            close(fd);
        std::fprintf(stderr, "ERROR: couldn't open %s\n", path.get());
        return;
    }
    std::vfprintf(log.get(), fmt, ap);
}

void PutLogMsg(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    PutLogMsgV(fmt, ap);
    va_end(ap);
}

char *GetEnv(const char *name) {
    const char *value = name ? std::getenv(name) : nullptr;
    return value ? SaveStr_(value) : nullptr;
}

namespace {

// The current directory, whatever its length; empty when it cannot be read.
CmdText CurrentDir() {
    CmdText dir(512, '\0');
    while (!getcwd(dir.data(), dir.size())) {
        if (errno != ERANGE)
            return CmdText();
        dir.resize(dir.size() * 2);
    }
    dir.resize(std::strlen(dir.c_str()));
    return dir;
}

// dir + "/" + rest, without doubling the slash of the root.
char *JoinDir(const CmdText &dir, const char *rest) {
    if (!*rest)
        return SaveStr_(dir.c_str());
    const char *sep = dir.empty() || dir.back() == '/' ? "" : "/";
    return SaveStr("%s%s%s", dir.c_str(), sep, rest);
}

}  // namespace

char *GetToolPath(const char *argv0) {
    if (!argv0)
        return nullptr;
    MemStr part(SaveStr_(StripFn(argv0)));
    if (!part)
        return nullptr;
    if (argv0[0] == '/')
        return part.release();
    CmdText cwd = CurrentDir();
    if (cwd.empty())
        return nullptr;
    const char *p = part.get();
    if (std::strcmp(p, ".") == 0)
        return SaveStr_(cwd.c_str());
    if (std::strncmp(p, "./", 2) == 0)
        return JoinDir(cwd, p + 2);
    if (std::strncmp(p, "../", 3) == 0) {
        // only this first "../" is resolved; later ones stay as path components
        size_t slash = cwd.rfind('/');
        CmdText parent = slash == 0 || slash == CmdText::npos ? CmdText("/") : cwd.substr(0, slash);
        return JoinDir(parent, p + 3);
    }
    return JoinDir(cwd, p);
}

namespace {

char *CutAtLineEnd(char *text) {
    text[std::strcspn(text, "\r\n")] = '\0';
    return text;
}

}  // namespace

char *GetHostname() {
    char name[256];
    if (gethostname(name, sizeof name) != 0)
        return nullptr;
    name[sizeof name - 1] = '\0';
    return SaveStr_(CutAtLineEnd(name));
}

char *GetUserName() {
    MemStr cmd(GetCmd(CMD_WHOAMI));
    if (!cmd)
        return nullptr;
    FILE *pipe = OpenCmdPipe(cmd.get());
    if (!pipe)
        return nullptr;
    char line[256];
    bool got = std::fgets(line, sizeof line, pipe) != nullptr;
    CloseCmdPipe(pipe);
    return got ? SaveStr_(CutAtLineEnd(line)) : nullptr;
}

int SniffLprng() {
    if (!TestCmd(CMD_LPD))
        return 0;
    CmdResponse *lines = GetCmdResponse(CMD_LPD, "LPRng", "%s", " -V 2>&1");
    int found = lines != nullptr;
    FreeResponseList(lines);
    return found;
}

int SniffCUPS() {
    return TestCmd(CMD_CUPSD);
}
