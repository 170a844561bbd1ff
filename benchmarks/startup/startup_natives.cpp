// The start-up benchmark's one native: prints the milliseconds since the
// launch time that run.sh puts in TARVELO_LAUNCH_NS (the realtime clock, in
// nanoseconds, read just before the firmware was started).
#include <time.h>

#include <cstdint>
#include <cstdlib>

#include "platform/board/debug_console.h"

extern "C" void Java_bench_Startup_reached() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const std::int64_t now = std::int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
    const char* launch = std::getenv("TARVELO_LAUNCH_NS");
    if (launch == nullptr) {
        DbgConsole_Printf("startup: TARVELO_LAUNCH_NS is not set (run benchmarks/startup/run.sh)\n");
        return;
    }
    const std::int64_t launched = std::strtoll(launch, nullptr, 10);
    DbgConsole_Printf("startup ms=%.1f\n", static_cast<double>(now - launched) / 1e6);
}
