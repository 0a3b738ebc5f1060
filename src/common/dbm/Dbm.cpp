// Dbm.cpp - legacy keyed record files, read and rewritten one operation at a time.
#include "Dbm.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "DbFile.h"
#include "Files.h"
#include "MemMgr.h"
#include "Sleep.h"
#include "StrUtils.h"

namespace {

// The record being read or written: length, key length, key, NUL, value.
unsigned char RecBuf[DBM_REC_BUF];
int NextRecord;  // DbmGetNextRecord's position; never reset

struct FileCloser {
    void operator()(FILE *f) const { fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

int RecLen(const unsigned char *buf) {
    uint16_t n;
    memcpy(&n, buf, 2);
    return n;
}

int KeyLen(const unsigned char *buf) {
    uint16_t n;
    memcpy(&n, buf + 2, 2);
    return n;
}

const char *KeyOf(const unsigned char *buf) {
    return reinterpret_cast<const char *>(buf + 4);
}

const unsigned char *ValueOf(const unsigned char *buf) {
    return buf + 4 + KeyLen(buf);
}

int ValueLen(const unsigned char *buf) {
    return RecLen(buf) - KeyLen(buf) - 2;
}

// Keys compare by length first, so a shorter stored key is never read past.
bool KeyMatches(const unsigned char *buf, const char *key, int prefixLen) {
    int kl = KeyLen(buf);
    if (prefixLen == 0) {
        size_t n = strlen(key) + 1;
        return static_cast<size_t>(kl) == n && memcmp(KeyOf(buf), key, n) == 0;
    }
    return kl >= prefixLen && memcmp(KeyOf(buf), key, static_cast<size_t>(prefixLen)) == 0;
}

FILE *OpenForReading(const char *name) {
    return name ? OpenDataBase(name, "xdb", "rb", 0) : nullptr;
}

// The first record with the key, left in RecBuf.
bool FindRecord(const char *name, const char *key) {
    if (!key)
        return false;
    FilePtr in(OpenForReading(name));
    if (!in)
        return false;
    while (GetData(in.get(), RecBuf) > 0)
        if (KeyMatches(RecBuf, key, 0))
            return true;
    return false;
}

int CopyValue(void *buf, size_t size) {
    int n = ValueLen(RecBuf);
    if (size > 0) {
        size_t cut = static_cast<size_t>(n) < size - 1 ? static_cast<size_t>(n) : size - 1;
        memcpy(buf, ValueOf(RecBuf), cut);
        static_cast<char *>(buf)[cut] = '\0';
    }
    return n;
}

// Copies the database without the matching records into a new temporary file,
// appends the new record when value is given, and renames the result into place;
// the writer's lock is held from the read to the rename.
int Rewrite(const char *name, const char *key, int prefixLen, const void *value, int length, bool missingOk) {
    char *path = DbFilePath(name, "xdb");
    std::unique_ptr<char, void (*)(void *)> pathGuard(path, PutMem);
    DbMakeParentDirs(path);
    int lock = DbLockFile(path);
    if (lock < 0) {
        if (!flDbQuiet)
            fprintf(stderr, "ERROR: Can't write to %s\n", name);
        return 0;
    }
    std::unique_ptr<int, void (*)(int *)> lockGuard(&lock, [](int *fd) { DbUnlock(*fd); });
    FilePtr in(OpenForReading(name));
    if (!in && !missingOk)
        return 0;
    char *tmp = nullptr, *target = nullptr;
    FILE *out = DbCreateRewriteFile(path, &tmp, &target);
    std::unique_ptr<char, void (*)(void *)> tmpGuard(tmp, PutMem), targetGuard(target, PutMem);
    if (!out) {
        if (!flDbQuiet)
            fprintf(stderr, "ERROR: Can't write to %s\n", name);
        return 0;
    }
    int ok = PurgeRecord(name, in.get(), out, key, prefixLen);
    in.reset();
    if (ok && value) {
        size_t kl = strlen(key) + 1;
        int rl = static_cast<int>(2 + kl) + length;
        auto r16 = static_cast<uint16_t>(rl), k16 = static_cast<uint16_t>(kl);
        memcpy(RecBuf, &r16, 2);
        memcpy(RecBuf + 2, &k16, 2);
        memcpy(RecBuf + 4, key, kl);
        memcpy(RecBuf + 4 + kl, value, static_cast<size_t>(length));
        ok = PutData(out, RecBuf);
    }
    return DbFinishRewrite(out, ok, tmp, target, name, nullptr);
}

char *AppendText(char *list, size_t *len, const char *text, size_t n) {
    auto *grown = static_cast<char *>(AdjustMem(list, static_cast<int>(*len + n + 1)));
    if (!grown) {
        PutMem(list);
        return nullptr;
    }
    memcpy(grown + *len, text, n);
    *len += n;
    grown[*len] = '\0';
    return grown;
}

}  // namespace

int PutData(FILE *f, unsigned char *buf) {
    if (!f || !buf)
        return 0;
    int n = RecLen(buf);
    if (n < 3)
        return 0;
    DbScramble(buf + 2, n);
    return fwrite(buf, 1, static_cast<size_t>(n) + 2, f) == static_cast<size_t>(n) + 2 ? 1 : 0;
}

int GetData(FILE *f, unsigned char *buf) {
    if (!f || !buf || fread(buf, 1, 2, f) != 2)
        return 0;
    int n = RecLen(buf);
    if (n < 3 || fread(buf + 2, 1, static_cast<size_t>(n), f) != static_cast<size_t>(n))
        return 0;
    DbUnscramble(buf + 2, n);
    int kl = KeyLen(buf);
    if (kl < 1 || kl + 2 > n || buf[4 + kl - 1] != 0)
        return 0;  // damage ends the file here
    return n;
}

FILE *OpenDataBase(const char *name, const char *ext, const char *mode, int flag) {
    if (!name || !ext || !mode)
        return nullptr;
    char *path = DbFilePath(name, ext);
    std::unique_ptr<char, void (*)(void *)> guard(path, PutMem);
    struct stat sb;
    if (stat(path, &sb) != 0 || !S_ISREG(sb.st_mode))
        return nullptr;  // opening a FIFO or a device could wait for ever
    for (int attempt = 1; attempt <= DBT_RETRIES; ++attempt) {
        errno = 0;
        if (FILE *f = OpenFile(nullptr, path, mode, flag))
            return f;
        if (!DbPassingError(errno))
            break;  // no permission and the like: waiting does not help
        if (attempt < DBT_RETRIES)
            SysSleep(1);
    }
    return nullptr;
}

FILE *OpenNewDataBase(const char *name) {
    if (!name)
        return nullptr;
    char *path = DbFilePath(name, "xdb_new");
    DbMakeParentDirs(path);
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    PutMem(path);
    FILE *f = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (!f && fd >= 0)
        close(fd);
    return f;
}

int RenameDataBase(const char *name, const char *oldExt, const char *newExt) {
    if (!name || !oldExt || !newExt)
        return 0;
    char *from = DbFilePath(name, oldExt);
    char *to = DbFilePath(name, newExt);
    int ok = rename(from, to) == 0;
    PutMem(from);
    PutMem(to);
    return ok;
}

int PurgeRecord(const char *name, FILE *in, FILE *out, const char *key, int prefixLen) {
    (void)name;
    if (!out || !key)
        return 0;
    if (!in)
        return 1;
    while (GetData(in, RecBuf) > 0) {
        if (KeyMatches(RecBuf, key, prefixLen))
            continue;
        if (!PutData(out, RecBuf))
            return 0;
    }
    return 1;
}

int DbmPutRecord(const char *name, const char *key, const void *value, int length) {
    if (!name || !key || !*key || !value || length <= 0)
        return 0;
    if (2 + strlen(key) + 1 + static_cast<size_t>(length) > static_cast<size_t>(DBT_MAX_RECORD))
        return 0;
    DbMakeLocalDir();
    return Rewrite(name, key, 0, value, length, true);
}

int DbmDeleteRecord(const char *name, const char *key) {
    if (!name || !key)
        return 0;
    return Rewrite(name, key, 0, nullptr, 0, false);
}

int DbmDeleteRecords(const char *name, const char *prefix) {
    if (!name || !prefix)
        return 0;
    return Rewrite(name, prefix, static_cast<int>(strlen(prefix)), nullptr, 0, false);
}

int DbmGetRecord(const char *name, const char *key, void *buf) {
    if (!buf || !FindRecord(name, key))
        return 0;
    int n = ValueLen(RecBuf);
    memcpy(buf, ValueOf(RecBuf), static_cast<size_t>(n));
    return n;
}

int DbmGetRecordN(const char *name, const char *key, void *buf, size_t size) {
    if (!buf || !FindRecord(name, key))
        return 0;
    return CopyValue(buf, size);
}

// Reads the record after the one the last call returned into RecBuf; false at the
// end of the file or when it cannot be read.
static bool ReadNextRecord(const char *name) {
    FilePtr in(OpenForReading(name));
    if (!in)
        return false;
    for (int pos = 0; GetData(in.get(), RecBuf) > 0; ++pos) {
        if (pos == NextRecord) {
            ++NextRecord;
            return true;
        }
    }
    return false;
}

int DbmGetNextRecordN(const char *name, void *buf, size_t size) {
    if (!buf || !ReadNextRecord(name))
        return 0;
    return CopyValue(buf, size);
}

int DbmGetNextRecord(const char *name, void *buf) {
    if (!buf || !ReadNextRecord(name))
        return 0;
    int n = ValueLen(RecBuf);
    memcpy(buf, ValueOf(RecBuf), static_cast<size_t>(n));
    return n;
}

int DbmGetRecordSize(const char *name, const char *key) {
    return FindRecord(name, key) ? ValueLen(RecBuf) : 0;
}

char *DbmGetRecordList(const char *name, const char *prefix, const char *suffix) {
    FilePtr in(OpenForReading(name));
    if (!in)
        return nullptr;
    if (!prefix)
        prefix = "";
    if (!suffix)
        suffix = "";
    size_t len = 0;
    char *list = AppendText(nullptr, &len, "", 0);
    while (list && GetData(in.get(), RecBuf) > 0) {
        list = AppendText(list, &len, prefix, strlen(prefix));
        if (list)
            list = AppendText(list, &len, KeyOf(RecBuf), strlen(KeyOf(RecBuf)));
    }
    return list ? AppendText(list, &len, suffix, strlen(suffix)) : nullptr;
}

char *DbmGetDbList(const char *separator) {
    char *dir = SaveStr("%s/db", DbToolPath());
    char *files = GetDirFileList(dir);
    PutMem(dir);
    if (!files)
        return nullptr;
    size_t len = 0;
    char *list = AppendText(nullptr, &len, "", 0);
    const char *join = separator ? " " : ",";
    for (char *word = strtok(files, " "); word && list; word = strtok(nullptr, " ")) {
        char *dot = strchr(word, '.');
        if (!dot || dot == word || strcmp(dot, ".xdb") != 0)
            continue;
        if (len > 0)
            list = AppendText(list, &len, join, 1);
        if (list)
            list = AppendText(list, &len, word, static_cast<size_t>(dot - word));
    }
    PutMem(files);
    return list;
}

int DbmCopyRecord(const char *name, const char *srcKey, const char *dstKey) {
    if (!dstKey || !FindRecord(name, srcKey))
        return 0;
    int n = ValueLen(RecBuf);
    if (n <= 0)
        return 0;
    auto *value = static_cast<unsigned char *>(GetMem(n));
    if (!value)
        return 0;
    memcpy(value, ValueOf(RecBuf), static_cast<size_t>(n));
    int result = DbmPutRecord(name, dstKey, value, n);
    PutMem(value);
    return result;
}

DbLink *DbmGetDbLinkList(const char *name, const char *text) {
    if (!text)
        return nullptr;
    FilePtr in(OpenForReading(name));
    if (!in)
        return nullptr;
    DbLink *first = nullptr, **tail = &first;
    while (GetData(in.get(), RecBuf) > 0) {
        if (!strstr(KeyOf(RecBuf), text))
            continue;
        int kl = KeyLen(RecBuf), vl = ValueLen(RecBuf);
        auto *node = static_cast<DbLink *>(GetMem(sizeof(DbLink)));
        auto *copy = static_cast<char *>(GetMem(kl + vl));
        if (!node || !copy) {
            PutMem(node);
            PutMem(copy);
            break;
        }
        memcpy(copy, KeyOf(RecBuf), static_cast<size_t>(kl + vl));
        node->pKey = copy;
        node->pValue = copy + kl;
        node->ValueLen = vl;
        *tail = node;
        tail = &node->pNext;
    }
    return first;
}

void DbmFreeDbLinkList(DbLink *first) {
    while (first) {
        DbLink *next = first->pNext;
        PutMem(first->pKey);
        PutMem(first);
        first = next;
    }
}

void DumpDbm(const char *name) {
    if (!name)
        return;
    char *path = SaveStr("%s.db", name);
    FilePtr in(fopen(path, "rb"));
    PutMem(path);
    if (!in)
        return;
    while (int n = GetData(in.get(), RecBuf)) {
        printf("%i %i ==>{", n, KeyLen(RecBuf));
        for (int i = 4; i < n + 2; ++i) {
            unsigned char c = RecBuf[i];
            putchar(c >= 0x20 && c < 0x7F ? c : '.');
        }
        printf("}\n");
    }
}

void DbmCreate(const char *, int) {}

void DbmDelete(const char *, int) {}
