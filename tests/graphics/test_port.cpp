// The engine's test port.
#include "tests/graphics/test_port.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "FreeRTOS.h"
#include "graphics/display/display_system.h"
#include "graphics/display/engine_start.h"
#include "graphics/display/event_queue.h"
#include "graphics/display/llui_display.h"
#include "graphics/images/new_images.h"
#include "graphics/natives/vm_binding.h"
#include "platform/address.h"
#include "semphr.h"

namespace tarvelo::graphics::test {

namespace {

TestPort g_port;
alignas(64) std::uint16_t g_buffers[2][kWidth * kHeight];
int g_semaphores[2];

void bind_fake_vm() {
    VMBinding& b = vm_binding();
    b.currentThreadId = [] { return g_port.thread_id; };
    b.suspendWithCallback = [](void* native) {
        g_port.suspensions.push_back(native);
        return 0;
    };
    b.resumeThread = [](std::int32_t id) {
        g_port.resumed.push_back(id);
        return 0;
    };
    b.clearPendingResume = [] { return 0; };
    b.registerResource = [](void*, SNIX_resource_close, SNIX_resource_description) {
        ++g_port.registered;
        return 0;
    };
    b.unregisterResource = [](void*, SNIX_resource_close) {
        ++g_port.unregistered;
        return 0;
    };
    b.throwException = [](std::int32_t, const char*) { return 0; };
}

}  // namespace

TestPort& port() { return g_port; }

namespace {
std::atomic<void*> g_input_lock{nullptr};
}  // namespace

void use_input_lock(void* semaphore) { g_input_lock = semaphore; }

std::uint32_t TestPort::buffer(int i) const { return to_word(g_buffers[i]); }
std::uint16_t* TestPort::pixels(int i) const { return g_buffers[i]; }

std::int32_t TestPort::start(SPictavoGraphicsContext* gc) {
    g_port = TestPort{};
    std::memset(g_buffers, 0, sizeof g_buffers);
    Engine::resetForTests();
    bind_fake_vm();
    EventQueue::initialize();
    EventQueue::start();
    std::memset(gc, 0, sizeof *gc);
    std::int32_t result = 0;
    DisplaySystem::start(gc, sizeof *gc, &result);
    return result;
}

bool TestPort::present(std::uint8_t id) {
    // The frame drawn is shown; the buffer shown so far is the next back buffer.
    const std::uint32_t back = shown;
    if (!LLUI_DISPLAY_setBackBuffer(id, back, false)) return false;
    shown = back == buffer(0) ? buffer(1) : buffer(0);
    return true;
}

std::uint8_t* low_bytes(std::uint32_t size) {
    constexpr std::uint32_t kSlot = 12 + 64 * 64 * 2 + 64;
    alignas(64) static std::uint8_t pool[16][kSlot];
    static std::uint32_t next = 0;
    if (size > kSlot) std::abort();
    std::uint8_t* p = pool[next++ % 16];
    std::memset(p, 0, kSlot);
    return p;
}

Canvas::Canvas(std::uint32_t w, std::uint32_t h, std::uint32_t memory_width) : block(low_bytes(12 + 2 * 64 * 64)) {
    const std::uint32_t m = memory_width != 0 ? memory_width : w;
    gc.image = NewImages::describe(block, 4, w, h, m, kRawDisplayFormat | kRawOpaque, 12);
    NewImages::initMutable(&gc, w, h, 0);
}

std::uint16_t& Canvas::at(std::int32_t x, std::int32_t y) {
    return reinterpret_cast<std::uint16_t*>(block + 12)[y * gc.image.memory_width + x];
}

Canvas white_canvas(std::uint32_t w, std::uint32_t h) {
    Canvas c(w, h, (w + 1) & ~1u);
    c.gc.foreground_color = 0xFFFFFFFF;
    return c;
}

}  // namespace tarvelo::graphics::test

using tarvelo::graphics::test::g_buffers;
using tarvelo::graphics::test::g_port;
using tarvelo::graphics::test::g_semaphores;
using tarvelo::graphics::test::RefreshMode;

extern "C" {

void LLUI_DISPLAY_IMPL_initialize(LLUI_DISPLAY_SInitData* d) {
    d->binary_semaphore_0 = &g_semaphores[0];
    d->binary_semaphore_1 = &g_semaphores[1];
    d->lcd_buffer_address = tarvelo::to_word(g_buffers[0]);
    d->lcd_width = tarvelo::graphics::test::kWidth;
    d->lcd_height = tarvelo::graphics::test::kHeight;
    if (g_port.invalid_record) d->memory_width = tarvelo::graphics::test::kWidth - 1;
    g_port.shown = tarvelo::to_word(g_buffers[1]);
}

void LLUI_DISPLAY_IMPL_binarySemaphoreTake(void*) { ++g_port.sem_takes; }
void LLUI_DISPLAY_IMPL_binarySemaphoreGive(void*, bool) { ++g_port.sem_gives; }

std::int32_t LLUI_DISPLAY_IMPL_newDrawingRegion(SPictavoGraphicsContext*, std::int32_t, std::int32_t, std::int32_t,
                                                std::int32_t, bool) {
    ++g_port.drawing_regions;
    if (g_port.new_region_answers_one > 0) {
        --g_port.new_region_answers_one;
        return 1;
    }
    return 0;
}

std::int32_t LLUI_DISPLAY_IMPL_refresh(SPictavoGraphicsContext*, std::uint8_t id) {
    g_port.refresh_ids.push_back(id);
    g_port.last_id = id;
    switch (g_port.mode) {
        case RefreshMode::Immediate: g_port.present(id); return 0;
        case RefreshMode::Deferred: return 0;
        case RefreshMode::Later: return 1;
        case RefreshMode::Other: return 2;
    }
    return 0;
}

void LLUI_INPUT_IMPL_enterCriticalSection(void) {
    if (void* lock = tarvelo::graphics::test::g_input_lock.load())
        xSemaphoreTake(static_cast<SemaphoreHandle_t>(lock), portMAX_DELAY);
}

void LLUI_INPUT_IMPL_leaveCriticalSection(void) {
    if (void* lock = tarvelo::graphics::test::g_input_lock.load()) xSemaphoreGive(static_cast<SemaphoreHandle_t>(lock));
}

// Weak: the port's drawer tables answer instead in tests that link them.
__attribute__((weak)) std::int32_t LLUI_DISPLAY_IMPL_getDrawerIdentifier(std::int32_t format) {
    return format == 4 ? 0 : g_port.next_drawer;
}

}  // extern "C"
