// Raw positions of one finger into the engine's pointer events: a press,
// moves once the finger has really moved (9 pixels on one axis for the
// first move of a press, 3 after it), and a release.
#pragma once

#include <cstdint>

extern "C" {

// Events of the engine's pointer generator (identifier 0); the engine's
// result, 0 when the event was queued.
std::int32_t EVENT_GENERATOR_touch_pressed(std::int32_t x, std::int32_t y);
std::int32_t EVENT_GENERATOR_touch_moved(std::int32_t x, std::int32_t y);
std::int32_t EVENT_GENERATOR_touch_released(void);

void TOUCH_HELPER_pressed(std::int32_t x, std::int32_t y);
void TOUCH_HELPER_released(void);

}  // extern "C"

namespace tarvelo::display {

inline constexpr std::int32_t kFirstMoveThreshold = 9;
inline constexpr std::int32_t kMoveThreshold = 3;

struct TouchFilterState {
    bool pressed;
    bool moved;
    std::int32_t previous_x;
    std::int32_t previous_y;
};
TouchFilterState touch_filter_state();
void reset_touch_filter();

}  // namespace tarvelo::display
