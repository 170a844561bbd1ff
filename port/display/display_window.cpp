#include "port/display/display_window.h"

#include <cstring>

#include "platform/address.h"
#include "platform/fbdev/frame_buffers.h"
#include "platform/halt.h"
#include "port/display/gpu_link.h"

namespace tarvelo::display {

namespace {
std::atomic<std::uint32_t> fb_idx{0};
}  // namespace

std::uint32_t frame_buffer_address(std::uint32_t index) { return fbdev::frame_buffer_address(index); }

std::uint32_t render_target_index() { return fb_idx.load(); }
void set_render_target_index(std::uint32_t index) { fb_idx = index; }

}  // namespace tarvelo::display

using namespace tarvelo;
using namespace tarvelo::display;

extern "C" {

std::int32_t VGLITE_CreateDisplay(fbdev_t* display) {
    if (display == nullptr) return 1;
    // The panel's power, MIPI-DSI and LCDIF set-up have nothing to do on the
    // host; the device opens on the board's controller, layer 0.
    return FBDEV_Open(display, &g_dc, 0) == kFBDEV_Success ? 0 : 1;
}

std::int32_t VGLITE_CreateWindow(fbdev_t* display, DisplayWindow* window) {
    window->display = display;
    window->width = static_cast<std::int32_t>(fbdev::kPanelWidth);
    window->height = static_cast<std::int32_t>(fbdev::kPanelHeight);
    window->bufferCount = static_cast<std::int32_t>(fbdev::kFrameBufferCount);

    fbdev_fb_info_t info;
    FBDEV_GetFrameBufferInfo(display, &info);
    info.bufInfo.pixelFormat = kVIDEO_PixelFormatRGB565;
    info.bufInfo.startX = 0;
    info.bufInfo.startY = 0;
    info.bufInfo.width = static_cast<std::uint16_t>(window->width);
    info.bufInfo.height = static_cast<std::uint16_t>(window->height);
    info.bufInfo.strideBytes = static_cast<std::uint16_t>(fbdev::kStrideBytes);
    info.bufferCount = static_cast<std::uint8_t>(window->bufferCount);
    for (std::uint32_t i = 0; i < fbdev::kFrameBufferCount; ++i) {
        const std::uint32_t address = frame_buffer_address(i);
        info.buffers[i] = to_ptr(address);
        window->buffers[i] = WindowBuffer{window->width, window->height, static_cast<std::int32_t>(fbdev::kStrideBytes),
                                          kWindowBufferFormat, to_ptr(address), address};
    }
    if (FBDEV_SetFrameBufferInfo(display, &info) != kFBDEV_Success) {
        // The device refused the panel's own geometry: nothing can be shown.
        platform_halt(TARVELO_EXIT_HALTED);
    }
    void* first = FBDEV_GetFrameBuffer(display, kFBDEV_WaitForever);
    std::memset(first, 0, fbdev::kFrameBufferBytes);
    FBDEV_SetFrameBuffer(display, first, 0);
    FBDEV_Enable(display);
    return 0;
}

WindowBuffer* VGLITE_GetRenderTarget(DisplayWindow* window) { return &window->buffers[render_target_index()]; }

void VGLITE_SwapBuffers(DisplayWindow* window) {
    vg_lite_finish();
    const std::uint32_t i = render_target_index();
    FBDEV_SetFrameBuffer(window->display, window->buffers[i].memory, 0);
    set_render_target_index((i + 1) % fbdev::kFrameBufferCount);
}

void VGLITE_CancelSwapBuffers(DisplayWindow*) {
    const std::uint32_t i = render_target_index();
    set_render_target_index(i == 0 ? fbdev::kFrameBufferCount - 1 : i - 1);
}

}  // extern "C"
