// A system-properties table whose first key is the first interned-string
// record itself is refused with -27; it is found while the components are
// created, before the magic word is looked at (this image's is wrong too).
#include <gtest/gtest.h>

#include "tests/vm/core/vm_scenario.h"
#include "vm/core/engine/sni.h"

using tarvelo::test::as_status;
using tarvelo::test::run_vm_scenario;

TEST(VMBadImage, PropertiesKeyPointingAtARecordGivesMinus27) {
    auto r = run_vm_scenario([] { return as_status(SNI_startVM(SNI_createVM(), 0, nullptr)); });
    EXPECT_EQ(r.exit_status, as_status(-27));
}
