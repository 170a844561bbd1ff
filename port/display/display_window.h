// The window over the panel's three frame buffers: which buffer the engine
// draws into (the render target), presenting it, and taking a refused
// presentation's index back.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/fbdev/fbdev.h"

extern "C" {

// A GPU buffer descriptor of one frame buffer (the fields the window fills).
struct WindowBuffer {
    std::int32_t width;
    std::int32_t height;
    std::int32_t stride;
    std::int32_t format;  // GPU buffer-format code: 5 for the frame buffers
    void* memory;
    std::uint32_t address;
};

struct DisplayWindow {
    fbdev_t* display;
    WindowBuffer buffers[3];
    std::int32_t width;
    std::int32_t height;
    std::int32_t bufferCount;
};

// Prepares the panel and opens the frame-buffer device on the board's
// display controller; 1 for a null record, else 0.
std::int32_t VGLITE_CreateDisplay(fbdev_t* display);
// Fills the window and the device's buffer information and shows a cleared
// first buffer; 0.
std::int32_t VGLITE_CreateWindow(fbdev_t* display, DisplayWindow* window);
WindowBuffer* VGLITE_GetRenderTarget(DisplayWindow* window);
// Drains the GPU, presents the render target, moves to the next buffer.
void VGLITE_SwapBuffers(DisplayWindow* window);
// Moves the render target back by one buffer (0 goes back to 2).
void VGLITE_CancelSwapBuffers(DisplayWindow* window);

}  // extern "C"

namespace tarvelo::display {

inline constexpr std::int32_t kWindowBufferFormat = 5;

// Addresses of the three frame buffers (the board's, see frame_buffers.h).
std::uint32_t frame_buffer_address(std::uint32_t index);

// Index of the render target: 0, 1 or 2. Changed by the display task only.
std::uint32_t render_target_index();
void set_render_target_index(std::uint32_t index);

}  // namespace tarvelo::display
