// Sums.h - SHA-256 checksums of media files and the checksum list "pkg.sums".
// The list has one line per file, "HEX  NAME": 64 hexadecimal digits, two blanks
// (or a blank and "*", as sha256sum writes for binary mode) and a plain file name
// (no slash, no backslash, no control character, not "." or ".."), the form
// "sha256sum -c" reads. Names are matched in any case, as a DOS diskette shows them.
//
// FileSum: the checksum of the file at path as 64 lower-case digits and a NUL in
//   hex (size >= SUM_HEX_SIZE); 1 on success, 0 when the file cannot be read.
// SumLine: the list line of the file at path under the given name, as a saved string
//   (the caller releases it with PutMem); null when the file cannot be read.
// ReadSumList: fills list from the file at path (at most SUM_LIST_MAX bytes):
//   SUMS_READ, SUMS_ABSENT when there is no such file, SUMS_MALFORMED when it cannot
//   be read or a line is not of the form above (or names a file twice). The list is
//   emptied first; entries are released by FreeSumList.
// FindSum: the entry of name, null when the list has none.
// CheckSum: SUM_OK when the file at path has the checksum hex, SUM_MISSING when it
//   does not exist, SUM_DAMAGED otherwise (also when it cannot be read).
#pragma once
#include <cstddef>

constexpr char SUMS_FILE[] = "pkg.sums";
constexpr int SUM_HEX_SIZE = 65;
constexpr int SUM_NAME_SIZE = 256;
constexpr long SUM_LIST_MAX = 1L << 20;

enum { SUMS_MALFORMED = -1, SUMS_ABSENT = 0, SUMS_READ = 1 };
enum { SUM_OK = 0, SUM_DAMAGED = 1, SUM_MISSING = 2 };

struct SumEntry {
    char Name[SUM_NAME_SIZE];
    char Hex[SUM_HEX_SIZE];
    unsigned char Seen;  // the caller's mark; ReadSumList clears it
};

struct SumList {
    SumEntry *pEntry;  // GetMem array of Count entries
    int Count;
};

int FileSum(const char *path, char *hex, size_t size);
char *SumLine(const char *path, const char *name);
int ReadSumList(const char *path, SumList *list);
void FreeSumList(SumList *list);
SumEntry *FindSum(const SumList *list, const char *name);
int CheckSum(const char *path, const char *hex);
