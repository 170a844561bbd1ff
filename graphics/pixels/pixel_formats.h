// Pixel formats: the format table, the geometry of images of each format,
// the readers (every format as ARGB8888), the writers of the formats the
// engine produces, premultiplication and the display colour conversion.
#pragma once

#include <cstdint>

#include "graphics/images/image_types.h"

namespace tarvelo::graphics {

struct FormatInfo {
    std::int8_t code;
    const char* name;
    std::uint8_t bpp;
    bool opaque;           // the header's opaque flag at run-time creation
    std::uint32_t colours; // display colours when the code is the display format
    bool writable;
};

enum FormatCode : std::int8_t {
#define PIXEL_FORMAT(code, name, bpp, opaque, colours, writable) kFormat##name = code,
#include "graphics/pixels/pixel_formats.def"
#undef PIXEL_FORMAT
};
inline constexpr std::int32_t kFormatCount = 27;

// The row of a format code 0..26; null for custom formats and unknown codes.
const FormatInfo* format_info(std::int32_t code);
inline bool is_custom_format(std::int32_t code) { return code >= -8 && code <= -1; }
inline bool is_known_format(std::int32_t code) { return code >= -8 && code <= 26; }
inline bool is_palette_format(std::int32_t code) { return code == 9 || code == 10; }
inline bool is_rle_format(std::int32_t code) { return code == 1 || code == 23; }
// Bits per pixel; 0 for custom formats and unknown codes.
std::uint32_t bits_per_pixel(std::int32_t code);

// Format geometry.
std::uint32_t header_size(std::int32_t code);
std::uint32_t default_memory_width(std::int32_t code, std::uint32_t width);
// Bytes of pixel data for `height` rows of `memory_width` (header units);
// computed in 64 bits so that no size wraps. Sub-byte formats are sized by
// their memory width in bytes, so a stride wider than the default keeps
// every row inside the data. 0 for run-length and custom formats.
std::uint64_t data_size(std::int32_t code, std::uint32_t width, std::uint32_t height, std::uint32_t memory_width);
// The alignment the pixels of `format` need: 16- and 32-bit pixels are
// read and written as whole loads and stores, so their address is a
// multiple of their size; every other format is read byte by byte (1).
std::uint32_t pixel_alignment(std::int32_t code);
// Stride conversions with `bpp` bits per pixel; a format without a size
// (bpp 0, the custom formats) keeps the value as it is.
std::uint32_t stride_to_bytes(std::uint32_t bpp, std::uint32_t value);
std::uint32_t stride_to_pixels(std::uint32_t bpp, std::uint32_t value);
std::uint32_t bytes_to_stride(std::uint32_t bpp, std::uint32_t bytes);

// Colour helpers.
inline std::uint32_t rgb565_to_argb(std::uint32_t p) {
    return 0xFF000000u | ((p & 0xF800u) << 8) | ((p & 0x07E0u) << 5) | ((p & 0x001Fu) << 3);
}
inline std::uint16_t argb_to_rgb565(std::uint32_t c) {
    return static_cast<std::uint16_t>(((c >> 8) & 0xF800u) | ((c >> 5) & 0x07E0u) | ((c >> 3) & 0x001Fu));
}
std::uint32_t argb1555_to_argb(std::uint32_t p);
std::uint16_t argb_to_argb1555(std::uint32_t c);
std::uint32_t argb4444_to_argb(std::uint32_t p);
std::uint16_t argb_to_argb4444(std::uint32_t c);
// Un-premultiplies: each colour channel c becomes min(255, c * 255 / a);
// alpha 0 leaves the word unchanged.
std::uint32_t unpremultiply(std::uint32_t argb);
// Grey level (3483 R + 11718 G + 1183 B) >> 14.
std::uint32_t gray_level(std::uint32_t argb);

// Display colour conversion for the display format of this build.
std::uint32_t argb_to_display(std::uint32_t argb);
std::uint32_t display_to_argb(std::uint32_t colour);
std::uint32_t display_colour_count();

// A position in run-length data: a group header and its first pixel's index.
struct RunCursor {
    const std::uint8_t* group = nullptr;
    std::uint32_t first = 0;
};

// Where a source is read from (the engine's per-operation pixel context).
struct PixelSource {
    const std::uint8_t* pixels = nullptr;  // first pixel (after the palette)
    std::uint32_t memory_width = 0;         // header units
    std::int32_t format = 0;                // 0 normalised to the display format
    std::uint32_t colour = 0;               // alpha-only formats: foreground RGB
    const std::uint8_t* palette = nullptr;
    std::uint32_t palette_count = 0;
    std::uint32_t palette_entry_size = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // Run-length sources: the group last found and the index of its first
    // pixel, so that reads in row order walk the groups once.
    mutable RunCursor cursor;
};

// The pixels of an image: the data word of the bare display buffer, else the
// header address plus its pixel offset.
std::uint8_t* image_pixels(const SPictavoImage* image);


// Prepares reading `image`; `colour` is the foreground of alpha-only
// formats. False for custom and unknown formats.
bool prepare_source(const SPictavoImage* image, std::uint32_t colour, PixelSource* source);
// ARGB8888 of pixel (x, y) of a prepared source; the caller keeps (x, y)
// inside the image. A palette index beyond the palette reads opaque black.
std::uint32_t read_pixel(const PixelSource& source, std::int32_t x, std::int32_t y);

// Writes `argb` at (x, y) in one of the writable formats (2, 3, 4, 5, 6, 8;
// 0 as 4). False for every other format.
bool write_pixel(std::int32_t format, std::uint8_t* pixels, std::uint32_t memory_width, std::int32_t x,
                 std::int32_t y, std::uint32_t argb);

// A run-length pixel by its index in row order (x + memory width * y).
// `cursor` (optional) starts the walk at a group at or before the index and
// is left at the group found.
std::uint32_t read_a8rle(const std::uint8_t* data, std::uint32_t index, std::uint32_t limit, std::uint32_t colour,
                         RunCursor* cursor = nullptr);
std::uint32_t read_argb1565rle(const std::uint8_t* data, std::uint32_t index, std::uint32_t limit,
                               RunCursor* cursor = nullptr);

}  // namespace tarvelo::graphics
