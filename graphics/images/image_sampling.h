// Reading source pixels and drawing them onto a display-format context for
// the transformed-image drawers, and the bilinear interpolator.
#pragma once

#include <cmath>
#include <cstdint>

#include "graphics/images/image_types.h"
#include "graphics/pixels/blend.h"
#include "graphics/pixels/pixel_formats.h"
#include "graphics/shapes/aa_coverage.h"

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
        if (!inside(x, y)) return 0;
        // The common source, read without the format dispatch.
        if (rgb565_) return rgb565_to_argb(rgb565_row(static_cast<std::int32_t>(y))[x]);
        return read_pixel(source_, static_cast<std::int32_t>(x), static_cast<std::int32_t>(y));
    }
    // Row y of the source (inside the image) as ARGB8888 into `out`, one
    // word per column.
    void read_row(std::int32_t y, std::uint32_t* out) const;
    // Draws `argb` at (x, y) of the context: alpha 0 leaves the pixel, an
    // opaque colour at global alpha 255 is stored, anything else blended.
    void draw(std::int64_t x, std::int64_t y, std::uint32_t argb) const;
    void copy(std::int64_t sx, std::int64_t sy, std::int64_t dx, std::int64_t dy) const {
        if (inside(sx, sy)) draw(dx, dy, read(sx, sy));
    }
    // True when source pixels can be stored as they are: an RGB565 source
    // (the display format) drawn at global alpha 255, where reading and
    // converting back gives the same 16 bits.
    bool copies_display_pixels() const { return rgb565_ && alpha_ == 255; }
    const std::uint16_t* source_row(std::int32_t y) const { return rgb565_row(y); }
    std::uint32_t source_stride() const { return source_.memory_width; }
    // True when the rows of an RGB565 source share bytes with the
    // destination's rows.
    bool source_overlaps_destination() const;
    // Row y of the destination and the clip's columns.
    std::uint16_t* destination_row(std::int32_t y) const { return pixels_ + static_cast<std::size_t>(y) * stride_; }
    std::int32_t clip_x1() const { return x1_; }
    std::int32_t clip_x2() const { return x2_; }
    bool clip_has_row(std::int32_t y) const { return y >= y1_ && y <= y2_; }
    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }

private:
    const std::uint16_t* rgb565_row(std::int32_t y) const {
        return reinterpret_cast<const std::uint16_t*>(source_.pixels) + static_cast<std::size_t>(y) * source_.memory_width;
    }
    PixelSource source_;
    bool rgb565_ = false;
    std::uint16_t* pixels_ = nullptr;
    std::uint32_t stride_ = 0;
    std::int32_t destination_height_ = 0;
    std::uint32_t alpha_ = 255;
    std::int32_t width_ = 0, height_ = 0;
    std::int32_t x1_ = 0, y1_ = 0, x2_ = -1, y2_ = -1;
};

// Bilinear interpolation of the four pixels around (fx, fy), c00 at
// (x0, y0): opaque neighbours are averaged by weight; translucent ones are
// combined like layers with their weighted opacities.
std::uint32_t bilerp(std::uint32_t c00, std::uint32_t c10, std::uint32_t c01, std::uint32_t c11, std::int32_t x0,
                     std::int32_t y0, float fx, float fy);
// The same with the weights already taken: wx = trunc((fx - x0) * 255),
// wy = trunc((fy - y0) * 255).
std::uint32_t bilerp_any(std::uint32_t c00, std::uint32_t c10, std::uint32_t c01, std::uint32_t c11,
                         std::int64_t wx, std::int64_t wy);
// Four opaque neighbours with weights in 0..255 (the common case) in
// 32-bit arithmetic, where no term is negative or beyond 255^3: the same
// values as the general routine.
inline std::uint32_t bilerp_weighted(std::uint32_t c00, std::uint32_t c10, std::uint32_t c01, std::uint32_t c11,
                                     std::int64_t wx, std::int64_t wy) {
    if ((c00 & c10 & c01 & c11) >> 24 != 255 || wx < 0 || wx > 255 || wy < 0 || wy > 255)
        return bilerp_any(c00, c10, c01, c11, wx, wy);
    const auto ux = static_cast<std::uint32_t>(wx), uy = static_cast<std::uint32_t>(wy);
    std::uint32_t out = 0xFF000000u;
    for (int shift : {16, 8, 0}) {
        const std::uint32_t top = ((c00 >> shift) & 0xFF) * (255 - ux) + ((c10 >> shift) & 0xFF) * ux;
        const std::uint32_t bottom = ((c01 >> shift) & 0xFF) * (255 - ux) + ((c11 >> shift) & 0xFF) * ux;
        out |= ((255 - uy) * top + uy * bottom) / 65025 << shift;
    }
    return out;
}
// The weight of a sample position f above its base pixel f0.
inline std::int64_t bilerp_weight(float f, std::int32_t f0) { return trunc_int((f - static_cast<float>(f0)) * 255); }

// Four RGB565 neighbours (opaque) with weights in 0..255, straight to
// RGB565: the same 16 bits as converting them to ARGB8888, `bilerp_weighted`
// and converting back.
inline std::uint16_t bilerp_rgb565(std::uint32_t p00, std::uint32_t p10, std::uint32_t p01, std::uint32_t p11,
                                   std::uint32_t wx, std::uint32_t wy) {
    const std::uint32_t nx = 255 - wx, ny = 255 - wy;
    auto mix = [nx, ny, wx, wy](std::uint32_t c00, std::uint32_t c10, std::uint32_t c01, std::uint32_t c11) {
        return (ny * (c00 * nx + c10 * wx) + wy * (c01 * nx + c11 * wx)) / 65025;
    };
    // Each channel widened to 8 bits as the ARGB8888 conversion does.
    auto red = [](std::uint32_t p) { return (p & 0xF800u) >> 8; };
    auto green = [](std::uint32_t p) { return (p & 0x07E0u) >> 3; };
    auto blue = [](std::uint32_t p) { return (p & 0x001Fu) << 3; };
    const std::uint32_t r = mix(red(p00), red(p10), red(p01), red(p11));
    const std::uint32_t g = mix(green(p00), green(p10), green(p01), green(p11));
    const std::uint32_t b = mix(blue(p00), blue(p10), blue(p01), blue(p11));
    return static_cast<std::uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | b >> 3);
}

// floor of a float as an int; NaN gives 0 and values beyond the int range
// saturate, as `trunc_int(std::floor(v))`, without a library call for the
// values inside.
inline std::int32_t floor_int(float v) {
    if (v > -2147483520.0f && v < 2147483520.0f) {
        const auto t = static_cast<std::int32_t>(v);
        return static_cast<float>(t) > v ? t - 1 : t;
    }
    return trunc_int(std::floor(v));
}

}  // namespace tarvelo::graphics
