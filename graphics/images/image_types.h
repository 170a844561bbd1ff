// The records every image of the engine is named by: the 12-byte image
// descriptor, the 36-byte graphics context that begins with it, and the RAW
// image header that lies behind the descriptor's data word (except for the
// bare display buffer). The application allocates descriptors and contexts as
// byte arrays; the engine, the port's drawers and the display port read and
// write their fields.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

struct SPictavoImage {
    std::uint32_t data;          // RAW header address; the pixels with kImageBareBuffer
    std::uint16_t width;
    std::uint16_t height;
    std::uint16_t memory_width;  // pixels for 8 bpp and more, bytes below
    std::int8_t format;
    std::uint8_t flags;
};

struct SPictavoGraphicsContext {
    SPictavoImage image;
    std::uint32_t foreground_color;
    std::uint32_t background_color;
    std::int16_t clip_x1;
    std::int16_t clip_y1;
    std::int16_t clip_x2;
    std::int16_t clip_y2;
    std::uint32_t drawing_log;
    std::uint8_t drawer;
    std::uint16_t ellipsis_width;
};

}  // extern "C"

static_assert(sizeof(SPictavoImage) == 12, "image descriptor is 12 bytes");
static_assert(sizeof(SPictavoGraphicsContext) == 36, "graphics context is 36 bytes");
static_assert(offsetof(SPictavoGraphicsContext, clip_x1) == 20);
static_assert(offsetof(SPictavoGraphicsContext, drawing_log) == 28);
static_assert(offsetof(SPictavoGraphicsContext, ellipsis_width) == 34);

namespace tarvelo::graphics {

// Descriptor flags.
inline constexpr std::uint8_t kImageMutable = 0x01;
inline constexpr std::uint8_t kImageHeapOwned = 0x02;
inline constexpr std::uint8_t kImageNeverTransparent = 0x04;
inline constexpr std::uint8_t kImageBareBuffer = 0x08;
inline constexpr std::uint8_t kImageClosed = 0x10;
inline constexpr std::uint8_t kImageClipEmpty = 0x20;
inline constexpr std::uint8_t kImageBackgroundSet = 0x40;
inline constexpr std::uint8_t kImageClipDisabled = 0x80;

// Drawing-log bits.
inline constexpr std::uint32_t kLogError = 0x80000000u;
inline constexpr std::uint32_t kLogAcceleratorIncident = 0x20000000u;
inline constexpr std::uint32_t kLogAcceleratorOutOfMemory = 0x00000004u;
inline constexpr std::uint32_t kLogMissingGlyph = 0x00000010u;
inline constexpr std::uint32_t kLogNotSupported = 0x00000001u;

// RAW image header (little-endian, 12 bytes; 14 for the palette formats).
struct RawHeader {
    std::uint16_t width;
    std::uint16_t height;
    std::int8_t format;
    std::uint8_t flags;
    std::uint16_t memory_width;
    std::uint16_t pixel_offset;   // from the header to the pixels the engine reads
    std::uint16_t buffer_offset;  // from the header to the buffer handed to the port
    std::uint8_t palette_entry_size;
    std::uint8_t palette_count_minus_1;
};
static_assert(sizeof(RawHeader) == 14);

inline constexpr std::uint8_t kRawDisplayFormat = 0x02;
inline constexpr std::uint8_t kRawOpaque = 0x04;

// Engine results of the natives.
inline constexpr std::int32_t kErrNoDecoder = -1;
inline constexpr std::int32_t kErrOutOfMemory = -2;
inline constexpr std::int32_t kErrNotRaw = -3;
inline constexpr std::int32_t kErrNotFound = -4;
inline constexpr std::int32_t kErrNoDrawer = -7;
inline constexpr std::int32_t kErrAlreadyStarted = -9;

}  // namespace tarvelo::graphics
