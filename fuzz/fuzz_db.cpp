// fuzz_db.cpp - libFuzzer target over everything that reads untrusted bytes in the
// record databases and the message layer. The first byte picks the reader:
//   0 the typed database loader and walk (then lookups, lists, changes in memory)
//   1 the legacy record reader (GetData, PurgeRecord) over the bytes as a file
//   2 translation files: normalisation, language choice, the conversion check
//   3 the database source format (escapes, compile into a database in memory)
//   6 the write path: the bytes as a database file, then a put and a delete that
//     rewrite it (typed, and the legacy interface); the result must load whole, and
//     a put record is got back byte for byte
//   7 the exact source written by a dump compiles back to the same records
// Modes 0 to 5 write nothing: handles are opened without a file and with
// DBT_NOWRITE. Mode 6 writes in a private folder made once under /dev/shm (or /tmp).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "DbText.h"
#include "Dbm.h"
#include "DbmT.h"
#include "MemMgr.h"
#include "NlsUtils.h"

namespace {

DbT *MemoryDb() {
    return DbTOpen("./.fuzz-no-such-file", DBT_NOCHECK | DBT_NOWRITE);
}

// A handle holding the bytes as its content; null without memory.
DbT *LoadedDb(const uint8_t *data, size_t size) {
    DbT *db = MemoryDb();
    auto *content = static_cast<unsigned char *>(GetMem(static_cast<int>(size) + 1));
    if (!db || !content) {
        PutMem(content);
        DbTClose(db);
        return nullptr;
    }
    memcpy(content, data, size);
    DbTSetContent(db, content, static_cast<int>(size));
    return db;
}

void TypedDb(const uint8_t *data, size_t size, int type) {
    DbT *db = LoadedDb(data, size);
    if (!db)
        return;
    if (type)
        DbTSetDbType(db, type);
    // every key a walk meets must be found again, with the same value length
    DbTRecord rec;
    char key[DBT_MAX_RECORD];
    static char value[DBT_MAX_RECORD];
    int records = 0;
    for (int more = WalkDbTRecords(db, &rec, 0); more && records < 64; more = WalkDbTRecords(db, &rec, 1)) {
        ++records;
        DbTDecodeKey(db, &rec, key);
        DbTDecodeValue(db, &rec, value, rec.ValueLen);
        int pos = db->WalkPos;
        DbTRecord found;
        if (strlen(key) + 1 == static_cast<size_t>(rec.KeyLen) && key[0] &&
            (!FindTRecord(db, key, &found) || found.Offset > rec.Offset))
            __builtin_trap();
        db->WalkPos = pos;
    }
    char *list = DbmTGetRecordList(db, ",", ",");
    PutMem(list);
    list = DbmTGetRecordListS(db, "25_,2", "<", ">");
    PutMem(list);
    DbmFreeDbLinkList(DbmTGetDbLinkList(db, "_"));
    char small[16];
    DbmTGetRecordN(db, "25_1002", small, sizeof small);
    // A headered file whose count is already at the nine-digit limit takes no new
    // record; any other put must succeed.
    bool mayAdd = db->Type == DBT_TYPE_LEGACY || db->Count < DBT_MAX_COUNT ||
                  DbmTGetRecordSize(db, "25_1002") > 0;
    int put = DbmTPutRecord(db, "25_1002", "fuzz", 4);
    if (mayAdd && (put != 1 || DbmTGetRecordN(db, "25_1002", small, sizeof small) != 4))
        __builtin_trap();
    if (!mayAdd && put != 0)
        __builtin_trap();
    DbmTCopyRecord(db, "25_1002", "25_1003");
    DbmTDeleteRecords(db, "25_");
    if (DbmTGetRecordSize(db, "25_1003") != 0)
        __builtin_trap();
    DbTClose(db);
}

void LegacyReader(const uint8_t *data, size_t size) {
    FILE *in = fmemopen(const_cast<uint8_t *>(data), size, "rb");
    FILE *out = fopen("/dev/null", "wb");
    if (in && out) {
        static unsigned char buf[DBM_REC_BUF];
        while (GetData(in, buf) > 0) {
        }
        rewind(in);
        PurgeRecord("fuzz", in, out, "25_", 3);
    }
    if (in)
        fclose(in);
    if (out)
        fclose(out);
}

void Translation(const uint8_t *data, size_t size) {
    char *table = ParseTransText(reinterpret_cast<const char *>(data), size);
    if (!table)
        return;
    if (strlen(table) >= static_cast<size_t>(NLS_TRANS_MAX))
        __builtin_trap();
    for (const char *lang : {"fr_FR", "en_US", "de", "___LANG_NOT_SET___", "="}) {
        char *chosen = NlsChooseLanguage(table, lang);
        PutMem(chosen);
    }
    // the same bytes as a message text checked against a few signatures
    std::string text(reinterpret_cast<const char *>(data), size);
    for (const char *sig : {"%i%i", "%s%s%s", "%c%s", ""})
        if (NlsFormatMatches(text.c_str(), sig)) {
            char out[64];
            NlsFormatChecked(out, sizeof out, text.c_str(), nullptr, "%i%i%s%s", 1, 2, "a", "b");
        }
    PutMem(table);
}

void Source(const uint8_t *data, size_t size) {
    DbT *db = MemoryDb();
    if (!db)
        return;
    char err[128];
    DbCompileSource(db, reinterpret_cast<const char *>(data), size, err, sizeof err);
    DbTClose(db);
}

// A private folder for the write path, made once; the run moves into it, so the
// legacy interface (tool path unset: the current folder) writes in its "db".
const std::string &WriteDir() {
    static std::string dir;
    if (dir.empty()) {
        char tmpl[] = "/dev/shm/fuzzdb-XXXXXX", alt[] = "/tmp/fuzzdb-XXXXXX";
        const char *made = mkdtemp(tmpl);
        if (!made)
            made = mkdtemp(alt);
        if (!made)
            __builtin_trap();
        dir = made;
        if (chdir(made) != 0)
            __builtin_trap();
        std::string db = dir + "/db";
        mkdir(db.c_str(), 0777);
        atexit([] { std::string cmd = "rm -rf '" + dir + "'"; if (system(cmd.c_str()) != 0) {} });
    }
    return dir;
}

void WriteFileBytes(const std::string &path, const uint8_t *data, size_t size) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        __builtin_trap();
    if (size)
        fwrite(data, 1, size, f);
    fclose(f);
}

// Whatever the damage, a put and a delete leave a file that loads whole, with the
// put record found and the deleted one gone; the legacy file reads to its end.
void WritePath(const uint8_t *data, size_t size) {
    std::string path = WriteDir() + "/typed.xdb";
    WriteFileBytes(path, data, size);
    DbT *db = DbTOpen(path.c_str(), 0);
    if (!db)
        return;
    bool full = db->Type == DBT_TYPE_HEADERED && db->Count >= DBT_MAX_COUNT;
    int put = DbmTPutRecord(db, "25_1002", "fuzz", 4);
    DbmTDeleteRecord(db, "25_1003");
    DbTClose(db);
    DbT *again = DbTOpen(path.c_str(), DBT_NOCHECK);
    // nothing written is cut on reading (a header count that disagreed before may
    // still disagree: the recovery keeps it)
    if (!again || again->LoadErr || (put && again->DamagePos >= 0 && again->DamagePos < again->FileSize))
        __builtin_trap();
    char small[8];
    if (put && (DbmTGetRecordN(again, "25_1002", small, sizeof small) != 4 || memcmp(small, "fuzz", 4) != 0))
        __builtin_trap();
    if (!put && !full)
        __builtin_trap();
    if (DbmTGetRecordSize(again, "25_1003") != 0)
        __builtin_trap();
    DbTClose(again);

    WriteFileBytes(WriteDir() + "/db/legacy.xdb", data, size);
    if (DbmPutRecord("legacy", "25_1002", "fuzz", 4) != 1)
        __builtin_trap();
    // a put record is got back byte for byte (the value: the input's first bytes)
    int length = size < 64 ? static_cast<int>(size) : 64;
    char got[72];
    if (length > 0 && (DbmPutRecord("legacy", "25_1004", data, length) != 1 ||
                       DbmGetRecordN("legacy", "25_1004", got, sizeof got) != length || memcmp(got, data, length) != 0))
        __builtin_trap();
    DbmDeleteRecord("legacy", "25_1003");
    FILE *in = fopen((WriteDir() + "/db/legacy.xdb").c_str(), "rb");
    static unsigned char buf[DBM_REC_BUF];
    while (in && GetData(in, buf) > 0) {
    }
    if (!in || !feof(in))
        __builtin_trap();  // a record that does not read back whole
    fclose(in);
}

// A dump of the bytes (as a database) compiles back to the same records.
void DumpRoundTrip(const uint8_t *data, size_t size) {
    DbT *db = LoadedDb(data, size);
    if (!db)
        return;
    char *text = nullptr;
    size_t len = 0;
    FILE *out = open_memstream(&text, &len);
    int records = DbDumpSource(db, out);
    fclose(out);
    DbT *again = MemoryDb();
    char err[128];
    // records are as long in both kinds: the compiled file is a header and the records
    int first = db->Type == DBT_TYPE_LEGACY ? 0 : DBT_HEADER_SIZE;
    int expected = DBT_HEADER_SIZE + (db->Size > first ? db->Size - first : 0);
    if (DbCompileSource(again, text, len, err, sizeof err) != records || again->Size != expected)
        __builtin_trap();
    free(text);
    DbTClose(again);
    DbTClose(db);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1 || size > 1 << 20)
        return 0;
    uint8_t mode = data[0];
    ++data;
    --size;
    switch (mode % 8) {
    case 0: TypedDb(data, size, 0); break;
    case 1: LegacyReader(data, size); break;
    case 2: Translation(data, size); break;
    case 3: Source(data, size); break;
    case 4: TypedDb(data, size, DBT_TYPE_LEGACY); break;
    case 6: WritePath(data, size); break;
    case 7: DumpRoundTrip(data, size); break;
    case 5: TypedDb(data, size, DBT_TYPE_HEADERED); break;
    default: break;
    }
    return 0;
}
