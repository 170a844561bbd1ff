// A trace implementation for tests: an executable that links
// trace_recorder.cpp has the record-event words of the trace-hook table
// (0 to 10 values) pointing at it. While a sink is set, every event goes to
// it; without one each answers as the default does (its group).
#pragma once

#include <cstdint>

namespace tarvelo::test {

struct TraceEvent {
    std::int32_t group;
    std::int32_t event;
    std::int32_t count;  // values
    std::int32_t values[10];
};

// Called for each event (on the recording task; it must not allocate from
// the host heap outside a no-preempt region); null: off. The answer of the
// trace call is the sink's.
using TraceSink = std::int32_t (*)(const TraceEvent& event);
void set_trace_sink(TraceSink sink);

}  // namespace tarvelo::test
