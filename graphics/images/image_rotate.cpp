// Rotated and scaled images, by nearest-neighbour sampling or bilinear
// interpolation.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "graphics/images/image_sampling.h"
#include "graphics/images/image_transforms.h"
#include "graphics/shapes/aa_coverage.h"

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
    // An opaque RGB565 source at full alpha (the common case): the nearest
    // pixel is stored as it is; the neighbours of a bilinear sample inside
    // the image are read and interpolated straight from RGB565.
    const bool direct = spans && sampler.copies_display_pixels();
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
        if (direct && nearest) {
            // The nearest pixel stored as it is.
            std::uint16_t* to = first <= last ? sampler.destination_row(static_cast<std::int32_t>(dy)) : nullptr;
            for (std::int64_t X = first; X <= last; ++X) {
                const float fX = static_cast<float>(X);
                const std::int64_t sx = round_half_away(fX * c - ys) - ox;
                const std::int64_t sy = round_half_away(fX * s + yc) - oy;
                if (sampler.inside(sx, sy))
                    to[rx + X] = sampler.source_row(static_cast<std::int32_t>(sy))[static_cast<std::int32_t>(sx)];
            }
            continue;
        }
        if (direct) {
            std::uint16_t* to = first <= last ? sampler.destination_row(static_cast<std::int32_t>(dy)) : nullptr;
            const float fox = static_cast<float>(ox), foy = static_cast<float>(oy);
            const std::uint32_t stride = sampler.source_stride();
            const std::int32_t w = sampler.width(), h = sampler.height();
            for (std::int64_t X = first; X <= last; ++X) {
                const float fX = static_cast<float>(X);
                const float fx = fX * c - ys - fox, fy = fX * s + yc - foy;
                const std::int32_t x0 = floor_int(fx), y0 = floor_int(fy);
                if (x0 < 0 || y0 < 0 || x0 + 1 >= w || y0 + 1 >= h) {
                    // At the image's edge: some neighbours read as transparent.
                    if (x0 < -1 || x0 >= w || y0 < -1 || y0 >= h) continue;
                    const std::uint32_t c00 = sampler.read(x0, y0), c10 = sampler.read(x0 + 1, y0);
                    const std::uint32_t c01 = sampler.read(x0, y0 + 1), c11 = sampler.read(x0 + 1, y0 + 1);
                    sampler.draw(rx + X, dy, bilerp(c00, c10, c01, c11, x0, y0, fx, fy));
                    continue;
                }
                const std::uint16_t* p = sampler.source_row(y0) + x0;
                const auto wx = static_cast<std::uint32_t>((fx - static_cast<float>(x0)) * 255);
                const auto wy = static_cast<std::uint32_t>((fy - static_cast<float>(y0)) * 255);
                to[rx + X] = bilerp_rgb565(p[0], p[1], p[stride], p[stride + 1], wx, wy);
            }
            continue;
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
            const std::int32_t x0 = floor_int(fx), y0 = floor_int(fy);
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

// Nearest pixels of an RGB565 source stored as they are (full alpha). A
// destination row that reads the same source row as the row written before
// it is a copy of that row, unless the source is the destination, whose
// rows the drawing changes as it goes.
void nearest_rgb565(const ImageSampler& sampler, const std::vector<Sample>& xs, const std::vector<Sample>& ys,
                    std::int32_t dx0, std::int32_t dx1, std::int32_t dy0) {
    const std::int32_t first = std::max(dx0, sampler.clip_x1()), last = std::min(dx1, sampler.clip_x2());
    if (first > last) return;
    const auto count = static_cast<std::size_t>(last - first + 1);
    std::vector<std::int32_t> columns(count);
    for (std::size_t i = 0; i < count; ++i) columns[i] = xs[static_cast<std::size_t>(first - dx0) + i].nearest;
    const bool may_copy = !sampler.source_overlaps_destination();
    const std::uint16_t* written = nullptr;
    std::int32_t written_from = -1;
    for (std::size_t j = 0; j < ys.size(); ++j) {
        const std::int32_t y = dy0 + static_cast<std::int32_t>(j);
        if (!sampler.clip_has_row(y)) continue;
        const std::int32_t source_row = ys[j].nearest;
        std::uint16_t* to = sampler.destination_row(y) + first;
        if (may_copy && written != nullptr && source_row == written_from) {
            std::memmove(to, written, 2 * count);
        } else {
            const std::uint16_t* from = sampler.source_row(source_row);
            for (std::size_t i = 0; i < count; ++i) to[i] = from[columns[i]];
            written_from = source_row;
        }
        written = to;
    }
}

// Bilinear samples of an opaque RGB565 source at full alpha, straight to
// RGB565. Each destination row first mixes its two source rows column by
// column, (255 - wy) c_top + wy c_bottom per channel; a pixel then mixes
// two such columns: (255 - wx) V_low + wx V_high, the same integer as
// `bilerp_weighted` computes, divided by 255 * 255 once. False (nothing
// drawn) when a weight lies outside 0..255, where the general interpolator
// clamps, and when the source is the destination: the general path reads
// each source row once into its cache, before the rows drawn change it.
bool bilinear_rgb565(const ImageSampler& sampler, const std::vector<Sample>& xs, const std::vector<Sample>& ys,
                     std::int32_t dx0, std::int32_t dx1, std::int32_t dy0) {
    if (sampler.source_overlaps_destination()) return false;
    const std::int32_t first = std::max(dx0, sampler.clip_x1()), last = std::min(dx1, sampler.clip_x2());
    if (first > last) return true;
    std::int32_t low = INT32_MAX, high = INT32_MIN;
    for (std::int32_t x = first; x <= last; ++x) {
        const Sample& sx = xs[static_cast<std::size_t>(x - dx0)];
        if (sx.weight < 0 || sx.weight > 255) return false;
        low = std::min(low, sx.low), high = std::max(high, sx.high);
    }
    for (const Sample& sy : ys)
        if (sy.weight < 0 || sy.weight > 255) return false;
    const auto span = static_cast<std::size_t>(high - low + 1);
    std::vector<std::uint32_t> mixed(3 * span);
    // Indexed by source column less `low`.
    std::uint32_t* red = mixed.data();
    std::uint32_t* green = red + span;
    std::uint32_t* blue = green + span;
    for (std::size_t j = 0; j < ys.size(); ++j) {
        const std::int32_t y = dy0 + static_cast<std::int32_t>(j);
        if (!sampler.clip_has_row(y)) continue;
        const Sample& sy = ys[j];
        const auto wy = static_cast<std::uint32_t>(sy.weight), ny = 255 - wy;
        const std::uint16_t* top = sampler.source_row(sy.low);
        const std::uint16_t* bottom = sampler.source_row(sy.high);
        for (std::size_t c = 0; c < span; ++c) {
            const std::uint32_t t = top[low + static_cast<std::int32_t>(c)], b = bottom[low + static_cast<std::int32_t>(c)];
            red[c] = ny * ((t & 0xF800u) >> 8) + wy * ((b & 0xF800u) >> 8);
            green[c] = ny * ((t & 0x07E0u) >> 3) + wy * ((b & 0x07E0u) >> 3);
            blue[c] = ny * ((t & 0x001Fu) << 3) + wy * ((b & 0x001Fu) << 3);
        }
        std::uint16_t* to = sampler.destination_row(y);
        for (std::int32_t x = first; x <= last; ++x) {
            const Sample& sx = xs[static_cast<std::size_t>(x - dx0)];
            const auto wx = static_cast<std::uint32_t>(sx.weight), nx = 255 - wx;
            const auto l = static_cast<std::size_t>(sx.low - low), h = static_cast<std::size_t>(sx.high - low);
            const std::uint32_t r = (nx * red[l] + wx * red[h]) / 65025;
            const std::uint32_t g = (nx * green[l] + wx * green[h]) / 65025;
            const std::uint32_t b = (nx * blue[l] + wx * blue[h]) / 65025;
            to[x] = static_cast<std::uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | b >> 3);
        }
    }
    return true;
}

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
    if (sampler.copies_display_pixels()) {
        if (nearest) {
            nearest_rgb565(sampler, xs, ys, dx0, dx1, dy0);
            return;
        }
        if (bilinear_rgb565(sampler, xs, ys, dx0, dx1, dy0)) return;
    }
    RowCache cache(sampler);
    for (std::int32_t j = 0; j < rows; ++j) {
        const Sample& sy = ys[static_cast<std::size_t>(j)];
        const std::int32_t y = dy0 + j;
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
