// A trace implementation for the trace-events program: its record functions
// print what reaches them and answer the sum of their arguments.
#include <cstdarg>
#include <cstdint>
#include <utility>

#include "platform/board/debug_console.h"
#include "vm/natives/trace_hooks.h"

namespace {

using namespace tarvelo::natives;

template <int n>
std::int32_t record(std::int32_t group, ...) {
    std::va_list args;
    va_start(args, group);
    const std::int32_t event = va_arg(args, std::int32_t);
    DbgConsole_Printf("event %d.%d:", static_cast<int>(group), static_cast<int>(event));
    std::int32_t sum = group + event;
    for (int i = 0; i < n; ++i) {
        const std::int32_t v = va_arg(args, std::int32_t);
        DbgConsole_Printf(" %d", static_cast<int>(v));
        sum += v;
    }
    va_end(args);
    DbgConsole_Printf("\n");
    return sum;
}

template <int... n>
void install(std::integer_sequence<int, n...>) {
    ((trace_hook_table()[kTraceRecordEvent + n] = record<n>), ...);
}

}  // namespace

extern "C" void Java_app_Trace_install(void) { install(std::make_integer_sequence<int, kTraceMaxValues + 1>{}); }
