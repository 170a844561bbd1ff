// Rasterising the GPU's commands with cairo: it fills cubic paths with
// either fill rule under any affine matrix with anti-aliasing, clips to a
// rectangle exactly, and samples images nearest or bilinear, which is what
// the GPU does; pixman alone would need our own path flattening and edge
// lists. Targets of the display's RGB565 format are drawn into in place
// (cairo has that format), so axis-aligned fills and 1:1 point-sampled blits
// are exact; other formats go through a premultiplied ARGB32 copy.
#include "platform/vglite/rasteriser.h"

#if TARVELO_VGLITE_CAIRO

#include <cairo.h>

#include <cstring>
#include <vector>

namespace tarvelo::vglite {
namespace {

std::uint32_t expand5(std::uint32_t v) { return (v << 3) | (v >> 2); }
std::uint32_t expand6(std::uint32_t v) { return (v << 2) | (v >> 4); }
std::uint32_t expand4(std::uint32_t v) { return (v << 4) | v; }
std::uint32_t mul255(std::uint32_t a, std::uint32_t b) { return (a * b + 127) / 255; }

bool is565(vg_lite_buffer_format_t f) { return f == VG_LITE_FMT_RGB565 || f == VG_LITE_FMT_RGB565_WINDOW; }

// Straight 0xAARRGGBB of pixel (x, y) of a buffer.
std::uint32_t read_argb(const vg_lite_buffer_t& b, std::int32_t x, std::int32_t y) {
    const auto* row = static_cast<const std::uint8_t*>(b.memory) + static_cast<std::size_t>(y) * b.stride;
    switch (b.format) {
        case VG_LITE_FMT_ARGB8888: {
            std::uint32_t v;
            std::memcpy(&v, row + 4 * x, 4);
            return v;
        }
        case VG_LITE_FMT_RGB565:
        case VG_LITE_FMT_RGB565_WINDOW: {
            std::uint16_t v;
            std::memcpy(&v, row + 2 * x, 2);
            return 0xFF000000u | expand5(v >> 11) << 16 | expand6((v >> 5) & 0x3F) << 8 | expand5(v & 0x1F);
        }
        case VG_LITE_FMT_ARGB4444: {
            std::uint16_t v;
            std::memcpy(&v, row + 2 * x, 2);
            return expand4(v >> 12) << 24 | expand4((v >> 8) & 0xF) << 16 | expand4((v >> 4) & 0xF) << 8 |
                   expand4(v & 0xF);
        }
        case VG_LITE_FMT_ARGB1555: {
            std::uint16_t v;
            std::memcpy(&v, row + 2 * x, 2);
            return ((v & 0x8000) != 0 ? 0xFF000000u : 0u) | expand5((v >> 10) & 0x1F) << 16 |
                   expand5((v >> 5) & 0x1F) << 8 | expand5(v & 0x1F);
        }
        case VG_LITE_FMT_A8:
            return static_cast<std::uint32_t>(row[x]) << 24;
        case VG_LITE_FMT_A4: {
            const std::uint8_t v = row[x / 2];
            return expand4((x & 1) != 0 ? v >> 4 : v & 0xF) << 24;
        }
        case VG_LITE_FMT_NONE:
            break;
    }
    return 0;
}

void write_argb(const vg_lite_buffer_t& b, std::int32_t x, std::int32_t y, std::uint32_t c) {
    auto* row = static_cast<std::uint8_t*>(b.memory) + static_cast<std::size_t>(y) * b.stride;
    const std::uint32_t a = c >> 24, r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, bl = c & 0xFF;
    switch (b.format) {
        case VG_LITE_FMT_ARGB8888:
            std::memcpy(row + 4 * x, &c, 4);
            return;
        case VG_LITE_FMT_RGB565:
        case VG_LITE_FMT_RGB565_WINDOW: {
            const auto v = static_cast<std::uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | bl >> 3);
            std::memcpy(row + 2 * x, &v, 2);
            return;
        }
        case VG_LITE_FMT_ARGB4444: {
            const auto v = static_cast<std::uint16_t>((a >> 4) << 12 | (r >> 4) << 8 | (g >> 4) << 4 | bl >> 4);
            std::memcpy(row + 2 * x, &v, 2);
            return;
        }
        case VG_LITE_FMT_ARGB1555: {
            const auto v =
                static_cast<std::uint16_t>((a >= 128 ? 0x8000 : 0) | (r >> 3) << 10 | (g >> 3) << 5 | bl >> 3);
            std::memcpy(row + 2 * x, &v, 2);
            return;
        }
        case VG_LITE_FMT_A8:
            row[x] = static_cast<std::uint8_t>(a);
            return;
        case VG_LITE_FMT_A4: {
            std::uint8_t& v = row[x / 2];
            v = (x & 1) != 0 ? static_cast<std::uint8_t>((v & 0x0F) | (a >> 4) << 4)
                             : static_cast<std::uint8_t>((v & 0xF0) | a >> 4);
            return;
        }
        case VG_LITE_FMT_NONE:
            return;
    }
}

std::uint32_t premultiply(std::uint32_t c) {
    const std::uint32_t a = c >> 24;
    return a << 24 | mul255((c >> 16) & 0xFF, a) << 16 | mul255((c >> 8) & 0xFF, a) << 8 | mul255(c & 0xFF, a);
}

std::uint32_t unpremultiply(std::uint32_t c) {
    const std::uint32_t a = c >> 24;
    if (a == 0) return 0;
    auto ch = [a](std::uint32_t v) { return std::min<std::uint32_t>(255, (v * 255 + a / 2) / a); };
    return a << 24 | ch((c >> 16) & 0xFF) << 16 | ch((c >> 8) & 0xFF) << 8 | ch(c & 0xFF);
}

bool valid(const vg_lite_buffer_t& b) {
    return b.memory != nullptr && b.width > 0 && b.height > 0 && b.stride > 0 && b.format != VG_LITE_FMT_NONE;
}

// A cairo surface over the target: in place for RGB565 with a stride cairo
// accepts, else a premultiplied copy written back by finish().
struct Target {
    const vg_lite_buffer_t& buffer;
    std::vector<std::uint32_t> copy;
    cairo_surface_t* surface = nullptr;
    bool in_place = false;

    explicit Target(const vg_lite_buffer_t& b) : buffer(b) {
        if (is565(b.format) && b.stride % 4 == 0 && b.stride >= 2 * b.width) {
            in_place = true;
            surface = cairo_image_surface_create_for_data(static_cast<unsigned char*>(b.memory), CAIRO_FORMAT_RGB16_565,
                                                          b.width, b.height, b.stride);
            return;
        }
        copy.resize(static_cast<std::size_t>(b.width) * b.height);
        for (std::int32_t y = 0; y < b.height; ++y)
            for (std::int32_t x = 0; x < b.width; ++x)
                copy[static_cast<std::size_t>(y) * b.width + x] = premultiply(read_argb(b, x, y));
        surface = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(copy.data()),
                                                      CAIRO_FORMAT_ARGB32, b.width, b.height, 4 * b.width);
    }
    void finish() {
        cairo_surface_flush(surface);
        if (in_place) return;
        for (std::int32_t y = 0; y < buffer.height; ++y)
            for (std::int32_t x = 0; x < buffer.width; ++x)
                write_argb(buffer, x, y, unpremultiply(copy[static_cast<std::size_t>(y) * buffer.width + x]));
    }
    ~Target() { cairo_surface_destroy(surface); }
};

cairo_operator_t operator_of(vg_lite_blend_t blend) {
    switch (blend) {
        case VG_LITE_BLEND_NONE:
            return CAIRO_OPERATOR_SOURCE;
        case VG_LITE_BLEND_SRC_OVER:
            return CAIRO_OPERATOR_OVER;
        case VG_LITE_BLEND_DST_OVER:
            return CAIRO_OPERATOR_DEST_OVER;
        case VG_LITE_BLEND_SRC_IN:
            return CAIRO_OPERATOR_IN;
        case VG_LITE_BLEND_DST_IN:
            return CAIRO_OPERATOR_DEST_IN;
        case VG_LITE_BLEND_SCREEN:
            return CAIRO_OPERATOR_SCREEN;
        case VG_LITE_BLEND_MULTIPLY:
            return CAIRO_OPERATOR_MULTIPLY;
        case VG_LITE_BLEND_ADDITIVE:
            return CAIRO_OPERATOR_ADD;
        case VG_LITE_BLEND_SUBTRACT:
            return CAIRO_OPERATOR_DIFFERENCE;
    }
    return CAIRO_OPERATOR_OVER;
}

// The callers have checked that the matrix is invertible.
void set_matrix(cairo_t* cr, const vg_lite_matrix_t& m) {
    cairo_matrix_t cm;
    cairo_matrix_init(&cm, m.m[0][0], m.m[1][0], m.m[0][1], m.m[1][1], m.m[0][2], m.m[1][2]);
    cairo_set_matrix(cr, &cm);
}

bool invertible(const vg_lite_matrix_t& m) {
    const double det = static_cast<double>(m.m[0][0]) * m.m[1][1] - static_cast<double>(m.m[0][1]) * m.m[1][0];
    return det != 0.0 && det == det;
}

void begin(cairo_t* cr, const Command& c) {
    cairo_set_operator(cr, operator_of(c.blend));
    if (c.scissor_enabled) {
        cairo_rectangle(cr, c.scissor[0], c.scissor[1], c.scissor[2], c.scissor[3]);
        cairo_clip(cr);
    }
}

// Appends the 16-bit path data to cairo's path; stops at END or at the end
// of the data (a truncated command is dropped).
void add_path(cairo_t* cr, const std::vector<std::uint8_t>& data) {
    const std::size_t words = data.size() / 2;
    auto word = [&](std::size_t i) {
        std::int16_t v;
        std::memcpy(&v, data.data() + 2 * i, 2);
        return static_cast<double>(v);
    };
    std::size_t i = 0;
    while (i < words) {
        const auto op = static_cast<std::uint16_t>(word(i));
        if (op == VG_LITE_CMD_END) break;
        if (op == VG_LITE_CMD_MOVE || op == VG_LITE_CMD_LINE) {
            if (i + 2 >= words) break;
            if (op == VG_LITE_CMD_MOVE) {
                cairo_close_path(cr);
                cairo_move_to(cr, word(i + 1), word(i + 2));
            } else {
                cairo_line_to(cr, word(i + 1), word(i + 2));
            }
            i += 3;
        } else if (op == VG_LITE_CMD_CUBIC) {
            if (i + 6 >= words) break;
            cairo_curve_to(cr, word(i + 1), word(i + 2), word(i + 3), word(i + 4), word(i + 5), word(i + 6));
            i += 7;
        } else {
            break;  // unknown command: the rest is not a path
        }
    }
    cairo_close_path(cr);
}

void draw(cairo_t* cr, const Command& c) {
    begin(cr, c);
    if (!invertible(c.matrix)) return;
    cairo_save(cr);
    set_matrix(cr, c.matrix);
    add_path(cr, c.path);
    cairo_restore(cr);  // the path stays in device space
    cairo_set_fill_rule(cr, c.fill_rule == VG_LITE_FILL_EVEN_ODD ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    const std::uint32_t col = c.color;
    cairo_set_source_rgba(cr, ((col >> 16) & 0xFF) / 255.0, ((col >> 8) & 0xFF) / 255.0, (col & 0xFF) / 255.0,
                          (col >> 24) / 255.0);
    cairo_fill(cr);
}

void blit(cairo_t* cr, const Command& c) {
    begin(cr, c);
    const vg_lite_buffer_t& s = c.source;
    if (!valid(s) || !invertible(c.matrix)) return;
    // The rectangle, cut to the source (a snapshot: an overlapping blit reads
    // the pixels as they were before it).
    const std::int64_t x0 = c.rect[0], y0 = c.rect[1];
    const std::int64_t x1 = std::min<std::int64_t>(s.width, x0 + c.rect[2]);
    const std::int64_t y1 = std::min<std::int64_t>(s.height, y0 + c.rect[3]);
    if (x0 >= x1 || y0 >= y1) return;
    const auto w = static_cast<std::int32_t>(x1 - x0), h = static_cast<std::int32_t>(y1 - y0);
    // Image mode "multiply": each pixel times the (premultiplied) paint colour;
    // alpha masks take the colour with their alpha.
    const std::uint32_t paint = premultiply(c.color);
    const bool mask = s.format == VG_LITE_FMT_A8 || s.format == VG_LITE_FMT_A4;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w) * h);
    for (std::int32_t y = 0; y < h; ++y) {
        for (std::int32_t x = 0; x < w; ++x) {
            std::uint32_t p = read_argb(s, static_cast<std::int32_t>(x0) + x, static_cast<std::int32_t>(y0) + y);
            if (mask) {
                const std::uint32_t m = p >> 24;
                p = mul255(paint >> 24, m) << 24 | mul255((paint >> 16) & 0xFF, m) << 16 |
                    mul255((paint >> 8) & 0xFF, m) << 8 | mul255(paint & 0xFF, m);
            } else {
                if (c.premultiply) p = premultiply(p);
                p = mul255(p >> 24, paint >> 24) << 24 | mul255((p >> 16) & 0xFF, (paint >> 16) & 0xFF) << 16 |
                    mul255((p >> 8) & 0xFF, (paint >> 8) & 0xFF) << 8 | mul255(p & 0xFF, paint & 0xFF);
            }
            pixels[static_cast<std::size_t>(y) * w + x] = p;
        }
    }
    cairo_surface_t* image = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(pixels.data()),
                                                                 CAIRO_FORMAT_ARGB32, w, h, 4 * w);
    // The rectangle's outline under the matrix, filled with the image seen
    // through the inverse matrix (device pixel -> source pixel).
    cairo_save(cr);
    set_matrix(cr, c.matrix);
    cairo_rectangle(cr, 0, 0, w, h);
    cairo_restore(cr);
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(image);
    cairo_matrix_t inverse;
    cairo_matrix_init(&inverse, c.matrix.m[0][0], c.matrix.m[1][0], c.matrix.m[0][1], c.matrix.m[1][1],
                      c.matrix.m[0][2], c.matrix.m[1][2]);
    cairo_matrix_invert(&inverse);
    cairo_pattern_set_matrix(pattern, &inverse);
    cairo_pattern_set_filter(pattern, c.filter == VG_LITE_FILTER_POINT ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_BILINEAR);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_set_source(cr, pattern);
    cairo_fill(cr);
    cairo_pattern_destroy(pattern);
    cairo_surface_destroy(image);
}

}  // namespace

bool rasterise(const Command& command) {
    if (!valid(command.target)) return true;
    Target target(command.target);
    cairo_t* cr = cairo_create(target.surface);
    if (command.kind == CommandKind::Draw) draw(cr, command);
    if (command.kind == CommandKind::Blit) blit(cr, command);
    cairo_destroy(cr);
    target.finish();
    return true;
}

}  // namespace tarvelo::vglite

#else

namespace tarvelo::vglite {
bool rasterise(const Command&) { return false; }
}  // namespace tarvelo::vglite

#endif
