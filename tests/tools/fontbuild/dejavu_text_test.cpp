// Fonts made by the font builder from DejaVu Sans, drawn by the engine: the
// text must be exactly the builder's glyph bitmaps at their pen positions,
// whatever header variant the font was written in.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "graphics/fonts/fonts.h"
#include "platform/address.h"
#include "tests/graphics/test_port.h"
#include "tools/fontbuild/code_ranges.h"
#include "tools/fontbuild/font_writer.h"
#include "tools/fontbuild/truetype_source.h"

namespace tarvelo::fontbuild {
namespace {

namespace g = tarvelo::graphics;

const std::string kSans = TARVELO_DEJAVU_SANS;
const std::string kMono = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

constexpr std::uint32_t kCanvasW = 64, kCanvasH = 24;

// A font placed below 4 GiB (a static region of this non-PIE test), with
// the application's font data naming it.
struct PlacedFont {
    alignas(8) static inline std::uint8_t area[2][64 * 1024];
    std::uint8_t* bytes;
    std::uint8_t data[12] = {};
    PlacedFont(const std::vector<std::uint8_t>& f, int slot) : bytes(area[slot]) {
        EXPECT_LE(f.size(), sizeof area[0]);
        std::memcpy(bytes, f.data(), std::min(f.size(), sizeof area[0]));
        const std::uint32_t address = to_word(bytes);
        std::memcpy(data, &address, 4);
    }
};

struct Built {
    RasterisedFont raster;
    std::vector<std::uint8_t> bytes;
};

Built build(const std::string& path, std::uint32_t px, const FontLayout& base, const std::string& ranges_text) {
    Built b;
    std::vector<CodeRange> ranges;
    std::string error;
    EXPECT_TRUE(parse_ranges(ranges_text, &ranges, &error)) << error;
    ranges = normalise_ranges(ranges);
    EXPECT_TRUE(rasterise(path, px, base.depth, ranges, &b.raster, &error)) << error;
    FontLayout layout = base;
    layout.line_height = b.raster.line_height;
    layout.baseline = b.raster.baseline;
    layout.space_width = b.raster.space_width;
    b.bytes = write_font(layout, ranges, b.raster.glyphs, &error);
    EXPECT_FALSE(b.bytes.empty()) << error;
    return b;
}

// What the engine must draw: each glyph's opaque pixels at its pen position
// (fully opaque values only; partial ones go through the blender).
std::vector<std::uint8_t> expected_coverage(const Built& f, const std::string& text, std::int32_t x, std::int32_t y,
                                            std::uint32_t first_code, std::uint32_t depth, std::int32_t* width) {
    std::vector<std::uint8_t> cover(kCanvasW * kCanvasH, 0);
    std::int32_t pen = x;
    const std::uint32_t max = (1u << depth) - 1;
    for (char ch : text) {
        if (ch == ' ') {
            pen += static_cast<std::int32_t>(f.raster.space_width);
            continue;
        }
        const GlyphBitmap& gl = f.raster.glyphs[static_cast<std::uint32_t>(ch) - first_code];
        for (std::uint32_t r = 0; r < gl.height; ++r)
            for (std::uint32_t c = 0; c < gl.width; ++c) {
                const std::int32_t px = pen + gl.x_offset + static_cast<std::int32_t>(c);
                const std::int32_t py = y + gl.y_offset + static_cast<std::int32_t>(r);
                if (px < 0 || py < 0 || px >= static_cast<std::int32_t>(kCanvasW) || py >= static_cast<std::int32_t>(kCanvasH)) continue;
                const std::uint8_t v = gl.values[r * gl.width + c];
                std::uint8_t& at = cover[static_cast<std::size_t>(py) * kCanvasW + static_cast<std::size_t>(px)];
                at = std::max<std::uint8_t>(at, v == max ? 2 : v != 0 ? 1 : 0);
            }
        pen += gl.advance;
    }
    *width = pen - x;
    return cover;
}

std::vector<std::uint16_t> utf16(const std::string& s) { return std::vector<std::uint16_t>(s.begin(), s.end()); }

std::vector<std::uint16_t> draw(const PlacedFont& font, const std::string& text, std::int32_t x, std::int32_t y,
                                std::uint32_t* log = nullptr) {
    g::test::Canvas canvas(kCanvasW, kCanvasH);
    canvas.gc.foreground_color = 0xFFFFFFFF;
    const auto units = utf16(text);
    UI_DRAWING_SOFT_drawString(&canvas.gc, units.data(), static_cast<std::int32_t>(units.size()), font.data, x, y);
    if (log != nullptr) *log = canvas.gc.drawing_log;
    std::vector<std::uint16_t> out;
    for (std::uint32_t py = 0; py < kCanvasH; ++py)
        for (std::uint32_t px = 0; px < kCanvasW; ++px) out.push_back(canvas.at(static_cast<std::int32_t>(px), static_cast<std::int32_t>(py)));
    return out;
}

class DejaVuTextTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(g::test::port().start(&display_), 0);
        ASSERT_TRUE(std::ifstream(kSans).good()) << kSans << " is missing (fonts-dejavu-core)";
    }
    SPictavoGraphicsContext display_{};
};

TEST_F(DejaVuTextTest, TextIsTheBuildersGlyphsAtEveryDepth) {
    const std::string text = "Hi, gW!";
    for (std::uint32_t depth : {1u, 2u, 4u, 8u}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        FontLayout layout;
        layout.depth = depth;
        const Built f = build(kSans, 14, layout, "0x20-0x7E");
        ASSERT_TRUE(g::font_is_valid(f.bytes.data(), f.bytes.size()));
        PlacedFont font(f.bytes, 0);
        std::int32_t width = 0;
        const std::vector<std::uint8_t> cover = expected_coverage(f, text, 2, 1, 0x20, depth, &width);
        const auto units = utf16(text);
        EXPECT_EQ(UI_DRAWING_SOFT_stringWidth(units.data(), static_cast<std::int32_t>(units.size()), font.data), width);
        const std::vector<std::uint16_t> pixels = draw(font, text, 2, 1);
        std::uint32_t opaque = 0;
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            if (cover[i] == 2) {
                EXPECT_EQ(pixels[i], 0xFFFF) << "pixel " << i % kCanvasW << "," << i / kCanvasW;
            }
            if (cover[i] == 0) {
                EXPECT_EQ(pixels[i], 0) << "pixel " << i % kCanvasW << "," << i / kCanvasW;
            }
            opaque += cover[i] == 2;
        }
        EXPECT_GT(opaque, 20u);  // the text is really there
    }
}

TEST_F(DejaVuTextTest, HeaderVariantsDrawTheSamePixels) {
    const std::string text = "Tab\tg y";
    FontLayout reference;
    reference.depth = 2;
    const Built base = build(kSans, 12, reference, "0x09,0x20-0x7E");
    PlacedFont base_font(base.bytes, 0);
    const std::vector<std::uint16_t> want = draw(base_font, text, 0, 2);
    struct Variant {
        std::uint32_t version, header_bits, offset_bits, bound_bytes, tab_code;
    };
    for (const Variant& v : {Variant{6, 8, 16, 1, 2}, Variant{7, 16, 16, 2, 2}, Variant{7, 8, 32, 4, 2},
                             Variant{6, 16, 32, 4, 2}, Variant{7, 8, 16, 1, 0}}) {
        SCOPED_TRACE(std::to_string(v.version) + "/" + std::to_string(v.header_bits) + "/" +
                     std::to_string(v.offset_bits) + "/" + std::to_string(v.bound_bytes));
        FontLayout layout = reference;
        layout.version = v.version;
        layout.glyph_header_bits = v.header_bits;
        layout.offset_bits = v.offset_bits;
        layout.bound_bytes = v.bound_bytes;
        layout.tab_code = v.tab_code;
        const Built f = build(kSans, 12, layout, "0x09,0x20-0x7E");
        ASSERT_TRUE(g::font_is_valid(f.bytes.data(), f.bytes.size()));
        EXPECT_EQ(f.bytes[9] & 0x50, (v.offset_bits == 32 ? 0x40 : 0) | (v.header_bits == 16 ? 0x10 : 0));
        PlacedFont font(f.bytes, 1);
        const auto units = utf16(text);
        const std::int32_t width = UI_DRAWING_SOFT_stringWidth(units.data(), 7, font.data);
        const std::int32_t base_width = UI_DRAWING_SOFT_stringWidth(units.data(), 7, base_font.data);
        if (v.tab_code == 2) {
            EXPECT_EQ(draw(font, text, 0, 2), want);
            EXPECT_EQ(width, base_width);
        } else {
            // A tab of code 0 advances two space widths instead of four.
            EXPECT_EQ(width, base_width - 2 * static_cast<std::int32_t>(base.raster.space_width));
        }
    }
}

TEST_F(DejaVuTextTest, MonospaceAndMissingGlyphs) {
    FontLayout layout;
    layout.monospace_advance = 0;
    const Built proportional = build(kMono, 13, layout, "0x41-0x5A");
    const std::uint32_t advance = proportional.raster.max_advance;
    layout.monospace_advance = advance;
    const Built mono = build(kMono, 13, layout, "0x41-0x5A");
    ASSERT_TRUE(g::font_is_valid(mono.bytes.data(), mono.bytes.size()));
    EXPECT_TRUE(mono.bytes[9] & 0x20);
    PlacedFont font(mono.bytes, 0);
    const auto units = utf16("IW\tI");
    EXPECT_EQ(UI_DRAWING_SOFT_stringWidth(units.data(), 4, font.data), static_cast<std::int32_t>(7 * advance));
    // 'a' lies in no range: the first glyph ('A') is drawn and the log says so.
    std::uint32_t log = 0;
    EXPECT_EQ(draw(font, "a", 1, 1, &log), draw(font, "A", 1, 1));
    EXPECT_TRUE(log & g::kLogMissingGlyph);
}

TEST(FontWriter, RefusesWhatTheFormatCannotHold) {
    GlyphBitmap wide;
    wide.advance = 300;  // beyond an 8-bit header field
    FontLayout layout;
    layout.glyph_header_bits = 8;
    std::string error;
    EXPECT_TRUE(write_font(layout, {{65, 65}}, {wide}, &error).empty());
    layout.glyph_header_bits = 0;  // chosen: 16-bit headers
    const std::vector<std::uint8_t> f = write_font(layout, {{65, 65}}, {wide}, &error);
    ASSERT_FALSE(f.empty()) << error;
    EXPECT_TRUE(f[9] & 0x10);
    EXPECT_TRUE(write_font(layout, {{65, 66}, {66, 67}}, {wide, wide, wide, wide}, &error).empty());  // overlap
    EXPECT_TRUE(write_font(layout, {{65, 66}}, {wide}, &error).empty());                              // one glyph short
    layout.bound_bytes = 1;
    EXPECT_TRUE(write_font(layout, {{0x100, 0x100}}, {wide}, &error).empty());  // 0x100 needs 2 bytes
    // 16-bit offsets cannot reach glyphs beyond 64 KiB.
    GlyphBitmap big;
    big.width = big.height = 200;
    big.values.assign(200 * 200, 1);
    layout = FontLayout{};
    layout.depth = 8;
    layout.offset_bits = 16;
    EXPECT_TRUE(write_font(layout, {{65, 67}}, {big, big, big}, &error).empty());
    layout.offset_bits = 0;
    const std::vector<std::uint8_t> far = write_font(layout, {{65, 67}}, {big, big, big}, &error);
    ASSERT_FALSE(far.empty());
    EXPECT_TRUE(far[9] & 0x40);
    EXPECT_TRUE(g::font_is_valid(far.data(), far.size()));
}

TEST(CodeRanges, ParsedSortedAndMerged) {
    std::vector<CodeRange> r;
    std::string error;
    ASSERT_TRUE(parse_ranges("U+0041-U+005A,0x20-0x30,48-64,0x1F600", &r, &error)) << error;
    r = normalise_ranges(r);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].first, 0x20u);
    EXPECT_EQ(r[0].last, 0x5Au);  // 0x20-0x30, 48-64 and 0x41-0x5A touch
    EXPECT_EQ(r[1].first, 0x1F600u);
    for (const char* bad : {"0x7E-0x20", "0x110000", "A-B", "", "1-"}) EXPECT_FALSE(parse_ranges(bad, &r, &error)) << bad;
}

}  // namespace
}  // namespace tarvelo::fontbuild
