#include "vm/core/intrinsics/intrinsic_opcodes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "tests/vm/core/fp_test_support.h"

namespace tarvelo::IntrinsicOpcodes {
namespace {

using test::dbits;
using test::dval;
using test::fbits;
using test::fval;
using test::kDoubleNaN;
using test::kFloatNaN;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr float kFInf = std::numeric_limits<float>::infinity();

// --- min and max

struct MinMaxCase {
    double a, b, min, max;
};

// Signed zeros in both orders, infinities, and ordinary values; each case
// checked in double and in float (all values are exact in float).
TEST(IntrinsicMath, MinMaxOrderSignedZeros) {
    const MinMaxCase cases[] = {
        {0.0, -0.0, -0.0, 0.0},  {-0.0, 0.0, -0.0, 0.0},     {-0.0, -0.0, -0.0, -0.0},
        {0.0, 0.0, 0.0, 0.0},    {1.0, 2.0, 1.0, 2.0},       {2.0, 1.0, 1.0, 2.0},
        {-kInf, kInf, -kInf, kInf}, {-1.0, -0.0, -1.0, -0.0}, {3.5, 3.5, 3.5, 3.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << ", " << c.b);
        EXPECT_EQ(dbits(mathMinDouble(c.a, c.b)), dbits(c.min));
        EXPECT_EQ(dbits(mathMaxDouble(c.a, c.b)), dbits(c.max));
        const auto fa = static_cast<float>(c.a);
        const auto fb = static_cast<float>(c.b);
        EXPECT_EQ(fbits(mathMinFloat(fa, fb)), fbits(static_cast<float>(c.min)));
        EXPECT_EQ(fbits(mathMaxFloat(fa, fb)), fbits(static_cast<float>(c.max)));
    }
}

TEST(IntrinsicMath, MinMaxWithAnyNaNGiveCanonicalNaN) {
    for (std::uint64_t b : test::kOddDoubleNaNs) {
        const double nan = dval(b);
        for (double other : {1.0, -0.0, kInf, -kInf}) {
            EXPECT_EQ(dbits(mathMinDouble(nan, other)), kDoubleNaN);
            EXPECT_EQ(dbits(mathMinDouble(other, nan)), kDoubleNaN);
            EXPECT_EQ(dbits(mathMaxDouble(nan, other)), kDoubleNaN);
            EXPECT_EQ(dbits(mathMaxDouble(other, nan)), kDoubleNaN);
        }
    }
    for (std::uint32_t b : test::kOddFloatNaNs) {
        const float nan = fval(b);
        for (float other : {1.0f, -0.0f, kFInf, -kFInf}) {
            EXPECT_EQ(fbits(mathMinFloat(nan, other)), kFloatNaN);
            EXPECT_EQ(fbits(mathMinFloat(other, nan)), kFloatNaN);
            EXPECT_EQ(fbits(mathMaxFloat(nan, other)), kFloatNaN);
            EXPECT_EQ(fbits(mathMaxFloat(other, nan)), kFloatNaN);
        }
    }
}

// --- rounding

struct RoundCase {
    double x, nearest, trunc, ceil, floor;
};

TEST(IntrinsicMath, RoundingFunctions) {
    const RoundCase cases[] = {
        {2.5, 2.0, 2.0, 3.0, 2.0},
        {3.5, 4.0, 3.0, 4.0, 3.0},
        {-2.5, -2.0, -2.0, -2.0, -3.0},
        {-0.5, -0.0, -0.0, -0.0, -1.0},
        {0.5, 0.0, 0.0, 1.0, 0.0},
        {-0.0, -0.0, -0.0, -0.0, -0.0},
        {0.0, 0.0, 0.0, 0.0, 0.0},
        {-1.75, -2.0, -1.0, -1.0, -2.0},
        {kInf, kInf, kInf, kInf, kInf},
        {-kInf, -kInf, -kInf, -kInf, -kInf},
        {8388609.5, 8388610.0, 8388609.0, 8388610.0, 8388609.0},
        {16777217.0, 16777217.0, 16777217.0, 16777217.0, 16777217.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x);
        EXPECT_EQ(dbits(mathNearestDouble(c.x)), dbits(c.nearest));
        EXPECT_EQ(dbits(mathTruncDouble(c.x)), dbits(c.trunc));
        EXPECT_EQ(dbits(mathCeilDouble(c.x)), dbits(c.ceil));
        EXPECT_EQ(dbits(mathFloorDouble(c.x)), dbits(c.floor));
        const auto f = static_cast<float>(c.x);
        if (static_cast<double>(f) != c.x) continue;  // no exact float twin
        EXPECT_EQ(fbits(mathNearestFloat(f)), fbits(static_cast<float>(c.nearest)));
        EXPECT_EQ(fbits(mathTruncFloat(f)), fbits(static_cast<float>(c.trunc)));
        EXPECT_EQ(fbits(mathCeilFloat(f)), fbits(static_cast<float>(c.ceil)));
        EXPECT_EQ(fbits(mathFloorFloat(f)), fbits(static_cast<float>(c.floor)));
    }
}

TEST(IntrinsicMath, UnaryNaNGivesCanonicalNaN) {
    using DoubleFn = double (*)(double);
    using FloatFn = float (*)(float);
    for (DoubleFn fn : {mathNearestDouble, mathTruncDouble, mathCeilDouble, mathFloorDouble,
                        mathSqrtDouble}) {
        for (std::uint64_t b : test::kOddDoubleNaNs) EXPECT_EQ(dbits(fn(dval(b))), kDoubleNaN);
    }
    for (FloatFn fn : {mathNearestFloat, mathTruncFloat, mathCeilFloat, mathFloorFloat}) {
        for (std::uint32_t b : test::kOddFloatNaNs) EXPECT_EQ(fbits(fn(fval(b))), kFloatNaN);
    }
}

TEST(IntrinsicMath, SquareRoot) {
    EXPECT_EQ(dbits(mathSqrtDouble(-0.0)), dbits(-0.0));
    EXPECT_EQ(dbits(mathSqrtDouble(-1.0)), kDoubleNaN);
    EXPECT_EQ(dbits(mathSqrtDouble(-kInf)), kDoubleNaN);
    EXPECT_EQ(dbits(mathSqrtDouble(-0x1p-1074)), kDoubleNaN);
    EXPECT_EQ(mathSqrtDouble(kInf), kInf);
    EXPECT_EQ(mathSqrtDouble(2.0), std::sqrt(2.0));
    EXPECT_EQ(dbits(mathSqrtDouble(0.0)), 0u);
}

// --- abs and copySign

TEST(IntrinsicMath, AbsClearsTheSignEvenOfNaN) {
    EXPECT_EQ(dbits(mathAbsDouble(-0.0)), 0u);
    EXPECT_EQ(mathAbsDouble(-kInf), kInf);
    EXPECT_EQ(dbits(mathAbsDouble(dval(0xFFF0000000000123ull))), 0x7FF0000000000123ull);
    EXPECT_EQ(dbits(mathAbsDouble(dval(0x7FF8000000000001ull))), 0x7FF8000000000001ull);
    EXPECT_EQ(fbits(mathAbsFloat(-0.0f)), 0u);
    EXPECT_EQ(fbits(mathAbsFloat(0.0f)), 0u);
    EXPECT_EQ(mathAbsFloat(-3.5f), 3.5f);
    EXPECT_EQ(mathAbsFloat(-kFInf), kFInf);
    EXPECT_EQ(fbits(mathAbsFloat(-0x1p-149f)), 1u);
    EXPECT_EQ(fbits(mathAbsFloat(fval(0xFFC00001u))), 0x7FC00001u);
    EXPECT_EQ(fbits(mathAbsFloat(fval(0x7FC00000u))), 0x7FC00000u);
}

TEST(IntrinsicMath, CopySign) {
    EXPECT_EQ(mathCopySignDouble(3.0, -0.0), -3.0);
    EXPECT_EQ(dbits(mathCopySignDouble(-0.0, 1.0)), 0u);
    EXPECT_EQ(dbits(mathCopySignDouble(2.0, dval(0xFFF8000000000000ull))), dbits(-2.0));
    EXPECT_EQ(mathCopySignFloat(3.0f, -0.0f), -3.0f);
    EXPECT_EQ(fbits(mathCopySignFloat(-0.0f, 0.0f)), 0u);
}

// --- unsigned arithmetic

TEST(IntrinsicUnsigned, AddExactThrowsOnlyWhenTheSumNeeds33Bits) {
    struct Case {
        std::uint32_t a, b;
        bool throws;
        std::uint32_t sum;
    };
    const Case cases[] = {
        {0xFFFFFFFFu, 1, true, 0},         {0xFFFFFFFEu, 1, false, 0xFFFFFFFFu},
        {1, 0xFFFFFFFEu, false, 0xFFFFFFFFu}, {0x80000000u, 0x80000000u, true, 0},
        {0x80000000u, 0x7FFFFFFFu, false, 0xFFFFFFFFu}, {0xFFFFFFFFu, 0, false, 0xFFFFFFFFu},
        {0, 0, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.a << " + " << c.b);
        const auto r = unsignedAddExact(static_cast<std::int32_t>(c.a), static_cast<std::int32_t>(c.b));
        if (c.throws) {
            EXPECT_EQ(r.thrown, Throw::arithmetic);
        } else {
            ASSERT_TRUE(r.ok());
            EXPECT_EQ(static_cast<std::uint32_t>(r.value), c.sum);
        }
    }
}

TEST(IntrinsicUnsigned, DivisionAndRemainder) {
    auto q = intDivideUnsigned(-1, 2);
    ASSERT_TRUE(q.ok());
    EXPECT_EQ(q.value, 0x7FFFFFFF);
    auto r = intRemainderUnsigned(-1, 10);  // 4294967295 % 10
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value, 5);
    q = intDivideUnsigned(std::numeric_limits<std::int32_t>::min(), -1);
    ASSERT_TRUE(q.ok());
    EXPECT_EQ(q.value, 0);
    auto lq = longDivideUnsigned(-1, 2);
    ASSERT_TRUE(lq.ok());
    EXPECT_EQ(lq.value, std::numeric_limits<std::int64_t>::max());
    auto lr = longRemainderUnsigned(-1, 10);  // 18446744073709551615 % 10
    ASSERT_TRUE(lr.ok());
    EXPECT_EQ(lr.value, 5);
    lr = longRemainderUnsigned(std::numeric_limits<std::int64_t>::min(), -1);
    ASSERT_TRUE(lr.ok());
    EXPECT_EQ(lr.value, std::numeric_limits<std::int64_t>::min());

    EXPECT_EQ(intDivideUnsigned(5, 0).thrown, Throw::arithmetic);
    EXPECT_EQ(intRemainderUnsigned(5, 0).thrown, Throw::arithmetic);
    EXPECT_EQ(longDivideUnsigned(5, 0).thrown, Throw::arithmetic);
    EXPECT_EQ(longRemainderUnsigned(5, 0).thrown, Throw::arithmetic);
}

TEST(IntrinsicUnsigned, BitCounts) {
    struct Case {
        std::uint64_t x;
        std::int32_t int_bits, int_ntz, int_nlz, long_bits, long_ntz, long_nlz;
    };
    const Case cases[] = {
        {0, 0, 32, 32, 0, 64, 64},
        {~0ull, 32, 0, 0, 64, 0, 0},
        {1, 1, 0, 31, 1, 0, 63},
        {0x80000000ull, 1, 31, 0, 1, 31, 32},
        {0x8000000000000000ull, 0, 32, 32, 1, 63, 0},
        {0x00F0000000000F00ull, 4, 8, 20, 8, 8, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.x);
        const auto i = static_cast<std::int32_t>(static_cast<std::uint32_t>(c.x));
        const auto l = static_cast<std::int64_t>(c.x);
        EXPECT_EQ(intBitCount(i), c.int_bits);
        EXPECT_EQ(intNumberOfTrailingZeros(i), c.int_ntz);
        EXPECT_EQ(intNumberOfLeadingZeros(i), c.int_nlz);
        EXPECT_EQ(longBitCount(l), c.long_bits);
        EXPECT_EQ(longNumberOfTrailingZeros(l), c.long_ntz);
        EXPECT_EQ(longNumberOfLeadingZeros(l), c.long_nlz);
    }
}

TEST(IntrinsicUnsigned, Conversions) {
    EXPECT_EQ(intTruncUnsignedDouble(-1.0), 0);
    EXPECT_EQ(intTruncUnsignedDouble(std::nan("")), 0);
    EXPECT_EQ(intTruncUnsignedDouble(4294967296.0), -1);
    EXPECT_EQ(intTruncUnsignedFloat(-1.0f), 0);
    EXPECT_EQ(intTruncUnsignedFloat(3e9f), static_cast<std::int32_t>(3000000000u));
    EXPECT_EQ(longTruncUnsignedDouble(1e20), -1);
    EXPECT_EQ(longTruncUnsignedDouble(-0.5), 0);
    EXPECT_EQ(longTruncUnsignedFloat(std::nanf("")), 0);
    EXPECT_EQ(longTruncUnsignedFloat(1e19f), static_cast<std::int64_t>(9999999980506447872ull));
    EXPECT_EQ(doubleFromUnsignedInt(-1), 4294967295.0);
    EXPECT_EQ(doubleFromUnsignedLong(-1), 0x1p64);
    EXPECT_EQ(floatFromUnsignedInt(-1), 0x1p32f);
    EXPECT_EQ(floatFromUnsignedLong(std::numeric_limits<std::int64_t>::min()), 0x1p63f);
}

TEST(IntrinsicResult, ExceptionNames) {
    EXPECT_STREQ(exception_class_name(Throw::arithmetic), "java.lang.ArithmeticException");
    EXPECT_STREQ(exception_class_name(Throw::null_pointer), "java.lang.NullPointerException");
    EXPECT_STREQ(exception_class_name(Throw::array_index_out_of_bounds),
                 "java.lang.ArrayIndexOutOfBoundsException");
    EXPECT_STREQ(exception_class_name(Throw::index_out_of_bounds),
                 "java.lang.IndexOutOfBoundsException");
    EXPECT_STREQ(exception_class_name(Throw::none), "");
}

}  // namespace
}  // namespace tarvelo::IntrinsicOpcodes
