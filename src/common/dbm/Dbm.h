// Dbm.h - legacy keyed record files, one operation at a time.
//
// A database "<name>" is the file "<tool path>/db/<name>.xdb": no header, records from
// offset 0, each a 16-bit record length in the host's byte order followed by one
// scrambled chunk (DbScramble) holding the 16-bit key length (NUL included), the key
// and its NUL, then the value. The typed database (DbmT.h) reads these files as type
// 1 and writes them back in the same form. Each call opens, reads or rewrites, and
// closes the file; nothing is kept between calls except the DbmGetNextRecord counter
// (never reset).
//
// Rewrites hold the writer's lock of the file from the read to the rename and go
// through a new temporary file beside it (DbFile.h: mode, owner and group of the
// old file kept, a symbolic link followed; "<tool path>/db" is created when missing).
// A failed lock, create, write, flush, sync, close or rename prints "ERROR: Can't
// write to <name>" on stderr (unless flDbQuiet), removes the temporary file, keeps
// the old file and fails (0).
// Reading stops at the end of the file and at the first damaged record (too short,
// key length below 1 or past the record, key without its NUL), as at the end.
// Keys compare by length first, then bytes. Buffers returned as strings or chains
// belong to the caller (PutMem, DbmFreeDbLinkList).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include "DbmT.h"

// A record buffer of GetData/PutData: the 16-bit length, then up to 65535 data bytes.
constexpr int DBM_REC_BUF = 2 + 65535;

// Scrambles the data of buf (length, then data) in place and writes length and data;
// 1 on success, 0 on a write error or an impossible length.
int PutData(FILE *f, unsigned char *buf);
// Reads one record into buf (DBM_REC_BUF bytes) and unscrambles it; its record length,
// 0 at the end of the file, on a short read or at a damaged record.
int GetData(FILE *f, unsigned char *buf);
// The open file "<tool path>/db/<name>.<ext>", or null when it does not exist, is not
// a regular file or cannot be opened (up to ten attempts one second apart while the
// error can pass, DbPassingError; flag is OpenFile's error level).
FILE *OpenDataBase(const char *name, const char *ext, const char *mode, int flag);
// Creates "<tool path>/db/<name>.xdb_new" (0666 less the umask) and opens it for
// writing (the rewrites themselves use a unique temporary file).
FILE *OpenNewDataBase(const char *name);
// Renames "<name>.<oldExt>" to "<name>.<newExt>" in "<tool path>/db"; 1 on success.
int RenameDataBase(const char *name, const char *oldExt, const char *newExt);
// Copies the records of in to out except those whose key equals key (prefixLen 0)
// or begins with its first prefixLen bytes; 0 after a write error. in may be null.
int PurgeRecord(const char *name, FILE *in, FILE *out, const char *key, int prefixLen);

// Replaces or adds a record (at the end of the file); 1 on success. Refused (0):
// null name, key or value, empty key, length <= 0, 2 + key length + 1 + length > 65535.
int DbmPutRecord(const char *name, const char *key, const void *value, int length);
int DbmDeleteRecord(const char *name, const char *key);
int DbmDeleteRecords(const char *name, const char *prefix);
// Value of the first record with the key into buf (exactly the value bytes; room for
// the longest value, at most 65532 bytes); its length, 0 when absent.
int DbmGetRecord(const char *name, const char *key, void *buf);
// As DbmGetRecord into size bytes: at most size - 1 bytes and a NUL; the full length.
int DbmGetRecordN(const char *name, const char *key, void *buf, size_t size);
// Value of the record at the module counter, then the counter advances; 0 at the end.
int DbmGetNextRecord(const char *name, void *buf);
int DbmGetNextRecordN(const char *name, void *buf, size_t size);
int DbmGetRecordSize(const char *name, const char *key);
// prefix + key of every record in file order, then suffix; null without a file.
char *DbmGetRecordList(const char *name, const char *prefix, const char *suffix);
// Names of the "*.xdb" files of "<tool path>/db" (extension removed): joined by one
// blank when separator is given, by "," when it is null; null when the directory
// cannot be listed.
char *DbmGetDbList(const char *separator);
// Stores the source key's value under the target key as well; 0 when absent.
int DbmCopyRecord(const char *name, const char *srcKey, const char *dstKey);
DbLink *DbmGetDbLinkList(const char *name, const char *text);
void DbmFreeDbLinkList(DbLink *first);
// Prints every record of "<name>.db" (current directory): "%i %i ==>{", the bytes
// after the key length field (non-printable ones as "."), "}" and a line feed.
void DumpDbm(const char *name);
void DbmCreate(const char *name, int flags);
void DbmDelete(const char *name, int flags);
