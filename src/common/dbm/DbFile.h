// DbFile.h - file steps shared by the typed and the legacy record databases.
// Paths are built from pToolPath ("." while it is unset). A rewrite creates
// "<tool path>/db/<name>.xdb_new" (mode 666, its directory made when missing; ten
// attempts one second apart through SysSleep), then DbFinishRewrite checks the flush,
// the sync and the close and renames it over "<name>.xdb"; on any failure it prints
// "ERROR: Can't write to <name>", removes the temporary file and returns 0.
#pragma once
#include <cstdint>
#include <cstdio>

// What identifies one version of a file on disk.
struct DbStamp {
    int64_t MTime;  // modification time, nanoseconds
    int64_t Size;
    uint64_t Id;    // device and inode, mixed
};

const char *DbToolPath();
// 1 and *st filled when path can be examined.
int DbStatFile(const char *path, DbStamp *st);
// "./db" in the current directory when it has no "db" (mode 777).
void DbMakeLocalDir();
// "<tool path>/db/<name>.<ext>" as a GetMem string.
char *DbFilePath(const char *name, const char *ext);
// Creates and opens the rewrite file; null after the attempts failed. *path gets the
// GetMem path of the temporary file (also on failure; the caller frees it).
FILE *DbCreateRewriteFile(const char *name, char **path);
// ok: the writes succeeded. Closes f in every case; stamp (when not null) receives the
// written file's identity. 1 when the file is in place.
int DbFinishRewrite(FILE *f, int ok, const char *tmpPath, const char *name, DbStamp *stamp);
