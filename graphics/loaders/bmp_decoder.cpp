// Monochrome (1 bit per pixel, uncompressed) BMP files.
#include <cstring>

#include "graphics/images/new_images.h"
#include "graphics/loaders/image_decoders.h"
#include "graphics/pixels/pixel_formats.h"

namespace tarvelo::graphics {

namespace {

constexpr std::uint32_t kHeaderBytes = 34;  // through the compression word

std::uint32_t u32(const std::uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24; }
std::uint32_t u16(const std::uint8_t* p) { return p[0] | p[1] << 8; }

// C1 has no writer in the engine: white is bit 1, least significant bit
// first, as its reader expects.
void put_c1(std::uint8_t* pixels, std::uint32_t memory_width, std::uint32_t x, std::uint32_t y, bool white) {
    std::uint8_t& byte = pixels[static_cast<std::size_t>(y) * memory_width + x / 8];
    const std::uint8_t bit = static_cast<std::uint8_t>(1u << (x % 8));
    byte = white ? (byte | bit) : (byte & ~bit);
}

}  // namespace

std::int32_t decode_bmp(const std::uint8_t* data, std::uint32_t length, std::int32_t format, SPictavoImage* image) {
    // The compression word ends at byte 34: a shorter file is not ours.
    if (length < kHeaderBytes || data[0] != 'B' || data[1] != 'M' || u16(data + 28) != 1 || u32(data + 30) != 0)
        return kErrNoDecoder;
    const std::uint32_t width = u32(data + 18), height = u32(data + 22), offset = u32(data + 10);
    // Sizes the descriptor can hold (a top-down file's negative height is
    // refused), and every row inside the file.
    if (width == 0 || width > 0xFFFF || height == 0 || height > 0xFFFF) return kErrNotRaw;
    const std::uint64_t row_bytes = (std::uint64_t{width} + 31) / 32 * 4;
    if (std::uint64_t{offset} + row_bytes * height > length) return kErrNotRaw;
    const std::int32_t target = decoder_format(format, kFormatC1);
    const std::int32_t result = NewImages::open(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                                                target, false, image);
    if (result != 0) return result;
    std::uint8_t* pixels = image_pixels(image);
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* row = data + offset + (height - 1 - y) * row_bytes;  // bottom-up
        for (std::uint32_t x = 0; x < width; ++x) {
            const bool white = (row[x / 8] >> (7 - x % 8)) & 1;
            if (target == kFormatC1)
                put_c1(pixels, image->memory_width, x, y, white);
            else
                write_pixel(target, pixels, image->memory_width, static_cast<std::int32_t>(x),
                            static_cast<std::int32_t>(y), white ? 0xFFFFFFFFu : 0xFF000000u);
        }
    }
    NewImages::setFullyOpaque(image);
    return 0;
}

}  // namespace tarvelo::graphics
