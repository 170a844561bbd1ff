// Bitmap fonts and text.
#include "graphics/fonts/fonts.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "graphics/images/image_sampling.h"
#include "graphics/images/image_transforms.h"
#include "graphics/pixels/blend.h"
#include "graphics/pixels/pixel_formats.h"
#include "graphics/shapes/aa_coverage.h"
#include "graphics/shapes/shape_pixels.h"
#include "platform/address.h"

namespace tarvelo::graphics {

namespace {

std::uint32_t u16(const std::uint8_t* p) { return p[0] | p[1] << 8; }
std::uint32_t u32(const std::uint8_t* p) { return u16(p) | u16(p + 2) << 16; }
std::uint32_t uint_of(const std::uint8_t* p, std::uint32_t bytes) {
    return bytes == 1 ? p[0] : bytes == 2 ? u16(p) : u32(p);
}

// A view of a stored font.
struct Font {
    const std::uint8_t* base;

    std::uint32_t depth() const { return 1u << (base[8] & 3); }
    std::uint32_t tabFactor() const { return ((base[8] >> 2) & 3) + 2; }
    bool wideOffsets() const { return base[9] & 0x40; }
    bool monospace() const { return base[9] & 0x20; }
    bool wideHeaders() const { return base[9] & 0x10; }
    std::uint32_t boundBytes() const {
        const std::uint32_t c = (base[9] >> 2) & 3;
        return c == 0 ? 1 : c == 1 ? 2 : 4;
    }
    std::uint32_t monoAdvance() const { return u16(base + 10); }
    std::uint32_t height() const { return u16(base + 12); }
    std::uint32_t baseline() const { return u16(base + 14); }
    std::uint32_t spaceWidth() const { return u16(base + 16); }
    std::uint32_t ranges() const { return base[21]; }
    const std::uint8_t* rangeTable() const { return base + u16(base + 28); }
    const std::uint8_t* glyphTable() const { return base + u16(base + 30); }
    std::uint32_t glyphOffset(std::uint32_t index) const {
        return wideOffsets() ? u32(glyphTable() + 4 * index) : u16(glyphTable() + 2 * index);
    }

    // Glyph offset of code point c; false (and entry 0) when no range holds it.
    bool find(std::uint32_t c, std::uint32_t* offset) const {
        std::uint32_t before = 0;
        const std::uint32_t b = boundBytes();
        for (std::uint32_t r = 0; r < ranges(); ++r) {
            const std::uint32_t first = uint_of(rangeTable() + 2 * b * r, b);
            const std::uint32_t last = uint_of(rangeTable() + 2 * b * r + b, b);
            if (first > c) break;
            if (last >= c) {
                *offset = glyphOffset(c - first + before);
                return true;
            }
            before += last - first + 1;
        }
        *offset = glyphOffset(0);
        return false;
    }
};

struct Glyph {
    std::int32_t advance, x_offset, y_offset, width, height;
    const std::uint8_t* bitmap;
    std::uint32_t stride;
};

Glyph glyph_at(const Font& font, std::uint32_t offset) {
    const std::uint8_t* p = font.base + offset;
    Glyph g{};
    std::int32_t f[5];
    for (int i = 0; i < 5; ++i) f[i] = font.wideHeaders() ? static_cast<std::int16_t>(u16(p + 2 * i)) : static_cast<std::int8_t>(p[i]);
    // Advances and sizes are unsigned; offsets signed.
    g.advance = font.wideHeaders() ? static_cast<std::int32_t>(u16(p)) : p[0];
    g.x_offset = f[1];
    g.y_offset = f[2];
    g.width = font.wideHeaders() ? static_cast<std::int32_t>(u16(p + 6)) : p[3];
    g.height = font.wideHeaders() ? static_cast<std::int32_t>(u16(p + 8)) : p[4];
    g.bitmap = p + (font.wideHeaders() ? 10 : 5);
    g.stride = (static_cast<std::uint32_t>(g.width) * font.depth() + 7) / 8;
    return g;
}

std::uint32_t glyph_value(const Glyph& g, std::uint32_t depth, std::int32_t x, std::int32_t y) {
    const std::uint32_t bit = static_cast<std::uint32_t>(x) * depth;
    return (g.bitmap[static_cast<std::size_t>(y) * g.stride + bit / 8] >> (bit % 8)) & ((1u << depth) - 1);
}

// The next code point from chars[*i], surrogate pairs joined.
std::uint32_t next_code_point(const std::uint16_t* chars, std::int32_t length, std::int32_t* i) {
    const std::uint32_t unit = chars[(*i)++];
    if (unit >= 0xD800 && unit <= 0xDBFF && *i < length && chars[*i] >= 0xDC00 && chars[*i] <= 0xDFFF)
        return 0x10000 + ((unit - 0xD800) << 10) + (chars[(*i)++] - 0xDC00u);
    return unit;
}

bool is_mark(std::uint32_t c) { return c >= 0xFE70 && c <= 0xFE7F; }

struct Text {
    const Font& font;
    SPictavoGraphicsContext* gc;
    std::int32_t* context;

    // The renderable-string context is an int array of the application:
    // an offset found there is used only when it is the glyph's (a wrong one
    // would read outside the font); the check costs the range walk the
    // context spares, not the drawing-log bit of a missing glyph.
    std::uint32_t lookup(std::uint32_t c, std::int32_t unit) const {
        std::uint32_t offset;
        const bool found = font.find(c, &offset);
        if (context != nullptr && context[unit] == static_cast<std::int32_t>(offset)) return offset;
        if (!found && gc != nullptr) gc->drawing_log |= kLogMissingGlyph;
        if (context != nullptr) context[unit] = static_cast<std::int32_t>(offset);
        return offset;
    }
    std::int32_t advance(std::uint32_t offset) const {
        return font.monospace() ? static_cast<std::int32_t>(font.monoAdvance()) : glyph_at(font, offset).advance;
    }
    // The largest advance of the group an Arabic mark at *i opens (the
    // following marks and letters up to the first letter); *i moves past it.
    std::int32_t group_advance(std::uint32_t c, const std::uint16_t* chars, std::int32_t length, std::int32_t* i,
                               std::int32_t unit) const {
        std::int32_t m = advance(lookup(c, unit));
        while (*i < length) {
            std::int32_t j = *i;
            const std::uint32_t next = next_code_point(chars, length, &j);
            if (next < 0xFE70 || next > 0xFEFC) break;
            m = std::max(m, advance(lookup(next, *i)));
            *i = j;
            if (next >= 0xFE80) break;
        }
        return m;
    }
};

std::int32_t chars_width(const Font& font, const std::uint16_t* chars, std::int32_t length, std::int32_t* context) {
    Text text{font, nullptr, context};
    std::int64_t width = 0;
    for (std::int32_t i = 0; i < length;) {
        const std::int32_t unit = i;
        const std::uint32_t c = next_code_point(chars, length, &i);
        if (font.monospace()) {
            width += (c == 9 ? 4 : 1) * static_cast<std::int64_t>(font.monoAdvance());
            if (c != 9 && c != 32) text.lookup(c, unit);
        } else if (c == 32) {
            width += font.spaceWidth();
        } else if (c == 9) {
            width += static_cast<std::int64_t>(font.tabFactor()) * font.spaceWidth();
        } else if (is_mark(c)) {
            width += text.group_advance(c, chars, length, &i, unit);
        } else {
            width += text.advance(text.lookup(c, unit));
        }
    }
    return static_cast<std::int32_t>(std::min<std::int64_t>(width, INT32_MAX));
}

void draw_glyph(AaPixels& out, const Font& font, const Glyph& g, std::int64_t x, std::int64_t y,
                const SPictavoGraphicsContext* gc) {
    const std::uint32_t depth = font.depth(), mask = (1u << depth) - 1;
    for (std::int32_t row = 0; row < g.height; ++row) {
        const std::int64_t py = y + row;
        if (py < gc->clip_y1) continue;
        if (py > gc->clip_y2) break;
        for (std::int32_t column = 0; column < g.width; ++column) {
            const std::int64_t px = x + column;
            const std::uint32_t v = glyph_value(g, depth, column, row);
            if (v == 0) continue;
            if (v == mask) out.solid(px, py);
            else out.faded(px, py, v * 255 / mask);
        }
    }
}

void draw_ellipsis(const ShapePixels& dots, const SPictavoGraphicsContext* gc, std::int64_t x, std::int64_t row) {
    if (row < gc->clip_y1 || row > gc->clip_y2) return;
    for (int k : {1, 3, 5}) {
        if (x + k < gc->clip_x1 || x + k > gc->clip_x2) return;
        dots.put(x + k, row);
    }
}

void draw_text(SPictavoGraphicsContext* gc, const Font& font, std::int32_t x0, std::int32_t y,
               const std::uint16_t* chars, std::int32_t length, std::int32_t width, std::int32_t* context) {
    if (x0 > gc->clip_x2 || y > gc->clip_y2 || static_cast<std::int64_t>(y) + font.height() <= gc->clip_y1) return;
    if (width > 0 && static_cast<std::int64_t>(x0) + width <= gc->clip_x1) return;
    const std::int64_t e = gc->ellipsis_width;
    const bool ellipsis = e != 0 && e < width;
    const std::int64_t limit = static_cast<std::int64_t>(x0) - 1 + e;
    AaPixels out(gc);
    const ShapePixels dots(gc);
    Text text{font, gc, context};
    std::int64_t x = x0;
    for (std::int32_t i = 0; i < length && x <= gc->clip_x2;) {
        const std::int32_t unit = i;
        const std::uint32_t c = next_code_point(chars, length, &i);
        std::int64_t advance;
        if (c == 32) advance = font.spaceWidth();
        else if (c == 9) advance = static_cast<std::int64_t>(font.tabFactor()) * font.spaceWidth();
        else advance = -1;
        if (advance >= 0) {
            if (ellipsis && limit < x + advance + 6) return draw_ellipsis(dots, gc, x, y + font.baseline() - 1);
            x += advance;
            continue;
        }
        const std::uint32_t offset = text.lookup(c, unit);
        const Glyph g = glyph_at(font, offset);
        advance = text.advance(offset);
        if (is_mark(c)) {
            const std::int64_t m = text.group_advance(c, chars, length, &i, unit);
            if (ellipsis && limit < x + m + 6) return draw_ellipsis(dots, gc, x, y + font.baseline() - 1);
            draw_glyph(out, font, g, x + (m - advance) / 2 + g.x_offset, y + g.y_offset, gc);
            continue;
        }
        if (ellipsis && limit < x + advance + 6) return draw_ellipsis(dots, gc, x, y + font.baseline() - 1);
        draw_glyph(out, font, g, x + g.x_offset, y + g.y_offset, gc);
        x += advance;
    }
}

// A glyph scaled to dw x dh at (dx, dy) with bilinear opacities.
void draw_scaled_glyph(AaPixels& out, const Font& font, const Glyph& g, std::int64_t dx, std::int64_t dy, float fx,
                       float fy, const SPictavoGraphicsContext* gc) {
    const std::int64_t dw = round_half_away(static_cast<float>(g.width) * fx);
    const std::int64_t dh = round_half_away(static_cast<float>(g.height) * fy);
    // A glyph that shrinks to one pixel reads its first column or row (step
    // 0) instead of dividing by zero; one that vanishes draws nothing.
    if (dw <= 0 || dh <= 0 || g.width <= 0 || g.height <= 0) return;
    const float sx = g.width == 1 ? 1 / fx : dw == 1 ? 0.0f : static_cast<float>(g.width - 1) / static_cast<float>(dw - 1);
    const float sy = g.height == 1 ? 1 / fy : dh == 1 ? 0.0f : static_cast<float>(g.height - 1) / static_cast<float>(dh - 1);
    std::int64_t x0 = dx, y0 = dy, x1 = dx + dw - 1, y1 = dy + dh - 1;
    float src_x0 = 0, src_y0 = 0;
    if (x0 < gc->clip_x1) src_x0 = static_cast<float>(trunc_int(static_cast<float>(gc->clip_x1 - x0) * sx)), x0 = gc->clip_x1;
    if (y0 < gc->clip_y1) src_y0 = static_cast<float>(trunc_int(static_cast<float>(gc->clip_y1 - y0) * sy)), y0 = gc->clip_y1;
    x1 = std::min<std::int64_t>(x1, gc->clip_x2);
    y1 = std::min<std::int64_t>(y1, gc->clip_y2);
    const std::uint32_t depth = font.depth(), mask = (1u << depth) - 1;
    auto opacity = [&](std::int32_t x, std::int32_t y) {
        x = std::clamp(x, 0, g.width - 1);
        y = std::clamp(y, 0, g.height - 1);
        return glyph_value(g, depth, x, y) * 255 / mask;
    };
    float src_x = src_x0;
    for (std::int64_t x = x0; x <= x1; ++x, src_x += sx) {
        float src_y = src_y0;
        for (std::int64_t y = y0; y <= y1; ++y, src_y += sy) {
            const std::int32_t ix = trunc_int(std::floor(src_x)), iy = trunc_int(std::floor(src_y));
            const std::int32_t ix1 = ix + 1 < g.width ? ix + 1 : ix, iy1 = iy + 1 < g.height ? iy + 1 : iy;
            const std::uint32_t a00 = opacity(ix, iy), a10 = opacity(ix1, iy), a01 = opacity(ix, iy1), a11 = opacity(ix1, iy1);
            const std::uint32_t a = bilerp(a00 << 24, a10 << 24, a01 << 24, a11 << 24, ix, iy, src_x, src_y) >> 24;
            if (a != 0) out.faded(x, y, a);
        }
    }
}

void draw_scaled_text(SPictavoGraphicsContext* gc, const Font& font, std::int32_t x0, std::int32_t y,
                      const std::uint16_t* chars, std::int32_t length, float fx, float fy, std::int32_t* context) {
    if (!(fx > 0) || !(fy > 0)) return;
    const std::int32_t width = chars_width(font, chars, length, context);
    const std::int64_t scaled = trunc_int(static_cast<float>(width) * fx);
    if (x0 > gc->clip_x2 || y > gc->clip_y2) return;
    if (scaled > 0 && x0 + scaled <= gc->clip_x1) return;
    if (y + static_cast<std::int64_t>(trunc_int(static_cast<float>(font.height()) * fy)) <= gc->clip_y1) return;
    const std::int64_t e = gc->ellipsis_width;
    const bool ellipsis = e != 0 && e < scaled;
    const std::int64_t limit = static_cast<std::int64_t>(x0) - 1 + e;
    AaPixels out(gc);
    const ShapePixels dots(gc);
    Text text{font, gc, context};
    float pen = static_cast<float>(x0);
    for (std::int32_t i = 0; i < length && pen <= gc->clip_x2;) {
        const std::int32_t unit = i;
        const std::uint32_t c = next_code_point(chars, length, &i);
        float advance;
        if (c == 32 || c == 9) {
            advance = static_cast<float>((c == 9 ? font.tabFactor() : 1) * font.spaceWidth()) * fx;
            if (ellipsis && limit < std::int64_t{trunc_int(pen)} + trunc_int(advance) + 6)
                return draw_ellipsis(dots, gc, trunc_int(pen), y + font.baseline() - 1);
            pen += advance;
            continue;
        }
        const std::uint32_t offset = text.lookup(c, unit);
        const Glyph g = glyph_at(font, offset);
        float shift = 0;
        advance = static_cast<float>(text.advance(offset)) * fx;
        if (is_mark(c)) {
            const float m = static_cast<float>(text.group_advance(c, chars, length, &i, unit)) * fx;
            shift = (m - advance) / 2;
            advance = 0;
        }
        if (ellipsis && limit < std::int64_t{trunc_int(pen)} + trunc_int(advance) + 6)
            return draw_ellipsis(dots, gc, trunc_int(pen), y + font.baseline() - 1);
        draw_scaled_glyph(out, font, g, trunc_int(pen + shift + fx * static_cast<float>(g.x_offset)),
                          trunc_int(static_cast<float>(y) + fy * static_cast<float>(g.y_offset)), fx, fy, gc);
        pen += advance;
    }
}

// A glyph bitmap as a bare image of format F1, F2, F4 or F8, rotated.
void rotate_char(SPictavoGraphicsContext* gc, const Font& font, std::uint32_t c, std::int32_t x, std::int32_t y,
                 std::int32_t rx, std::int32_t ry, float angle, std::int32_t alpha, bool nearest) {
    std::uint32_t offset;
    if (!font.find(c, &offset)) gc->drawing_log |= kLogMissingGlyph;
    const Glyph g = glyph_at(font, offset);
    if (g.width <= 0 || g.height <= 0) return;
    SPictavoImage bitmap{};
    bitmap.data = to_word(g.bitmap);
    bitmap.width = static_cast<std::uint16_t>(g.width);
    bitmap.height = static_cast<std::uint16_t>(g.height);
    bitmap.memory_width = static_cast<std::uint16_t>(g.stride);
    const std::uint32_t depth = font.depth();
    bitmap.format = static_cast<std::int8_t>(depth == 1 ? kFormatF1 : depth == 2 ? kFormatF2 : depth == 4 ? kFormatF4 : kFormatF8);
    bitmap.flags = kImageBareBuffer;
    // A glyph placed beyond the 32-bit range lies as far from the centre of
    // its rotation, so outside the clip: saturating its place changes nothing.
    auto saturated = [](std::int64_t v) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
    };
    Rotation::draw(&bitmap, gc, saturated(std::int64_t{x} + g.x_offset), saturated(std::int64_t{y} + g.y_offset), rx,
                   ry, angle, nearest, alpha, false, g.width, g.height, 0, 0);
}

Font font_of(const std::uint8_t* font_data) {
    std::uint32_t address;
    std::memcpy(&address, font_data, 4);
    return Font{to_ptr<const std::uint8_t>(address)};
}

}  // namespace

bool font_is_valid(const std::uint8_t* font, std::uint64_t size) {
    if (size < 36 || std::memcmp(font, "TRV_FNT", 7) != 0 || (font[7] != 6 && font[7] != 7)) return false;
    const Font f{font};
    if (font[9] & 0x80) return false;  // glyphs through the external loader, which this build has not
    if (((font[9] >> 2) & 3) == 3) return false;
    if (f.ranges() == 0) return false;
    if (u16(font + 24) + 4ull * font[22] > size) return false;
    const std::uint32_t b = f.boundBytes();
    if (u16(font + 28) + 2ull * b * f.ranges() > size) return false;
    std::uint64_t chars = 0, previous_last = 0;
    for (std::uint32_t r = 0; r < f.ranges(); ++r) {
        const std::uint64_t first = uint_of(f.rangeTable() + 2 * b * r, b);
        const std::uint64_t last = uint_of(f.rangeTable() + 2 * b * r + b, b);
        if (first > last || (r > 0 && first <= previous_last)) return false;
        previous_last = last;
        chars += last - first + 1;
    }
    if (chars > 0x110000) return false;
    const std::uint32_t entry = f.wideOffsets() ? 4 : 2;
    if (u16(font + 30) + chars * entry > size) return false;
    const std::uint32_t header = f.wideHeaders() ? 10 : 5;
    for (std::uint64_t i = 0; i < chars; ++i) {
        const std::uint64_t offset = f.glyphOffset(static_cast<std::uint32_t>(i));
        if (offset + header > size) return false;
        const Glyph g = glyph_at(f, static_cast<std::uint32_t>(offset));
        if (offset + header + std::uint64_t{g.stride} * static_cast<std::uint32_t>(g.height) > size) return false;
    }
    return true;
}

}  // namespace tarvelo::graphics

using tarvelo::graphics::font_of;

extern "C" {

std::int32_t UI_DRAWING_SOFT_stringWidth(const std::uint16_t* chars, std::int32_t length,
                                         const std::uint8_t* font_data) {
    return tarvelo::graphics::chars_width(font_of(font_data), chars, length, nullptr);
}

std::int32_t UI_DRAWING_SOFT_initializeRenderableStringSNIContext(const std::uint16_t* chars, std::int32_t length,
                                                                  const std::uint8_t* font_data,
                                                                  std::int32_t* context) {
    return tarvelo::graphics::chars_width(font_of(font_data), chars, length, context);
}

std::int32_t UI_DRAWING_SOFT_drawString(SPictavoGraphicsContext* gc, const std::uint16_t* chars, std::int32_t length,
                                        const std::uint8_t* font_data, std::int32_t x, std::int32_t y) {
    const auto font = font_of(font_data);
    const std::int32_t width =
        gc->ellipsis_width != 0 || x < gc->clip_x1 ? tarvelo::graphics::chars_width(font, chars, length, nullptr) : 0;
    tarvelo::graphics::draw_text(gc, font, x, y, chars, length, width, nullptr);
    return 0;
}

std::int32_t UI_DRAWING_SOFT_drawRenderableString(SPictavoGraphicsContext* gc, const std::uint16_t* chars,
                                                  std::int32_t length, const std::uint8_t* font_data,
                                                  std::int32_t width, std::int32_t* context, std::int32_t x,
                                                  std::int32_t y) {
    tarvelo::graphics::draw_text(gc, font_of(font_data), x, y, chars, length, width, context);
    return 0;
}

std::int32_t DW_DRAWING_SOFT_drawScaledStringBilinear(SPictavoGraphicsContext* gc, const std::uint16_t* chars,
                                                      std::int32_t length, const std::uint8_t* font_data,
                                                      std::int32_t x, std::int32_t y, float factor_x,
                                                      float factor_y) {
    tarvelo::graphics::draw_scaled_text(gc, font_of(font_data), x, y, chars, length, factor_x, factor_y, nullptr);
    return 0;
}

std::int32_t DW_DRAWING_SOFT_drawScaledRenderableStringBilinear(SPictavoGraphicsContext* gc, const std::uint16_t* chars,
                                                                std::int32_t length, const std::uint8_t* font_data,
                                                                std::int32_t* context, std::int32_t x, std::int32_t y,
                                                                float factor_x, float factor_y) {
    tarvelo::graphics::draw_scaled_text(gc, font_of(font_data), x, y, chars, length, factor_x, factor_y, context);
    return 0;
}

// The character is a UTF-16 unit: its low 16 bits.
std::int32_t DW_DRAWING_SOFT_drawCharWithRotationBilinear(SPictavoGraphicsContext* gc, std::int32_t character,
                                                          const std::uint8_t* font_data, std::int32_t x,
                                                          std::int32_t y, std::int32_t rx, std::int32_t ry,
                                                          float angle, std::int32_t alpha) {
    tarvelo::graphics::rotate_char(gc, font_of(font_data), static_cast<std::uint16_t>(character), x, y, rx, ry, angle,
                                   alpha, false);
    return 0;
}

std::int32_t DW_DRAWING_SOFT_drawCharWithRotationNearestNeighbor(SPictavoGraphicsContext* gc, std::int32_t character,
                                                                 const std::uint8_t* font_data, std::int32_t x,
                                                                 std::int32_t y, std::int32_t rx, std::int32_t ry,
                                                                 float angle, std::int32_t alpha) {
    tarvelo::graphics::rotate_char(gc, font_of(font_data), static_cast<std::uint16_t>(character), x, y, rx, ry, angle,
                                   alpha, true);
    return 0;
}

}  // extern "C"
