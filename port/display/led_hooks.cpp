// The board has no LEDs: the engine's LED hooks say so.
#include <cstdint>

#include "graphics/natives/vm_binding.h"

extern "C" {

std::int32_t LLUI_LED_IMPL_initialize(void) { return 0; }

std::int32_t LLUI_LED_IMPL_getIntensity(std::int32_t) {
    tarvelo::graphics::vm_binding().throwException(-1, "Not implemented");
    return 0;
}

void LLUI_LED_IMPL_setIntensity(std::int32_t, std::int32_t) {
    tarvelo::graphics::vm_binding().throwException(-1, "Not implemented");
}

}  // extern "C"
