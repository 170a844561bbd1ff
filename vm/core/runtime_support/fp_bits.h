// Classification of floating-point values and their bit patterns as Java
// sees them through Float.floatToIntBits and Double.doubleToLongBits: every
// NaN, of either sign and any payload, has one canonical pattern.
#pragma once

#include <cstdint>

namespace tarvelo::rt {

namespace Double {
bool isNaN(double d);
// True beyond the finite range on either side.
bool isInfinite(double d);
}  // namespace Double

namespace Float {
bool isNaN(float f);
}  // namespace Float

namespace FPUtil {
// The float's bits, 0x7FC00000 for every NaN.
std::int32_t floatToIntBitsCheck(float f);
// The double's bits, 0x7FF8000000000000 for every NaN.
std::int64_t doubleToLongBitsCheck(double d);
}  // namespace FPUtil

}  // namespace tarvelo::rt
