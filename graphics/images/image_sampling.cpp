// Pixel reads and draws of the transformed-image drawers, and bilinear
// interpolation.
#include "graphics/images/image_sampling.h"

#include <algorithm>

#include "graphics/shapes/aa_coverage.h"

namespace tarvelo::graphics {

bool ImageSampler::prepare(const SPictavoImage* image, SPictavoGraphicsContext* gc, std::uint32_t alpha) {
    if (!prepare_source(image, gc->foreground_color, &source_)) return false;
    pixels_ = reinterpret_cast<std::uint16_t*>(image_pixels(&gc->image));
    stride_ = gc->image.memory_width;
    destination_height_ = gc->image.height;
    alpha_ = std::min<std::uint32_t>(alpha, 255);
    width_ = image->width;
    height_ = image->height;
    x1_ = gc->clip_x1, y1_ = gc->clip_y1, x2_ = gc->clip_x2, y2_ = gc->clip_y2;
    rgb565_ = source_.format == kFormatRGB565;
    return true;
}

bool ImageSampler::source_overlaps_destination() const {
    const auto source = reinterpret_cast<std::uintptr_t>(source_.pixels);
    const auto destination = reinterpret_cast<std::uintptr_t>(pixels_);
    const std::uintptr_t source_end = source + 2 * std::uintptr_t{source_.memory_width} * static_cast<std::uint32_t>(height_);
    const std::uintptr_t destination_end =
        destination + 2 * std::uintptr_t{stride_} * static_cast<std::uint32_t>(destination_height_);
    return source < destination_end && destination < source_end;
}

void ImageSampler::read_row(std::int32_t y, std::uint32_t* out) const {
    if (rgb565_) {
        const std::uint16_t* row = rgb565_row(y);
        for (std::int32_t x = 0; x < width_; ++x) out[x] = rgb565_to_argb(row[x]);
        return;
    }
    for (std::int32_t x = 0; x < width_; ++x) out[x] = read_pixel(source_, x, y);
}

void ImageSampler::draw(std::int64_t x, std::int64_t y, std::uint32_t argb) const {
    if (x < x1_ || x > x2_ || y < y1_ || y > y2_) return;
    if ((argb >> 24) == 0) return;
    std::uint16_t* d = pixels_ + static_cast<std::size_t>(y) * stride_ + static_cast<std::size_t>(x);
    if (alpha_ == 255 && (argb >> 24) == 255) {
        *d = static_cast<std::uint16_t>(argb_to_display(argb));
        return;
    }
    *d = static_cast<std::uint16_t>(argb_to_display(blend(argb, display_to_argb(*d), alpha_)));
}

namespace {

std::int64_t channel(std::uint32_t c, int shift) { return (c >> shift) & 0xFF; }

}  // namespace

std::uint32_t bilerp(std::uint32_t c00, std::uint32_t c10, std::uint32_t c01, std::uint32_t c11, std::int32_t x0,
                     std::int32_t y0, float fx, float fy) {
    return bilerp_weighted(c00, c10, c01, c11, bilerp_weight(fx, x0), bilerp_weight(fy, y0));
}

std::uint32_t bilerp_any(std::uint32_t c00, std::uint32_t c10, std::uint32_t c01, std::uint32_t c11,
                         std::int64_t wx, std::int64_t wy) {
    const std::int64_t a00 = c00 >> 24, a10 = c10 >> 24, a01 = c01 >> 24, a11 = c11 >> 24;
    if (a00 == 255 && a10 == 255 && a01 == 255 && a11 == 255) {
        std::uint32_t out = 0xFF000000u;
        for (int shift : {16, 8, 0}) {
            const std::int64_t v = ((255 - wy) * (channel(c00, shift) * (255 - wx) + channel(c10, shift) * wx) +
                                    wy * (channel(c01, shift) * (255 - wx) + channel(c11, shift) * wx)) /
                                   65025;
            out |= static_cast<std::uint32_t>(std::clamp<std::int64_t>(v, 0, 255)) << shift;
        }
        return out;
    }
    const std::int64_t p00 = (255 - wx) * a00, p10 = wx * a10, p01 = (255 - wx) * a01, p11 = wx * a11;
    const std::int64_t top = p00 + p10, bot = p01 + p11;
    const std::int64_t t = (255 - wy) * top / 255, b = wy * bot / 255, s = t + b;
    if (s == 0) return 0;
    const std::int64_t qt = p00 * p10 / 65025, qb = p01 * p11 / 65025, qv = t * b / 65025;
    std::uint32_t out = static_cast<std::uint32_t>(std::clamp<std::int64_t>(s / 255, 0, 255)) << 24;
    for (int shift : {16, 8, 0}) {
        const std::int64_t upper =
            top - qt <= 0 ? 0 : (channel(c00, shift) * p00 + channel(c10, shift) * p10 - channel(c10, shift) * qt) / (top - qt);
        const std::int64_t lower =
            bot - qb <= 0 ? 0 : (channel(c01, shift) * p01 + channel(c11, shift) * p11 - channel(c11, shift) * qb) / (bot - qb);
        const std::int64_t v = s - qv <= 0 ? 0 : (t * upper + b * lower - lower * qv) / (s - qv);
        out |= static_cast<std::uint32_t>(std::clamp<std::int64_t>(v, 0, 255)) << shift;
    }
    return out;
}

}  // namespace tarvelo::graphics
