// Java's rules for primitive arithmetic, written so that the host compiler
// has nothing left to decide: signed overflow wraps, division never traps,
// shift counts are masked, float-to-integer conversions saturate, and every
// NaN an operation produces is the one canonical quiet NaN.
//
// C++ leaves several of these undefined (signed overflow, INT_MIN / -1,
// shifts by the width or more, out-of-range float-to-int casts) and x86
// differs from the device in others (its default NaN has the sign bit set).
// Everything the interpreter computes on primitive values goes through here,
// so those differences stay in one file.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559,
              "Java's float and double are IEEE 754 binary32 and binary64");

namespace tarvelo::jarith {

// ---------------------------------------------------------------------------
// Bit views and the canonical NaN

inline constexpr std::uint32_t kCanonicalFloatNaNBits = 0x7FC00000u;
inline constexpr std::uint64_t kCanonicalDoubleNaNBits = 0x7FF8000000000000ull;
inline constexpr std::uint32_t kFloatSignBit = 0x80000000u;
inline constexpr std::uint64_t kDoubleSignBit = 0x8000000000000000ull;

constexpr std::uint32_t bits(float f) { return std::bit_cast<std::uint32_t>(f); }
constexpr std::uint64_t bits(double d) { return std::bit_cast<std::uint64_t>(d); }
constexpr float float_from_bits(std::uint32_t b) { return std::bit_cast<float>(b); }
constexpr double double_from_bits(std::uint64_t b) { return std::bit_cast<double>(b); }

constexpr float canonical_float_nan() { return float_from_bits(kCanonicalFloatNaNBits); }
constexpr double canonical_double_nan() { return double_from_bits(kCanonicalDoubleNaNBits); }

// NaN tests on the bit pattern, so that they cannot be optimised away and do
// not depend on how the compiler treats comparisons with NaN.
constexpr bool is_nan(float f) { return (bits(f) & 0x7FFFFFFFu) > 0x7F800000u; }
constexpr bool is_nan(double d) {
    return (bits(d) & 0x7FFFFFFFFFFFFFFFull) > 0x7FF0000000000000ull;
}

// The value itself, or the canonical NaN when it is any NaN.
constexpr float canonical(float f) { return is_nan(f) ? canonical_float_nan() : f; }
constexpr double canonical(double d) { return is_nan(d) ? canonical_double_nan() : d; }

// ---------------------------------------------------------------------------
// int and long arithmetic with two's-complement wrap-around

constexpr std::int32_t iadd(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
constexpr std::int32_t isub(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}
constexpr std::int32_t imul(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}
constexpr std::int32_t ineg(std::int32_t a) {
    return static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(a));
}
constexpr std::int64_t ladd(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}
constexpr std::int64_t lsub(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}
constexpr std::int64_t lmul(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) * static_cast<std::uint64_t>(b));
}
constexpr std::int64_t lneg(std::int64_t a) {
    return static_cast<std::int64_t>(0ull - static_cast<std::uint64_t>(a));
}

// Division and remainder truncate toward zero. The caller raises
// ArithmeticException for a zero divisor before calling; should one slip
// through anyway the result is 0 rather than a processor trap. MIN / -1 is
// MIN and MIN % -1 is 0, as Java wants (the hardware would trap on x86).
//
// A positive power-of-two divisor (i % 4, n / 1024: common in Java loops and
// buffers) takes a mask or a shift instead of the divide instruction, which
// costs tens of cycles on the host and is a library call for longs on the
// device. Truncation toward zero needs the divisor less one added to a
// negative dividend first: -5 / 4 is -1 and -5 % 4 is -1, not -2 and 3.
template <typename S, typename U>
constexpr bool positive_power_of_two(S b) {
    return b > 0 && (static_cast<U>(b) & (static_cast<U>(b) - 1)) == 0;
}
// The rounding bias of `a` for the mask `m` (the divisor less one): m for a
// negative dividend, 0 otherwise.
template <typename S, typename U>
constexpr U toward_zero_bias(S a, U m) {
    return static_cast<U>(a < 0 ? ~U{0} : U{0}) & m;
}
template <typename S, typename U>
constexpr S div_power_of_two(S a, S b) {
    const U bias = toward_zero_bias<S, U>(a, static_cast<U>(b) - 1);
    return static_cast<S>(static_cast<U>(a) + bias) >> std::countr_zero(static_cast<U>(b));
}
template <typename S, typename U>
constexpr S rem_power_of_two(S a, S b) {
    const U m = static_cast<U>(b) - 1;
    const U bias = toward_zero_bias<S, U>(a, m);
    return static_cast<S>(((static_cast<U>(a) + bias) & m) - bias);
}

constexpr std::int32_t idiv(std::int32_t a, std::int32_t b) {
    if (positive_power_of_two<std::int32_t, std::uint32_t>(b)) return div_power_of_two<std::int32_t, std::uint32_t>(a, b);
    if (b == 0) return 0;
    if (b == -1) return ineg(a);
    return a / b;
}
constexpr std::int32_t irem(std::int32_t a, std::int32_t b) {
    if (positive_power_of_two<std::int32_t, std::uint32_t>(b)) return rem_power_of_two<std::int32_t, std::uint32_t>(a, b);
    if (b == 0 || b == -1) return 0;
    return a % b;
}
constexpr std::int64_t ldiv(std::int64_t a, std::int64_t b) {
    if (positive_power_of_two<std::int64_t, std::uint64_t>(b)) return div_power_of_two<std::int64_t, std::uint64_t>(a, b);
    if (b == 0) return 0;
    if (b == -1) return lneg(a);
    return a / b;
}
constexpr std::int64_t lrem(std::int64_t a, std::int64_t b) {
    if (positive_power_of_two<std::int64_t, std::uint64_t>(b)) return rem_power_of_two<std::int64_t, std::uint64_t>(a, b);
    if (b == 0 || b == -1) return 0;
    return a % b;
}

// Shifts take the count modulo the width: int & 31, long & 63.
constexpr std::int32_t ishl(std::int32_t x, std::int32_t count) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(x) << (count & 31));
}
constexpr std::int32_t ishr(std::int32_t x, std::int32_t count) { return x >> (count & 31); }
constexpr std::int32_t iushr(std::int32_t x, std::int32_t count) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(x) >> (count & 31));
}
constexpr std::int64_t lshl(std::int64_t x, std::int32_t count) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(x) << (count & 63));
}
constexpr std::int64_t lshr(std::int64_t x, std::int32_t count) { return x >> (count & 63); }
constexpr std::int64_t lushr(std::int64_t x, std::int32_t count) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(x) >> (count & 63));
}

// Narrowing int conversions (byte and short sign-extend, char zero-extends).
constexpr std::int32_t i2b(std::int32_t x) { return static_cast<std::int8_t>(x); }
constexpr std::int32_t i2s(std::int32_t x) { return static_cast<std::int16_t>(x); }
constexpr std::int32_t i2c(std::int32_t x) { return static_cast<std::uint16_t>(x); }

// ---------------------------------------------------------------------------
// Floating-point arithmetic: IEEE 754 round-to-nearest, canonical NaN

inline float fadd(float a, float b) { return canonical(a + b); }
inline float fsub(float a, float b) { return canonical(a - b); }
inline float fmul(float a, float b) { return canonical(a * b); }
inline float fdiv(float a, float b) { return canonical(a / b); }
inline double dadd(double a, double b) { return canonical(a + b); }
inline double dsub(double a, double b) { return canonical(a - b); }
inline double dmul(double a, double b) { return canonical(a * b); }
inline double ddiv(double a, double b) { return canonical(a / b); }
// Remainder of the quotient truncated toward zero, sign of the dividend.
float frem(float a, float b);
double drem(double a, double b);

// Negation only flips the sign bit; a NaN keeps its payload.
constexpr float fneg(float f) { return float_from_bits(bits(f) ^ kFloatSignBit); }
constexpr double dneg(double d) { return double_from_bits(bits(d) ^ kDoubleSignBit); }

// ---------------------------------------------------------------------------
// Conversions

// Floating point to int or long: NaN gives 0, out-of-range values saturate,
// everything else truncates toward zero.
std::int32_t f2i(float f);
std::int32_t d2i(double d);
std::int64_t f2l(float f);
std::int64_t d2l(double d);

// Integer to floating point, rounded to nearest (i2d is exact). A long goes
// straight to float, never through double, which would round twice.
inline float i2f(std::int32_t x) { return static_cast<float>(x); }
inline float l2f(std::int64_t x) { return static_cast<float>(x); }
inline double i2d(std::int32_t x) { return static_cast<double>(x); }
inline double l2d(std::int64_t x) { return static_cast<double>(x); }

// Between float and double; a NaN becomes the canonical NaN of the target.
inline double f2d(float f) {
    return is_nan(f) ? canonical_double_nan() : static_cast<double>(f);
}
inline float d2f(double d) {
    return is_nan(d) ? canonical_float_nan() : static_cast<float>(d);
}

// Floating point to unsigned: NaN and negative values give 0, values at or
// above 2^32 (resp. 2^64) and +infinity give all ones, the rest truncate.
std::uint32_t f2ui(float f);
std::uint32_t d2ui(double d);
std::uint64_t f2ul(float f);
std::uint64_t d2ul(double d);

// Unsigned integer to floating point, rounded to nearest.
inline float ui2f(std::uint32_t x) { return static_cast<float>(x); }
inline float ul2f(std::uint64_t x) { return static_cast<float>(x); }
inline double ui2d(std::uint32_t x) { return static_cast<double>(x); }
inline double ul2d(std::uint64_t x) { return static_cast<double>(x); }

// ---------------------------------------------------------------------------
// Comparisons (results -1, 0, 1)

constexpr std::int32_t lcmp(std::int64_t a, std::int64_t b) { return a < b ? -1 : (a == b ? 0 : 1); }
constexpr std::int32_t ucmp(std::uint32_t a, std::uint32_t b) { return a < b ? -1 : (a == b ? 0 : 1); }
constexpr std::int32_t ulcmp(std::uint64_t a, std::uint64_t b) { return a < b ? -1 : (a == b ? 0 : 1); }

// The "l" forms give -1 when either operand is NaN, the "g" forms 1;
// +0.0 and -0.0 compare equal.
constexpr std::int32_t fcmpl(float a, float b) {
    if (is_nan(a) || is_nan(b)) return -1;
    return a > b ? 1 : (a == b ? 0 : -1);
}
constexpr std::int32_t fcmpg(float a, float b) {
    if (is_nan(a) || is_nan(b)) return 1;
    return a > b ? 1 : (a == b ? 0 : -1);
}
constexpr std::int32_t dcmpl(double a, double b) {
    if (is_nan(a) || is_nan(b)) return -1;
    return a > b ? 1 : (a == b ? 0 : -1);
}
constexpr std::int32_t dcmpg(double a, double b) {
    if (is_nan(a) || is_nan(b)) return 1;
    return a > b ? 1 : (a == b ? 0 : -1);
}

}  // namespace tarvelo::jarith
