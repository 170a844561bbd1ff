#include "vm/core/processor/java_arith.h"

#include <cmath>
#include <limits>

namespace tarvelo::jarith {

namespace {

constexpr double kTwo31 = 2147483648.0;                 // 2^31
constexpr double kTwo32 = 4294967296.0;                 // 2^32
constexpr double kTwo63 = 9223372036854775808.0;        // 2^63
constexpr double kTwoMinus32 = 1.0 / 4294967296.0;      // 2^-32, exact

}  // namespace

float frem(float a, float b) { return canonical(std::fmod(a, b)); }
double drem(double a, double b) { return canonical(std::fmod(a, b)); }

// Each cast below is reached only with a value whose truncation fits the
// target type, which is what keeps it defined.

std::int32_t f2i(float f) { return d2i(static_cast<double>(f)); }

std::int32_t d2i(double d) {
    if (is_nan(d)) return 0;
    if (d >= kTwo31 - 1.0) return std::numeric_limits<std::int32_t>::max();
    if (d <= -kTwo31) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(d);
}

// Every float is exactly a double, so the float forms share the double code.
std::int64_t f2l(float f) { return d2l(static_cast<double>(f)); }

std::int64_t d2l(double d) {
    if (is_nan(d)) return 0;
    if (d >= kTwo63) return std::numeric_limits<std::int64_t>::max();
    if (d <= -kTwo63) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(d);
}

std::uint32_t f2ui(float f) { return d2ui(static_cast<double>(f)); }

std::uint32_t d2ui(double d) {
    if (is_nan(d) || d <= 0.0) return 0;
    if (d >= kTwo32) return 0xFFFFFFFFu;
    return static_cast<std::uint32_t>(d);
}

std::uint64_t f2ul(float f) { return d2ul(static_cast<double>(f)); }

// The high word is the value scaled by 2^-32 and truncated, the low word what
// remains; both steps are exact in double and saturate as d2ui does, so
// negative values and NaN give 0 and values at or above 2^64 all ones.
std::uint64_t d2ul(double d) {
    const std::uint32_t high = d2ui(d * kTwoMinus32);
    const std::uint32_t low = d2ui(d - static_cast<double>(high) * kTwo32);
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

}  // namespace tarvelo::jarith
