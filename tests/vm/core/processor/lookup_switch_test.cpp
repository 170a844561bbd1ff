#include "vm/core/processor/lookup_switch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace tarvelo::VMJProcessor {
namespace {

// Lays out a switch table as the image holds it: the default offset in the
// two bytes before the 4-byte aligned key table, the keys, then one offset
// per key. Offsets count from the key table.
class SwitchTable {
public:
    SwitchTable(const std::vector<std::int32_t>& keys, const std::vector<std::uint16_t>& offsets,
                std::uint16_t default_offset)
        : count_(static_cast<std::uint32_t>(keys.size())),
          storage_(2 + keys.size() + (offsets.size() + 1) / 2, 0) {
        std::uint8_t* k = this->keys();
        std::memcpy(k - 2, &default_offset, 2);
        if (!keys.empty()) {
            std::memcpy(k, keys.data(), 4 * keys.size());
            std::memcpy(k + 4 * keys.size(), offsets.data(), 2 * offsets.size());
        }
    }

    std::uint8_t* keys() { return reinterpret_cast<std::uint8_t*>(storage_.data() + 2); }
    std::uint32_t count() const { return count_; }

    // Offset of the target from the key table.
    std::ptrdiff_t target(std::int32_t key) { return lookupSwitch(count_, keys(), key) - keys(); }

private:
    std::uint32_t count_;
    std::vector<std::uint32_t> storage_;  // word storage keeps the keys aligned
};

TEST(LookupSwitch, EmptyTableTakesDefault) {
    SwitchTable table({}, {}, 0x1234);
    for (std::int32_t key : {0, 1, -1, std::numeric_limits<std::int32_t>::min()}) {
        EXPECT_EQ(table.target(key), 0x1234);
    }
}

TEST(LookupSwitch, ExtremeKeysAreFoundAndOffsetsAreUnsigned) {
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    SwitchTable table({kMin, -5, 0, 7, kMax}, {10, 20, 30, 0xFFFF, 50}, 0x8000);
    EXPECT_EQ(table.target(kMin), 10);
    EXPECT_EQ(table.target(-5), 20);
    EXPECT_EQ(table.target(0), 30);
    EXPECT_EQ(table.target(7), 0xFFFF);
    EXPECT_EQ(table.target(kMax), 50);
    for (std::int32_t key : {kMin + 1, -6, -4, -1, 1, 6, 8, kMax - 1}) {
        EXPECT_EQ(table.target(key), 0x8000) << key;
    }
}

// Every table size up to a few dozen keys, each key found and each gap
// between, below and above the keys falling to the default.
TEST(LookupSwitch, EveryKeyFoundInTablesOfEverySize) {
    for (std::uint32_t n = 1; n <= 40; ++n) {
        std::vector<std::int32_t> keys;
        std::vector<std::uint16_t> offsets;
        for (std::uint32_t i = 0; i < n; ++i) {
            keys.push_back(3 * static_cast<std::int32_t>(i) - 50);
            offsets.push_back(static_cast<std::uint16_t>(100 + i));
        }
        SwitchTable table(keys, offsets, 7);
        for (std::uint32_t i = 0; i < n; ++i) {
            EXPECT_EQ(table.target(keys[i]), 100 + static_cast<std::ptrdiff_t>(i))
                << "n=" << n << " i=" << i;
            EXPECT_EQ(table.target(keys[i] + 1), 7) << "n=" << n << " i=" << i;
        }
        EXPECT_EQ(table.target(keys.front() - 1), 7) << "n=" << n;
    }
}

}  // namespace
}  // namespace tarvelo::VMJProcessor
