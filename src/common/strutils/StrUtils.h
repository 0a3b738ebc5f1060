// StrUtils.h - saved strings, path splitters, searches and small conversions.
// SaveStr formats (literal formats only) into a new GetMem string; SaveStr_ copies
// a text verbatim (use it for paths, names and typed lines); SaveStr__ formats
// through a 65536-byte work area, null for a null format. All three stop the program
// through SysError("Unable to allocate memory") when memory is exhausted; a null
// text given to SaveStr_ gives null. The caller owns the result (PutMem).
// Path results live in storage of each operation, valid until the next call of the
// same operation; they are never cut, whatever the length.
#pragma once
#include <cstdarg>
#include <cstddef>
#include "Attrs.h"

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
