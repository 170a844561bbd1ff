// Bresenham lines, one pixel wide.
#include <algorithm>
#include <cstdlib>
#include <utility>

#include "graphics/drawing/soft_drawing.h"
#include "graphics/shapes/aliased_shapes.h"
#include "graphics/shapes/shape_pixels.h"

namespace tarvelo::graphics {

void AliasingDrawer::drawLine(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                              std::int32_t y2) {
    if (y1 == y2) {
        if (x1 > x2) std::swap(x1, x2);
        SoftDrawing::drawHLine(gc, x1, x2, y1);
        return;
    }
    if (x1 == x2) {
        if (y1 > y2) std::swap(y1, y2);
        SoftDrawing::drawVLine(gc, x1, y1, y2);
        return;
    }
    // 64-bit terms: end points a full 32-bit range apart still walk right.
    const std::int64_t dx = static_cast<std::int64_t>(x2) - x1, dy = static_cast<std::int64_t>(y2) - y1;
    const std::int64_t sx = dx > 0 ? 1 : -1, sy = dy > 0 ? 1 : -1;
    const std::int64_t adx = std::llabs(dx), ady = std::llabs(dy);
    const ShapePixels out(gc);
    // The walk takes one step along the major axis per pixel, and a step
    // along the minor axis whenever the error passes the major length; after
    // i steps the error is (major / 2 + i * minor) mod major. Only the steps
    // whose major coordinate lies inside the clip can write, so the walk
    // starts and ends there, in the same state as the whole walk would.
    const bool x_major = adx > ady;
    const std::int64_t major = x_major ? adx : ady, minor = x_major ? ady : adx;
    const std::int64_t start = x_major ? x1 : y1, step = x_major ? sx : sy;
    const std::int64_t low = x_major ? gc->clip_x1 : gc->clip_y1, high = x_major ? gc->clip_x2 : gc->clip_y2;
    std::int64_t first = step > 0 ? low - start : start - high;
    std::int64_t last = step > 0 ? high - start : start - low;
    first = std::max<std::int64_t>(first, 0);
    last = std::min(last, major);
    if (first > last) return;
    // major < 2^33 and minor <= major: the sum stays below 2^64.
    const std::uint64_t total = static_cast<std::uint64_t>(major >> 1) +
                                static_cast<std::uint64_t>(first) * static_cast<std::uint64_t>(minor);
    const auto minor_steps = static_cast<std::int64_t>(total / static_cast<std::uint64_t>(major));
    std::int64_t error = static_cast<std::int64_t>(total % static_cast<std::uint64_t>(major));
    std::int64_t x = x_major ? x1 + sx * first : x1 + sx * minor_steps;
    std::int64_t y = x_major ? y1 + sy * minor_steps : y1 + sy * first;
    out.put(x, y);
    for (std::int64_t i = first; i < last; ++i) {
        error += minor;
        const bool minor_step = error >= major;
        if (minor_step) error -= major;
        if (x_major) {
            x += sx;
            if (minor_step) y += sy;
        } else {
            y += sy;
            if (minor_step) x += sx;
        }
        out.put(x, y);
    }
}

}  // namespace tarvelo::graphics
