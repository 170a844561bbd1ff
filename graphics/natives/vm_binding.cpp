// The engine's virtual-machine services, bound to the native interface and,
// for the runtime heap's free bytes, to the heap's allocator.
#include "graphics/natives/vm_binding.h"

#include "vm/memory/support_allocator.h"

namespace tarvelo::graphics {

namespace {

VMBinding native_interface() {
    return VMBinding{
        [] { return SNI_getCurrentJavaThreadID(); },
        [](void* native) { return SNI_suspendCurrentJavaThreadWithCallback(0, native, nullptr); },
        [](std::int32_t id) { return SNI_resumeJavaThreadWithArg(id, nullptr); },
        [] { return SNI_clearCurrentJavaThreadPendingResumeFlag(); },
        [](void* r, SNIX_resource_close c, SNIX_resource_description d) { return SNI_registerResource(r, c, d); },
        [](void* r, SNIX_resource_close c) { return SNI_unregisterResource(r, c); },
        [](std::int32_t code, const char* message) { return SNI_throwNativeException(code, message); },
        [] { return support_allocator_free(); },
    };
}

VMBinding g_binding = native_interface();

}  // namespace

VMBinding& vm_binding() { return g_binding; }
void use_native_interface() { g_binding = native_interface(); }

}  // namespace tarvelo::graphics
