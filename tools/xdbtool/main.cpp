// xdbtool - builds, reads and edits message databases for translators and
// package makers.
//
// Every change goes through the library's writer path: the writer's lock of the
// file is taken before the file is read and held until the new file has been
// renamed over it, so two runs never lose each other's change; the new file is
// written beside the old one and fsync'ed first, so a reader sees the old file or
// the new one, never a part. A file that does not load whole (damage, not a
// database) is never rewritten. SIGINT, SIGTERM and SIGHUP remove the temporary
// file being written; one left by kill -9 is removed by the next writer.
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "Attrs.h"
#include "DbFile.h"
#include "DbText.h"
#include "DbmT.h"
#include "Buffers.h"
#include "MemMgr.h"
#include "StrUtils.h"

namespace {

using MemPtr = std::unique_ptr<char, void (*)(void *)>;

struct DbCloser {
    void operator()(DbT *db) const { DbTClose(db); }
};
using DbPtr = std::unique_ptr<DbT, DbCloser>;

struct FdCloser {
    void operator()(int *fd) const { close(*fd); }
};

const char *const Usage =
    "usage: xdbtool compile SOURCE FILE.xdb    (SOURCE - reads standard input)\n"
    "       xdbtool get FILE.xdb KEY\n"
    "       xdbtool put FILE.xdb KEY VALUE\n"
    "       xdbtool delete FILE.xdb KEY\n"
    "       xdbtool list FILE.xdb\n"
    "       xdbtool dump FILE.xdb\n"
    "KEY and VALUE take the escapes \\n, \\t, \\\\ and \\xHH.\n";

void Say(const char *file, const char *kind, const char *fmt, va_list ap) PRINTF_LIKE(3, 0);
void Say(const char *file, const char *kind, const char *fmt, va_list ap) {
    fprintf(stderr, "xdbtool: %s: %s", file, kind);
    vfprintf(stderr, fmt, ap);
    fputc('\n', stderr);
}

// "xdbtool: FILE: message"; 1.
int Fail(const char *file, const char *fmt, ...) PRINTF_LIKE(2, 3);
int Fail(const char *file, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    Say(file, "", fmt, ap);
    va_end(ap);
    return 1;
}

void Warn(const char *file, const char *fmt, ...) PRINTF_LIKE(2, 3);
void Warn(const char *file, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    Say(file, "warning: ", fmt, ap);
    va_end(ap);
}

void RemovePending(int sig) {
    const char *tmp = DbPendingRewrite();
    if (tmp[0])
        unlink(tmp);
    signal(sig, SIG_DFL);
    raise(sig);
}

void CatchSignals() {
    struct sigaction sa {};
    sa.sa_handler = RemovePending;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &sa, nullptr);
    signal(SIGXFSZ, SIG_IGN);  // a file size limit is a failed write with its reason

}

// All of a file, or of standard input for "-", in one pass into a block sized from
// fstat (a pipe grows it by half at a time). Null with errno set when unreadable.
char *ReadAll(const char *path, size_t *n) {
    int fd = strcmp(path, "-") == 0 ? dup(0) : open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return nullptr;
    std::unique_ptr<int, FdCloser> guard(&fd);
    struct stat sb;
    if (fstat(fd, &sb) != 0)
        return nullptr;
    if (S_ISDIR(sb.st_mode)) {
        errno = EISDIR;
        return nullptr;
    }
    if (strcmp(path, "-") != 0 && !S_ISREG(sb.st_mode)) {
        errno = EINVAL;
        return nullptr;
    }
    size_t cap = S_ISREG(sb.st_mode) ? static_cast<size_t>(sb.st_size) + 1 : 65536, len = 0;
    auto *data = static_cast<char *>(GetMem(static_cast<int>(cap)));
    for (;;) {
        if (!data) {
            errno = ENOMEM;
            return nullptr;
        }
        if (len == cap) {
            if (cap > 0x3FFFFFFF) {
                PutMem(data);
                errno = EFBIG;
                return nullptr;
            }
            cap += cap / 2;
            auto *grown = static_cast<char *>(AdjustMem(data, static_cast<int>(cap)));
            if (!grown)
                PutMem(data);
            data = grown;
            continue;
        }
        ssize_t r = read(fd, data + len, cap - len);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            int err = errno;
            PutMem(data);
            errno = err;
            return nullptr;
        }
        if (r == 0)
            break;
        len += static_cast<size_t>(r);
    }
    *n = len;
    return data;
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

// The handle of the file at path, by a name the library takes as it is: a relative
// path starts with "./"; an absolute one without a "." gets "/." in front, so that
// no ".xdb" is added.
DbT *OpenDbFile(const char *path, int flags) {
    char *name = path[0] != '/' ? SaveStr("./%s", path) : strchr(path, '.') ? SaveStr_(path) : SaveStr("/.%s", path);
    DbT *db = name ? DbTOpen(name, flags) : nullptr;
    PutMem(name);
    return db;
}

// 0 when the loaded file may be rewritten; otherwise 1 after a message saying why.
int Unsound(const char *path, const DbT *db) {
    if (db->LoadErr)
        return Fail(path, "cannot read: %s", DbLastError());
    if (db->DamagePos == 0 && db->Type == DBT_TYPE_LEGACY)
        return Fail(path, "not a record database (nothing readable from offset 0); left unchanged");
    if (db->DamagePos >= 0)
        return Fail(path, "damaged at offset %d; left unchanged (dump it to keep the records before)",
                    static_cast<int>(db->DamagePos));
    return 0;
}

// Opens the file for a change with the writer's lock held; null after a message.
DbT *OpenForChange(const char *path) {
    // one change: no decoded copy or index of the old content is needed
    DbPtr db(OpenDbFile(path, DBT_NOCHECK | DBT_NOWRITE | DBT_ONEPASS));
    if (!db) {
        Fail(path, "cannot read: %s", strerror(ENOMEM));
        return nullptr;
    }
    if (!DbTLock(db.get())) {
        Fail(path, "cannot write: %s", DbLastError());
        return nullptr;
    }
    if (Unsound(path, db.get()))
        return nullptr;
    return db.release();
}

int Commit(const char *path, DbT *db) {
    if (!DbmTArchiveDb(db))
        return Fail(path, "cannot write: %s", DbLastError());
    return 0;
}

// Where the target is a message database of a language other than English
// ("<language>/<name>" with a language folder such as fr_FR), values must be
// ISO-8859-1 text.
int SourceFlags(const char *target) {
    const char *slash = strrchr(target, '/');
    if (!slash)
        return 0;
    const char *dir = slash;
    while (dir > target && dir[-1] != '/')
        --dir;
    size_t n = static_cast<size_t>(slash - dir);
    bool lang = n >= 5 && dir[0] >= 'a' && dir[0] <= 'z' && dir[1] >= 'a' && dir[1] <= 'z' && dir[2] == '_' &&
                dir[3] >= 'A' && dir[3] <= 'Z' && dir[4] >= 'A' && dir[4] <= 'Z';
    return lang && strncmp(dir, "en", 2) != 0 ? DBTEXT_LATIN1 : 0;
}

void NoteChanges(const char *source, const DbSourceNotes &notes) {
    if (notes.Bom)
        Warn(source, "the byte-order mark at the start was dropped");
    if (notes.CrLines)
        Warn(source, "line %d: the CR of CRLF line ends was dropped (%d lines)", notes.FirstCrLine, notes.CrLines);
    if (notes.Converted)
        Warn(source, "line %d: UTF-8 text converted to ISO-8859-1 (%d values)", notes.FirstConverted,
             notes.Converted);
}

int CmdCompile(const char *source, const char *target) {
    size_t n = 0;
    MemPtr text(ReadAll(source, &n), PutMem);
    if (!text)
        return Fail(source, "cannot read: %s", strerror(errno));
    DbPtr db(OpenForChange(target));
    if (!db)
        return 1;
    db->Flags &= ~DBT_ONEPASS;  // the index finds repeated keys of the source
    DbTEmpty(db.get());
    DbTSetDbType(db.get(), DBT_TYPE_HEADERED);
    char err[160];
    DbSourceNotes notes;
    int records = DbCompileSourceAs(db.get(), text.get(), n, SourceFlags(target), &notes, err, sizeof err);
    NoteChanges(source, notes);
    if (records < 0)
        return Fail(source, "%s; %s left unchanged", err, target);
    return Commit(target, db.get());
}

int CmdChange(const char *target, const char *keyArg, const char *valueArg) {
    size_t keyLen = 0, valueLen = 0;
    MemPtr key(Unescaped(keyArg, &keyLen), PutMem);
    if (!key || keyLen == 0 || strlen(key.get()) != keyLen)
        return Fail(target, "bad key '%s' (empty, a NUL byte or a wrong escape)", keyArg);
    MemPtr value(valueArg ? Unescaped(valueArg, &valueLen) : nullptr, PutMem);
    if (valueArg && (!value || valueLen == 0))
        return Fail(target, "bad value '%s' (empty or a wrong escape)", valueArg);
    if (value && 2 + keyLen + 1 + valueLen > static_cast<size_t>(DBT_MAX_RECORD))
        return Fail(target, "cannot write: a record of %zu bytes, longer than the limit of %d bytes",
                    2 + keyLen + 1 + valueLen, DBT_MAX_RECORD);
    DbPtr db(OpenForChange(target));
    if (!db)
        return 1;
    if (value) {
        if (!DbmTPutRecord(db.get(), key.get(), value.get(), static_cast<int>(valueLen)))
            return Fail(target, "cannot write: the record was refused (%d records at most)", DBT_MAX_COUNT);
    } else if (!DbmTDeleteRecord(db.get(), key.get())) {
        return Fail(target, "no such key '%s'", keyArg);
    }
    return Commit(target, db.get());
}

void List(DbT *db) {
    DbTRecord rec;
    MemPtr key(static_cast<char *>(GetMem(DBT_MAX_RECORD)), PutMem);
    for (int more = WalkDbTRecords(db, &rec, 0); more && key; more = WalkDbTRecords(db, &rec, 1)) {
        DbTDecodeKey(db, &rec, key.get());
        MemPtr text(DbEscape(key.get(), static_cast<size_t>(rec.KeyLen - 1), 1), PutMem);
        if (text)
            printf("%s\n", text.get());
    }
}

int Get(const char *target, DbT *db, const char *keyArg) {
    size_t keyLen = 0;
    MemPtr key(Unescaped(keyArg, &keyLen), PutMem);
    DbTRecord rec;
    if (!key || strlen(key.get()) != keyLen || !FindTRecord(db, key.get(), &rec))
        return Fail(target, "no such key '%s'", keyArg);
    MemPtr value(static_cast<char *>(GetMem(rec.ValueLen > 0 ? rec.ValueLen : 1)), PutMem);
    if (!value)
        return Fail(target, "cannot read: %s", strerror(ENOMEM));
    DbTDecodeValue(db, &rec, value.get(), rec.ValueLen);
    fwrite(value.get(), 1, static_cast<size_t>(rec.ValueLen), stdout);
    putchar('\n');
    return 0;
}

int CmdRead(const char *cmd, const char *target, const char *keyArg) {
    struct stat sb;
    if (stat(target, &sb) != 0)
        return Fail(target, "cannot read: %s", strerror(errno));
    DbPtr db(OpenDbFile(target, DBT_NOCHECK | DBT_ONEPASS));
    if (!db)
        return Fail(target, "cannot read: %s", strerror(ENOMEM));
    if (db->LoadErr)
        return Fail(target, "cannot read: %s", DbLastError());
    int rc = 0;
    if (!strcmp(cmd, "get"))
        rc = Get(target, db.get(), keyArg);
    else if (!strcmp(cmd, "list"))
        List(db.get());
    else
        DbDumpSource(db.get(), stdout);
    if (fflush(stdout) != 0)
        rc = Fail("standard output", "cannot write: %s", strerror(errno));
    if (db->DamagePos >= 0) {
        Warn(target, "damaged at offset %d; only the records before it were read", static_cast<int>(db->DamagePos));
        rc = 1;
    }
    return rc;
}

}  // namespace

int main(int argc, char **argv) {
    const char *cmd = argc > 1 ? argv[1] : "";
    if (argc == 2 && (!strcmp(cmd, "--help") || !strcmp(cmd, "-h"))) {
        fputs(Usage, stdout);
        return 0;
    }
    flDbQuiet = 1;  // the tool names the file and the reason itself
    CatchSignals();
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
