#include "vm/core/intrinsics/intrinsic_opcodes.h"

#include <bit>
#include <cmath>

#include "vm/core/processor/java_arith.h"
#include "vm/core/processor/vmj_processor.h"
#include "vm/core/runtime_support/math.h"

namespace tarvelo::IntrinsicOpcodes {

using jarith::bits;
using jarith::canonical_double_nan;
using jarith::canonical_float_nan;
using jarith::is_nan;

namespace {

bool sign_set(double d) { return (bits(d) & jarith::kDoubleSignBit) != 0; }
bool sign_set(float f) { return (bits(f) & jarith::kFloatSignBit) != 0; }

// Java's min and max: NaN wins, and among equal values (+0.0 and -0.0
// included) min prefers the negative sign and max the positive one.
template <typename F>
F java_min(F a, F b, F nan) {
    if (is_nan(a) || is_nan(b)) return nan;
    if (a == b) return sign_set(a) ? a : b;
    return a < b ? a : b;
}

template <typename F>
F java_max(F a, F b, F nan) {
    if (is_nan(a) || is_nan(b)) return nan;
    if (a == b) return sign_set(a) ? b : a;
    return a > b ? a : b;
}

}  // namespace

// --- doubles

double mathSqrtDouble(double x) {
    if (is_nan(x)) return canonical_double_nan();
    if (x == 0.0) return x;  // keeps -0.0
    if (x < 0.0) return canonical_double_nan();
    return std::sqrt(x);
}

double mathCopySignDouble(double magnitude, double sign) {
    return rt::Math::copySign(magnitude, sign);
}

double mathAbsDouble(double x) {
    return jarith::double_from_bits(bits(x) & ~jarith::kDoubleSignBit);
}

double mathNearestDouble(double x) {
    if (is_nan(x)) return canonical_double_nan();
    return rt::Math::rint(x);
}

double mathTruncDouble(double x) {
    if (is_nan(x)) return canonical_double_nan();
    if (std::isinf(x) || x == 0.0) return x;
    return x > 0.0 ? rt::Math::floor(x) : rt::Math::ceil(x);
}

double mathCeilDouble(double x) {
    if (is_nan(x)) return canonical_double_nan();
    return rt::Math::ceil(x);
}

double mathFloorDouble(double x) {
    if (is_nan(x)) return canonical_double_nan();
    return rt::Math::floor(x);
}

double mathMaxDouble(double a, double b) { return java_max(a, b, canonical_double_nan()); }
double mathMinDouble(double a, double b) { return java_min(a, b, canonical_double_nan()); }

// --- floats

float mathAbsFloat(float x) {
    if (x == 0.0f) return 0.0f;
    // A NaN loses its sign like a double NaN does; the double detour below
    // would invert the sign instead.
    if (is_nan(x)) return jarith::float_from_bits(bits(x) & ~jarith::kFloatSignBit);
    return static_cast<float>(rt::Math::abs(static_cast<double>(x)));
}

float mathCopySignFloat(float magnitude, float sign) { return rt::Math::copySign(magnitude, sign); }

float mathNearestFloat(float x) {
    if (is_nan(x)) return canonical_float_nan();
    return static_cast<float>(mathNearestDouble(static_cast<double>(x)));
}

float mathTruncFloat(float x) {
    if (is_nan(x)) return canonical_float_nan();
    return static_cast<float>(mathTruncDouble(static_cast<double>(x)));
}

float mathCeilFloat(float x) {
    if (is_nan(x)) return canonical_float_nan();
    return static_cast<float>(mathCeilDouble(static_cast<double>(x)));
}

float mathFloorFloat(float x) {
    if (is_nan(x)) return canonical_float_nan();
    return static_cast<float>(mathFloorDouble(static_cast<double>(x)));
}

float mathMaxFloat(float a, float b) { return java_max(a, b, canonical_float_nan()); }
float mathMinFloat(float a, float b) { return java_min(a, b, canonical_float_nan()); }

// --- unsigned arithmetic

Result<std::int32_t> unsignedAddExact(std::int32_t a, std::int32_t b) {
    const auto ua = static_cast<std::uint32_t>(a);
    const auto ub = static_cast<std::uint32_t>(b);
    if (ua > ~ub) return raise<std::int32_t>(Throw::arithmetic);
    return value_of(static_cast<std::int32_t>(ua + ub));
}

Result<std::int32_t> intDivideUnsigned(std::int32_t a, std::int32_t b) {
    if (b == 0) return raise<std::int32_t>(Throw::arithmetic);
    return value_of(static_cast<std::int32_t>(static_cast<std::uint32_t>(a) /
                                              static_cast<std::uint32_t>(b)));
}

Result<std::int32_t> intRemainderUnsigned(std::int32_t a, std::int32_t b) {
    if (b == 0) return raise<std::int32_t>(Throw::arithmetic);
    return value_of(static_cast<std::int32_t>(static_cast<std::uint32_t>(a) %
                                              static_cast<std::uint32_t>(b)));
}

Result<std::int64_t> longDivideUnsigned(std::int64_t a, std::int64_t b) {
    if (b == 0) return raise<std::int64_t>(Throw::arithmetic);
    return value_of(static_cast<std::int64_t>(static_cast<std::uint64_t>(a) /
                                              static_cast<std::uint64_t>(b)));
}

Result<std::int64_t> longRemainderUnsigned(std::int64_t a, std::int64_t b) {
    if (b == 0) return raise<std::int64_t>(Throw::arithmetic);
    return value_of(static_cast<std::int64_t>(static_cast<std::uint64_t>(a) %
                                              static_cast<std::uint64_t>(b)));
}

// --- bit counts

std::int32_t intBitCount(std::int32_t x) { return std::popcount(static_cast<std::uint32_t>(x)); }
std::int32_t intNumberOfTrailingZeros(std::int32_t x) {
    return std::countr_zero(static_cast<std::uint32_t>(x));
}
std::int32_t intNumberOfLeadingZeros(std::int32_t x) {
    return std::countl_zero(static_cast<std::uint32_t>(x));
}
std::int32_t longBitCount(std::int64_t x) { return std::popcount(static_cast<std::uint64_t>(x)); }
std::int32_t longNumberOfTrailingZeros(std::int64_t x) {
    return std::countr_zero(static_cast<std::uint64_t>(x));
}
std::int32_t longNumberOfLeadingZeros(std::int64_t x) {
    return std::countl_zero(static_cast<std::uint64_t>(x));
}

// --- unsigned conversions

std::int32_t intTruncUnsignedDouble(double x) { return VMJProcessor::d2ui(x); }
std::int32_t intTruncUnsignedFloat(float x) { return VMJProcessor::f2ui(x); }
std::int64_t longTruncUnsignedDouble(double x) { return VMJProcessor::d2ul(x); }
std::int64_t longTruncUnsignedFloat(float x) { return VMJProcessor::f2ul(x); }
double doubleFromUnsignedInt(std::int32_t x) { return VMJProcessor::ui2d(x); }
double doubleFromUnsignedLong(std::int64_t x) { return VMJProcessor::ul2d(x); }
float floatFromUnsignedInt(std::int32_t x) { return VMJProcessor::ui2f(x); }
float floatFromUnsignedLong(std::int64_t x) { return VMJProcessor::ul2f(x); }

}  // namespace tarvelo::IntrinsicOpcodes
