// DbText.h - the plain text form of a record database (xdbtool's source format).
// One record a line: the key, a tab, the value. Both use backslash escapes: \n, \t,
// \\ and \xHH (two hex digits); any other backslash is an error. Empty lines and
// lines starting with "#" are skipped. A key is never empty and holds no NUL byte;
// a value is never empty; a record must fit 2 + key length + 1 + value length <=
// 65535; a key may appear once.
#pragma once
#include <cstddef>
#include <cstdio>

struct DbT;

// Decodes the escapes of n bytes of text into out (room for n bytes); 1 and *outLen
// on success, 0 for a malformed escape.
int DbUnescape(const char *text, size_t n, char *out, size_t *outLen);
// n bytes escaped for a source line (a GetMem string, the caller frees it): "\\",
// "\n", "\t", other control bytes and 0x7F as \xHH; a key's leading "#" as \x23.
char *DbEscape(const void *data, size_t n, int isKey);
// Puts every record of the source text into db. The number of records, or -1 with
// "line N: reason" in err for the first malformed line (the records of the lines
// before it are then in db: callers write nothing on failure).
int DbCompileSource(DbT *db, const char *text, size_t n, char *err, size_t errSize);
// Writes every record of db in file order in the source format; the record count.
int DbDumpSource(DbT *db, FILE *out);
