// The monitoring hook table: one function pointer per event, each a weak
// default that does nothing. It lives apart from the functions that call
// through it, so that no call is bound to a default when the table is
// compiled: a build that links a monitor defines the entries it wants.
#include "vm/core/engine/monitoring_hooks.h"

namespace {

// The default entry of every slot: returns its first argument, does nothing.
std::int32_t stub1(std::int32_t first) { return first; }
std::int32_t stub2(std::int32_t first, std::int32_t) { return first; }
std::int32_t stub_method(std::uint32_t first) { return static_cast<std::int32_t>(first); }
std::int32_t stub_allocate(std::uint32_t type, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                           std::uint32_t, std::int32_t) {
    return static_cast<std::int32_t>(type);
}
std::int32_t stub_exception(std::uint32_t type, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                            const char*) {
    return static_cast<std::int32_t>(type);
}

}  // namespace

// A build that links a monitor defines these entries itself, and they
// replace the weak defaults below.
extern "C" {
extern __attribute__((weak)) OSTV_MONITOR_initialize_fn* const OSTV_MONITOR_initialize_ptr = stub1;
extern __attribute__((weak)) OSTV_MONITOR_on_shutdown_fn* const OSTV_MONITOR_on_shutdown_ptr = stub1;
extern __attribute__((weak)) OSTV_MONITOR_on_thread_fn* const OSTV_MONITOR_on_thread_create_ptr = stub1;
extern __attribute__((weak)) OSTV_MONITOR_on_thread_fn* const OSTV_MONITOR_on_thread_modified_ptr = stub1;
extern __attribute__((weak)) OSTV_MONITOR_on_thread_state_changed_fn* const OSTV_MONITOR_on_thread_state_changed_ptr = stub2;
extern __attribute__((weak)) OSTV_MONITOR_on_idle_fn* const OSTV_MONITOR_on_idle_ptr = stub1;
extern __attribute__((weak)) OSTV_MONITOR_on_gc_fn* const OSTV_MONITOR_on_gc_start_ptr = stub1;
extern __attribute__((weak)) OSTV_MONITOR_on_gc_fn* const OSTV_MONITOR_on_gc_stop_ptr = stub1;
extern __attribute__((weak)) OSTV_MONITOR_on_method_fn* const OSTV_MONITOR_on_invoke_method_ptr = stub_method;
extern __attribute__((weak)) OSTV_MONITOR_on_method_fn* const OSTV_MONITOR_on_return_method_ptr = stub_method;
extern __attribute__((weak)) OSTV_MONITOR_on_allocate_fn* const OSTV_MONITOR_on_allocate_ptr = stub_allocate;
extern __attribute__((weak)) OSTV_MONITOR_on_exception_fn* const OSTV_MONITOR_on_exception_ptr = stub_exception;
extern __attribute__((weak)) OSTV_MONITOR_on_quota_reset_fn* const OSTV_MONITOR_on_quota_reset_ptr = stub2;
extern __attribute__((weak)) OSTV_MONITOR_on_quota_reached_fn* const OSTV_MONITOR_on_quota_reached_ptr = stub1;
extern __attribute__((weak)) OSTV_MONITOR_on_counters_reset_fn* const OSTV_MONITOR_on_quantum_counters_reset_ptr = stub1;
extern __attribute__((weak)) OSTV_MONITOR_on_thread_added_fn* const OSTV_MONITOR_on_thread_added_to_context_ptr = stub2;
}

bool tarvelo::allocation_monitor_linked() { return OSTV_MONITOR_on_allocate_ptr != stub_allocate; }
