// Writes bitmap fonts in the engine's stored font format ("TRV_FNT",
// version 6 or 7): the header, identifiers, name, range table, glyph table
// and glyph records. Fonts from TrueType and small hand-made test fonts are
// written by the same code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvelo::fontbuild {

// One glyph: its pixel values (0 transparent .. 2^depth - 1 opaque), row
// by row, and where it sits relative to the pen and the line's top.
struct GlyphBitmap {
    std::int32_t advance = 0;
    std::int32_t x_offset = 0;  // from the pen to the bitmap's left column
    std::int32_t y_offset = 0;  // from the line's top to the bitmap's top row
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> values;  // width * height
};

struct CodeRange {
    std::uint32_t first, last;
};

// Choices left to the writer when 0 ("auto") are taken as small as the
// font allows.
struct FontLayout {
    std::uint32_t version = 7;              // 6 or 7
    std::uint32_t depth = 1;                // bits per pixel: 1, 2, 4 or 8
    std::uint32_t tab_code = 2;             // a tab advances (code + 2) spaces
    std::uint32_t offset_bits = 0;          // glyph offsets of 16 or 32 bits; 0 auto
    std::uint32_t glyph_header_bits = 0;    // glyph header fields of 8 or 16 bits; 0 auto
    std::uint32_t bound_bytes = 0;          // range bounds of 1, 2 or 4 bytes; 0 auto
    std::uint32_t monospace_advance = 0;    // 0: proportional
    std::uint32_t line_height = 0;
    std::uint32_t baseline = 0;
    std::uint32_t space_width = 0;
    std::uint8_t style = 0;
    std::uint8_t application_byte = 0;      // header byte 23, handed to the application
    std::vector<std::uint32_t> identifiers;
    std::string name;
};

// `glyphs` holds one glyph per code point of `ranges`, in range order.
// Ranges must be ascending and disjoint, at most 255 of them. The whole
// font, or an empty vector with `error` set.
std::vector<std::uint8_t> write_font(const FontLayout& layout, const std::vector<CodeRange>& ranges,
                                     const std::vector<GlyphBitmap>& glyphs, std::string* error);

}  // namespace tarvelo::fontbuild
