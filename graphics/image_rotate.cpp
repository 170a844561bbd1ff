// Rotated and scaled images, by nearest-neighbour sampling or bilinear
// interpolation.
#include <algorithm>
#include <cmath>

#include "graphics/aa_coverage.h"
#include "graphics/image_sampling.h"
#include "graphics/image_transforms.h"

namespace tarvelo::graphics {

void Rotation::draw(const SPictavoImage* image, SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                    std::int32_t rx, std::int32_t ry, float angle, bool nearest, std::int32_t alpha, bool mirror,
                    std::int32_t width, std::int32_t height, std::int32_t region_x, std::int32_t region_y) {
    ImageSampler sampler;
    if (!sampler.prepare(image, gc, static_cast<std::uint32_t>(std::max(alpha, 0)))) return;
    if (width <= 0 || height <= 0) return;
    const float theta = angle * 3.1415927f / 180;
    const float c = std::cos(theta), s = std::sin(theta);
    const std::int64_t ox = static_cast<std::int64_t>(x) - rx, oy = static_cast<std::int64_t>(y) - ry;
    std::int64_t min_x = INT64_MAX, max_x = INT64_MIN, min_y = INT64_MAX, max_y = INT64_MIN;
    for (std::int64_t dy : {oy, oy + height - 1}) {
        for (std::int64_t dx : {ox, ox + width - 1}) {
            const float fdx = static_cast<float>(dx), fdy = static_cast<float>(dy);
            const std::int64_t X = round_half_away(fdx * c + fdy * s), Y = round_half_away(-fdx * s + fdy * c);
            min_x = std::min(min_x, X), max_x = std::max(max_x, X);
            min_y = std::min(min_y, Y), max_y = std::max(max_y, Y);
        }
    }
    // Only the part of the box inside the clip can be written.
    min_x = std::max<std::int64_t>(min_x, gc->clip_x1 - static_cast<std::int64_t>(rx));
    max_x = std::min<std::int64_t>(max_x, gc->clip_x2 - static_cast<std::int64_t>(rx));
    min_y = std::max<std::int64_t>(min_y, gc->clip_y1 - static_cast<std::int64_t>(ry));
    max_y = std::min<std::int64_t>(max_y, gc->clip_y2 - static_cast<std::int64_t>(ry));
    for (std::int64_t X = min_x; X <= max_x; ++X) {
        for (std::int64_t Y = min_y; Y <= max_y; ++Y) {
            const float fX = static_cast<float>(X), fY = static_cast<float>(Y);
            const std::int64_t dx = rx + X, dy = ry + Y;
            if (nearest) {
                std::int64_t sx = round_half_away(fX * c - fY * s) - ox;
                std::int64_t sy = round_half_away(fX * s + fY * c) - oy;
                if (mirror) sx = width - 1 - sx;
                sx -= region_x;
                sy -= region_y;
                sampler.copy(sx, sy, dx, dy);
                continue;
            }
            float fx = fX * c - fY * s - static_cast<float>(ox);
            const float fy = fX * s + fY * c - static_cast<float>(oy) - static_cast<float>(region_y);
            if (mirror) fx = static_cast<float>(width) - fx - 1;
            fx -= static_cast<float>(region_x);
            const std::int32_t x0 = trunc_int(std::floor(fx)), y0 = trunc_int(std::floor(fy));
            const std::uint32_t c00 = sampler.read(x0, y0), c10 = sampler.read(x0 + 1, y0);
            const std::uint32_t c01 = sampler.read(x0, y0 + 1), c11 = sampler.read(static_cast<std::int64_t>(x0) + 1, y0 + 1);
            if ((c00 | c10 | c01 | c11) == 0) continue;
            sampler.draw(dx, dy, bilerp(c00, c10, c01, c11, x0, y0, fx, fy));
        }
    }
}

void Scale::draw(const SPictavoImage* image, std::int32_t sx0, std::int32_t sy0, std::int32_t sx1, std::int32_t sy1,
                 SPictavoGraphicsContext* gc, std::int32_t dx0, std::int32_t dy0, std::int32_t dx1, std::int32_t dy1,
                 std::int32_t alpha, bool nearest, bool mirror, float step_x, float step_y) {
    ImageSampler sampler;
    if (!sampler.prepare(image, gc, static_cast<std::uint32_t>(std::max(alpha, 0)))) return;
    // Float steps can drift past the last pixel: reads stay inside the image.
    auto cx = [&](std::int64_t v) { return std::clamp<std::int64_t>(v, 0, sampler.width() - 1); };
    auto cy = [&](std::int64_t v) { return std::clamp<std::int64_t>(v, 0, sampler.height() - 1); };
    float sx = static_cast<float>(mirror ? sx1 : sx0);
    const float dir_step_x = mirror ? -step_x : step_x;
    for (std::int32_t x = dx0; x <= dx1; ++x, sx += dir_step_x) {
        float sy = static_cast<float>(sy0);
        for (std::int32_t y = dy0; y <= dy1; ++y, sy += step_y) {
            if (nearest) {
                sampler.copy(cx(round_half_away(sx)), cy(round_half_away(sy)), x, y);
                continue;
            }
            const std::int32_t fx = trunc_int(std::floor(sx)), fy = trunc_int(std::floor(sy));
            const std::int64_t x1 = cx(std::min(fx + 1, sx1)), x0 = cx(std::max(fx, sx0));
            const std::int64_t y1 = cy(std::min(fy + 1, sy1)), y0 = cy(std::max(fy, sy0));
            sampler.draw(x, y,
                         bilerp(sampler.read(x0, y0), sampler.read(x1, y0), sampler.read(x0, y1), sampler.read(x1, y1),
                                static_cast<std::int32_t>(x0), static_cast<std::int32_t>(y0), sx, sy));
        }
    }
}

}  // namespace tarvelo::graphics

namespace {

using tarvelo::graphics::round_half_away;
using tarvelo::graphics::trunc_int;

std::int32_t scale_image(SPictavoGraphicsContext* gc, const SPictavoImage* image, std::int32_t x, std::int32_t y,
                         float factor_x, float factor_y, std::int32_t alpha, bool nearest) {
    const std::int32_t w = image->width, h = image->height;
    const std::int64_t dw = round_half_away(static_cast<float>(w) * factor_x);
    const std::int64_t dh = round_half_away(static_cast<float>(h) * factor_y);
    // Nothing for an empty destination; a destination of one pixel in an
    // axis reads the source's first column or row (step 0) instead of
    // dividing by zero.
    if (dw <= 0 || dh <= 0 || w <= 0 || h <= 0) return 0;
    const float step_x = dw == 1 ? 0.0f : static_cast<float>(w - 1) / static_cast<float>(dw - 1);
    const float step_y = dh == 1 ? 0.0f : static_cast<float>(h - 1) / static_cast<float>(dh - 1);
    std::int64_t dx0 = x, dy0 = y, dx1 = x + dw - 1, dy1 = y + dh - 1;
    std::int32_t sx0 = 0, sy0 = 0, sx1 = w - 1, sy1 = h - 1;
    if (dx0 < gc->clip_x1) {
        sx0 = trunc_int(static_cast<float>(gc->clip_x1 - dx0) * step_x);
        dx0 = gc->clip_x1;
    }
    if (dy0 < gc->clip_y1) {
        sy0 = trunc_int(static_cast<float>(gc->clip_y1 - dy0) * step_y);
        dy0 = gc->clip_y1;
    }
    if (dx1 > gc->clip_x2) {
        sx1 = trunc_int(static_cast<float>(w - 1) - static_cast<float>(dx1 - gc->clip_x2) * step_x);
        dx1 = gc->clip_x2;
    }
    if (dy1 > gc->clip_y2) {
        sy1 = trunc_int(static_cast<float>(h - 1) - static_cast<float>(dy1 - gc->clip_y2) * step_y);
        dy1 = gc->clip_y2;
    }
    if (dy0 > dy1 || dx0 > dx1) return 0;
    tarvelo::graphics::Scale::draw(image, sx0, sy0, sx1, sy1, gc, static_cast<std::int32_t>(dx0),
                                   static_cast<std::int32_t>(dy0), static_cast<std::int32_t>(dx1),
                                   static_cast<std::int32_t>(dy1), alpha, nearest, false, step_x, step_y);
    return 0;
}

}  // namespace

extern "C" {

std::int32_t DW_DRAWING_SOFT_drawRotatedImageNearestNeighbor(SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                                             std::int32_t x, std::int32_t y, std::int32_t rx,
                                                             std::int32_t ry, float angle, std::int32_t alpha) {
    tarvelo::graphics::Rotation::draw(image, gc, x, y, rx, ry, angle, true, alpha, false, image->width, image->height,
                                      0, 0);
    return 0;
}

std::int32_t DW_DRAWING_SOFT_drawRotatedImageBilinear(SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                                      std::int32_t x, std::int32_t y, std::int32_t rx,
                                                      std::int32_t ry, float angle, std::int32_t alpha) {
    tarvelo::graphics::Rotation::draw(image, gc, x, y, rx, ry, angle, false, alpha, false, image->width, image->height,
                                      0, 0);
    return 0;
}

std::int32_t DW_DRAWING_SOFT_drawScaledImageNearestNeighbor(SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                                            std::int32_t x, std::int32_t y, float factor_x,
                                                            float factor_y, std::int32_t alpha) {
    return scale_image(gc, image, x, y, factor_x, factor_y, alpha, true);
}

std::int32_t DW_DRAWING_SOFT_drawScaledImageBilinear(SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                                     std::int32_t x, std::int32_t y, float factor_x, float factor_y,
                                                     std::int32_t alpha) {
    return scale_image(gc, image, x, y, factor_x, factor_y, alpha, false);
}

}  // extern "C"
