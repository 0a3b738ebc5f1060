// StrUtils.h - saved strings, path splitters, searches and small conversions.
// SaveStr formats (literal formats only) into a new GetMem string sized from the
// formatted length; SaveStrV is its va_list twin; SaveStr_ copies a text verbatim
// (use it for paths, names and typed lines; null text gives null); SaveStr__ formats
// like SaveStr (never cut). A null format gives null. All of them stop the program
// through SysError("Unable to allocate memory") when memory is exhausted. The caller
// owns the result (PutMem).
// Path results (StripFn, StripPath, StripPathExt, StripExt, StripPathName, GenName)
// live in storage of each operation, valid until the next call of the same
// operation (a result may be passed back in); they are never cut, whatever the
// length. StripPathName: the last component, empty for null, none, "." and "..".
// FindExistingPath: saved string of the longest existing leading part (trailing
// slashes ignored; "/" and "." end the walk); *flag = 1 when that is the whole
// path, untouched otherwise; null for a null path.
// StrStr/StrCaseStr: an empty pattern matches nowhere. StrChr steps over a
// backslash and the character after it. StripAllBackslashes removes every one.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <string_view>
#include "Attrs.h"

// CopyStr: the one bounded copy into a fixed buffer. Copies what fits of src into
// dst (size bytes, size > 0) and always ends it with a NUL; false when src was cut
// short. A null src copies as empty. The array form takes the size from the array.
bool CopyStr(char *dst, size_t size, std::string_view src);
inline bool CopyStr(char *dst, size_t size, const char *src) {
    return CopyStr(dst, size, src ? std::string_view(src) : std::string_view());
}
template <size_t N>
bool CopyStr(char (&dst)[N], std::string_view src) {
    return CopyStr(dst, N, src);
}
template <size_t N>
bool CopyStr(char (&dst)[N], const char *src) {
    return CopyStr(dst, N, src);
}

char *SaveStr(const char *fmt, ...) PRINTF_LIKE(1, 2);
char *SaveStrV(const char *fmt, va_list ap) PRINTF_LIKE(1, 0);
char *SaveStr_(const char *text);
char *SaveStr__(const char *fmt, ...) PRINTF_LIKE(1, 2);

char *StripFn(const char *path);
char *StripPath(const char *path);
char *StripPathExt(const char *path);
char *StripExt(const char *name);
char *StripPathName(const char *path);
char *FindExistingPath(const char *path, int *flag);

char *StrStr(const char *text, const char *pattern);
char *StrCaseStr(const char *text, const char *pattern);
char *StrChr(const char *text, int ch);
char *StrNChr(const char *text, int ch, int n);
char *StrNStr(const char *text, const char *pattern, int n);
int StrLen(const char *text);
char *SkipSpace(const char *text);
char *StripAllBackslashes(char *text);
char *GenName(const char *text);

void SetVarContent(void *dest, const void *src, int n, int reverse);
double MaxD(double a, double b);
float CvtFloatFormat(float value, int from, int to);

enum { UNIT_INCH = 0, UNIT_CM = 1, UNIT_POINT = 2 };
