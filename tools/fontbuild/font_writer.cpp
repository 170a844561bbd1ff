// The stored font, laid out as header (36 bytes), identifiers, name, range
// table, glyph table, glyph records; every header offset is 16 bits, so the
// tables before the glyphs must end below 64 KiB.
#include "tools/fontbuild/font_writer.h"

#include <cstring>

namespace tarvelo::fontbuild {

namespace {

constexpr std::uint32_t kHeaderSize = 36;

void put(std::vector<std::uint8_t>& out, std::size_t at, std::uint64_t v, std::uint32_t bytes) {
    for (std::uint32_t i = 0; i < bytes; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void append(std::vector<std::uint8_t>& out, std::uint64_t v, std::uint32_t bytes) {
    out.resize(out.size() + bytes);
    put(out, out.size() - bytes, v, bytes);
}

bool fail(std::string* error, const std::string& text) {
    if (error != nullptr) *error = text;
    return false;
}

bool fits(std::int64_t v, std::uint32_t bits, bool is_signed) {
    if (is_signed) return v >= -(std::int64_t{1} << (bits - 1)) && v < (std::int64_t{1} << (bits - 1));
    return v >= 0 && v < (std::int64_t{1} << bits);
}

bool fits_glyph_header(const GlyphBitmap& g, std::uint32_t bits) {
    return fits(g.advance, bits, false) && fits(g.x_offset, bits, true) && fits(g.y_offset, bits, true) &&
           fits(g.width, bits, false) && fits(g.height, bits, false);
}

// The glyph record: five header fields, then rows of packed values from
// each byte's least significant bits.
void append_glyph(std::vector<std::uint8_t>& out, const GlyphBitmap& g, std::uint32_t field, std::uint32_t depth) {
    append(out, static_cast<std::uint32_t>(g.advance), field);
    append(out, static_cast<std::uint32_t>(g.x_offset), field);
    append(out, static_cast<std::uint32_t>(g.y_offset), field);
    append(out, g.width, field);
    append(out, g.height, field);
    const std::uint32_t stride = (g.width * depth + 7) / 8;
    const std::size_t start = out.size();
    out.resize(start + std::size_t{stride} * g.height, 0);
    const std::uint32_t mask = (1u << depth) - 1;
    for (std::uint32_t y = 0; y < g.height; ++y)
        for (std::uint32_t x = 0; x < g.width; ++x) {
            const std::uint32_t bit = x * depth;
            out[start + std::size_t{y} * stride + bit / 8] |=
                static_cast<std::uint8_t>((g.values[std::size_t{y} * g.width + x] & mask) << (bit % 8));
        }
}

bool check(const FontLayout& l, const std::vector<CodeRange>& ranges, const std::vector<GlyphBitmap>& glyphs,
           std::string* error) {
    if (l.version != 6 && l.version != 7) return fail(error, "version must be 6 or 7");
    if (l.depth != 1 && l.depth != 2 && l.depth != 4 && l.depth != 8) return fail(error, "depth must be 1, 2, 4 or 8");
    if (l.tab_code > 3) return fail(error, "tab code must be 0..3");
    if (ranges.empty() || ranges.size() > 255) return fail(error, "a font has 1 to 255 code-point ranges");
    if (l.identifiers.size() > 255) return fail(error, "at most 255 identifiers");
    std::uint64_t count = 0;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        if (ranges[i].first > ranges[i].last || ranges[i].last > 0x10FFFF)
            return fail(error, "a range runs from its first to its last code point, at most U+10FFFF");
        if (i > 0 && ranges[i].first <= ranges[i - 1].last) return fail(error, "ranges must be ascending and disjoint");
        count += ranges[i].last - ranges[i].first + 1;
    }
    if (count != glyphs.size()) return fail(error, "one glyph is needed for every code point of the ranges");
    for (const GlyphBitmap& g : glyphs)
        if (g.values.size() != std::size_t{g.width} * g.height) return fail(error, "a glyph's values do not match its size");
    for (std::uint32_t v : {l.monospace_advance, l.line_height, l.baseline, l.space_width})
        if (v > 0xFFFE) return fail(error, "advances, height, baseline and space width must be below 65535");
    return true;
}

}  // namespace

std::vector<std::uint8_t> write_font(const FontLayout& l, const std::vector<CodeRange>& ranges,
                                     const std::vector<GlyphBitmap>& glyphs, std::string* error) {
    if (!check(l, ranges, glyphs, error)) return {};
    std::uint32_t header_bits = l.glyph_header_bits;
    if (header_bits == 0) {
        header_bits = 8;
        for (const GlyphBitmap& g : glyphs)
            if (!fits_glyph_header(g, 8)) header_bits = 16;
    }
    if (header_bits != 8 && header_bits != 16) return fail(error, "glyph headers have 8- or 16-bit fields"), std::vector<std::uint8_t>{};
    for (const GlyphBitmap& g : glyphs)
        if (!fits_glyph_header(g, header_bits))
            return fail(error, "a glyph's advance, offsets or size do not fit its header fields"), std::vector<std::uint8_t>{};
    std::uint32_t bound = l.bound_bytes;
    if (bound == 0) bound = ranges.back().last <= 0xFF ? 1 : ranges.back().last <= 0xFFFF ? 2 : 4;
    if ((bound != 1 && bound != 2 && bound != 4) || (bound < 4 && ranges.back().last >= (1u << (8 * bound))))
        return fail(error, "range bounds of 1, 2 or 4 bytes must hold the last code point"), std::vector<std::uint8_t>{};

    std::vector<std::uint8_t> f(kHeaderSize, 0);
    std::memcpy(f.data(), "TRV_FNT", 7);
    f[7] = static_cast<std::uint8_t>(l.version);
    f[8] = static_cast<std::uint8_t>((l.depth == 1 ? 0 : l.depth == 2 ? 1 : l.depth == 4 ? 2 : 3) | l.tab_code << 2);
    put(f, 10, l.monospace_advance != 0 ? l.monospace_advance : 0xFFFF, 2);
    put(f, 12, l.line_height, 2);
    put(f, 14, l.baseline, 2);
    put(f, 16, l.space_width, 2);
    f[20] = l.style;
    f[21] = static_cast<std::uint8_t>(ranges.size());
    f[22] = static_cast<std::uint8_t>(l.identifiers.size());
    f[23] = l.application_byte;
    put(f, 32, 0xFFFFFFFFu, 4);

    put(f, 24, f.size(), 2);
    for (std::uint32_t id : l.identifiers) append(f, id, 4);
    put(f, 26, f.size(), 2);
    f.insert(f.end(), l.name.begin(), l.name.end());
    f.push_back(0);
    put(f, 28, f.size(), 2);
    for (const CodeRange& r : ranges) {
        append(f, r.first, bound);
        append(f, r.last, bound);
    }
    if (f.size() > 0xFFFF) return fail(error, "identifiers, name and ranges exceed 64 KiB"), std::vector<std::uint8_t>{};
    const std::size_t table = f.size();
    put(f, 30, table, 2);

    // Glyph records after the table; 16-bit offsets when everything fits.
    std::vector<std::uint8_t> records;
    std::vector<std::uint64_t> at;
    for (const GlyphBitmap& g : glyphs) {
        at.push_back(records.size());
        append_glyph(records, g, header_bits / 8, l.depth);
    }
    // The last record's start is the largest offset.
    auto last_start = [&](std::uint32_t bits) { return table + std::uint64_t{bits / 8} * glyphs.size() + at.back(); };
    std::uint32_t offset_bits = l.offset_bits;
    if (offset_bits == 0) offset_bits = last_start(16) <= 0xFFFF ? 16 : 32;
    if (offset_bits != 16 && offset_bits != 32) return fail(error, "glyph offsets have 16 or 32 bits"), std::vector<std::uint8_t>{};
    if (last_start(offset_bits) > (offset_bits == 16 ? 0xFFFFull : 0xFFFFFFFFull))
        return fail(error, "the glyphs do not fit 16-bit offsets"), std::vector<std::uint8_t>{};
    const std::uint64_t first_glyph = table + std::uint64_t{offset_bits / 8} * glyphs.size();
    for (std::uint64_t a : at) append(f, first_glyph + a, offset_bits / 8);
    f.insert(f.end(), records.begin(), records.end());

    const std::uint32_t bound_code = bound == 1 ? 0 : bound == 2 ? 1 : 2;
    f[9] = static_cast<std::uint8_t>((offset_bits == 32 ? 0x40 : 0) | (l.monospace_advance != 0 ? 0x20 : 0) |
                                     (header_bits == 16 ? 0x10 : 0) | bound_code << 2);
    return f;
}

}  // namespace tarvelo::fontbuild
