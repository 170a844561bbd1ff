#include "vm/core/lifecycle/vm_facade.h"

#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/port/os_port.h"
#include "vm/core/lifecycle/ostrevan.h"
#include "vm/core/threads/reschedule.h"
#include "vm/core/engine/sni.h"
#include "vm/core/lifecycle/vm_runtime.h"
#include "vm/memory/support_allocator.h"

namespace tarvelo {

namespace {
// The handle given to the native interface's callers: constant and non-null.
const std::uint32_t vm_handle = 0;
void* handle() { return const_cast<std::uint32_t*>(&vm_handle); }
}  // namespace

void* GreenThreadVMFacade::initialize() {
    if (Ostrevan* existing = ostrevan()) {
        existing->setError(kVMErrorNotStartable);
        return handle();
    }
    Ostrevan* vm = support_new<Ostrevan>();
    vm->createVM();
    return handle();
}

std::int32_t GreenThreadVMFacade::start(void*, std::int32_t argc, char** argv) {
    Ostrevan* vm = ostrevan();
    if (vm == nullptr) return kVMErrorNotStartable;
    return GreenThreadVMRuntime::startVM(*vm, argc, argv);
}

std::int32_t GreenThreadVMFacade::getExitCode(void*) {
    Ostrevan* vm = ostrevan();
    return vm ? vm->exitCode : 0;
}

std::int32_t GreenThreadVMFacade::schedule() {
    if (KernelThreadScheduler* s = kernel_scheduler()) s->wakeupPending.store(1);
    request_reschedule();
    LLOSTV_IMPL_wakeupVM();
    return 0;
}

void GreenThreadVMFacade::requestStop(std::int32_t code) {
    GreenThreadVMRuntime::postOutsideStop(code);
    schedule();
}

}  // namespace tarvelo

extern "C" void* SNI_createVM(void) { return tarvelo::GreenThreadVMFacade::initialize(); }

extern "C" std::int32_t SNI_startVM(void* vm, std::int32_t argc, char** argv) {
    return tarvelo::GreenThreadVMFacade::start(vm, argc, argv);
}

extern "C" std::int32_t SNI_getExitCode(void* vm) { return tarvelo::GreenThreadVMFacade::getExitCode(vm); }

extern "C" void SNI_destroyVM(void*) {}
