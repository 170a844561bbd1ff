#include "vm/core/runtime_support/fp_convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace tarvelo::rt {
namespace {

constexpr std::int32_t kIntMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kIntMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kLongMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kLongMax = std::numeric_limits<std::int64_t>::max();

struct Case {
    double value;
    std::int32_t as_int;
    std::int64_t as_long;
};

// FPUtil's saturation bounds, and NaN answered with 0 rather than an
// undefined conversion even though its callers filter NaN first.
TEST(FPUtilConversions, TruncateTowardZeroAndSaturate) {
    const Case cases[] = {
        {-3.9, -3, -3},
        {0.99, 0, 0},
        {9.223372036854775807E18, kIntMax, kLongMax},
        {1e19, kIntMax, kLongMax},
        {-1e19, kIntMin, kLongMin},
        {2147483647.0, kIntMax, 2147483647},
        {-2147483648.0, kIntMin, -2147483648LL},
        {-2147483649.0, kIntMin, -2147483649LL},
        {std::nan(""), 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value);
        EXPECT_EQ(FPUtil::d2i(c.value), c.as_int);
        EXPECT_EQ(FPUtil::d2l(c.value), c.as_long);
        const auto f = static_cast<float>(c.value);
        if (static_cast<double>(f) == c.value || std::isnan(c.value)) {
            EXPECT_EQ(FPUtil::f2i(f), c.as_int);
            EXPECT_EQ(FPUtil::f2l(f), c.as_long);
        }
    }
    EXPECT_EQ(FPUtil::f2i(2147483648.0f), kIntMax);
    EXPECT_EQ(FPUtil::f2l(9223372036854775808.0f), kLongMax);
}

}  // namespace
}  // namespace tarvelo::rt
