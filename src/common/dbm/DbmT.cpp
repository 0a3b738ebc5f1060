// DbmT.cpp - typed record database held in memory.
//
// The content is validated whole when it is loaded (and whenever the type changes):
// the walk stops at the first record that does not hold together and the content is
// cut there, so every later walk and every index entry sees only good records. Each
// record is found through an open-addressing index of the scrambled key bytes (the
// first record of each key wins, as a walk from the start would); the index follows
// every change of the content.
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

constexpr int MAX_CONTENT = INT_MAX - 2 * DBT_MAX_RECORD;
// Every content block has this many bytes beyond its size, so that keys can be
// compared eight bytes at a time up to the end of the content.
constexpr int SLACK = 8;

// The query key scrambled as it is stored (the bytes before the NUL).
unsigned char QueryBuf[DBT_MAX_RECORD + 8];

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

void Write16(const DbT *db, int32_t pos, int value) {
    auto v = static_cast<uint16_t>(value);
    if (db->flSwap)
        v = static_cast<uint16_t>((v >> 8) | (v << 8));
    memcpy(db->pContent + pos, &v, 2);
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

// Hash of stored key bytes, taken eight at a time (the last word padded with zeros).
uint64_t HashWord(uint64_t h, uint64_t w) {
    h = (h ^ w) * 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 29);
}

uint32_t HashFinish(uint64_t h, size_t n) {
    h = (h ^ n) * 0xBF58476D1CE4E5B9ull;
    return static_cast<uint32_t>(h ^ (h >> 32));
}

uint32_t HashBytes(const unsigned char *p, int n) {
    uint64_t h = 0, w = 0;
    for (int i = 0; i < n; ++i) {
        w |= static_cast<uint64_t>(p[i]) << (8 * (i & 7));
        if ((i & 7) == 7) {
            h = HashWord(h, w);
            w = 0;
        }
    }
    if (n & 7)
        h = HashWord(h, w);
    return HashFinish(h, static_cast<size_t>(n));
}

// Scrambles key (without its NUL) into QueryBuf and hashes the stored form; the
// stored key bytes before the NUL are exactly these. Returns the key length with
// the NUL, 0 for a key too long to be stored.
// Up to eight bytes of text as a little-endian word, with overlapping loads.
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

int ScrambleQuery(const char *key, uint32_t *hash) {
    size_t n = strlen(key);
    if (n + 1 > static_cast<size_t>(DBT_MAX_RECORD - 2))
        return 0;
    if (!HostIsLittle()) {
        for (size_t i = 0; i < n; ++i)
            QueryBuf[i] = static_cast<unsigned char>(key[i] ^ key[i + 1]);
        *hash = HashBytes(QueryBuf, static_cast<int>(n));
        return static_cast<int>(n + 1);
    }
    // Byte k of w ^ (w >> 8) is key[k] ^ key[k + 1]; the top byte takes the first
    // byte of the next word, the NUL after the last.
    uint64_t h = 0;
    for (size_t i = 0; i < n; i += 8) {
        size_t take = n - i < 8 ? n - i : 8;
        uint64_t w;
        if (take == 8)
            memcpy(&w, key + i, 8);
        else
            w = LoadPart(key + i, take);
        uint64_t next = take == 8 ? static_cast<unsigned char>(key[i + 8]) : 0;
        uint64_t scr = w ^ (w >> 8) ^ (next << 56);
        memcpy(QueryBuf + i, &scr, 8);
        h = HashWord(h, scr);
    }
    *hash = HashFinish(h, n);
    return static_cast<int>(n + 1);
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

// Compares the stored key bytes before the NUL with the scrambled query, eight
// bytes at a time (the content's slack and QueryBuf's room make the reads safe).
bool SameKey(const DbT *db, const DbTIndexSlot &slot, const unsigned char *scrambled, int keyLen) {
    if (slot.KeyLen != keyLen)
        return false;
    const unsigned char *stored = db->pContent + slot.Offset + 4;
    int n = keyLen - 1;
    for (int i = 0; i < n; i += 8) {
        uint64_t a, b;
        memcpy(&a, stored + i, 8);
        memcpy(&b, scrambled + i, 8);
        uint64_t diff = a ^ b;
        if (n - i < 8) {
            if (!HostIsLittle())
                return memcmp(stored + i, scrambled + i, static_cast<size_t>(n - i)) == 0;
            diff &= (uint64_t{1} << (8 * (n - i))) - 1;
        }
        if (diff)
            return false;
    }
    return true;
}

// Slot holding the key, or -1.
int32_t IndexFind(const DbT *db, const unsigned char *scrambled, int keyLen, uint32_t hash) {
    uint32_t mask = static_cast<uint32_t>(db->IndexCap) - 1;
    for (uint32_t i = hash & mask;; i = (i + 1) & mask) {
        const DbTIndexSlot &slot = db->pIndex[i];
        if (slot.Offset < 0)
            return -1;
        if (slot.Hash == hash && SameKey(db, slot, scrambled, keyLen))
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
    const unsigned char *key = db->pContent + rec.KeyPos;
    uint32_t hash = HashBytes(key, rec.KeyLen - 1);
    if (IndexFind(db, key, rec.KeyLen, hash) >= 0) {
        ++db->DupKeys;
        return;
    }
    if ((db->IndexUsed + 1) * 4 > db->IndexCap * 3 && !IndexGrow(db))
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

// Validates the whole content (cutting it at damage) and rebuilds the index.
void Reindex(DbT *db) {
    db->DupKeys = 0;
    if (!db->pIndex || db->IndexCap > 1024) {
        if (!IndexAlloc(db, 64))
            IndexFree(db);
    } else {
        for (int32_t i = 0; i < db->IndexCap; ++i)
            db->pIndex[i].Offset = -1;
        db->IndexUsed = 0;
    }
    DbTRecord rec;
    int32_t pos = FirstRecord(db);
    int32_t records = 0;
    while (pos < db->Size && RecordAt(db, pos, &rec)) {
        IndexAdd(db, rec);
        pos += rec.RecLen + 2;
        ++records;
    }
    if (pos < db->Size)
        db->Size = pos;  // damage: the rest is dropped
    if (db->Type == DBT_TYPE_LEGACY)
        db->Count = records;
    db->WalkPos = FirstRecord(db);
}

// Fills rec for a record the index holds (it was checked when it went in).
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
    uint32_t hash;
    int keyLen = ScrambleQuery(key, &hash);
    if (keyLen == 0)
        return false;
    if (!db->pIndex) {  // no memory for an index: walk
        for (int more = WalkDbTRecords(db, rec, 0); more; more = WalkDbTRecords(db, rec, 1))
            if (rec->KeyLen == keyLen &&
                memcmp(db->pContent + rec->KeyPos, QueryBuf, static_cast<size_t>(keyLen - 1)) == 0)
                return true;
        return false;
    }
    int32_t slot = IndexFind(db, QueryBuf, keyLen, hash);
    if (slot < 0)
        return false;
    IndexedRecord(db, db->pIndex[slot], rec);
    return true;
}

void EmptyContent(DbT *db) {
    PutMem(db->pContent);
    db->pContent = static_cast<unsigned char *>(GetMem(DBT_HEADER_SIZE + SLACK));
    db->Size = db->pContent ? DBT_HEADER_SIZE : 0;
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

// The whole file into a new GetMem block; null when it cannot be read.
// *lasting is set when a retry cannot help (not a regular file, too large).
unsigned char *ReadWhole(const char *path, int *size, DbStamp *stamp, bool *lasting) {
    FdGuard guard{open(path, O_RDONLY | O_CLOEXEC)};
    int fd = guard.fd;
    if (fd < 0)
        return nullptr;
    struct stat sb;
    if (fstat(fd, &sb) != 0)
        return nullptr;
    if (!S_ISREG(sb.st_mode) || sb.st_size > MAX_CONTENT) {
        *lasting = true;
        return nullptr;
    }
    int n = static_cast<int>(sb.st_size);
    auto *buf = static_cast<unsigned char *>(GetMem(n + SLACK));
    if (!buf)
        return nullptr;
    int got = 0;
    while (got < n) {
        ssize_t r = read(fd, buf + got, static_cast<size_t>(n - got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        got += static_cast<int>(r);
    }
    if (got != n) {
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
    auto *key = static_cast<char *>(GetMem(DBT_MAX_RECORD));
    if (!key)
        return nullptr;
    std::unique_ptr<char, void (*)(void *)> keyGuard(key, PutMem);
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
    IndexFree(db);
    PutMem(db->pContent);
    PutMem(db->pName);
    PutMem(db);
}

void DbTSetContent(DbT *db, unsigned char *content, int size) {
    if (!db)
        return;
    if (db->pContent != content)
        PutMem(db->pContent);
    db->pContent = content;
    db->Size = content ? size : 0;
    if (content) {  // the caller's block may lack the slack
        auto *room = static_cast<unsigned char *>(AdjustMem(content, size + SLACK));
        if (room) {
            db->pContent = content = room;
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
    Reindex(db);
}

void DbTUpDate(DbT *db) {
    if (!db)
        return;
    char *path = FileName(db);
    std::unique_ptr<char, void (*)(void *)> pathGuard(path, PutMem);
    DbStamp st;
    if (!DbStatFile(path, &st))
        return;  // no file: the database stays as it is
    if (db->pContent && db->Type != DBT_TYPE_NONE && SameStamp(db, st))
        return;
    unsigned char *content = nullptr;
    int size = 0;
    for (int attempt = 1; attempt <= DBT_RETRIES; ++attempt) {
        bool lasting = false;
        content = ReadWhole(path, &size, &st, &lasting);
        if (content || lasting)
            break;
        DbStamp now;
        if (!DbStatFile(path, &now) || now.Size == 0)
            break;  // gone or empty: nothing to wait for
        if (attempt < DBT_RETRIES)
            SysSleep(1);
    }
    if (!content) {
        EmptyContent(db);
        return;
    }
    DbTSetContent(db, content, size);
    db->MTime = st.MTime;
    db->FileSize = st.Size;
    db->FileId = st.Id;
}

void DbTSetDbType(DbT *db, int type) {
    if (!Checked(db))
        return;
    db->Type = type;
    db->flSwap = (type != DBT_TYPE_LEGACY && HostIsLittle()) ? 1 : 0;
    if (type != DBT_TYPE_LEGACY && db->Size < DBT_HEADER_SIZE) {
        auto *grown = static_cast<unsigned char *>(AdjustMem(db->pContent, DBT_HEADER_SIZE + SLACK));
        if (grown) {
            db->pContent = grown;
            db->Size = DBT_HEADER_SIZE;
            UpdateHeader(db);
        }
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
    // The stored key ends in its NUL, so each plain byte is the stored one XOR the
    // plain byte after it.
    const unsigned char *s = db->pContent + rec->KeyPos;
    out[rec->KeyLen - 1] = '\0';
    for (int i = rec->KeyLen - 2; i >= 0; --i)
        out[i] = static_cast<char>(s[i] ^ static_cast<unsigned char>(out[i + 1]));
}

// Each plain byte is the XOR of the stored bytes from it to the end of the chunk.
// Whole chunks are decoded eight bytes at a time from the end: within a word the
// shifts fold every later byte into each byte, and the plain byte after the word
// is folded into all eight.
static void DecodeChunk(const unsigned char *s, unsigned char *out, int n) {
    if (n < 8 || !HostIsLittle()) {
        unsigned char carry = 0;
        for (int i = n - 1; i >= 0; --i) {
            carry = static_cast<unsigned char>(s[i] ^ carry);
            out[i] = carry;
        }
        return;
    }
    uint64_t carry = 0;
    int i = n - 8;
    for (;; i -= 8) {
        if (i < 0) {  // the first bytes: a word overlapping the one after it, whose
            i = 0;    // bytes come out the same again; it folds in the plain byte 8
            carry = out[8];
        }
        uint64_t w;
        memcpy(&w, s + i, 8);
        w ^= w >> 8;
        w ^= w >> 16;
        w ^= w >> 32;
        w ^= carry * 0x0101010101010101ull;
        if (i == 0) {
            memcpy(out, &w, 8);
            return;
        }
        memcpy(out + i, &w, 8);
        carry = w & 0xFF;
    }
}

void DbTDecodeValue(const DbT *db, const DbTRecord *rec, void *out, int limit) {
    const unsigned char *s = db->pContent + rec->ValuePos;
    auto *o = static_cast<unsigned char *>(out);
    if (limit >= rec->ValueLen) {
        DecodeChunk(s, o, rec->ValueLen);
        return;
    }
    unsigned char next = 0;
    for (int i = rec->ValueLen - 1; i >= 0; --i) {
        next = static_cast<unsigned char>(s[i] ^ next);
        if (i < limit)
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
    int32_t off = db->pIndex[slot].Offset;
    if (!RecordAt(db, off, &rec))
        return;
    int32_t gone = rec.RecLen + 2;
    memmove(db->pContent + off, db->pContent + off + gone, static_cast<size_t>(db->Size - off - gone));
    db->Size -= gone;
    IndexRemoveSlot(db, static_cast<uint32_t>(slot));
    IndexShift(db, off, gone);
    if (db->Count > 0)
        --db->Count;
}

bool Matches(const DbT *db, const DbTRecord &rec, const char *key, int keyLen, int prefixLen) {
    if (prefixLen == 0)
        return rec.KeyLen == keyLen &&
               memcmp(db->pContent + rec.KeyPos, QueryBuf, static_cast<size_t>(keyLen - 1)) == 0;
    if (rec.KeyLen < prefixLen)
        return false;
    // Plain key bytes come from the end of the key backwards.
    auto *plain = static_cast<char *>(GetMem(rec.KeyLen));
    if (!plain)
        return false;
    DbTDecodeKey(db, &rec, plain);
    bool same = memcmp(plain, key, static_cast<size_t>(prefixLen)) == 0;
    PutMem(plain);
    return same;
}

// Copies the records that do not match down over those that do, in one pass.
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
    uint32_t hash;
    int keyLen = ScrambleQuery(key, &hash);
    if (keyLen == 0)
        return 0;
    if (prefixLen > keyLen - 1)
        prefixLen = keyLen - 1;
    bool removed;
    if (prefixLen == 0 && db->pIndex && db->DupKeys == 0) {
        int32_t slot = IndexFind(db, QueryBuf, keyLen, hash);
        removed = slot >= 0;
        if (removed)
            RemoveOne(db, slot);
    } else {
        removed = Compact(db, key, keyLen, prefixLen);
        if (removed)
            Reindex(db);
    }
    if (removed) {
        auto *shrunk = static_cast<unsigned char *>(AdjustMem(db->pContent, db->Size + SLACK));
        if (shrunk)
            db->pContent = shrunk;
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

int DbmTPutRecord(DbT *db, const char *key, const void *value, int length) {
    if (!db || !key || !*key || !value || length <= 0)
        return 0;
    size_t keyLen = strlen(key) + 1;
    if (2 + keyLen + static_cast<size_t>(length) > static_cast<size_t>(DBT_MAX_RECORD))
        return 0;
    Checked(db);
    if (db->Type == DBT_TYPE_NONE) {
        db->Type = DBT_TYPE_HEADERED;
        db->flSwap = HostIsLittle() ? 1 : 0;
    }
    DbTRecord rec;
    bool exists = Lookup(db, key, &rec);
    if (db->Type != DBT_TYPE_LEGACY && !exists && db->Count >= DBT_MAX_COUNT)
        return 0;
    if (db->Size > MAX_CONTENT)
        return 0;
    if (exists)
        PurgeTRecord(db, key, 0);
    if (db->Type != DBT_TYPE_LEGACY && db->Size < DBT_HEADER_SIZE)
        db->Size = DBT_HEADER_SIZE;
    int recLen = static_cast<int>(2 + keyLen) + length;
    auto *grown = static_cast<unsigned char *>(AdjustMem(db->pContent, db->Size + recLen + 2 + SLACK));
    if (!grown)
        return 0;
    db->pContent = grown;
    int32_t at = db->Size;
    unsigned char *p = grown + at;
    Write16(db, at, recLen);
    Write16(db, at + 2, static_cast<int>(keyLen));  // legacy: host order, as flSwap is 0
    memcpy(p + 4, key, keyLen);
    memcpy(p + 4 + keyLen, value, static_cast<size_t>(length));
    if (db->Type == DBT_TYPE_LEGACY) {
        DbScramble(p + 2, recLen);
    } else {
        DbScramble(p + 4, static_cast<int>(keyLen));
        DbScramble(p + 4 + keyLen, length);
        ++db->Count;
    }
    db->Size += recLen + 2;
    if (db->Type == DBT_TYPE_LEGACY)
        ++db->Count;
    if (RecordAt(db, at, &rec))
        IndexAdd(db, rec);
    if (db->Flags & DBT_NOWRITE)
        return 1;
    return DbmTArchiveDb(db);
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
    if (!key || !Checked(db))
        return 0;
    if (!PurgeTRecord(db, key, 0))
        return 0;
    if (db->Flags & DBT_NOWRITE)
        return 1;
    return DbmTArchiveDb(db);
}

int DbmTDeleteRecords(DbT *db, const char *prefix) {
    if (!prefix || !Checked(db))
        return 0;
    if (!PurgeTRecord(db, prefix, static_cast<int>(strlen(prefix))))
        return 1;
    if (db->Flags & DBT_NOWRITE)
        return 1;
    return DbmTArchiveDb(db);
}

int DbmTArchiveDb(DbT *db) {
    if (!db || !db->pContent)
        return 0;
    if (db->Type == DBT_TYPE_HEADERED)
        UpdateHeader(db);
    DbMakeLocalDir();
    char *tmp = nullptr;
    FILE *f = DbCreateRewriteFile(db->pName, &tmp);
    std::unique_ptr<char, void (*)(void *)> tmpGuard(tmp, PutMem);
    if (!f) {
        fprintf(stderr, "ERROR: Can't write to %s\n", db->pName);
        return 0;
    }
    size_t n = static_cast<size_t>(db->Size);
    int ok = fwrite(db->pContent, 1, n, f) == n;
    DbStamp st{};
    if (!DbFinishRewrite(f, ok, tmp, db->pName, &st))
        return 0;
    // The file now holds this content: remember it so that the next check does not
    // read it back, unless the file read is somewhere else than the file written.
    char *readPath = FileName(db);
    char *writePath = DbFilePath(db->pName, "xdb");
    if (strcmp(readPath, writePath) == 0) {
        db->MTime = st.MTime;
        db->FileSize = st.Size;
        db->FileId = st.Id;
    }
    PutMem(readPath);
    PutMem(writePath);
    return 1;
}
