// The trace-hook table: one function pointer per trace operation, in this
// order: start, stop, is-started, declare-group, record-event with 0 to 10
// values, record-end, record-end with a value. The natives of
// yq.trace.Tracer (and the virtual machine's trace gate) call through it.
// Every entry is a weak default that leaves tracing off; a build that links
// a trace implementation defines the entries it wants.
#pragma once

#include <cstdint>

extern "C" {

using LLTRACE_fn = std::int32_t(std::int32_t first, ...);
using LLTRACE_is_started_fn = std::int32_t(void);

extern LLTRACE_fn* const LLTRACE_start_ptr;
extern LLTRACE_fn* const LLTRACE_stop_ptr;
extern LLTRACE_is_started_fn* const LLTRACE_is_started_ptr;
extern LLTRACE_fn* const LLTRACE_declare_event_group_ptr;
extern LLTRACE_fn* const LLTRACE_record_event_void_ptr;
extern LLTRACE_fn* const LLTRACE_record_event_u32_ptr;
extern LLTRACE_fn* const LLTRACE_record_event_u32x2_ptr;
extern LLTRACE_fn* const LLTRACE_record_event_u32x3_ptr;
extern LLTRACE_fn* const LLTRACE_record_event_u32x4_ptr;
extern LLTRACE_fn* const LLTRACE_record_event_u32x5_ptr;
extern LLTRACE_fn* const LLTRACE_record_event_u32x6_ptr;
extern LLTRACE_fn* const LLTRACE_record_event_u32x7_ptr;
extern LLTRACE_fn* const LLTRACE_record_event_u32x8_ptr;
extern LLTRACE_fn* const LLTRACE_record_event_u32x9_ptr;
extern LLTRACE_fn* const LLTRACE_record_event_u32x10_ptr;
extern LLTRACE_fn* const LLTRACE_record_event_end_ptr;
extern LLTRACE_fn* const LLTRACE_record_event_end_u32_ptr;

// The defaults: return the first argument; "not started"; group 0.
std::int32_t LLTRACE_default_stub(std::int32_t first, ...);
std::int32_t LLTRACE_is_started_stub(void);
std::int32_t LLTRACE_declare_event_group_stub(std::int32_t first, ...);
}
