// The interpreter's `new` in its common case, without a call: code of the
// kernel allocating an object of a kernel type that the first free block
// of the heap can hold, with the heap's own allocator, and no monitor
// wanting the event. It gives the same object, charges and quantum as the
// full path; anything else is left to the thread's allocator.
#pragma once

#include "platform/address.h"
#include "vm/core/engine/monitoring_hooks.h"
#include "vm/core/threads/schedule_context.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/heap_set.h"

namespace tarvelo {

// Set by the memory binding.
namespace inline_allocation_state {
extern VMThread* allocatingOverride;   // see AllocatingFor
extern word_t heapObjectAllocator;     // the entry point HeapSet::allocateObject backs
extern bool allocationMonitorLinked;
}  // namespace inline_allocation_state

// The new object, or 0 with nothing done.
[[gnu::always_inline]] inline word_t allocate_object_inline(VMThread* t, word_t type) {
    namespace state = inline_allocation_state;
    if (t->ownerFeature != 0 || t->objectAllocator != state::heapObjectAllocator) return 0;
    if (state::allocatingOverride != nullptr && state::allocatingOverride != t) return 0;
    if (state::allocationMonitorLinked && trace_started()) return 0;
    const word_t obj = heapSet()->allocateKernelObjectQuick(type);
    if (obj != 0) charge_quantum(t);
    return obj;
}

}  // namespace tarvelo
