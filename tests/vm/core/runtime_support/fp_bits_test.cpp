#include "vm/core/runtime_support/fp_bits.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "tests/vm/core/fp_test_support.h"

namespace tarvelo::rt {
namespace {

using test::dval;
using test::fval;

struct FloatBitsCase {
    std::uint32_t in, out;
    bool nan;
};

TEST(FloatBits, EveryNaNHasTheCanonicalPatternOthersKeepTheirs) {
    const FloatBitsCase cases[] = {
        {0xFFC00001u, 0x7FC00000u, true},  // negative NaN with payload
        {0x7F800001u, 0x7FC00000u, true},  // signalling
        {0xFF800001u, 0x7FC00000u, true},
        {0x7FFFFFFFu, 0x7FC00000u, true},
        {0x7FC00000u, 0x7FC00000u, true},
        {0x7F800000u, 0x7F800000u, false},  // +infinity
        {0xFF800000u, 0xFF800000u, false},  // -infinity
        {0x80000000u, 0x80000000u, false},  // -0.0
        {0x7F7FFFFFu, 0x7F7FFFFFu, false},  // largest finite
        {0x00000001u, 0x00000001u, false},  // smallest subnormal
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.in);
        EXPECT_EQ(static_cast<std::uint32_t>(FPUtil::floatToIntBitsCheck(fval(c.in))), c.out);
        EXPECT_EQ(Float::isNaN(fval(c.in)), c.nan);
    }
}

struct DoubleBitsCase {
    std::uint64_t in, out;
    bool nan, infinite;
};

TEST(DoubleBits, EveryNaNHasTheCanonicalPatternOthersKeepTheirs) {
    const DoubleBitsCase cases[] = {
        {0xFFF8000000000001ull, 0x7FF8000000000000ull, true, false},
        {0x7FF0000000000001ull, 0x7FF8000000000000ull, true, false},
        {0xFFFFFFFFFFFFFFFFull, 0x7FF8000000000000ull, true, false},
        {0x7FF8000000000000ull, 0x7FF8000000000000ull, true, false},
        {0x7FF0000000000000ull, 0x7FF0000000000000ull, false, true},
        {0xFFF0000000000000ull, 0xFFF0000000000000ull, false, true},
        {0x7FEFFFFFFFFFFFFFull, 0x7FEFFFFFFFFFFFFFull, false, false},
        {0xFFEFFFFFFFFFFFFFull, 0xFFEFFFFFFFFFFFFFull, false, false},
        {0x8000000000000000ull, 0x8000000000000000ull, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.in);
        EXPECT_EQ(static_cast<std::uint64_t>(FPUtil::doubleToLongBitsCheck(dval(c.in))), c.out);
        EXPECT_EQ(Double::isNaN(dval(c.in)), c.nan);
        EXPECT_EQ(Double::isInfinite(dval(c.in)), c.infinite);
    }
}

}  // namespace
}  // namespace tarvelo::rt
