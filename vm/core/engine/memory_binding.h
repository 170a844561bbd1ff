// What the execution engine gives the memory manager and takes from it:
// the functions the memory system calls back (the current thread, its
// quota, OutOfMemoryError, the monitoring hooks), the thread records and
// Java stacks as roots of the collector, and the allocation entry points
// the thread records get.
#pragma once

#include "platform/address.h"

namespace tarvelo {

class HeapSet;
struct VMThread;

// Binds the engine to the memory manager just built: installs its entries
// of the memory environment (keeping the others), adds the thread records
// and stacks to the collector's roots and publishes the allocation entry
// points.
void bind_engine_to_memory(HeapSet* heap);

// Allocations made by virtual-machine code on behalf of a thread that is not
// the running one (a thread being started) charge, own and fail as that
// thread while this is in scope.
class AllocatingFor {
public:
    explicit AllocatingFor(VMThread* t);
    ~AllocatingFor();
    AllocatingFor(const AllocatingFor&) = delete;
    AllocatingFor& operator=(const AllocatingFor&) = delete;

private:
    VMThread* previous_;
};

// The thread allocations are made for: the one named by AllocatingFor, else
// the running one; null when none.
VMThread* allocating_thread();

// The collector's visit of the references held by thread records and by the
// reference windows of their stacks.
struct SlotVisitor;
void visit_thread_roots(const SlotVisitor& visitor);

}  // namespace tarvelo
