// The pixel writer shared by the one-pixel-wide shape drawers: the context's
// foreground colour converted once to the display format, written only inside
// the clip rectangle (whatever the clip-disabled flag says).
#pragma once

#include <cstddef>
#include <cstdint>

#include "graphics/images/image_types.h"
#include "graphics/pixels/pixel_formats.h"

namespace tarvelo::graphics {

class ShapePixels {
public:
    explicit ShapePixels(const SPictavoGraphicsContext* gc)
        : pixels_(reinterpret_cast<std::uint16_t*>(image_pixels(&gc->image))),
          stride_(gc->image.memory_width),
          colour_(static_cast<std::uint16_t>(argb_to_display(gc->foreground_color))),
          x1_(gc->clip_x1), y1_(gc->clip_y1), x2_(gc->clip_x2), y2_(gc->clip_y2) {}

    void put(std::int64_t x, std::int64_t y) const {
        if (x < x1_ || x > x2_ || y < y1_ || y > y2_) return;
        pixels_[static_cast<std::size_t>(x) + static_cast<std::size_t>(stride_) * static_cast<std::size_t>(y)] = colour_;
    }

private:
    std::uint16_t* pixels_;
    std::uint32_t stride_;
    std::uint16_t colour_;
    std::int32_t x1_, y1_, x2_, y2_;
};

}  // namespace tarvelo::graphics
