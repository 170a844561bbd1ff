// Images created at run time in the image heap: off-screen images that can
// be drawn into, and the images decoders and conversions fill.
#pragma once

#include <cstdint>

#include "graphics/image_types.h"

namespace tarvelo::graphics {

struct NewImages {
    // Creates a width x height image of `format` (0: the display format) in
    // the image heap; a mutable one becomes a graphics context (`image` must
    // then hold 36 bytes). 0, -1 (custom format without port data), -2 (no
    // memory, or a size that cannot exist), -7 (no drawer). The block is
    // registered as a native resource; the descriptor is untouched on error.
    static std::int32_t open(std::int32_t width, std::int32_t height, std::int32_t format, bool is_mutable,
                             SPictavoImage* image);
    // Marks the image fully opaque (header flag), unless it is the display.
    static void setFullyOpaque(SPictavoImage* image);
    // Initialises a graphics context on `gc`'s descriptor.
    static void initMutable(SPictavoGraphicsContext* gc, std::uint32_t width, std::uint32_t height,
                            std::uint8_t drawer);
};

}  // namespace tarvelo::graphics
