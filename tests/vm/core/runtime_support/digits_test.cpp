#include "vm/core/runtime_support/digits.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace tarvelo::rt {
namespace {

TEST(Digits, DigitAtTheEdgesOfEachRange) {
    const std::pair<std::int32_t, std::int32_t> cases[] = {
        {'/', -1}, {'0', 0},  {'9', 9},  {':', -1}, {'@', -1},   {'A', 10},
        {'Z', 35}, {'[', -1}, {'`', -1}, {'a', 10}, {'z', 35},   {'{', -1},
        {0, -1},   {-1, -1},  {0xFF10, -1},  // fullwidth digit zero
        {0x10030, -1},  // '0' plus 0x10000: no truncation to 16 bits
        {std::numeric_limits<std::int32_t>::min(), -1},
    };
    for (const auto& [ch, value] : cases) {
        EXPECT_EQ(Character::digit(ch), value) << ch;
    }
}

TEST(Digits, ForDigitAtTheEdgesAndRoundTrip) {
    const std::pair<std::int32_t, std::int32_t> cases[] = {
        {-1, -1}, {0, '0'}, {9, '9'}, {10, 'a'}, {35, 'z'}, {36, -1},
        {std::numeric_limits<std::int32_t>::min(), -1},
        {std::numeric_limits<std::int32_t>::max(), -1},
    };
    for (const auto& [value, ch] : cases) {
        EXPECT_EQ(Character::forDigit(value), ch) << value;
    }
    for (std::int32_t d = 0; d < 36; ++d) {
        EXPECT_EQ(Character::digit(Character::forDigit(d)), d);
    }
}

}  // namespace
}  // namespace tarvelo::rt
