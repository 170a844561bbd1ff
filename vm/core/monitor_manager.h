// The monitor manager component: owners of locked monitors and the limits
// that bound them.
#pragma once

#include "vm/core/vm_component.h"

namespace tarvelo {

struct KernelMonitorManager : VMComponent {
    static KernelMonitorManager* create();
    // Checks the configured limits: thread slots must fit the six-bit owner
    // field of an object header, and a thread's monitor stack at most 63.
    static bool initialize(VMComponent* self);
};

}  // namespace tarvelo
