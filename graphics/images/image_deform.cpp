// Images deformed into a quadrilateral: trapezoids with two axis-parallel
// opposite sides by a per-pixel nearest-neighbour mapping, anything else
// cell by cell through the quadrilateral filler.
//
// Positions are fixed point with 20 fractional bits, held in 64 bits: in 32
// bits corner spans or image sizes of 2048 and more overflow. Corners
// outside +-32767 are not drawn (the polygon filler takes 32-bit points and
// the clip is 16-bit).
//
// The trapezoid drawer walks destination pixels, only those of the clip.
// The cell-by-cell drawer costs a few operations a source pixel and a fill
// for each cell that meets the clip; it takes images below 2048 pixels on
// each side (the range of the 20-bit fixed point), so that a run-length
// image of a few bytes that declares 65535 x 65535 pixels cannot keep it
// busy for minutes.
#include <algorithm>
#include <cstdlib>

#include "graphics/images/image_sampling.h"
#include "graphics/images/image_transforms.h"
#include "graphics/pixels/pixel_formats.h"
#include "graphics/shapes/aliased_shapes.h"
#include "graphics/shapes/shape_entry_points.h"

namespace tarvelo::graphics {

namespace {

constexpr int kFraction = 20;
constexpr std::int64_t kOne = std::int64_t{1} << kFraction;
constexpr std::int32_t kCornerLimit = 32767;
constexpr std::int64_t kDeformedSizeLimit = 2048;  // exclusive

bool corners_in_range(const std::int32_t* c) {
    for (int i = 0; i < 8; ++i)
        if (c[i] < -kCornerLimit || c[i] > kCornerLimit) return false;
    return true;
}

// Arithmetic shift right (rounds down).
std::int64_t pixel_of(std::int64_t v) { return v >> kFraction; }

void draw_trapezoid(const SPictavoImage* image, SPictavoGraphicsContext* gc, const std::int32_t* p, bool vertical,
                    bool swapped, std::int32_t alpha) {
    const std::int32_t x0 = p[0], y0 = p[1], x1 = p[2], y1 = p[3], x2 = p[4], y2 = p[5], x3 = p[6], y3 = p[7];
    const std::int64_t w = image->width, h = image->height;
    std::int64_t a, f, near_start, near_end, far_start, far_end, main_length, cross_length;
    if (vertical && !swapped) a = x0, f = x1, near_start = y0, near_end = y3, far_start = y1, far_end = y2, main_length = w, cross_length = h;
    else if (!vertical && !swapped) a = y0, f = y3, near_start = x0, near_end = x1, far_start = x3, far_end = x2, main_length = h, cross_length = w;
    else if (vertical) a = x0, f = x3, near_start = y0, near_end = y1, far_start = y3, far_end = y2, main_length = h, cross_length = w;
    else a = y0, f = y1, near_start = x0, near_end = x3, far_start = x1, far_end = x2, main_length = w, cross_length = h;

    const std::int64_t l = f - a;
    if (l == 0) return;
    ImageSampler sampler;
    if (!sampler.prepare(image, gc, static_cast<std::uint32_t>(std::clamp(alpha, 0, 255)))) return;
    const std::int64_t n = std::llabs(l) + 1;
    const std::int64_t start_step = (far_start - near_start) * kOne / n;
    const std::int64_t end_step = (far_end - near_end) * kOne / n;
    const std::int64_t main_step = main_length * kOne / (l > 0 ? l + 1 : l - 1);
    const std::int64_t main_min = vertical ? gc->clip_x1 : gc->clip_y1, main_max = vertical ? gc->clip_x2 : gc->clip_y2;
    const std::int64_t cross_min = vertical ? gc->clip_y1 : gc->clip_x1, cross_max = vertical ? gc->clip_y2 : gc->clip_x2;
    std::int64_t current_start = far_start * kOne, current_end = far_end * kOne;
    const std::int64_t direction = l > 0 ? -1 : 1;
    for (std::int64_t i = l;; i += direction) {
        const std::int64_t s = pixel_of(current_start), e = pixel_of(current_end), span = e - s;
        const std::int64_t main = a + i;
        if (span != 0 && main >= main_min && main <= main_max) {
            const std::int64_t m = pixel_of(main_step * i);
            const std::int64_t count = span > 0 ? span + 1 : span - 1;
            const std::int64_t cross_step = cross_length * kOne / count;
            // Only the part of the row inside the clip: j with s + j in it.
            const std::int64_t lo = std::max(std::min<std::int64_t>(0, span), cross_min - s);
            const std::int64_t hi = std::min(std::max<std::int64_t>(0, span), cross_max - s);
            for (std::int64_t j = lo; j <= hi; ++j) {
                const std::int64_t c = pixel_of(cross_step * j);
                const std::int64_t cross = s + j;
                const std::int64_t dx = vertical ? main : cross, dy = vertical ? cross : main;
                if (vertical == swapped) sampler.copy(c, m, dx, dy);
                else sampler.copy(m, c, dx, dy);
            }
        }
        current_start -= start_step;
        current_end -= end_step;
        if (i == 0) break;
    }
}

}  // namespace

std::int32_t Trapezoid::draw(const SPictavoImage* image, SPictavoGraphicsContext* gc, const std::int32_t* p,
                             std::int32_t alpha) {
    bool vertical, swapped;
    if (p[0] == p[6] && p[2] == p[4]) vertical = true, swapped = false;
    else if (p[1] == p[3] && p[5] == p[7]) vertical = false, swapped = false;
    else if (p[0] == p[2] && p[4] == p[6]) vertical = true, swapped = true;
    else if (p[1] == p[7] && p[3] == p[5]) vertical = false, swapped = true;
    else return 0;
    // An image without pixels, or corners out of range: nothing to draw.
    if (image->width == 0 || image->height == 0 || !corners_in_range(p)) return 1;
    draw_trapezoid(image, gc, p, vertical, swapped, alpha);
    return 1;
}

void Deform::draw(const SPictavoImage* image, SPictavoGraphicsContext* gc, const std::int32_t* p, void* work) {
    const std::int64_t w = image->width, h = image->height;
    if (w <= 0 || h <= 0 || w >= kDeformedSizeLimit || h >= kDeformedSizeLimit || !corners_in_range(p)) return;
    const std::int64_t clip_x1 = gc->clip_x1, clip_y1 = gc->clip_y1, clip_x2 = gc->clip_x2, clip_y2 = gc->clip_y2;
    // Whether the box of points (pixels) meets the clip: a cell or a row of
    // cells outside it fills nothing there.
    auto meets_clip = [&](std::initializer_list<std::int64_t> xs, std::initializer_list<std::int64_t> ys) {
        return std::max(xs) >= clip_x1 && std::min(xs) <= clip_x2 && std::max(ys) >= clip_y1 && std::min(ys) <= clip_y2;
    };
    const std::int64_t x0 = p[0], y0 = p[1], x1 = p[2], y1 = p[3], x2 = p[4], y2 = p[5], x3 = p[6], y3 = p[7];
    const std::uint32_t saved = gc->foreground_color;
    PixelSource source;
    if (!prepare_source(image, saved, &source)) return;
    const std::int64_t rx = (x1 - x2) * kOne / h, ry = (y1 - y2) * kOne / h;
    const std::int64_t lx = (x0 - x3) * kOne / h, ly = (y0 - y3) * kOne / h;
    std::int64_t px = x2 * kOne, py = y2 * kOne;
    std::int64_t lower_x = (x2 - x3) * kOne / w, lower_y = (y2 - y3) * kOne / w;
    std::int64_t width_x = (x2 - x3) * kOne + rx - lx, width_y = (y2 - y3) * kOne + ry - ly;
    for (std::int64_t j = h - 1; j >= 0; --j) {
        const std::int64_t top_x = px + rx, top_y = py + ry;
        std::int64_t ux = top_x, uy = top_y;
        const std::int64_t upper_x = width_x / w, upper_y = width_y / w;
        std::int64_t ur_x = pixel_of(ux), ur_y = pixel_of(uy), lr_x = pixel_of(px), lr_y = pixel_of(py);
        // The row's cells lie between its two lines, whose ends bound them.
        const bool row_meets_clip =
            meets_clip({ur_x, lr_x, pixel_of(ux - w * upper_x), pixel_of(px - w * lower_x)},
                       {ur_y, lr_y, pixel_of(uy - w * upper_y), pixel_of(py - w * lower_y)});
        for (std::int64_t c = row_meets_clip ? w - 1 : -1; c >= 0; --c) {
            px -= lower_x, py -= lower_y;
            ux -= upper_x, uy -= upper_y;
            if (!meets_clip({pixel_of(ux), ur_x, lr_x, pixel_of(px)}, {pixel_of(uy), ur_y, lr_y, pixel_of(py)})) {
                ur_x = pixel_of(ux), ur_y = pixel_of(uy), lr_x = pixel_of(px), lr_y = pixel_of(py);
                continue;
            }
            const std::int32_t cell[8] = {
                static_cast<std::int32_t>(pixel_of(ux)), static_cast<std::int32_t>(pixel_of(uy)),
                static_cast<std::int32_t>(ur_x),         static_cast<std::int32_t>(ur_y),
                static_cast<std::int32_t>(lr_x),         static_cast<std::int32_t>(lr_y),
                static_cast<std::int32_t>(pixel_of(px)), static_cast<std::int32_t>(pixel_of(py)),
            };
            const std::uint32_t colour =
                read_pixel(source, static_cast<std::int32_t>(c), static_cast<std::int32_t>(j));
            if ((colour >> 24) != 0) {
                gc->foreground_color = colour;
                DW_DRAWING_SOFT_fillPolygon(gc, cell, 8, work);
            }
            ur_x = cell[0], ur_y = cell[1], lr_x = cell[6], lr_y = cell[7];
        }
        width_x += rx - lx, width_y += ry - ly;
        lower_x = upper_x, lower_y = upper_y;
        px = top_x, py = top_y;
    }
    gc->foreground_color = saved;
}

}  // namespace tarvelo::graphics

extern "C" {

std::int32_t DW_DRAWING_SOFT_drawDeformedImage(SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                               const std::int32_t* corners, void* work) {
    if (tarvelo::graphics::Trapezoid::draw(image, gc, corners, 255) == 0)
        tarvelo::graphics::Deform::draw(image, gc, corners, work);
    return 0;
}

std::int32_t DW_DRAWING_drawDeformedImage(SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                          const std::int32_t* corners, void* work) {
    if (tarvelo::graphics::is_custom_format(gc->image.format) || tarvelo::graphics::is_custom_format(image->format))
        return 0;
    return DW_DRAWING_SOFT_drawDeformedImage(gc, image, corners, work);
}

}  // extern "C"
