// memmgr.cpp - the block allocator side by side with glibc malloc/free.
// (a) one million allocate-and-release pairs of 24 bytes, one allocation held live
//     throughout (as the program's start-up strings are);
// (b) a random mix of sizes 1 to 1024 bytes with 10,000 allocations live;
// (c) a string grown piece by piece through AdjustMem versus realloc.
// After the runs it prints each ratio, block allocator time / malloc time, in CPU
// time per iteration (steadier than wall time on a shared machine).
#include <benchmark/benchmark.h>

#include "BenchReport.h"

#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "MemMgr.h"

namespace {

struct BlockApi {
    static void *Get(int n) { return GetMem(n); }
    static void Put(void *p) { PutMem(p); }
    static void *Adjust(void *p, int n) { return AdjustMem(p, n); }
};

struct MallocApi {
    static void *Get(int n) { return std::malloc(static_cast<size_t>(n) + 1); }
    static void Put(void *p) { std::free(p); }
    static void *Adjust(void *p, int n) { return std::realloc(p, static_cast<size_t>(n) + 1); }
};

// For comparison only: the block allocator zeroes what it hands out, calloc too.
struct CallocApi {
    static void *Get(int n) { return std::calloc(static_cast<size_t>(n) + 1, 1); }
    static void Put(void *p) { std::free(p); }
};

constexpr int PAIRS = 1000000;
constexpr int LIVE = 10000;
constexpr int MIX_STEPS = 1000000;
constexpr int STRING_LEN = 4000;
constexpr int PIECE = 10;

template <class Api> void Pairs24(benchmark::State &state) {
    void *held = Api::Get(24);
    for (auto _ : state) {
        void *p = Api::Get(24);
        benchmark::DoNotOptimize(p);
        Api::Put(p);
    }
    Api::Put(held);
}

// The same sequence of slots and sizes for both allocators.
struct MixPlan {
    std::vector<int> Sizes;  // LIVE initial sizes, then one per step
    std::vector<int> Slots;  // slot replaced at each step
    MixPlan() {
        std::mt19937 rng(12345);
        std::uniform_int_distribution<int> size(1, 1024), slot(0, LIVE - 1);
        for (int i = 0; i < LIVE + MIX_STEPS; ++i)
            Sizes.push_back(size(rng));
        for (int i = 0; i < MIX_STEPS; ++i)
            Slots.push_back(slot(rng));
    }
};
const MixPlan &Plan() {
    static const MixPlan plan;
    return plan;
}

template <class Api> void RandomMix(benchmark::State &state) {
    const MixPlan &plan = Plan();
    std::vector<void *> live(LIVE);
    for (int i = 0; i < LIVE; ++i)
        live[i] = Api::Get(plan.Sizes[i]);
    size_t step = 0;
    for (auto _ : state) {
        int slot = plan.Slots[step];
        Api::Put(live[slot]);
        live[slot] = Api::Get(plan.Sizes[LIVE + step]);
        benchmark::DoNotOptimize(live[slot]);
        if (++step == MIX_STEPS)
            step = 0;
    }
    for (void *p : live)
        Api::Put(p);
}

// One iteration grows a string from empty to STRING_LEN characters, PIECE at a time.
template <class Api> void StringGrowth(benchmark::State &state) {
    void *held = Api::Get(24);
    for (auto _ : state) {
        char *s = nullptr;
        for (int len = 0; len < STRING_LEN; len += PIECE) {
            s = static_cast<char *>(Api::Adjust(s, len + PIECE));
            std::memset(s + len, 'x', PIECE);
            s[len + PIECE] = '\0';
        }
        benchmark::DoNotOptimize(s);
        Api::Put(s);
    }
    Api::Put(held);
}

BENCHMARK_TEMPLATE(Pairs24, BlockApi)->Name("a_pairs24/block")->Iterations(PAIRS);
BENCHMARK_TEMPLATE(Pairs24, MallocApi)->Name("a_pairs24/malloc")->Iterations(PAIRS);
BENCHMARK_TEMPLATE(RandomMix, BlockApi)->Name("b_mix/block")->Iterations(MIX_STEPS);
BENCHMARK_TEMPLATE(RandomMix, MallocApi)->Name("b_mix/malloc")->Iterations(MIX_STEPS);
BENCHMARK_TEMPLATE(RandomMix, CallocApi)->Name("b_mix/calloc")->Iterations(MIX_STEPS);
BENCHMARK_TEMPLATE(StringGrowth, BlockApi)->Name("c_growth/block");
BENCHMARK_TEMPLATE(StringGrowth, MallocApi)->Name("c_growth/malloc");

void PrintRatio(const bench::RecordingReporter &rep, const char *label, const std::string &name,
                const char *other = "malloc") {
    const bench::Figures *block = rep.Find(name + "/block");
    const bench::Figures *mall = rep.Find(name + "/" + other);
    if (!block || !mall || mall->CpuTime <= 0)
        return;
    std::cout << "ratio (" << label << "): " << std::fixed << std::setprecision(2)
              << block->CpuTime / mall->CpuTime << "  (block allocator / " << other << ")\n";
}

}  // namespace

int main(int argc, char **argv) {
    bench::RecordingReporter rep;
    if (!bench::RunAll(argc, argv, rep))
        return 1;
    PrintRatio(rep, "a", "a_pairs24");
    PrintRatio(rep, "b", "b_mix");
    PrintRatio(rep, "c", "c_growth");
    PrintRatio(rep, "b", "b_mix", "calloc");
    return 0;
}
