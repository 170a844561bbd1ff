#include "vm/core/vm_runtime.h"

#include "vm/core/kernel_thread_scheduler.h"
#include "vm/core/os_port.h"
#include "vm/core/ostrevan.h"
#include "vm/core/reschedule.h"

namespace tarvelo {

std::atomic<std::uint8_t> rescheduleRequested{0};

namespace {

void start(Ostrevan& vm) {
    vm.startPhase = kStartPhaseInitializers;
    vm.startComponents();
    if (vm.failed()) return;
    vm.state = kVMStarted;
    kernel_scheduler()->recordVMTask();
    if (LLOSTV_IMPL_vmTaskStarted() != 0) vm.setError(kVMErrorPortTaskStarted);
}

}  // namespace

std::int32_t GreenThreadVMRuntime::startVM(Ostrevan& vm, std::int32_t, char**) {
    if (vm.state == kVMStopped) vm.resetComponents();
    if (vm.state != kVMInitialized) {
        vm.setError(kVMErrorNotStartable);
        return vm.errorCode;
    }
    start(vm);
    if (vm.state == kVMStarted) {
        // No Java thread exists until the interpreter is in place: the run
        // ends at once and the components stop.
        vm.stopComponents();
        if (!vm.failed()) vm.state = kVMStopped;
    }
    return vm.errorCode;
}

}  // namespace tarvelo
