// DbText.h - the plain text form of a record database (xdbtool's source format).
// One record a line: the key, a tab, the value. Both use backslash escapes: \n, \t,
// \\ and \xHH (two hex digits); any other backslash is an error. Empty lines and
// lines starting with "#" are skipped. A leading UTF-8 byte-order mark and the CR of
// a CRLF line end are dropped. A key is never empty and holds no NUL byte; a value
// is never empty; a record must fit 2 + key length + 1 + value length <= 65535; a
// key may appear once.
// A source whose first line is DBTEXT_EXACT (what DbDumpSource writes) holds records
// exactly as stored: repeated keys, NUL bytes in keys, empty keys and empty values
// are kept, in the order given.
#pragma once
#include <cstddef>
#include <cstdio>

struct DbT;

#define DBTEXT_EXACT "#!xdbtool exact"

enum { DBTEXT_LATIN1 = 1 };  // DbCompileSourceAs: values must be ISO-8859-1 text

// What DbCompileSourceAs changed on the way, for the caller's warnings.
struct DbSourceNotes {
    int Bom;          // 1: a leading byte-order mark was dropped
    int CrLines;      // lines whose CR before the line feed was dropped
    int FirstCrLine;  // the first of them
    int Converted;    // values converted from UTF-8 to ISO-8859-1
    int FirstConverted;
};

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
// The same with flags (DBTEXT_LATIN1: a value with bytes above 0x7F that reads as
// UTF-8 is converted to ISO-8859-1, or refused when a character has no ISO-8859-1
// form; bytes that are not UTF-8 are taken as ISO-8859-1 already). notes may be null.
int DbCompileSourceAs(DbT *db, const char *text, size_t n, int flags, DbSourceNotes *notes, char *err,
                      size_t errSize);
// Writes DBTEXT_EXACT, then every record of db in file order in the source format;
// the record count. Compiling the result gives the same records in the same order.
int DbDumpSource(DbT *db, FILE *out);
