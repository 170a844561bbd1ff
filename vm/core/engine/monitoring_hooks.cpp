#include "vm/core/engine/monitoring_hooks.h"

// The table itself is defined in monitoring_hook_table.cpp: seen from here
// its entries are only declared, so every call reads the entry the link
// chose instead of being bound to the default at compile time.
extern "C" {

std::int32_t OSTV_MONITOR_initialize(std::int32_t flag) { return OSTV_MONITOR_initialize_ptr(flag); }
std::int32_t OSTV_MONITOR_on_shutdown(void) { return OSTV_MONITOR_on_shutdown_ptr(0); }
std::int32_t OSTV_MONITOR_on_thread_create(std::int32_t id) { return OSTV_MONITOR_on_thread_create_ptr(id); }
std::int32_t OSTV_MONITOR_on_thread_modified(std::int32_t id) { return OSTV_MONITOR_on_thread_modified_ptr(id); }
std::int32_t OSTV_MONITOR_on_thread_state_changed(std::int32_t id, std::int32_t state) {
    return OSTV_MONITOR_on_thread_state_changed_ptr(id, state);
}
std::int32_t OSTV_MONITOR_on_idle(void) { return OSTV_MONITOR_on_idle_ptr(0); }
std::int32_t OSTV_MONITOR_on_gc_start(std::int32_t id) { return OSTV_MONITOR_on_gc_start_ptr(id); }
std::int32_t OSTV_MONITOR_on_gc_stop(std::int32_t id) { return OSTV_MONITOR_on_gc_stop_ptr(id); }
std::int32_t OSTV_MONITOR_on_allocate(std::uint32_t type, std::uint32_t size, std::uint32_t method, std::uint32_t pc,
                                      std::uint32_t heapSize, std::uint32_t freeBytes, std::int32_t immortal) {
    return OSTV_MONITOR_on_allocate_ptr(type, size, method, pc, heapSize, freeBytes, immortal);
}
std::int32_t OSTV_MONITOR_on_exception(std::uint32_t type, std::uint32_t throwMethod, std::uint32_t throwPc,
                                       std::uint32_t handlerMethod, std::uint32_t handlerPc, const char* message) {
    return OSTV_MONITOR_on_exception_ptr(type, throwMethod, throwPc, handlerMethod, handlerPc, message);
}
std::int32_t OSTV_MONITOR_on_quota_reset(std::int32_t contextId, std::int32_t quota) {
    return OSTV_MONITOR_on_quota_reset_ptr(contextId, quota);
}
std::int32_t OSTV_MONITOR_on_quota_reached(std::int32_t contextId) { return OSTV_MONITOR_on_quota_reached_ptr(contextId); }
std::int32_t OSTV_MONITOR_on_quantum_counters_reset(void) { return OSTV_MONITOR_on_quantum_counters_reset_ptr(0); }
std::int32_t OSTV_MONITOR_on_thread_added_to_context(std::int32_t threadId, std::int32_t contextId) {
    return OSTV_MONITOR_on_thread_added_to_context_ptr(threadId, contextId);
}

__attribute__((weak)) void LLOSTV_on_Runtime_gc_start(void) {}
__attribute__((weak)) void LLOSTV_on_Runtime_gc_done(void) {}
__attribute__((weak)) void LLOSTV_on_OutOfMemoryError_thrown(void) {}
__attribute__((weak)) void LLOSTV_on_GC_MarkStackOverflow_reached(void) {}
}

namespace tarvelo {

void initialize_monitoring() {
    // The flag given to a monitor: false in this configuration.
    OSTV_MONITOR_initialize(0);
}

}  // namespace tarvelo
