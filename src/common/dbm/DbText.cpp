// DbText.cpp - the source format of record databases: escapes, compile and dump.
#include "DbText.h"

#include <cstring>
#include <memory>

#include "DbmT.h"
#include "MemMgr.h"

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

using MemPtr = std::unique_ptr<char, void (*)(void *)>;

// Checks and stores one "key<TAB>value" line; the reason on failure.
const char *CompileLine(DbT *db, const char *line, size_t n) {
    const char *tab = static_cast<const char *>(memchr(line, '\t', n));
    if (!tab)
        return "no tab between key and value";
    size_t keyIn = static_cast<size_t>(tab - line), valueIn = n - keyIn - 1;
    if (keyIn + valueIn > 4 * static_cast<size_t>(DBT_MAX_RECORD))
        return "record longer than 65535 bytes";
    MemPtr key(static_cast<char *>(GetMem(static_cast<int>(keyIn + 1))), PutMem);
    MemPtr value(static_cast<char *>(GetMem(static_cast<int>(valueIn + 1))), PutMem);
    if (!key || !value)
        return "out of memory";
    size_t keyLen, valueLen;
    if (!DbUnescape(line, keyIn, key.get(), &keyLen))
        return "bad escape in the key";
    if (!DbUnescape(tab + 1, valueIn, value.get(), &valueLen))
        return "bad escape in the value";
    if (keyLen == 0)
        return "empty key";
    if (memchr(key.get(), '\0', keyLen))
        return "NUL byte in the key";
    if (valueLen == 0)
        return "empty value";
    if (2 + keyLen + 1 + valueLen > static_cast<size_t>(DBT_MAX_RECORD))
        return "record longer than 65535 bytes";
    key.get()[keyLen] = '\0';
    if (DbmTGetRecordSize(db, key.get()) > 0)
        return "key given twice";
    if (!DbmTPutRecord(db, key.get(), value.get(), static_cast<int>(valueLen)))
        return "record refused";
    return nullptr;
}

}  // namespace

int DbUnescape(const char *text, size_t n, char *out, size_t *outLen) {
    size_t o = 0;
    for (size_t i = 0; i < n; ++i) {
        if (text[i] != '\\') {
            out[o++] = text[i];
            continue;
        }
        if (++i >= n)
            return 0;
        switch (text[i]) {
        case 'n': out[o++] = '\n'; break;
        case 't': out[o++] = '\t'; break;
        case '\\': out[o++] = '\\'; break;
        case 'x': {
            int hi = i + 1 < n ? HexDigit(text[i + 1]) : -1;
            int lo = i + 2 < n ? HexDigit(text[i + 2]) : -1;
            if (hi < 0 || lo < 0)
                return 0;
            out[o++] = static_cast<char>(hi * 16 + lo);
            i += 2;
            break;
        }
        default:
            return 0;
        }
    }
    *outLen = o;
    return 1;
}

char *DbEscape(const void *data, size_t n, int isKey) {
    const auto *p = static_cast<const unsigned char *>(data);
    auto *out = static_cast<char *>(GetMem(static_cast<int>(n * 4 + 1)));
    if (!out)
        return nullptr;
    size_t o = 0;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = p[i];
        if (c == '\\' || c == '\n' || c == '\t') {
            out[o++] = '\\';
            out[o++] = c == '\\' ? '\\' : (c == '\n' ? 'n' : 't');
        } else if (c < 0x20 || c == 0x7F || (isKey && i == 0 && c == '#')) {
            o += static_cast<size_t>(snprintf(out + o, 5, "\\x%02X", c));
        } else {
            out[o++] = static_cast<char>(c);
        }
    }
    out[o] = '\0';
    return out;
}

int DbCompileSource(DbT *db, const char *text, size_t n, char *err, size_t errSize) {
    if (err && errSize > 0)
        err[0] = '\0';
    if (!db || !text)
        return -1;
    int records = 0, lineNo = 0;
    for (size_t pos = 0; pos < n;) {
        const char *line = text + pos;
        const char *nl = static_cast<const char *>(memchr(line, '\n', n - pos));
        size_t len = nl ? static_cast<size_t>(nl - line) : n - pos;
        pos += len + 1;
        ++lineNo;
        if (len == 0 || line[0] == '#')
            continue;
        const char *reason = CompileLine(db, line, len);
        if (reason) {
            if (err)
                snprintf(err, errSize, "line %d: %s", lineNo, reason);
            return -1;
        }
        ++records;
    }
    return records;
}

int DbDumpSource(DbT *db, FILE *out) {
    if (!db || !out)
        return 0;
    MemPtr key(static_cast<char *>(GetMem(DBT_MAX_RECORD)), PutMem);
    MemPtr value(static_cast<char *>(GetMem(DBT_MAX_RECORD)), PutMem);
    if (!key || !value)
        return 0;
    int records = 0;
    DbTRecord rec;
    for (int more = WalkDbTRecords(db, &rec, 0); more; more = WalkDbTRecords(db, &rec, 1)) {
        DbTDecodeKey(db, &rec, key.get());
        DbTDecodeValue(db, &rec, value.get(), rec.ValueLen);
        MemPtr k(DbEscape(key.get(), static_cast<size_t>(rec.KeyLen - 1), 1), PutMem);
        MemPtr v(DbEscape(value.get(), static_cast<size_t>(rec.ValueLen), 0), PutMem);
        if (k && v)
            fprintf(out, "%s\t%s\n", k.get(), v.get());
        ++records;
    }
    return records;
}
