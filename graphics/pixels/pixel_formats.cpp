// Pixel formats: the table, the geometry, readers and writers.
#include "graphics/pixels/pixel_formats.h"

#include <algorithm>
#include <cstring>

#include "graphics/display/display_config.h"
#include "platform/address.h"

namespace tarvelo::graphics {

namespace {

constexpr FormatInfo kFormats[kFormatCount] = {
#define PIXEL_FORMAT(code, name, bpp, opaque, colours, writable) {code, #name, bpp, opaque, colours, writable},
#include "graphics/pixels/pixel_formats.def"
#undef PIXEL_FORMAT
};

constexpr bool table_in_code_order() {
    for (std::int32_t i = 0; i < kFormatCount; ++i)
        if (kFormats[i].code != i) return false;
    return true;
}
static_assert(table_in_code_order(), "pixel_formats.def lists the codes 0..26 in order");

std::uint32_t u16_at(const std::uint8_t* p) { return static_cast<std::uint32_t>(p[0] | (p[1] << 8)); }

std::uint32_t round_up(std::uint32_t v, std::uint32_t m) { return (v + m - 1) / m * m; }

// Sub-byte sample n of width bpp at pixel (x, y): pixels are packed from the
// least significant bits of each byte.
std::uint32_t sub_byte(const PixelSource& s, std::uint32_t bpp, std::int32_t x, std::int32_t y) {
    const std::uint32_t per_byte = 8 / bpp;
    const std::uint8_t byte =
        s.pixels[static_cast<std::size_t>(y) * s.memory_width + static_cast<std::uint32_t>(x) / per_byte];
    return (byte >> ((static_cast<std::uint32_t>(x) % per_byte) * bpp)) & ((1u << bpp) - 1);
}

std::uint32_t grey(std::uint32_t g) { return 0xFF000000u | (g << 16) | (g << 8) | g; }

}  // namespace

const FormatInfo* format_info(std::int32_t code) {
    return code >= 0 && code < kFormatCount ? &kFormats[code] : nullptr;
}

std::uint32_t bits_per_pixel(std::int32_t code) {
    const FormatInfo* f = format_info(code);
    return f == nullptr ? 0 : f->bpp;
}

std::uint32_t header_size(std::int32_t code) {
    if (!is_known_format(code)) return 0;
    return is_palette_format(code) ? 14 : 12;
}

std::uint32_t default_memory_width(std::int32_t code, std::uint32_t w) {
    if (is_custom_format(code)) return w;
    if (!is_known_format(code) || is_rle_format(code)) return 0;
    switch (bits_per_pixel(code)) {
        case 16: return round_up(w, 2);
        case 4: return (w + 1) / 2;
        case 2: return (w + 3) / 4;
        case 1: return (w + 7) / 8;
        default: return w;
    }
}

std::uint64_t data_size(std::int32_t code, std::uint32_t width, std::uint32_t height, std::uint32_t m) {
    if (!is_known_format(code) || is_custom_format(code) || is_rle_format(code)) return 0;
    const std::uint32_t bpp = bits_per_pixel(code);
    if (bpp >= 8) return static_cast<std::uint64_t>(bpp / 8) * m * height;
    // Sub-byte rows: at least the packed width, and the stride when wider.
    const std::uint64_t packed = (static_cast<std::uint64_t>(width) * bpp + 7) / 8;
    return std::max<std::uint64_t>(packed, m) * height;
}

std::uint32_t pixel_alignment(std::int32_t code) {
    if (is_rle_format(code)) return 1;
    const std::uint32_t bpp = bits_per_pixel(code);
    return bpp == 16 || bpp == 32 ? bpp / 8 : 1;
}

std::uint32_t stride_to_bytes(std::uint32_t bpp, std::uint32_t v) { return bpp <= 8 ? v : v * bpp / 8; }
std::uint32_t stride_to_pixels(std::uint32_t bpp, std::uint32_t v) {
    if (bpp == 0) return v;
    return bpp <= 7 ? v * 8 / bpp : v;
}
std::uint32_t bytes_to_stride(std::uint32_t bpp, std::uint32_t v) { return bpp <= 8 ? v : v * 8 / bpp; }

std::uint32_t argb1555_to_argb(std::uint32_t p) {
    return ((p & 0x8000u) ? 0xFF000000u : 0) | (((p >> 10) & 0x1F) << 19) | (((p >> 5) & 0x1F) << 11) |
           ((p & 0x1F) << 3);
}

std::uint16_t argb_to_argb1555(std::uint32_t c) {
    return static_cast<std::uint16_t>(((c >> 24) == 0xFF ? 0x8000u : 0) | (((c >> 19) & 0x1F) << 10) |
                                      (((c >> 11) & 0x1F) << 5) | ((c >> 3) & 0x1F));
}

std::uint32_t argb4444_to_argb(std::uint32_t p) {
    return (((p >> 12) & 0xF) * 17u) << 24 | (((p >> 8) & 0xF) * 17u) << 16 | (((p >> 4) & 0xF) * 17u) << 8 |
           (p & 0xF) * 17u;
}

std::uint16_t argb_to_argb4444(std::uint32_t c) {
    return static_cast<std::uint16_t>(((c >> 28) << 12) | (((c >> 20) & 0xF) << 8) | (((c >> 12) & 0xF) << 4) |
                                      ((c >> 4) & 0xF));
}

std::uint32_t unpremultiply(std::uint32_t c) {
    const std::uint32_t a = c >> 24;
    if (a == 0) return c;
    auto channel = [a](std::uint32_t v) { return std::min<std::uint32_t>(255, v * 255 / a); };
    return (a << 24) | channel((c >> 16) & 0xFF) << 16 | channel((c >> 8) & 0xFF) << 8 | channel(c & 0xFF);
}

std::uint32_t gray_level(std::uint32_t c) {
    return (3483 * ((c >> 16) & 0xFF) + 11718 * ((c >> 8) & 0xFF) + 1183 * (c & 0xFF)) >> 14;
}

std::uint32_t argb_to_display(std::uint32_t argb) {
    static_assert(kDisplayFormat == kFormatRGB565, "this build drives an RGB565 display");
    return argb_to_rgb565(argb);
}

std::uint32_t display_to_argb(std::uint32_t colour) { return rgb565_to_argb(colour & 0xFFFF); }

std::uint32_t display_colour_count() { return kFormats[kDisplayFormat].colours; }

std::uint8_t* image_pixels(const SPictavoImage* image) {
    if (image->flags & kImageBareBuffer) return to_ptr<std::uint8_t>(image->data);
    const auto* header = to_ptr<const RawHeader>(image->data);
    return to_ptr<std::uint8_t>(image->data) + header->pixel_offset;
}

bool prepare_source(const SPictavoImage* image, std::uint32_t colour, PixelSource* s) {
    std::int32_t format = image->format;
    if (format == kFormatDISPLAY) format = kDisplayFormat;
    if (format_info(format) == nullptr) return false;
    *s = PixelSource{};
    s->pixels = image_pixels(image);
    s->memory_width = image->memory_width;
    s->format = format;
    s->colour = colour & 0xFFFFFF;
    s->width = image->width;
    s->height = image->height;
    if (is_palette_format(format) && !(image->flags & kImageBareBuffer)) {
        const auto* header = to_ptr<const RawHeader>(image->data);
        s->palette = s->pixels;
        s->palette_count = header->palette_count_minus_1 + 1u;
        s->palette_entry_size = header->palette_entry_size == 3 ? 3 : 4;
        s->pixels += s->palette_count * s->palette_entry_size;
    }
    return true;
}

namespace {

// The group to start from: the cursor's when it lies at or before the index.
void walk_start(const std::uint8_t* data, std::uint32_t index, const RunCursor* cursor, const std::uint8_t** group,
                std::uint32_t* first) {
    if (cursor != nullptr && cursor->group != nullptr && cursor->first <= index) {
        *group = cursor->group;
        *first = cursor->first;
    } else {
        *group = data;
        *first = 0;
    }
}

void remember(RunCursor* cursor, const std::uint8_t* group, std::uint32_t first) {
    if (cursor != nullptr) *cursor = RunCursor{group, first};
}

}  // namespace

std::uint32_t read_a8rle(const std::uint8_t* data, std::uint32_t index, std::uint32_t limit, std::uint32_t colour,
                         RunCursor* cursor) {
    std::uint32_t first;
    const std::uint8_t* group;
    walk_start(data, index, cursor, &group, &first);
    while (first < limit) {
        const std::uint32_t header = u16_at(group);
        const std::uint32_t n = header & 0x3FFF;
        if (n == 0) break;
        const std::uint32_t type = header & 0xC000;
        if (index < first + n) {
            remember(cursor, group, first);
            std::uint32_t opacity = 0;
            if (type == 0x0000) opacity = group[2];
            else if (type == 0x4000) opacity = group[2 + (index - first)];
            else if (type == 0x8000) opacity = 255;
            return opacity == 0 ? 0 : (opacity << 24) | colour;
        }
        switch (type) {
            case 0x0000: group += 4; break;
            case 0x4000: group += 2 + n + (n & 1); break;
            default: group += 2; break;
        }
        first += n;
    }
    return 0;
}

std::uint32_t read_argb1565rle(const std::uint8_t* data, std::uint32_t index, std::uint32_t limit,
                               RunCursor* cursor) {
    std::uint32_t first;
    const std::uint8_t* group;
    walk_start(data, index, cursor, &group, &first);
    while (first < limit) {
        const std::uint32_t header = u16_at(group);
        const std::uint32_t n = header & 0x3FFF;
        const std::uint32_t type = header & 0xC000;
        if (n == 0 || type == 0x8000) break;  // the end, or data that breaks the group rules
        if (index < first + n) {
            remember(cursor, group, first);
            if (type == 0x0000) return rgb565_to_argb(u16_at(group + 2));
            if (type == 0x4000) return rgb565_to_argb(u16_at(group + 2 + 2 * (index - first)));
            return 0;
        }
        group += type == 0x0000 ? 4 : type == 0x4000 ? 2 + 2 * n : 2;
        first += n;
    }
    return 0;
}

std::uint32_t read_pixel(const PixelSource& s, std::int32_t x, std::int32_t y) {
    const std::size_t i = static_cast<std::size_t>(y) * s.memory_width + static_cast<std::uint32_t>(x);
    const std::uint8_t* p = s.pixels;
    switch (s.format) {
        case kFormatRGB565: return rgb565_to_argb(u16_at(p + 2 * i));
        case kFormatARGB1565RLE:
            return read_argb1565rle(p, static_cast<std::uint32_t>(i), s.memory_width * s.height, &s.cursor);
        case kFormatARGB8888: {
            std::uint32_t w;
            std::memcpy(&w, p + 4 * i, 4);
            return w;
        }
        case kFormatRGB888:
            return 0xFF000000u | p[3 * i + 2] << 16 | p[3 * i + 1] << 8 | p[3 * i];
        case kFormatARGB1555: return argb1555_to_argb(u16_at(p + 2 * i));
        case kFormatARGB4444: return argb4444_to_argb(u16_at(p + 2 * i));
        case kFormatA4:
        case kFormatF4: return (sub_byte(s, 4, x, y) * 17) << 24 | s.colour;
        case kFormatA8:
        case kFormatF8: return static_cast<std::uint32_t>(p[i]) << 24 | s.colour;
        case kFormatA2:
        case kFormatF2: return (sub_byte(s, 2, x, y) * 85) << 24 | s.colour;
        case kFormatA1:
        case kFormatF1: return (sub_byte(s, 1, x, y) ? 0xFF000000u : 0) | s.colour;
        case kFormatLRGB888:
        case kFormatLARGB8888: {
            const std::uint32_t index = p[i];
            if (index >= s.palette_count) return 0xFF000000u;
            const std::uint8_t* e = s.palette + index * s.palette_entry_size;
            if (s.palette_entry_size == 3) return 0xFF000000u | e[2] << 16 | e[1] << 8 | e[0];
            std::uint32_t w;
            std::memcpy(&w, e, 4);
            return s.format == kFormatLRGB888 ? (w | 0xFF000000u) : w;
        }
        case kFormatC4: return grey(sub_byte(s, 4, x, y) * 17);
        case kFormatC2: return grey(sub_byte(s, 2, x, y) * 85);
        case kFormatC1: return sub_byte(s, 1, x, y) ? 0xFFFFFFFFu : 0xFF000000u;
        case kFormatAC44: {
            const std::uint32_t v = p[i];
            return ((v >> 4) * 17) << 24 | (grey((v & 0xF) * 17) & 0xFFFFFF);
        }
        case kFormatAC22: {
            const std::uint32_t v = sub_byte(s, 4, x, y);
            return ((v >> 2) * 85) << 24 | (grey((v & 3) * 85) & 0xFFFFFF);
        }
        case kFormatAC11: {
            const std::uint32_t v = sub_byte(s, 2, x, y);
            return ((v & 2) ? 0xFF000000u : 0) | ((v & 1) ? 0xFFFFFF : 0);
        }
        case kFormatA8RLE:
            return read_a8rle(p, static_cast<std::uint32_t>(i), s.memory_width * s.height, s.colour, &s.cursor);
        case kFormatARGB8888PRE: {
            std::uint32_t w;
            std::memcpy(&w, p + 4 * i, 4);
            return unpremultiply(w);
        }
        case kFormatARGB1555PRE: return unpremultiply(argb1555_to_argb(u16_at(p + 2 * i)));
        case kFormatARGB4444PRE: return unpremultiply(argb4444_to_argb(u16_at(p + 2 * i)));
        default: return 0;
    }
}

bool write_pixel(std::int32_t format, std::uint8_t* pixels, std::uint32_t m, std::int32_t x, std::int32_t y,
                 std::uint32_t c) {
    const std::size_t i = static_cast<std::size_t>(y) * m + static_cast<std::uint32_t>(x);
    auto put16 = [&](std::uint16_t v) { std::memcpy(pixels + 2 * i, &v, 2); };
    switch (format) {
        case kFormatDISPLAY:
        case kFormatRGB565: put16(argb_to_rgb565(c)); return true;
        case kFormatARGB8888: std::memcpy(pixels + 4 * i, &c, 4); return true;
        case kFormatRGB888:
            pixels[3 * i] = static_cast<std::uint8_t>(c);
            pixels[3 * i + 1] = static_cast<std::uint8_t>(c >> 8);
            pixels[3 * i + 2] = static_cast<std::uint8_t>(c >> 16);
            return true;
        case kFormatARGB1555: put16(argb_to_argb1555(c)); return true;
        case kFormatARGB4444: put16(argb_to_argb4444(c)); return true;
        case kFormatA8: pixels[i] = static_cast<std::uint8_t>(c >> 24); return true;
        default: return false;
    }
}

}  // namespace tarvelo::graphics
