// xdbtool - builds, reads and edits message databases for translators and
// package makers.
//
// The library reads a database from any path but writes changes only to
// "<tool path>/db/<name>.xdb" (and makes "./db" in the current directory). So every
// change is made in a private work tree beside the target file ("<dir>/.xdbtool-*",
// same file system): the tree's "db" holds a copy, the tool path and the current
// directory point at the tree, and the result is renamed over the target. The tree
// is removed afterwards; nothing is left in the caller's current directory.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "DbText.h"
#include "DbmT.h"
#include "Buffers.h"
#include "MemMgr.h"
#include "StrUtils.h"

namespace {

using MemPtr = std::unique_ptr<char, void (*)(void *)>;

const char *const Usage =
    "usage: xdbtool compile SOURCE FILE.xdb\n"
    "       xdbtool get FILE.xdb KEY\n"
    "       xdbtool put FILE.xdb KEY VALUE\n"
    "       xdbtool delete FILE.xdb KEY\n"
    "       xdbtool list FILE.xdb\n"
    "       xdbtool dump FILE.xdb\n"
    "KEY and VALUE take the escapes \\n, \\t, \\\\ and \\xHH.\n";

int Fail(const char *what, const char *arg) {
    fprintf(stderr, "xdbtool: %s%s%s\n", what, arg ? ": " : "", arg ? arg : "");
    return 1;
}

// The whole file as a GetMem block; null when it cannot be read.
char *ReadFile(const char *path, size_t *n) {
    std::unique_ptr<FILE, int (*)(FILE *)> f(fopen(path, "rb"), fclose);
    if (!f)
        return nullptr;
    char *data = static_cast<char *>(GetMem(1));
    size_t len = 0;
    char chunk[65536];
    size_t got;
    while (data && (got = fread(chunk, 1, sizeof chunk, f.get())) > 0) {
        if (len + got > static_cast<size_t>(INT_MAX / 2)) {
            PutMem(data);
            return nullptr;
        }
        auto *grown = static_cast<char *>(AdjustMem(data, static_cast<int>(len + got)));
        if (!grown)
            PutMem(data);
        data = grown;
        if (data)
            memcpy(data + len, chunk, got);
        len += got;
    }
    if (data && ferror(f.get())) {
        PutMem(data);
        return nullptr;
    }
    *n = len;
    return data;
}

bool WriteFile(const char *path, const char *data, size_t n) {
    std::unique_ptr<FILE, int (*)(FILE *)> f(fopen(path, "wb"), fclose);
    return f && fwrite(data, 1, n, f.get()) == n && fflush(f.get()) == 0;
}

// An argument with its escapes decoded (GetMem); null when malformed.
char *Unescaped(const char *arg, size_t *n) {
    size_t len = strlen(arg);
    auto *out = static_cast<char *>(GetMem(static_cast<int>(len + 1)));
    if (out && !DbUnescape(arg, len, out, n)) {
        PutMem(out);
        return nullptr;
    }
    if (out)
        out[*n] = '\0';
    return out;
}

// Absolute form of a path given on the command line (GetMem).
char *Absolute(const char *path) {
    if (path[0] == '/')
        return SaveStr_(path);
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd))
        return nullptr;
    return SaveStr("%s/%s", cwd, path);
}

// A read-only handle of the file at an absolute path. The library takes a name
// beginning with "." as it is, so the file is opened as "./<base>" from its folder.
DbT *OpenForReading(const char *abs) {
    struct stat sb;
    if (stat(abs, &sb) != 0 || !S_ISREG(sb.st_mode))
        return nullptr;
    char *dir = SaveStr_(abs);
    char *slash = strrchr(dir, '/');
    *slash = '\0';
    int ok = chdir(*dir ? dir : "/");
    char *name = SaveStr("./%s", slash + 1);
    PutMem(dir);
    DbT *db = ok == 0 ? DbTOpen(name, DBT_NOCHECK) : nullptr;
    PutMem(name);
    return db;
}

// The private work tree of one change.
struct WorkTree {
    char *Dir = nullptr;     // "<target dir>/.xdbtool-XXXXXX"
    char *Db = nullptr;      // "<Dir>/db/work.xdb"
    char *Target = nullptr;  // absolute target path
    char *OldCwd = nullptr;
};

void EndWork(WorkTree &w) {
    if (w.Dir) {
        for (const char *ext : {"xdb", "xdb_new"}) {
            char *p = SaveStr("%s/db/work.%s", w.Dir, ext);
            unlink(p);
            PutMem(p);
        }
        char *db = SaveStr("%s/db", w.Dir);
        rmdir(db);
        PutMem(db);
        rmdir(w.Dir);
    }
    if (w.OldCwd && chdir(w.OldCwd) != 0)
        perror("xdbtool: chdir");
    PutMem(w.Dir);
    PutMem(w.Db);
    PutMem(w.Target);
    PutMem(w.OldCwd);
    w = WorkTree{};
}

// Makes the tree beside target, copying the target into it when copy is set.
bool BeginWork(WorkTree &w, const char *target, bool copy) {
    char cwd[PATH_MAX];
    w.Target = Absolute(target);
    if (!w.Target || !getcwd(cwd, sizeof cwd))
        return false;
    w.OldCwd = SaveStr_(cwd);
    char *slash = strrchr(w.Target, '/');
    char *tmpl = SaveStr("%.*s/.xdbtool-XXXXXX", static_cast<int>(slash - w.Target), w.Target);
    if (!mkdtemp(tmpl)) {
        PutMem(tmpl);
        return false;
    }
    w.Dir = tmpl;
    char *db = SaveStr("%s/db", w.Dir);
    int made = mkdir(db, 0777);
    PutMem(db);
    w.Db = SaveStr("%s/db/work.xdb", w.Dir);
    if (made != 0 || chdir(w.Dir) != 0)
        return false;
    PutMem(pToolPath);
    pToolPath = SaveStr_(w.Dir);
    if (copy) {
        size_t n = 0;
        char *data = ReadFile(w.Target, &n);
        if (data) {
            bool ok = WriteFile(w.Db, data, n);
            PutMem(data);
            if (!ok)
                return false;
        } else if (errno != ENOENT) {
            return false;
        }
    }
    return true;
}

// Moves the tree's database over the target.
bool Commit(WorkTree &w) {
    return rename(w.Db, w.Target) == 0;
}

int CmdCompile(const char *source, const char *target) {
    size_t n = 0;
    MemPtr text(ReadFile(source, &n), PutMem);
    if (!text)
        return Fail("cannot read", source);
    WorkTree w;
    if (!BeginWork(w, target, false)) {
        EndWork(w);
        return Fail("cannot make a work directory beside", target);
    }
    DbT *db = DbTOpen("work", DBT_NOCHECK | DBT_NOWRITE);
    int rc = 0;
    char err[256];
    if (!db) {
        rc = Fail("out of memory", nullptr);
    } else {
        DbTSetDbType(db, DBT_TYPE_HEADERED);
        if (DbCompileSource(db, text.get(), n, err, sizeof err) < 0) {
            fprintf(stderr, "xdbtool: %s: %s\n", source, err);
            rc = 1;
        } else if (!DbmTArchiveDb(db) || !Commit(w)) {
            rc = Fail("cannot write", target);
        }
        DbTClose(db);
    }
    EndWork(w);
    return rc;
}

int CmdChange(const char *target, const char *keyArg, const char *valueArg) {
    size_t keyLen = 0, valueLen = 0;
    MemPtr key(Unescaped(keyArg, &keyLen), PutMem);
    if (!key || keyLen == 0 || strlen(key.get()) != keyLen)
        return Fail("bad key", keyArg);
    MemPtr value(valueArg ? Unescaped(valueArg, &valueLen) : nullptr, PutMem);
    if (valueArg && (!value || valueLen == 0))
        return Fail("bad value", valueArg);
    WorkTree w;
    if (!BeginWork(w, target, true)) {
        EndWork(w);
        return Fail("cannot make a work directory beside", target);
    }
    int rc = 0;
    DbT *db = DbTOpen("work", 0);
    if (!db) {
        rc = Fail("out of memory", nullptr);
    } else if (value) {
        if (!DbmTPutRecord(db, key.get(), value.get(), static_cast<int>(valueLen)) || !Commit(w))
            rc = Fail("cannot write", target);
    } else {
        DbTRecord rec;
        if (!FindTRecord(db, key.get(), &rec))
            rc = Fail("no such key", keyArg);
        else if (!DbmTDeleteRecord(db, key.get()) || !Commit(w))
            rc = Fail("cannot write", target);
    }
    DbTClose(db);
    EndWork(w);
    return rc;
}

int CmdRead(const char *cmd, const char *target, const char *keyArg) {
    MemPtr abs(Absolute(target), PutMem);
    DbT *db = abs ? OpenForReading(abs.get()) : nullptr;
    if (!db)
        return Fail("cannot read", target);
    int rc = 0;
    if (!strcmp(cmd, "get")) {
        size_t keyLen = 0;
        MemPtr key(Unescaped(keyArg, &keyLen), PutMem);
        DbTRecord rec;
        if (!key || strlen(key.get()) != keyLen || !FindTRecord(db, key.get(), &rec)) {
            rc = Fail("no such key", keyArg);
        } else {
            MemPtr value(static_cast<char *>(GetMem(rec.ValueLen > 0 ? rec.ValueLen : 1)), PutMem);
            DbTDecodeValue(db, &rec, value.get(), rec.ValueLen);
            fwrite(value.get(), 1, static_cast<size_t>(rec.ValueLen), stdout);
            putchar('\n');
        }
    } else if (!strcmp(cmd, "list")) {
        DbTRecord rec;
        MemPtr key(static_cast<char *>(GetMem(DBT_MAX_RECORD)), PutMem);
        for (int more = WalkDbTRecords(db, &rec, 0); more && key; more = WalkDbTRecords(db, &rec, 1)) {
            DbTDecodeKey(db, &rec, key.get());
            MemPtr text(DbEscape(key.get(), static_cast<size_t>(rec.KeyLen - 1), 1), PutMem);
            if (text)
                printf("%s\n", text.get());
        }
    } else {
        DbDumpSource(db, stdout);
    }
    DbTClose(db);
    if (fflush(stdout) != 0)
        rc = Fail("cannot write the output", nullptr);
    return rc;
}

}  // namespace

int main(int argc, char **argv) {
    const char *cmd = argc > 1 ? argv[1] : "";
    if (!strcmp(cmd, "compile") && argc == 4)
        return CmdCompile(argv[2], argv[3]);
    if (!strcmp(cmd, "put") && argc == 5)
        return CmdChange(argv[2], argv[3], argv[4]);
    if (!strcmp(cmd, "delete") && argc == 4)
        return CmdChange(argv[2], argv[3], nullptr);
    if (!strcmp(cmd, "get") && argc == 4)
        return CmdRead(cmd, argv[2], argv[3]);
    if ((!strcmp(cmd, "list") || !strcmp(cmd, "dump")) && argc == 3)
        return CmdRead(cmd, argv[2], nullptr);
    fputs(Usage, stderr);
    return 2;
}
