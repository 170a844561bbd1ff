#include "vm/core/processor/vmj_processor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "tests/vm/core/fp_test_support.h"

namespace tarvelo::VMJProcessor {
namespace {

using test::dbits;
using test::dval;
using test::fbits;
using test::fval;
using test::kDoubleNaN;
using test::kFloatNaN;

constexpr float kFInf = std::numeric_limits<float>::infinity();
constexpr double kDInf = std::numeric_limits<double>::infinity();
constexpr std::int32_t kIntMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kIntMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kLongMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kLongMax = std::numeric_limits<std::int64_t>::max();

// --- canonical NaN of the arithmetic

using FloatOp = float (*)(float, float);
using DoubleOp = double (*)(double, double);

TEST(VMJProcessorArithmetic, EveryFloatNaNResultIsCanonical) {
    struct Case {
        const char* name;
        FloatOp op;
        float a, b;
    };
    const float nan_with_payload = fval(0x7FC00001u);
    const float negative_nan = fval(0xFFC00000u);
    const float signalling_nan = fval(0x7F800001u);
    const Case cases[] = {
        {"0/0", fdiv, 0.0f, 0.0f},
        {"inf-inf", fsub, kFInf, kFInf},
        {"inf+-inf", fadd, kFInf, -kFInf},
        {"0*inf", fmul, 0.0f, kFInf},
        {"payload+1", fadd, nan_with_payload, 1.0f},
        {"1+payload", fadd, 1.0f, nan_with_payload},
        {"-nan*1", fmul, negative_nan, 1.0f},
        {"snan-0", fsub, signalling_nan, 0.0f},
        {"1/-nan", fdiv, 1.0f, negative_nan},
        {"1%0", frem, 1.0f, 0.0f},
        {"inf%1", frem, kFInf, 1.0f},
        {"payload%1", frem, nan_with_payload, 1.0f},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fbits(c.op(c.a, c.b)), kFloatNaN) << c.name;
    }
}

TEST(VMJProcessorArithmetic, EveryDoubleNaNResultIsCanonical) {
    struct Case {
        const char* name;
        DoubleOp op;
        double a, b;
    };
    const double nan_with_payload = dval(0x7FF8000000000001ull);
    const double negative_nan = dval(0xFFF8000000000000ull);
    const double signalling_nan = dval(0x7FF0000000000001ull);
    const Case cases[] = {
        {"0/0", ddiv, 0.0, 0.0},
        {"inf-inf", dsub, kDInf, kDInf},
        {"0*inf", dmul, 0.0, -kDInf},
        {"payload+1", dadd, nan_with_payload, 1.0},
        {"-nan*1", dmul, negative_nan, 1.0},
        {"snan+0", dadd, signalling_nan, 0.0},
        {"1/-nan", ddiv, 1.0, negative_nan},
        {"1%0", drem, 1.0, 0.0},
        {"-inf%2", drem, -kDInf, 2.0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dbits(c.op(c.a, c.b)), kDoubleNaN) << c.name;
    }
}

TEST(VMJProcessorArithmetic, NonNaNResultsAreIEEE) {
    EXPECT_EQ(fdiv(1.0f, 0.0f), kFInf);
    EXPECT_EQ(fbits(fdiv(1.0f, -0.0f)), fbits(-kFInf));
    EXPECT_EQ(fbits(fadd(-0.0f, -0.0f)), 0x80000000u);
    EXPECT_EQ(fbits(fsub(0.0f, 0.0f)), 0u);
    EXPECT_EQ(ddiv(-1.0, 0.0), -kDInf);
    // The product is rounded before the sum: no fused multiply-add.
    const double a = 1.0 + 0x1p-30;
    EXPECT_EQ(dadd(dmul(a, a), -1.0), 0x1p-29);
    // float results are rounded to float, not kept wider.
    EXPECT_EQ(fadd(16777216.0f, 1.0f), 16777216.0f);
}

struct RemCase {
    double a, b, expected;
};

TEST(VMJProcessorArithmetic, RemainderHasTheSignOfTheDividend) {
    // All values are exact in float too.
    const RemCase cases[] = {
        {-7.5, 2.0, -1.5}, {7.5, -2.0, 1.5},  {10.0, 3.0, 1.0},   {-10.0, 3.0, -1.0},
        {5.0, kDInf, 5.0}, {-0.0, 1.0, -0.0}, {0.0, -1.0, 0.0},   {-6.0, 3.0, -0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << " % " << c.b);
        EXPECT_EQ(dbits(drem(c.a, c.b)), dbits(c.expected));
        EXPECT_EQ(fbits(frem(static_cast<float>(c.a), static_cast<float>(c.b))),
                  fbits(static_cast<float>(c.expected)));
    }
}

TEST(VMJProcessorIntegers, DivisionShiftsAndComparisons) {
    EXPECT_EQ(irem(-7, 3), -1);
    EXPECT_EQ(irem(7, -3), 1);
    EXPECT_EQ(idiv(kIntMin, -1), kIntMin);
    EXPECT_EQ(irem(kIntMin, -1), 0);
    EXPECT_EQ(ldiv(kLongMin, -1), kLongMin);
    EXPECT_EQ(lrem(kLongMin, -1), 0);
    EXPECT_EQ(lshl(0x123, 64), 0x123);
    EXPECT_EQ(lshl(0x123, 65), 0x246);
    EXPECT_EQ(lushr(-1, 65), kLongMax);
    EXPECT_EQ(lshr(-1, 65), -1);
    EXPECT_EQ(lcmp(kLongMin, kLongMax), -1);
    EXPECT_EQ(lcmp(5, 5), 0);
    EXPECT_EQ(lcmp(0, -1), 1);
}

// --- conversions

TEST(VMJProcessorConversions, FloatingToIntegerNaNGivesZero) {
    for (std::uint32_t b : test::kOddFloatNaNs) {
        EXPECT_EQ(f2i(fval(b)), 0);
        EXPECT_EQ(f2l(fval(b)), 0);
    }
    for (std::uint64_t b : test::kOddDoubleNaNs) {
        EXPECT_EQ(d2i(dval(b)), 0);
        EXPECT_EQ(d2l(dval(b)), 0);
    }
}

struct ToIntCase {
    double value;
    std::int32_t as_int;
    std::int64_t as_long;
};

TEST(VMJProcessorConversions, DoubleToIntegerTruncatesAndSaturates) {
    const ToIntCase cases[] = {
        {-0.9, 0, 0},
        {-3.9, -3, -3},
        {3.9, 3, 3},
        {2147483646.9, 2147483646, 2147483646},
        {2147483647.5, kIntMax, 2147483647},
        {-2147483648.9, kIntMin, -2147483648LL},
        {-2147483647.9, -2147483647, -2147483647},
        {1e10, kIntMax, 10000000000LL},
        {-1e30, kIntMin, kLongMin},
        {9.223372036854775807E18, kIntMax, kLongMax},
        {1e19, kIntMax, kLongMax},
        {-9223372036854775808.0, kIntMin, kLongMin},
        {-9223372036854774784.0, kIntMin, -9223372036854774784LL},
        {kDInf, kIntMax, kLongMax},
        {-kDInf, kIntMin, kLongMin},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value);
        EXPECT_EQ(d2i(c.value), c.as_int);
        EXPECT_EQ(d2l(c.value), c.as_long);
    }
}

struct FloatToIntCase {
    float value;
    std::int32_t as_int;
    std::int64_t as_long;
};

TEST(VMJProcessorConversions, FloatToIntegerTruncatesAndSaturates) {
    const FloatToIntCase cases[] = {
        {1e10f, kIntMax, 10000000000LL},
        {3.0e10f, kIntMax, 30000001024LL},
        {-3.0e10f, kIntMin, -30000001024LL},
        {2147483520.0f, 2147483520, 2147483520LL},  // largest float below 2^31
        {2147483648.0f, kIntMax, 2147483648LL},
        {-2147483648.0f, kIntMin, -2147483648LL},
        {9.223372e18f, kIntMax, kLongMax},  // exactly 2^63
        {-9.223372e18f, kIntMin, kLongMin},
        {-0.9f, 0, 0},
        {kFInf, kIntMax, kLongMax},
        {-kFInf, kIntMin, kLongMin},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value);
        EXPECT_EQ(f2i(c.value), c.as_int);
        EXPECT_EQ(f2l(c.value), c.as_long);
    }
}

TEST(VMJProcessorConversions, IntegerToFloatingRoundsOnce) {
    EXPECT_EQ(i2f(16777217), 16777216.0f);
    EXPECT_EQ(i2f(kIntMax), 2147483648.0f);
    EXPECT_EQ(i2d(kIntMin), -2147483648.0);
    EXPECT_EQ(l2d(kLongMax), 9223372036854775808.0);
    EXPECT_EQ(l2d((1LL << 53) + 1), 9007199254740992.0);
    // 2^62 + 2^38 + 1 lies just above the midpoint between two floats and
    // rounds up; going through double first would round it to the midpoint
    // and then to even, i.e. down.
    EXPECT_EQ(l2f((1LL << 62) + (1LL << 38) + 1), 0x1p62f + 0x1p39f);
    EXPECT_EQ(l2f(-((1LL << 62) + (1LL << 38) + 1)), -(0x1p62f + 0x1p39f));
}

TEST(VMJProcessorConversions, FloatDoubleWideningAndNarrowing) {
    for (std::uint32_t b : test::kOddFloatNaNs) EXPECT_EQ(dbits(f2d(fval(b))), kDoubleNaN);
    for (std::uint64_t b : test::kOddDoubleNaNs) EXPECT_EQ(fbits(d2f(dval(b))), kFloatNaN);
    EXPECT_EQ(f2d(0.1f), static_cast<double>(0.1f));
    EXPECT_EQ(dbits(f2d(-0.0f)), 0x8000000000000000ull);
    EXPECT_EQ(d2f(1e40), kFInf);
    EXPECT_EQ(d2f(-1e40), -kFInf);
    EXPECT_EQ(fbits(d2f(-1e-50)), 0x80000000u);
    EXPECT_EQ(d2f(0.1), 0.1f);
    EXPECT_EQ(fbits(d2f(0x1p-149)), 1u);  // smallest subnormal float survives
}

// --- comparisons

struct FloatCmpCase {
    double a, b;
    std::int32_t l, g;
};

TEST(VMJProcessorComparisons, NaNDecidesByVariantAndZerosAreEqual) {
    const double nan = std::nan("");
    const FloatCmpCase cases[] = {
        {nan, 0.0, -1, 1},  {0.0, nan, -1, 1},    {nan, nan, -1, 1},  {nan, 1.0, -1, 1},
        {-0.0, 0.0, 0, 0},  {0.0, -0.0, 0, 0},    {1.0, 2.0, -1, -1}, {2.0, 1.0, 1, 1},
        {-kDInf, kDInf, -1, -1}, {kDInf, kDInf, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << " <> " << c.b);
        EXPECT_EQ(dcmpl(c.a, c.b), c.l);
        EXPECT_EQ(dcmpg(c.a, c.b), c.g);
        const auto fa = static_cast<float>(c.a);
        const auto fb = static_cast<float>(c.b);
        EXPECT_EQ(fcmpl(fa, fb), c.l);
        EXPECT_EQ(fcmpg(fa, fb), c.g);
    }
}

TEST(VMJProcessorComparisons, UnsignedCompareDiffersFromSigned) {
    EXPECT_EQ(ucmp(-1, 1), 1);
    EXPECT_EQ(lcmp(-1, 1), -1);
    EXPECT_EQ(ucmp(kIntMin, kIntMax), 1);
    EXPECT_EQ(ucmp(7, 7), 0);
    EXPECT_EQ(ucmp(0, -1), -1);
    EXPECT_EQ(ulcmp(-1, 1), 1);
    EXPECT_EQ(ulcmp(kLongMin, kLongMax), 1);
    EXPECT_EQ(ulcmp(0, kLongMin), -1);
    EXPECT_EQ(ulcmp(kLongMin, kLongMin), 0);
}

// --- unsigned conversions

struct ToUnsignedCase {
    double value;
    std::uint32_t as_uint;
    std::uint64_t as_ulong;
};

TEST(VMJProcessorUnsigned, DoubleToUnsignedTruncatesAndSaturates) {
    const ToUnsignedCase cases[] = {
        {-1.0, 0, 0},
        {std::nan(""), 0, 0},
        {-0.5, 0, 0},
        {-0.0, 0, 0},
        {-kDInf, 0, 0},
        {0.9999, 0, 0},
        {12345.75, 12345, 12345},
        {2147483648.0, 0x80000000u, 0x80000000ull},
        {4294967294.5, 0xFFFFFFFEu, 0xFFFFFFFEull},
        {4294967295.0, 0xFFFFFFFFu, 0xFFFFFFFFull},
        {4294967296.0, 0xFFFFFFFFu, 0x100000000ull},
        {4294967296.5, 0xFFFFFFFFu, 0x100000000ull},
        {9223372036854775808.0, 0xFFFFFFFFu, 0x8000000000000000ull},
        {18446744073709549568.0, 0xFFFFFFFFu, 0xFFFFFFFFFFFFF800ull},  // below 2^64
        {18446744073709551616.0, 0xFFFFFFFFu, 0xFFFFFFFFFFFFFFFFull},  // 2^64
        {1e30, 0xFFFFFFFFu, 0xFFFFFFFFFFFFFFFFull},
        {kDInf, 0xFFFFFFFFu, 0xFFFFFFFFFFFFFFFFull},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value);
        EXPECT_EQ(static_cast<std::uint32_t>(d2ui(c.value)), c.as_uint);
        EXPECT_EQ(static_cast<std::uint64_t>(d2ul(c.value)), c.as_ulong);
    }
}

TEST(VMJProcessorUnsigned, FloatToUnsignedTruncatesAndSaturates) {
    EXPECT_EQ(f2ui(-1.0f), 0);
    EXPECT_EQ(f2ui(std::nanf("")), 0);
    EXPECT_EQ(static_cast<std::uint32_t>(f2ui(4294967040.0f)), 0xFFFFFF00u);  // below 2^32
    EXPECT_EQ(static_cast<std::uint32_t>(f2ui(4294967296.0f)), 0xFFFFFFFFu);
    EXPECT_EQ(static_cast<std::uint32_t>(f2ui(kFInf)), 0xFFFFFFFFu);
    EXPECT_EQ(f2ul(-1.0f), 0);
    EXPECT_EQ(f2ul(std::nanf("")), 0);
    EXPECT_EQ(f2ul(3.75f), 3);
    EXPECT_EQ(static_cast<std::uint64_t>(f2ul(18446742974197923840.0f)),
              0xFFFFFF0000000000ull);  // largest float below 2^64
    EXPECT_EQ(static_cast<std::uint64_t>(f2ul(18446744073709551616.0f)), ~0ull);
    EXPECT_EQ(static_cast<std::uint64_t>(f2ul(kFInf)), ~0ull);
}

TEST(VMJProcessorUnsigned, UnsignedToFloatingRoundsToNearest) {
    EXPECT_EQ(ui2d(-1), 4294967295.0);
    EXPECT_EQ(ui2d(kIntMin), 2147483648.0);
    EXPECT_EQ(ui2f(-1), 4294967296.0f);
    EXPECT_EQ(ui2f(0x7FFFFFC1), 2147483648.0f);
    EXPECT_EQ(ul2d(-1), 18446744073709551616.0);
    EXPECT_EQ(ul2d(kLongMin), 9223372036854775808.0);
    // Just above a midpoint between doubles: rounds up.
    EXPECT_EQ(ul2d(static_cast<std::int64_t>(0x8000000000000401ull)), 0x1p63 + 0x1p11);
    EXPECT_EQ(ul2f(-1), 0x1p64f);
    // Just above a midpoint between floats: must not be rounded twice.
    EXPECT_EQ(ul2f(static_cast<std::int64_t>(0x8000008000000001ull)), 0x1p63f + 0x1p40f);
    EXPECT_EQ(ul2f(static_cast<std::int64_t>(0x8000008000000000ull)), 0x1p63f);  // tie: even
}

}  // namespace
}  // namespace tarvelo::VMJProcessor
