// The display and its flush state machine.
#include "graphics/display/display_system.h"

#include <cstring>

#include "graphics/display/display_config.h"
#include "graphics/display/event_queue.h"
#include "graphics/images/image_heap.h"
#include "graphics/images/new_images.h"
#include "graphics/natives/vm_binding.h"

namespace tarvelo::graphics {

namespace {

DisplayState g_state;
// Whether the display is read from the display context (the back buffer)
// rather than from the copy naming the presented buffer.
bool g_read_from_context = false;
// Set from a display drawing's request until its status is reported: the
// frame counts as drawn then, even if an accelerator ended the drawing (and
// cleared `pending_draw`) before the native reported it.
bool g_display_drawing = false;
std::atomic<std::int32_t> g_pool[kThreadPoolSize];

bool may_go_on(bool wait_for_flush) {
    return g_state.pending_draw == kNoDrawing && (g_state.back_buffer_status != kStateFlushing || !wait_for_flush);
}

void take_first() { LLUI_DISPLAY_IMPL_binarySemaphoreTake(g_state.init_data.binary_semaphore_0); }
void give_first(bool from_interrupt = false) {
    LLUI_DISPLAY_IMPL_binarySemaphoreGive(g_state.init_data.binary_semaphore_0, from_interrupt);
}

void resume_waiting_threads() {
    for (std::atomic<std::int32_t>& slot : g_pool) {
        const std::int32_t id = slot.exchange(-1);
        if (id != -1) vm_binding().resumeThread(id);
    }
}

void queue_end_of_flush_event() {
    DisplaySystem::queueEvent(g_state.next_end_of_flush_event.exchange(0));
}

}  // namespace

DisplayState& display_state() { return g_state; }

SPictavoGraphicsContext* DisplaySystem::displayContext() { return g_state.lcd_gc; }

bool DisplaySystem::isDisplay(const SPictavoImage* image) {
    // Only the display context carries the bare-buffer flag; the copy naming
    // the presented buffer is the engine's own.
    return image != nullptr && g_state.lcd_gc != nullptr && (image->flags & kImageBareBuffer) &&
           image != &g_state.display_read_image;
}

bool DisplaySystem::waitDisplay(bool wait_for_flush, void* native) {
    if (may_go_on(wait_for_flush)) return true;
    take_first();
    const std::int32_t id = vm_binding().currentThreadId();
    std::int32_t slot = -1;
    std::int32_t free_slot = -1;
    for (std::uint32_t i = 0; i < kThreadPoolSize; ++i) {
        if (g_pool[i] == id) slot = static_cast<std::int32_t>(i);
        if (g_pool[i] == -1) free_slot = static_cast<std::int32_t>(i);
    }
    if (slot < 0 && free_slot >= 0) {
        slot = free_slot;
        g_pool[slot] = id;
    }
    if (may_go_on(wait_for_flush)) {
        if (slot >= 0) g_pool[slot] = -1;
        vm_binding().clearPendingResume();
        give_first();
        return true;
    }
    vm_binding().suspendWithCallback(native);
    give_first();
    return false;
}

void DisplaySystem::notifyClip(const SPictavoGraphicsContext* gc) {
    if (gc != nullptr && isDisplay(&gc->image)) g_state.new_display_clip = (gc->image.flags & kImageClipEmpty) ? 0 : 1;
}

void DisplaySystem::queueEvent(std::uint32_t event) {
    if (event != 0) EventQueue::add(event);
}

bool DisplaySystem::start(SPictavoGraphicsContext* gc, std::uint32_t size, std::int32_t* result) {
    g_state.back_buffer_status = kStateIdle;
    g_state.lcd_gc = gc;
    g_state.pending_draw = kNoDrawing;
    for (std::atomic<std::int32_t>& id : g_pool) id = -1;
    std::memset(&g_state.init_data, 0, sizeof g_state.init_data);
    LLUI_DISPLAY_IMPL_initialize(&g_state.init_data);
    LLUI_DISPLAY_SInitData& d = g_state.init_data;
    // The display's context has a clip like any image drawn into.
    constexpr auto kMaxDisplaySize = static_cast<std::uint32_t>(kMaxDrawableSize);
    const bool invalid = d.binary_semaphore_0 == nullptr || d.binary_semaphore_1 == nullptr ||
                         d.lcd_buffer_address == 0 || d.lcd_width > kMaxDisplaySize || d.lcd_height > kMaxDisplaySize ||
                         d.memory_width > 65535 || d.memory_height > 65535 ||
                         (d.memory_width != 0 && d.memory_width < d.lcd_width) ||
                         (d.memory_height != 0 && d.memory_height < d.lcd_height);
    if (invalid) return false;
    give_first();
    LLUI_DISPLAY_IMPL_binarySemaphoreGive(d.binary_semaphore_1, false);
    if (d.memory_width == 0) d.memory_width = d.lcd_width;
    if (d.memory_height == 0) d.memory_height = d.lcd_height;
    g_state.next_end_of_flush_event = 0;
    g_state.expected_flush_identifier = 0;
    g_state.new_display_clip = 0;
    g_display_drawing = false;
    *result = LLUI_DISPLAY_initialize(gc, size);
    // A refused start (a context smaller than a descriptor) left the
    // context as it was: it names no buffer to read the display from.
    if (*result != 0) return true;
    g_state.display_read_image = gc->image;
    g_read_from_context = false;
    g_state.new_back_buffer_address = LLUI_DISPLAY_getBufferAddress(&gc->image);
    return true;
}

void DisplaySystem::flush(SPictavoGraphicsContext* gc, void* native) {
    if (!waitDisplay(true, native)) return;
    if (g_state.back_buffer_status == kStateIdle) {
        queue_end_of_flush_event();
        return;
    }
    if (g_state.back_buffer_status != kStateRefreshLater) {
        // The buffer about to be presented is where the display is read
        // from until the next frame has been drawn.
        g_state.display_read_image = gc->image;
        g_state.display_read_image.data = LLUI_DISPLAY_getBufferAddress(&gc->image);
        g_read_from_context = false;
    }
    for (;;) {
        g_state.back_buffer_status = kStateFlushing;
        g_state.pending_draw = kDisplayDrawing;
        const std::int32_t r = LLUI_DISPLAY_IMPL_refresh(gc, g_state.expected_flush_identifier);
        if (r == 0) {
            g_state.pending_draw = kNoDrawing;
            notifyClip(gc);
            return;
        }
        if (r != 1) {
            // Left pending until the port's asynchronous drawing ends.
            notifyClip(gc);
            return;
        }
        g_state.back_buffer_status = kStateRefreshLater;
        if (!waitDisplay(true, native)) return;
    }
}

void DisplaySystem::bind(SPictavoGraphicsContext* gc) {
    if (gc != nullptr && isDisplay(&gc->image)) g_state.lcd_gc = gc;
}

bool DisplaySystem::readsFromBackBuffer() { return g_read_from_context; }

bool DisplaySystem::beginRead(const SPictavoImage* image, void* native, const SPictavoImage** source) {
    if (isDisplay(image)) {
        if (!waitDisplay(true, native)) return false;
        *source = LLUI_DISPLAY_getSourceImage(image);
        return true;
    }
    if (image->flags & kImageClosed) return false;
    if (!waitDisplay(false, native)) return false;
    g_state.pending_draw = kImageDrawing;
    *source = image;
    return true;
}

void DisplaySystem::endRead(const SPictavoImage* image) {
    if (!isDisplay(image)) g_state.pending_draw = kNoDrawing;
}

void DisplaySystem::resetForTests() {
    g_state.back_buffer_status = kStateIdle;
    g_state.expected_flush_identifier = 0;
    g_state.pending_draw = kNoDrawing;
    g_state.new_display_clip = 0;
    g_state.new_back_buffer_address = 0;
    g_state.next_end_of_flush_event = 0;
    g_state.lcd_gc = nullptr;
    g_state.display_read_image = SPictavoImage{};
    g_state.init_data = LLUI_DISPLAY_SInitData{};
    g_read_from_context = false;
    g_display_drawing = false;
    for (std::atomic<std::int32_t>& id : g_pool) id = -1;
}

// --- image blocks as native resources ---------------------------------------

void close_image_block(void* block) {
    // A drawing into the image may still run on the accelerator.
    while (g_state.pending_draw != kNoDrawing && g_state.init_data.binary_semaphore_1 != nullptr) {
        LLUI_DISPLAY_IMPL_binarySemaphoreTake(g_state.init_data.binary_semaphore_1);
    }
    ImageHeap::free(block);
}

namespace {
void describe(const char* text, char* buffer, std::uint32_t length) {
    const std::uint32_t n = static_cast<std::uint32_t>(std::strlen(text)) + 1;
    if (length >= n) std::memcpy(buffer, text, n);
}
}  // namespace

void describe_buffered_image(void*, char* buffer, std::uint32_t length) { describe("BufferedImage", buffer, length); }
void describe_resource_image(void*, char* buffer, std::uint32_t length) { describe("ResourceImage", buffer, length); }

void register_image_block(void* block, bool is_mutable) {
    vm_binding().registerResource(block, close_image_block,
                                  is_mutable ? describe_buffered_image : describe_resource_image);
}

void unregister_image_block(void* block, bool) { vm_binding().unregisterResource(block, close_image_block); }

}  // namespace tarvelo::graphics

using tarvelo::graphics::DisplaySystem;
using tarvelo::graphics::g_display_drawing;
using tarvelo::graphics::g_read_from_context;
using tarvelo::graphics::g_state;
using namespace tarvelo::graphics;

extern "C" {

bool LLUI_DISPLAY_requestDrawing(SPictavoGraphicsContext* gc, void* native) {
    if (gc->image.flags & kImageClipEmpty) return false;
    if (DisplaySystem::isDisplay(&gc->image)) {
        DisplaySystem::bind(gc);
        if (!DisplaySystem::waitDisplay(true, native)) return false;
        if (g_state.new_display_clip) {
            g_state.pending_draw = kDisplayDrawing;
            if (g_state.back_buffer_status == kStateIdle) {
                gc->image.data = g_state.new_back_buffer_address;
                g_state.back_buffer_status = kStateTaken;
                ++g_state.expected_flush_identifier;
            }
            while (LLUI_DISPLAY_IMPL_newDrawingRegion(gc, gc->clip_x1, gc->clip_y1, gc->clip_x2, gc->clip_y2, true) ==
                   1) {
                // The port started an asynchronous drawing of its own.
                if (!DisplaySystem::waitDisplay(true, native)) return false;
                g_state.pending_draw = kDisplayDrawing;
            }
            g_state.new_display_clip = 0;
        } else {
            g_state.pending_draw = kDisplayDrawing;
        }
        g_display_drawing = true;
    } else {
        if (gc->image.flags & kImageClosed) return false;
        if (!DisplaySystem::waitDisplay(false, native)) return false;
        g_state.pending_draw = kImageDrawing;
    }
    gc->image.flags &= static_cast<std::uint8_t>(~kImageClipDisabled);
    return true;
}

void LLUI_DISPLAY_setDrawingStatus(std::int32_t status) {
    if (g_display_drawing && g_state.back_buffer_status != kStateDrawn) {
        g_read_from_context = true;
        g_state.back_buffer_status = kStateDrawn;
    }
    g_display_drawing = false;
    if (status == 0) g_state.pending_draw = kNoDrawing;
}

void LLUI_DISPLAY_notifyAsynchronousDrawingEnd(bool from_interrupt) {
    if (!from_interrupt) take_first();
    g_state.pending_draw = kNoDrawing;
    resume_waiting_threads();
    if (!from_interrupt) give_first();
    LLUI_DISPLAY_IMPL_binarySemaphoreGive(g_state.init_data.binary_semaphore_1, from_interrupt);
}

bool LLUI_DISPLAY_setBackBuffer(std::uint8_t flush_identifier, std::uint32_t address, bool from_interrupt) {
    if (!from_interrupt) take_first();
    bool accepted = false;
    if (g_state.back_buffer_status == kStateIdle) {
        g_state.new_back_buffer_address = address;
        accepted = true;
    } else if (g_state.back_buffer_status == kStateFlushing &&
               flush_identifier == g_state.expected_flush_identifier) {
        g_state.new_back_buffer_address = address;
        g_state.back_buffer_status = kStateIdle;
        resume_waiting_threads();
        queue_end_of_flush_event();
        accepted = true;
    }
    if (!from_interrupt) give_first();
    return accepted;
}

const SPictavoImage* LLUI_DISPLAY_getSourceImage(const SPictavoImage* image) {
    if (!DisplaySystem::isDisplay(image)) return image;
    if (g_read_from_context) return &g_state.lcd_gc->image;
    return &g_state.display_read_image;
}

}  // extern "C"
