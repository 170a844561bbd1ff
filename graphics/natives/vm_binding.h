// The few virtual-machine services the engine uses (thread suspension and
// resumption, native resources), called through one table so that the unit
// tests can run the engine without a virtual machine. The defaults call the
// native interface.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vm/core/engine/sni.h"

namespace tarvelo::graphics {

struct VMBinding {
    std::int32_t (*currentThreadId)();
    // Suspends the current green thread; `native` runs again from its start
    // when the thread is resumed. 0, or -1 when refused.
    std::int32_t (*suspendWithCallback)(void* native);
    std::int32_t (*resumeThread)(std::int32_t id);
    std::int32_t (*clearPendingResume)();
    std::int32_t (*registerResource)(void* resource, SNIX_resource_close close,
                                     SNIX_resource_description description);
    std::int32_t (*unregisterResource)(void* resource, SNIX_resource_close close);
    std::int32_t (*throwException)(std::int32_t code, const char* message);
    // The free bytes of the virtual machine's runtime heap (the start-up
    // allocation check).
    std::size_t (*runtimeHeapFree)();
};

VMBinding& vm_binding();
// Restores the native-interface defaults.
void use_native_interface();

}  // namespace tarvelo::graphics
