// The painter natives the test programs draw with (request, draw, status,
// as the painter natives of the user-interface library do), whatever
// display port they run on.
#include <cinttypes>
#include <cstdint>
#include <cstring>

#include "graphics/display/llui_display.h"
#include "graphics/drawing/drawing_entry_points.h"
#include "graphics/images/image_heap.h"
#include "platform/address.h"
#include "platform/board/debug_console.h"
#include "vm/core/engine/native_resources.h"

extern "C" {

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

// The image heap's free bytes and the number of registered native
// resources (registrations complete when the native that made them
// returns, so before this call).
void Java_app_Paint_printResources() {
    DbgConsole_Printf("heap %" PRIu32 ", resources %" PRIu32 "\n", tarvelo::graphics::ImageHeap::freeBytes(),
                      tarvelo::NativeResources::count());
}

}  // extern "C"
