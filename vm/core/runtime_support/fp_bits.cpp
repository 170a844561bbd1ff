#include "vm/core/runtime_support/fp_bits.h"

#include <limits>

#include "vm/core/processor/java_arith.h"

namespace tarvelo::rt {

bool Double::isNaN(double d) { return jarith::is_nan(d); }

bool Double::isInfinite(double d) {
    constexpr double kMax = std::numeric_limits<double>::max();
    return d < -kMax || d > kMax;
}

bool Float::isNaN(float f) { return jarith::is_nan(f); }

std::int32_t FPUtil::floatToIntBitsCheck(float f) {
    return static_cast<std::int32_t>(jarith::bits(jarith::canonical(f)));
}

std::int64_t FPUtil::doubleToLongBitsCheck(double d) {
    return static_cast<std::int64_t>(jarith::bits(jarith::canonical(d)));
}

}  // namespace tarvelo::rt
