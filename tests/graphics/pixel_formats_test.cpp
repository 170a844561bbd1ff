// Pixel formats: geometry, readers, writers, premultiplication, palettes and
// run-length data, pixel-exact.
#include "graphics/pixels/pixel_formats.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "graphics/images/new_images.h"
#include "platform/address.h"
#include "tests/graphics/test_port.h"

namespace tarvelo::graphics {
namespace {

// An image of one format over bytes of the test: header, then the pixels.
struct RawImage {
    std::uint8_t* bytes = test::low_bytes(256);
    SPictavoImage image{};
    RawImage(std::int8_t format, std::uint16_t w, std::uint16_t h, std::uint16_t m,
             std::vector<std::uint8_t> pixels, std::uint32_t palette_entries = 0, std::uint8_t entry_size = 4) {
        image = NewImages::describe(bytes, format, w, h, m, 0, 16);
        auto* header = reinterpret_cast<RawHeader*>(bytes);
        if (palette_entries != 0) {
            header->palette_entry_size = entry_size;
            header->palette_count_minus_1 = static_cast<std::uint8_t>(palette_entries - 1);
        }
        std::memcpy(bytes + 16, pixels.data(), pixels.size());
    }
    std::uint32_t read(std::int32_t x, std::int32_t y, std::uint32_t colour = 0x123456) const {
        PixelSource s;
        EXPECT_TRUE(prepare_source(&image, colour, &s));
        return read_pixel(s, x, y);
    }
};

struct ReadCase {
    std::int8_t format;
    std::vector<std::uint8_t> pixels;
    std::int32_t x;
    std::uint32_t expected;
};

TEST(PixelFormats, ReadersGiveExactARGB) {
    const ReadCase cases[] = {
        {4, {0xFF, 0xFF}, 0, 0xFFF8FCF8},          // RGB565: no low-bit replication
        {0, {0x00, 0xF8}, 0, 0xFFF80000},          // the display format reads as RGB565
        {6, {0xF0, 0xF0}, 0, 0xFF00FF00},          // ARGB4444: each nibble doubled
        {6, {0x0F, 0xFF}, 0, 0xFFFF00FF},
        {24, {0x40, 0x40, 0x40, 0x80}, 0, 0x807F7F7F},  // ARGB8888PRE un-premultiplied
        {24, {0x00, 0x00, 0xFF, 0x10}, 0, 0x10FF0000},  // invalid premultiplied data is clamped
        {2, {0x78, 0x56, 0x34, 0x12}, 0, 0x12345678},
        {3, {0x01, 0x02, 0x03}, 0, 0xFF030201},
        {5, {0x1F, 0x80}, 0, 0xFF0000F8},
        {5, {0x1F, 0x00}, 0, 0x000000F8},
        {8, {0x00, 0x80}, 1, 0x80123456},           // A8: alpha byte, foreground colour
        {7, {0x5A}, 0, 0xAA123456},                 // A4, low nibble first
        {7, {0x5A}, 1, 0x55123456},
        {11, {0b11100100}, 2, 0xAA123456},          // A2
        {12, {0b00000010}, 1, 0xFF123456},          // A1
        {12, {0b00000010}, 0, 0x00123456},
        {13, {0xF0}, 1, 0xFFFFFFFF},                // C4 grey
        {14, {0b00000100}, 1, 0xFF555555},          // C2
        {15, {0b00000001}, 0, 0xFFFFFFFF},          // C1
        {15, {0b00000001}, 1, 0xFF000000},
        {16, {0xF5}, 0, 0xFF555555},                // AC44
        {17, {0b10110000}, 1, 0xAAFFFFFF},          // AC22 (pixel 1 in the high nibble)
        {18, {0b00001000}, 1, 0xFF000000},          // AC11: alpha bit set, black
        {26, {0x88, 0x88}, 0, 0x88FFFFFF},          // ARGB4444PRE
    };
    for (const ReadCase& c : cases) {
        RawImage raw(c.format, 4, 1, 4, c.pixels);
        EXPECT_EQ(raw.read(c.x, 0), c.expected) << "format " << int(c.format) << " x " << c.x;
    }
}

TEST(PixelFormats, PaletteIndexBeyondThePaletteReadsOpaqueBlack) {
    // Two 3-byte entries (B, G, R), then the indices 0, 1 and 200.
    RawImage raw(9, 3, 1, 3, {0x10, 0x20, 0x30, 0x01, 0x02, 0x03, 0, 1, 200}, 2, 3);
    EXPECT_EQ(raw.read(0, 0), 0xFF302010u);
    EXPECT_EQ(raw.read(1, 0), 0xFF030201u);
    EXPECT_EQ(raw.read(2, 0), 0xFF000000u);
    // 4-byte entries: an ARGB word.
    RawImage argb(10, 2, 1, 2, {0x44, 0x33, 0x22, 0x11, 0, 5}, 1, 4);
    EXPECT_EQ(argb.read(0, 0), 0x11223344u);
    EXPECT_EQ(argb.read(1, 0), 0xFF000000u);
}

TEST(PixelFormats, A8RunLengthGroups) {
    // [0x8003][0xC002][0x0000]: 3 opaque, 2 transparent, then the end.
    const std::uint8_t data[] = {0x03, 0x80, 0x02, 0xC0, 0x00, 0x00};
    for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(read_a8rle(data, i, 100, 0x00ABCDEF), 0xFFABCDEFu) << i;
    for (std::uint32_t i = 3; i < 10; ++i) EXPECT_EQ(read_a8rle(data, i, 100, 0x00ABCDEF), 0u) << i;
    // A literal group of 3 opacities takes 2 + 3 + 1 bytes; the next header
    // follows the filler byte.
    const std::uint8_t literal[] = {0x03, 0x40, 10, 20, 30, 0xEE, 0x02, 0x00, 77, 0, 0, 0};
    EXPECT_EQ(read_a8rle(literal, 2, 100, 0), 30u << 24);
    EXPECT_EQ(read_a8rle(literal, 3, 100, 0), 77u << 24);
    EXPECT_EQ(read_a8rle(literal, 4, 100, 0), 77u << 24);
    EXPECT_EQ(read_a8rle(literal, 5, 100, 0), 0u);
}

TEST(PixelFormats, RunLengthReadsInAnyOrderAgreeWithAFreshWalk) {
    // 4 x 3 A8RLE: 5 opaque, a literal of 3, 2 of 0x40, then transparent.
    const std::vector<std::uint8_t> groups = {0x05, 0x80, 0x03, 0x40, 1, 2, 3, 0, 0x02, 0x00, 0x40, 0, 0x02, 0xC0, 0, 0};
    RawImage raw(23, 4, 3, 4, groups);
    PixelSource s;
    ASSERT_TRUE(prepare_source(&raw.image, 0x000000FF, &s));
    std::vector<std::uint32_t> forward;
    for (std::int32_t i = 0; i < 12; ++i) forward.push_back(read_pixel(s, i % 4, i / 4));
    for (std::int32_t i = 11; i >= 0; --i) {
        EXPECT_EQ(read_pixel(s, i % 4, i / 4), forward[i]) << i;
        EXPECT_EQ(read_a8rle(raw.bytes + 16, i, 12, 0xFF), forward[i]) << i;
    }
    EXPECT_EQ(forward[6], (2u << 24) | 0xFF);
    EXPECT_EQ(forward[9], (0x40u << 24) | 0xFF);
    EXPECT_EQ(forward[11], 0u);
}

TEST(PixelFormats, ARGB1565RunLengthGroups) {
    // 2 pixels of 0xF800, a literal of 0x07E0 and 0x001F, 1 transparent,
    // then a group of the type that does not occur: reading stops there.
    const std::uint8_t data[] = {0x02, 0x00, 0x00, 0xF8, 0x02, 0x40, 0xE0, 0x07, 0x1F, 0x00,
                                 0x01, 0xC0, 0x05, 0x80, 0, 0};
    EXPECT_EQ(read_argb1565rle(data, 1, 100), 0xFFF80000u);
    EXPECT_EQ(read_argb1565rle(data, 2, 100), 0xFF00FC00u);
    EXPECT_EQ(read_argb1565rle(data, 3, 100), 0xFF0000F8u);
    EXPECT_EQ(read_argb1565rle(data, 4, 100), 0u);
    EXPECT_EQ(read_argb1565rle(data, 5, 100), 0u);
}

TEST(PixelFormats, WritersRoundTrip) {
    alignas(4) std::uint8_t px[8] = {};
    EXPECT_TRUE(write_pixel(4, px, 4, 0, 0, 0xFFFFFFFF));
    EXPECT_EQ(px[0] | px[1] << 8, 0xFFFF);
    EXPECT_TRUE(write_pixel(5, px, 4, 0, 0, 0xFEFFFFFF));  // alpha 254: bit 15 clear
    EXPECT_EQ(px[1] & 0x80, 0);
    EXPECT_TRUE(write_pixel(5, px, 4, 0, 0, 0xFFFFFFFF));
    EXPECT_EQ(px[1] & 0x80, 0x80);
    EXPECT_TRUE(write_pixel(6, px, 4, 0, 0, 0x12345678));
    EXPECT_EQ(px[0] | px[1] << 8, 0x1357);
    EXPECT_TRUE(write_pixel(8, px, 4, 1, 0, 0x9A000000));
    EXPECT_EQ(px[1], 0x9A);
    EXPECT_TRUE(write_pixel(3, px, 2, 1, 0, 0x00112233));
    EXPECT_EQ(px[3], 0x33);
    EXPECT_EQ(px[5], 0x11);
    EXPECT_FALSE(write_pixel(7, px, 4, 0, 0, 0));   // A4 has no writer
    EXPECT_FALSE(write_pixel(-3, px, 4, 0, 0, 0));  // nor a custom format
}

TEST(PixelFormats, Geometry) {
    // A 5-pixel-wide RGB565 image: memory width 6, 12 bytes a row.
    EXPECT_EQ(default_memory_width(4, 5), 6u);
    EXPECT_EQ(data_size(4, 5, 3, 6), 36u);
    // A 5-pixel-wide A4 image: 3 bytes a row.
    EXPECT_EQ(default_memory_width(7, 5), 3u);
    EXPECT_EQ(data_size(7, 5, 3, 3), 9u);
    // A wider stride than the default keeps every row inside the data.
    EXPECT_EQ(data_size(7, 5, 3, 8), 24u);
    EXPECT_EQ(default_memory_width(12, 9), 2u);
    EXPECT_EQ(default_memory_width(11, 5), 2u);
    EXPECT_EQ(header_size(9), 14u);
    EXPECT_EQ(header_size(-8), 12u);
    EXPECT_EQ(header_size(27), 0u);
    EXPECT_EQ(data_size(1, 5, 5, 5), 0u);   // run-length: not created at run time
    EXPECT_EQ(data_size(-2, 5, 5, 5), 0u);  // custom
    // No wrap: 32768 x 32768 ARGB8888 is 4 GiB, not 0.
    EXPECT_EQ(data_size(2, 32768, 32768, 32768), 1ull << 32);
    // Strides of a custom format (no bits per pixel) are kept, not divided.
    EXPECT_EQ(stride_to_pixels(0, 40), 40u);
    EXPECT_EQ(stride_to_pixels(4, 3), 6u);
    EXPECT_EQ(stride_to_bytes(16, 6), 12u);
    EXPECT_EQ(bytes_to_stride(32, 16), 4u);
}

TEST(PixelFormats, TableMatchesTheCodes) {
    for (std::int32_t code = 0; code < kFormatCount; ++code) {
        ASSERT_NE(format_info(code), nullptr);
        EXPECT_EQ(format_info(code)->code, code);
    }
    EXPECT_EQ(format_info(-1), nullptr);
    EXPECT_EQ(format_info(27), nullptr);
    EXPECT_EQ(display_colour_count(), 65536u);
    EXPECT_EQ(gray_level(0xFFFFFFFF), 255u);
}

}  // namespace
}  // namespace tarvelo::graphics
