#include "vm/core/kernel_thread_scheduler.h"

#include "vm/core/link_config.h"
#include "vm/core/os_port.h"
#include "vm/core/ostrevan.h"
#include "vm/memory/support_allocator.h"

namespace tarvelo {

namespace {
KernelThreadScheduler* the_scheduler = nullptr;
}

KernelThreadScheduler* kernel_scheduler() { return the_scheduler; }

std::int8_t round_robin_slice(std::int32_t period) {
    std::uint32_t slice = static_cast<std::uint32_t>(period) - 1u;
    return static_cast<std::int8_t>(slice <= 127u ? slice : 127u);
}

KernelThreadScheduler* KernelThreadScheduler::create() {
    auto* s = support_new<KernelThreadScheduler>();
    s->classId = kKernelThreadScheduler;
    the_scheduler = s;
    return s;
}

bool KernelThreadScheduler::initialize(VMComponent* self) {
    auto* s = static_cast<KernelThreadScheduler*>(self);
    s->slice = round_robin_slice(link_config::round_robin_period());
    if (LLOSTV_IMPL_initialize() != 0) {
        ostrevan()->setError(kVMErrorPortInitialize);
        return false;
    }
    return true;
}

void KernelThreadScheduler::stop(VMComponent* self) {
    auto* s = static_cast<KernelThreadScheduler*>(self);
    s->idle = 0;
    if (LLOSTV_IMPL_shutdown() != 0) ostrevan()->setError(kVMErrorPortShutdown);
}

void KernelThreadScheduler::recordVMTask() { vmTaskId = static_cast<std::uint32_t>(LLOSTV_IMPL_getCurrentTaskID()); }

}  // namespace tarvelo
