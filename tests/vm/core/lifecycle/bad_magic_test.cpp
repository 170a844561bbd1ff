// An image whose magic word differs fails creation with -1, reported only at
// start: creation itself never fails visibly.
#include <gtest/gtest.h>

#include "tests/vm/core/vm_scenario.h"
#include "vm/core/engine/sni.h"

using tarvelo::test::as_status;
using tarvelo::test::run_vm_scenario;

TEST(VMBadImage, WrongMagicGivesMinusOneAtStart) {
    auto r = run_vm_scenario([] {
        void* vm = SNI_createVM();
        if (vm == nullptr) return 1;
        return as_status(SNI_startVM(vm, 0, nullptr));
    });
    EXPECT_EQ(r.exit_status, as_status(-1));
}
