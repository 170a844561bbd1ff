// Loading images from bytes: the RAW reader and the decoders are registered
// here by the code that provides them; the engine itself brings only the
// port's decoder hook. Until a RAW reader is registered every byte string is
// "not a RAW image" (-3) and goes to the decoders.
#pragma once

#include <cstdint>

#include "graphics/images/image_types.h"

namespace tarvelo::graphics {

// The format argument of the loading natives that keeps the stored format.
inline constexpr std::int32_t kKeepFormat = -128;

struct ImageLoaders {
    // RAW bytes into `image` in their stored format: copied into the image
    // heap (`copy`) or used in place (then the image owns them only when
    // `owned`). 0, -2, or -3 when the bytes are not a RAW image.
    std::int32_t (*loadRaw)(const std::uint8_t* data, std::uint32_t length, bool copy, bool owned,
                            SPictavoImage* image);
    // The decoders after the port's (PNG, BMP...), into the asked format
    // where they can: 0, -1 not their data, or an engine error. The engine
    // converts what is left in another format.
    std::int32_t (*decode)(const std::uint8_t* data, std::uint32_t length, std::int32_t format,
                           SPictavoImage* image);
};

ImageLoaders& image_loaders();

struct ImageLoading {
    // The RAW reader with the conversion to `format` (kKeepFormat: none).
    static std::int32_t loadRaw(const std::uint8_t* data, std::uint32_t length, bool copy, bool owned,
                                std::int32_t format, SPictavoImage* image);
    // The port's decoder, then the registered ones, then the conversion; -1
    // when none took the data.
    static std::int32_t decode(const std::uint8_t* data, std::uint32_t length, std::int32_t format,
                               SPictavoImage* image);
};

}  // namespace tarvelo::graphics

extern "C" {
// The port's decoder: 0 decoded (the port created the image through the
// engine, `fully_opaque` set when no pixel is translucent), -2 out of
// memory, anything else not decoded. The weak default decodes nothing.
std::int32_t LLUI_DISPLAY_IMPL_decodeImage(const std::uint8_t* data, std::uint32_t length, std::int32_t format,
                                           SPictavoImage* image, bool* fully_opaque);
}
