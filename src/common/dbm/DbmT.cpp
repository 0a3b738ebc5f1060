// DbmT.cpp - typed record database held in memory.
//
// The content is validated whole when it is loaded (and whenever the type changes):
// the walk stops at the first record that does not hold together and the content is
// cut there, so every later walk and every index entry sees only good records.
// Beside the content the handle keeps a decoded copy of it (same offsets, every
// chunk unscrambled), and an open-addressing index from each key to its first
// record (the one a walk from the start would meet). Both follow every change of
// the content, so lookups hash the key once and copy the value out.
#include "DbmT.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "DbFile.h"
#include "MemMgr.h"
#include "Sleep.h"
#include "StrUtils.h"

struct DbTIndexSlot {
    uint32_t Hash;
    int32_t Offset;  // the record length field; -1: free slot
    int32_t KeyLen;
};

namespace {

constexpr int MAX_CONTENT = DBT_MAX_CONTENT;
// Every content block has this many bytes beyond its size, so that keys can be
// compared eight bytes at a time up to the end of the content.
constexpr int SLACK = 8;

void SetContent(DbT *db, unsigned char *content, int size, int capacity);

// A decoded key of a walk (the slow paths that run without the decoded copy).
char KeyBuf[DBT_MAX_RECORD];

bool HostIsLittle() {
    const unsigned char TLBuf[4] = {1, 2, 3, 4};
    uint32_t word;
    memcpy(&word, TLBuf, sizeof word);
    return word != 0x01020304u;
}

int Read16(const DbT *db, int32_t pos) {
    uint16_t v;
    memcpy(&v, db->pContent + pos, 2);
    if (db->flSwap)
        v = static_cast<uint16_t>((v >> 8) | (v << 8));
    return v;
}

void Write16(unsigned char *p, const DbT *db, int value) {
    auto v = static_cast<uint16_t>(value);
    if (db->flSwap)
        v = static_cast<uint16_t>((v >> 8) | (v << 8));
    memcpy(p, &v, 2);
}

int32_t FirstRecord(const DbT *db) {
    return db->Type == DBT_TYPE_LEGACY ? 0 : DBT_HEADER_SIZE;
}

bool Checked(DbT *db) {
    if (!db)
        return false;
    if (!(db->Flags & DBT_NOCHECK))
        DbTUpDate(db);
    return true;
}

// The key length of a legacy chunk and whether its key ends in a NUL, without
// decoding the chunk: a plain byte is the XOR of the stored bytes from it to the end.
bool LegacyKey(const unsigned char *s, int n, int *keyLen) {
    if (n < 3)
        return false;
    unsigned char acc = 0;
    for (int i = n - 1; i >= 2; --i)
        acc ^= s[i];
    unsigned char p1 = s[1] ^ acc;
    unsigned char p0 = s[0] ^ p1;
    const unsigned char plain[2] = {p0, p1};
    uint16_t kl;
    memcpy(&kl, plain, 2);  // the legacy key length is in the host's order
    if (kl < 1 || kl + 2 > n)
        return false;
    unsigned char nul = 0;
    for (int i = n - 1; i >= 2 + kl - 1; --i)
        nul ^= s[i];
    *keyLen = kl;
    return nul == 0;
}

// Fills rec for a good record at pos; false at the end and at damage.
bool RecordAt(const DbT *db, int32_t pos, DbTRecord *rec) {
    int32_t left = db->Size - pos;
    if (left < 2)
        return false;
    int recLen = Read16(db, pos);
    if (recLen + 2 > left || recLen < 3)
        return false;
    int keyLen;
    if (db->Type == DBT_TYPE_LEGACY) {
        if (!LegacyKey(db->pContent + pos + 2, recLen, &keyLen))
            return false;
    } else {
        keyLen = Read16(db, pos + 2);
        if (keyLen < 1 || keyLen + 2 > recLen || db->pContent[pos + 4 + keyLen - 1] != 0)
            return false;
    }
    rec->Offset = pos;
    rec->RecLen = recLen;
    rec->KeyLen = keyLen;
    rec->KeyPos = pos + 4;
    rec->ValuePos = pos + 4 + keyLen;
    rec->ValueLen = recLen - keyLen - 2;
    return true;
}

// Decoding ---------------------------------------------------------------------

// Each plain byte is the XOR of the stored bytes from it to the end of the chunk.
// Whole chunks are decoded eight bytes at a time from the end: within a word the
// shifts fold every later byte into each byte, and the plain byte after the word
// is folded into all eight.
void DecodeChunk(const unsigned char *s, unsigned char *out, int n) {
    if (n < 8 || !HostIsLittle()) {
        unsigned char carry = 0;
        for (int i = n - 1; i >= 0; --i) {
            carry = static_cast<unsigned char>(s[i] ^ carry);
            out[i] = carry;
        }
        return;
    }
    uint64_t carry = 0;
    for (int i = n - 8;; i -= 8) {
        if (i < 0) {  // the first bytes: a word overlapping the one after it, whose
            i = 0;    // bytes come out the same again; it folds in plain byte 8
            carry = out[8];
        }
        uint64_t w;
        memcpy(&w, s + i, 8);
        w ^= w >> 8;
        w ^= w >> 16;
        w ^= w >> 32;
        w ^= carry * 0x0101010101010101ull;
        memcpy(out + i, &w, 8);
        if (i == 0)
            return;
        carry = w & 0xFF;
    }
}

// The decoded copy of the content: the header and length fields as they are, every
// chunk of the good records unscrambled. False when there is no memory for it.
bool BuildPlain(DbT *db) {
    PutMem(db->pPlain);
    db->pPlain = static_cast<unsigned char *>(GetMem(db->Capacity + SLACK));
    if (!db->pPlain)
        return false;
    memcpy(db->pPlain, db->pContent, static_cast<size_t>(db->Size));
    DbTRecord rec;
    for (int32_t pos = FirstRecord(db); pos < db->Size && RecordAt(db, pos, &rec); pos += rec.RecLen + 2) {
        if (db->Type == DBT_TYPE_LEGACY) {
            DecodeChunk(db->pContent + pos + 2, db->pPlain + pos + 2, rec.RecLen);
        } else {
            DecodeChunk(db->pContent + rec.KeyPos, db->pPlain + rec.KeyPos, rec.KeyLen);
            DecodeChunk(db->pContent + rec.ValuePos, db->pPlain + rec.ValuePos, rec.ValueLen);
        }
    }
    return true;
}

// Hashing ------------------------------------------------------------------------

// Key bytes are hashed eight at a time as little-endian words, the last one padded
// with zeros; the index hashes the decoded key, a lookup the caller's key.
uint64_t HashWord(uint64_t h, uint64_t w) {
    h = (h ^ w) * 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 29);
}

uint32_t HashFinish(uint64_t h, size_t n) {
    h = (h ^ n) * 0xBF58476D1CE4E5B9ull;
    return static_cast<uint32_t>(h ^ (h >> 32));
}

uint32_t HashBytes(const unsigned char *p, size_t n) {
    uint64_t h = 0, w = 0;
    for (size_t i = 0; i < n; ++i) {
        w |= static_cast<uint64_t>(p[i]) << (8 * (i & 7));
        if ((i & 7) == 7) {
            h = HashWord(h, w);
            w = 0;
        }
    }
    if (n & 7)
        h = HashWord(h, w);
    return HashFinish(h, n);
}

// Up to eight bytes as a little-endian word, with overlapping loads (little-endian
// hosts only).
uint64_t LoadPart(const char *p, size_t take) {
    if (take >= 4) {
        uint32_t lo, hi;
        memcpy(&lo, p, 4);
        memcpy(&hi, p + take - 4, 4);
        return lo | (static_cast<uint64_t>(hi) << (8 * (take - 4)));
    }
    if (take >= 2) {
        uint16_t lo, hi;
        memcpy(&lo, p, 2);
        memcpy(&hi, p + take - 2, 2);
        return lo | (static_cast<uint64_t>(hi) << (8 * (take - 2)));
    }
    return static_cast<unsigned char>(p[0]);
}

uint32_t HashKey(const char *key, size_t n) {
    if (!HostIsLittle())
        return HashBytes(reinterpret_cast<const unsigned char *>(key), n);
    uint64_t h = 0;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        memcpy(&w, key + i, 8);
        h = HashWord(h, w);
    }
    if (i < n)
        h = HashWord(h, LoadPart(key + i, n - i));
    return HashFinish(h, n);
}

// Index ----------------------------------------------------------------------

void IndexFree(DbT *db) {
    PutMem(db->pIndex);
    db->pIndex = nullptr;
    db->IndexCap = 0;
    db->IndexUsed = 0;
}

bool IndexAlloc(DbT *db, int32_t cap) {
    auto *slots = static_cast<DbTIndexSlot *>(GetMem(static_cast<int>(cap * sizeof(DbTIndexSlot))));
    if (!slots)
        return false;
    for (int32_t i = 0; i < cap; ++i)
        slots[i].Offset = -1;
    PutMem(db->pIndex);
    db->pIndex = slots;
    db->IndexCap = cap;
    db->IndexUsed = 0;
    return true;
}

// keyLen counts the NUL; the decoded key's NUL is known to be there.
bool SameKey(const DbT *db, const DbTIndexSlot &slot, const char *key, int keyLen) {
    return slot.KeyLen == keyLen &&
           memcmp(db->pPlain + slot.Offset + 4, key, static_cast<size_t>(keyLen - 1)) == 0;
}

// Slot holding the key, or -1.
int32_t IndexFind(const DbT *db, const char *key, int keyLen, uint32_t hash) {
    uint32_t mask = static_cast<uint32_t>(db->IndexCap) - 1;
    for (uint32_t i = hash & mask;; i = (i + 1) & mask) {
        const DbTIndexSlot &slot = db->pIndex[i];
        if (slot.Offset < 0)
            return -1;
        if (slot.Hash == hash && SameKey(db, slot, key, keyLen))
            return static_cast<int32_t>(i);
    }
}

void IndexPlace(DbT *db, const DbTIndexSlot &entry) {
    uint32_t mask = static_cast<uint32_t>(db->IndexCap) - 1;
    uint32_t i = entry.Hash & mask;
    while (db->pIndex[i].Offset >= 0)
        i = (i + 1) & mask;
    db->pIndex[i] = entry;
    ++db->IndexUsed;
}

bool IndexGrow(DbT *db) {
    DbTIndexSlot *old = db->pIndex;
    int32_t oldCap = db->IndexCap;
    db->pIndex = nullptr;
    if (oldCap > INT_MAX / 2 / static_cast<int32_t>(sizeof(DbTIndexSlot)) || !IndexAlloc(db, oldCap * 2)) {
        PutMem(old);
        db->IndexCap = 0;
        return false;
    }
    for (int32_t i = 0; i < oldCap; ++i)
        if (old[i].Offset >= 0)
            IndexPlace(db, old[i]);
    PutMem(old);
    return true;
}

// Adds the record unless an earlier one has its key (then counts a duplicate).
void IndexAdd(DbT *db, const DbTRecord &rec) {
    if (!db->pIndex)
        return;
    const char *key = reinterpret_cast<const char *>(db->pPlain + rec.KeyPos);
    uint32_t hash = HashBytes(db->pPlain + rec.KeyPos, static_cast<size_t>(rec.KeyLen - 1));
    if (IndexFind(db, key, rec.KeyLen, hash) >= 0) {
        ++db->DupKeys;
        return;
    }
    if ((db->IndexUsed + 1) * 2 > db->IndexCap && !IndexGrow(db))
        return;
    IndexPlace(db, DbTIndexSlot{hash, rec.Offset, rec.KeyLen});
}

// Linear-probing removal: later entries of the run move back into the hole.
void IndexRemoveSlot(DbT *db, uint32_t hole) {
    uint32_t mask = static_cast<uint32_t>(db->IndexCap) - 1;
    db->pIndex[hole].Offset = -1;
    --db->IndexUsed;
    for (uint32_t i = (hole + 1) & mask; db->pIndex[i].Offset >= 0; i = (i + 1) & mask) {
        uint32_t home = db->pIndex[i].Hash & mask;
        bool movable = (i > hole) ? (home <= hole || home > i) : (home <= hole && home > i);
        if (movable) {
            db->pIndex[hole] = db->pIndex[i];
            db->pIndex[i].Offset = -1;
            hole = i;
        }
    }
}

void IndexShift(DbT *db, int32_t from, int32_t delta) {
    for (int32_t i = 0; i < db->IndexCap; ++i)
        if (db->pIndex[i].Offset > from)
            db->pIndex[i].Offset -= delta;
}

void DropIndex(DbT *db) {
    IndexFree(db);
    PutMem(db->pPlain);
    db->pPlain = nullptr;
}

// The decoded copy and the index of a validated content of that many records; for a
// one-pass handle, or without memory for them, lookups walk the records.
void BuildIndex(DbT *db, int32_t records) {
    db->DupKeys = 0;
    int32_t cap = 64;
    while (cap < INT_MAX / 4 && cap < records * 2 + 2)
        cap *= 2;
    if ((db->Flags & DBT_ONEPASS) || !BuildPlain(db) || !IndexAlloc(db, cap)) {
        DropIndex(db);
        return;
    }
    DbTRecord rec;
    for (int32_t pos = FirstRecord(db); pos < db->Size && RecordAt(db, pos, &rec); pos += rec.RecLen + 2)
        IndexAdd(db, rec);
}

// Validates the whole content (cutting it at damage), then rebuilds the decoded
// copy and the index when the handle has them or has been asked twice already.
void Reindex(DbT *db) {
    DbTRecord rec;
    int32_t pos = FirstRecord(db);
    int32_t records = 0;
    while (pos < db->Size && RecordAt(db, pos, &rec)) {
        pos += rec.RecLen + 2;
        ++records;
    }
    if (pos < db->Size) {  // damage: the rest is dropped, and with it its count
        db->Size = pos;
        db->Count = records;
    }
    if (db->Type == DBT_TYPE_LEGACY)
        db->Count = records;
    db->WalkPos = FirstRecord(db);
    db->DupKeys = 0;
    if (db->pIndex || db->Lookups >= 2)
        BuildIndex(db, records);
    else  // made at the second lookup: opening for one lookup reads the file once
        DropIndex(db);
}

void IndexedRecord(const DbT *db, const DbTIndexSlot &slot, DbTRecord *rec) {
    rec->Offset = slot.Offset;
    rec->RecLen = Read16(db, slot.Offset);
    rec->KeyLen = slot.KeyLen;
    rec->KeyPos = slot.Offset + 4;
    rec->ValuePos = slot.Offset + 4 + slot.KeyLen;
    rec->ValueLen = rec->RecLen - slot.KeyLen - 2;
}

// Looks the key up: 1 with rec filled for the first record that has it.
bool Lookup(DbT *db, const char *key, DbTRecord *rec) {
    if (!key || !*key || !db->pContent)
        return false;
    size_t n = strlen(key);
    if (n + 3 > static_cast<size_t>(DBT_MAX_RECORD))
        return false;
    int keyLen = static_cast<int>(n + 1);
    if (!db->pIndex && !(db->Flags & DBT_ONEPASS) && db->Lookups < 2 && ++db->Lookups == 2) {
        int32_t records = 0;
        for (int more = WalkDbTRecords(db, rec, 0); more; more = WalkDbTRecords(db, rec, 1))
            ++records;
        BuildIndex(db, records);
    }
    if (!db->pIndex) {
        for (int more = WalkDbTRecords(db, rec, 0); more; more = WalkDbTRecords(db, rec, 1)) {
            if (rec->KeyLen != keyLen)
                continue;
            DbTDecodeKey(db, rec, KeyBuf);
            if (memcmp(KeyBuf, key, n) == 0)
                return true;
        }
        return false;
    }
    int32_t slot = IndexFind(db, key, keyLen, HashKey(key, n));
    if (slot < 0)
        return false;
    IndexedRecord(db, db->pIndex[slot], rec);
    return true;
}

void EmptyContent(DbT *db) {
    PutMem(db->pContent);
    db->pContent = static_cast<unsigned char *>(GetMem(DBT_HEADER_SIZE + SLACK));
    db->Size = db->pContent ? DBT_HEADER_SIZE : 0;
    db->Capacity = db->Size;
    db->DamagePos = -1;
    db->Count = 0;
    db->Type = DBT_TYPE_NONE;
    db->flSwap = HostIsLittle() ? 1 : 0;
    db->MTime = 0;
    db->FileSize = 0;
    db->FileId = 0;
    if (db->pContent)
        UpdateHeader(db);
    Reindex(db);
}

// Grows (or shrinks) the content and its decoded copy to size bytes in use.
// Growth is by half the capacity at least, so that a run of additions costs time in
// proportion to the bytes added; shrinking keeps the block.
bool ResizeContent(DbT *db, int32_t size) {
    if (db->pContent && size <= db->Capacity)
        return true;
    int64_t want = static_cast<int64_t>(db->Capacity) + db->Capacity / 2;
    int32_t cap = want > size && want <= MAX_CONTENT ? static_cast<int32_t>(want) : size;
    auto *content = static_cast<unsigned char *>(AdjustMem(db->pContent, cap + SLACK));
    if (!content && cap > size) {
        cap = size;
        content = static_cast<unsigned char *>(AdjustMem(db->pContent, cap + SLACK));
    }
    if (!content)
        return false;
    db->pContent = content;
    db->Capacity = cap;
    if (db->pPlain) {
        auto *plain = static_cast<unsigned char *>(AdjustMem(db->pPlain, cap + SLACK));
        if (plain) {
            db->pPlain = plain;
        } else {  // lose the fast path rather than the change
            PutMem(db->pPlain);
            db->pPlain = nullptr;
            IndexFree(db);
        }
    }
    return true;
}

// Where the content stops holding together: the first record that is not usable, or
// the end of the records when a headered file holds fewer or more than its count.
int32_t FindDamage(const DbT *db) {
    DbTRecord rec;
    int32_t pos = FirstRecord(db), records = 0;
    while (pos < db->Size && RecordAt(db, pos, &rec)) {
        pos += rec.RecLen + 2;
        ++records;
    }
    if (pos < db->Size)
        return pos;
    if (db->Type == DBT_TYPE_HEADERED && records != db->Count)
        return pos;
    return -1;
}

char *FileName(const DbT *db) {
    const char *name = db->pName;
    if (name[0] == '/')
        return strchr(name, '.') ? SaveStr_(name) : SaveStr("%s.xdb", name);
    if (name[0] == '.')
        return SaveStr_(name);
    return DbFilePath(name, "xdb");
}

struct FdGuard {
    int fd;
    ~FdGuard() {
        if (fd >= 0)
            close(fd);
    }
};

// The whole file into a new GetMem block; null when it cannot be read. *lasting
// gets 0 when a retry may help, otherwise the errno (the reason also in DbLastError).
unsigned char *ReadWhole(const char *path, int *size, int *room, DbStamp *stamp, int *lasting) {
    *lasting = 0;
    // O_NONBLOCK: opening a FIFO must not wait for a writer
    FdGuard guard{open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    int fd = guard.fd;
    struct stat sb;
    if (fd < 0 || fstat(fd, &sb) != 0) {
        if (!DbPassingError(errno)) {
            *lasting = errno;
            DbSetError("%s", strerror(errno));
        }
        return nullptr;
    }
    if (!S_ISREG(sb.st_mode)) {
        *lasting = S_ISDIR(sb.st_mode) ? EISDIR : EINVAL;
        DbSetError("not a regular file");
        return nullptr;
    }
    if (sb.st_size > MAX_CONTENT) {
        *lasting = EFBIG;
        DbSetError("%lld bytes, more than the %d bytes a database may hold", static_cast<long long>(sb.st_size),
                   MAX_CONTENT);
        return nullptr;
    }
    int n = static_cast<int>(sb.st_size);
    // room for one more record, so that a change does not copy the content again
    *room = n <= MAX_CONTENT - DBT_MAX_RECORD - 2 ? n + DBT_MAX_RECORD + 2 : n;
    auto *buf = static_cast<unsigned char *>(GetMem(*room + SLACK));
    if (!buf) {
        *lasting = ENOMEM;
        DbSetError("%s", strerror(ENOMEM));
        return nullptr;
    }
    int got = 0;
    while (got < n) {
        ssize_t r = read(fd, buf + got, static_cast<size_t>(n - got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && !DbPassingError(errno)) {
            *lasting = errno;
            DbSetError("%s", strerror(errno));
        }
        if (r <= 0)
            break;
        got += static_cast<int>(r);
    }
    if (got != n) {  // a short read: the file changed while it was read
        PutMem(buf);
        return nullptr;
    }
    stamp->MTime = static_cast<int64_t>(sb.st_mtim.tv_sec) * 1000000000 + sb.st_mtim.tv_nsec;
    stamp->Size = sb.st_size;
    stamp->Id = (static_cast<uint64_t>(sb.st_dev) << 40) ^ static_cast<uint64_t>(sb.st_ino);
    *size = n;
    return buf;
}

bool SameStamp(const DbT *db, const DbStamp &st) {
    return db->MTime == st.MTime && db->FileSize == st.Size && db->FileId == st.Id;
}

char *BuildList(DbT *db, const char *beginnings, const char *prefix, const char *suffix) {
    if (!prefix)
        prefix = "";
    if (!suffix)
        suffix = "";
    DbTRecord rec;
    if (!WalkDbTRecords(db, &rec, 0))
        return nullptr;
    // Keys with a NUL inside are listed up to it, so measuring needs the decoded key.
    size_t len = 0;
    char *key = KeyBuf;
    for (int more = 1; more; more = WalkDbTRecords(db, &rec, 1)) {
        DbTDecodeKey(db, &rec, key);
        if (!beginnings || TestKeyName(key, beginnings))
            len += strlen(prefix) + strlen(key);
    }
    len += strlen(suffix);
    if (len > static_cast<size_t>(INT_MAX - 64))
        return nullptr;
    auto *out = static_cast<char *>(GetMem(static_cast<int>(len)));
    if (!out)
        return nullptr;
    size_t at = 0;
    for (int more = WalkDbTRecords(db, &rec, 0); more; more = WalkDbTRecords(db, &rec, 1)) {
        DbTDecodeKey(db, &rec, key);
        if (beginnings && !TestKeyName(key, beginnings))
            continue;
        size_t pl = strlen(prefix), kl = strlen(key);
        memcpy(out + at, prefix, pl);
        memcpy(out + at + pl, key, kl);
        at += pl + kl;
    }
    memcpy(out + at, suffix, strlen(suffix) + 1);
    return out;
}

}  // namespace

// Scrambling --------------------------------------------------------------------

void DbScramble(unsigned char *p, int n) {
    for (int i = 0; i + 1 < n; ++i)
        p[i] ^= p[i + 1];
}

void DbUnscramble(unsigned char *p, int n) {
    for (int i = n - 2; i >= 0; --i)
        p[i] ^= p[i + 1];
}

// Handle and loading ---------------------------------------------------------------

DbT *DbTOpen(const char *name, int flags) {
    if (!name)
        return nullptr;
    auto *db = static_cast<DbT *>(GetMem(sizeof(DbT)));
    if (!db)
        return nullptr;
    db->pName = SaveStr_(name);
    db->Flags = flags;
    db->flSwap = HostIsLittle() ? 1 : 0;
    db->LockFd = -1;
    db->DamagePos = -1;
    DbTUpDate(db);
    if (!db->pContent)
        EmptyContent(db);
    if (!db->pContent) {
        DbTClose(db);
        return nullptr;
    }
    return db;
}

void DbTClose(DbT *db) {
    if (!db)
        return;
    DbTUnlock(db);
    IndexFree(db);
    PutMem(db->pPlain);
    PutMem(db->pContent);
    PutMem(db->pName);
    PutMem(db);
}

void DbTSetContent(DbT *db, unsigned char *content, int size) {
    SetContent(db, content, size, -1);
}

namespace {

// capacity: the bytes the block holds beyond which SLACK bytes follow; -1 when not
// known (the block is then resized to size).
void SetContent(DbT *db, unsigned char *content, int size, int capacity) {
    if (!db)
        return;
    if (db->pContent != content)
        PutMem(db->pContent);
    db->pContent = content;
    db->Size = content ? size : 0;
    db->Capacity = capacity >= size ? capacity : 0;
    db->DamagePos = -1;
    if (content && capacity >= size) {
        memset(content + size, 0, static_cast<size_t>(capacity - size) + SLACK);
    } else if (content) {  // the caller's block may lack the slack
        auto *room = static_cast<unsigned char *>(AdjustMem(content, size + SLACK));
        if (room) {
            db->pContent = content = room;
            db->Capacity = size;
            memset(room + size, 0, SLACK);
        } else {
            db->Size = 0;
        }
    }
    if (db->Size >= 5 && memcmp(content, "TXDBA", 5) == 0) {
        db->Type = DBT_TYPE_HEADERED;
        db->Count = 0;
        for (int i = 6; i < db->Size && i < 15 && content[i] >= '0' && content[i] <= '9'; ++i)
            db->Count = db->Count * 10 + (content[i] - '0');
        if (db->Size < DBT_HEADER_SIZE) {  // a cut header: keep what there is, pad it
            auto *grown = static_cast<unsigned char *>(AdjustMem(content, DBT_HEADER_SIZE + SLACK));
            if (grown) {
                db->pContent = grown;
                db->Capacity = DBT_HEADER_SIZE;
                db->DamagePos = db->Size;
                memset(grown + db->Size, 0, static_cast<size_t>(DBT_HEADER_SIZE - db->Size));
                db->Size = DBT_HEADER_SIZE;
            } else {
                db->Size = 5;
            }
        }
    } else {
        db->Type = DBT_TYPE_LEGACY;
        db->Count = 0;
    }
    db->flSwap = (db->Type != DBT_TYPE_LEGACY && HostIsLittle()) ? 1 : 0;
    if (db->Type == DBT_TYPE_HEADERED && db->Size < DBT_HEADER_SIZE)
        db->Size = 0;  // no room for a header: nothing is usable
    if (db->DamagePos < 0)
        db->DamagePos = FindDamage(db);
    Reindex(db);
}

}  // namespace

void DbTUpDate(DbT *db) {
    if (!db)
        return;
    char *path = FileName(db);
    std::unique_ptr<char, void (*)(void *)> pathGuard(path, PutMem);
    DbStamp st;
    if (!DbStatFile(path, &st)) {
        db->LoadErr = errno == ENOENT || errno == ENOTDIR ? 0 : errno;
        if (db->LoadErr)
            DbSetError("%s", strerror(errno));
        return;  // no file: the database stays as it is
    }
    if (db->pContent && db->Type != DBT_TYPE_NONE && db->LoadErr == 0 && SameStamp(db, st))
        return;
    unsigned char *content = nullptr;
    int size = 0, room = 0, lasting = 0;
    for (int attempt = 1; attempt <= DBT_RETRIES; ++attempt) {
        content = ReadWhole(path, &size, &room, &st, &lasting);
        if (content || lasting)
            break;
        DbStamp now;
        if (!DbStatFile(path, &now))
            break;  // gone: nothing to wait for
        if (attempt < DBT_RETRIES)
            SysSleep(1);
    }
    if (!content && !lasting && DbStatFile(path, &st)) {
        lasting = EAGAIN;  // it kept changing while it was read
        DbSetError("the file kept changing while it was read");
    }
    if (!content || size == 0) {
        PutMem(content);
        EmptyContent(db);
        db->LoadErr = lasting;
        return;
    }
    db->LoadErr = 0;
    SetContent(db, content, size, room);
    db->MTime = st.MTime;
    db->FileSize = st.Size;
    db->FileId = st.Id;
}

void DbTSetDbType(DbT *db, int type) {
    if (!Checked(db))
        return;
    db->Type = type;
    db->flSwap = (type != DBT_TYPE_LEGACY && HostIsLittle()) ? 1 : 0;
    if (type != DBT_TYPE_LEGACY && db->Size < DBT_HEADER_SIZE && ResizeContent(db, DBT_HEADER_SIZE)) {
        db->Size = DBT_HEADER_SIZE;
        UpdateHeader(db);
    }
    Reindex(db);
}

void UpdateHeader(DbT *db) {
    if (!db || !db->pContent || db->Size < DBT_HEADER_SIZE)
        return;
    char head[DBT_HEADER_SIZE + 8];
    int count = db->Count < 0 ? 0 : (db->Count > DBT_MAX_COUNT ? DBT_MAX_COUNT : db->Count);
    int n = snprintf(head, sizeof head, "TXDBAA%d", count);
    memcpy(db->pContent, head, static_cast<size_t>(n) + 1);
    for (int i = n + 1; i < DBT_HEADER_SIZE; ++i)
        db->pContent[i] = static_cast<unsigned char>(rand() % 256);
}

// Walk and search --------------------------------------------------------------------

int WalkDbTRecords(DbT *db, DbTRecord *rec, int cont) {
    if (!db || !rec || !db->pContent)
        return 0;
    if (!cont)
        db->WalkPos = FirstRecord(db);
    if (db->WalkPos >= db->Size)
        return 0;
    if (!RecordAt(db, db->WalkPos, rec)) {
        db->Size = db->WalkPos;  // damage (only content set behind the loader's back)
        Reindex(db);
        return 0;
    }
    db->ReadPos = rec->KeyPos;
    db->WalkPos += rec->RecLen + 2;
    return 1;
}

int FindTRecord(DbT *db, const char *key, DbTRecord *rec) {
    if (!db || !rec || !Lookup(db, key, rec))
        return 0;
    db->ReadPos = rec->ValuePos;
    return 1;
}

void DbTDecodeKey(const DbT *db, const DbTRecord *rec, char *out) {
    if (db->pPlain) {
        memcpy(out, db->pPlain + rec->KeyPos, static_cast<size_t>(rec->KeyLen));
        return;
    }
    // The stored key ends in its NUL, so each plain byte is the stored one XOR the
    // plain byte after it.
    const unsigned char *s = db->pContent + rec->KeyPos;
    out[rec->KeyLen - 1] = '\0';
    for (int i = rec->KeyLen - 2; i >= 0; --i)
        out[i] = static_cast<char>(s[i] ^ static_cast<unsigned char>(out[i + 1]));
}

void DbTDecodeValue(const DbT *db, const DbTRecord *rec, void *out, int limit) {
    int n = limit < rec->ValueLen ? limit : rec->ValueLen;
    if (n <= 0)
        return;
    if (db->pPlain) {
        memcpy(out, db->pPlain + rec->ValuePos, static_cast<size_t>(n));
        return;
    }
    const unsigned char *s = db->pContent + rec->ValuePos;
    auto *o = static_cast<unsigned char *>(out);
    if (n == rec->ValueLen) {
        DecodeChunk(s, o, n);
        return;
    }
    unsigned char next = 0;
    for (int i = rec->ValueLen - 1; i >= 0; --i) {
        next = static_cast<unsigned char>(s[i] ^ next);
        if (i < n)
            o[i] = next;
    }
}

int TestKeyName(const char *key, const char *beginnings) {
    if (!key || !beginnings)
        return 0;
    const char *p = beginnings;
    while (*p) {
        const char *end = strchr(p, ',');
        size_t n = end ? static_cast<size_t>(end - p) : strlen(p);
        if (n > 0 && strncmp(key, p, n) == 0)
            return 1;
        if (!end)
            break;
        p = end + 1;
    }
    return 0;
}

// Removal ------------------------------------------------------------------------------

namespace {

void RemoveOne(DbT *db, int32_t slot) {
    DbTRecord rec;
    IndexedRecord(db, db->pIndex[slot], &rec);
    int32_t off = rec.Offset, gone = rec.RecLen + 2;
    size_t rest = static_cast<size_t>(db->Size - off - gone);
    memmove(db->pContent + off, db->pContent + off + gone, rest);
    memmove(db->pPlain + off, db->pPlain + off + gone, rest);
    db->Size -= gone;
    IndexRemoveSlot(db, static_cast<uint32_t>(slot));
    IndexShift(db, off, gone);
    if (db->Count > 0)
        --db->Count;
}

// keyLen counts the NUL; prefixLen 0 asks for the whole key.
bool Matches(const DbT *db, const DbTRecord &rec, const char *key, int keyLen, int prefixLen) {
    if (prefixLen == 0 ? rec.KeyLen != keyLen : rec.KeyLen < prefixLen)
        return false;
    DbTDecodeKey(db, &rec, KeyBuf);
    return memcmp(KeyBuf, key, static_cast<size_t>(prefixLen == 0 ? keyLen : prefixLen)) == 0;
}

// Copies the records that do not match down over those that do, in one pass (the
// decoded copy is rebuilt afterwards).
bool Compact(DbT *db, const char *key, int keyLen, int prefixLen) {
    int32_t read = FirstRecord(db), write = read;
    bool removed = false;
    DbTRecord rec;
    while (read < db->Size && RecordAt(db, read, &rec)) {
        int32_t len = rec.RecLen + 2;
        if (Matches(db, rec, key, keyLen, prefixLen)) {
            removed = true;
            if (db->Count > 0)
                --db->Count;
        } else {
            if (write != read)
                memmove(db->pContent + write, db->pContent + read, static_cast<size_t>(len));
            write += len;
        }
        read += len;
    }
    db->Size = write;
    return removed;
}

}  // namespace

int PurgeTRecord(DbT *db, const char *key, int prefixLen) {
    if (!db || !key || !db->pContent || prefixLen < 0)
        return 0;
    size_t n = strlen(key);
    if (n + 3 > static_cast<size_t>(DBT_MAX_RECORD))
        return 0;
    int keyLen = static_cast<int>(n + 1);
    if (prefixLen > keyLen - 1)
        prefixLen = keyLen - 1;
    bool removed;
    if (prefixLen == 0 && db->pIndex && db->DupKeys == 0) {
        int32_t slot = IndexFind(db, key, keyLen, HashKey(key, n));
        removed = slot >= 0;
        if (removed)
            RemoveOne(db, slot);
    } else {
        removed = Compact(db, key, keyLen, prefixLen);
        if (removed)
            Reindex(db);
    }
    if (removed) {
        ResizeContent(db, db->Size);  // shrinking keeps the block when it cannot move
        db->WalkPos = FirstRecord(db);
    }
    return removed ? 1 : 0;
}

// Reading ------------------------------------------------------------------------------

int DbmTGetRecord(DbT *db, const char *key, void *buf) {
    DbTRecord rec;
    if (!buf || !Checked(db) || !FindTRecord(db, key, &rec))
        return 0;
    DbTDecodeValue(db, &rec, buf, rec.ValueLen);
    return rec.ValueLen;
}

int DbmTGetRecordN(DbT *db, const char *key, void *buf, size_t size) {
    DbTRecord rec;
    if (!buf || !Checked(db) || !FindTRecord(db, key, &rec))
        return 0;
    if (size > 0) {
        int limit = size - 1 < static_cast<size_t>(rec.ValueLen) ? static_cast<int>(size - 1) : rec.ValueLen;
        DbTDecodeValue(db, &rec, buf, limit);
        static_cast<char *>(buf)[limit] = '\0';
    }
    return rec.ValueLen;
}

int DbmTGetRecordV(DbT *db, const char *key, char **pbuf, int size) {
    DbTRecord rec;
    if (!pbuf || !Checked(db) || !FindTRecord(db, key, &rec))
        return 0;
    if (rec.ValueLen > size || !*pbuf) {
        auto *big = static_cast<char *>(GetMem(rec.ValueLen > 0 ? rec.ValueLen : 1));
        if (!big)
            return 0;
        *pbuf = big;
    }
    DbTDecodeValue(db, &rec, *pbuf, rec.ValueLen);
    if (rec.ValueLen < size)
        (*pbuf)[rec.ValueLen] = '\0';
    return rec.ValueLen;
}

int DbmTGetRecordSize(DbT *db, const char *key) {
    DbTRecord rec;
    if (!Checked(db) || !FindTRecord(db, key, &rec))
        return 0;
    return rec.ValueLen;
}

char *DbmTGetRecordList(DbT *db, const char *prefix, const char *suffix) {
    if (!Checked(db))
        return nullptr;
    return BuildList(db, nullptr, prefix, suffix);
}

char *DbmTGetRecordListS(DbT *db, const char *beginnings, const char *prefix, const char *suffix) {
    if (!Checked(db) || !beginnings)
        return nullptr;
    return BuildList(db, beginnings, prefix, suffix);
}

DbLink *DbmTGetDbLinkList(DbT *db, const char *text) {
    if (!text || !Checked(db))
        return nullptr;
    DbLink *first = nullptr, **tail = &first;
    DbTRecord rec;
    for (int more = WalkDbTRecords(db, &rec, 0); more; more = WalkDbTRecords(db, &rec, 1)) {
        auto *copy = static_cast<char *>(GetMem(rec.KeyLen + rec.ValueLen));
        if (!copy)
            break;
        DbTDecodeKey(db, &rec, copy);
        if (!strstr(copy, text)) {
            PutMem(copy);
            continue;
        }
        auto *node = static_cast<DbLink *>(GetMem(sizeof(DbLink)));
        if (!node) {
            PutMem(copy);
            break;
        }
        DbTDecodeValue(db, &rec, copy + rec.KeyLen, rec.ValueLen);
        node->pKey = copy;
        node->pValue = copy + rec.KeyLen;
        node->ValueLen = rec.ValueLen;
        *tail = node;
        tail = &node->pNext;
    }
    return first;
}

// Changes ------------------------------------------------------------------------------

namespace {

// Makes a change that is written at once the only one between the read and the
// rename: takes the lock unless the caller holds it (then *took is set) and reloads
// the file under it when it changed.
bool BeginChange(DbT *db, bool *took) {
    *took = false;
    if (db->Flags & DBT_NOWRITE) {
        Checked(db);
        return true;
    }
    if (db->LockFd >= 0) {
        DbTUpDate(db);
        return true;
    }
    if (!DbTLock(db)) {
        if (!flDbQuiet)
            fprintf(stderr, "ERROR: Can't write to %s\n", db->pName);
        return false;
    }
    *took = true;
    return true;
}

int EndChange(DbT *db, bool took, int result) {
    if (took)
        DbTUnlock(db);
    return result;
}

// Appends one record (the key bytes, then its NUL) at the end of the content.
int Append(DbT *db, const char *key, size_t keyLen, const void *value, int length) {
    if (db->Type == DBT_TYPE_NONE) {
        db->Type = DBT_TYPE_HEADERED;
        db->flSwap = HostIsLittle() ? 1 : 0;
    }
    if (db->Type != DBT_TYPE_LEGACY && db->Size < DBT_HEADER_SIZE)
        db->Size = DBT_HEADER_SIZE;
    int recLen = static_cast<int>(2 + keyLen) + length;
    int32_t at = db->Size;
    if (!ResizeContent(db, at + recLen + 2))
        return 0;
    // The record is written plain, copied to the decoded copy, then scrambled.
    unsigned char *p = db->pContent + at;
    Write16(p, db, recLen);
    Write16(p + 2, db, static_cast<int>(keyLen));  // legacy: host order, flSwap is 0
    memcpy(p + 4, key, keyLen - 1);
    p[4 + keyLen - 1] = 0;
    if (length > 0)
        memcpy(p + 4 + keyLen, value, static_cast<size_t>(length));
    if (db->pPlain)
        memcpy(db->pPlain + at, p, static_cast<size_t>(recLen) + 2);
    if (db->Type == DBT_TYPE_LEGACY) {
        DbScramble(p + 2, recLen);
    } else {
        DbScramble(p + 4, static_cast<int>(keyLen));
        DbScramble(p + 4 + keyLen, length);
    }
    db->Size += recLen + 2;
    ++db->Count;
    DbTRecord rec;
    if (RecordAt(db, at, &rec))
        IndexAdd(db, rec);
    return 1;
}

bool RoomFor(const DbT *db, size_t keyLen, int length, bool adds) {
    if (2 + keyLen + static_cast<size_t>(length) > static_cast<size_t>(DBT_MAX_RECORD))
        return false;
    if (db->Type != DBT_TYPE_LEGACY && adds && db->Count >= DBT_MAX_COUNT)
        return false;
    return db->Size <= MAX_CONTENT;
}

}  // namespace

int DbTLock(DbT *db) {
    if (!db)
        return 0;
    if (db->LockFd >= 0)
        return 1;
    char *path = FileName(db);
    if (db->pName[0] != '/' && db->pName[0] != '.')
        DbMakeParentDirs(path);
    db->LockFd = DbLockFile(path);
    PutMem(path);
    if (db->LockFd < 0)
        return 0;
    DbTUpDate(db);
    return 1;
}

void DbTUnlock(DbT *db) {
    if (db && db->LockFd >= 0) {
        DbUnlock(db->LockFd);
        db->LockFd = -1;
    }
}

void DbTEmpty(DbT *db) {
    if (!db)
        return;
    EmptyContent(db);
    db->LoadErr = 0;
}

int DbTAppendRecord(DbT *db, const char *key, int keyLen, const void *value, int valueLen) {
    if (!db || !key || keyLen < 0 || valueLen < 0 || (valueLen > 0 && !value) || !db->pContent)
        return 0;
    if (!RoomFor(db, static_cast<size_t>(keyLen) + 1, valueLen, true))
        return 0;
    return Append(db, key, static_cast<size_t>(keyLen) + 1, value, valueLen);
}

int DbmTPutRecord(DbT *db, const char *key, const void *value, int length) {
    if (!db || !key || !*key || !value || length <= 0)
        return 0;
    size_t keyLen = strlen(key) + 1;
    if (2 + keyLen + static_cast<size_t>(length) > static_cast<size_t>(DBT_MAX_RECORD))
        return 0;
    bool took;
    if (!BeginChange(db, &took))
        return 0;
    DbTRecord rec;
    bool exists = Lookup(db, key, &rec);
    if (!RoomFor(db, keyLen, length, !exists))
        return EndChange(db, took, 0);
    if (exists)
        PurgeTRecord(db, key, 0);
    if (!Append(db, key, keyLen, value, length))
        return EndChange(db, took, 0);
    if (db->Flags & DBT_NOWRITE)
        return EndChange(db, took, 1);
    return EndChange(db, took, DbmTArchiveDb(db));
}

int DbmTCopyRecord(DbT *db, const char *srcKey, const char *dstKey) {
    if (!dstKey || !Checked(db))
        return 0;
    DbTRecord rec;
    if (!FindTRecord(db, srcKey, &rec) || rec.ValueLen <= 0)
        return 0;
    auto *value = static_cast<unsigned char *>(GetMem(rec.ValueLen));
    if (!value)
        return 0;
    DbTDecodeValue(db, &rec, value, rec.ValueLen);
    int result = DbmTPutRecord(db, dstKey, value, rec.ValueLen);
    PutMem(value);
    return result;
}

int DbmTDeleteRecord(DbT *db, const char *key) {
    bool took;
    if (!key || !db || !BeginChange(db, &took))
        return 0;
    if (!PurgeTRecord(db, key, 0))
        return EndChange(db, took, 0);
    if (db->Flags & DBT_NOWRITE)
        return EndChange(db, took, 1);
    return EndChange(db, took, DbmTArchiveDb(db));
}

int DbmTDeleteRecords(DbT *db, const char *prefix) {
    bool took;
    if (!prefix || !db || !BeginChange(db, &took))
        return 0;
    if (!PurgeTRecord(db, prefix, static_cast<int>(strlen(prefix))))
        return EndChange(db, took, 1);
    if (db->Flags & DBT_NOWRITE)
        return EndChange(db, took, 1);
    return EndChange(db, took, DbmTArchiveDb(db));
}

int DbmTArchiveDb(DbT *db) {
    if (!db || !db->pContent)
        return 0;
    if (db->LoadErr) {  // the content is not the file's: never write it over the file
        if (!flDbQuiet)
            fprintf(stderr, "ERROR: Can't write to %s\n", db->pName);
        return 0;
    }
    bool took = false;
    if (db->LockFd < 0) {
        char *path = FileName(db);
        if (db->pName[0] != '/' && db->pName[0] != '.') {
            DbMakeLocalDir();
            DbMakeParentDirs(path);
        }
        db->LockFd = DbLockFile(path);
        PutMem(path);
        if (db->LockFd < 0) {
            if (!flDbQuiet)
                fprintf(stderr, "ERROR: Can't write to %s\n", db->pName);
            return 0;
        }
        took = true;
    }
    if (db->Type == DBT_TYPE_HEADERED)
        UpdateHeader(db);
    char *path = FileName(db);
    std::unique_ptr<char, void (*)(void *)> pathGuard(path, PutMem);
    char *tmp = nullptr, *target = nullptr;
    FILE *f = DbCreateRewriteFile(path, &tmp, &target);
    std::unique_ptr<char, void (*)(void *)> tmpGuard(tmp, PutMem), targetGuard(target, PutMem);
    if (!f) {
        if (!flDbQuiet)
            fprintf(stderr, "ERROR: Can't write to %s\n", db->pName);
        return EndChange(db, took, 0);
    }
    size_t n = static_cast<size_t>(db->Size);
    int ok = fwrite(db->pContent, 1, n, f) == n;
    DbStamp st{};
    if (!DbFinishRewrite(f, ok, tmp, target, db->pName, &st))
        return EndChange(db, took, 0);
    // The file now holds this content: remember it so that the next check does not
    // read it back (a link is followed when it is examined, so this is its file).
    db->MTime = st.MTime;
    db->FileSize = st.Size;
    db->FileId = st.Id;
    db->DamagePos = -1;
    return EndChange(db, took, 1);
}
