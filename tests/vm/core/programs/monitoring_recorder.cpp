// A monitor for the monitoring-hooks program: its table entries replace the
// default ones and count the calls of the gated hooks; its trace-hook
// table's is-started entry answers the trace gate, and natives start and
// stop tracing and print what was called.
#include <cstdint>

#include "platform/board/debug_console.h"
#include "vm/core/engine/monitoring_hooks.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/natives/trace_hooks.h"

namespace {

enum Hook { kCreate, kState, kAllocate, kException, kGcStart, kGcStop, kIdle, kContext, kHooks };
const char* const kNames[kHooks] = {"create", "state", "allocate", "exception", "gc_start", "gc_stop", "idle", "context"};
std::int32_t calls[kHooks];
// What the last exception report carried as its message.
const char* last_message_kind = "none";

std::int32_t on_thread_create(std::int32_t id) {
    ++calls[kCreate];
    return id;
}
std::int32_t on_state(std::int32_t id, std::int32_t) {
    ++calls[kState];
    return id;
}
std::int32_t on_allocate(std::uint32_t type, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                         std::uint32_t, std::int32_t) {
    ++calls[kAllocate];
    return static_cast<std::int32_t>(type);
}
std::int32_t on_exception(std::uint32_t type, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                          const char* message) {
    ++calls[kException];
    last_message_kind = message == nullptr ? "null" : message[0] == '\0' ? "empty" : "text";
    return static_cast<std::int32_t>(type);
}
std::int32_t on_gc_start(std::int32_t id) {
    ++calls[kGcStart];
    return id;
}
std::int32_t on_gc_stop(std::int32_t id) {
    ++calls[kGcStop];
    return id;
}
std::int32_t on_idle(std::int32_t unused) {
    ++calls[kIdle];
    return unused;
}
// Tracing runs from the start of the firmware until the program stops it.
bool tracing = true;
std::int32_t is_started() { return tracing ? 1 : 0; }

std::int32_t on_context(std::int32_t id, std::int32_t) {
    ++calls[kContext];
    return id;
}

}  // namespace

extern "C" {

OSTV_MONITOR_on_thread_fn* const OSTV_MONITOR_on_thread_create_ptr = on_thread_create;
OSTV_MONITOR_on_thread_state_changed_fn* const OSTV_MONITOR_on_thread_state_changed_ptr = on_state;
OSTV_MONITOR_on_allocate_fn* const OSTV_MONITOR_on_allocate_ptr = on_allocate;
OSTV_MONITOR_on_exception_fn* const OSTV_MONITOR_on_exception_ptr = on_exception;
OSTV_MONITOR_on_gc_fn* const OSTV_MONITOR_on_gc_start_ptr = on_gc_start;
OSTV_MONITOR_on_gc_fn* const OSTV_MONITOR_on_gc_stop_ptr = on_gc_stop;
OSTV_MONITOR_on_idle_fn* const OSTV_MONITOR_on_idle_ptr = on_idle;
OSTV_MONITOR_on_thread_added_fn* const OSTV_MONITOR_on_thread_added_to_context_ptr = on_context;
LLTRACE_is_started_fn* const LLTRACE_is_started_ptr = is_started;

void VMNative_app_Trace_start(tarvelo::VMThread*) { tracing = true; }
void VMNative_app_Trace_stop(tarvelo::VMThread*) { tracing = false; }

void VMNative_app_Trace_report(tarvelo::VMThread*) {
    bool any = false;
    for (int i = 0; i < kHooks; ++i) {
        if (calls[i] == 0) continue;
        DbgConsole_Printf("%s%s", any ? " " : "", kNames[i]);
        any = true;
        calls[i] = 0;
    }
    DbgConsole_Printf("%s (message: %s)\n", any ? "" : "no hook", last_message_kind);
    last_message_kind = "none";
}

}  // extern "C"
