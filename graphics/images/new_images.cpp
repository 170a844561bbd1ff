// New images in the image heap.
#include "graphics/images/new_images.h"

#include <algorithm>
#include <cstring>

#include "graphics/display/display_config.h"
#include "graphics/display/display_system.h"
#include "graphics/display/llui_display.h"
#include "graphics/images/image_heap.h"
#include "graphics/pixels/pixel_formats.h"
#include "platform/address.h"

namespace tarvelo::graphics {

namespace {

// Header flags of an image created at run time: the display's format, and
// opaque for the formats without alpha (mask 0xE219 over the code).
std::uint8_t runtime_header_flags(std::int32_t format) {
    std::uint8_t flags = 0;
    if (format == 0 || format == kDisplayFormat) flags |= kRawDisplayFormat;
    if (format >= 0 && format < 16 && ((0xE219u >> format) & 1)) flags |= kRawOpaque;
    return flags;
}

}  // namespace

void NewImages::initMutable(SPictavoGraphicsContext* gc, std::uint32_t width, std::uint32_t height,
                            std::uint8_t drawer) {
    gc->image.flags |= kImageMutable;
    gc->clip_x1 = 0;
    gc->clip_y1 = 0;
    gc->clip_x2 = static_cast<std::int16_t>(width - 1);
    gc->clip_y2 = static_cast<std::int16_t>(height - 1);
    gc->image.flags &= static_cast<std::uint8_t>(~kImageClipEmpty);
    gc->foreground_color = 0;
    gc->background_color = 0;
    gc->drawing_log = 0;
    gc->drawer = drawer;
    gc->ellipsis_width = 0;
}

SPictavoImage NewImages::describe(std::uint8_t* block, std::int8_t format, std::uint32_t width, std::uint32_t height,
                                 std::uint32_t memory_width, std::uint8_t header_flags, std::uint32_t pixel_offset) {
    auto* raw = reinterpret_cast<RawHeader*>(block);
    raw->width = static_cast<std::uint16_t>(width);
    raw->height = static_cast<std::uint16_t>(height);
    raw->format = format;
    raw->flags = header_flags;
    raw->memory_width = static_cast<std::uint16_t>(memory_width);
    raw->pixel_offset = static_cast<std::uint16_t>(pixel_offset);
    raw->buffer_offset = static_cast<std::uint16_t>(pixel_offset);
    return SPictavoImage{to_word(block), raw->width, raw->height, raw->memory_width, format, 0};
}

std::int32_t NewImages::open(std::int32_t width, std::int32_t height, std::int32_t format, bool is_mutable,
                             SPictavoImage* image, bool register_block) {
    // Sizes that the 16-bit descriptor cannot hold are refused before any
    // arithmetic.
    if (width < 1 || height < 1 || width > 65535 || height > 65535) return kErrOutOfMemory;
    // An image drawn into has a clip of signed 16-bit corners: beyond 32767
    // pixels its clip would wrap and every drawing into it do nothing.
    if (is_mutable && (width > kMaxDrawableSize || height > kMaxDrawableSize)) return kErrOutOfMemory;
    if (format == 0) format = kDisplayFormat;
    if (!is_known_format(format) || is_rle_format(format)) return kErrOutOfMemory;
    std::int32_t drawer = 0;
    if (is_mutable) {
        drawer = LLUI_DISPLAY_IMPL_getDrawerIdentifier(format);
        if (drawer < 0 || drawer > 254 || (drawer == 0 && format != kDisplayFormat)) return kErrNoDrawer;
    }
    const auto w = static_cast<std::uint32_t>(width);
    const auto h = static_cast<std::uint32_t>(height);
    const std::uint32_t header = header_size(format);
    std::uint32_t memory_width = default_memory_width(format, w);
    std::uint64_t engine_size = 0;
    const std::uint32_t bpp = bits_per_pixel(format);
    if (!is_custom_format(format)) {
        const std::uint32_t stride = stride_to_bytes(bpp, memory_width);
        const std::uint32_t port_stride = std::max(stride, LLUI_DISPLAY_IMPL_getNewImageStrideInBytes(format, w, h, stride));
        const std::uint32_t port_width = bytes_to_stride(bpp, port_stride);
        if (port_width > 65535) return kErrOutOfMemory;
        memory_width = port_width;
        engine_size = data_size(format, w, h, memory_width);
    }
    if (engine_size > kWorkingBufferSize) return kErrOutOfMemory;
    std::uint32_t port_size = static_cast<std::uint32_t>(engine_size);
    std::uint32_t alignment = kImageAlignment;
    LLUI_DISPLAY_IMPL_adjustNewImageCharacteristics(format, w, h, &port_size, &alignment);
    alignment = std::max<std::uint32_t>({alignment, kImageAlignment, 1});
    if (alignment > kWorkingBufferSize) return kErrOutOfMemory;
    const std::uint64_t block_size = header + std::max<std::uint64_t>(engine_size, port_size) +
                                     (alignment != 1 ? alignment : 0);
    if (block_size > kWorkingBufferSize) return kErrOutOfMemory;
    auto* block = static_cast<std::uint8_t*>(ImageHeap::allocate(static_cast<std::uint32_t>(block_size)));
    if (block == nullptr) return kErrOutOfMemory;

    const std::int64_t port_extra = static_cast<std::int64_t>(port_size) - static_cast<std::int64_t>(engine_size);
    if (is_custom_format(format) && port_extra <= 0) {
        ImageHeap::free(block);
        return kErrNoDecoder;
    }
    const std::uint32_t base = to_word(block);
    const std::uint32_t buffer_offset = (base + header + alignment - 1) / alignment * alignment - base;
    const std::uint32_t pixel_offset = buffer_offset + static_cast<std::uint32_t>(std::max<std::int64_t>(port_extra, 0));
    if (pixel_offset > 0xFFFF) {
        ImageHeap::free(block);
        return kErrOutOfMemory;
    }
    if (register_block) register_image_block(block, is_mutable);

    std::memset(block, 0, header);
    *image = describe(block, static_cast<std::int8_t>(format), w, h, memory_width, runtime_header_flags(format),
                      pixel_offset);
    to_ptr<RawHeader>(base)->buffer_offset = static_cast<std::uint16_t>(buffer_offset);
    image->flags = kImageHeapOwned;
    if (is_mutable) {
        NewImages::initMutable(reinterpret_cast<SPictavoGraphicsContext*>(image), w, h,
                               static_cast<std::uint8_t>(drawer));
    }
    LLUI_DISPLAY_IMPL_initializeNewImage(image);
    return 0;
}

std::int32_t NewImages::convert(const SPictavoImage* source, std::int32_t x, std::int32_t y, std::int32_t w,
                                std::int32_t h, std::int32_t format, SPictavoImage* image, bool register_block) {
    if (format == 0) format = kDisplayFormat;
    const FormatInfo* info = format_info(format);
    if (info == nullptr || !info->writable) return kErrNoDrawer;
    if (x < 0 || y < 0 || w < 1 || h < 1 || static_cast<std::int64_t>(x) + w > source->width ||
        static_cast<std::int64_t>(y) + h > source->height) {
        return kErrOutOfMemory;
    }
    PixelSource pixels;
    if (!prepare_source(source, 0, &pixels)) return kErrNoDrawer;
    SPictavoImage created{};
    const std::int32_t result = open(w, h, format, false, &created, register_block);
    if (result != 0) return result;
    std::uint8_t* target = image_pixels(&created);
    for (std::int32_t j = 0; j < h; ++j)
        for (std::int32_t i = 0; i < w; ++i)
            write_pixel(format, target, created.memory_width, i, j, read_pixel(pixels, x + i, y + j));
    if (!LLUI_DISPLAY_isTransparent(source)) setFullyOpaque(&created);
    *image = created;
    return 0;
}

std::int32_t NewImages::convertInPlace(SPictavoImage* image, std::int32_t format) {
    if (format == 0) format = kDisplayFormat;
    if (format == image->format) return 0;
    const SPictavoImage source = *image;
    SPictavoImage converted{};
    const std::int32_t result = convert(&source, 0, 0, source.width, source.height, format, &converted, false);
    SPictavoImage old = source;
    if ((old.flags & kImageHeapOwned) && !(old.flags & kImageClosed)) dispose(&old);
    if (result != 0) {
        // The caller gets an error and no image: nothing may stay behind.
        image->flags |= kImageClosed;
        return result;
    }
    register_image_block(to_ptr(converted.data), false);
    *image = converted;
    return 0;
}

void NewImages::dispose(SPictavoImage* image) {
    LLUI_DISPLAY_IMPL_freeImageResources(image);
    void* block = to_ptr(image->data);
    unregister_image_block(block, (image->flags & kImageMutable) != 0);
    ImageHeap::free(block);
}

void NewImages::setFullyOpaque(SPictavoImage* image) {
    if (image->flags & kImageBareBuffer) return;
    to_ptr<RawHeader>(image->data)->flags |= kRawOpaque;
}

}  // namespace tarvelo::graphics
