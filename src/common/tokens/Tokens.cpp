// Tokens.cpp - the shared tokenizer, keyword-list lookups and the keyboard line reader.
#include "Tokens.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>

#include "MemMgr.h"
#include "StrUtils.h"

char GetTokenBuf[TOKEN_BUF_SIZE];
const char *szTokenIn = nullptr;
char chTokenDel = 0;

namespace {

// Where the next scan of GetToken or GetTokenParse begins.
const char *szIn = nullptr;

bool IsDelim(const char *delims, char c) {
    return c != '\0' && delims && std::strchr(delims, c);
}

char Unescape(char c) {
    switch (c) {
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    default: return c;
    }
}

struct Scan {
    const char *end;  // just past the consumed delimiter, or the end of the input
    size_t length;    // characters of the token, including those that did not fit
    bool withheld;    // same-line mode and the token ended at a newline
};

// Scans one token from p into buf (size >= 1). Characters beyond size - 1 are
// consumed but not stored, so an over-long token is cut and the next scan still
// starts at the next token.
Scan ScanToken(const char *p, const char *delims, bool sameLine, char *buf, size_t size) {
    size_t n = 0;
    auto put = [&](char c) {
        if (n + 1 < size)
            buf[n] = c;
        ++n;
    };
    while (*p) {
        char c = *p++;
        if (c == '\\') {
            if (!*p)
                break;  // a backslash at the very end is dropped
            put(Unescape(*p++));
            continue;
        }
        if (IsDelim(delims, c)) {
            chTokenDel = c;
            if (n == 0)
                continue;  // leading delimiters are skipped
            buf[std::min(n, size - 1)] = '\0';
            return {p, n, sameLine && c == '\n'};
        }
        put(c);
    }
    buf[std::min(n, size - 1)] = '\0';
    return {p, n, false};
}

bool IsSameLine(const char *in) {
    return in == TOKEN_SAMELINE;
}

}  // namespace

void SetTokenBuf(const char *in) {
    szIn = in;
    szTokenIn = in;
}

const char *GetTokenBufInput() {
    return szIn;
}

char *GetToken(const char *in, const char *delims) {
    chTokenDel = 0;
    bool sameLine = IsSameLine(in);
    if (in && !sameLine)
        szIn = in;
    if (!szIn)
        return nullptr;
    Scan s = ScanToken(szIn, delims, sameLine, GetTokenBuf, sizeof GetTokenBuf);
    szIn = s.end;
    if (s.withheld)
        return nullptr;  // szTokenIn still names the start of the withheld token's scan
    szTokenIn = s.end;
    return s.length ? GetTokenBuf : nullptr;
}

char *GetTokenD(const char *in, const char *delims, const char **cursor, char *buf, size_t size) {
    chTokenDel = 0;
    if (!cursor || !buf || size == 0)
        return nullptr;
    bool sameLine = IsSameLine(in);
    if (in && !sameLine)
        *cursor = in;
    if (!*cursor)
        return nullptr;
    Scan s = ScanToken(*cursor, delims, sameLine, buf, size);
    if (s.withheld)
        return nullptr;  // the caller's cursor stays before the withheld token
    *cursor = s.end;
    return s.length ? buf : nullptr;
}

// The scan continues in the string the last GetToken/GetTokenParse call was
// given; for GetTokenParse that string must be writable.
char *GetTokenParse(char *in, const char *delims) {
    chTokenDel = 0;
    bool sameLine = IsSameLine(in);
    if (in && !sameLine)
        szIn = in;
    if (!szIn)
        return nullptr;
    char *p = const_cast<char *>(szIn);
    char *start = p;
    bool seen = false;
    while (*p) {
        if (*p == '\\') {  // kept as it is, with the character it escapes
            seen = true;
            p += p[1] ? 2 : 1;
            continue;
        }
        char c = *p;
        if (!IsDelim(delims, c)) {
            seen = true;
            ++p;
            continue;
        }
        chTokenDel = c;
        *p++ = '\0';
        if (!seen) {
            start = p;
            continue;
        }
        szIn = p;
        if (sameLine && c == '\n')
            return nullptr;
        szTokenIn = p;
        return start;
    }
    szIn = p;
    szTokenIn = p;
    return *start ? start : nullptr;
}

char *GetTokenN(const char *in, const char *delims, int n) {
    char *token = GetToken(in, delims);
    for (int i = 1; token && i < n; ++i)
        token = GetToken(nullptr, delims);
    return token;
}

// chTokenDel is deliberately left as the counting scan set it.
int GetTokenCount(const char *in, const char *delims) {
    const char *savedIn = szIn;
    const char *savedTokenIn = szTokenIn;
    char savedBuf[TOKEN_BUF_SIZE];
    std::memcpy(savedBuf, GetTokenBuf, sizeof savedBuf);
    int count = 0;
    for (char *t = GetToken(in, delims); t; t = GetToken(nullptr, delims))
        ++count;
    szIn = savedIn;
    szTokenIn = savedTokenIn;
    std::memcpy(GetTokenBuf, savedBuf, sizeof savedBuf);
    return count;
}

int ParseStr(char *str, const char *delims, char **array, int length) {
    if (!array || length <= 0)
        return 0;
    std::fill(array, array + length, nullptr);
    if (!str || !*str)
        return 0;
    int count = 0;
    char *p = str;
    while (count < length) {
        while (IsDelim(delims, *p))
            ++p;
        if (!*p)
            break;
        array[count++] = p;
        while (*p && !IsDelim(delims, *p))
            ++p;
        if (*p)
            *p++ = '\0';
    }
    return count;
}

namespace {

// True when the word follows the delimiter at p and is closed by the delimiter
// (or, atEndToo, by the end of the list). The comparison stops at the first
// difference, so it never reads past the list.
bool WordAt(const char *p, const char *word, size_t len, bool ignoreCase, bool atEndToo) {
    const char *w = p + 1;
    int cmp = ignoreCase ? strncasecmp(w, word, len) : std::strncmp(w, word, len);
    if (cmp != 0)
        return false;
    if (w[len] == *p)
        return true;
    // An empty text after a trailing delimiter is not a word of the list.
    return atEndToo && w[len] == '\0' && len > 0;
}

int CountDelims(const char *list, const char *upTo) {
    return static_cast<int>(std::count(list, upTo + 1, *list));
}

}  // namespace

// The first whole-word match wins; the last word of a list without a trailing
// delimiter is found by comparing what follows the last delimiter. A word holding
// the list's delimiter is no word of it (it would match a run of words).
int FindToken(const char *word, const char *list) {
    if (!word || !list || !*list || std::strchr(word, list[0]))
        return 0;
    char d = list[0];
    size_t len = std::strlen(word);
    for (const char *p = list; (p = std::strchr(p, d)); ++p)
        if (WordAt(p, word, len, false, false))
            return CountDelims(list, p);
    const char *last = std::strrchr(list, d);
    if (last[1] && std::strcmp(last + 1, word) == 0)
        return CountDelims(list, last);
    return 0;
}

int FindTokenC(const char *word, const char *list) {
    if (!word || !list || !*list)
        return 0;
    // compared in any case, a letter delimiter is held in either case
    unsigned char d0 = static_cast<unsigned char>(list[0]);
    if (std::strchr(word, std::tolower(d0)) || std::strchr(word, std::toupper(d0)))
        return 0;
    char d = list[0];
    size_t len = std::strlen(word);
    int counter = 0;
    for (const char *p = list; *p; ++p) {
        if (*p != d)
            continue;
        ++counter;
        if (WordAt(p, word, len, true, true))
            return counter;
    }
    return 0;
}

namespace {

struct Word {
    char *start;
    size_t length;   // without its delimiter
    bool delimited;  // followed by a delimiter (every word but a last one)
};

Word WordFrom(char *start, char delim) {
    char *end = StrChr(start, delim);
    if (end)
        return {start, static_cast<size_t>(end - start), true};
    return {start, std::strlen(start), false};
}

char *NextWord(const Word &w) {
    if (!w.delimited)
        return nullptr;
    char *next = w.start + w.length + 1;
    return *next ? next : nullptr;
}

// Compares a word with best as the text "word + delimiter" over the length of
// that text: a word sorts before the words it begins ("b" before "ba"), and the
// last word of the text, which has no delimiter of its own, compares as if it had
// one, so its place does not depend on where it stands.
int CompareWords(const Word &w, const Word &best, char delim, int ignoreCase) {
    for (size_t i = 0; i <= w.length; ++i) {
        unsigned char a = i < w.length ? w.start[i] : delim;
        unsigned char b = i < best.length ? best.start[i] : i == best.length ? delim : '\0';
        if (ignoreCase) {
            a = static_cast<unsigned char>(std::tolower(a));
            b = static_cast<unsigned char>(std::tolower(b));
        }
        if (a != b)
            return a < b ? -1 : 1;
    }
    return 0;
}

// The smallest word of the text, the leftmost of equals.
Word SmallestWord(char *text, char delim, int ignoreCase) {
    Word best = WordFrom(text, delim);
    for (char *p = NextWord(best); p;) {
        Word w = WordFrom(p, delim);
        if (CompareWords(w, best, delim, ignoreCase) < 0)
            best = w;
        p = NextWord(w);
    }
    return best;
}

// Removes the word from the text. A last word takes the delimiter before it
// along, so that the word before becomes the last and the sorted list keeps the
// length of the original.
void RemoveWord(char *text, const Word &w) {
    if (w.delimited) {
        char *rest = w.start + w.length + 1;
        std::memmove(w.start, rest, std::strlen(rest) + 1);
    } else if (w.start > text) {
        w.start[-1] = '\0';
    } else {
        w.start[0] = '\0';
    }
}


}  // namespace

// Selection sort through a working copy; the list is rewritten in place and
// never grows.
void SortTokens(char *list, char delim, int ignoreCase) {
    if (!list)
        return;
    char *out = list;
    while (*out && *out == delim)
        ++out;
    MemStr copy(SaveStr_(out));
    char *text = copy.get();
    while (*text) {
        Word w = SmallestWord(text, delim, ignoreCase);
        size_t n = w.length + (w.delimited ? 1 : 0);
        std::memcpy(out, w.start, n);
        out += n;
        RemoveWord(text, w);
        // a last word came without its delimiter: it gets back the one removed
        // before it (its own text may end in an escaped delimiter)
        if (*text && !w.delimited)
            *out++ = delim;
    }
    *out = '\0';
}

// One byte at a time from file descriptor 0, so nothing past the line is taken
// from a terminal or pipe that a child program may read next.
namespace {

// One byte of file descriptor 0: 1 read, 0 at the end of input (or a read error).
int ReadByte(unsigned char *c) {
    for (;;) {
        ssize_t r = read(0, c, 1);
        if (r < 0 && errno == EINTR)
            continue;
        return r == 1 ? 1 : 0;
    }
}

}  // namespace

int GetsLine(char *buf, int size) {
    if (!buf || size <= 0)
        return GETS_END;
    buf[0] = '\0';
    int n = 0;
    unsigned char c;
    for (;;) {
        if (!ReadByte(&c)) {
            buf[n] = '\0';
            return n == 0 ? GETS_END : GETS_LINE;
        }
        if (c == '\n')
            break;
        if (n == size - 1) {
            // The rest of the line, newline included, is read and dropped: the next
            // answer starts on the next line.
            while (ReadByte(&c) && c != '\n') {
            }
            buf[n] = '\0';
            return GETS_TOOLONG;
        }
        buf[n++] = static_cast<char>(c);
    }
    buf[n] = '\0';
    return GETS_LINE;
}

char *Gets(char *buf, int size) {
    return GetsLine(buf, size) == GETS_END ? nullptr : buf;
}
