// The engine's two run-length encodings: a sequence of pixels cut into
// groups, each starting with a u16 header (bits 15..14 the type, 13..0 the
// count), closed by a header with a count of 0.
#pragma once

#include <cstdint>
#include <vector>

namespace tarvelo::rawimage {

// A8RLE: one opacity per pixel.
std::vector<std::uint8_t> encode_a8rle(const std::vector<std::uint8_t>& opacities);
// ARGB1565RLE: one ARGB8888 word per pixel; alpha below 128 is transparent,
// anything else an opaque RGB565 pixel.
std::vector<std::uint8_t> encode_argb1565rle(const std::vector<std::uint32_t>& argb);

}  // namespace tarvelo::rawimage
