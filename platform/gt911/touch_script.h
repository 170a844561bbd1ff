// What the finger does on the panel, over time: a script of timed samples
// (for tests and demonstrations) or the live mouse of the window.
//
// Script text, one sample a line, times in milliseconds from the touch
// controller's start, in order; '#' starts a comment:
//     100 press 120 640      finger down at (120, 640)
//     150 move 130 640       finger moved
//     300 release            finger lifted
//     400 error              the controller's next read fails
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvelo::gt911 {

enum class SampleKind : std::uint8_t { Press, Move, Release, Error };

struct Sample {
    std::uint32_t tick;  // RTOS ticks (5 ms)
    SampleKind kind;
    std::int32_t x;
    std::int32_t y;
};

// Parses a script; false with `error` naming the line when it is malformed
// (times going back, unknown words, coordinates off the panel: x outside
// 0..719 or y outside 0..1279).
bool parse_touch_script(const std::string& text, std::vector<Sample>* samples, std::string* error);

}  // namespace tarvelo::gt911
