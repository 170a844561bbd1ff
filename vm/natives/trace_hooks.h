// The trace natives of yq.trace.Tracer, which are also the native trace API
// of the graphics engine and the display port (called as plain functions),
// and the trace-hook table they go through: one word per call, each the
// address of a function. With the stubs in every word tracing is off and a
// trace point costs one indirect call; a trace implementation is installed
// by pointing the words at its own functions.
#pragma once

#include <cstdint>

namespace tarvelo::natives {

using TraceHook = std::int32_t (*)(std::int32_t, ...);

// Words of the table: start, stop, is-started, declare-group, record with 0
// to 10 values (kTraceRecordEvent + the number of values), record-end,
// record-end with a value.
inline constexpr int kTraceHookWords = 17;
inline constexpr int kTraceRecordEvent = 4;
inline constexpr int kTraceMaxValues = 10;
inline constexpr int kTraceRecordEventEnd = 15;
inline constexpr int kTraceRecordEventEndValue = 16;

// The table's words (installing a trace implementation, and tests).
TraceHook* trace_hook_table();

}  // namespace tarvelo::natives

extern "C" {

// Records event `event` of `group` with the values after it; the result of
// the trace implementation (the stubs answer `group`).
std::int32_t Java_yq_trace_Tracer_recordEventNative__II(std::int32_t group, std::int32_t event);
std::int32_t Java_yq_trace_Tracer_recordEventNative__III(std::int32_t group, std::int32_t event, std::int32_t v1);
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIII(std::int32_t group, std::int32_t event, std::int32_t v1,
                                                           std::int32_t v2);
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIIII(std::int32_t group, std::int32_t event, std::int32_t v1,
                                                            std::int32_t v2, std::int32_t v3);
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIIIII(std::int32_t group, std::int32_t event, std::int32_t v1,
                                                             std::int32_t v2, std::int32_t v3, std::int32_t v4);
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIIIIII(std::int32_t group, std::int32_t event, std::int32_t v1,
                                                              std::int32_t v2, std::int32_t v3, std::int32_t v4,
                                                              std::int32_t v5);
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIIIIIII(std::int32_t group, std::int32_t event,
                                                               std::int32_t v1, std::int32_t v2, std::int32_t v3,
                                                               std::int32_t v4, std::int32_t v5, std::int32_t v6);
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIIIIIIII(std::int32_t group, std::int32_t event,
                                                                std::int32_t v1, std::int32_t v2, std::int32_t v3,
                                                                std::int32_t v4, std::int32_t v5, std::int32_t v6,
                                                                std::int32_t v7);
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIIIIIIIII(std::int32_t group, std::int32_t event,
                                                                 std::int32_t v1, std::int32_t v2, std::int32_t v3,
                                                                 std::int32_t v4, std::int32_t v5, std::int32_t v6,
                                                                 std::int32_t v7, std::int32_t v8);
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIIIIIIIIII(std::int32_t group, std::int32_t event,
                                                                  std::int32_t v1, std::int32_t v2, std::int32_t v3,
                                                                  std::int32_t v4, std::int32_t v5, std::int32_t v6,
                                                                  std::int32_t v7, std::int32_t v8, std::int32_t v9);
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIIIIIIIIIII(std::int32_t group, std::int32_t event,
                                                                   std::int32_t v1, std::int32_t v2, std::int32_t v3,
                                                                   std::int32_t v4, std::int32_t v5, std::int32_t v6,
                                                                   std::int32_t v7, std::int32_t v8, std::int32_t v9,
                                                                   std::int32_t v10);
std::int32_t Java_yq_trace_Tracer_recordEventEndNative__II(std::int32_t group, std::int32_t event);
std::int32_t Java_yq_trace_Tracer_recordEventEndNative__III(std::int32_t group, std::int32_t event, std::int32_t v1);

}  // extern "C"
