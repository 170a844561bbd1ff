/* Default values of the link-time configuration symbols. They are weak so
 * that an image's build can define any of them again with its own value;
 * the virtual machine reads them as absolute values, never as data. */

#define DEFAULT(name, value) .weak name; .set name, value

DEFAULT(_java_heap_size, 900000)
DEFAULT(_java_heap_initial_size, 900000)
DEFAULT(_java_immortals_size, 32756)
DEFAULT(_java_java_stack_size, 0x7600)
DEFAULT(_java_vmthread_java_stack_block_size, 512)
DEFAULT(_java_vmthread_java_stack_size, 25600)
DEFAULT(_java_max_nb_standaloneEngines, 34)
DEFAULT(_java_max_nb_monitors_per_thread, 10)
DEFAULT(_java_feature_max_nb_threads, 10)
DEFAULT(_java_max_nb_dynamic_features, 16)
DEFAULT(_java_round_robin_period, 21)
DEFAULT(_java_vmthread_nb_wrappers, 2)
DEFAULT(_java_dump_kernel_uncaught_exception, 2)
DEFAULT(_java_oome_nb_frames, 5)
DEFAULT(_java_dump_buffer_size, 128)
DEFAULT(_java_vmwatchdog_enabled, 1)
DEFAULT(_java_vmwatchdog_nb_watchdogs, 2)
DEFAULT(_java_vmwatchdog_context_stack_size, 2)
DEFAULT(_java_softRef_LRU_msPerFreeKb, 1000)
DEFAULT(_jvm_gc_max_stack_level, 32)
DEFAULT(_jvm_sharedMemory_size, 256)
DEFAULT(_java_kf_ram_control_enabled, 1)
DEFAULT(_java_kf_ram_control_size, 64)
DEFAULT(_java_kf_rule_conf_feature_call_within_kernel_monitor, 1)
DEFAULT(_java_vmtrace_enabled, 1)
DEFAULT(_java_vmtrace_autoStart, 1)
/* Sizes for the memory plan of the build; nothing reads them at run time. */
DEFAULT(_java_vmthread_native_size, 200)
DEFAULT(_java_vmthread_monitor_size, 5)
DEFAULT(_java_vmthread_kf_engine_size, 28)
DEFAULT(_java_vmthread_kf_engine_monitor_size, 4)
DEFAULT(_java_gc_stack_elem_size, 9)
DEFAULT(_java_watchdog_per_watchdog_size, 40)
DEFAULT(_java_watchdog_threshold_size, 40)
DEFAULT(_java_stackgroup_table, 0)
DEFAULT(_java_stackgroup_table_length, 0)

        .section .note.GNU-stack, "", @progbits
