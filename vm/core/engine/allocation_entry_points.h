// The allocation entry points the memory manager publishes to the
// virtual-machine runtime when it initialises; every thread record gets
// them when it is bound.
#pragma once

#include "vm/core/threads/vm_thread.h"

namespace tarvelo {

struct AllocationEntryPoints {
    ObjectAllocatorFn* object;
    ArrayAllocatorFn* array;
    ObjectAllocatorFn* immortalObject;
    ArrayAllocatorFn* immortalArray;
};

void publish_allocation_entry_points(const AllocationEntryPoints& entries);
const AllocationEntryPoints& allocation_entry_points();

}  // namespace tarvelo
