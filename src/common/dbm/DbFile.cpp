// DbFile.cpp - rewrite files and paths of the record databases.
#include "DbFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Buffers.h"
#include "MemMgr.h"
#include "Sleep.h"
#include "StrUtils.h"

const char *DbToolPath() {
    return pToolPath ? pToolPath : ".";
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
    if (mkdir("db", 0777) == 0)
        chmod("db", 0777);  // the mode is 777 whatever the umask
}

char *DbFilePath(const char *name, const char *ext) {
    return SaveStr("%s/db/%s.%s", DbToolPath(), name, ext);
}

// mkdir -p of the directory part of path (default modes).
static void MakeParentDirs(const char *path) {
    char *dir = SaveStr_(path);
    char *slash = strrchr(dir, '/');
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

// A stale temporary file (or a link planted in its place) is removed first; the new
// one is created exclusively so that no link is ever followed.
static FILE *CreateOnce(const char *path) {
    unlink(path);
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    fchmod(fd, 0666);
    FILE *f = fdopen(fd, "wb");
    if (!f) {
        close(fd);
        unlink(path);
    }
    return f;
}

FILE *DbCreateRewriteFile(const char *name, char **path) {
    *path = DbFilePath(name, "xdb_new");
    MakeParentDirs(*path);
    for (int attempt = 1; attempt <= 10; ++attempt) {
        if (FILE *f = CreateOnce(*path))
            return f;
        if (attempt < 10)
            SysSleep(1);
    }
    return nullptr;
}

int DbFinishRewrite(FILE *f, int ok, const char *tmpPath, const char *name, DbStamp *stamp) {
    if (ok && fflush(f) != 0)
        ok = 0;
    if (ok && fsync(fileno(f)) != 0 && errno != EINVAL && errno != EROFS)
        ok = 0;
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
    if (fclose(f) != 0)
        ok = 0;
    if (ok) {
        size_t n = strlen(tmpPath);
        char *final = SaveStr_(tmpPath);
        if (n > 4 && strcmp(final + n - 4, "_new") == 0)
            final[n - 4] = '\0';
        if (rename(tmpPath, final) != 0)
            ok = 0;
        PutMem(final);
    }
    if (!ok) {
        unlink(tmpPath);
        fprintf(stderr, "ERROR: Can't write to %s\n", name ? name : "");
    }
    return ok;
}
