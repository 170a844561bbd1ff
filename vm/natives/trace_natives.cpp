// The trace natives of yq.trace.Tracer through the trace-hook table, and
// the interned-string enumeration of System.
#include "vm/core/engine/monitoring_hooks.h"
#include "vm/core/image/interned_strings.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/natives/native_support.h"
#include "vm/natives/trace_hooks.h"
#include "vm/natives/trace_natives.h"

using namespace tarvelo;
using namespace tarvelo::natives;

// --- Trace hooks ---------------------------------------------------------------------------

extern "C" {

std::int32_t Java_yq_trace_Tracer_startTrace() { return LLTRACE_start_ptr(0); }
std::int32_t Java_yq_trace_Tracer_stopTrace() { return LLTRACE_stop_ptr(0); }
// The trace gate of the virtual machine too: the monitoring hooks ask it
// before every report.
std::uint8_t Java_yq_trace_Tracer_isTraceStarted() { return LLTRACE_is_started_ptr() != 0 ? 1 : 0; }
std::int32_t Java_yq_trace_Tracer_registerGroup(std::int32_t count, void* name) {
    return LLTRACE_declare_event_group_ptr(count, name);
}
std::int32_t Java_yq_trace_Tracer_recordEventNative__II(std::int32_t g, std::int32_t e) {
    return LLTRACE_record_event_void_ptr(g, e);
}
std::int32_t Java_yq_trace_Tracer_recordEventNative__III(std::int32_t g, std::int32_t e, std::int32_t v1) {
    return LLTRACE_record_event_u32_ptr(g, e, v1);
}
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIII(std::int32_t g, std::int32_t e, std::int32_t v1,
                                                           std::int32_t v2) {
    return LLTRACE_record_event_u32x2_ptr(g, e, v1, v2);
}
// Events with 3 to 10 values: each form passes every argument on unchanged.
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIIII(std::int32_t g, std::int32_t e, std::int32_t v1,
                                                            std::int32_t v2, std::int32_t v3) {
    return LLTRACE_record_event_u32x3_ptr(g, e, v1, v2, v3);
}
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIIIII(std::int32_t g, std::int32_t e, std::int32_t v1,
                                                             std::int32_t v2, std::int32_t v3, std::int32_t v4) {
    return LLTRACE_record_event_u32x4_ptr(g, e, v1, v2, v3, v4);
}
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIIIIII(std::int32_t g, std::int32_t e, std::int32_t v1,
                                                              std::int32_t v2, std::int32_t v3, std::int32_t v4,
                                                              std::int32_t v5) {
    return LLTRACE_record_event_u32x5_ptr(g, e, v1, v2, v3, v4, v5);
}
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIIIIIII(std::int32_t g, std::int32_t e, std::int32_t v1,
                                                               std::int32_t v2, std::int32_t v3, std::int32_t v4,
                                                               std::int32_t v5, std::int32_t v6) {
    return LLTRACE_record_event_u32x6_ptr(g, e, v1, v2, v3, v4, v5, v6);
}
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIIIIIIII(std::int32_t g, std::int32_t e, std::int32_t v1,
                                                                std::int32_t v2, std::int32_t v3, std::int32_t v4,
                                                                std::int32_t v5, std::int32_t v6, std::int32_t v7) {
    return LLTRACE_record_event_u32x7_ptr(g, e, v1, v2, v3, v4, v5, v6, v7);
}
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIIIIIIIII(std::int32_t g, std::int32_t e, std::int32_t v1,
                                                                 std::int32_t v2, std::int32_t v3, std::int32_t v4,
                                                                 std::int32_t v5, std::int32_t v6, std::int32_t v7,
                                                                 std::int32_t v8) {
    return LLTRACE_record_event_u32x8_ptr(g, e, v1, v2, v3, v4, v5, v6, v7, v8);
}
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIIIIIIIIII(std::int32_t g, std::int32_t e, std::int32_t v1,
                                                                  std::int32_t v2, std::int32_t v3, std::int32_t v4,
                                                                  std::int32_t v5, std::int32_t v6, std::int32_t v7,
                                                                  std::int32_t v8, std::int32_t v9) {
    return LLTRACE_record_event_u32x9_ptr(g, e, v1, v2, v3, v4, v5, v6, v7, v8, v9);
}
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIIIIIIIIIII(std::int32_t g, std::int32_t e, std::int32_t v1,
                                                                   std::int32_t v2, std::int32_t v3, std::int32_t v4,
                                                                   std::int32_t v5, std::int32_t v6, std::int32_t v7,
                                                                   std::int32_t v8, std::int32_t v9,
                                                                   std::int32_t v10) {
    return LLTRACE_record_event_u32x10_ptr(g, e, v1, v2, v3, v4, v5, v6, v7, v8, v9, v10);
}
std::int32_t Java_yq_trace_Tracer_recordEventEndNative__II(std::int32_t g, std::int32_t e) {
    return LLTRACE_record_event_end_ptr(g, e);
}
std::int32_t Java_yq_trace_Tracer_recordEventEndNative__III(std::int32_t g, std::int32_t e, std::int32_t v1) {
    return LLTRACE_record_event_end_u32_ptr(g, e, v1);
}

}  // extern "C"

// --- Interned strings ------------------------------------------------------------------------

extern "C" {

void VMNative_java_lang_System_getNumberOfInternedStrings(VMThread* t) { returnInt(t, interned_string_count()); }

void VMNative_java_lang_System_nextInternedString(VMThread* t) { returnObject(t, next_interned_string()); }

// static String InternTable.internedStringAt(int index)
void VMNative_com_olun_vm_support_lang_InternTable_internedStringAt(VMThread* t) {
    returnObject(t, interned_string_at(prim(t, 5)));
}

}  // extern "C"
