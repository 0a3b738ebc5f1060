// xdbtool.cpp - the database tool's writes and the library's open, side by side with
// tinycdb's `cdb` and `sqlite3` on the same records, in one run:
//   compile: 100,000 message records from a source, `xdbtool compile` against
//            `cdb -c` (and an `sqlite3` import in one transaction);
//   put:     one record into a database of about 100 MB, `xdbtool put` against a
//            plain copy of the file (`cp`, then `sync` of the copy), and an
//            `sqlite3` insert;
//   open:    a 100,000-record database opened in process with a first lookup,
//            DbTOpen against tinycdb's cdb_init and cdb_find.
// Programs are timed from start to exit (wall time). The ratios of the aims are
// printed at the end. Needs the programs cdb and sqlite3 (make bench installs them).
#include <benchmark/benchmark.h>

#include "BenchReport.h"
#include <fcntl.h>
#include <ftw.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "DbmT.h"

#ifdef HAVE_CDB
#include <cdb.h>
#endif

#ifndef TOOL_PATH
#define TOOL_PATH "xdbtool"
#endif

namespace {

constexpr int SMALL_RECORDS = 100000;
constexpr int BIG_RECORDS = 50000;  // of 2,000-byte values: about 100 MB
constexpr int BIG_VALUE = 2000;

struct Scratch {
    std::string Dir;
    Scratch() {
        char tmpl[] = "/tmp/xdbbench-XXXXXX";
        if (mkdtemp(tmpl))
            Dir = tmpl;
    }
    ~Scratch() {
        if (!Dir.empty())
            nftw(Dir.c_str(), [](const char *p, const struct stat *, int, struct FTW *) { return remove(p); },
                 16, FTW_DEPTH | FTW_PHYS);
    }
    std::string Path(const std::string &name) const { return Dir + "/" + name; }
};
const Scratch &Tmp() {
    static const Scratch s;
    return s;
}

// Runs a program to its end, standard input and output from and to the given files
// ("" leaves them); its wall time in seconds, negative when it failed.
double Run(const std::vector<std::string> &args, const std::string &in = "", const std::string &out = "") {
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        if (!in.empty())
            dup2(open(in.c_str(), O_RDONLY), 0);
        dup2(open(out.empty() ? "/dev/null" : out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        std::vector<char *> argv;
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return WIFEXITED(st) && WEXITSTATUS(st) == 0 ? took.count() : -1;
}

std::string Key(int i) {
    return std::to_string(20 + i % 13) + "_" + std::to_string(1000 + i);
}

// The same records as an xdbtool source, a cdb input and an sqlite3 script.
void WriteSources(const std::string &name, int records, int valueLen) {
    std::mt19937 rng(4242);
    std::uniform_int_distribution<int> len(20, 80), ch('a', 'z');
    std::ofstream src(Tmp().Path(name + ".txt")), cdb(Tmp().Path(name + ".cdbin")), sql(Tmp().Path(name + ".sql"));
    sql << "create table t(k text primary key, v text);\nbegin;\n";
    for (int i = 0; i < records; ++i) {
        std::string v(valueLen > 0 ? valueLen : len(rng), 'x');
        for (char &c : v)
            c = static_cast<char>(ch(rng));
        std::string k = Key(i);
        src << k << '\t' << v << '\n';
        cdb << '+' << k.size() << ',' << v.size() << ':' << k << "->" << v << '\n';
        sql << "insert into t values('" << k << "','" << v << "');\n";
    }
    cdb << '\n';
    sql << "commit;\n";
}

bool Prepared() {
    static int ok = -1;
    if (ok >= 0)
        return ok == 1;
    WriteSources("small", SMALL_RECORDS, 0);
    WriteSources("big", BIG_RECORDS, BIG_VALUE);
    ok = Run({TOOL_PATH, "compile", Tmp().Path("small.txt"), Tmp().Path("small.xdb")}) >= 0 &&
         Run({TOOL_PATH, "compile", Tmp().Path("big.txt"), Tmp().Path("big.xdb")}) >= 0 &&
         Run({"cdb", "-c", Tmp().Path("small.cdb"), Tmp().Path("small.cdbin")}) >= 0 &&
         Run({"sqlite3", Tmp().Path("big.sqlite")}, Tmp().Path("big.sql")) >= 0;
    return ok == 1;
}

void Timed(benchmark::State &state, const std::vector<std::vector<std::string>> &steps) {
    if (!Prepared()) {
        state.SkipWithError("no records (is xdbtool, cdb or sqlite3 missing?)");
        return;
    }
    int round = 0;
    for (auto _ : state) {
        double total = 0;
        for (std::vector<std::string> step : steps) {
            for (std::string &a : step)
                if (a == "@")
                    a = "r" + std::to_string(round % 2);  // the database keeps its size
            double t = Run(step);
            if (t < 0) {
                state.SkipWithError(("failed: " + step[0]).c_str());
                return;
            }
            total += t;
        }
        state.SetIterationTime(total);
        ++round;
    }
}

void CompileXdb(benchmark::State &state) {
    Timed(state, {{TOOL_PATH, "compile", Tmp().Path("small.txt"), Tmp().Path("out.xdb")}});
}
void CompileCdb(benchmark::State &state) {
    Timed(state, {{"cdb", "-c", Tmp().Path("out.cdb"), Tmp().Path("small.cdbin")}});
}
void PutXdb(benchmark::State &state) {
    Timed(state, {{TOOL_PATH, "put", Tmp().Path("big.xdb"), "@", "value"}});
}
void PutCopy(benchmark::State &state) {
    Timed(state, {{"cp", Tmp().Path("big.xdb"), Tmp().Path("copy.xdb")}, {"sync", Tmp().Path("copy.xdb")}});
}
void PutSqlite(benchmark::State &state) {
    Timed(state, {{"sqlite3", Tmp().Path("big.sqlite"), "insert or replace into t values('@','value');"}});
}

void OpenXdb(benchmark::State &state) {
    if (!Prepared()) {
        state.SkipWithError("no records");
        return;
    }
    std::string path = Tmp().Path("small.xdb"), key = Key(SMALL_RECORDS / 2);
    char buf[128];
    for (auto _ : state) {
        DbT *db = DbTOpen(path.c_str(), DBT_NOCHECK);
        int n = DbmTGetRecordN(db, key.c_str(), buf, sizeof buf);
        benchmark::DoNotOptimize(n);
        DbTClose(db);
        if (n <= 0)
            state.SkipWithError("not found");
    }
}

#ifdef HAVE_CDB
void OpenCdb(benchmark::State &state) {
    if (!Prepared()) {
        state.SkipWithError("no records");
        return;
    }
    std::string path = Tmp().Path("small.cdb"), key = Key(SMALL_RECORDS / 2);
    char buf[128];
    for (auto _ : state) {
        int fd = open(path.c_str(), O_RDONLY);
        struct cdb db;
        if (fd < 0 || cdb_init(&db, fd) != 0 || cdb_find(&db, key.data(), static_cast<unsigned>(key.size())) <= 0) {
            state.SkipWithError("not found");
            break;
        }
        unsigned n = cdb_datalen(&db) < sizeof buf ? cdb_datalen(&db) : sizeof buf;
        cdb_read(&db, buf, n, cdb_datapos(&db));
        benchmark::DoNotOptimize(buf);
        cdb_free(&db);
        close(fd);
    }
}
BENCHMARK(OpenCdb)->Name("open/tinycdb")->Unit(benchmark::kMicrosecond);
#endif

BENCHMARK(CompileXdb)->Name("compile/xdbtool")->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(CompileCdb)->Name("compile/cdb")->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(PutXdb)->Name("put/xdbtool")->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(PutCopy)->Name("put/cp_sync")->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(PutSqlite)->Name("put/sqlite3")->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenXdb)->Name("open/typed_db")->Unit(benchmark::kMicrosecond);

void Ratio(const bench::RecordingReporter &rep, const char *what, const char *a, const char *b, double aim) {
    const bench::Figures *fa = rep.Find(a), *fb = rep.Find(b);
    if (!fa || !fb || fb->RealTime <= 0)
        return;
    double r = fa->RealTime / fb->RealTime;
    std::cout << std::left << std::setw(44) << what << std::right << std::fixed << std::setprecision(2) << std::setw(8)
              << r;
    if (aim > 0)
        std::cout << "  (aim " << std::setprecision(0) << aim << ", " << (r <= aim ? "met" : "not met") << ")";
    std::cout << '\n';
}

}  // namespace

int main(int argc, char **argv) {
    bench::RecordingReporter rep;
    if (!bench::RunAll(argc, argv, rep))
        return 1;
    Ratio(rep, "compile 100,000 records: xdbtool / cdb -c", "compile/xdbtool", "compile/cdb", 3);
    Ratio(rep, "put into 100 MB: xdbtool / cp + sync", "put/xdbtool", "put/cp_sync", 2);
    Ratio(rep, "put into 100 MB: xdbtool / sqlite3 insert", "put/xdbtool", "put/sqlite3", 0);
    Ratio(rep, "open + first lookup: typed db / tinycdb", "open/typed_db", "open/tinycdb", 10);
    return 0;
}
