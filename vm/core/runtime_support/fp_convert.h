// FPUtil's conversions from floating point to int and long: truncation
// toward zero, saturating at the target type's minimum and maximum. The
// processor helpers map NaN to 0 before calling; these give 0 for NaN as
// well, so no argument leads to an undefined conversion.
#pragma once

#include <cstdint>

namespace tarvelo::rt::FPUtil {

std::int32_t f2i(float f);
std::int32_t d2i(double d);
std::int64_t f2l(float f);
std::int64_t d2l(double d);

}  // namespace tarvelo::rt::FPUtil
