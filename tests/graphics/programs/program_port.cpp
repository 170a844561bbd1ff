// The display port of the graphics programs: a 32 x 16 RGB565 display with
// two back buffers in memory and a refresh that presents at once (the
// programs draw with the natives of paint_natives.cpp).
#include <cstdint>

#include "FreeRTOS.h"
#include "graphics/display/llui_display.h"
#include "platform/address.h"
#include "semphr.h"

namespace {

constexpr std::uint32_t kWidth = 32;
constexpr std::uint32_t kHeight = 16;
alignas(64) std::uint16_t g_buffers[2][kWidth * kHeight];
std::uint32_t g_shown = 1;  // index of the presented buffer

}  // namespace

extern "C" {

void LLUI_DISPLAY_IMPL_initialize(LLUI_DISPLAY_SInitData* d) {
    d->binary_semaphore_0 = xSemaphoreCreateBinary();
    d->binary_semaphore_1 = xSemaphoreCreateBinary();
    d->lcd_buffer_address = tarvelo::to_word(g_buffers[0]);
    d->lcd_width = kWidth;
    d->lcd_height = kHeight;
}

void LLUI_DISPLAY_IMPL_binarySemaphoreTake(void* semaphore) {
    xSemaphoreTake(static_cast<SemaphoreHandle_t>(semaphore), portMAX_DELAY);
}

void LLUI_DISPLAY_IMPL_binarySemaphoreGive(void* semaphore, bool from_interrupt) {
    if (from_interrupt) {
        BaseType_t woken = pdFALSE;
        xSemaphoreGiveFromISR(static_cast<SemaphoreHandle_t>(semaphore), &woken);
    } else {
        xSemaphoreGive(static_cast<SemaphoreHandle_t>(semaphore));
    }
}

std::int32_t LLUI_DISPLAY_IMPL_newDrawingRegion(SPictavoGraphicsContext*, std::int32_t, std::int32_t, std::int32_t,
                                                std::int32_t, bool) {
    return 0;
}

// Presents the drawn buffer at once; the one shown so far becomes the next
// back buffer.
std::int32_t LLUI_DISPLAY_IMPL_refresh(SPictavoGraphicsContext*, std::uint8_t id) {
    const std::uint32_t back = g_shown;
    if (LLUI_DISPLAY_setBackBuffer(id, tarvelo::to_word(g_buffers[back]), false)) g_shown = 1 - back;
    return 0;
}

}  // extern "C"
