// The clock and the report line of the interpreter benchmarks.
#include <chrono>
#include <cinttypes>
#include <cstdint>

#include "platform/board/debug_console.h"

extern "C" {

std::int64_t Java_bench_Bench_nanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Java_bench_Bench_report(std::int64_t result, std::int64_t nanos) {
    DbgConsole_Printf("result=%" PRId64 " ms=%.1f\n", result, static_cast<double>(nanos) / 1e6);
}

}  // extern "C"
