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
#include "Files.h"
#include "MemMgr.h"
#include "StrUtils.h"

unsigned char flUseLog = 0;
const char *pLogPath = "/tmp";
unsigned char flLogFirst = 1;

namespace {

// The log of the run: opened once, at its first use, and kept. Messages and the
// output of every logged command go through this descriptor, so the name in the
// shared directory is never opened again after the first look at it.
struct LogFile {
    int fd = -1;
    char *path = nullptr;  // the name it was opened under
    void Close() {
        if (fd >= 0)
            close(fd);
        fd = -1;
        PutMem(path);
        path = nullptr;
    }
};
LogFile TheLog;

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

// The shell a command runs in names a descriptor by one digit: a log that opened
// on a higher one moves to a free one below 10 when there is one.
int LowDescriptor(int fd) {
    if (fd < 10)
        return fd;
    for (int low = 9; low >= 3; --low) {
        if (fcntl(low, F_GETFD) == -1 && errno == EBADF && dup3(fd, low, O_CLOEXEC) == low) {
            close(fd);
            return low;
        }
    }
    return fd;
}

// The log lives in a world-writable directory, so the name is looked at with the
// shared-directory rule (ClaimSharedName): whatever another user may have planted
// is removed or, when it is another user's file, the run stops. A new file is made
// without following links; the program's own earlier log is opened the same way and
// must still be a plain file of this user with one link.
int OpenLogFile(const char *path, bool truncate) {
    FdCloser f;
    if (ClaimSharedName(path) == SHARED_NONE) {
        f.fd = CreateSharedFile(path, 0644);
        if (f.fd < 0)
            return -1;
    } else {
        int flags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (truncate ? O_TRUNC : 0);
        f.fd = open(path, flags);
        struct stat st {};
        if (f.fd < 0 || fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() ||
            st.st_nlink != 1)
            return -1;
    }
    fcntl(f.fd, F_SETFL, O_APPEND);  // commands and messages in the order written
    return LowDescriptor(f.release());
}

// The kept descriptor; opened here at the first use of a run (which empties the
// file) or when the log's name changed. -1 when it cannot be opened.
int LogDescriptor(const char *path) {
    bool first = flLogFirst != 0;
    flLogFirst = 0;
    if (first || (TheLog.path && strcmp(TheLog.path, path) != 0))
        TheLog.Close();
    if (TheLog.fd >= 0)
        return TheLog.fd;
    int fd = OpenLogFile(path, first);
    if (fd < 0)
        return -1;
    TheLog.fd = fd;
    TheLog.path = SaveStr_(path);
    return fd;
}

}  // namespace

char *GetLogFileName() {
    return SaveStr("%s/%s.log", pLogPath, my_name ? my_name : "");
}

int GetLogFd() {
    if (!flUseLog)
        return -1;
    MemStr path(GetLogFileName());
    return path ? LogDescriptor(path.get()) : -1;
}

void PutLogMsgV(const char *fmt, va_list ap) {
    if (!flUseLog)
        return;
    MemStr path(GetLogFileName());
    if (!path)
        return;
    int fd = LogDescriptor(path.get());
    if (fd < 0) {
        std::fprintf(stderr, "ERROR: couldn't open %s\n", path.get());
        return;
    }
    vdprintf(fd, fmt, ap);
}

void PutLogMsg(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    PutLogMsgV(fmt, ap);
    va_end(ap);
}
