// The clock and the report line of the interpreter benchmarks.
#include <time.h>

#include <cinttypes>
#include <cstdint>

#include "platform/board/debug_console.h"

extern "C" {

// Processor time of the process, the clock Lua's os.clock() reads, so that
// compare.sh sets like against like.
std::int64_t Java_bench_Bench_nanos() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return std::int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

void Java_bench_Bench_report(std::int64_t result, std::int64_t nanos) {
    DbgConsole_Printf("result=%" PRId64 " ms=%.1f\n", result, static_cast<double>(nanos) / 1e6);
}

}  // extern "C"
