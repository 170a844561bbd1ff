// The trace-hook table's default entries. The table lives apart from the
// natives that call through it, so that no call is bound to a default when
// they are compiled: a build that links a trace implementation defines the
// entries it wants, and they replace the weak defaults below.
#include "vm/natives/trace_hooks.h"

extern "C" {

std::int32_t LLTRACE_default_stub(std::int32_t first, ...) { return first; }
std::int32_t LLTRACE_is_started_stub(void) { return 0; }
std::int32_t LLTRACE_declare_event_group_stub(std::int32_t, ...) { return 0; }

extern __attribute__((weak)) LLTRACE_fn* const LLTRACE_start_ptr = LLTRACE_default_stub;
extern __attribute__((weak)) LLTRACE_fn* const LLTRACE_stop_ptr = LLTRACE_default_stub;
extern __attribute__((weak)) LLTRACE_is_started_fn* const LLTRACE_is_started_ptr = LLTRACE_is_started_stub;
extern __attribute__((weak)) LLTRACE_fn* const LLTRACE_declare_event_group_ptr = LLTRACE_declare_event_group_stub;
extern __attribute__((weak)) LLTRACE_fn* const LLTRACE_record_event_void_ptr = LLTRACE_default_stub;
extern __attribute__((weak)) LLTRACE_fn* const LLTRACE_record_event_u32_ptr = LLTRACE_default_stub;
extern __attribute__((weak)) LLTRACE_fn* const LLTRACE_record_event_u32x2_ptr = LLTRACE_default_stub;
extern __attribute__((weak)) LLTRACE_fn* const LLTRACE_record_event_u32x3_ptr = LLTRACE_default_stub;
extern __attribute__((weak)) LLTRACE_fn* const LLTRACE_record_event_u32x4_ptr = LLTRACE_default_stub;
extern __attribute__((weak)) LLTRACE_fn* const LLTRACE_record_event_u32x5_ptr = LLTRACE_default_stub;
extern __attribute__((weak)) LLTRACE_fn* const LLTRACE_record_event_u32x6_ptr = LLTRACE_default_stub;
extern __attribute__((weak)) LLTRACE_fn* const LLTRACE_record_event_u32x7_ptr = LLTRACE_default_stub;
extern __attribute__((weak)) LLTRACE_fn* const LLTRACE_record_event_u32x8_ptr = LLTRACE_default_stub;
extern __attribute__((weak)) LLTRACE_fn* const LLTRACE_record_event_u32x9_ptr = LLTRACE_default_stub;
extern __attribute__((weak)) LLTRACE_fn* const LLTRACE_record_event_u32x10_ptr = LLTRACE_default_stub;
extern __attribute__((weak)) LLTRACE_fn* const LLTRACE_record_event_end_ptr = LLTRACE_default_stub;
extern __attribute__((weak)) LLTRACE_fn* const LLTRACE_record_event_end_u32_ptr = LLTRACE_default_stub;
}
