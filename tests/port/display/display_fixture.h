// Drives the display port the way the engine does, inside an RTOS task on
// the virtual clock: the display starts on a context of the test, frames
// are drawn as opaque rectangles through the engine's drawing protocol and
// flushed, and the panel's shown buffer can be read back.
#pragma once

#include <cstdint>
#include <vector>

#include "graphics/images/image_types.h"
#include "port/display/display_task.h"

namespace tarvelo::display::test {

inline constexpr std::int32_t kW = 720;
inline constexpr std::int32_t kH = 1280;

// Resets the engine (with a virtual machine stand-in that records
// suspensions) and starts the display on `gc`; the engine's result.
std::int32_t start_display(SPictavoGraphicsContext* gc);
// Binds the engine to a virtual machine stand-in that records suspensions
// and exceptions.
void use_vm_stand_in();
struct ThrownException {
    std::int32_t code;
    const char* message;
};
const std::vector<ThrownException>& thrown();
// Green-thread suspensions the engine asked for (none expected).
std::int32_t suspensions();

// The two halves of a drawing: the request (the port brings the back buffer
// up to date here) and the pixels with the status.
bool begin_drawing(SPictavoGraphicsContext* gc, ui_rect_t r);
void end_drawing(SPictavoGraphicsContext* gc, ui_rect_t r, std::uint16_t colour);
// Draws one opaque rectangle (inclusive corners) of `colour` as a drawing
// with the clip set to it.
void draw_rect(SPictavoGraphicsContext* gc, ui_rect_t r, std::uint16_t colour);
// Flushes the frame and waits until the engine has its next back buffer.
void flush(SPictavoGraphicsContext* gc);
// Waits until the panel shows what was flushed last.
void wait_for_panel();

std::uint16_t* buffer(std::uint32_t index);
const std::uint16_t* shown();
std::int32_t shown_index();

}  // namespace tarvelo::display::test
