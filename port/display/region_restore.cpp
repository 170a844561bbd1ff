#include "port/display/region_restore.h"

#include <cstring>

#include "graphics/display/llui_display.h"
#include "platform/address.h"
#include "port/display/drawing/ui_drawing.h"

using namespace tarvelo;

extern "C" {

std::int32_t UI_DISPLAY_BRS_restore(SPictavoGraphicsContext* destination, const SPictavoImage* source,
                                    const ui_rect_t* r) {
    const std::uint16_t width = static_cast<std::uint16_t>(r->x2 + 1 - r->x1);
    const std::uint16_t height = static_cast<std::uint16_t>(r->y2 + 1 - r->y1);
    const std::uint32_t bpp = LLUI_DISPLAY_getImageBPP(source);
    if (bpp < 8) {
        // Pixels that share bytes cannot be copied byte by byte: the drawer
        // copies the region.
        return UI_DRAWING_copyImage(destination, source, r->x1, r->y1, width, height, r->x1, r->y1);
    }
    // Whole bytes per pixel: plain copies, with the destination's stride for
    // both buffers.
    const std::uint32_t stride = LLUI_DISPLAY_getStrideInBytes(&destination->image);
    auto* dst = to_ptr<std::uint8_t>(LLUI_DISPLAY_getBufferAddress(&destination->image));
    const auto* src = to_ptr<const std::uint8_t>(LLUI_DISPLAY_getBufferAddress(source));
    if (r->x1 == 0 && width == source->width) {
        const std::size_t offset = static_cast<std::size_t>(r->y1) * stride;
        std::memcpy(dst + offset, src + offset, static_cast<std::size_t>(height) * stride);
        return 0;
    }
    const std::size_t row_bytes = static_cast<std::size_t>(width) * bpp / 8;
    const std::size_t x_offset = static_cast<std::size_t>(r->x1) * bpp / 8;
    for (std::int32_t y = r->y1; y <= r->y2; ++y) {
        const std::size_t offset = static_cast<std::size_t>(y) * stride + x_offset;
        std::memcpy(dst + offset, src + offset, row_bytes);
    }
    return 0;
}

}  // extern "C"
