// FreeType rasterisation: the size's ascender becomes the baseline, the
// ascender minus the descender the line height, and each glyph's bitmap
// keeps FreeType's left bearing and top.
#include "tools/fontbuild/truetype_source.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>

namespace tarvelo::fontbuild {

namespace {

// Pixels of 26.6 values, rounded up for extents.
std::int32_t ceil_px(FT_Pos v) { return static_cast<std::int32_t>((v + 63) >> 6); }
std::int32_t round_px(FT_Pos v) { return static_cast<std::int32_t>((v + 32) >> 6); }

struct Library {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    ~Library() {
        if (face != nullptr) FT_Done_Face(face);
        if (library != nullptr) FT_Done_FreeType(library);
    }
};

bool render(FT_Face face, FT_UInt index, std::uint32_t depth, std::int32_t baseline, GlyphBitmap* g) {
    const FT_Int32 load = depth == 1 ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL;
    if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT | load) != 0) return false;
    if (FT_Render_Glyph(face->glyph, depth == 1 ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) return false;
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& b = slot->bitmap;
    g->advance = round_px(slot->advance.x);
    g->x_offset = slot->bitmap_left;
    g->y_offset = baseline - slot->bitmap_top;
    g->width = b.width;
    g->height = b.rows;
    g->values.assign(std::size_t{b.width} * b.rows, 0);
    const std::uint32_t max = (1u << depth) - 1;
    for (std::uint32_t y = 0; y < b.rows; ++y) {
        const unsigned char* row = b.buffer + static_cast<std::ptrdiff_t>(y) * b.pitch;
        for (std::uint32_t x = 0; x < b.width; ++x) {
            std::uint32_t v;
            if (b.pixel_mode == FT_PIXEL_MODE_MONO) v = (row[x / 8] >> (7 - x % 8)) & 1 ? max : 0;
            else v = (row[x] * max + 127) / 255;
            g->values[std::size_t{y} * b.width + x] = static_cast<std::uint8_t>(v);
        }
    }
    return true;
}

}  // namespace

bool rasterise(const std::string& path, std::uint32_t pixel_size, std::uint32_t depth,
               const std::vector<CodeRange>& ranges, RasterisedFont* out, std::string* error) {
    Library ft;
    if (FT_Init_FreeType(&ft.library) != 0) return *error = "FreeType did not start", false;
    if (FT_New_Face(ft.library, path.c_str(), 0, &ft.face) != 0) return *error = "not a font FreeType can read", false;
    if (pixel_size == 0 || pixel_size > 1000 || FT_Set_Pixel_Sizes(ft.face, 0, pixel_size) != 0)
        return *error = "the font has no such pixel size", false;
    const FT_Size_Metrics& m = ft.face->size->metrics;
    out->baseline = static_cast<std::uint32_t>(std::max(0, ceil_px(m.ascender)));
    out->line_height = static_cast<std::uint32_t>(std::max(1, ceil_px(m.ascender) + ceil_px(-m.descender)));
    out->name = std::string(ft.face->family_name != nullptr ? ft.face->family_name : "") +
                (ft.face->style_name != nullptr ? std::string(" ") + ft.face->style_name : "");
    const auto baseline = static_cast<std::int32_t>(out->baseline);
    GlyphBitmap space;
    const FT_UInt space_index = FT_Get_Char_Index(ft.face, ' ');
    out->space_width = space_index != 0 && render(ft.face, space_index, depth, baseline, &space)
                           ? static_cast<std::uint32_t>(space.advance)
                           : std::max<std::uint32_t>(1, pixel_size / 4);
    for (const CodeRange& r : ranges) {
        for (std::uint32_t c = r.first; c <= r.last; ++c) {
            const FT_UInt index = FT_Get_Char_Index(ft.face, c);
            if (index == 0) ++out->missing;
            GlyphBitmap g;
            if (!render(ft.face, index, depth, baseline, &g)) return *error = "FreeType could not render a glyph", false;
            out->max_advance = std::max(out->max_advance, static_cast<std::uint32_t>(std::max(0, g.advance)));
            out->glyphs.push_back(std::move(g));
        }
    }
    return true;
}

}  // namespace tarvelo::fontbuild
