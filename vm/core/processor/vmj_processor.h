// The processor helpers the opcode handlers call for the arithmetic they do
// not do inline: floating-point arithmetic, long division and shifts,
// conversions between the number types, and comparisons. Each is a pure
// function of its operands; the handlers load the registers, call, and store
// the result (a float travels as a float, a long or double as one 64-bit
// value; splitting pairs into register words is the handler's business).
//
// Division helpers expect the caller to have raised ArithmeticException for
// a zero divisor already. `Thread.sleep` and `Thread.yield` belong with the
// scheduler and are not here.
#pragma once

#include <cstdint>

#include "vm/core/processor/java_arith.h"

namespace tarvelo::VMJProcessor {

// Floating-point arithmetic; a NaN result is always the canonical NaN.
inline float fadd(float a, float b) { return jarith::fadd(a, b); }
inline float fsub(float a, float b) { return jarith::fsub(a, b); }
inline float fmul(float a, float b) { return jarith::fmul(a, b); }
inline float fdiv(float a, float b) { return jarith::fdiv(a, b); }
inline float frem(float a, float b) { return jarith::frem(a, b); }
inline double dadd(double a, double b) { return jarith::dadd(a, b); }
inline double dsub(double a, double b) { return jarith::dsub(a, b); }
inline double dmul(double a, double b) { return jarith::dmul(a, b); }
inline double ddiv(double a, double b) { return jarith::ddiv(a, b); }
inline double drem(double a, double b) { return jarith::drem(a, b); }

// Integer division and remainder (divisor already checked against 0).
inline std::int32_t idiv(std::int32_t a, std::int32_t b) { return jarith::idiv(a, b); }
inline std::int32_t irem(std::int32_t a, std::int32_t b) { return jarith::irem(a, b); }
inline std::int64_t ldiv(std::int64_t a, std::int64_t b) { return jarith::ldiv(a, b); }
inline std::int64_t lrem(std::int64_t a, std::int64_t b) { return jarith::lrem(a, b); }

// Long shifts by (count & 63).
inline std::int64_t lshl(std::int64_t x, std::int32_t count) { return jarith::lshl(x, count); }
inline std::int64_t lshr(std::int64_t x, std::int32_t count) { return jarith::lshr(x, count); }
inline std::int64_t lushr(std::int64_t x, std::int32_t count) { return jarith::lushr(x, count); }

// Floating point to integer: NaN gives 0, then truncation toward zero with
// saturation at the type's bounds.
inline std::int32_t f2i(float f) { return jarith::f2i(f); }
inline std::int32_t d2i(double d) { return jarith::d2i(d); }
inline std::int64_t f2l(float f) { return jarith::f2l(f); }
inline std::int64_t d2l(double d) { return jarith::d2l(d); }

// Integer to floating point, rounded to nearest.
inline float i2f(std::int32_t x) { return jarith::i2f(x); }
inline float l2f(std::int64_t x) { return jarith::l2f(x); }
inline double i2d(std::int32_t x) { return jarith::i2d(x); }
inline double l2d(std::int64_t x) { return jarith::l2d(x); }

// Between float and double; NaN becomes the target's canonical NaN.
inline double f2d(float f) { return jarith::f2d(f); }
inline float d2f(double d) { return jarith::d2f(d); }

// Comparisons giving -1, 0 or 1.
inline std::int32_t lcmp(std::int64_t a, std::int64_t b) { return jarith::lcmp(a, b); }
inline std::int32_t fcmpl(float a, float b) { return jarith::fcmpl(a, b); }
inline std::int32_t fcmpg(float a, float b) { return jarith::fcmpg(a, b); }
inline std::int32_t dcmpl(double a, double b) { return jarith::dcmpl(a, b); }
inline std::int32_t dcmpg(double a, double b) { return jarith::dcmpg(a, b); }
// The register words compared as unsigned values.
inline std::int32_t ucmp(std::int32_t a, std::int32_t b) {
    return jarith::ucmp(static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b));
}
inline std::int32_t ulcmp(std::int64_t a, std::int64_t b) {
    return jarith::ulcmp(static_cast<std::uint64_t>(a), static_cast<std::uint64_t>(b));
}

// Unsigned conversions of the inline routines. The integer side is the
// register's bit pattern: an int or long holding the unsigned value.
inline std::int32_t f2ui(float f) { return static_cast<std::int32_t>(jarith::f2ui(f)); }
inline std::int32_t d2ui(double d) { return static_cast<std::int32_t>(jarith::d2ui(d)); }
inline std::int64_t f2ul(float f) { return static_cast<std::int64_t>(jarith::f2ul(f)); }
inline std::int64_t d2ul(double d) { return static_cast<std::int64_t>(jarith::d2ul(d)); }
inline float ui2f(std::int32_t x) { return jarith::ui2f(static_cast<std::uint32_t>(x)); }
inline float ul2f(std::int64_t x) { return jarith::ul2f(static_cast<std::uint64_t>(x)); }
inline double ui2d(std::int32_t x) { return jarith::ui2d(static_cast<std::uint32_t>(x)); }
inline double ul2d(std::int64_t x) { return jarith::ul2d(static_cast<std::uint64_t>(x)); }

}  // namespace tarvelo::VMJProcessor
