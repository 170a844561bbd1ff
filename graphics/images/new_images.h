// Images created at run time in the image heap: off-screen images that can
// be drawn into, and the images decoders and conversions fill.
#pragma once

#include <cstdint>

#include "graphics/images/image_types.h"

namespace tarvelo::graphics {

// The largest width or height of an image that can be drawn into (its
// clip corners are signed 16-bit).
inline constexpr std::int32_t kMaxDrawableSize = 32767;

struct NewImages {
    // Creates a width x height image of `format` (0: the display format) in
    // the image heap; a mutable one becomes a graphics context (`image` must
    // then hold 36 bytes). 0, -1 (custom format without port data), -2 (no
    // memory, or a size that cannot exist), -7 (no drawer). The block is
    // registered as a native resource; the descriptor is untouched on error.
    // A mutable image wider or higher than kMaxDrawableSize gives -2.
    static std::int32_t open(std::int32_t width, std::int32_t height, std::int32_t format, bool is_mutable,
                             SPictavoImage* image, bool register_block = true);
    // A new non-mutable image of `format` holding region (x, y, w, h) of
    // `source`, every pixel through the source's reader and the format's
    // writer (run-length sources too); fully opaque when the source is. -7
    // for a format the engine cannot write; the errors of `open`. The new
    // block is registered only when `register_block` is set.
    static std::int32_t convert(const SPictavoImage* source, std::int32_t x, std::int32_t y, std::int32_t w,
                                std::int32_t h, std::int32_t format, SPictavoImage* image, bool register_block);
    // Replaces `image` by its conversion to `format` (nothing when it has that
    // format already). The source's block, when it owns one, is disposed of
    // before the converted image is registered, so one native call registers
    // one resource: the image the application keeps. A refused conversion
    // disposes of the source too and leaves `image` closed.
    static std::int32_t convertInPlace(SPictavoImage* image, std::int32_t format);
    // Frees an image's heap block and unregisters it (close without the
    // closed flag).
    static void dispose(SPictavoImage* image);
    // Marks the image fully opaque (header flag), unless it is the display.
    static void setFullyOpaque(SPictavoImage* image);
    // Fills the RAW header at `block` (the pixels at `pixel_offset`, which is
    // also the buffer handed to the port) and returns its descriptor.
    static SPictavoImage describe(std::uint8_t* block, std::int8_t format, std::uint32_t width, std::uint32_t height,
                                  std::uint32_t memory_width, std::uint8_t header_flags, std::uint32_t pixel_offset);
    // Initialises a graphics context on `gc`'s descriptor.
    static void initMutable(SPictavoGraphicsContext* gc, std::uint32_t width, std::uint32_t height,
                            std::uint8_t drawer);
};

}  // namespace tarvelo::graphics
