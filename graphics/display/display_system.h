// The display and its flush state machine: which drawing or flush may
// start, which green threads wait, how the back buffer changes hands and
// which image the display is read from.
#pragma once

#include <atomic>
#include <cstdint>

#include "graphics/display/llui_display.h"
#include "graphics/images/image_types.h"

namespace tarvelo::graphics {

// Flush states.
enum BackBufferState : std::uint8_t {
    kStateIdle = 0,       // nothing drawn since the last completed flush
    kStateTaken = 1,      // the next frame's back buffer is taken
    kStateDrawn = 2,      // drawn; the display is read from it
    kStateRefreshLater = 3,
    kStateFlushing = 4,   // waiting for the port to present the frame
};

// Values of `pending_draw`.
enum PendingDraw : std::uint8_t { kNoDrawing = 0, kDisplayDrawing = 1, kImageDrawing = 2 };

// The words the display task (back-buffer hand-over) and the accelerator's
// completion interrupt also touch are atomic.
struct DisplayState {
    std::atomic<std::uint8_t> back_buffer_status;
    std::atomic<std::uint8_t> expected_flush_identifier;
    std::atomic<std::uint8_t> pending_draw;
    std::uint8_t new_display_clip;
    std::atomic<std::uint32_t> new_back_buffer_address;
    std::atomic<std::uint32_t> next_end_of_flush_event;
    SPictavoGraphicsContext* lcd_gc;
    SPictavoImage display_read_image;
    LLUI_DISPLAY_SInitData init_data;
};

DisplayState& display_state();

struct DisplaySystem {
    // The display context, or null before start-up.
    static SPictavoGraphicsContext* displayContext();
    static bool isDisplay(const SPictavoImage* image);
    // The display context lives in an application array that the collector
    // moves: every native that receives it binds its current address.
    static void bind(SPictavoGraphicsContext* gc);
    // Whether the display is read from the back buffer (the frame has been
    // drawn) rather than from the presented buffer.
    static bool readsFromBackBuffer();
    // Waits for the display: true when the caller goes on, false when its
    // thread was suspended (the native runs again when resumed).
    static bool waitDisplay(bool wait_for_flush, void* native);
    // After a clip change of any context and after a flush.
    static void notifyClip(const SPictavoGraphicsContext* gc);
    // Queues `event` (an end-of-flush event word) when non-zero.
    static void queueEvent(std::uint32_t event);
    // Start-up of the display (the start-up native); false when the port's
    // record is invalid.
    static bool start(SPictavoGraphicsContext* gc, std::uint32_t size, std::int32_t* result);
    // The flush native's body.
    static void flush(SPictavoGraphicsContext* gc, void* native);
    // Pixels of the display or of an image read through `read` after waiting.
    // False when the caller was suspended or the image is closed.
    static bool beginRead(const SPictavoImage* image, void* native, const SPictavoImage** source);
    static void endRead(const SPictavoImage* image);
    // Forgets everything (tests).
    static void resetForTests();
};

// Image blocks as native resources: registered with the close function that
// waits for a pending drawing and frees the block.
void register_image_block(void* block, bool is_mutable);
void unregister_image_block(void* block, bool is_mutable);
void close_image_block(void* block);
void describe_buffered_image(void* block, char* buffer, std::uint32_t length);
void describe_resource_image(void* block, char* buffer, std::uint32_t length);

}  // namespace tarvelo::graphics
