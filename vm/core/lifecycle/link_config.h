// Link-time configuration of the virtual machine.
//
// Each limit is an absolute symbol whose value the firmware's link fixes; it
// is read as a constant at run time, never as data, so an image's build can
// change a limit without recompiling the virtual machine. The symbols and
// their defaults are listed once, in vm/model/link_config.def; the
// firmware carries them as weak definitions (link_config_defaults.S) and an
// image may define any of them again to override it.
#pragma once

#include <cstdint>

#include "platform/address.h"

#include "vm/model/image_symbols.h"

namespace tarvelo::link_config {

// The value of a configuration symbol as a signed 32-bit number (a symbol
// may hold -1, read back as 0xFFFFFFFF).
#define TARVELO_LINK_VALUE(name) (static_cast<std::int32_t>(::tarvelo::link_value(name)))

inline std::int32_t heap_size() { return TARVELO_LINK_VALUE(_java_heap_size); }
inline std::int32_t heap_initial_size() { return TARVELO_LINK_VALUE(_java_heap_initial_size); }
inline std::int32_t immortals_size() { return TARVELO_LINK_VALUE(_java_immortals_size); }
inline std::int32_t java_stack_size() { return TARVELO_LINK_VALUE(_java_java_stack_size); }
inline std::int32_t stack_block_size() { return TARVELO_LINK_VALUE(_java_vmthread_java_stack_block_size); }
inline std::int32_t thread_stack_size() { return TARVELO_LINK_VALUE(_java_vmthread_java_stack_size); }
inline std::int32_t max_threads() { return TARVELO_LINK_VALUE(_java_max_nb_standaloneEngines); }
inline std::int32_t max_monitors_per_thread() { return TARVELO_LINK_VALUE(_java_max_nb_monitors_per_thread); }
inline std::int32_t feature_max_threads() { return TARVELO_LINK_VALUE(_java_feature_max_nb_threads); }
inline std::int32_t max_dynamic_features() { return TARVELO_LINK_VALUE(_java_max_nb_dynamic_features); }
inline std::int32_t round_robin_period() { return TARVELO_LINK_VALUE(_java_round_robin_period); }
inline std::int32_t native_wrappers() { return TARVELO_LINK_VALUE(_java_vmthread_nb_wrappers); }
inline std::int32_t dump_kernel_uncaught_exception() { return TARVELO_LINK_VALUE(_java_dump_kernel_uncaught_exception); }
inline std::int32_t oome_frames() { return TARVELO_LINK_VALUE(_java_oome_nb_frames); }
inline std::int32_t dump_buffer_size() { return TARVELO_LINK_VALUE(_java_dump_buffer_size); }
inline std::int32_t watchdog_enabled() { return TARVELO_LINK_VALUE(_java_vmwatchdog_enabled); }
inline std::int32_t watchdog_count() { return TARVELO_LINK_VALUE(_java_vmwatchdog_nb_watchdogs); }
inline std::int32_t watchdog_context_stack_size() { return TARVELO_LINK_VALUE(_java_vmwatchdog_context_stack_size); }
inline std::int32_t soft_ref_ms_per_free_kb() { return TARVELO_LINK_VALUE(_java_softRef_LRU_msPerFreeKb); }
inline std::int32_t gc_max_stack_level() { return TARVELO_LINK_VALUE(_jvm_gc_max_stack_level); }
inline std::int32_t shared_memory_size() { return TARVELO_LINK_VALUE(_jvm_sharedMemory_size); }
inline std::int32_t kf_ram_control_enabled() { return TARVELO_LINK_VALUE(_java_kf_ram_control_enabled); }
inline std::int32_t kf_ram_control_size() { return TARVELO_LINK_VALUE(_java_kf_ram_control_size); }
inline std::int32_t feature_rules_word() { return TARVELO_LINK_VALUE(_java_kf_rule_conf_feature_call_within_kernel_monitor); }
inline std::int32_t vmtrace_enabled() { return TARVELO_LINK_VALUE(_java_vmtrace_enabled); }
inline std::int32_t vmtrace_auto_start() { return TARVELO_LINK_VALUE(_java_vmtrace_autoStart); }

#undef TARVELO_LINK_VALUE

}  // namespace tarvelo::link_config
