// DbFile.h - file steps shared by the typed and the legacy record databases.
// Paths are built from pToolPath ("." while it is unset).
//
// A rewrite replaces a database file whole, so that a reader always sees either the
// old or the new file:
//   DbLockFile(path) takes an exclusive advisory lock (flock on the directory that
//   holds the file, so that it also covers a file that does not exist yet and
//   outlives the rename). Writers hold it from the read of the content to the rename;
//   readers never take it.
//   DbCreateRewriteFile(path, ...) checks the target (a regular file or nothing; a
//   symbolic link is followed and the file it names is replaced), removes stale
//   temporary files of that database, and creates "<file>_new.XXXXXX" beside it
//   exclusively (O_EXCL): the mode, owner and group of the file it replaces, or 0666
//   less the umask for a new file.
//   DbFinishRewrite writes nothing more: it checks the flush, the fsync and the close
//   and renames the temporary file over the target.
// Every failure leaves the old file as it was, removes the temporary file, keeps the
// reason for DbLastError() and, unless flDbQuiet is set, prints
// "ERROR: Can't write to <name>" on stderr.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include "Attrs.h"

// What identifies one version of a file on disk.
struct DbStamp {
    int64_t MTime;  // modification time, nanoseconds
    int64_t Size;
    uint64_t Id;    // device and inode, mixed
};

extern unsigned char flDbQuiet;  // 1: failures are only kept for DbLastError()

const char *DbToolPath();
// 1 for an errno of a read that a second try may not meet again (the file replaced
// or busy for a moment, no descriptor free); every other error lasts.
int DbPassingError(int err);
// 1 and *st filled when path can be examined.
int DbStatFile(const char *path, DbStamp *st);
// "./db" in the current directory when it has no "db" (mode 0777 less the umask).
void DbMakeLocalDir();
// The directories above path that are missing (mode 0777 less the umask).
void DbMakeParentDirs(const char *path);
// "<tool path>/db/<name>.<ext>" as a GetMem string.
char *DbFilePath(const char *name, const char *ext);

// The exclusive lock of the file's directory: a descriptor to give to DbUnlock, or -1
// (the reason kept for DbLastError). Waits for another writer.
int DbLockFile(const char *path);
void DbUnlock(int fd);
// Creates the temporary file that will replace path (see above); null on failure.
// *tmpPath gets its GetMem path and *target the GetMem path of the file it will be
// renamed over (path, or the file a link names); both null on failure.
FILE *DbCreateRewriteFile(const char *path, char **tmpPath, char **target);
// ok: the writes succeeded. Closes f in every case; stamp (when not null) receives the
// written file's identity. 1 when the file is in place. name is the one messages use.
int DbFinishRewrite(FILE *f, int ok, const char *tmpPath, const char *target, const char *name,
                    DbStamp *stamp);
// The temporary file being written, "" when none (readable from a signal handler).
const char *DbPendingRewrite();
// Why the last failed step of this module or of a database load failed ("" when
// nothing failed yet); valid until the next failure.
const char *DbLastError();
void DbSetError(const char *fmt, ...) PRINTF_LIKE(1, 2);
