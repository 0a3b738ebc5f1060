// syscmd.cpp - locating the programs of the command table (InitSysCmdList over the
// fixed directories and the real PATH) next to one plain readdir pass over the same
// directories, in the same run. After the runs it prints the ratio
// InitSysCmdList time / readdir pass time (the aim is 2 or less).
#include <benchmark/benchmark.h>

#include "BenchReport.h"
#include <dirent.h>

#include <cstdlib>
#include <iomanip>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "Log.h"
#include "SysCmd.h"

namespace {

// The directories InitSysCmdList looks in, in its order: the fixed ones, then PATH.
std::vector<std::string> SearchedDirs() {
    std::vector<std::string> dirs;
    std::string all = SearchPaths;
    const char *path = std::getenv("PATH");
    if (path)
        all += std::string(":") + path;
    size_t start = 0;
    while (start <= all.size()) {
        size_t colon = all.find(':', start);
        if (colon == std::string::npos)
            colon = all.size();
        if (colon > start)
            dirs.push_back(all.substr(start, colon - start));
        start = colon + 1;
    }
    return dirs;
}

void InitList(benchmark::State &state) {
    flUseLog = 0;
    for (auto _ : state) {
        ResetSysCmdList();
        InitSysCmdList();
        benchmark::DoNotOptimize(ComList[CMD_SH].pPath);
    }
    int found = 0;
    for (int row = 2; row < CMD_END; ++row)
        found += TestCmd(row);
    state.counters["rows_found"] = found;
}

void ReaddirPass(benchmark::State &state) {
    std::vector<std::string> dirs = SearchedDirs();
    for (auto _ : state) {
        long entries = 0;
        for (const std::string &dir : dirs) {
            DIR *d = opendir(dir.c_str());
            if (!d)
                continue;
            while (dirent *e = readdir(d))
                entries += e->d_name[0] != 0;
            closedir(d);
        }
        benchmark::DoNotOptimize(entries);
    }
    state.counters["dirs"] = static_cast<double>(dirs.size());
}

BENCHMARK(InitList)->Name("a_init/InitSysCmdList")->Unit(benchmark::kMicrosecond);
BENCHMARK(ReaddirPass)->Name("a_init/readdir")->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char **argv) {
    bench::RecordingReporter rep;
    if (!bench::RunAll(argc, argv, rep))
        return 1;
    const bench::Figures *init = rep.Find("a_init/InitSysCmdList");
    const bench::Figures *pass = rep.Find("a_init/readdir");
    if (init && pass && pass->RealTime > 0)
        std::cout << "ratio (InitSysCmdList / readdir pass): " << std::fixed << std::setprecision(2)
                  << init->RealTime / pass->RealTime << '\n';
    return 0;
}
