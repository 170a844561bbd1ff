// The memory manager inside the virtual machine: the heap component built
// at creation, the functions the memory system calls back (the current
// thread, its quota, OutOfMemoryError, the monitoring hooks), the
// allocation entry points the thread records get, and the thread records
// and Java stacks as roots of the collector.
#pragma once

#include "platform/address.h"

namespace tarvelo {

struct Ostrevan;
struct VMComponent;
struct VMThread;

// The memory-manager component (id 8), or null when it could not be built
// (error -13 recorded).
VMComponent* create_memory_manager(Ostrevan& vm);

// Component operations of the memory manager.
bool memory_manager_initialize(VMComponent* self);
void memory_manager_start(VMComponent* self);

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
