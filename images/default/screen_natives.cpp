// The natives of the default image's screen: a filled rectangle drawn by
// the engine's software drawer (request, draw, status, as a painter native
// does), and how long the image waits for touches.
#include <cstdint>

#include "graphics/drawing_entry_points.h"
#include "graphics/llui_display.h"
#include "platform/fbdev/frame_output.h"
#include "platform/gt911/gt911_controller.h"

namespace {

constexpr std::int32_t kWindowWaitMillis = 60000;  // a person at the window
constexpr std::int32_t kScriptWaitMillis = 1000;   // a script's samples are close together

}  // namespace

extern "C" {

void Java_com_tarvelo_app_Screen_fillRect(std::int8_t* array, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                          std::int32_t y2) {
    auto* gc = reinterpret_cast<SPictavoGraphicsContext*>(array);
    if (!LLUI_DISPLAY_requestDrawing(gc, reinterpret_cast<void*>(&Java_com_tarvelo_app_Screen_fillRect))) return;
    LLUI_DISPLAY_setDrawingStatus(UI_DRAWING_SOFT_fillRectangle(gc, x1, y1, x2, y2));
}

std::int32_t Java_com_tarvelo_app_Screen_touchWaitMillis(void) {
    if (tarvelo::fbdev::window_open()) return kWindowWaitMillis;
    if (tarvelo::gt911::script_given()) return kScriptWaitMillis;
    return 0;
}

}  // extern "C"
