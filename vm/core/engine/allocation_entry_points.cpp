#include "vm/core/engine/allocation_entry_points.h"

namespace tarvelo {

namespace {
AllocationEntryPoints entry_points{};
}

void publish_allocation_entry_points(const AllocationEntryPoints& entries) { entry_points = entries; }

const AllocationEntryPoints& allocation_entry_points() { return entry_points; }

}  // namespace tarvelo
