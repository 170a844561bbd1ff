#include "vm/core/intrinsics/byte_array_intrinsics.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace tarvelo::IntrinsicOpcodes {
namespace {

constexpr std::int32_t kIntMin = std::numeric_limits<std::int32_t>::min();

// Memory Java sees has 32-bit addresses; static storage of this non-PIE test
// binary lies below 4 GiB, so the arrays live here.
alignas(8) std::uint8_t g_heap[256];

// A Java byte array of `length` bytes laid out in the static heap (header,
// owner, length word, elements from byte 12), elements 0x10, 0x11, ...
class ByteArrayIntrinsics : public testing::Test {
protected:
    word_t make_array(std::uint32_t length) {
        std::memset(g_heap, 0xEE, sizeof g_heap);
        std::memcpy(g_heap + 8, &length, 4);
        for (std::uint32_t i = 0; i < length; ++i) g_heap[12 + i] = static_cast<std::uint8_t>(0x10 + i);
        array_ = to_word(g_heap);
        return array_;
    }

    std::int32_t int_at(std::uint32_t offset) const {
        std::int32_t v;
        std::memcpy(&v, g_heap + 12 + offset, 4);
        return v;
    }

    std::vector<std::uint8_t> snapshot() const { return {g_heap, g_heap + sizeof g_heap}; }

    word_t array_ = 0;
};

TEST_F(ByteArrayIntrinsics, CompareAndSwapStoresOnlyOnMatch) {
    const word_t a = make_array(16);
    const std::int32_t old = int_at(4);

    auto r = byteArrayCompareAndSwapInt(a, 4, 0, old + 1, 99);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value, old);
    EXPECT_EQ(int_at(4), old);

    r = byteArrayCompareAndSwapInt(a, 1, 3, old, 99);  // only the sum counts
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value, old);
    EXPECT_EQ(int_at(4), 99);
}

TEST_F(ByteArrayIntrinsics, SwapAlwaysStores) {
    const word_t a = make_array(8);
    const std::int32_t old = int_at(4);
    auto r = byteArraySwapInt(a, 4, 0, -5);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value, old);
    EXPECT_EQ(int_at(4), -5);
    r = byteArraySwapInt(a, 0, 4, 7);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value, -5);
    EXPECT_EQ(int_at(4), 7);
}

struct IntAccessCase {
    const char* name;
    std::uint32_t length;  // 0xFFFFFFFF: null array
    std::int32_t offset, offset2;
    Throw thrown;
};

// Checks come in a fixed order: overflow of the offset sum, null, bounds,
// alignment. A failed check leaves the array untouched.
TEST_F(ByteArrayIntrinsics, IntAccessChecksInOrder) {
    constexpr std::uint32_t kNull = 0xFFFFFFFFu;
    const IntAccessCase cases[] = {
        {"last whole int", 8, 4, 0, Throw::none},
        {"first int", 4, 0, 0, Throw::none},
        {"misaligned", 8, 2, 0, Throw::arithmetic},
        {"misaligned sum", 8, 1, 0, Throw::arithmetic},
        {"at length", 8, 8, 0, Throw::array_index_out_of_bounds},
        {"3 bytes left", 8, 5, 0, Throw::array_index_out_of_bounds},
        {"3-byte array", 3, 0, 0, Throw::array_index_out_of_bounds},
        {"empty array", 0, 0, 0, Throw::array_index_out_of_bounds},
        {"negative", 8, -4, 0, Throw::array_index_out_of_bounds},
        {"negative sum", 8, 4, -8, Throw::array_index_out_of_bounds},  // no carry out
        {"sum wraps", 8, -4, 8, Throw::arithmetic},
        {"huge sum", 8, kIntMin, 0, Throw::array_index_out_of_bounds},
        {"null", kNull, 0, 0, Throw::null_pointer},
        {"null and overflow", kNull, -1, 1, Throw::arithmetic},
        {"misaligned and out of bounds", 8, 6, 0, Throw::array_index_out_of_bounds},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const word_t a = c.length == kNull ? 0 : make_array(c.length);
        const auto before = snapshot();
        const auto cas = byteArrayCompareAndSwapInt(a, c.offset, c.offset2, 0x11111111, 1);
        const auto swap = byteArraySwapInt(a, c.offset, c.offset2, 1);
        EXPECT_EQ(cas.thrown, c.thrown);
        EXPECT_EQ(swap.thrown, c.thrown);
        if (c.thrown != Throw::none) {
            EXPECT_EQ(snapshot(), before);
        }
    }
}

struct FillCase {
    const char* name;
    std::uint32_t length;  // 0xFFFFFFFF: null array
    std::int32_t offset, count;
    Throw thrown;
};

TEST_F(ByteArrayIntrinsics, FillChecks) {
    constexpr std::uint32_t kNull = 0xFFFFFFFFu;
    const FillCase cases[] = {
        {"whole array", 10, 0, 10, Throw::none},
        {"nothing at the end", 10, 10, 0, Throw::none},
        {"nothing in empty", 0, 0, 0, Throw::none},
        {"one past", 10, 1, 10, Throw::index_out_of_bounds},
        {"start past end", 10, 11, 0, Throw::index_out_of_bounds},
        {"negative count", 10, 0, -1, Throw::index_out_of_bounds},
        {"negative offset", 10, -1, 0, Throw::index_out_of_bounds},
        {"negative offset wraps", 10, -1, 1, Throw::arithmetic},
        {"negative count wraps", 10, 5, -3, Throw::arithmetic},
        {"null", kNull, 0, 0, Throw::null_pointer},
        {"null and overflow", kNull, -1, 2, Throw::null_pointer},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const word_t a = c.length == kNull ? 0 : make_array(c.length);
        const auto before = snapshot();
        EXPECT_EQ(byteArrayFill(a, c.offset, c.count, 0x7A), c.thrown);
        if (c.thrown != Throw::none || c.count == 0) {
            EXPECT_EQ(snapshot(), before);
        }
    }
}

TEST_F(ByteArrayIntrinsics, FillWritesTheLowByteInRangeOnly) {
    make_array(10);
    const auto before = snapshot();
    ASSERT_EQ(byteArrayFill(array_, 3, 4, 0x1FF), Throw::none);
    const auto after = snapshot();
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (i >= 12 + 3 && i < 12 + 7) {
            EXPECT_EQ(after[i], 0xFF) << i;
        } else {
            EXPECT_EQ(after[i], before[i]) << i;
        }
    }
}

}  // namespace
}  // namespace tarvelo::IntrinsicOpcodes
