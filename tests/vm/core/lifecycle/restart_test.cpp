// A virtual machine started again after it stopped runs its program from
// the beginning: statics zeroed, class initialisers run again, the exit
// code reset.
#include <gtest/gtest.h>

#include <vector>

#include "tests/vm/core/vm_scenario.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/sni.h"
#include "vm/core/threads/vm_thread.h"

namespace {
std::vector<int> recorded;
}

extern "C" void VMNative_app_Restart_record(tarvelo::VMThread* t) {
    recorded.push_back(tarvelo::ExecutionContext::intArg(t, 5));
}

TEST(VMRestart, SecondRunStartsFromZeroedStatics) {
    auto r = tarvelo::test::run_vm_scenario([] {
        void* vm = SNI_createVM();
        if (SNI_startVM(vm, 0, nullptr) != 0) return 1;
        if (SNI_startVM(vm, 0, nullptr) != 0) return 2;
        const std::vector<int> expected{1, 1, 1, 1};
        return recorded == expected ? 0 : 3;
    });
    EXPECT_EQ(r.exit_status, 0) << r.output;
}
