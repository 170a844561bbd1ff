#include "port/display/touch_helper.h"

#include <cstdlib>

#include "graphics/display/event_queue.h"

namespace tarvelo::display {

namespace {

// The touch task's alone.
std::uint8_t touch_pressed = 0;
std::uint8_t touch_moved = 0;
// As wide as the controller's coordinates: a 16-bit signed copy would turn
// x = 40000 into -25536, and a finger held still there would move at every
// poll.
std::int32_t previous_touch_x = 0;
std::int32_t previous_touch_y = 0;

constexpr std::uint8_t kPointerGenerator = 0;

}  // namespace

TouchFilterState touch_filter_state() {
    return {touch_pressed == 1, touch_moved == 1, previous_touch_x, previous_touch_y};
}

void reset_touch_filter() {
    touch_pressed = 0;
    touch_moved = 0;
    previous_touch_x = 0;
    previous_touch_y = 0;
}

}  // namespace tarvelo::display

using namespace tarvelo::display;

extern "C" {

std::int32_t EVENT_GENERATOR_touch_pressed(std::int32_t x, std::int32_t y) {
    return LLUI_INPUT_sendTouchPressedEvent(kPointerGenerator, x, y);
}

std::int32_t EVENT_GENERATOR_touch_moved(std::int32_t x, std::int32_t y) {
    return LLUI_INPUT_sendTouchMovedEvent(kPointerGenerator, x, y);
}

std::int32_t EVENT_GENERATOR_touch_released(void) { return LLUI_INPUT_sendTouchReleasedEvent(kPointerGenerator); }

void TOUCH_HELPER_pressed(std::int32_t x, std::int32_t y) {
    if (touch_pressed != 1) {
        // A refused press is not remembered: the next position is again a
        // press.
        if (EVENT_GENERATOR_touch_pressed(x, y) == 0) {
            previous_touch_x = x;
            previous_touch_y = y;
            touch_pressed = 1;
            touch_moved = 0;
        }
        return;
    }
    const std::int32_t dx = std::abs(x - previous_touch_x);
    const std::int32_t dy = std::abs(y - previous_touch_y);
    const std::int32_t threshold = touch_moved == 0 ? kFirstMoveThreshold : kMoveThreshold;
    if (dx < threshold && dy < threshold) return;
    previous_touch_x = x;
    previous_touch_y = y;
    touch_moved = 1;
    (void)EVENT_GENERATOR_touch_moved(x, y);
}

void TOUCH_HELPER_released(void) {
    if (touch_pressed != 1) return;
    if (EVENT_GENERATOR_touch_released() == 0) touch_pressed = 0;
}

}  // extern "C"
