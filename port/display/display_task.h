// The display's side of the engine's flush: the start-up hook that brings up
// the panel's three frame buffers, the "Display" task that presents each
// finished frame and hands the engine its next back buffer, and the
// semaphore hooks of the engine.
#pragma once

#include <cstddef>
#include <cstdint>

#include "graphics/display/llui_display.h"
#include "graphics/images/image_types.h"

extern "C" {

// A rectangle of the display, inclusive coordinates.
struct ui_rect_t {
    std::int16_t x1;
    std::int16_t y1;
    std::int16_t x2;
    std::int16_t y2;
};

// Hands the frame drawn into the back buffer to the display task (the
// regions are not used: the whole buffer is presented).
void LLUI_DISPLAY_IMPL_flush(SPictavoGraphicsContext* gc, std::uint8_t flush_identifier, const ui_rect_t regions[],
                             std::size_t length);

}  // extern "C"

namespace tarvelo::display {

inline constexpr const char* kDisplayTaskName = "Display";
inline constexpr std::uint32_t kDisplayTaskStackWords = 2048;
inline constexpr std::uint32_t kDisplayTaskPriority = 5;

}  // namespace tarvelo::display
