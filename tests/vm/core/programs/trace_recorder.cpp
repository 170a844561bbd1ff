// The trace-events program's trace implementation: once installed, every
// event recorded is printed, and its call answers the sum of its arguments.
#include <cinttypes>

#include "platform/board/debug_console.h"
#include "tests/support/trace_recorder.h"

namespace {

std::int32_t print_event(const tarvelo::test::TraceEvent& e) {
    DbgConsole_Printf("event %" PRId32 ".%" PRId32 ":", e.group, e.event);
    std::int32_t sum = e.group + e.event;
    for (std::int32_t i = 0; i < e.count; ++i) {
        DbgConsole_Printf(" %" PRId32, e.values[i]);
        sum += e.values[i];
    }
    DbgConsole_Printf("\n");
    return sum;
}

}  // namespace

extern "C" void Java_app_Trace_install(void) { tarvelo::test::set_trace_sink(print_event); }
