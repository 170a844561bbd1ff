// Weak defaults of the display hooks that only a display port can fill. A
// firmware without a display port leaves the display record empty, which
// the display's start-up refuses (the device halts): there is no display.
#include "graphics/llui_display.h"

extern "C" {

__attribute__((weak)) void LLUI_DISPLAY_IMPL_initialize(LLUI_DISPLAY_SInitData*) {}
__attribute__((weak)) void LLUI_DISPLAY_IMPL_binarySemaphoreTake(void*) {}
__attribute__((weak)) void LLUI_DISPLAY_IMPL_binarySemaphoreGive(void*, bool) {}
__attribute__((weak)) std::int32_t LLUI_DISPLAY_IMPL_newDrawingRegion(SPictavoGraphicsContext*, std::int32_t,
                                                                      std::int32_t, std::int32_t, std::int32_t, bool) {
    return 0;
}
__attribute__((weak)) std::int32_t LLUI_DISPLAY_IMPL_refresh(SPictavoGraphicsContext*, std::uint8_t) { return 0; }

}  // extern "C"
