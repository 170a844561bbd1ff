// The engine's own image readers: RAW images ("TRV_IMG"), and the decoders
// of the registry after the port's (PNG, then monochrome BMP).
#pragma once

#include <cstdint>

#include "graphics/images/image_types.h"

namespace tarvelo::graphics {

// RAW bytes into `image` in their stored format, after the whole header,
// palette, pixel data and run-length stream were checked against `length`:
// 0, -2 (no heap for the copy), -3 (not a RAW image, or malformed).
std::int32_t load_raw_image(const std::uint8_t* data, std::uint32_t length, bool copy, bool owned,
                            SPictavoImage* image);
// PNG, then monochrome BMP: 0, -1 (neither's data), or an engine error.
std::int32_t decode_registered_image(const std::uint8_t* data, std::uint32_t length, std::int32_t format,
                                     SPictavoImage* image);

// Each decoder: 0, -1 not its data, -2 out of image heap, -3 malformed.
std::int32_t decode_bmp(const std::uint8_t* data, std::uint32_t length, std::int32_t format, SPictavoImage* image);
std::int32_t decode_png(const std::uint8_t* data, std::uint32_t length, std::int32_t format, SPictavoImage* image);

// The format a decoder writes: the asked one when the engine can write it,
// else `fallback` (the engine converts afterwards, or refuses).
std::int32_t decoder_format(std::int32_t asked, std::int32_t fallback);

}  // namespace tarvelo::graphics
