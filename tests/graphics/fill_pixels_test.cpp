// Runs of one RGB565 colour: exactly the pixels asked for, from every
// alignment, for lengths around each store width the fill switches between
// (single pixels, 16- and 32-byte vectors, the string store of long runs).
#include "graphics/pixels/fill_pixels.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarvelo::graphics {
namespace {

TEST(FillPixels, WritesExactlyTheRunFromEveryAlignment) {
    constexpr std::uint16_t kColours[] = {0x34D9, 0x3333, 0x0000, 0xFFFF, 0x00FF, 0xFF00, 0x1234};
    constexpr std::size_t kCounts[] = {0, 1, 2, 3, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65, 100,
                                       1023, 1024, 1025, 1026, 5000};
    constexpr std::size_t kGuard = 40;
    std::vector<std::uint16_t> memory(5000 + 2 * kGuard + 32);
    for (std::uint16_t colour : kColours)
        for (std::size_t count : kCounts)
            for (std::size_t offset = 0; offset < 32; ++offset) {
                for (std::size_t i = 0; i < memory.size(); ++i) memory[i] = static_cast<std::uint16_t>(0xA5A5 ^ i);
                fill_rgb565(memory.data() + kGuard + offset, count, colour);
                for (std::size_t i = 0; i < memory.size(); ++i) {
                    const bool inside = i >= kGuard + offset && i < kGuard + offset + count;
                    const std::uint16_t want = inside ? colour : static_cast<std::uint16_t>(0xA5A5 ^ i);
                    ASSERT_EQ(memory[i], want) << "colour " << colour << " count " << count << " offset " << offset
                                               << " pixel " << i;
                }
            }
}

}  // namespace
}  // namespace tarvelo::graphics
