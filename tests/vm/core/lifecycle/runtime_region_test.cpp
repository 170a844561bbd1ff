// The virtual machine's own objects (components, thread records with their
// monitor and local-reference stacks, the collector's buffers) fit the
// runtime region of the default configuration.
#include <gtest/gtest.h>

#include "tests/vm/core/vm_scenario.h"
#include "vm/core/engine/sni.h"
#include "vm/memory/support_allocator.h"

TEST(RuntimeRegion, DefaultConfigurationFitsTheDevicesRegion) {
    auto r = tarvelo::test::run_vm_scenario([] {
        SNI_createVM();
        return tarvelo::support_allocator_used() <= tarvelo::kRuntimeRegionSize ? 0 : 1;
    });
    EXPECT_EQ(r.exit_status, 0);
}
