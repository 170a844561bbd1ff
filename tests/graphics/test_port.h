// A small display port for the engine's tests: two back buffers in memory,
// a refresh that presents at once, later on demand, or asks to be called
// again, and a virtual machine binding that records suspensions and
// resumptions instead of switching green threads.
#pragma once

#include <cstdint>
#include <vector>

#include "graphics/images/image_types.h"

namespace tarvelo::graphics::test {

inline constexpr std::uint32_t kWidth = 16;
inline constexpr std::uint32_t kHeight = 8;

enum class RefreshMode {
    Immediate,  // presents during the refresh (setBackBuffer with the id)
    Deferred,   // accepts; the test presents later with present()
    Later,      // answers 1: call again after the asynchronous drawing
    Other,      // answers 2
};

struct TestPort {
    RefreshMode mode = RefreshMode::Immediate;
    std::int32_t thread_id = 1;
    std::vector<void*> suspensions;  // natives the suspended threads re-run
    std::vector<std::int32_t> resumed;
    std::vector<std::uint8_t> refresh_ids;
    std::int32_t drawing_regions = 0;
    std::int32_t new_region_answers_one = 0;  // newDrawingRegion answers 1 this many times
    std::int32_t registered = 0;
    std::int32_t unregistered = 0;
    std::int32_t sem_takes = 0;
    std::int32_t sem_gives = 0;
    std::uint8_t last_id = 0;
    std::uint32_t shown = 0;   // address of the presented buffer
    std::int32_t next_drawer = 0;
    // The display record the port fills: a memory width under the width.
    bool invalid_record = false;

    // Resets the engine and starts the display on `gc`; the result of the
    // engine start.
    std::int32_t start(SPictavoGraphicsContext* gc);
    // Presents the frame of the last refresh (Deferred mode).
    bool present(std::uint8_t id);
    std::uint32_t buffer(int i) const;
    std::uint16_t* pixels(int i) const;
};

TestPort& port();

// The input critical section: a binary semaphore of the RTOS while one is
// set (tests with input tasks), else nothing.
void use_input_lock(void* semaphore);

// Zeroed bytes below 4 GiB (image data words are 32-bit), from a static
// pool reused in turn: a test keeps at most a few at a time.
std::uint8_t* low_bytes(std::uint32_t size);

// A graphics context over a small RGB565 canvas of the test's own.
struct Canvas {
    std::uint8_t* block;
    SPictavoGraphicsContext gc{};
    Canvas(std::uint32_t w, std::uint32_t h, std::uint32_t memory_width = 0);
    std::uint16_t& at(std::int32_t x, std::int32_t y);
};

// A canvas drawn in white, its rows on 4-byte boundaries (an even memory
// width), as the span writer's word stores expect.
Canvas white_canvas(std::uint32_t w, std::uint32_t h);

}  // namespace tarvelo::graphics::test
