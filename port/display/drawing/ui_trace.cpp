// The user-interface library's trace events over the trace natives.
#include "port/display/drawing/ui_trace.h"

extern "C" {
std::int32_t Java_yq_trace_Tracer_recordEventNative__III(std::int32_t group, std::int32_t event, std::int32_t value);
std::int32_t Java_yq_trace_Tracer_recordEventEndNative__III(std::int32_t group, std::int32_t event,
                                                            std::int32_t value);
}

namespace tarvelo::port::drawing {

void ui_trace_event(std::int32_t n, std::int32_t value) {
    Java_yq_trace_Tracer_recordEventNative__III(kUiTraceGroup, kUiEventOffset + n, value);
}

void ui_trace_event_end(std::int32_t n, std::int32_t value) {
    Java_yq_trace_Tracer_recordEventEndNative__III(kUiTraceGroup, kUiEventOffset + n, value);
}

}  // namespace tarvelo::port::drawing
