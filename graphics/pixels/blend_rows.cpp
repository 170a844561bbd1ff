// Rows of ARGB8888 pixels over RGB565, one pixel at a time.
#include "graphics/pixels/blend_rows.h"

#include <cstring>

#include "graphics/pixels/blend.h"
#include "graphics/pixels/pixel_formats.h"

namespace tarvelo::graphics {

void blend_argb8888_over_rgb565_scalar(std::uint16_t* d, const std::uint8_t* source, std::int32_t count,
                                       std::uint32_t alpha) {
    for (std::int32_t i = 0; i < count; ++i) {
        std::uint32_t p;
        std::memcpy(&p, source + 4 * static_cast<std::size_t>(i), sizeof p);
        if ((p >> 24) == 0) continue;
        const std::uint32_t a = alpha == 255 ? p >> 24 : alpha * (p >> 24) / 255;
        if (a == 255) {
            d[i] = argb_to_rgb565(p);
            continue;
        }
        d[i] = argb_to_rgb565(blend_channels(a, (p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF, rgb565_to_argb(d[i])));
    }
}

#if !defined(__SSE2__)
// No vector unit this build may assume (the ARM build has VFP only).
void blend_argb8888_over_rgb565(std::uint16_t* destination, const std::uint8_t* source, std::int32_t count,
                                std::uint32_t alpha) {
    blend_argb8888_over_rgb565_scalar(destination, source, count, alpha);
}
#endif

}  // namespace tarvelo::graphics
