// Loading images from bytes.
#include "graphics/loaders/image_loading.h"

#include "graphics/images/new_images.h"
#include "graphics/loaders/image_decoders.h"

namespace tarvelo::graphics {

namespace {

ImageLoaders g_loaders{load_raw_image, decode_registered_image};

constexpr std::uint32_t kNoImage = 0xFFFFFFFFu;

// The port's decoder: a failure after the port created the image disposes
// of it and leaves it closed.
std::int32_t decode_by_port(const std::uint8_t* data, std::uint32_t length, std::int32_t format,
                            SPictavoImage* image) {
    image->data = kNoImage;
    bool opaque = false;
    const std::int32_t result = LLUI_DISPLAY_IMPL_decodeImage(data, length, format, image, &opaque);
    if (result == 0) {
        if (opaque) NewImages::setFullyOpaque(image);
        return 0;
    }
    if (image->data != kNoImage) {
        if ((image->flags & kImageHeapOwned) && !(image->flags & kImageClosed)) NewImages::dispose(image);
        image->flags |= kImageClosed;
    }
    return result == kErrOutOfMemory ? kErrOutOfMemory : kErrNoDecoder;
}

std::int32_t converted(std::int32_t result, std::int32_t format, SPictavoImage* image) {
    if (result != 0 || format == kKeepFormat) return result;
    return NewImages::convertInPlace(image, format);
}

}  // namespace

ImageLoaders& image_loaders() { return g_loaders; }

std::int32_t ImageLoading::loadRaw(const std::uint8_t* data, std::uint32_t length, bool copy, bool owned,
                                   std::int32_t format, SPictavoImage* image) {
    return converted(g_loaders.loadRaw(data, length, copy, owned, image), format, image);
}

std::int32_t ImageLoading::decode(const std::uint8_t* data, std::uint32_t length, std::int32_t format,
                                  SPictavoImage* image) {
    std::int32_t result = decode_by_port(data, length, format, image);
    if (result == kErrNoDecoder) result = g_loaders.decode(data, length, format, image);
    return converted(result, format, image);
}

}  // namespace tarvelo::graphics

extern "C" __attribute__((weak)) std::int32_t LLUI_DISPLAY_IMPL_decodeImage(const std::uint8_t*, std::uint32_t,
                                                                           std::int32_t, SPictavoImage*, bool*) {
    return -9;
}
