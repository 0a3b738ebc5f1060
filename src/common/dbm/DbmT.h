// DbmT.h - typed record database: a keyed record file held in memory.
//
// DbTOpen(name, flags) makes a handle and loads the file: a name beginning with "/"
// is a path (".xdb" is added when it holds no "."), one beginning with "." is used
// unchanged, any other is "<tool path>/db/<name>.xdb" ("./db" is then created in the
// current directory when missing). Changes are written back to the file that was
// read, whole, through a temporary file beside it and a rename (DbFile.h): readers
// always see a whole file; a symbolic link is followed; the mode, owner and group of
// the old file are kept, a new file gets 0666 less the umask.
//
// Types: 0 no file yet, or an empty file (an empty headered content), 1 legacy (no
// header, native 16-bit lengths, one scrambled chunk per record), 2 headered
// ("TXDBAA", the count in decimal, random filler to 16 bytes, big-endian lengths, key
// and value scrambled as separate chunks). Every operation except DbTOpen, DbTClose
// and DbmTArchiveDb first reloads the file when it changed on disk, unless the flags
// hold DBT_NOCHECK; every change is written back at once unless they hold
// DBT_NOWRITE.
//
// Loading: a file that cannot be read for a reason that may pass (it changes while
// it is read) is tried again, one second apart; a lasting failure (no permission,
// not a regular file, larger than DBT_MAX_CONTENT) is not retried: the handle reads as
// empty, LoadErr holds the errno and DbLastError() the reason, and no change is
// written over that file until a load succeeds.
// A record is usable when its length field and 2 + record length fit in the bytes
// left, its key length is at least 1, key length + 2 <= record length and its key
// ends in its NUL; the content is cut before the first record that is not, and
// DamagePos tells where (also the end of the records when a headered file holds
// fewer than its count). Lookups give the first record with the key (an index and
// a decoded copy of the content, both made at the second lookup and then kept in
// step with each change; the first lookup after an open walks the records).
//
// Writers: each written change takes the exclusive lock of the file (DbLockFile),
// reloads the file under it when it changed (whatever DBT_NOCHECK says), changes and
// writes it, and lets the lock go; a caller that makes several changes as one holds
// the lock itself with DbTLock and DbTUnlock. Readers take no lock.
// Null handles, keys or buffers make every operation return 0 or null. Buffers
// returned as new strings or link lists belong to the caller (PutMem,
// DbmFreeDbLinkList). Single-threaded.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int DBT_HEADER_SIZE = 16;
constexpr int DBT_MAX_RECORD = 65535;    // 2 + key length + value length at most
constexpr int DBT_MAX_COUNT = 999999999; // nine digits in the header
constexpr int DBT_RETRIES = 10;          // reads and opens, one second apart
constexpr int DBT_MAX_CONTENT = 0x7FFFFFFF - 2 * DBT_MAX_RECORD;  // the largest file loaded

enum { DBT_TYPE_NONE = 0, DBT_TYPE_LEGACY = 1, DBT_TYPE_HEADERED = 2 };
// Open flags. DBT_ONEPASS: no decoded copy and no index (lookups walk the records),
// for a handle that makes one change or one walk of a large file.
enum { DBT_NOCHECK = 2, DBT_NOWRITE = 4, DBT_ONEPASS = 8 };

struct DbTIndexSlot;

struct DbT {
    char *pName;             // saved copy of the name given to DbTOpen
    unsigned char flSwap;    // 1: 16-bit lengths are byte-swapped (headered, little-endian host)
    int32_t Flags;           // DBT_NOCHECK, DBT_NOWRITE
    unsigned char *pContent; // the whole file in memory (GetMem)
    unsigned char *pPlain;   // the same with every chunk decoded, same offsets (or null)
    int32_t Size;            // bytes of content in use
    int64_t MTime;           // modification time of the loaded file, nanoseconds
    int64_t FileSize;        // size of the loaded file (with MTime and FileId: "changed")
    uint64_t FileId;         // device and inode of the loaded file, mixed
    int32_t ReadPos;         // offset of the next byte to decode
    int32_t WalkPos;         // offset of the next record to visit
    int32_t Count;           // record count (header), kept by additions and deletions
    int32_t Type;            // DBT_TYPE_*
    DbTIndexSlot *pIndex;    // key index (first record per key), rebuilt with each change
    int32_t IndexCap;        // slots, a power of two (0: no index)
    int32_t IndexUsed;       // slots in use
    int32_t DupKeys;         // records whose key an earlier record already has
    int32_t Capacity;        // bytes the content block holds (beyond them: slack)
    int32_t LockFd;          // the writer's lock while DbTLock holds it, else -1
    int32_t LoadErr;         // errno of the last load that failed for good, else 0
    int32_t DamagePos;       // offset where the loaded file stops holding together, or -1
    int32_t Lookups;         // lookups made without an index (it is built at the second)
};

// A record as the walk sees it (offsets into the handle's content).
struct DbTRecord {
    int32_t Offset;    // the record length field
    int32_t RecLen;    // bytes after the record length field
    int32_t KeyLen;    // key length, NUL included
    int32_t KeyPos;    // first (scrambled) key byte
    int32_t ValuePos;  // first (scrambled) value byte
    int32_t ValueLen;  // RecLen - KeyLen - 2
};

// Node of a key/value chain (DbmTGetDbLinkList, DbmGetDbLinkList); one GetMem block
// per node plus the pKey copy: the key, its NUL, then the value (and one more NUL).
struct DbLink {
    DbLink *pNext;
    char *pKey;      // key copy, the value follows its NUL
    char *pValue;    // inside pKey
    int32_t ValueLen;
};

DbT *DbTOpen(const char *name, int flags);
void DbTClose(DbT *db);
void DbTUpDate(DbT *db);
void DbTSetDbType(DbT *db, int type);
// Takes the writer's lock of the handle's file and reloads the file when it changed;
// 1 when held (also when it already was). DbTUnlock lets it go.
int DbTLock(DbT *db);
void DbTUnlock(DbT *db);
// Drops the content: an empty database of type 0 (the file is not touched).
void DbTEmpty(DbT *db);
// Appends a record as it is, without removing an earlier one with the same key:
// keyLen bytes of key (NULs allowed inside; its final NUL is added), valueLen bytes
// of value (0 allowed). 1 on success; refused as DbmTPutRecord refuses. Does not write.
int DbTAppendRecord(DbT *db, const char *key, int keyLen, const void *value, int valueLen);

// Value of the first record with the key, copied into buf (exactly the value bytes;
// the caller provides room for the longest value). Its length, 0 when absent.
int DbmTGetRecord(DbT *db, const char *key, void *buf);
// As DbmTGetRecord into size bytes: at most size - 1 value bytes and a NUL (size 0:
// nothing). Returns the full value length, so a result >= size shows a cut.
int DbmTGetRecordN(DbT *db, const char *key, void *buf, size_t size);
// As DbmTGetRecord into *pbuf of size bytes (a NUL follows when room is left); a value
// longer than size goes into a new GetMem buffer (value length + 1, NUL-terminated)
// stored through pbuf, which the caller releases. The value length, 0 when absent.
int DbmTGetRecordV(DbT *db, const char *key, char **pbuf, int size);
int DbmTGetRecordSize(DbT *db, const char *key);
// Replaces or adds a record; 1 on success. Refused (0): null or empty key, null value,
// length <= 0, 2 + key length + 1 + length > 65535, a count that would reach 10^9, a
// failed write-back (the content keeps the change; the file keeps the old records).
int DbmTPutRecord(DbT *db, const char *key, const void *value, int length);
int DbmTCopyRecord(DbT *db, const char *srcKey, const char *dstKey);
// 0 when there was no such record; otherwise 1, or the write-back's result.
int DbmTDeleteRecord(DbT *db, const char *key);
// Deletes every record whose key begins with prefix; 1.
int DbmTDeleteRecords(DbT *db, const char *prefix);
// prefix + key for every record in file order, then suffix; null for no records.
char *DbmTGetRecordList(DbT *db, const char *prefix, const char *suffix);
// The same for the records whose key begins with one of the comma-separated beginnings.
char *DbmTGetRecordListS(DbT *db, const char *beginnings, const char *prefix, const char *suffix);
DbLink *DbmTGetDbLinkList(DbT *db, const char *text);
// Writes the content to the file (header refreshed for type 2); 1 on success. Refused
// after a failed load (LoadErr). On a failed lock, create, write, flush, sync, close
// or rename: "ERROR: Can't write to <name>" on stderr (unless flDbQuiet), the
// temporary file removed, the old file kept, 0.
int DbmTArchiveDb(DbT *db);

// Internal steps, visible for tests and the fuzz target.
// Next record of a walk (cont 0 starts at the first record); 1 with rec filled, 0 at
// the end or at damage (the content is then cut there).
int WalkDbTRecords(DbT *db, DbTRecord *rec, int cont);
int FindTRecord(DbT *db, const char *key, DbTRecord *rec);
// Removes the records with the key (prefixLen 0) or whose key begins with the first
// prefixLen bytes of key; 1 when something was removed.
int PurgeTRecord(DbT *db, const char *key, int prefixLen);
void UpdateHeader(DbT *db);
int TestKeyName(const char *key, const char *beginnings);
// Loads bytes as file content (as DbTUpDate does after a read): type, count, damage.
// The handle takes ownership of content (a GetMem block of at least size bytes).
void DbTSetContent(DbT *db, unsigned char *content, int size);
// Copies a record's key (keyLen bytes, NUL included) and value out of the content.
void DbTDecodeKey(const DbT *db, const DbTRecord *rec, char *out);
void DbTDecodeValue(const DbT *db, const DbTRecord *rec, void *out, int limit);

// Scrambling of one chunk in place: s[i] = p[i] ^ p[i + 1], last byte unchanged.
void DbScramble(unsigned char *p, int n);
void DbUnscramble(unsigned char *p, int n);
