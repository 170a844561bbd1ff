// One link-time configuration, one expected start result (see CMakeLists).
#include <gtest/gtest.h>

#include "tests/vm/core/vm_scenario.h"
#include "vm/core/engine/sni.h"

using tarvelo::test::as_status;
using tarvelo::test::run_vm_scenario;

#define STRINGIFY2(x) #x
#define STRINGIFY(x) STRINGIFY2(x)

TEST(VMConfigurationLimit, CASE_NAME) {
    auto r = run_vm_scenario([] {
        void* vm = SNI_createVM();
        std::int32_t first = SNI_startVM(vm, 0, nullptr);
        // A machine that failed stays failed with the same code.
        std::int32_t second = SNI_startVM(vm, 0, nullptr);
        return as_status(first == second ? first : 77);
    });
    EXPECT_EQ(r.exit_status, as_status(EXPECTED_START_RESULT)) << STRINGIFY(CASE_NAME);
}
