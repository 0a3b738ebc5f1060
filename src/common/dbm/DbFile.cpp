// DbFile.cpp - rewrite files, locks and paths of the record databases.
#include "DbFile.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Buffers.h"
#include "MemMgr.h"
#include "StrUtils.h"

unsigned char flDbQuiet = 0;

namespace {

char LastError[512];
// The temporary file being written; a signal handler may read it at any moment, so
// it is only ever changed by writing a whole path before setting the first byte.
char PendingTemp[PATH_MAX];

using MemPtr = std::unique_ptr<char, void (*)(void *)>;

struct DirCloser {
    void operator()(DIR *d) const { closedir(d); }
};

void SetErrno(int err) {
    DbSetError("%s", strerror(err));
}

// The directory part of path ("." when it has none) and the name part.
char *DirOf(const char *path) {
    const char *slash = strrchr(path, '/');
    if (!slash)
        return SaveStr_(".");
    if (slash == path)
        return SaveStr_("/");
    return SaveStr("%.*s", static_cast<int>(slash - path), path);
}

const char *BaseOf(const char *path) {
    const char *slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// Follows symbolic links from path to the file they name (which may not exist yet);
// null with the reason kept after too many links.
char *FollowLinks(const char *path) {
    char *p = SaveStr_(path);
    for (int depth = 0; p && depth < 40; ++depth) {
        struct stat lsb;
        if (lstat(p, &lsb) != 0 || !S_ISLNK(lsb.st_mode))
            return p;
        char link[PATH_MAX];
        ssize_t n = readlink(p, link, sizeof link - 1);
        if (n < 0) {
            SetErrno(errno);
            PutMem(p);
            return nullptr;
        }
        link[n] = '\0';
        char *next = link[0] == '/' ? SaveStr_(link) : nullptr;
        if (!next) {
            char *dir = DirOf(p);
            next = SaveStr("%s/%s", dir, link);
            PutMem(dir);
        }
        PutMem(p);
        p = next;
    }
    SetErrno(ELOOP);
    PutMem(p);
    return nullptr;
}

// The file a rewrite of path replaces: path itself, or the file a symbolic link at
// path names. Null (reason kept) when that is neither a regular file nor absent, or
// when this user may not write it.
char *WriteTarget(const char *path, struct stat *sb, bool *exists) {
    *exists = false;
    char *target = FollowLinks(path);
    if (!target)
        return nullptr;
    if (stat(target, sb) != 0) {
        if (errno == ENOENT)
            return target;
        SetErrno(errno);
        PutMem(target);
        return nullptr;
    }
    if (!S_ISREG(sb->st_mode)) {
        DbSetError("not a regular file (a %s)", S_ISDIR(sb->st_mode)    ? "directory"
                                                : S_ISFIFO(sb->st_mode) ? "FIFO"
                                                : S_ISSOCK(sb->st_mode) ? "socket"
                                                                        : "device");
        PutMem(target);
        return nullptr;
    }
    // root may write anything: a file without any write bit still counts as read-only
    bool writable = geteuid() == 0 ? (sb->st_mode & 0222) != 0 : faccessat(AT_FDCWD, target, W_OK, AT_EACCESS) == 0;
    if (!writable) {
        DbSetError("%s", strerror(EACCES));
        PutMem(target);
        return nullptr;
    }
    *exists = true;
    return target;
}

// Temporary files of an interrupted writer: "<base>_new.XXXXXX", and the fixed
// "<base>_new" of earlier versions. The caller holds the lock, so none is in use.
void RemoveStale(const char *dir, const char *base) {
    std::unique_ptr<DIR, DirCloser> d(opendir(dir));
    if (!d)
        return;
    size_t n = strlen(base);
    while (dirent *e = readdir(d.get())) {
        const char *name = e->d_name;
        if (strncmp(name, base, n) != 0 || strncmp(name + n, "_new", 4) != 0)
            continue;
        if (name[n + 4] == '\0' || (name[n + 4] == '.' && strlen(name + n + 5) == 6)) {
            char *p = SaveStr("%s/%s", dir, name);
            unlink(p);
            PutMem(p);
        }
    }
}

void SetPending(const char *path) {
    PendingTemp[0] = '\0';
    snprintf(PendingTemp + 1, sizeof PendingTemp - 1, "%s", path + 1);
    PendingTemp[0] = path[0];
}

// A new file "<target>_new.XXXXXX", created exclusively; -1 when none could be made.
int CreateUnique(const char *target, int mode, char **tmpPath) {
    static const char Letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static uint64_t state = 0;
    if (state == 0) {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        state = (static_cast<uint64_t>(ts.tv_nsec) << 20) ^ static_cast<uint64_t>(ts.tv_sec) ^
                (static_cast<uint64_t>(getpid()) << 40) ^ 0x9E3779B97F4A7C15ull;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[7];
        for (int i = 0; i < 6; ++i) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            suffix[i] = Letters[state % (sizeof Letters - 1)];
        }
        suffix[6] = '\0';
        char *p = SaveStr("%s_new.%s", target, suffix);
        if (!p)
            return -1;
        SetPending(p);  // before it exists: a signal handler may remove it at once
        int fd = open(p, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            *tmpPath = p;
            return fd;
        }
        int err = errno;
        PendingTemp[0] = '\0';
        PutMem(p);
        if (err != EEXIST) {
            SetErrno(err);
            return -1;
        }
    }
    SetErrno(EEXIST);
    return -1;
}

void SyncDir(const char *path) {
    char *dir = DirOf(path);
    int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    PutMem(dir);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

void Report(const char *name) {
    if (!flDbQuiet)
        fprintf(stderr, "ERROR: Can't write to %s\n", name ? name : "");
}

}  // namespace

const char *DbToolPath() {
    return pToolPath ? pToolPath : ".";
}

int DbPassingError(int err) {
    return err == ENOENT || err == EINTR || err == EAGAIN || err == EMFILE || err == ENFILE || err == EBUSY ||
           err == ETXTBSY;
}

int DbStatFile(const char *path, DbStamp *st) {
    struct stat sb;
    if (!path || stat(path, &sb) != 0)
        return 0;
    st->MTime = static_cast<int64_t>(sb.st_mtim.tv_sec) * 1000000000 + sb.st_mtim.tv_nsec;
    st->Size = sb.st_size;
    st->Id = (static_cast<uint64_t>(sb.st_dev) << 40) ^ static_cast<uint64_t>(sb.st_ino);
    return 1;
}

void DbMakeLocalDir() {
    struct stat sb;
    if (stat("db", &sb) == 0 && S_ISDIR(sb.st_mode))
        return;
    mkdir("db", 0777);
}

void DbMakeParentDirs(const char *path) {
    if (!path)
        return;
    char *dir = SaveStr_(path);
    char *slash = dir ? strrchr(dir, '/') : nullptr;
    if (slash && slash != dir) {
        *slash = '\0';
        for (char *p = dir + 1; *p; ++p) {
            if (*p != '/')
                continue;
            *p = '\0';
            mkdir(dir, 0777);
            *p = '/';
        }
        mkdir(dir, 0777);
    }
    PutMem(dir);
}

char *DbFilePath(const char *name, const char *ext) {
    return SaveStr("%s/db/%s.%s", DbToolPath(), name, ext);
}

const char *DbLastError() {
    return LastError;
}

void DbSetError(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(LastError, sizeof LastError, fmt, ap);
    va_end(ap);
}

const char *DbPendingRewrite() {
    return PendingTemp;
}

int DbLockFile(const char *path) {
    if (!path)
        return -1;
    struct stat sb;
    bool exists;
    char *target = WriteTarget(path, &sb, &exists);
    if (!target)
        return -1;
    char *dir = DirOf(target);
    PutMem(target);
    int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    PutMem(dir);
    if (fd < 0) {
        SetErrno(errno);
        return -1;
    }
    while (flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            SetErrno(errno);
            close(fd);
            return -1;
        }
    }
    return fd;
}

void DbUnlock(int fd) {
    if (fd >= 0)
        close(fd);  // closing the only descriptor releases the lock
}

FILE *DbCreateRewriteFile(const char *path, char **tmpPath, char **target) {
    *tmpPath = nullptr;
    *target = nullptr;
    struct stat sb;
    bool exists;
    MemPtr dest(WriteTarget(path, &sb, &exists), PutMem);
    if (!dest)
        return nullptr;
    MemPtr dir(DirOf(dest.get()), PutMem);
    RemoveStale(dir.get(), BaseOf(dest.get()));
    int fd = CreateUnique(dest.get(), exists ? 0600 : 0666, tmpPath);
    if (fd < 0)
        return nullptr;
    if (exists) {  // owner first: a change of owner clears the set-id bits
        if ((sb.st_uid != geteuid() || sb.st_gid != getegid()) && fchown(fd, sb.st_uid, sb.st_gid) != 0 &&
            fchown(fd, static_cast<uid_t>(-1), sb.st_gid) != 0) {
            // not allowed to give the file away: it stays ours, with the old mode
        }
        fchmod(fd, sb.st_mode & 07777);
    }
    FILE *f = fdopen(fd, "wb");
    if (!f) {
        SetErrno(errno);
        close(fd);
        unlink(*tmpPath);
        PendingTemp[0] = '\0';
        PutMem(*tmpPath);
        *tmpPath = nullptr;
        return nullptr;
    }
    *target = dest.release();
    return f;
}

int DbFinishRewrite(FILE *f, int ok, const char *tmpPath, const char *target, const char *name,
                    DbStamp *stamp) {
    if (!ok)
        SetErrno(errno ? errno : EIO);
    if (ok && fflush(f) != 0) {
        SetErrno(errno);
        ok = 0;
    }
    if (ok && fsync(fileno(f)) != 0 && errno != EINVAL && errno != EROFS) {
        SetErrno(errno);
        ok = 0;
    }
    if (ok && stamp) {
        struct stat sb;
        if (fstat(fileno(f), &sb) == 0) {
            stamp->MTime = static_cast<int64_t>(sb.st_mtim.tv_sec) * 1000000000 + sb.st_mtim.tv_nsec;
            stamp->Size = sb.st_size;
            stamp->Id = (static_cast<uint64_t>(sb.st_dev) << 40) ^ static_cast<uint64_t>(sb.st_ino);
        } else {
            *stamp = DbStamp{};
        }
    }
    if (fclose(f) != 0 && ok) {
        SetErrno(errno);
        ok = 0;
    }
    if (ok && rename(tmpPath, target) != 0) {
        SetErrno(errno);
        ok = 0;
    }
    if (ok)
        SyncDir(target);
    else
        unlink(tmpPath);
    PendingTemp[0] = '\0';
    if (!ok)
        Report(name);
    return ok;
}
