// A thread's monitor stack: three parallel counted arrays of the thread
// record (objects, entry counts as bytes, the application context at the
// first entry), heldMonitorCount entries in use. While the thread is queued
// on a monitor or in Object.wait, the entry just above the count names the
// object it waits for, with the count it will hold again.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/core/threads/vm_thread.h"

namespace tarvelo::monitor_stack {

inline word_t* objects(VMThread* t) { return counted_words(t->monitorObjects); }
inline std::uint8_t* counts(VMThread* t) { return reinterpret_cast<std::uint8_t*>(counted_words(t->monitorCounts)); }
inline word_t* contexts(VMThread* t) { return counted_words(t->monitorContexts); }
inline std::int32_t capacity(VMThread* t) { return static_cast<std::int32_t>(counted_length(t->monitorObjects)); }

// The object `t` waits to enter (queued, or back from Object.wait); 0 when
// the stack is full and there is no such entry.
inline word_t awaited(VMThread* t) {
    return t->heldMonitorCount < capacity(t) ? objects(t)[t->heldMonitorCount] : 0;
}

}  // namespace tarvelo::monitor_stack
