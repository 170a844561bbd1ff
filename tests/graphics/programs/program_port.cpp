// The display port of the graphics programs: a 32 x 16 RGB565 display with
// two back buffers in memory and a refresh that presents at once, and the
// painter natives the programs draw with (request, draw, status, as the
// painter natives of the user-interface library do).
#include <cinttypes>
#include <cstdint>
#include <cstring>

#include "FreeRTOS.h"
#include "graphics/drawing_entry_points.h"
#include "graphics/llui_display.h"
#include "platform/address.h"
#include "platform/board/debug_console.h"
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

// Painter natives of the programs.
void Java_app_Paint_fillRect(std::int8_t* array, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
    auto* gc = reinterpret_cast<SPictavoGraphicsContext*>(array);
    if (!LLUI_DISPLAY_requestDrawing(gc, reinterpret_cast<void*>(&Java_app_Paint_fillRect))) return;
    LLUI_DISPLAY_setDrawingStatus(UI_DRAWING_SOFT_fillRectangle(gc, x1, y1, x2, y2));
}

void Java_app_Paint_drawImage(std::int8_t* array, std::int8_t* image_array, std::int32_t x, std::int32_t y,
                              std::int32_t w, std::int32_t h, std::int32_t dx, std::int32_t dy, std::int32_t alpha) {
    auto* gc = reinterpret_cast<SPictavoGraphicsContext*>(array);
    const auto* image = reinterpret_cast<const SPictavoImage*>(image_array);
    if (!LLUI_DISPLAY_requestDrawing(gc, reinterpret_cast<void*>(&Java_app_Paint_drawImage))) return;
    LLUI_DISPLAY_setDrawingStatus(
        UI_DRAWING_SOFT_drawImage(gc, LLUI_DISPLAY_getSourceImage(image), x, y, w, h, dx, dy, alpha));
}

void Java_app_Paint_setFontAddress(std::int8_t* font_data, std::int8_t* font) {
    const std::uint32_t address = tarvelo::to_word(font);
    std::memcpy(font_data, &address, 4);
}

void Java_app_Paint_printHex(std::int32_t v) { DbgConsole_Printf("0x%08" PRIX32 "\n", static_cast<std::uint32_t>(v)); }

}  // extern "C"
