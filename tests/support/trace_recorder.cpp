#include "tests/support/trace_recorder.h"

#include <atomic>
#include <cstdarg>

#include "vm/natives/trace_hooks.h"

namespace tarvelo::test {

namespace {

std::atomic<TraceSink> g_sink{nullptr};

template <int n>
std::int32_t record(std::int32_t group, ...) {
    const TraceSink sink = g_sink.load();
    if (sink == nullptr) return group;
    TraceEvent e{group, 0, n, {}};
    std::va_list args;
    va_start(args, group);
    e.event = va_arg(args, std::int32_t);
    for (int i = 0; i < n; ++i) e.values[i] = va_arg(args, std::int32_t);
    va_end(args);
    return sink(e);
}

}  // namespace

void set_trace_sink(TraceSink sink) { g_sink = sink; }

}  // namespace tarvelo::test

// The record-event words of the table, in place of the defaults.
extern "C" {
using tarvelo::test::record;
LLTRACE_fn* const LLTRACE_record_event_void_ptr = record<0>;
LLTRACE_fn* const LLTRACE_record_event_u32_ptr = record<1>;
LLTRACE_fn* const LLTRACE_record_event_u32x2_ptr = record<2>;
LLTRACE_fn* const LLTRACE_record_event_u32x3_ptr = record<3>;
LLTRACE_fn* const LLTRACE_record_event_u32x4_ptr = record<4>;
LLTRACE_fn* const LLTRACE_record_event_u32x5_ptr = record<5>;
LLTRACE_fn* const LLTRACE_record_event_u32x6_ptr = record<6>;
LLTRACE_fn* const LLTRACE_record_event_u32x7_ptr = record<7>;
LLTRACE_fn* const LLTRACE_record_event_u32x8_ptr = record<8>;
LLTRACE_fn* const LLTRACE_record_event_u32x9_ptr = record<9>;
LLTRACE_fn* const LLTRACE_record_event_u32x10_ptr = record<10>;
}
