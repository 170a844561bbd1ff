// The default image's touch loop: whether somebody can touch the panel, and
// how long until the application stops. With a touch script it plays the
// whole script and stops a set time after its last sample; at a window it
// stops a set time after the last touch (a finger down keeps it going).
#pragma once

#include <cstdint>

#include "FreeRTOS.h"

namespace tarvelo::default_image {

inline constexpr std::int32_t kWindowIdleMillis = 60000;  // after the last touch at a window
inline constexpr std::int32_t kScriptTailMillis = 1000;   // after a script's last sample

// What the stop depends on, in RTOS ticks.
struct TouchWait {
    bool window;               // a window is open (its mouse is the finger)
    bool script;               // a touch script plays
    TickType_t script_end;     // tick of the script's last sample
    bool live_used;            // the mouse has touched
    bool live_touched;         // the mouse button is down now
    TickType_t live_last;      // tick of the mouse's last report
    TickType_t waiting_since;  // tick at which the application began to wait for touches
};

// Milliseconds from `now` until the application stops (0 or less: now).
std::int32_t millis_before_stop(const TouchWait& wait, TickType_t now);

}  // namespace tarvelo::default_image
