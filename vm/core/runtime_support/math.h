// `Math` of the virtual machine's runtime library: the standard mathematics
// library plus the special cases of the Java platform. The class-library
// natives of java.lang.Math, the inline routines and the drawing code call
// these.
//
// Every function that computes through libm returns the canonical NaN
// (0x7FF8000000000000, or 0x7FC00000 for floats) whenever its result is a
// NaN: libm on x86 produces a NaN with the sign bit set and passes input
// payloads through, and neither must reach Java.
#pragma once

#include <cstdint>

namespace tarvelo::rt::Math {

// Trigonometry and powers with the Java special cases.
double cos(double x);
double sin(double x);
double tan(double x);
// 1 for a zero exponent whatever the base; NaN when the exponent is NaN or
// when |base| is 1 and the exponent infinite (libm answers 1 there);
// otherwise libm pow.
double pow(double base, double exponent);

// Thin wrappers over the libm function of the same name.
double acos(double x);
double asin(double x);
double atan(double x);
double atan2(double y, double x);
double log(double x);
double exp(double x);
double ceil(double x);
double floor(double x);
double sqrt(double x);
double cbrt(double x);
double cosh(double x);
double expm1(double x);
double hypot(double x, double y);  // +infinity when either side is infinite
double log10(double x);
double log1p(double x);
// Round to the nearest integer, ties to even.
double rint(double x);
double sinh(double x);
double tanh(double x);
double IEEEremainder(double x, double y);

// The neighbour of `start` towards `direction`. The float form narrows the
// direction to float first, so a direction closer to `start` than half a
// float step counts as equal to it.
double nextAfter(double start, double direction);
float nextAfter(float start, double direction);
// x times 2^n, correctly rounded.
double scalb(double x, std::int32_t n);
float scalb(float x, std::int32_t n);

// Bit-level operations: the magnitude of the first with the sign of the
// second (NaN payloads are kept).
double copySign(double magnitude, double sign);
float copySign(float magnitude, float sign);

// a when a > b (resp. a < b), else b. NaN and signed zeros are the
// caller's business (the inline routines handle them).
double max(double a, double b);
double min(double a, double b);
// x when x >= 0, else x with the sign bit inverted: -0.0 stays -0.0 and a
// NaN has its sign bit inverted. Callers that need Java's abs for zeros and
// NaN handle those themselves.
double abs(double x);

// int forms: signed compare; abs of -2^31 stays -2^31.
std::int32_t max(std::int32_t a, std::int32_t b);
std::int32_t min(std::int32_t a, std::int32_t b);
std::int32_t abs(std::int32_t x);

}  // namespace tarvelo::rt::Math
