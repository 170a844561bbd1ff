#include "port/display/display_task.h"

#include <atomic>
#include <cstring>

#include "FreeRTOS.h"
#include "platform/address.h"
#include "platform/fbdev/frame_buffers.h"
#include "platform/fbdev/frame_output.h"
#include "port/display/display_window.h"
#include "port/display/gpu_link.h"
#include "port/display/refresh_strategy.h"
#include "semphr.h"
#include "task.h"

namespace tarvelo::display {

namespace {

// The panel's frame-buffer device, opened on the board's display controller.
fbdev_t display_device;
DisplayWindow window;
SemaphoreHandle_t sync_flush = nullptr;
std::atomic<std::uint8_t> dirty_area_flush{0};

void __display_task(void*) {
    for (;;) {
        xSemaphoreTake(sync_flush, portMAX_DELAY);
        const std::uint8_t flush_identifier = dirty_area_flush.load();
        VGLITE_SwapBuffers(&window);
        if (!LLUI_DISPLAY_setBackBuffer(flush_identifier, VGLITE_GetRenderTarget(&window)->address, false)) {
            // The engine keeps the buffer just presented as its back buffer:
            // the render target follows it (the presentation stays).
            VGLITE_CancelSwapBuffers(&window);
        }
        // A free buffer appears when the panel has switched to the one just
        // presented: no flush is accepted before, which paces the frames to
        // the panel's refresh.
        (void)FBDEV_GetFrameBuffer(&display_device, kFBDEV_WaitForever);
    }
}

// A binary semaphore, created empty. The display cannot run without it: a
// failed creation halts like every other start-up failure.
SemaphoreHandle_t new_binary_semaphore(const char* name) {
    SemaphoreHandle_t semaphore = xSemaphoreCreateBinary();
    if (semaphore == nullptr) UI_VGLITE_IMPL_error(true, "failed to create semaphore %s\n", name);
    return semaphore;
}

}  // namespace

}  // namespace tarvelo::display

using namespace tarvelo;
using namespace tarvelo::display;

extern "C" {

void LLUI_DISPLAY_IMPL_initialize(LLUI_DISPLAY_SInitData* init_data) {
    fbdev::start_frame_output(fbdev::frame_output_options_from_environment());
    set_render_target_index(0);
    reset_refresh_strategy();

    if (BOARD_PrepareVGLiteController() != 0) UI_VGLITE_IMPL_error(true, "Prepare VGlite controlor error");
    std::int32_t status = VGLITE_CreateDisplay(&display_device);
    if (status != 0)
        UI_VGLITE_IMPL_error(true, "VGLITE_CreateDisplay failed: VGLITE_CreateDisplay() returned error %d", status);
    status = VGLITE_CreateWindow(&display_device, &window);
    if (status != 0)
        UI_VGLITE_IMPL_error(true, "VGLITE_CreateWindow failed: VGLITE_CreateWindow() returned error %d", status);

    // The device keeps no buffer of its own: the two not shown are the
    // engine's to draw into.
    for (std::int32_t i = 1; i < window.bufferCount; ++i) (void)FBDEV_GetFrameBuffer(&display_device, kFBDEV_WaitForever);
    std::memset(window.buffers[0].memory, 0, fbdev::kFrameBufferBytes);
    std::memset(window.buffers[1].memory, 0, fbdev::kFrameBufferBytes);

    UI_VGLITE_initialize();
    UI_VGLITE_start(new_binary_semaphore("vg_lite_operation_semaphore"));

    sync_flush = new_binary_semaphore("sync_flush");
    if (xTaskCreate(__display_task, kDisplayTaskName, kDisplayTaskStackWords, nullptr, kDisplayTaskPriority,
                    nullptr) != pdPASS)
        UI_VGLITE_IMPL_error(true, "failed to create task __display\n");

    init_data->binary_semaphore_0 = new_binary_semaphore("binary_semaphore_0");
    init_data->binary_semaphore_1 = new_binary_semaphore("binary_semaphore_1");
    init_data->lcd_buffer_address = VGLITE_GetRenderTarget(&window)->address;
    init_data->lcd_width = static_cast<std::uint32_t>(window.width);
    init_data->lcd_height = static_cast<std::uint32_t>(window.height);
}

void LLUI_DISPLAY_IMPL_binarySemaphoreTake(void* semaphore) {
    xSemaphoreTake(static_cast<SemaphoreHandle_t>(semaphore), portMAX_DELAY);
}

void LLUI_DISPLAY_IMPL_binarySemaphoreGive(void* semaphore, bool under_isr) {
    if (!under_isr) {
        xSemaphoreGive(static_cast<SemaphoreHandle_t>(semaphore));
        return;
    }
    BaseType_t woken = pdFALSE;
    xSemaphoreGiveFromISR(static_cast<SemaphoreHandle_t>(semaphore), &woken);
    portYIELD_FROM_ISR(woken);
}

void LLUI_DISPLAY_IMPL_flush(SPictavoGraphicsContext*, std::uint8_t flush_identifier, const ui_rect_t[], std::size_t) {
    dirty_area_flush = flush_identifier;
    xSemaphoreGive(sync_flush);
}

}  // extern "C"
