// Encodes ARGB8888 pixels into a RAW image file ("TRV_IMG", version 1) of
// any engine format: the direct colour formats, palettes, sub-byte grey and
// alpha formats, premultiplied formats and the two run-length encodings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvelo::rawimage {

// Pixels in row order, one ARGB8888 word each.
struct Picture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint32_t> argb;
};

struct RawOptions {
    std::int32_t format = 4;          // engine format code, -8..26
    std::uint32_t memory_width = 0;   // header units; 0: the format's default
    std::uint32_t palette_entry_size = 0;  // 3 or 4; 0: 3 for LRGB888, 4 for LARGB8888
    std::uint32_t padding = 0;        // bytes between the header (and palette) and the pixels
    bool display_format_flag = false; // header flag 0x02
};

// The whole file, or an empty vector with `error` set (size out of range,
// unknown format, memory width below the width, more than 256 colours for a
// palette format, a run-length stream longer than 65535 bytes of offsets...).
std::vector<std::uint8_t> encode_raw(const Picture& picture, const RawOptions& options, std::string* error);

// The format code for a name ("RGB565", "A8RLE", ...) or a number; false
// when neither.
bool parse_format(const std::string& text, std::int32_t* format);

}  // namespace tarvelo::rawimage
