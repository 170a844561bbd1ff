// The green-thread scheduler component. Its scheduling pass, ready queues and
// waiting list run on the application task; the wake-up entry `schedule` is
// called from the timer task, other tasks and interrupts.
#pragma once

#include <atomic>
#include <cstdint>

#include "vm/core/vm_component.h"

namespace tarvelo {

struct KernelThreadScheduler : VMComponent {
    std::int64_t lastSwitchTime;
    std::uint32_t vmTaskId;  // the application task, recorded at start
    std::int8_t slice;       // round-robin slice in ms; 0 turns slicing off
    std::uint8_t idle;       // 1 while the task waits in the port's idleVM
    std::atomic<std::uint8_t> wakeupPending;

    static KernelThreadScheduler* create();
    static bool initialize(VMComponent* self);
    static void stop(VMComponent* self);

    // Records the calling task as the one that runs Java from now on.
    void recordVMTask();
};

// The scheduler created with the virtual machine, or null.
KernelThreadScheduler* kernel_scheduler();

// Slice length from the round-robin period (slice + 1 ms).
std::int8_t round_robin_slice(std::int32_t period);

}  // namespace tarvelo
