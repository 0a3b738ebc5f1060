// Log.cpp - the command log.
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

unsigned char flUseLog = 0;
const char *pLogPath = "/tmp";
unsigned char flLogFirst = 1;

namespace {


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
