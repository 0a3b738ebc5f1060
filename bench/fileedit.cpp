// fileedit.cpp - line editing of a 50 MB text file next to sed doing the same edit on
// the same file, in the same run: a change of the first occurrence in each line, the
// removal of the lines holding a text, and a prefix before every line. Each iteration
// starts from the same file. After the runs it prints the ratio of each pair
// (FileEdit time / sed time).
#include <benchmark/benchmark.h>

#include "BenchReport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <string>

#include "Errors.h"
#include "FileEdit.h"

namespace {

constexpr long FILE_BYTES = 50L << 20;

struct Files {
    std::string Dir, Pristine, Base, Path;
    Files() {
        char tmpl[] = "/tmp/bench-fileedit-XXXXXX";
        Dir = mkdtemp(tmpl);
        Pristine = Dir + "/pristine.txt";
        Base = Dir + "/edit";
        Path = Base + ".txt";
        std::ofstream out(Pristine);
        long written = 0;
        for (long n = 0; written < FILE_BYTES; ++n) {
            std::string line = "line " + std::to_string(n) +
                               (n % 3 == 0 ? " holds the needle and another needle" : " is an ordinary line of text") +
                               " that goes on for a while\n";
            out << line;
            written += static_cast<long>(line.size());
        }
    }
    ~Files() { std::filesystem::remove_all(Dir); }
    void Reset() const {
        std::filesystem::copy_file(Pristine, Path, std::filesystem::copy_options::overwrite_existing);
    }
    void Sed(const std::string &script) const {
        std::string cmd = "sed -i '" + script + "' '" + Path + "'";
        if (std::system(cmd.c_str()) != 0)
            std::abort();
    }
};

const Files &TheFiles() {
    static Files f;
    return f;
}

template <class Edit> void Run(benchmark::State &state, Edit edit) {
    const Files &f = TheFiles();
    for (auto _ : state) {
        state.PauseTiming();
        f.Reset();
        state.ResumeTiming();
        edit(f);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * FILE_BYTES);
}

void Change(benchmark::State &s) { Run(s, [](const Files &f) { FileChange(f.Base.c_str(), "txt", "needle", "pin"); }); }
void SedChange(benchmark::State &s) { Run(s, [](const Files &f) { f.Sed("s/needle/pin/"); }); }
void DelLine(benchmark::State &s) { Run(s, [](const Files &f) { FileDelLine(f.Base.c_str(), "txt", 0, "needle"); }); }
void SedDelLine(benchmark::State &s) { Run(s, [](const Files &f) { f.Sed("/needle/d"); }); }
void Insert(benchmark::State &s) { Run(s, [](const Files &f) { FileInsert(f.Base.c_str(), "txt", "# "); }); }
void SedInsert(benchmark::State &s) { Run(s, [](const Files &f) { f.Sed("s/^/# /"); }); }

BENCHMARK(Change)->Name("change/FileChange")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(SedChange)->Name("change/sed")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(DelLine)->Name("delline/FileDelLine")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(SedDelLine)->Name("delline/sed")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(Insert)->Name("insert/FileInsert")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(SedInsert)->Name("insert/sed")->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char **argv) {
    static char name[] = "bench_fileedit";
    my_name = name;
    bench::RecordingReporter rep;
    if (!bench::RunAll(argc, argv, rep))
        return 1;
    for (const char *op : {"change", "delline", "insert"}) {
        std::string key(op);
        const bench::Figures *ours = nullptr;
        for (const char *n : {"/FileChange", "/FileDelLine", "/FileInsert"})
            if (!ours)
                ours = rep.Find(key + n);
        const bench::Figures *sed = rep.Find(key + "/sed");
        if (ours && sed && sed->RealTime > 0)
            std::cout << "ratio " << op << " (FileEdit / sed): " << std::fixed << std::setprecision(2)
                      << ours->RealTime / sed->RealTime << '\n';
    }
    return 0;
}
