// The life-cycle operations of the components (vm/model/vm_component.h):
// each component class's operations, found by its class id, and the calls
// that run them.
#pragma once

#include <cstdint>

#include "vm/model/vm_component.h"

namespace tarvelo {

// Per-class operations, indexed by class id.
const ComponentOps& component_ops(std::uint32_t classId);

bool component_initialize(VMComponent* c);
void component_start(VMComponent* c);
void component_stop(VMComponent* c);

// A zero-filled component of `classId` with no fields of its own, from the
// virtual machine's runtime region.
VMComponent* new_plain_component(std::uint32_t classId);

}  // namespace tarvelo
