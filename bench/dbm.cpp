// dbm.cpp - message lookups in the typed record database, side by side with a
// tinycdb constant database and a std::unordered_map holding the same records.
// 5,000 message records ("<group>_<number>" keys, texts of 20 to 80 bytes); one
// iteration looks every key up and copies its value out. The typed database is
// measured as the message databases use it unchanged on disk (open flag
// DBT_NOCHECK) and, for reference, with the change check (a stat) before each
// lookup. After the runs it prints the lookups per second of each.
#include <benchmark/benchmark.h>

#include "BenchReport.h"
#include <fcntl.h>
#include <ftw.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "DbmT.h"
#include "Buffers.h"
#include "MemMgr.h"
#include "StrUtils.h"

#ifdef HAVE_CDB
#include <cdb.h>
#endif

namespace {

constexpr int RECORDS = 5000;

struct Corpus {
    std::vector<std::string> Keys;
    std::vector<std::string> Values;
    std::string Dir;  // scratch tree holding the files
    Corpus() {
        std::mt19937 rng(4242);
        std::uniform_int_distribution<int> len(20, 80), ch('a', 'z');
        for (int i = 0; i < RECORDS; ++i) {
            Keys.push_back(std::to_string(20 + i % 13) + "_" + std::to_string(1000 + i));
            std::string v;
            for (int n = len(rng); n > 0; --n)
                v += static_cast<char>(ch(rng));
            Values.push_back(v);
        }
        char tmpl[] = "/tmp/dbmbench-XXXXXX";
        if (mkdtemp(tmpl))
            Dir = tmpl;
    }
    ~Corpus() {
        if (!Dir.empty())
            nftw(Dir.c_str(), [](const char *p, const struct stat *, int, struct FTW *) { return remove(p); },
                 16, FTW_DEPTH | FTW_PHYS);
    }
};
const Corpus &Data() {
    static const Corpus corpus;
    return corpus;
}

// The typed database file, written once through the library.
std::string TypedFile() {
    static std::string path;
    if (!path.empty())
        return path;
    const Corpus &c = Data();
    char *saved = pToolPath;
    pToolPath = SaveStr_(c.Dir.c_str());
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd) || chdir(c.Dir.c_str()) != 0)
        return path;
    DbT *db = DbTOpen("messages", DBT_NOCHECK | DBT_NOWRITE);
    for (int i = 0; i < RECORDS; ++i)
        DbmTPutRecord(db, c.Keys[i].c_str(), c.Values[i].data(), static_cast<int>(c.Values[i].size()));
    if (DbmTArchiveDb(db))
        path = c.Dir + "/db/messages.xdb";
    DbTClose(db);
    if (chdir(cwd) != 0)
        perror("chdir");
    PutMem(pToolPath);
    pToolPath = saved;
    return path;
}

void TypedLookups(benchmark::State &state, int flags) {
    const Corpus &c = Data();
    std::string path = TypedFile();
    DbT *db = path.empty() ? nullptr : DbTOpen(path.c_str(), flags);
    if (!db) {
        state.SkipWithError("no database");
        return;
    }
    char buf[128];
    for (auto _ : state) {
        for (const std::string &k : c.Keys) {
            int n = DbmTGetRecordN(db, k.c_str(), buf, sizeof buf);
            benchmark::DoNotOptimize(n);
        }
    }
    if (DbmTGetRecordN(db, c.Keys[17].c_str(), buf, sizeof buf) != static_cast<int>(c.Values[17].size()))
        state.SkipWithError("wrong value");
    state.SetItemsProcessed(state.iterations() * RECORDS);
    DbTClose(db);
}

void Typed(benchmark::State &state) {
    TypedLookups(state, DBT_NOCHECK);
}

void TypedChecked(benchmark::State &state) {
    TypedLookups(state, 0);
}

void UnorderedMap(benchmark::State &state) {
    const Corpus &c = Data();
    std::unordered_map<std::string, std::string> map;
    for (int i = 0; i < RECORDS; ++i)
        map.emplace(c.Keys[i], c.Values[i]);
    char buf[128];
    for (auto _ : state) {
        for (const std::string &k : c.Keys) {
            auto it = map.find(k);
            size_t n = it->second.size() < sizeof buf - 1 ? it->second.size() : sizeof buf - 1;
            memcpy(buf, it->second.data(), n);
            buf[n] = '\0';
            benchmark::DoNotOptimize(buf);
        }
    }
    state.SetItemsProcessed(state.iterations() * RECORDS);
}

#ifdef HAVE_CDB
void TinyCdb(benchmark::State &state) {
    const Corpus &c = Data();
    std::string path = c.Dir + "/messages.cdb";
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    struct cdb_make mk;
    cdb_make_start(&mk, fd);
    for (int i = 0; i < RECORDS; ++i)
        cdb_make_add(&mk, c.Keys[i].data(), static_cast<unsigned>(c.Keys[i].size()), c.Values[i].data(),
                     static_cast<unsigned>(c.Values[i].size()));
    cdb_make_finish(&mk);
    close(fd);
    fd = open(path.c_str(), O_RDONLY);
    struct cdb db;
    if (fd < 0 || cdb_init(&db, fd) != 0) {
        state.SkipWithError("no cdb");
        return;
    }
    char buf[128];
    for (auto _ : state) {
        for (const std::string &k : c.Keys) {
            if (cdb_find(&db, k.data(), static_cast<unsigned>(k.size())) > 0) {
                unsigned n = cdb_datalen(&db) < sizeof buf - 1 ? cdb_datalen(&db) : sizeof buf - 1;
                cdb_read(&db, buf, n, cdb_datapos(&db));
                buf[n] = '\0';
            }
            benchmark::DoNotOptimize(buf);
        }
    }
    state.SetItemsProcessed(state.iterations() * RECORDS);
    cdb_free(&db);
    close(fd);
}
BENCHMARK(TinyCdb)->Name("lookups/tinycdb");
#endif

BENCHMARK(Typed)->Name("lookups/typed_db");
BENCHMARK(UnorderedMap)->Name("lookups/unordered_map");
BENCHMARK(TypedChecked)->Name("lookups/typed_db_change_check");

}  // namespace

int main(int argc, char **argv) {
    bench::RecordingReporter rep;
    if (!bench::RunAll(argc, argv, rep))
        return 1;
    for (const auto &[name, figures] : rep.Runs) {
        auto rate = figures.Counters.find("items_per_second");
        if (rate == figures.Counters.end())
            continue;
        std::cout << "lookups per second, " << name.substr(name.find('/') + 1) << ": " << std::fixed
                  << std::setprecision(0) << rate->second << '\n';
    }
    return 0;
}
