// RAW image files from ARGB8888 pixels. Each format stores the nearest value
// it can hold: channels truncated as the engine's own writers do, alpha and
// grey levels rounded, premultiplied channels rounded up so that a value the
// format can represent reads back exactly.
#include "tools/rawimage/raw_encoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

#include "graphics/pixels/pixel_formats.h"
#include "tools/rawimage/run_length.h"

namespace tarvelo::rawimage {

namespace g = tarvelo::graphics;

namespace {

constexpr char kSignature[] = "TRV_IMG";

std::uint32_t channel(std::uint32_t c, int shift) { return (c >> shift) & 0xFF; }

// Level 0..max nearest to the 8-bit value v.
std::uint32_t level(std::uint32_t v, std::uint32_t max) { return (v * max + 127) / 255; }

// A premultiplied channel of c under alpha level a: of the two stored
// values around c * a / 255, the one the engine un-premultiplies
// (v * 255 / a) nearer to c, so that every value the format can represent
// survives the round trip exactly.
std::uint32_t premultiplied(std::uint32_t c, std::uint32_t a) {
    if (a == 0) return 0;
    const std::uint32_t low = c * a / 255, high = std::min(low + 1, a);
    const auto error = [&](std::uint32_t v) {
        const std::uint32_t back = v * 255 / a;
        return back > c ? back - c : c - back;
    };
    return error(high) < error(low) ? high : low;
}

std::uint32_t grey_of(std::uint32_t c) { return g::gray_level(c); }

// The sample of a sub-byte or 8-bit value format for one pixel.
std::uint32_t sample(std::int32_t format, std::uint32_t c) {
    const std::uint32_t a = c >> 24;
    switch (format) {
        case g::kFormatA8: case g::kFormatF8: return a;
        case g::kFormatA4: case g::kFormatF4: return level(a, 15);
        case g::kFormatA2: case g::kFormatF2: return level(a, 3);
        case g::kFormatA1: case g::kFormatF1: return a >= 128 ? 1 : 0;
        case g::kFormatC4: return level(grey_of(c), 15);
        case g::kFormatC2: return level(grey_of(c), 3);
        case g::kFormatC1: return grey_of(c) >= 128 ? 1 : 0;
        case g::kFormatAC44: return level(a, 15) << 4 | level(grey_of(c), 15);
        case g::kFormatAC22: return level(a, 3) << 2 | level(grey_of(c), 3);
        case g::kFormatAC11: return (a >= 128 ? 2u : 0u) | (grey_of(c) >= 128 ? 1u : 0u);
        default: return 0;
    }
}

// A 16- or 32-bit word of a direct colour format.
std::uint32_t word(std::int32_t format, std::uint32_t c) {
    const std::uint32_t a = c >> 24;
    switch (format) {
        case g::kFormatDISPLAY:
        case g::kFormatRGB565: return g::argb_to_rgb565(c);
        case g::kFormatARGB8888: return c;
        case g::kFormatARGB1555: return g::argb_to_argb1555(a >= 128 ? c | 0xFF000000u : c & 0xFFFFFF);
        case g::kFormatARGB4444: {
            const std::uint32_t n = level(a, 15);
            return n << 12 | (channel(c, 16) >> 4) << 8 | (channel(c, 8) >> 4) << 4 | channel(c, 0) >> 4;
        }
        case g::kFormatARGB8888PRE:
            return a << 24 | premultiplied(channel(c, 16), a) << 16 | premultiplied(channel(c, 8), a) << 8 |
                   premultiplied(channel(c, 0), a);
        case g::kFormatARGB1555PRE:
            // One alpha bit: opaque pixels keep their colour, transparent ones none.
            return a >= 128 ? g::argb_to_argb1555(c | 0xFF000000u) : 0;
        case g::kFormatARGB4444PRE: {
            // Premultiplied in nibbles: the stored nibble q reads as q * 255 / n.
            const std::uint32_t n = level(a, 15);
            auto q = [n](std::uint32_t v) { return premultiplied(v, n); };
            return n << 12 | q(channel(c, 16)) << 8 | q(channel(c, 8)) << 4 | q(channel(c, 0));
        }
        default: return 0;
    }
}

void put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

bool fail(std::string* error, const std::string& text) {
    if (error != nullptr) *error = text;
    return false;
}

// Pixels in the order the run-length formats count them: memory width per
// row, the columns beyond the width transparent.
std::vector<std::uint32_t> padded_rows(const Picture& p, std::uint32_t memory_width) {
    std::vector<std::uint32_t> out(std::size_t{memory_width} * p.height, 0);
    for (std::uint32_t y = 0; y < p.height; ++y)
        std::copy_n(p.argb.begin() + static_cast<std::ptrdiff_t>(std::size_t{y} * p.width), p.width,
                    out.begin() + static_cast<std::ptrdiff_t>(std::size_t{y} * memory_width));
    return out;
}

bool encode_pixels(const Picture& p, const RawOptions& o, std::uint32_t m, std::vector<std::uint8_t>* out,
                   std::vector<std::uint8_t>* palette, std::uint32_t* palette_count, std::string* error) {
    const std::int32_t format = o.format;
    if (format == g::kFormatA8RLE) {
        std::vector<std::uint8_t> a;
        for (std::uint32_t c : padded_rows(p, m)) a.push_back(static_cast<std::uint8_t>(c >> 24));
        *out = encode_a8rle(a);
        return true;
    }
    if (format == g::kFormatARGB1565RLE) {
        *out = encode_argb1565rle(padded_rows(p, m));
        return true;
    }
    const std::uint32_t bpp = g::bits_per_pixel(format);
    out->assign(g::data_size(format, p.width, p.height, m), 0);
    if (g::is_palette_format(format)) {
        const std::uint32_t entry = o.palette_entry_size != 0 ? o.palette_entry_size : format == 9 ? 3 : 4;
        if (entry != 3 && entry != 4) return fail(error, "palette entries are 3 or 4 bytes");
        std::map<std::uint32_t, std::uint32_t> index;
        for (std::uint32_t c : p.argb) {
            const std::uint32_t key = format == g::kFormatLRGB888 || entry == 3 ? c | 0xFF000000u : c;
            if (index.count(key) != 0) continue;
            if (index.size() == 256) return fail(error, "more than 256 colours for a palette format");
            const auto i = static_cast<std::uint32_t>(index.size());
            index[key] = i;
            for (std::uint32_t k = 0; k < entry; ++k) palette->push_back(static_cast<std::uint8_t>(key >> (8 * k)));
        }
        *palette_count = static_cast<std::uint32_t>(std::max<std::size_t>(index.size(), 1));
        if (index.empty()) palette->assign(entry, 0);
        for (std::uint32_t y = 0; y < p.height; ++y)
            for (std::uint32_t x = 0; x < p.width; ++x) {
                const std::uint32_t c = p.argb[std::size_t{y} * p.width + x];
                (*out)[std::size_t{y} * m + x] =
                    static_cast<std::uint8_t>(index[format == 9 || entry == 3 ? c | 0xFF000000u : c]);
            }
        return true;
    }
    for (std::uint32_t y = 0; y < p.height; ++y) {
        for (std::uint32_t x = 0; x < p.width; ++x) {
            const std::uint32_t c = p.argb[std::size_t{y} * p.width + x];
            if (bpp < 8) {
                const std::uint32_t per_byte = 8 / bpp;
                std::uint8_t& byte = (*out)[std::size_t{y} * m + x / per_byte];
                byte = static_cast<std::uint8_t>(byte | sample(format, c) << ((x % per_byte) * bpp));
            } else if (bpp == 8) {
                (*out)[std::size_t{y} * m + x] = static_cast<std::uint8_t>(sample(format, c));
            } else {
                const std::uint32_t bytes = bpp / 8;
                std::uint8_t* at = out->data() + (std::size_t{y} * m + x) * bytes;
                const std::uint32_t v = format == g::kFormatRGB888 ? c : word(format, c);
                for (std::uint32_t k = 0; k < bytes; ++k) at[k] = static_cast<std::uint8_t>(v >> (8 * k));
            }
        }
    }
    return true;
}

}  // namespace

std::vector<std::uint8_t> encode_raw(const Picture& p, const RawOptions& o, std::string* error) {
    const std::int32_t format = o.format;
    if (!g::is_known_format(format)) return fail(error, "unknown format code"), std::vector<std::uint8_t>{};
    if (g::is_custom_format(format))
        return fail(error, "custom formats hold the port's own pixels"), std::vector<std::uint8_t>{};
    if (p.width == 0 || p.height == 0 || p.width > 0xFFFF || p.height > 0xFFFF ||
        p.argb.size() != std::size_t{p.width} * p.height)
        return fail(error, "width and height must be 1..65535"), std::vector<std::uint8_t>{};
    const std::uint32_t bpp = g::bits_per_pixel(format);
    std::uint32_t m = o.memory_width;
    if (m == 0) m = g::is_rle_format(format) ? p.width : g::default_memory_width(format, p.width);
    const std::uint64_t row_bits = std::uint64_t{p.width} * (bpp >= 8 ? 1 : bpp);
    if (m > 0xFFFF || std::uint64_t{m} * (bpp >= 8 ? 1 : 8) < row_bits)
        return fail(error, "memory width does not hold a row"), std::vector<std::uint8_t>{};

    std::vector<std::uint8_t> pixels, palette;
    std::uint32_t palette_count = 0;
    if (!encode_pixels(p, o, m, &pixels, &palette, &palette_count, error)) return {};

    const std::uint32_t header = g::header_size(format);
    const std::uint64_t pixel_offset = std::uint64_t{header} + o.padding;
    if (pixel_offset > 0xFFFF) return fail(error, "pixel offset beyond 65535"), std::vector<std::uint8_t>{};
    // The engine refuses pixels it would read at a misaligned address.
    const std::uint32_t alignment = g::pixel_alignment(format);
    if (pixel_offset % alignment != 0)
        return fail(error, "padding leaves the pixels at an offset that is not a multiple of " +
                               std::to_string(alignment)),
               std::vector<std::uint8_t>{};
    std::vector<std::uint8_t> file(8 + pixel_offset, 0);
    std::memcpy(file.data(), kSignature, 7);
    file[7] = 1;
    std::uint8_t* h = file.data() + 8;
    put16(h, p.width);
    put16(h + 2, p.height);
    h[4] = static_cast<std::uint8_t>(format);
    bool opaque = true;
    for (std::uint32_t c : p.argb) opaque = opaque && (c >> 24) == 255;
    const auto* info = g::format_info(format);
    h[5] = static_cast<std::uint8_t>((o.display_format_flag || format == 0 ? 0x02 : 0) |
                                     (info->opaque || opaque ? 0x04 : 0));
    put16(h + 6, m);
    put16(h + 8, static_cast<std::uint32_t>(pixel_offset));
    put16(h + 10, static_cast<std::uint32_t>(pixel_offset));
    if (g::is_palette_format(format)) {
        h[12] = static_cast<std::uint8_t>(palette.size() / palette_count);
        h[13] = static_cast<std::uint8_t>(palette_count - 1);
    }
    file.insert(file.end(), palette.begin(), palette.end());
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
}

bool parse_format(const std::string& text, std::int32_t* format) {
    static const char* const kNames[] = {
#define PIXEL_FORMAT(code, name, bpp, opaque, colours, writable) #name,
#include "graphics/pixels/pixel_formats.def"
#undef PIXEL_FORMAT
    };
    for (std::int32_t i = 0; i < g::kFormatCount; ++i)
        if (text == kNames[i]) return *format = i, true;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || !g::is_known_format(static_cast<std::int32_t>(v))) return false;
    *format = static_cast<std::int32_t>(v);
    return true;
}

}  // namespace tarvelo::rawimage
