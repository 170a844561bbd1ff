#include "platform/dsp/trig.h"

#include <array>
#include <cmath>
#include <cstdint>

namespace {

constexpr int kSteps = 512;

// sin(2 pi i / 512) for i = 0..512 (the last entry closes the turn).
const std::array<float, kSteps + 1>& table() {
    static const std::array<float, kSteps + 1> t = [] {
        std::array<float, kSteps + 1> v{};
        for (int i = 0; i <= kSteps; ++i) v[i] = static_cast<float>(std::sin(2.0 * M_PI * i / kSteps));
        return v;
    }();
    return t;
}

// `turns` is the angle in turns; only its fraction matters.
float lookup(float turns) {
    if (!std::isfinite(turns)) return 0.0f;
    float f = turns - std::floor(turns);  // [0, 1]
    float position = f * kSteps;
    auto index = static_cast<std::int32_t>(position);
    if (index >= kSteps) {  // f rounded up to 1
        index = 0;
        position -= kSteps;
    }
    const float fraction = position - static_cast<float>(index);
    const auto& t = table();
    return (1.0f - fraction) * t[index] + fraction * t[index + 1];
}

constexpr float kInverseTwoPi = 0.159154943092f;

}  // namespace

extern "C" float arm_sin_f32(float x) { return lookup(x * kInverseTwoPi); }
extern "C" float arm_cos_f32(float x) { return lookup(x * kInverseTwoPi + 0.25f); }

extern "C" float trv_sqrt_f32(float x) { return std::sqrt(x); }
extern "C" float trv_tan_f32(float x) { return std::tan(x); }
