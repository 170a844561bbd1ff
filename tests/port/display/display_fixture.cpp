#include "tests/port/display/display_fixture.h"

#include <cstring>

#include "FreeRTOS.h"
#include "graphics/display/display_system.h"
#include "graphics/display/engine_start.h"
#include "graphics/display/event_queue.h"
#include "graphics/display/llui_display.h"
#include "graphics/natives/vm_binding.h"
#include "platform/address.h"
#include "platform/fbdev/fbdev.h"
#include "platform/fbdev/frame_buffers.h"
#include "port/display/touch_manager.h"
#include "task.h"

namespace tarvelo::display::test {

using namespace tarvelo::graphics;

namespace {

std::int32_t g_suspensions = 0;
int g_native = 0;
std::vector<ThrownException> g_thrown;

}  // namespace

const std::vector<ThrownException>& thrown() { return g_thrown; }

void use_vm_stand_in() {
    reset_touch_input();
    g_suspensions = 0;
    g_thrown.clear();
    VMBinding& b = vm_binding();
    b.currentThreadId = [] { return 1; };
    b.suspendWithCallback = [](void*) {
        ++g_suspensions;
        return 0;
    };
    b.resumeThread = [](std::int32_t) { return 0; };
    b.clearPendingResume = [] { return 0; };
    b.registerResource = [](void*, SNIX_resource_close, SNIX_resource_description) { return 0; };
    b.unregisterResource = [](void*, SNIX_resource_close) { return 0; };
    b.throwException = [](std::int32_t code, const char* message) {
        g_thrown.push_back({code, message});
        return 0;
    };
}

std::int32_t start_display(SPictavoGraphicsContext* gc) {
    Engine::resetForTests();
    use_vm_stand_in();
    EventQueue::initialize();
    EventQueue::start();
    std::memset(gc, 0, sizeof *gc);
    std::int32_t result = 0;
    DisplaySystem::start(gc, sizeof *gc, &result);
    return result;
}

std::int32_t suspensions() { return g_suspensions; }

bool begin_drawing(SPictavoGraphicsContext* gc, ui_rect_t r) {
    LLUI_DISPLAY_PRIVATE_setClip(gc, r.x1, r.y1, r.x2 - r.x1 + 1, r.y2 - r.y1 + 1);
    DisplaySystem::notifyClip(gc);
    return LLUI_DISPLAY_requestDrawing(gc, &g_native);
}

void end_drawing(SPictavoGraphicsContext* gc, ui_rect_t r, std::uint16_t colour) {
    auto* pixels = to_ptr<std::uint16_t>(LLUI_DISPLAY_getBufferAddress(&gc->image));
    for (std::int32_t y = r.y1; y <= r.y2; ++y)
        for (std::int32_t x = r.x1; x <= r.x2; ++x) pixels[y * kW + x] = colour;
    LLUI_DISPLAY_setDrawingStatus(0);
}

void draw_rect(SPictavoGraphicsContext* gc, ui_rect_t r, std::uint16_t colour) {
    if (begin_drawing(gc, r)) end_drawing(gc, r, colour);
}

void flush(SPictavoGraphicsContext* gc) {
    DisplaySystem::flush(gc, &g_native);
    while (display_state().back_buffer_status != kStateIdle) vTaskDelay(1);
}

void wait_for_panel() {
    // One vsync is at most 4 ticks away; the display task then takes the
    // buffer the panel released.
    vTaskDelay(5);
}

std::uint16_t* buffer(std::uint32_t index) { return to_ptr<std::uint16_t>(fbdev::frame_buffer_address(index)); }

const std::uint16_t* shown() { return static_cast<const std::uint16_t*>(fbdev::panel_state().shown); }

std::int32_t shown_index() { return fbdev::frame_buffer_index(to_word(fbdev::panel_state().shown)); }

}  // namespace tarvelo::display::test
