#include "vm/core/runtime_support/decimal_text.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <string>

namespace tarvelo::rt {
namespace {

constexpr std::size_t kOffset = 3;

// Writes at an offset into a buffer filled with '#', checks the returned
// offset and that nothing outside the text changed.
template <typename Int, typename Fn>
void expect_text(Fn fn, Int value, const std::string& expected) {
    std::array<std::uint8_t, 32> buffer;
    buffer.fill('#');
    const std::size_t end = fn(buffer, value, kOffset);
    ASSERT_EQ(end, kOffset + expected.size()) << expected;
    EXPECT_EQ(std::string(buffer.begin() + kOffset, buffer.begin() + static_cast<long>(end)),
              expected);
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        if (i < kOffset || i >= end) {
            EXPECT_EQ(buffer[i], '#') << "byte " << i;
        }
    }
}

TEST(DecimalText, IntValues) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {0, "0"},
        {7, "7"},
        {-7, "-7"},
        {10, "10"},
        {-100, "-100"},
        {1000000000, "1000000000"},
        {1000000007, "1000000007"},
        {std::numeric_limits<std::int32_t>::max(), "2147483647"},
        {std::numeric_limits<std::int32_t>::min(), "-2147483648"},
        {-1, "-1"},
    };
    for (const auto& [value, text] : cases) {
        expect_text(String::intToByteArray, value, text);
    }
}

TEST(DecimalText, LongValues) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "0"},
        {-5, "-5"},
        {1000000000000000000LL, "1000000000000000000"},
        {-1000000000000000001LL, "-1000000000000000001"},
        {4294967296LL, "4294967296"},
        {std::numeric_limits<std::int64_t>::max(), "9223372036854775807"},
        {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
    };
    for (const auto& [value, text] : cases) {
        expect_text(String::longToByteArray, value, text);
    }
}

// A buffer too short for the text is refused whole, never overrun.
TEST(DecimalText, NoRoomWritesNothing) {
    std::array<std::uint8_t, 12> buffer;
    buffer.fill('#');
    EXPECT_EQ(String::intToByteArray(std::span(buffer).first(10),
                                     std::numeric_limits<std::int32_t>::min(), 0),
              String::kNoRoom);
    EXPECT_EQ(String::intToByteArray(buffer, 123, 10), String::kNoRoom);
    EXPECT_EQ(String::intToByteArray(buffer, 0, 13), String::kNoRoom);
    EXPECT_EQ(String::longToByteArray(buffer, std::numeric_limits<std::int64_t>::min(), 0),
              String::kNoRoom);
    for (std::uint8_t b : buffer) EXPECT_EQ(b, '#');
    // Exactly enough room.
    EXPECT_EQ(String::intToByteArray(buffer, 12, 10), 12u);
    EXPECT_EQ(String::intToByteArray(buffer, std::numeric_limits<std::int32_t>::min(), 1), 12u);
}

}  // namespace
}  // namespace tarvelo::rt
