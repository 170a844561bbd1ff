// Reading source pixels and drawing them onto a display-format context for
// the transformed-image drawers, and the bilinear interpolator.
#pragma once

#include <cstdint>

#include "graphics/blend.h"
#include "graphics/image_types.h"
#include "graphics/pixel_formats.h"

namespace tarvelo::graphics {

// A prepared source and destination: pixels read as ARGB8888 (alpha-only
// formats take the context's foreground), drawn with a global alpha; every
// destination pixel is clipped.
class ImageSampler {
public:
    // False when the source cannot be read (custom or unknown format).
    bool prepare(const SPictavoImage* image, SPictavoGraphicsContext* gc, std::uint32_t alpha);
    bool inside(std::int64_t x, std::int64_t y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
    // The pixel, or 0 (transparent black) outside the image.
    std::uint32_t read(std::int64_t x, std::int64_t y) const {
        return inside(x, y) ? read_pixel(source_, static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)) : 0;
    }
    // Draws `argb` at (x, y) of the context: alpha 0 leaves the pixel, an
    // opaque colour at global alpha 255 is stored, anything else blended.
    void draw(std::int64_t x, std::int64_t y, std::uint32_t argb) const;
    void copy(std::int64_t sx, std::int64_t sy, std::int64_t dx, std::int64_t dy) const {
        if (inside(sx, sy)) draw(dx, dy, read(sx, sy));
    }
    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }

private:
    PixelSource source_;
    std::uint16_t* pixels_ = nullptr;
    std::uint32_t stride_ = 0;
    std::uint32_t alpha_ = 255;
    std::int32_t width_ = 0, height_ = 0;
    std::int32_t x1_ = 0, y1_ = 0, x2_ = -1, y2_ = -1;
};

// Bilinear interpolation of the four pixels around (fx, fy), c00 at
// (x0, y0): opaque neighbours are averaged by weight; translucent ones are
// combined like layers with their weighted opacities.
std::uint32_t bilerp(std::uint32_t c00, std::uint32_t c10, std::uint32_t c01, std::uint32_t c11, std::int32_t x0,
                     std::int32_t y0, float fx, float fy);

}  // namespace tarvelo::graphics
