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

// The length of the UTF-8 sequence at p (n bytes left) and its code point; 0 when
// the bytes are not UTF-8.
int Utf8At(const unsigned char *p, size_t n, unsigned *cp) {
    int len = p[0] >= 0xF0 && p[0] < 0xF5 ? 4 : p[0] >= 0xE0 ? 3 : p[0] >= 0xC2 && p[0] < 0xE0 ? 2 : 0;
    if (len == 0 || static_cast<size_t>(len) > n)
        return 0;
    unsigned c = p[0] & (0x7F >> len);
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (p[i] & 0x3F);
    }
    if ((len == 3 && c < 0x800) || (len == 4 && (c < 0x10000 || c > 0x10FFFF)) || (c >= 0xD800 && c < 0xE000))
        return 0;
    *cp = c;
    return len;
}

// A value with bytes above 0x7F that reads as UTF-8 becomes ISO-8859-1 in place:
// 1 converted, 0 left as it is (plain ASCII, or not UTF-8: ISO-8859-1 already), -1
// with *bad set when a character has no ISO-8859-1 form.
int ToLatin1(char *v, size_t *n, unsigned *bad) {
    auto *p = reinterpret_cast<unsigned char *>(v);
    bool high = false;
    for (size_t i = 0; i < *n;) {
        unsigned cp;
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        int len = Utf8At(p + i, *n - i, &cp);
        if (len == 0)
            return 0;
        high = true;
        i += static_cast<size_t>(len);
    }
    if (!high)
        return 0;
    size_t o = 0;
    for (size_t i = 0; i < *n;) {
        unsigned cp = p[i];
        int len = p[i] < 0x80 ? 1 : Utf8At(p + i, *n - i, &cp);
        if (cp > 0xFF) {
            *bad = cp;
            return -1;
        }
        p[o++] = static_cast<unsigned char>(cp);
        i += static_cast<size_t>(len);
    }
    *n = o;
    return 1;
}

struct LineState {
    int Flags;
    bool Exact;
    int LineNo;
    DbSourceNotes *Notes;
    char *Reason;  // room for a reason that needs numbers
    size_t ReasonSize;
    char *Buf;     // the decoded key and value of a line (GetMem, grown as needed)
    size_t BufSize;
};

// Checks and stores one "key<TAB>value" line; the reason on failure.
const char *CompileLine(DbT *db, const char *line, size_t n, LineState &st) {
    const char *tab = static_cast<const char *>(memchr(line, '\t', n));
    if (!tab)
        return "no tab between key and value";
    size_t keyIn = static_cast<size_t>(tab - line), valueIn = n - keyIn - 1;
    if (keyIn + valueIn > 4 * static_cast<size_t>(DBT_MAX_RECORD))
        return "record longer than 65535 bytes";
    if (n + 2 > st.BufSize) {
        auto *grown = static_cast<char *>(AdjustMem(st.Buf, static_cast<int>(n + 2)));
        if (!grown)
            return "out of memory";
        st.Buf = grown;
        st.BufSize = n + 2;
    }
    char *key = st.Buf, *value = st.Buf + keyIn + 1;
    size_t keyLen, valueLen;
    if (!DbUnescape(line, keyIn, key, &keyLen))
        return "bad escape in the key";
    if (!DbUnescape(tab + 1, valueIn, value, &valueLen))
        return "bad escape in the value";
    if (2 + keyLen + 1 + valueLen > static_cast<size_t>(DBT_MAX_RECORD)) {
        snprintf(st.Reason, st.ReasonSize, "record of %zu bytes, longer than the limit of %d bytes",
                 2 + keyLen + 1 + valueLen, DBT_MAX_RECORD);
        return st.Reason;
    }
    if (st.Exact) {
        if (!DbTAppendRecord(db, key, static_cast<int>(keyLen), value, static_cast<int>(valueLen)))
            return "record refused";
        return nullptr;
    }
    if (keyLen == 0)
        return "empty key";
    if (memchr(key, '\0', keyLen))
        return "NUL byte in the key";
    if (valueLen == 0)
        return "empty value";
    unsigned bad = 0;
    int conv = (st.Flags & DBTEXT_LATIN1) ? ToLatin1(value, &valueLen, &bad) : 0;
    if (conv < 0) {
        snprintf(st.Reason, st.ReasonSize, "character U+%04X has no ISO-8859-1 form", bad);
        return st.Reason;
    }
    if (conv > 0 && st.Notes && st.Notes->Converted++ == 0)
        st.Notes->FirstConverted = st.LineNo;
    key[keyLen] = '\0';
    if (DbmTGetRecordSize(db, key) > 0)
        return "key given twice";
    if (!DbTAppendRecord(db, key, static_cast<int>(keyLen), value, static_cast<int>(valueLen)))
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
    return DbCompileSourceAs(db, text, n, 0, nullptr, err, errSize);
}

int DbCompileSourceAs(DbT *db, const char *text, size_t n, int flags, DbSourceNotes *notes, char *err,
                      size_t errSize) {
    if (err && errSize > 0)
        err[0] = '\0';
    if (notes)
        *notes = DbSourceNotes{};
    if (!db || !text)
        return -1;
    if (n >= 3 && memcmp(text, "\xEF\xBB\xBF", 3) == 0) {
        text += 3;
        n -= 3;
        if (notes)
            notes->Bom = 1;
    }
    char reason[96];
    LineState st{flags, false, 0, notes, reason, sizeof reason, nullptr, 0};
    struct BufOwner {
        LineState &State;
        ~BufOwner() { PutMem(State.Buf); }
    } owner{st};
    size_t exactLen = strlen(DBTEXT_EXACT);
    int records = 0;
    for (size_t pos = 0; pos < n;) {
        const char *line = text + pos;
        const char *nl = static_cast<const char *>(memchr(line, '\n', n - pos));
        size_t len = nl ? static_cast<size_t>(nl - line) : n - pos;
        pos += len + 1;
        ++st.LineNo;
        if (nl && len > 0 && line[len - 1] == '\r') {
            --len;
            if (notes && notes->CrLines++ == 0)
                notes->FirstCrLine = st.LineNo;
        }
        if (st.LineNo == 1 && len == exactLen && memcmp(line, DBTEXT_EXACT, len) == 0)
            st.Exact = true;
        if (len == 0 || line[0] == '#')
            continue;
        const char *why = CompileLine(db, line, len, st);
        if (why) {
            if (err)
                snprintf(err, errSize, "line %d: %s", st.LineNo, why);
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
    fprintf(out, "%s\n", DBTEXT_EXACT);
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
