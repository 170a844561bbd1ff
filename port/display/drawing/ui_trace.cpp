// The user-interface library's trace events over the trace natives.
#include "port/display/drawing/ui_trace.h"

#include "vm/natives/trace_natives.h"

namespace tarvelo::port::drawing {

namespace {

constexpr std::int32_t event(std::int32_t n) { return kUiEventOffset + n; }

}  // namespace

void ui_trace_event(std::int32_t n, std::int32_t value) {
    Java_yq_trace_Tracer_recordEventNative__III(kUiTraceGroup, event(n), value);
}

void ui_trace_event_end(std::int32_t n, std::int32_t value) {
    Java_yq_trace_Tracer_recordEventEndNative__III(kUiTraceGroup, event(n), value);
}

void ui_trace_event(std::int32_t n) { Java_yq_trace_Tracer_recordEventNative__II(kUiTraceGroup, event(n)); }

void ui_trace_event(std::int32_t n, std::int32_t v1, std::int32_t v2, std::int32_t v3) {
    Java_yq_trace_Tracer_recordEventNative__IIIII(kUiTraceGroup, event(n), v1, v2, v3);
}

void ui_trace_event(std::int32_t n, std::int32_t v1, std::int32_t v2, std::int32_t v3, std::int32_t v4) {
    Java_yq_trace_Tracer_recordEventNative__IIIIII(kUiTraceGroup, event(n), v1, v2, v3, v4);
}

void ui_trace_event(std::int32_t n, std::int32_t v1, std::int32_t v2, std::int32_t v3, std::int32_t v4,
                    std::int32_t v5, std::int32_t v6) {
    Java_yq_trace_Tracer_recordEventNative__IIIIIIII(kUiTraceGroup, event(n), v1, v2, v3, v4, v5, v6);
}

}  // namespace tarvelo::port::drawing
