// The trace natives of yq.trace.Tracer through the trace-hook table, the
// interned-string enumeration of System, and the external-resource port
// without resources.
#include "vm/core/engine/monitoring_hooks.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/natives/external_resources.h"
#include "vm/natives/native_support.h"
#include "vm/natives/trace_hooks.h"

using namespace tarvelo;
using namespace tarvelo::natives;

// --- Trace hooks ---------------------------------------------------------------------------

extern "C" {

// The stubs that leave tracing off: each call costs one indirect call.
std::int32_t LLTRACE_default_stub(std::int32_t first, ...) { return first; }
std::int32_t LLTRACE_is_started_stub(void) { return 0; }
std::int32_t LLTRACE_declare_event_group_stub(std::int32_t, ...) { return 0; }

}  // extern "C"

namespace {

// The trace-hook table, in word order (trace_hooks.h). The is-started word
// is Tracer.isTraceStarted itself (monitoring_hooks.cpp), which the
// monitoring hooks ask before every report.
enum TraceWord { kStart = 0, kStop = 1, kDeclareGroup = 3 };

TraceHook trace_hooks[kTraceHookWords] = {
    LLTRACE_default_stub, LLTRACE_default_stub, nullptr /* is-started: see isTraceStarted */,
    LLTRACE_declare_event_group_stub, LLTRACE_default_stub, LLTRACE_default_stub, LLTRACE_default_stub,
    LLTRACE_default_stub, LLTRACE_default_stub, LLTRACE_default_stub, LLTRACE_default_stub,
    LLTRACE_default_stub, LLTRACE_default_stub, LLTRACE_default_stub, LLTRACE_default_stub,
    LLTRACE_default_stub, LLTRACE_default_stub,
};

// Event recording with `n` values: word kTraceRecordEvent + n, every
// argument passed on unchanged.
template <int n, typename... Values>
std::int32_t record(std::int32_t group, std::int32_t event, Values... values) {
    static_assert(sizeof...(Values) == n && n <= kTraceMaxValues);
    return trace_hooks[kTraceRecordEvent + n](group, event, values...);
}

}  // namespace

TraceHook* tarvelo::natives::trace_hook_table() { return trace_hooks; }

extern "C" {

std::int32_t Java_yq_trace_Tracer_startTrace() { return trace_hooks[kStart](0); }
std::int32_t Java_yq_trace_Tracer_stopTrace() { return trace_hooks[kStop](0); }
std::int32_t Java_yq_trace_Tracer_registerGroup(std::int32_t count, void* name) {
    return trace_hooks[kDeclareGroup](count, name);
}
std::int32_t Java_yq_trace_Tracer_recordEventNative__II(std::int32_t g, std::int32_t e) { return record<0>(g, e); }
std::int32_t Java_yq_trace_Tracer_recordEventNative__III(std::int32_t g, std::int32_t e, std::int32_t v1) {
    return record<1>(g, e, v1);
}
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIII(std::int32_t g, std::int32_t e, std::int32_t v1,
                                                           std::int32_t v2) {
    return record<2>(g, e, v1, v2);
}
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIIII(std::int32_t g, std::int32_t e, std::int32_t v1,
                                                            std::int32_t v2, std::int32_t v3) {
    return record<3>(g, e, v1, v2, v3);
}
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIIIII(std::int32_t g, std::int32_t e, std::int32_t v1,
                                                             std::int32_t v2, std::int32_t v3, std::int32_t v4) {
    return record<4>(g, e, v1, v2, v3, v4);
}
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIIIIII(std::int32_t g, std::int32_t e, std::int32_t v1,
                                                              std::int32_t v2, std::int32_t v3, std::int32_t v4,
                                                              std::int32_t v5) {
    return record<5>(g, e, v1, v2, v3, v4, v5);
}
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIIIIIII(std::int32_t g, std::int32_t e, std::int32_t v1,
                                                               std::int32_t v2, std::int32_t v3, std::int32_t v4,
                                                               std::int32_t v5, std::int32_t v6) {
    return record<6>(g, e, v1, v2, v3, v4, v5, v6);
}
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIIIIIIII(std::int32_t g, std::int32_t e, std::int32_t v1,
                                                                std::int32_t v2, std::int32_t v3, std::int32_t v4,
                                                                std::int32_t v5, std::int32_t v6, std::int32_t v7) {
    return record<7>(g, e, v1, v2, v3, v4, v5, v6, v7);
}
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIIIIIIIII(std::int32_t g, std::int32_t e, std::int32_t v1,
                                                                 std::int32_t v2, std::int32_t v3, std::int32_t v4,
                                                                 std::int32_t v5, std::int32_t v6, std::int32_t v7,
                                                                 std::int32_t v8) {
    return record<8>(g, e, v1, v2, v3, v4, v5, v6, v7, v8);
}
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIIIIIIIIII(std::int32_t g, std::int32_t e, std::int32_t v1,
                                                                  std::int32_t v2, std::int32_t v3, std::int32_t v4,
                                                                  std::int32_t v5, std::int32_t v6, std::int32_t v7,
                                                                  std::int32_t v8, std::int32_t v9) {
    return record<9>(g, e, v1, v2, v3, v4, v5, v6, v7, v8, v9);
}
std::int32_t Java_yq_trace_Tracer_recordEventNative__IIIIIIIIIIII(std::int32_t g, std::int32_t e, std::int32_t v1,
                                                                   std::int32_t v2, std::int32_t v3, std::int32_t v4,
                                                                   std::int32_t v5, std::int32_t v6, std::int32_t v7,
                                                                   std::int32_t v8, std::int32_t v9,
                                                                   std::int32_t v10) {
    return record<10>(g, e, v1, v2, v3, v4, v5, v6, v7, v8, v9, v10);
}
std::int32_t Java_yq_trace_Tracer_recordEventEndNative__II(std::int32_t g, std::int32_t e) {
    return trace_hooks[kTraceRecordEventEnd](g, e);
}
std::int32_t Java_yq_trace_Tracer_recordEventEndNative__III(std::int32_t g, std::int32_t e, std::int32_t v1) {
    return trace_hooks[kTraceRecordEventEndValue](g, e, v1);
}

// --- External resources: none in this build --------------------------------------------------

std::int32_t LLEXT_RES_open(const char*) { return -1; }
std::int32_t LLEXT_RES_close(std::int32_t) { return -1; }
std::int32_t LLEXT_RES_getBaseAddress(std::int32_t) { return -1; }
std::int32_t LLEXT_RES_read(std::int32_t, void*, std::int32_t*) { return -2; }
std::int32_t LLEXT_RES_available(std::int32_t) { return -1; }
std::int32_t LLEXT_RES_seek(std::int32_t, std::int64_t) { return -1; }

}  // extern "C"

// --- Interned strings ------------------------------------------------------------------------

extern "C" {
__attribute__((weak)) extern const char _java_internStrings_start[];
__attribute__((weak)) extern const char _java_internStrings_end[];
}

namespace {

constexpr std::uint32_t kInternRecord = 24;
// The String of a record starts 4 bytes into it.
constexpr std::uint32_t kInternString = 4;

// The interned-string iterator's cursor: the next record. Reset at every
// start of the virtual machine.
word_t intern_cursor = 0;

}  // namespace

#include "vm/natives/interned_strings.h"

namespace tarvelo {

void reset_interned_string_iterator() { intern_cursor = to_word(_java_internStrings_start); }

word_t next_interned_string() {
    if (intern_cursor == 0) reset_interned_string_iterator();
    const word_t end = to_word(_java_internStrings_end);
    if (intern_cursor + kInternString >= end) return 0;
    const word_t s = intern_cursor + kInternString;
    intern_cursor += kInternRecord;
    return s;
}

}  // namespace tarvelo

extern "C" {

void VMNative_java_lang_System_getNumberOfInternedStrings(VMThread* t) {
    returnInt(t, static_cast<std::int32_t>((to_word(_java_internStrings_end) - to_word(_java_internStrings_start)) /
                                           kInternRecord));
}

void VMNative_java_lang_System_nextInternedString(VMThread* t) { returnObject(t, next_interned_string()); }

}  // extern "C"
