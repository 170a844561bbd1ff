// RAW images: the signature, the header checked against the bytes, and the
// descriptor built over a copy in the image heap or over the bytes in place.
#include <cstring>

#include "graphics/display/display_system.h"
#include "graphics/images/image_heap.h"
#include "graphics/loaders/image_decoders.h"
#include "graphics/pixels/pixel_formats.h"
#include "platform/address.h"

namespace tarvelo::graphics {

namespace {

constexpr char kSignature[] = "TRV_IMG";
constexpr std::uint32_t kSignatureSize = 8;  // the 7 letters and the version
constexpr std::uint32_t kMinimumLength = 21;

std::uint32_t u16(const std::uint8_t* p) { return p[0] | p[1] << 8; }

// Walks a run-length stream of w x h pixels (in memory-width units) inside
// `size` bytes: every group inside the bytes, and no group type the format
// does not have.
bool rle_fits(std::int32_t format, const std::uint8_t* p, std::uint64_t size, std::uint64_t pixels) {
    std::uint64_t at = 0, first = 0;
    while (first < pixels) {
        if (at + 2 > size) return false;
        const std::uint32_t header = u16(p + at);
        const std::uint32_t n = header & 0x3FFF, type = header & 0xC000;
        if (n == 0) return true;  // the terminator
        std::uint64_t bytes;
        if (format == kFormatA8RLE) bytes = type == 0x0000 ? 4 : type == 0x4000 ? 2 + n + (n & 1) : 2;
        else if (type == 0x8000) return false;
        else bytes = type == 0x0000 ? 4 : type == 0x4000 ? 2 + 2 * std::uint64_t{n} : 2;
        if (at + bytes > size) return false;
        at += bytes;
        first += n;
    }
    return true;
}

// The header at `h` with `size` bytes from its first byte, to be used at an
// address congruent to `address` modulo 4: a known format, a whole header, a
// memory width that holds a row, the palette, pixels or run-length stream
// inside the bytes, the port's buffer inside them too, and both at an
// address the format's pixels can be read at.
bool header_fits(const std::uint8_t* h, std::uint64_t size, std::uint32_t address) {
    if (size < 12) return false;
    RawHeader header{};
    std::memcpy(&header, h, std::min<std::uint64_t>(size, sizeof header));
    const std::int32_t format = header.format;
    if (!is_known_format(format)) return false;
    const std::uint32_t header_bytes = header_size(format);
    if (size < header_bytes || header.pixel_offset < header_bytes || header.buffer_offset < header_bytes) return false;
    if (is_custom_format(format)) return header.pixel_offset <= size && header.buffer_offset <= size;
    const std::uint32_t unit = pixel_alignment(format);
    if ((address + header.pixel_offset) % unit != 0 || (address + header.buffer_offset) % unit != 0) return false;
    const std::uint32_t bpp = bits_per_pixel(format);
    if (std::uint64_t{header.memory_width} * (bpp >= 8 ? 1 : 8) < std::uint64_t{header.width} * (bpp >= 8 ? 1 : bpp))
        return false;
    std::uint64_t palette = 0;
    if (is_palette_format(format)) {
        if (header.palette_entry_size != 3 && header.palette_entry_size != 4) return false;
        palette = std::uint64_t{header.palette_count_minus_1 + 1u} * header.palette_entry_size;
    }
    const std::uint64_t start = std::uint64_t{header.pixel_offset} + palette;
    if (start > size || header.buffer_offset > size) return false;
    if (is_rle_format(format))
        return rle_fits(format, h + start, size - start, std::uint64_t{header.memory_width} * header.height);
    // The port reads the buffer with the image's geometry (a GPU blit).
    const std::uint64_t pixels = data_size(format, header.width, header.height, header.memory_width);
    return pixels <= size - start && palette + pixels <= size - header.buffer_offset;
}

}  // namespace

std::int32_t load_raw_image(const std::uint8_t* data, std::uint32_t length, bool copy, bool owned,
                            SPictavoImage* image) {
    if (length < kMinimumLength || std::memcmp(data, kSignature, 7) != 0 || data[7] != 1) return kErrNotRaw;
    const std::uint64_t size = length - kSignatureSize;
    // A copy lies at the start of a heap block (a multiple of 4).
    const std::uint32_t address = copy ? 0 : to_word(data + kSignatureSize);
    if (!header_fits(data + kSignatureSize, size, address)) return kErrNotRaw;
    const std::uint8_t* header = data + kSignatureSize;
    std::uint8_t flags = owned ? kImageHeapOwned : 0;
    if (copy) {
        auto* block = static_cast<std::uint8_t*>(ImageHeap::allocate(static_cast<std::uint32_t>(size)));
        if (block == nullptr) return kErrOutOfMemory;
        std::memcpy(block, header, size);
        register_image_block(block, false);
        header = block;
        flags = kImageHeapOwned;
    }
    RawHeader h{};
    std::memcpy(&h, header, 12);
    image->data = to_word(header);
    image->width = h.width;
    image->height = h.height;
    image->memory_width = h.memory_width;
    image->format = h.format;
    image->flags = flags;
    return 0;
}

std::int32_t decoder_format(std::int32_t asked, std::int32_t fallback) {
    const FormatInfo* info = format_info(asked);
    return info != nullptr && info->writable ? asked : fallback;
}

std::int32_t decode_registered_image(const std::uint8_t* data, std::uint32_t length, std::int32_t format,
                                     SPictavoImage* image) {
    const std::int32_t png = decode_png(data, length, format, image);
    if (png != kErrNoDecoder) return png;
    return decode_bmp(data, length, format, image);
}

}  // namespace tarvelo::graphics
