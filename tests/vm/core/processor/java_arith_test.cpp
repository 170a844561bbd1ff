#include "vm/core/processor/java_arith.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "tests/vm/core/fp_test_support.h"

namespace tarvelo::jarith {
namespace {

constexpr std::int32_t kIntMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kIntMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kLongMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kLongMax = std::numeric_limits<std::int64_t>::max();

struct IntDivCase {
    std::int32_t a, b, quotient, remainder;
};

TEST(JavaArith, IntDivisionTruncatesAndKeepsJavaOverflowResult) {
    const IntDivCase cases[] = {
        {7, 3, 2, 1},          {-7, 3, -2, -1},         {7, -3, -2, 1},
        {-7, -3, 2, -1},       {kIntMin, -1, kIntMin, 0}, {kIntMin, 1, kIntMin, 0},
        {kIntMax, -1, -kIntMax, 0}, {kIntMin, kIntMin, 1, 0}, {kIntMin, kIntMax, -1, -1},
        {kIntMax, kIntMin, 0, kIntMax}, {0, -5, 0, 0},     {-1, 2, 0, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << " / " << c.b);
        EXPECT_EQ(idiv(c.a, c.b), c.quotient);
        EXPECT_EQ(irem(c.a, c.b), c.remainder);
    }
}

struct LongDivCase {
    std::int64_t a, b, quotient, remainder;
};

TEST(JavaArith, LongDivisionTruncatesAndKeepsJavaOverflowResult) {
    const LongDivCase cases[] = {
        {7, 3, 2, 1},
        {-7, 3, -2, -1},
        {7, -3, -2, 1},
        {kLongMin, -1, kLongMin, 0},
        {kLongMin, 1, kLongMin, 0},
        {kLongMax, -1, -kLongMax, 0},
        {kLongMin, kLongMax, -1, -1},
        {-10000000000LL, 3, -3333333333LL, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << " / " << c.b);
        EXPECT_EQ(ldiv(c.a, c.b), c.quotient);
        EXPECT_EQ(lrem(c.a, c.b), c.remainder);
    }
}

// Powers of two take a mask and a shift: negative dividends still truncate
// toward zero, the largest powers and a divisor of 1 included. Each case is
// checked against the plain division as well.
TEST(JavaArith, PowerOfTwoDivisorsTruncateTowardZero) {
    const IntDivCase ints[] = {
        {-5, 4, -1, -1},        {-4, 4, -1, 0},          {-3, 4, 0, -3},
        {5, 4, 1, 1},           {-1, 1, -1, 0},          {kIntMin, 4, -(1 << 29), 0},
        {kIntMin + 1, 1 << 30, -1, -(1 << 30) + 1},     {kIntMax, 1 << 30, 1, (1 << 30) - 1},
        {-1, 1 << 30, 0, -1},   {kIntMin, 1 << 30, -2, 0}, {-9, 8, -1, -1},
        {-8, 2, -4, 0},
    };
    for (const auto& c : ints) {
        SCOPED_TRACE(testing::Message() << c.a << " / " << c.b);
        EXPECT_EQ(idiv(c.a, c.b), c.quotient);
        EXPECT_EQ(irem(c.a, c.b), c.remainder);
        EXPECT_EQ(c.a / c.b, c.quotient);
        EXPECT_EQ(c.a % c.b, c.remainder);
    }
    const LongDivCase longs[] = {
        {-5, 4, -1, -1},
        {-10000000001LL, 1LL << 32, -2, -1410065409LL},
        {kLongMin, 1LL << 62, -2, 0},
        {kLongMin + 1, 1LL << 62, -1, -(1LL << 62) + 1},
        {kLongMax, 1LL << 62, 1, (1LL << 62) - 1},
        {-1, 1, -1, 0},
        {-7, 8, 0, -7},
    };
    for (const auto& c : longs) {
        SCOPED_TRACE(testing::Message() << c.a << " / " << c.b);
        EXPECT_EQ(ldiv(c.a, c.b), c.quotient);
        EXPECT_EQ(lrem(c.a, c.b), c.remainder);
        EXPECT_EQ(c.a / c.b, c.quotient);
        EXPECT_EQ(c.a % c.b, c.remainder);
    }
}

// The opcodes check the divisor first; a zero that slips through must not
// bring the process down.
TEST(JavaArith, ZeroDivisorDoesNotTrap) {
    EXPECT_EQ(idiv(kIntMin, 0), 0);
    EXPECT_EQ(irem(5, 0), 0);
    EXPECT_EQ(ldiv(kLongMin, 0), 0);
    EXPECT_EQ(lrem(5, 0), 0);
}

TEST(JavaArith, ArithmeticWrapsAround) {
    EXPECT_EQ(iadd(kIntMax, 1), kIntMin);
    EXPECT_EQ(isub(kIntMin, 1), kIntMax);
    EXPECT_EQ(imul(0x10000, 0x10000), 0);
    EXPECT_EQ(imul(kIntMax, kIntMax), 1);
    EXPECT_EQ(ineg(kIntMin), kIntMin);
    EXPECT_EQ(ladd(kLongMax, 1), kLongMin);
    EXPECT_EQ(lsub(kLongMin, 1), kLongMax);
    EXPECT_EQ(lmul(kLongMin, -1), kLongMin);
    EXPECT_EQ(lneg(kLongMin), kLongMin);
}

struct IntShiftCase {
    std::int32_t x, count, shl, shr, ushr;
};

TEST(JavaArith, IntShiftCountIsMaskedWith31) {
    const IntShiftCase cases[] = {
        {1, 0, 1, 1, 1},
        {1, 31, kIntMin, 0, 0},
        {1, 32, 1, 1, 1},
        {1, 33, 2, 0, 0},
        {1, -1, kIntMin, 0, 0},
        {-8, 1, -16, -4, 0x7FFFFFFC},
        {-1, 28, static_cast<std::int32_t>(0xF0000000u), -1, 15},
        {kIntMin, 63, 0, -1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << " by " << c.count);
        EXPECT_EQ(ishl(c.x, c.count), c.shl);
        EXPECT_EQ(ishr(c.x, c.count), c.shr);
        EXPECT_EQ(iushr(c.x, c.count), c.ushr);
    }
}

struct LongShiftCase {
    std::int64_t x;
    std::int32_t count;
    std::int64_t shl, shr, ushr;
};

TEST(JavaArith, LongShiftCountIsMaskedWith63) {
    const LongShiftCase cases[] = {
        {1, 64, 1, 1, 1},
        {1, 65, 2, 0, 0},
        {1, 63, kLongMin, 0, 0},
        {1, -1, kLongMin, 0, 0},
        {kLongMin, 63, 0, -1, 1},
        {-1, 32, static_cast<std::int64_t>(0xFFFFFFFF00000000ull), -1, 0xFFFFFFFFLL},
        {0x0123456789ABCDEFLL, 128, 0x0123456789ABCDEFLL, 0x0123456789ABCDEFLL,
         0x0123456789ABCDEFLL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << " by " << c.count);
        EXPECT_EQ(lshl(c.x, c.count), c.shl);
        EXPECT_EQ(lshr(c.x, c.count), c.shr);
        EXPECT_EQ(lushr(c.x, c.count), c.ushr);
    }
}

TEST(JavaArith, NarrowingIntConversions) {
    EXPECT_EQ(i2b(0x80), -128);
    EXPECT_EQ(i2b(0x17F), 127);
    EXPECT_EQ(i2s(0x18000), -32768);
    EXPECT_EQ(i2s(-1), -1);
    EXPECT_EQ(i2c(-1), 65535);
    EXPECT_EQ(i2c(0x12345678), 0x5678);
}

TEST(JavaArith, NegationFlipsOnlyTheSignBit) {
    using test::dbits;
    using test::dval;
    using test::fbits;
    using test::fval;
    EXPECT_EQ(fbits(fneg(fval(0x7FC00001u))), 0xFFC00001u);
    EXPECT_EQ(fbits(fneg(0.0f)), 0x80000000u);
    EXPECT_EQ(dbits(dneg(dval(0x7FF0000000000001ull))), 0xFFF0000000000001ull);
    EXPECT_EQ(dbits(dneg(-0.0)), 0u);
}

}  // namespace
}  // namespace tarvelo::jarith
