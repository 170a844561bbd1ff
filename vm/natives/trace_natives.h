// The trace natives of yq.trace.Tracer that record events, which are also
// the native trace API of the graphics engine and the display port (called
// as plain functions). Each goes through its word of the trace-hook table
// (trace_hooks.h): with the defaults tracing is off and a trace point costs
// one indirect call.
#pragma once

#include <cstdint>

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
