// Body functions of the inline routines (opcode 0x84) that compute on values:
// floating-point functions of java.lang.Math, unsigned arithmetic of Integer
// and Long, and the unsigned conversions of Float and Double.
//
// Each takes the operand values the handler read from the register windows
// and returns what it stores in the destination register. Integers travel as
// the register's bit pattern (an unsigned value in an int or long); every
// NaN a routine produces is the canonical NaN. The routines that can fail
// return a Result (intrinsic_result.h) naming the exception to raise.
#pragma once

#include <cstdint>

#include "vm/core/intrinsics/intrinsic_result.h"

namespace tarvelo::IntrinsicOpcodes {

// --- java.lang.Math over doubles
double mathSqrtDouble(double x);                  // -0.0 stays -0.0, other negatives NaN
double mathCopySignDouble(double magnitude, double sign);
double mathAbsDouble(double x);                   // sign bit cleared, NaN payload kept
double mathNearestDouble(double x);               // ties to even
double mathTruncDouble(double x);                 // toward zero; zeros and infinities unchanged
double mathCeilDouble(double x);
double mathFloorDouble(double x);
double mathMaxDouble(double a, double b);         // NaN if either is; max(-0.0, 0.0) is 0.0
double mathMinDouble(double a, double b);         // NaN if either is; min(0.0, -0.0) is -0.0

// --- java.lang.Math over floats (rounding functions go through double)
float mathAbsFloat(float x);                      // zeros give +0.0, NaN has its sign cleared
float mathCopySignFloat(float magnitude, float sign);
float mathNearestFloat(float x);
float mathTruncFloat(float x);
float mathCeilFloat(float x);
float mathFloorFloat(float x);
float mathMaxFloat(float a, float b);
float mathMinFloat(float a, float b);

// --- unsigned int and long arithmetic
// ArithmeticException when the unsigned sum needs 33 bits.
Result<std::int32_t> unsignedAddExact(std::int32_t a, std::int32_t b);
// ArithmeticException for a zero divisor.
Result<std::int32_t> intDivideUnsigned(std::int32_t a, std::int32_t b);
Result<std::int32_t> intRemainderUnsigned(std::int32_t a, std::int32_t b);
Result<std::int64_t> longDivideUnsigned(std::int64_t a, std::int64_t b);
Result<std::int64_t> longRemainderUnsigned(std::int64_t a, std::int64_t b);

// --- bit counts (0 gives 32 or 64 zero bits)
std::int32_t intBitCount(std::int32_t x);
std::int32_t intNumberOfTrailingZeros(std::int32_t x);
std::int32_t intNumberOfLeadingZeros(std::int32_t x);
std::int32_t longBitCount(std::int64_t x);
std::int32_t longNumberOfTrailingZeros(std::int64_t x);
std::int32_t longNumberOfLeadingZeros(std::int64_t x);

// --- unsigned conversions (the processor's f2ui, d2ui, f2ul, d2ul, ui2f,
// ul2f, ui2d, ul2d)
std::int32_t intTruncUnsignedDouble(double x);
std::int32_t intTruncUnsignedFloat(float x);
std::int64_t longTruncUnsignedDouble(double x);
std::int64_t longTruncUnsignedFloat(float x);
double doubleFromUnsignedInt(std::int32_t x);
double doubleFromUnsignedLong(std::int64_t x);
float floatFromUnsignedInt(std::int32_t x);
float floatFromUnsignedLong(std::int64_t x);

}  // namespace tarvelo::IntrinsicOpcodes
