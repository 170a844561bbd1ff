#include "vm/core/runtime_support/math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>

#include "tests/vm/core/fp_test_support.h"

namespace tarvelo::rt {
namespace {

using test::dbits;
using test::dval;
using test::fbits;
using test::fval;
using test::kDoubleNaN;
using test::kFloatNaN;

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kPayloadNaN = dval(0x7FF0000000000123ull);
const double kNegativeNaN = dval(0xFFF8000000000000ull);

struct NaNCase {
    const char* name;
    std::function<double()> call;
};

// Domain errors, NaN arguments and the Java-only special cases of pow all
// give exactly the canonical NaN, whatever sign or payload libm or the
// argument had.
TEST(RuntimeMath, EveryNaNResultIsCanonical) {
    const NaNCase cases[] = {
        {"cos(inf)", [] { return Math::cos(kInf); }},
        {"sin(-inf)", [] { return Math::sin(-kInf); }},
        {"tan(inf)", [] { return Math::tan(kInf); }},
        {"cos(payload)", [] { return Math::cos(kPayloadNaN); }},
        {"pow(1, NaN)", [] { return Math::pow(1.0, kPayloadNaN); }},
        {"pow(-1, inf)", [] { return Math::pow(-1.0, kInf); }},
        {"pow(-1, -inf)", [] { return Math::pow(-1.0, -kInf); }},
        {"pow(1, inf)", [] { return Math::pow(1.0, kInf); }},
        {"pow(-8, 1/3)", [] { return Math::pow(-8.0, 1.0 / 3.0); }},
        {"pow(NaN, 2)", [] { return Math::pow(kNegativeNaN, 2.0); }},
        {"acos(2)", [] { return Math::acos(2.0); }},
        {"asin(-2)", [] { return Math::asin(-2.0); }},
        {"log(-1)", [] { return Math::log(-1.0); }},
        {"log10(-1)", [] { return Math::log10(-1.0); }},
        {"log1p(-2)", [] { return Math::log1p(-2.0); }},
        {"sqrt(-1)", [] { return Math::sqrt(-1.0); }},
        {"floor(payload)", [] { return Math::floor(kPayloadNaN); }},
        {"ceil(-NaN)", [] { return Math::ceil(kNegativeNaN); }},
        {"rint(payload)", [] { return Math::rint(kPayloadNaN); }},
        {"exp(payload)", [] { return Math::exp(kPayloadNaN); }},
        {"atan2(NaN, 1)", [] { return Math::atan2(kNegativeNaN, 1.0); }},
        {"IEEEremainder(1, 0)", [] { return Math::IEEEremainder(1.0, 0.0); }},
        {"IEEEremainder(inf, 1)", [] { return Math::IEEEremainder(kInf, 1.0); }},
        {"nextAfter(1, NaN)", [] { return Math::nextAfter(1.0, kNegativeNaN); }},
        {"scalb(NaN, 3)", [] { return Math::scalb(kPayloadNaN, 3); }},
        {"hypot(NaN, 1)", [] { return Math::hypot(kPayloadNaN, 1.0); }},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dbits(c.call()), kDoubleNaN) << c.name;
    }
    EXPECT_EQ(fbits(Math::nextAfter(1.0f, kPayloadNaN)), kFloatNaN);
    EXPECT_EQ(fbits(Math::scalb(fval(0xFFC00001u), 1)), kFloatNaN);
}

struct ValueCase {
    const char* name;
    std::function<double()> call;
    double expected;
};

TEST(RuntimeMath, SpecialValues) {
    const ValueCase cases[] = {
        {"pow(2, 10)", [] { return Math::pow(2.0, 10.0); }, 1024.0},
        {"pow(NaN, 0)", [] { return Math::pow(kPayloadNaN, 0.0); }, 1.0},
        {"pow(-NaN, -0)", [] { return Math::pow(kNegativeNaN, -0.0); }, 1.0},
        {"hypot(inf, NaN)", [] { return Math::hypot(kInf, kPayloadNaN); }, kInf},
        {"hypot(NaN, -inf)", [] { return Math::hypot(kNegativeNaN, -kInf); }, kInf},
        {"hypot(3, -4)", [] { return Math::hypot(3.0, -4.0); }, 5.0},
        {"pow(0, -1)", [] { return Math::pow(0.0, -1.0); }, kInf},
        {"pow(-0, -1)", [] { return Math::pow(-0.0, -1.0); }, -kInf},
        {"pow(-0, 0.5)", [] { return Math::pow(-0.0, 0.5); }, 0.0},
        {"pow(2, -inf)", [] { return Math::pow(2.0, -kInf); }, 0.0},
        {"pow(0.5, -inf)", [] { return Math::pow(0.5, -kInf); }, kInf},
        {"cos(0)", [] { return Math::cos(0.0); }, 1.0},
        {"sin(-0)", [] { return Math::sin(-0.0); }, -0.0},
        {"rint(2.5)", [] { return Math::rint(2.5); }, 2.0},
        {"rint(3.5)", [] { return Math::rint(3.5); }, 4.0},
        {"rint(-2.5)", [] { return Math::rint(-2.5); }, -2.0},
        {"rint(-0.4)", [] { return Math::rint(-0.4); }, -0.0},
        {"ceil(-0.5)", [] { return Math::ceil(-0.5); }, -0.0},
        {"floor(-0.5)", [] { return Math::floor(-0.5); }, -1.0},
        {"sqrt(-0)", [] { return Math::sqrt(-0.0); }, -0.0},
        {"IEEEremainder(5, 3)", [] { return Math::IEEEremainder(5.0, 3.0); }, -1.0},
        {"IEEEremainder(-0, 2)", [] { return Math::IEEEremainder(-0.0, 2.0); }, -0.0},
        {"copySign(3, -0)", [] { return Math::copySign(3.0, -0.0); }, -3.0},
        {"copySign(-3, 0)", [] { return Math::copySign(-3.0, 0.0); }, 3.0},
        {"nextAfter(0, -1)", [] { return Math::nextAfter(0.0, -1.0); }, -0x1p-1074},
        {"nextAfter(1, 1)", [] { return Math::nextAfter(1.0, 1.0); }, 1.0},
        {"scalb(1, 1024)", [] { return Math::scalb(1.0, 1024); }, kInf},
        {"scalb(1, -1074)", [] { return Math::scalb(1.0, -1074); }, 0x1p-1074},
        {"scalb(3, -1075)", [] { return Math::scalb(3.0, -1075); }, 0x1p-1073},
        {"abs(-0)", [] { return Math::abs(-0.0); }, -0.0},
        {"abs(-2)", [] { return Math::abs(-2.0); }, 2.0},
        {"max(-0, 0)", [] { return Math::max(-0.0, 0.0); }, 0.0},
        {"max(0, -0)", [] { return Math::max(0.0, -0.0); }, -0.0},
        {"min(1, 2)", [] { return Math::min(1.0, 2.0); }, 1.0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dbits(c.call()), dbits(c.expected)) << c.name;
    }
}

TEST(RuntimeMath, CopySignKeepsNaNPayloads) {
    EXPECT_EQ(dbits(Math::copySign(kPayloadNaN, -1.0)), 0xFFF0000000000123ull);
    EXPECT_EQ(dbits(Math::copySign(-1.0, kPayloadNaN)), dbits(1.0));
    EXPECT_EQ(fbits(Math::copySign(fval(0x7FC00005u), -0.0f)), 0xFFC00005u);
    EXPECT_EQ(fbits(Math::copySign(3.0f, -0.0f)), fbits(-3.0f));
    EXPECT_EQ(fbits(Math::copySign(-3.0f, fval(0x7FC00000u))), fbits(3.0f));
}

// Library abs inverts the sign of anything not >= 0, NaN included; the
// inline routines handle zeros and NaN before relying on it.
TEST(RuntimeMath, AbsInvertsSignOfNaN) {
    EXPECT_EQ(dbits(Math::abs(kPayloadNaN)), 0xFFF0000000000123ull);
    EXPECT_EQ(dbits(Math::abs(kNegativeNaN)), kDoubleNaN);
}

// The float form narrows the direction first: a direction within half a
// float step of the start counts as equal to it.
TEST(RuntimeMath, FloatNextAfterNarrowsDirection) {
    EXPECT_EQ(Math::nextAfter(1.0f, 2.0), std::nextafter(1.0f, 2.0f));
    EXPECT_EQ(Math::nextAfter(1.0f, 1.0 + 1e-12), 1.0f);
    EXPECT_EQ(Math::nextAfter(1.0f, -kInf), std::nextafter(1.0f, 0.0f));
    EXPECT_EQ(fbits(Math::nextAfter(0.0f, -1.0)), 0x80000001u);
    EXPECT_EQ(Math::scalb(1.0f, -149), 0x1p-149f);
    EXPECT_EQ(Math::scalb(1.0f, 128), std::numeric_limits<float>::infinity());
}

TEST(RuntimeMath, IntForms) {
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    EXPECT_EQ(Math::abs(kMin), kMin);
    EXPECT_EQ(Math::abs(-kMax), kMax);
    EXPECT_EQ(Math::abs(0), 0);
    EXPECT_EQ(Math::max(-1, kMin), -1);
    EXPECT_EQ(Math::min(-1, kMax), -1);
    EXPECT_EQ(Math::max(kMax, kMin), kMax);
    EXPECT_EQ(Math::min(kMax, kMin), kMin);
}

}  // namespace
}  // namespace tarvelo::rt
