// Glyphs of a TrueType (or any FreeType-readable) font rasterised at a pixel
// size into the bitmaps of the stored font format.
#pragma once

#include <string>

#include "tools/fontbuild/font_writer.h"

namespace tarvelo::fontbuild {

struct RasterisedFont {
    std::vector<GlyphBitmap> glyphs;  // one per code point of the ranges, in order
    std::uint32_t line_height = 0;
    std::uint32_t baseline = 0;
    std::uint32_t space_width = 0;
    std::uint32_t max_advance = 0;
    std::string name;                 // family and style
    std::uint32_t missing = 0;        // code points the font has no glyph for
};

// Rasterises every code point of `ranges` at `pixel_size` with `depth`
// bits per pixel (1: FreeType's monochrome renderer, else anti-aliased
// coverage rounded to the depth). A code point without a glyph gets the
// font's fallback glyph (index 0). False with `error` set.
bool rasterise(const std::string& path, std::uint32_t pixel_size, std::uint32_t depth,
               const std::vector<CodeRange>& ranges, RasterisedFont* out, std::string* error);

}  // namespace tarvelo::fontbuild
