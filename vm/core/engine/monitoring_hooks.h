// Monitoring hooks: the virtual machine reports a fixed set of internal
// events through a table of function pointers, so that a build can link a
// profiler or an event recorder without changing the virtual machine. In
// this system every entry does nothing. Apart from initialize and
// on_shutdown, callers first ask the trace gate (`trace_started`).
#pragma once

#include <cstdint>

#include "platform/address.h"

extern "C" {

using OSTV_MONITOR_initialize_fn = std::int32_t(std::int32_t flag);
using OSTV_MONITOR_on_shutdown_fn = std::int32_t(std::int32_t unused);
using OSTV_MONITOR_on_thread_fn = std::int32_t(std::int32_t threadId);
using OSTV_MONITOR_on_thread_state_changed_fn = std::int32_t(std::int32_t threadId, std::int32_t state);
using OSTV_MONITOR_on_idle_fn = std::int32_t(std::int32_t unused);
using OSTV_MONITOR_on_gc_fn = std::int32_t(std::int32_t threadId);
using OSTV_MONITOR_on_method_fn = std::int32_t(std::uint32_t method);
using OSTV_MONITOR_on_allocate_fn = std::int32_t(std::uint32_t type, std::uint32_t size, std::uint32_t method,
                                                 std::uint32_t pc, std::uint32_t heapSize, std::uint32_t freeBytes,
                                                 std::int32_t immortal);
using OSTV_MONITOR_on_exception_fn = std::int32_t(std::uint32_t type, std::uint32_t throwMethod,
                                                  std::uint32_t throwPc, std::uint32_t handlerMethod,
                                                  std::uint32_t handlerPc, const char* message);
using OSTV_MONITOR_on_quota_reset_fn = std::int32_t(std::int32_t contextId, std::int32_t quota);
using OSTV_MONITOR_on_quota_reached_fn = std::int32_t(std::int32_t contextId);
using OSTV_MONITOR_on_counters_reset_fn = std::int32_t(std::int32_t unused);
using OSTV_MONITOR_on_thread_added_fn = std::int32_t(std::int32_t threadId, std::int32_t contextId);

// The table, in this order, in the read-only data next to the image.
extern OSTV_MONITOR_initialize_fn* const OSTV_MONITOR_initialize_ptr;
extern OSTV_MONITOR_on_shutdown_fn* const OSTV_MONITOR_on_shutdown_ptr;
extern OSTV_MONITOR_on_thread_fn* const OSTV_MONITOR_on_thread_create_ptr;
extern OSTV_MONITOR_on_thread_fn* const OSTV_MONITOR_on_thread_modified_ptr;
extern OSTV_MONITOR_on_thread_state_changed_fn* const OSTV_MONITOR_on_thread_state_changed_ptr;
extern OSTV_MONITOR_on_idle_fn* const OSTV_MONITOR_on_idle_ptr;
extern OSTV_MONITOR_on_gc_fn* const OSTV_MONITOR_on_gc_start_ptr;
extern OSTV_MONITOR_on_gc_fn* const OSTV_MONITOR_on_gc_stop_ptr;
extern OSTV_MONITOR_on_method_fn* const OSTV_MONITOR_on_invoke_method_ptr;
extern OSTV_MONITOR_on_method_fn* const OSTV_MONITOR_on_return_method_ptr;
extern OSTV_MONITOR_on_allocate_fn* const OSTV_MONITOR_on_allocate_ptr;
extern OSTV_MONITOR_on_exception_fn* const OSTV_MONITOR_on_exception_ptr;
extern OSTV_MONITOR_on_quota_reset_fn* const OSTV_MONITOR_on_quota_reset_ptr;
extern OSTV_MONITOR_on_quota_reached_fn* const OSTV_MONITOR_on_quota_reached_ptr;
extern OSTV_MONITOR_on_counters_reset_fn* const OSTV_MONITOR_on_quantum_counters_reset_ptr;
extern OSTV_MONITOR_on_thread_added_fn* const OSTV_MONITOR_on_thread_added_to_context_ptr;

// Each calls its table entry with its arguments and returns its result.
std::int32_t OSTV_MONITOR_initialize(std::int32_t flag);
std::int32_t OSTV_MONITOR_on_shutdown(void);
std::int32_t OSTV_MONITOR_on_thread_create(std::int32_t threadId);
std::int32_t OSTV_MONITOR_on_thread_modified(std::int32_t threadId);
std::int32_t OSTV_MONITOR_on_thread_state_changed(std::int32_t threadId, std::int32_t state);
std::int32_t OSTV_MONITOR_on_idle(void);
std::int32_t OSTV_MONITOR_on_gc_start(std::int32_t threadId);
std::int32_t OSTV_MONITOR_on_gc_stop(std::int32_t threadId);
std::int32_t OSTV_MONITOR_on_allocate(std::uint32_t type, std::uint32_t size, std::uint32_t method, std::uint32_t pc,
                                      std::uint32_t heapSize, std::uint32_t freeBytes, std::int32_t immortal);
std::int32_t OSTV_MONITOR_on_exception(std::uint32_t type, std::uint32_t throwMethod, std::uint32_t throwPc,
                                       std::uint32_t handlerMethod, std::uint32_t handlerPc, const char* message);
std::int32_t OSTV_MONITOR_on_quota_reset(std::int32_t contextId, std::int32_t quota);
std::int32_t OSTV_MONITOR_on_quota_reached(std::int32_t contextId);
std::int32_t OSTV_MONITOR_on_quantum_counters_reset(void);
std::int32_t OSTV_MONITOR_on_thread_added_to_context(std::int32_t threadId, std::int32_t contextId);

// The trace component's answer to "is tracing started" (the trace gate):
// the is-started entry of the trace-hook table (vm/natives/trace_hooks.h).
std::uint8_t Java_yq_trace_Tracer_isTraceStarted(void);

// Port hooks, empty in this port.
void LLOSTV_on_Runtime_gc_start(void);
void LLOSTV_on_Runtime_gc_done(void);
void LLOSTV_on_OutOfMemoryError_thrown(void);
void LLOSTV_on_GC_MarkStackOverflow_reached(void);
}

namespace tarvelo {

inline bool trace_started() { return Java_yq_trace_Tracer_isTraceStarted() != 0; }

// Whether the firmware links a monitor that takes allocation events: with
// the default hook an event does nothing, traced or not.
bool allocation_monitor_linked();

// Called once at virtual-machine creation: reports initialisation to the
// monitor.
void initialize_monitoring();

}  // namespace tarvelo
