// fuzz_db.cpp - libFuzzer target over everything that reads untrusted bytes in the
// record databases and the message layer. The first byte picks the reader:
//   0 the typed database loader and walk (then lookups, lists, changes in memory)
//   1 the legacy record reader (GetData, PurgeRecord) over the bytes as a file
//   2 translation files: normalisation, language choice, the conversion check
//   3 the database source format (escapes, compile into a database in memory)
// Nothing is written to disk: handles are opened without a file and with
// DBT_NOWRITE.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "DbText.h"
#include "Dbm.h"
#include "DbmT.h"
#include "MemMgr.h"
#include "NlsUtils.h"

namespace {

DbT *MemoryDb() {
    return DbTOpen("./.fuzz-no-such-file", DBT_NOCHECK | DBT_NOWRITE);
}

void TypedDb(const uint8_t *data, size_t size, int type) {
    DbT *db = MemoryDb();
    auto *content = static_cast<unsigned char *>(GetMem(static_cast<int>(size) + 1));
    if (!db || !content) {
        PutMem(content);
        DbTClose(db);
        return;
    }
    memcpy(content, data, size);
    DbTSetContent(db, content, static_cast<int>(size));
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1 || size > 1 << 20)
        return 0;
    uint8_t mode = data[0];
    ++data;
    --size;
    switch (mode % 6) {
    case 0: TypedDb(data, size, 0); break;
    case 1: LegacyReader(data, size); break;
    case 2: Translation(data, size); break;
    case 3: Source(data, size); break;
    case 4: TypedDb(data, size, DBT_TYPE_LEGACY); break;
    default: TypedDb(data, size, DBT_TYPE_HEADERED); break;
    }
    return 0;
}
