// BenchReport.h - runs the registered benchmarks with the console output and keeps
// each run's figures, so that a benchmark can print ratios measured side by side.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace bench {

struct Figures {
    double CpuTime = 0;   // per iteration, in the run's time unit
    double RealTime = 0;  // per iteration, in the run's time unit
    std::map<std::string, double> Counters;
};

class RecordingReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, Figures> Runs;  // by benchmark name
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration)
                continue;
            Figures &f = Runs[run.run_name.function_name];
            f.CpuTime = run.GetAdjustedCPUTime();
            f.RealTime = run.GetAdjustedRealTime();
            for (const auto &[name, counter] : run.counters)
                f.Counters[name] = counter.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    const Figures *Find(const std::string &name) const {
        auto it = Runs.find(name);
        return it == Runs.end() ? nullptr : &it->second;
    }
};

// Runs every benchmark the command line selects; false for unknown arguments.
inline bool RunAll(int argc, char **argv, RecordingReporter &rep) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return false;
    benchmark::RunSpecifiedBenchmarks(&rep);
    benchmark::Shutdown();
    return true;
}

}  // namespace bench
