// Life cycle of the virtual machine: creation, components, start, restart.
#include <gtest/gtest.h>

#include <vector>

#include "vm/core/lifecycle/ostrevan.h"
#include "vm/core/lifecycle/vm_facade.h"
#include "vm/core/threads/reschedule.h"
#include "vm/core/engine/sni.h"
#include "tests/vm/core/vm_scenario.h"

using tarvelo::Ostrevan;
using tarvelo::ostrevan;
using tarvelo::test::as_status;
using tarvelo::test::run_vm_scenario;

TEST(VMLifecycle, StartRunsToTheEndAndStops) {
    auto r = run_vm_scenario([] {
        void* vm = SNI_createVM();
        if (vm == nullptr) return 1;
        if (ostrevan()->state != tarvelo::kVMInitialized) return 2;
        if (SNI_startVM(vm, 0, nullptr) != 0) return 3;
        if (ostrevan()->state != tarvelo::kVMStopped) return 4;
        return SNI_getExitCode(vm) == 0 ? 0 : 5;
    });
    EXPECT_EQ(r.exit_status, 0);
}

// A stop from outside (the window closed, a signal), asked before the
// machine runs: its first scheduling pass stops it with the stop's code;
// the first stop asked for counts.
TEST(VMLifecycle, AStopFromOutsideEndsTheRunWithItsCode) {
    auto r = run_vm_scenario([] {
        void* vm = SNI_createVM();
        tarvelo::GreenThreadVMFacade::requestStop(130);
        tarvelo::GreenThreadVMFacade::requestStop(143);
        if (ostrevan()->stopRequested != 0) return 1;  // taken on the machine's own task
        if (SNI_startVM(vm, 0, nullptr) != 0) return 2;
        if (ostrevan()->state != tarvelo::kVMStopped) return 3;
        return SNI_getExitCode(vm) == 130 ? 0 : 4;
    });
    EXPECT_EQ(r.exit_status, 0);
}

TEST(VMLifecycle, ComponentsRunFromTheLastCreated) {
    auto r = run_vm_scenario([] {
        SNI_createVM();
        std::vector<std::uint32_t> ids;
        for (auto* c = ostrevan()->componentList; c != nullptr; c = c->next) ids.push_back(c->classId);
        // The memory manager (8) pushes its parts first: main heap 1, immortal
        // heap 2, reference tracker 5, soft-reference policy 12.
        const std::vector<std::uint32_t> expected{3, 17, 10, 9, 11, 7, 16, 13, 6, 18, 8, 12, 5, 2, 1, 15, 14};
        return ids == expected ? 0 : 1;
    });
    EXPECT_EQ(r.exit_status, 0);
}

TEST(VMLifecycle, SecondStartRunsAgainWithResetExitCode) {
    auto r = run_vm_scenario([] {
        void* vm = SNI_createVM();
        if (SNI_startVM(vm, 0, nullptr) != 0) return 1;
        ostrevan()->exitCode = 3;  // as Runtime.exit would have left it
        ostrevan()->stopRequested = 1;
        if (SNI_startVM(vm, 0, nullptr) != 0) return 2;
        if (ostrevan()->stopRequested != 0) return 3;
        return SNI_getExitCode(vm);
    });
    EXPECT_EQ(r.exit_status, 0);
}

TEST(VMLifecycle, SecondCreateMakesTheHealthyMachineUnstartable) {
    auto r = run_vm_scenario([] {
        void* vm = SNI_createVM();
        void* again = SNI_createVM();
        if (again == nullptr) return 1;
        return as_status(SNI_startVM(vm, 0, nullptr));
    });
    EXPECT_EQ(r.exit_status, as_status(-17));
}

TEST(VMLifecycle, StartWithoutMachineIsRefused) {
    auto r = run_vm_scenario([] { return as_status(SNI_startVM(nullptr, 0, nullptr)); });
    EXPECT_EQ(r.exit_status, as_status(-17));
}

TEST(VMLifecycle, FirstRecordedErrorWins) {
    auto r = run_vm_scenario([] {
        SNI_createVM();
        Ostrevan* vm = ostrevan();
        vm->setError(tarvelo::kVMErrorHeapSize);
        vm->setError(tarvelo::kVMErrorPortShutdown);
        if (vm->state != tarvelo::kVMFailed) return 1;
        // A failed machine stays failed: every start reports the first code.
        if (SNI_startVM(vm, 0, nullptr) != tarvelo::kVMErrorHeapSize) return 2;
        return as_status(SNI_startVM(vm, 0, nullptr));
    });
    EXPECT_EQ(r.exit_status, as_status(-13));
}

TEST(VMLifecycle, StopRequestSetsTheFlags) {
    auto r = run_vm_scenario([] {
        SNI_createVM();
        tarvelo::rescheduleRequested.store(0);
        ostrevan()->requestStop();
        return ostrevan()->stopRequested == 1 && tarvelo::rescheduleRequested.load() == 1 ? 0 : 1;
    });
    EXPECT_EQ(r.exit_status, 0);
}
