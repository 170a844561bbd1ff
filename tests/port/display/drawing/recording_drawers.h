// Dispatch functions and trace events that record instead of drawing, so
// that the painter natives' tests see what reaches the drawers: the
// operation, its arguments, whether the clip was left enabled, and the
// trace events around it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvelo::port::drawing::test {

struct DrawCall {
    std::string operation;
    std::vector<double> args;  // after the context; pointers as addresses
    bool clip_enabled;
};

struct Recording {
    std::vector<DrawCall> calls;
    std::vector<std::string> trace;  // "UI+0 19", "UI+0 end 0"
    std::int32_t status = 0;         // what the drawers answer
};

Recording& recording();

inline double address(const void* p) { return static_cast<double>(reinterpret_cast<std::uintptr_t>(p)); }

}  // namespace tarvelo::port::drawing::test
