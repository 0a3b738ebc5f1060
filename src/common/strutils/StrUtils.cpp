// StrUtils.cpp - saved strings, path splitters, searches and small conversions.
#include "StrUtils.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

#include "Errors.h"
#include "Files.h"
#include "MemMgr.h"

namespace {

// Room the block allocator can give in one request, with margin for its rounding.
constexpr size_t MaxRequest = static_cast<size_t>(INT_MAX) - 64;

char *NewText(size_t bytes) {
    if (bytes > MaxRequest)
        OutOfMemory();
    auto *p = static_cast<char *>(GetMem(static_cast<int>(bytes)));
    if (!p)
        OutOfMemory();
    return p;
}


}  // namespace

// The formatted length is measured first, so the text always fits exactly.
char *SaveStrV(const char *fmt, va_list ap) {
    if (!fmt)
        return nullptr;
    va_list measure;
    va_copy(measure, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, measure);
    va_end(measure);
    if (n < 0)
        return SaveStr_("");  // a conversion the C library cannot represent
    size_t bytes = static_cast<size_t>(n) + 1;
    char *text = NewText(bytes);
    std::vsnprintf(text, bytes, fmt, ap);
    return text;
}

char *SaveStr(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    char *text = SaveStrV(fmt, ap);
    va_end(ap);
    return text;
}

char *SaveStr_(const char *text) {
    if (!text)
        return nullptr;
    size_t n = std::strlen(text);
    char *copy = NewText(n + 1);
    std::memcpy(copy, text, n + 1);
    return copy;
}

// Formats like SaveStr; the work area is sized from the formatted length rather
// than fixed, so a long result is never cut.
char *SaveStr__(const char *fmt, ...) {
    if (!fmt)
        return nullptr;
    va_list ap;
    va_start(ap, fmt);
    char *text = SaveStrV(fmt, ap);
    va_end(ap);
    return text;
}

namespace {

// Result storage of one path operation: grows to fit, never shrinks, and is
// overwritten by the next call of the same operation.
struct ResultBuf {
    size_t initial;
    char *text = nullptr;
    size_t capacity = 0;
};

char *Reserve(ResultBuf &b, size_t bytes) {
    if (bytes <= b.capacity)
        return b.text;
    size_t want = std::max({bytes, b.initial, b.capacity * 2});
    if (want > MaxRequest)
        want = bytes;
    if (want > MaxRequest)
        OutOfMemory();
    void *p = b.text ? AdjustMem(b.text, static_cast<int>(want)) : GetMem(static_cast<int>(want));
    if (!p)
        OutOfMemory();
    b.text = static_cast<char *>(p);
    b.capacity = want;
    return b.text;
}

// The source may lie inside the buffer (a result passed back in): then it
// already fits and is moved, never reallocated under the caller.
char *SetText(ResultBuf &b, const char *src, size_t n) {
    char *dst = Reserve(b, n + 1);
    std::memmove(dst, src, n);
    dst[n] = '\0';
    return dst;
}

char *SetText(ResultBuf &b, const char *src) {
    return SetText(b, src, std::strlen(src));
}

// The last run of characters between slashes (trailing slashes ignored);
// false when the path has none (empty or only slashes).
bool LastComponent(const char *path, const char **start, size_t *length) {
    const char *end = path + std::strlen(path);
    while (end > path && end[-1] == '/')
        --end;
    if (end == path)
        return false;
    const char *s = end;
    while (s > path && s[-1] != '/')
        --s;
    *start = s;
    *length = static_cast<size_t>(end - s);
    return true;
}

// Cuts the name at its first dot that follows a non-dot character, so leading
// dots stay (.a.b gives .a).
char *CutExt(char *name) {
    for (size_t i = 1; name[0] && name[i]; ++i) {
        if (name[i] == '.' && name[i - 1] != '.') {
            name[i] = '\0';
            break;
        }
    }
    return name;
}

ResultBuf FnBuf{256};
ResultBuf PathBuf{128};
ResultBuf PathExtBuf{128};
ResultBuf ExtBuf{128};
ResultBuf PathNameBuf{128};
ResultBuf GenNameBuf{128};

}  // namespace

// A trailing slash counts as the last slash: the directory part of a/b/ is a/b.
char *StripFn(const char *path) {
    if (!path || !*path)
        return SetText(FnBuf, ".");
    char *s = SetText(FnBuf, path);
    char *p = s + std::strlen(s);
    while (p > s && p[-1] != '/')
        *--p = '\0';
    if (p == s)
        return SetText(FnBuf, ".");
    if (p - 1 > s)
        p[-1] = '\0';  // a slash at the start stays, giving "/"
    return s;
}

char *StripPath(const char *path) {
    if (!path)
        return SetText(PathBuf, "");
    const char *start;
    size_t n;
    if (!LastComponent(path, &start, &n))
        return SetText(PathBuf, path);
    return SetText(PathBuf, start, n);
}

char *StripPathExt(const char *path) {
    if (!path)
        return SetText(PathExtBuf, "");
    const char *start;
    size_t n;
    if (!LastComponent(path, &start, &n))
        return nullptr;
    return CutExt(SetText(PathExtBuf, start, n));
}

char *StripExt(const char *name) {
    return CutExt(SetText(ExtBuf, name ? name : ""));
}

// The last component; empty when there is none or it is "." or "..".
char *StripPathName(const char *path) {
    const char *start;
    size_t n;
    if (!path || !LastComponent(path, &start, &n))
        return SetText(PathNameBuf, "");
    if ((n == 1 && start[0] == '.') || (n == 2 && start[0] == '.' && start[1] == '.'))
        return SetText(PathNameBuf, "");
    return SetText(PathNameBuf, start, n);
}

namespace {

// Trailing slashes name the same directory; a lone "/" stays.
size_t TrimmedLength(const char *path) {
    size_t n = std::strlen(path);
    while (n > 1 && path[n - 1] == '/')
        --n;
    return n;
}

bool IsWalkEnd(const char *path) {
    return std::strcmp(path, "/") == 0 || std::strcmp(path, ".") == 0;
}

// The existence test goes through FindFile with copies of the two parts, so
// nothing FindFile does with the path operations can change them under it.
bool PathExists(const char *path) {
    MemStr dir(SaveStr_(StripFn(path)));
    MemStr name(SaveStr_(StripPath(path)));
    return FindFile(dir.get(), name.get()) != 0;
}

}  // namespace

// Walks up the path until a part exists; "/" and "." end the walk, as they
// always exist.
char *FindExistingPath(const char *path, int *flag) {
    if (!path)
        return nullptr;
    size_t length = TrimmedLength(path);
    MemStr work(NewText(std::max<size_t>(length + 1, 2)));
    if (length == 0)
        std::memcpy(work.get(), ".", 2);  // the empty path names the current directory
    else
        std::memcpy(work.get(), path, length);
    work.get()[std::max<size_t>(length, 1)] = '\0';
    while (!IsWalkEnd(work.get()) && !PathExists(work.get())) {
        MemStr up(SaveStr_(StripFn(work.get())));
        if (std::strcmp(up.get(), work.get()) == 0)
            break;
        work = std::move(up);
    }
    if (flag && std::strlen(work.get()) == length && std::strncmp(work.get(), path, length) == 0)
        *flag = 1;
    return work.release();
}

// Unlike strstr, an empty pattern matches nowhere.
char *StrStr(const char *text, const char *pattern) {
    if (!text || !*text || !pattern || !*pattern)
        return nullptr;
    for (const char *t = text; *t; ++t) {
        if (*t != *pattern)
            continue;
        const char *a = t;
        const char *b = pattern;
        while (*a && *b && *a == *b)
            ++a, ++b;
        if (!*b)
            return const_cast<char *>(t);
    }
    return nullptr;
}

namespace {

int Upper(char c) {
    return std::toupper(static_cast<unsigned char>(c));
}

}  // namespace

char *StrCaseStr(const char *text, const char *pattern) {
    if (!text || !*text || !pattern || !*pattern)
        return nullptr;
    for (const char *t = text; *t; ++t) {
        if (Upper(*t) != Upper(*pattern))
            continue;
        const char *a = t;
        const char *b = pattern;
        while (*a && *b && Upper(*a) == Upper(*b))
            ++a, ++b;
        if (!*b)
            return const_cast<char *>(t);
    }
    return nullptr;
}

// A backslash and the character after it are stepped over together.
char *StrChr(const char *text, int ch) {
    if (!text)
        return nullptr;
    for (const char *p = text; *p; ++p) {
        if (*p == static_cast<char>(ch))
            return const_cast<char *>(p);
        if (*p == '\\' && !*++p)
            break;
    }
    return nullptr;
}

char *StrNChr(const char *text, int ch, int n) {
    if (!text || n < 1)
        return nullptr;
    for (const char *p = text; *p; ++p)
        if (*p == static_cast<char>(ch) && --n == 0)
            return const_cast<char *>(p);
    return nullptr;
}

// Occurrences may overlap: each search resumes one character after the start of
// the previous one.
char *StrNStr(const char *text, const char *pattern, int n) {
    if (n < 1)
        return nullptr;
    char *found = StrStr(text, pattern);
    while (found && --n > 0)
        found = StrStr(found + 1, pattern);
    return found;
}

int StrLen(const char *text) {
    return text ? static_cast<int>(std::strlen(text)) : 0;
}

char *SkipSpace(const char *text) {
    if (!text)
        return nullptr;
    while (std::isspace(static_cast<unsigned char>(*text)))
        ++text;
    return const_cast<char *>(text);
}

// Every backslash goes, so a doubled backslash leaves nothing.
char *StripAllBackslashes(char *text) {
    if (!text)
        return nullptr;
    char *out = text;
    for (const char *p = text; *p; ++p)
        if (*p != '\\')
            *out++ = *p;
    *out = '\0';
    return text;
}

// Runs of letters and digits after the first letter, each capitalised, joined.
char *GenName(const char *text) {
    if (!text)
        return SetText(GenNameBuf, "");
    char *out = Reserve(GenNameBuf, std::strlen(text) + 1);
    char *o = out;
    const char *p = text;
    while (*p && !std::isalpha(static_cast<unsigned char>(*p)))
        ++p;
    while (*p) {
        while (*p && !std::isalnum(static_cast<unsigned char>(*p)))
            ++p;
        bool first = true;
        for (; std::isalnum(static_cast<unsigned char>(*p)); ++p, first = false) {
            auto c = static_cast<unsigned char>(*p);
            *o++ = static_cast<char>(first ? std::toupper(c) : std::tolower(c));
        }
    }
    *o = '\0';
    return out;
}

// Byte reversal turns a big-endian number into a little-endian one and back.
void SetVarContent(void *dest, const void *src, int n, int reverse) {
    if (!dest || !src || n <= 0)
        return;
    auto *d = static_cast<unsigned char *>(dest);
    std::memmove(d, src, static_cast<size_t>(n));
    if (reverse)
        std::reverse(d, d + n);
}

double MaxD(double a, double b) {
    return a > b ? a : b;
}

namespace {

// Length units per inch, indexed by unit number.
constexpr double UnitsPerInch[] = {1.0, 2.54, 72.0};

bool IsUnit(int unit) {
    return unit >= UNIT_INCH && unit <= UNIT_POINT;
}

}  // namespace

float CvtFloatFormat(float value, int from, int to) {
    if (from == to || !IsUnit(from) || !IsUnit(to))
        return value;
    double inches = static_cast<double>(value) / UnitsPerInch[from];
    return static_cast<float>(inches * UnitsPerInch[to]);
}

bool CopyStr(char *dst, size_t size, std::string_view src) {
    if (!dst || size == 0)
        return src.empty();
    size_t n = std::min(src.size(), size - 1);
    std::memcpy(dst, src.data(), n);
    dst[n] = '\0';
    return n == src.size();
}
