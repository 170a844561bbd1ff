// Rotated and scaled images, by nearest-neighbour sampling or bilinear
// interpolation.
#include <algorithm>
#include <cmath>
#include <vector>

#include "graphics/aa_coverage.h"
#include "graphics/image_sampling.h"
#include "graphics/image_transforms.h"

namespace tarvelo::graphics {

namespace {

// Narrows [*first, *last] to the integers X where a X + b may lie in
// [lo, hi], one more on each side; a slope too flat to cut leaves it.
void cut_to_affine_range(double a, double b, double lo, double hi, std::int64_t* first, std::int64_t* last) {
    if (std::fabs(a) < 1e-9) {
        if (b < lo - 1 || b > hi + 1) *first = *last + 1;
        return;
    }
    double from = (lo - b) / a, to = (hi - b) / a;
    if (from > to) std::swap(from, to);
    *first = std::max(*first, static_cast<std::int64_t>(std::floor(from)) - 1);
    *last = std::min(*last, static_cast<std::int64_t>(std::ceil(to)) + 1);
}

}  // namespace

void Rotation::draw(const SPictavoImage* image, SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                    std::int32_t rx, std::int32_t ry, float angle, bool nearest, std::int32_t alpha, bool mirror,
                    std::int32_t width, std::int32_t height, std::int32_t region_x, std::int32_t region_y) {
    // An angle that is not a number, or whose radians are not (an infinite
    // one, or one near the largest float), turns nothing.
    const float theta = angle * 3.1415927f / 180;
    if (!std::isfinite(theta)) return;
    ImageSampler sampler;
    if (!sampler.prepare(image, gc, static_cast<std::uint32_t>(std::max(alpha, 0)))) return;
    if (width <= 0 || height <= 0) return;
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
    // Row by row, so that the destination is written in memory order; each
    // pixel's source position is the same float expression either way.
    // Each row can be cut to the columns whose source position lies near
    // the image (the others read nothing): with a margin of a whole pixel
    // over the float rounding, which stays far below it while every
    // coordinate is under 2^20.
    constexpr std::int64_t kExact = std::int64_t{1} << 20;
    const bool spans = !mirror && region_x == 0 && region_y == 0 && std::max(std::llabs(min_x), std::llabs(max_x)) < kExact &&
                       std::max(std::llabs(min_y), std::llabs(max_y)) < kExact && std::llabs(ox) < kExact &&
                       std::llabs(oy) < kExact;
    for (std::int64_t Y = min_y; Y <= max_y; ++Y) {
        const float fY = static_cast<float>(Y);
        const float ys = fY * s, yc = fY * c;
        const std::int64_t dy = ry + Y;
        std::int64_t first = min_x, last = max_x;
        if (spans) {
            // fx = X c - ys - ox in [-1, width), fy = X s + yc - oy in [-1, height).
            cut_to_affine_range(c, -static_cast<double>(ys) - static_cast<double>(ox), -2, width + 1, &first, &last);
            cut_to_affine_range(s, static_cast<double>(yc) - static_cast<double>(oy), -2, height + 1, &first, &last);
        }
        for (std::int64_t X = first; X <= last; ++X) {
            const float fX = static_cast<float>(X);
            const std::int64_t dx = rx + X;
            if (nearest) {
                std::int64_t sx = round_half_away(fX * c - ys) - ox;
                std::int64_t sy = round_half_away(fX * s + yc) - oy;
                if (mirror) sx = width - 1 - sx;
                sx -= region_x;
                sy -= region_y;
                sampler.copy(sx, sy, dx, dy);
                continue;
            }
            float fx = fX * c - ys - static_cast<float>(ox);
            const float fy = fX * s + yc - static_cast<float>(oy) - static_cast<float>(region_y);
            if (mirror) fx = static_cast<float>(width) - fx - 1;
            fx -= static_cast<float>(region_x);
            const std::int32_t x0 = trunc_int(std::floor(fx)), y0 = trunc_int(std::floor(fy));
            // All four neighbours outside the image read as transparent.
            if (x0 < -1 || x0 >= sampler.width() || y0 < -1 || y0 >= sampler.height()) continue;
            const std::uint32_t c00 = sampler.read(x0, y0), c10 = sampler.read(x0 + 1, y0);
            const std::uint32_t c01 = sampler.read(x0, y0 + 1), c11 = sampler.read(x0 + 1, y0 + 1);
            if ((c00 | c10 | c01 | c11) == 0) continue;
            sampler.draw(dx, dy, bilerp(c00, c10, c01, c11, x0, y0, fx, fy));
        }
    }
}

namespace {

// Where one destination column or row of a scaled image reads: the float
// position accumulated step by step, its nearest pixel, and its bilinear
// pair and weight, each clamped into the image.
struct Sample {
    std::int32_t nearest, low, high;
    std::int64_t weight;
};

std::vector<Sample> samples(float start, float step, std::int32_t count, std::int32_t first, std::int32_t last,
                            std::int32_t size) {
    std::vector<Sample> out(static_cast<std::size_t>(count));
    auto clamp = [size](std::int64_t v) { return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, 0, size - 1)); };
    float at = start;
    for (std::int32_t i = 0; i < count; ++i, at += step) {
        const std::int32_t f = trunc_int(std::floor(at));
        Sample& s = out[static_cast<std::size_t>(i)];
        s.nearest = clamp(round_half_away(at));
        s.low = clamp(std::max(f, first));
        s.high = clamp(std::min(f + 1, last));
        s.weight = bilerp_weight(at, s.low);
    }
    return out;
}

// Source rows converted to ARGB8888 once each, the last two kept.
class RowCache {
public:
    explicit RowCache(const ImageSampler& sampler)
        : sampler_(sampler), rows_{std::vector<std::uint32_t>(static_cast<std::size_t>(sampler.width())),
                                   std::vector<std::uint32_t>(static_cast<std::size_t>(sampler.width()))} {}
    const std::uint32_t* row(std::int32_t y) {
        for (int i = 0; i < 2; ++i)
            if (index_[i] == y) return rows_[i].data();
        const int i = next_;
        next_ ^= 1;
        index_[i] = y;
        sampler_.read_row(y, rows_[i].data());
        return rows_[i].data();
    }

private:
    const ImageSampler& sampler_;
    std::vector<std::uint32_t> rows_[2];
    std::int32_t index_[2] = {-1, -1};
    int next_ = 0;
};

}  // namespace

void Scale::draw(const SPictavoImage* image, std::int32_t sx0, std::int32_t sy0, std::int32_t sx1, std::int32_t sy1,
                 SPictavoGraphicsContext* gc, std::int32_t dx0, std::int32_t dy0, std::int32_t dx1, std::int32_t dy1,
                 std::int32_t alpha, bool nearest, bool mirror, float step_x, float step_y) {
    ImageSampler sampler;
    if (!sampler.prepare(image, gc, static_cast<std::uint32_t>(std::max(alpha, 0)))) return;
    // Float steps can drift past the last pixel: reads stay inside the
    // image. Columns and rows are sampled once; the destination is then
    // written row by row from source rows converted once.
    const std::int32_t columns = dx1 - dx0 + 1, rows = dy1 - dy0 + 1;
    if (columns <= 0 || rows <= 0) return;
    const std::vector<Sample> xs = samples(static_cast<float>(mirror ? sx1 : sx0), mirror ? -step_x : step_x,
                                           columns, sx0, sx1, sampler.width());
    const std::vector<Sample> ys = samples(static_cast<float>(sy0), step_y, rows, sy0, sy1, sampler.height());
    RowCache cache(sampler);
    for (std::int32_t j = 0; j < rows; ++j) {
        const Sample& sy = ys[static_cast<std::size_t>(j)];
        const std::int32_t y = dy0 + j;
        if (nearest && sampler.copies_display_pixels()) {
            if (!sampler.clip_has_row(y)) continue;
            const std::uint16_t* from = sampler.source_row(sy.nearest);
            std::uint16_t* to = sampler.destination_row(y);
            const std::int32_t first = std::max(dx0, sampler.clip_x1()), last = std::min(dx1, sampler.clip_x2());
            for (std::int32_t x = first; x <= last; ++x) to[x] = from[xs[static_cast<std::size_t>(x - dx0)].nearest];
            continue;
        }
        if (nearest) {
            const std::uint32_t* row = cache.row(sy.nearest);
            for (std::int32_t i = 0; i < columns; ++i) sampler.draw(dx0 + i, y, row[xs[static_cast<std::size_t>(i)].nearest]);
            continue;
        }
        const std::uint32_t* top = cache.row(sy.low);
        const std::uint32_t* bottom = cache.row(sy.high);
        for (std::int32_t i = 0; i < columns; ++i) {
            const Sample& sx = xs[static_cast<std::size_t>(i)];
            sampler.draw(dx0 + i, y,
                         bilerp_weighted(top[sx.low], top[sx.high], bottom[sx.low], bottom[sx.high], sx.weight,
                                         sy.weight));
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
