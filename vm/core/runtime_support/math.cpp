#include "vm/core/runtime_support/math.h"

#include <cmath>
#include <limits>

#include "vm/core/processor/java_arith.h"

namespace tarvelo::rt::Math {

using jarith::canonical;

// libm reports a domain error (EDOM) exactly when it returns a NaN for a
// non-NaN argument, so the result itself says whether the canonical NaN is
// due. Deciding from the result rather than from errno also keeps these
// functions right when another task changes errno between the library call
// and the test, and where a libm flags EDOM for a pole (pow(0, -1)) whose
// Java result is an infinity.

double cos(double x) { return canonical(std::cos(x)); }
double sin(double x) { return canonical(std::sin(x)); }
double tan(double x) { return canonical(std::tan(x)); }

double pow(double base, double exponent) {
    // Any base to the power zero is 1, a NaN base included; glibc answers
    // NaN for a signalling NaN base, the device's libm and Java answer 1.
    if (exponent == 0.0) return 1.0;
    if (jarith::is_nan(exponent)) return jarith::canonical_double_nan();
    if (std::isinf(exponent) && (base == 1.0 || base == -1.0)) return jarith::canonical_double_nan();
    return canonical(std::pow(base, exponent));
}

double acos(double x) { return canonical(std::acos(x)); }
double asin(double x) { return canonical(std::asin(x)); }
double atan(double x) { return canonical(std::atan(x)); }
double atan2(double y, double x) { return canonical(std::atan2(y, x)); }
double log(double x) { return canonical(std::log(x)); }
double exp(double x) { return canonical(std::exp(x)); }
double ceil(double x) { return canonical(std::ceil(x)); }
double floor(double x) { return canonical(std::floor(x)); }
double sqrt(double x) { return canonical(std::sqrt(x)); }
double cbrt(double x) { return canonical(std::cbrt(x)); }
double cosh(double x) { return canonical(std::cosh(x)); }
double expm1(double x) { return canonical(std::expm1(x)); }
// An infinite side makes the hypotenuse infinite even when the other is a
// NaN, signalling ones included (which glibc turns into NaN).
double hypot(double x, double y) {
    if (std::isinf(x) || std::isinf(y)) return std::numeric_limits<double>::infinity();
    return canonical(std::hypot(x, y));
}
double log10(double x) { return canonical(std::log10(x)); }
double log1p(double x) { return canonical(std::log1p(x)); }
double rint(double x) { return canonical(std::rint(x)); }
double sinh(double x) { return canonical(std::sinh(x)); }
double tanh(double x) { return canonical(std::tanh(x)); }
double IEEEremainder(double x, double y) { return canonical(std::remainder(x, y)); }

double nextAfter(double start, double direction) {
    return canonical(std::nextafter(start, direction));
}
float nextAfter(float start, double direction) {
    return canonical(std::nextafter(start, jarith::d2f(direction)));
}

double scalb(double x, std::int32_t n) { return canonical(std::scalbn(x, n)); }
float scalb(float x, std::int32_t n) { return canonical(std::scalbn(x, n)); }

double copySign(double magnitude, double sign) {
    return jarith::double_from_bits((jarith::bits(magnitude) & ~jarith::kDoubleSignBit) |
                                    (jarith::bits(sign) & jarith::kDoubleSignBit));
}
float copySign(float magnitude, float sign) {
    return jarith::float_from_bits((jarith::bits(magnitude) & ~jarith::kFloatSignBit) |
                                   (jarith::bits(sign) & jarith::kFloatSignBit));
}

double max(double a, double b) { return a > b ? a : b; }
double min(double a, double b) { return a < b ? a : b; }
double abs(double x) { return x >= 0.0 ? x : jarith::dneg(x); }

std::int32_t max(std::int32_t a, std::int32_t b) { return a > b ? a : b; }
std::int32_t min(std::int32_t a, std::int32_t b) { return a < b ? a : b; }
std::int32_t abs(std::int32_t x) { return x < 0 ? jarith::ineg(x) : x; }

}  // namespace tarvelo::rt::Math
