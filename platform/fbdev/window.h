// The panel as a window on the host's display (SDL2), scaled to fit the
// screen. The mouse acts as the finger: its button down is a touch at the
// panel's coordinates, held and moved it slides, released it lifts.
#pragma once

#include <cstdint>

namespace tarvelo::fbdev {

// Receives the mouse as touches: touched (with panel coordinates) or not.
using PointerSink = void (*)(bool touched, std::int32_t x, std::int32_t y);
void set_pointer_sink(PointerSink sink);
PointerSink pointer_sink();

// Opens the window on a host thread of its own; false when there is no
// display (or no SDL2 in this build). Closing the window stops the firmware
// (platform/stop_request.h).
bool open_window(std::uint32_t width, std::uint32_t height);
// Hands the window a frame to show (copied; called from the vsync
// interrupt).
void window_show_frame(const std::uint16_t* pixels, std::uint32_t width, std::uint32_t height);

}  // namespace tarvelo::fbdev
