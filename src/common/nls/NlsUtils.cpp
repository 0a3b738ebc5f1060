// NlsUtils.cpp - database language, translation files and message fetches.
#include "NlsUtils.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "DbmT.h"
#include "Buffers.h"
#include "MemMgr.h"
#include "StrUtils.h"

DbT *pDrvCoreDB = nullptr;
DbT *pPrtCoreDB = nullptr;
DbT *pPrtHelpDB = nullptr;
char *pNLSLang = nullptr;

namespace {

constexpr int FETCH_BUF_SIZE = 65536;  // any record value fits
constexpr int MAX_TRANS_FILE = 1 << 24;
constexpr int MAX_CONVERSIONS = 64;

struct NlsState {
    char *pTransTable;       // normalised translation text, or null
    bool flTransDone;        // the table was computed (even when there is none)
    char *pErrorText;        // the shared "Error", never released
    char *pKeyText;          // key text of the last fetch (GetMem, grown as needed)
    int KeyCap;
    char LongBuf[NLS_LONG_BUF];
    char FetchBuf[FETCH_BUF_SIZE];
    char SigBuf[NLS_SIG_SIZE];
};
NlsState Nls;

const char *ErrorText() {
    if (!Nls.pErrorText)
        Nls.pErrorText = SaveStr_("Error");
    return Nls.pErrorText;
}

char *SetKeyText(const char *key) {
    int n = static_cast<int>(strlen(key));
    if (n + 1 > Nls.KeyCap) {
        auto *grown = static_cast<char *>(AdjustMem(Nls.pKeyText, n + 1));
        if (!grown)
            return Nls.pKeyText;  // the previous key text stays (GetMem reported it)
        Nls.pKeyText = grown;
        Nls.KeyCap = n + 1;
    }
    memcpy(Nls.pKeyText, key, static_cast<size_t>(n) + 1);
    return Nls.pKeyText;
}

size_t CopyOut(char *buf, size_t size, const char *text, size_t len) {
    if (buf && size > 0) {
        size_t n = len < size - 1 ? len : size - 1;
        memcpy(buf, text, n);
        buf[n] = '\0';
    }
    return len;
}

char *SaveBytes(const char *p, int n) {
    auto *copy = static_cast<char *>(GetMem(n > 0 ? n : 1));
    if (copy)
        memcpy(copy, p, static_cast<size_t>(n));
    return copy;
}

// Conversion signatures ------------------------------------------------------

// Class letter of one conversion: i int, l long, L long long, j intmax_t, z size_t,
// t ptrdiff_t, d double, D long double, s string, p pointer; 0 for one that is
// refused, '-' for one that takes no argument.
char ConversionClass(const char *len, char conv) {
    bool none = !*len, h = !strcmp(len, "h") || !strcmp(len, "hh"), l = !strcmp(len, "l");
    bool ll = !strcmp(len, "ll") || !strcmp(len, "q");
    switch (conv) {
    case 'd': case 'i': case 'o': case 'u': case 'x': case 'X':
        if (none || h) return 'i';
        if (l) return 'l';
        if (ll) return 'L';
        if (!strcmp(len, "j")) return 'j';
        if (!strcmp(len, "z") || !strcmp(len, "Z")) return 'z';
        if (!strcmp(len, "t")) return 't';
        return 0;
    case 'c': return none ? 'i' : 0;
    case 's': return none ? 's' : 0;
    case 'p': return none ? 'p' : 0;
    case 'm': return none ? '-' : 0;
    case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': case 'a': case 'A':
        if (none || l) return 'd';
        if (!strcmp(len, "L")) return 'D';
        return 0;
    default: return 0;  // n, wide forms, unknown letters, the end of the text
    }
}

// Reads "*" or digits of a width or precision; a "*" takes an int argument.
bool ReadCount(const char **pp, char *sig, int *n) {
    const char *p = *pp;
    if (*p == '*') {
        ++p;
        if (*p >= '0' && *p <= '9')
            return false;  // "*n$": positional
        if (*n >= MAX_CONVERSIONS)
            return false;
        sig[(*n)++] = 'i';
    } else {
        while (*p >= '0' && *p <= '9')
            ++p;
        if (*p == '$')
            return false;
    }
    *pp = p;
    return true;
}

// The argument classes a format consumes, in order; false for a format that cannot
// be used with arguments safely (%n, positional or unknown conversions).
bool Signature(const char *fmt, char *sig, int *n) {
    *n = 0;
    for (const char *p = fmt; *p; ++p) {
        if (*p != '%')
            continue;
        ++p;
        if (*p == '%')
            continue;
        while (*p && strchr("-+ #0'I", *p))
            ++p;
        if (!ReadCount(&p, sig, n))
            return false;
        if (*p == '.') {
            ++p;
            if (!ReadCount(&p, sig, n))
                return false;
        }
        char len[3] = {0, 0, 0};
        for (int k = 0; k < 2 && *p && strchr("hlLqjzZt", *p); ++k)
            len[k] = *p++;
        char cls = ConversionClass(len, *p);
        if (cls == 0)
            return false;
        if (cls != '-') {
            if (*n >= MAX_CONVERSIONS)
                return false;
            sig[(*n)++] = cls;
        }
    }
    return true;
}

struct ExpectedRow {
    int Group, Number;
    const char *Format;
};
// Messages printed with arguments, with the arguments their callers pass.
const ExpectedRow Expected[] = {
    {25, 203, "%s"},    {25, 204, "%s"},      {25, 207, "%i%i"}, {25, 208, "%i%i"},
    {25, 510, "%s%s%s"}, {25, 1002, "%c"},    {25, 1003, "%i%i"}, {25, 1006, "%c"},
    {25, 1007, "%c%s"}, {25, 1008, "%c%s"},   {25, 1009, "%s"},  {25, 1017, "%s"},
    {25, 1018, "%s"},   {30, 22, "%s"},       {30, 42, "%i%i"},  {30, 44, "%i%i"},
};

// Translation table ------------------------------------------------------------

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0';
}

struct TransOut {
    char *Text;
    int Len;
    bool Full;
    void Put(const char *p, int n) {
        for (int i = 0; i < n && !Full; ++i) {
            if (Len >= NLS_TRANS_MAX - 1) {
                Full = true;
                break;
            }
            Text[Len++] = p[i];
        }
    }
};

const char *MakeTransTable() {
    if (Nls.flTransDone)
        return Nls.pTransTable;
    Nls.flTransDone = true;
    Nls.pTransTable = ParseTransFile("trans.conf");
    if (Nls.pTransTable)
        return Nls.pTransTable;
    if (!pDrvCoreDB) {
        pDrvCoreDB = DbTOpen("en_US/CoreString", 0);
        if (pDrvCoreDB && pDrvCoreDB->Type == DBT_TYPE_NONE) {
            DbTClose(pDrvCoreDB);  // no English database to read the table from
            pDrvCoreDB = nullptr;
        }
    }
    if (!pDrvCoreDB)
        return nullptr;
    char *text = NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_KEY, "999_1");
    if (!NlsIsMissing(text))
        Nls.pTransTable = SaveStr_(text);
    NlsFreeString(text);
    return Nls.pTransTable;
}

// The word at p (delimiters in delims or a line end), saved; null when none.
char *WordAt(const char *p, const char *delims) {
    while (*p && strchr(delims, *p))
        ++p;
    size_t n = 0;
    while (p[n] && p[n] != '\n' && !strchr(delims, p[n]))
        ++n;
    if (n == 0)
        return nullptr;
    auto *word = static_cast<char *>(GetMem(static_cast<int>(n)));
    if (word)
        memcpy(word, p, n);
    return word;
}

char *DefaultLanguage(const char *table) {
    const char *p = strstr(table, "Default");
    if (!p)
        return nullptr;
    p += 7;
    if (*p == '\n' || !*p)
        return nullptr;
    while (*p && *p != ' ' && *p != '\n')
        ++p;
    while (*p == ' ' || *p == '\t')
        ++p;
    if (!*p || *p == '\n' || *p == '\r')
        return nullptr;
    return WordAt(p, " \t\r");
}

}  // namespace

// Language and translation file --------------------------------------------------

char *ParseTransText(const char *text, size_t n) {
    auto *out = static_cast<char *>(GetMem(NLS_TRANS_MAX));
    if (!out)
        return nullptr;
    TransOut o{out, 0, false};
    bool afterDefault = false;
    size_t i = 0;
    while (i < n && !o.Full) {
        char c = text[i];
        if (c == '#') {  // a comment runs to the nearer of CR and LF
            while (i < n && text[i] != '\r' && text[i] != '\n')
                ++i;
            continue;  // without a line end it ended the text
        }
        if (c == '=') {
            o.Put("= ", 2);
            ++i;
            continue;
        }
        if (IsBlank(c)) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < n && !IsBlank(text[j]) && text[j] != '=' && text[j] != '#')
            ++j;
        o.Put(text + i, static_cast<int>(j - i));
        bool atLineEnd = j < n && text[j] == '\n';
        o.Put(afterDefault || atLineEnd ? "\n" : " ", 1);
        afterDefault = (j - i == 7 && memcmp(text + i, "Default", 7) == 0);
        i = j;
    }
    out[o.Len] = '\0';
    return out;
}

char *ParseTransFile(const char *name) {
    if (!name)
        return nullptr;
    char *path = SaveStr("%s/%s", pToolPath ? pToolPath : ".", name);
    FILE *f = fopen(path, "rb");
    PutMem(path);
    if (!f)
        return nullptr;
    std::unique_ptr<FILE, int (*)(FILE *)> guard(f, fclose);
    char *data = nullptr;
    int len = 0;
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, f)) > 0 && len < MAX_TRANS_FILE) {
        auto *grown = static_cast<char *>(AdjustMem(data, len + static_cast<int>(got)));
        if (!grown) {
            PutMem(data);
            return nullptr;
        }
        data = grown;
        memcpy(data + len, chunk, got);
        len += static_cast<int>(got);
    }
    if (ferror(f)) {
        PutMem(data);
        return nullptr;
    }
    char *table = ParseTransText(data ? data : "", static_cast<size_t>(len));
    PutMem(data);
    return table;
}

char *NlsChooseLanguage(const char *table, const char *lang) {
    char *searchKey = SaveStr(" %s ", lang);
    const char *hit = strstr(table, searchKey);
    PutMem(searchKey);
    if (!hit) {
        char *def = DefaultLanguage(table);
        return def ? def : SaveStr_("en_US");
    }
    const char *eq = hit;
    while (eq > table && *eq != '=')
        --eq;
    if (*eq != '=')
        return SaveStr_("en_US");
    const char *line = eq;
    while (line > table && line[-1] != '\n')
        --line;
    char *word = WordAt(line, " =");
    return word ? word : SaveStr_("en_US");
}

char *GetDesiredNLSLang() {
    if (pNLSLang)
        return pNLSLang;
    const char *lang = getenv("LANG");
    if (!lang)
        lang = "___LANG_NOT_SET___";
    const char *table = MakeTransTable();
    pNLSLang = table ? NlsChooseLanguage(table, lang) : SaveStr_("en_US");
    return pNLSLang;
}

void NlsResetLang() {
    PutMem(pNLSLang);
    pNLSLang = nullptr;
    PutMem(Nls.pTransTable);
    Nls.pTransTable = nullptr;
    Nls.flTransDone = false;
}

DbT *NlsOpenDB(const char *name, int flags) {
    if (!name)
        return nullptr;
    const char *lang = GetDesiredNLSLang();
    char *dbName = SaveStr("%s/%s", lang, name);
    DbT *db = DbTOpen(dbName, flags);
    PutMem(dbName);
    if (db && db->Type == DBT_TYPE_NONE && strncmp(lang, "en_US", 5) == 0) {
        fprintf(stderr, "ERROR:  Could not open English database:  %s/db/%s/%s.xdb\n",
                pToolPath ? pToolPath : ".", lang, name);
        DbTClose(db);
        return nullptr;
    }
    return db;
}

// Fetches ------------------------------------------------------------------------------

char *NlsFetchStringV(DbT *db, char *buf, size_t size, size_t *full, int mode, va_list ap) {
    bool numbered = mode == NLS_BY_NUMBER || mode == NLS_BY_NUMBER_LONG;
    int group = 0, number = 0;
    char *key;
    if (numbered) {
        group = va_arg(ap, int);
        number = va_arg(ap, int);
        char text[32];
        snprintf(text, sizeof text, "%d_%d", group, number);
        key = SetKeyText(text);
    } else {
        const char *given = va_arg(ap, const char *);
        key = SetKeyText(given ? given : "");
    }
    size_t dummy;
    if (!full)
        full = &dummy;
    if (!db && (!numbered || (group == 0 && number == 0))) {
        const char *error = ErrorText();
        *full = CopyOut(buf, size, error, strlen(error));
        return const_cast<char *>(error);
    }
    if (db && mode == NLS_BY_NUMBER_LONG) {
        char *p = Nls.LongBuf;
        int n = DbmTGetRecordV(db, key, &p, NLS_LONG_BUF);
        if (n > 0) {
            char *copy = p == Nls.LongBuf ? SaveBytes(Nls.LongBuf, n) : p;
            if (copy) {
                *full = strlen(copy);
                return copy;
            }
        }
    } else if (db) {
        int n = DbmTGetRecordN(db, key, Nls.FetchBuf, sizeof Nls.FetchBuf);
        if (n > 0) {
            size_t len = strnlen(Nls.FetchBuf, static_cast<size_t>(n));
            if (buf) {
                *full = CopyOut(buf, size, Nls.FetchBuf, len);
                return buf;
            }
            char *copy = SaveBytes(Nls.FetchBuf, n);
            if (copy) {
                *full = len;
                return copy;
            }
        }
    }
    *full = CopyOut(buf, size, key, strlen(key));
    return key;
}

char *NlsFetchStringN(DbT *db, char *buf, size_t size, size_t *full, int mode, ...) {
    va_list ap;
    va_start(ap, mode);
    char *text = NlsFetchStringV(db, buf, size, full, mode, ap);
    va_end(ap);
    return text;
}

char *NlsFetchString(DbT *db, char *buf, int mode, ...) {
    va_list ap;
    va_start(ap, mode);
    char *text = NlsFetchStringV(db, buf, buf ? NLS_FETCH_UNSIZED : 0, nullptr, mode, ap);
    va_end(ap);
    return text;
}

int NlsIsMissing(const char *text) {
    return text && (text == Nls.pKeyText || text == Nls.pErrorText);
}

void NlsFreeString(char *text) {
    if (!text || NlsIsMissing(text) || text == Nls.LongBuf || text == Nls.FetchBuf)
        return;
    PutMem(text);
}

char *NlsFetchMenuText(int number) {
    char *text = NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, number);
    char *copy = SaveStr_(text);
    NlsFreeString(text);
    return copy;
}

// Formatted output -----------------------------------------------------------------------

int NlsFormatMatches(const char *text, const char *expected) {
    if (!text || !expected)
        return 0;
    char got[MAX_CONVERSIONS], want[MAX_CONVERSIONS];
    int ng, nw;
    if (!Signature(text, got, &ng) || !Signature(expected, want, &nw) || ng > nw)
        return 0;
    return memcmp(got, want, static_cast<size_t>(ng)) == 0 ? 1 : 0;
}

const char *NlsExpectedFormat(int group, int number) {
    for (const ExpectedRow &row : Expected)
        if (row.Group == group && row.Number == number)
            return row.Format;
    return "";
}

int Nlsfprintf(FILE *stream, DbT *db, int group, int number, ...) {
    if (!stream)
        return -1;
    char key[32];
    snprintf(key, sizeof key, "%d_%d", group, number);
    char *text = NlsFetchString(db, nullptr, NLS_BY_KEY, key);
    int result;
    if (text == Nls.pKeyText || !NlsFormatMatches(text, NlsExpectedFormat(group, number))) {
        result = fputs("Error", stream) < 0 ? -1 : 5;
    } else {
        va_list ap;
        va_start(ap, number);
        result = vfprintf(stream, text, ap);
        va_end(ap);
    }
    NlsFreeString(text);
    return result;
}

int Nlssprintf(char *buf, size_t size, DbT *db, int group, int number, ...) {
    char *text = NlsFetchString(db, nullptr, NLS_BY_NUMBER, group, number);
    int result;
    if (text == Nls.pKeyText || !NlsFormatMatches(text, NlsExpectedFormat(group, number))) {
        result = snprintf(buf, buf ? size : 0, "%s", "Error");
    } else {
        va_list ap;
        va_start(ap, number);
        result = vsnprintf(buf, buf ? size : 0, text, ap);
        va_end(ap);
    }
    NlsFreeString(text);
    return result;
}

int NlsPrintChecked(FILE *stream, const char *text, const char *fallback, const char *english, ...) {
    if (!stream)
        return -1;
    if (!NlsFormatMatches(text, english)) {
        const char *plain = fallback ? fallback : "Error";
        return fputs(plain, stream) < 0 ? -1 : static_cast<int>(strlen(plain));
    }
    va_list ap;
    va_start(ap, english);
    int result = vfprintf(stream, text, ap);
    va_end(ap);
    return result;
}

int NlsVFormatChecked(char *buf, size_t size, const char *text, const char *fallback,
                      const char *english, va_list ap) {
    if (!buf)
        size = 0;
    if (!NlsFormatMatches(text, english))
        return snprintf(buf, size, "%s", fallback ? fallback : "Error");
    return vsnprintf(buf, size, text, ap);
}

int NlsFormatChecked(char *buf, size_t size, const char *text, const char *fallback,
                     const char *english, ...) {
    va_list ap;
    va_start(ap, english);
    int result = NlsVFormatChecked(buf, size, text, fallback, english, ap);
    va_end(ap);
    return result;
}

// Conversions of texts ---------------------------------------------------------------------

int NlsGuiStrCvt(const char *source, int group, char *out, size_t size) {
    if (out && size > 0)
        memset(out, 0, size);
    if (!source)
        return 0;
    size_t len = 0;
    int next = 1;
    auto put = [&](const char *p, size_t n) {
        if (out && size > 0 && len < size - 1) {
            size_t room = size - 1 - len;
            memcpy(out + len, p, n < room ? n : room);
        }
        len += n;
    };
    for (const char *p = source; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            char message[1024];
            const char *text = NlsFetchStringN(pDrvCoreDB, message, sizeof message, nullptr,
                                               NLS_BY_NUMBER, group, next++);
            put(text, strlen(text));
            ++p;
        } else {
            put(p, 1);
        }
    }
    return static_cast<int>(len);
}

char *NlsCalcStrVal(const char *text) {
    uint32_t a = 0, b = 0, i = 1;
    for (const char *p = text ? text : ""; *p; ++p, ++i) {
        auto c = static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
        a += c;
        b += c * i * i;
    }
    snprintf(Nls.SigBuf, sizeof Nls.SigBuf, "%08X%08X", b, a);
    return Nls.SigBuf;
}
