// Trace events of the user-interface library, recorded through the trace
// natives called as plain functions: with tracing off each costs one call.
// Event UI+N is the library's event offset plus N in its event group.
#pragma once

#include <cstdint>

namespace tarvelo::port::drawing {

inline constexpr std::int32_t kUiTraceGroup = 0;
inline constexpr std::int32_t kUiEventOffset = 0;

void ui_trace_event(std::int32_t n, std::int32_t value);
void ui_trace_event_end(std::int32_t n, std::int32_t value);

// Events with no value, with three, four and six values.
void ui_trace_event(std::int32_t n);
void ui_trace_event(std::int32_t n, std::int32_t v1, std::int32_t v2, std::int32_t v3);
void ui_trace_event(std::int32_t n, std::int32_t v1, std::int32_t v2, std::int32_t v3, std::int32_t v4);
void ui_trace_event(std::int32_t n, std::int32_t v1, std::int32_t v2, std::int32_t v3, std::int32_t v4,
                    std::int32_t v5, std::int32_t v6);

}  // namespace tarvelo::port::drawing
