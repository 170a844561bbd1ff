// The clock and the report line of the interpreter benchmarks.
#include <time.h>

#include <cinttypes>
#include <cstdint>
#include <cstdlib>

#include "platform/board/debug_console.h"
#include "vm/core/engine/activation_counts.h"

extern "C" {

// Processor time of the process, the clock Lua's os.clock() reads, so that
// compare.sh sets like against like.
std::int64_t Java_bench_Bench_nanos() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return std::int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

// Argument `index` of the run, from the space-separated numbers of the
// environment's BENCH_ARGS (compare.sh passes them there, as it passes them
// to the Lua script's command line); `fallback` when there is none.
std::int32_t Java_bench_Bench_arg(std::int32_t index, std::int32_t fallback) {
    const char* text = std::getenv("BENCH_ARGS");
    if (text == nullptr) return fallback;
    for (std::int32_t i = 0;; ++i) {
        char* end = nullptr;
        const long value = std::strtol(text, &end, 10);
        if (end == text) return fallback;
        if (i == index) return static_cast<std::int32_t>(value);
        text = end;
    }
}

void Java_bench_Bench_report(std::int64_t result, std::int64_t nanos) {
    DbgConsole_Printf("result=%" PRId64 " ms=%.1f\n", result, static_cast<double>(nanos) / 1e6);
    // A counting build adds how the calls and returns went, start-up included.
    if constexpr (tarvelo::kActivationCounting) {
        DbgConsole_Printf("activations:");
        for (unsigned c = 0; c < static_cast<unsigned>(tarvelo::ActivationCount::kCount); ++c)
            DbgConsole_Printf(" %s=%" PRIu64, tarvelo::kActivationCountNames[c],
                              tarvelo::activation_count(static_cast<tarvelo::ActivationCount>(c)));
        DbgConsole_Printf("\n");
    }
}

}  // extern "C"
