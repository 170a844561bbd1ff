// Fonts and text with small hand-made 1-bit fonts: validation against the
// font's size, glyph lookup, widths, pixel-exact text, the ellipsis, and
// scaled text that shrinks glyphs to one pixel.
#include "graphics/fonts/fonts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/address.h"
#include "tests/graphics/test_port.h"

namespace tarvelo::graphics {
namespace {

using test::Canvas;
using Bytes = std::vector<std::uint8_t>;

struct TestGlyph {
    std::uint8_t advance, width, height;
    std::vector<std::uint8_t> rows;  // one byte per row, pixel x at bit x
};

// A 1-bit font: ranges [65, 66] and [0x10400, 0x10400], 4-byte bounds,
// tab code 2, space width 2, line height 4, baseline 3.
Bytes make_font(std::uint8_t version = 6) {
    const TestGlyph glyphs[] = {
        {4, 3, 3, {0b010, 0b111, 0b101}},  // A
        {3, 2, 2, {0b11, 0b11}},           // B
        {2, 1, 1, {0b1}},                  // U+10400
    };
    Bytes f(36, 0);
    std::memcpy(f.data(), "TRV_FNT", 7);
    f[7] = version;
    f[8] = 0x08;  // 1 bit per pixel, tab code 2
    f[9] = 0x08;  // 4-byte range bounds, 16-bit glyph offsets, 8-bit glyph headers
    auto put16 = [&](std::size_t at, std::uint32_t v) { f[at] = static_cast<std::uint8_t>(v), f[at + 1] = static_cast<std::uint8_t>(v >> 8); };
    put16(10, 0xFFFF);
    put16(12, 4);
    put16(14, 3);
    put16(16, 2);
    f[21] = 2;  // ranges
    f[22] = 1;  // identifiers
    put16(24, 36);
    f.insert(f.end(), {7, 0, 0, 0});
    put16(26, static_cast<std::uint32_t>(f.size()));
    f.insert(f.end(), {'t', 0});
    put16(28, static_cast<std::uint32_t>(f.size()));
    for (std::uint32_t v : {65u, 66u, 0x10400u, 0x10400u})
        for (int i = 0; i < 4; ++i) f.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    put16(30, static_cast<std::uint32_t>(f.size()));
    const std::size_t table = f.size();
    f.resize(f.size() + 6);
    for (int g = 0; g < 3; ++g) {
        put16(table + 2 * g, static_cast<std::uint32_t>(f.size()));
        const TestGlyph& t = glyphs[g];
        f.insert(f.end(), {t.advance, 0, 0, t.width, t.height});
        f.insert(f.end(), t.rows.begin(), t.rows.end());
    }
    return f;
}

// The font copied below 4 GiB and the application's font data for it.
struct LoadedFont {
    std::uint8_t* bytes;
    std::uint8_t data[12] = {};
    explicit LoadedFont(const Bytes& f) : bytes(test::low_bytes(static_cast<std::uint32_t>(f.size()))) {
        std::memcpy(bytes, f.data(), f.size());
        const std::uint32_t address = to_word(bytes);
        std::memcpy(data, &address, 4);
    }
};

std::string picture(Canvas& c) {
    std::string s;
    for (std::int32_t y = 0; y < c.gc.image.height; ++y) {
        for (std::int32_t x = 0; x < c.gc.image.width; ++x) s += c.at(x, y) == 0xFFFF ? '#' : c.at(x, y) ? '+' : '.';
        s += '\n';
    }
    return s;
}

std::vector<std::uint16_t> utf16(std::initializer_list<std::uint16_t> units) { return units; }

TEST(FontValidation, WholeFontMustLieInsideItsBytes) {
    const Bytes good = make_font();
    EXPECT_TRUE(font_is_valid(good.data(), good.size()));
    EXPECT_FALSE(font_is_valid(good.data(), good.size() - 1));  // the last glyph row cut
    const Bytes v5 = make_font(5);
    EXPECT_FALSE(font_is_valid(v5.data(), v5.size()));
    Bytes far_glyph = good;
    const std::size_t table = far_glyph[30] | far_glyph[31] << 8;
    far_glyph[table] = 0xF0, far_glyph[table + 1] = 0xFF;
    EXPECT_FALSE(font_is_valid(far_glyph.data(), far_glyph.size()));
    Bytes no_range = good;
    no_range[21] = 0;  // no glyph 0 to fall back on
    EXPECT_FALSE(font_is_valid(no_range.data(), no_range.size()));
    Bytes many_ranges = good;
    many_ranges[21] = 200;
    EXPECT_FALSE(font_is_valid(many_ranges.data(), many_ranges.size()));
    Bytes unordered = good;
    const std::size_t ranges = unordered[28] | unordered[29] << 8;
    unordered[ranges] = 70;  // first 70 above last 66
    EXPECT_FALSE(font_is_valid(unordered.data(), unordered.size()));
}

TEST(Text, WidthsCountSurrogatePairsTabsAndSpaces) {
    LoadedFont font(make_font());
    const auto ab = utf16({'A', 'B'});
    EXPECT_EQ(UI_DRAWING_SOFT_stringWidth(ab.data(), 2, font.data), 7);
    const auto pair = utf16({0xD801, 0xDC00});  // U+10400: one code point of advance 2
    EXPECT_EQ(UI_DRAWING_SOFT_stringWidth(pair.data(), 2, font.data), 2);
    const auto tab = utf16({9, ' ', 'A'});
    EXPECT_EQ(UI_DRAWING_SOFT_stringWidth(tab.data(), 3, font.data), 4 * 2 + 2 + 4);
    std::int32_t context[2] = {-1, -1};
    EXPECT_EQ(UI_DRAWING_SOFT_initializeRenderableStringSNIContext(ab.data(), 2, font.data, context), 7);
    EXPECT_NE(context[0], -1);
    EXPECT_NE(context[1], context[0]);
}

TEST(Text, ARenderableContextOnlyCachesTheGlyphsOwnOffsets) {
    // The context is an int array of the application: offsets it did not
    // get from the font (zeros of a new array, or anything else) are not
    // read as glyphs.
    LoadedFont font(make_font());
    const auto ab = utf16({'A', 'B'});
    Canvas plain(10, 4);
    plain.gc.foreground_color = 0xFFFFFFFF;
    UI_DRAWING_SOFT_drawString(&plain.gc, ab.data(), 2, font.data, 0, 1);
    const std::int32_t contexts[][2] = {{-1, -1}, {0, 0}, {0x7FFFFF00, -5}, {-1, 1 << 30}};
    for (const auto& values : contexts) {
        std::int32_t context[2] = {values[0], values[1]};
        Canvas c(10, 4);
        c.gc.foreground_color = 0xFFFFFFFF;
        UI_DRAWING_SOFT_drawRenderableString(&c.gc, ab.data(), 2, font.data, 7, context, 0, 1);
        EXPECT_EQ(picture(c), picture(plain)) << values[0] << ", " << values[1];
        EXPECT_EQ(c.gc.drawing_log, 0u);
    }
}

TEST(Text, GlyphsPixelExactAndMissingGlyphFallsBack) {
    LoadedFont font(make_font());
    Canvas c(10, 4);
    c.gc.foreground_color = 0xFFFFFFFF;
    const auto text = utf16({'A', 'B', 'Z'});
    UI_DRAWING_SOFT_drawString(&c.gc, text.data(), 3, font.data, 0, 1);
    EXPECT_EQ(picture(c),
              "..........\n"
              ".#..##..#.\n"
              "###.##.###\n"
              "#.#....#.#\n");
    EXPECT_TRUE(c.gc.drawing_log & kLogMissingGlyph);
}

TEST(Text, EllipsisStopsAtXPlus13WithThreeDots) {
    LoadedFont font(make_font());
    Canvas c(30, 4);
    c.gc.foreground_color = 0xFFFFFFFF;
    c.gc.ellipsis_width = 20;
    const auto text = utf16({'A', 'A', 'A', 'A', 'A', 'A', 'A', 'A'});
    UI_DRAWING_SOFT_drawString(&c.gc, text.data(), 8, font.data, 0, 0);
    // Limit x - 1 + 20 = 19: the third A (x = 8) ends at 12 + 6 = 18, the
    // fourth (x = 12) would reach 22: dots at 13, 15 and 17 on row 2.
    EXPECT_EQ(picture(c),
              ".#...#...#....................\n"
              "###.###.###...................\n"
              "#.#.#.#.#.#..#.#.#............\n"
              "..............................\n");
}

TEST(Text, ScaledTextShrinkingGlyphsToOnePixel) {
    LoadedFont font(make_font());
    Canvas c(10, 6);
    c.gc.foreground_color = 0xFFFFFFFF;
    const auto text = utf16({'A', 'B'});
    DW_DRAWING_SOFT_drawScaledStringBilinear(&c.gc, text.data(), 2, font.data, 1, 1, 0.3f, 0.3f);
    // Each glyph becomes one pixel read at its first column and row; Z falls
    // back to A.
    EXPECT_EQ(c.at(1, 1), 0);       // A's (0, 0) is clear
    EXPECT_EQ(c.at(2, 1), 0xFFFF);  // B at pen 1 + 1.2
    Canvas d(12, 8);
    d.gc.foreground_color = 0xFFFFFFFF;
    DW_DRAWING_SOFT_drawScaledStringBilinear(&d.gc, text.data(), 1, font.data, 0, 0, 2, 2);
    // Steps of 0.4: corners land on source pixels, between them opacities mix.
    EXPECT_EQ(d.at(0, 5), 0xFFFF);
    EXPECT_EQ(d.at(5, 5), 0xFFFF);
    EXPECT_EQ(d.at(0, 0), 0);
    EXPECT_NE(d.at(2, 0), 0);
    EXPECT_NE(d.at(2, 0), 0xFFFF);
}

TEST(Text, RotatedCharacterByZeroIsTheGlyph) {
    LoadedFont font(make_font());
    Canvas c(6, 5);
    c.gc.foreground_color = 0xFFFFFFFF;
    DW_DRAWING_SOFT_drawCharWithRotationNearestNeighbor(&c.gc, 'A', font.data, 1, 1, 1, 1, 0, 255);
    EXPECT_EQ(picture(c), "......\n..#...\n.###..\n.#.#..\n......\n");
    Canvas q(6, 6);
    q.gc.foreground_color = 0xFFFFFFFF;
    DW_DRAWING_SOFT_drawCharWithRotationNearestNeighbor(&q.gc, 'B', font.data, 2, 3, 2, 3, 90, 255);
    EXPECT_EQ(picture(q), "......\n......\n..##..\n..##..\n......\n......\n");
}

}  // namespace
}  // namespace tarvelo::graphics
