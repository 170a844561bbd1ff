// Allocation throughput and full collections with compaction of a
// 900,000-byte heap at about 50% and 90% occupancy (synthetic types), and
// how many times a collection costs the moving of its live runs alone.
#include <benchmark/benchmark.h>

#include <cstring>

#include "benchmarks/ratio_reporter.h"
#include "tests/vm/memory/synthetic_heap.h"

namespace tarvelo::test {
namespace {

constexpr std::uint32_t kHeapBytes = 900000;

// Allocates node2 objects (24 bytes), dropping them, so that the heap keeps
// being refilled by the lazy sweep and the collector.
void BM_AllocateObjects(benchmark::State& state) {
    HeapTest h;
    h.build(kHeapBytes);
    const SyntheticTypes& t = syntheticTypes();
    for (auto _ : state) {
        benchmark::DoNotOptimize(h.newObject(t.node2));
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * 24);
    h.tearDown();
}
BENCHMARK(BM_AllocateObjects);

void BM_AllocateIntArrays(benchmark::State& state) {
    HeapTest h;
    h.build(kHeapBytes);
    const SyntheticTypes& t = syntheticTypes();
    for (auto _ : state) {
        benchmark::DoNotOptimize(h.newArray(t.intArray, 16));
    }
    state.SetItemsProcessed(state.iterations());
    h.tearDown();
}
BENCHMARK(BM_AllocateIntArrays);

// Fills the heap with a chain of live node2 objects interleaved with dead
// ones: `livePerGroup` live then one dead of the same size.
void fillFragmented(HeapTest& h, int livePerGroup) {
    const SyntheticTypes& t = syntheticTypes();
    h.build(kHeapBytes);
    h.root(0) = h.newObject(t.node2);
    word_t last = h.root(0);
    for (int i = 0;; ++i) {
        if (h.hs().freeMemory() < 64) break;
        if (i % (livePerGroup + 1) == livePerGroup) {
            h.newObject(t.node2);  // dead
            continue;
        }
        h.root(1) = last;
        word_t n = h.newObject(t.node2);
        last = h.root(1);
        if (n == 0) break;
        wordAt(last - 8) = n;  // lowest slot: the chain is followed without the stack
        last = n;
    }
    h.root(1) = 0;
}

void BM_FullCollection(benchmark::State& state) {
    int livePerGroup = static_cast<int>(state.range(0));
    HeapTest h;
    double occupancy = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fillFragmented(h, livePerGroup);
        state.ResumeTiming();
        h.collect();
        state.PauseTiming();
        occupancy = static_cast<double>(h.hs().collector.liveBytes) / kHeapBytes;
        h.tearDown();
        state.ResumeTiming();
    }
    state.counters["occupancy"] = occupancy;
}
BENCHMARK(BM_FullCollection)->Arg(1)->Arg(9)->Unit(benchmark::kMillisecond);

// The floor of a full collection that compacts: moving the live runs of the
// same layout down over the gaps, as the slide does, with nothing else (no
// marking, sweeping or relocation).
void BM_MoveLiveRuns(benchmark::State& state) {
    const std::uint32_t run = 24u * static_cast<std::uint32_t>(state.range(0));
    const std::uint32_t gap = 24u;
    static std::uint8_t memory[kHeapBytes];
    for (auto _ : state) {
        std::uint32_t dest = 0;
        for (std::uint32_t from = gap; from + run <= kHeapBytes; from += run + gap) {
            std::memmove(memory + dest, memory + from, run);
            dest += run;
        }
        benchmark::DoNotOptimize(memory);
    }
}
BENCHMARK(BM_MoveLiveRuns)->Arg(1)->Arg(9)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarvelo::test

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    tarvelo::bench::RatioReporter reporter({
        {"collection at 50% / moving its live runs", "BM_FullCollection/1", "BM_MoveLiveRuns/1", true},
        {"collection at 90% / moving its live runs", "BM_FullCollection/9", "BM_MoveLiveRuns/9", true},
    });
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
