// Bresenham lines, one pixel wide.
#include <cstdlib>
#include <utility>

#include "graphics/aliased_shapes.h"
#include "graphics/shape_pixels.h"
#include "graphics/soft_drawing.h"

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
    std::int64_t x = x1, y = y1;
    out.put(x, y);
    if (adx > ady) {
        std::int64_t error = adx >> 1;
        for (std::int64_t i = 0; i < adx; ++i) {
            error += ady;
            x += sx;
            if (error >= adx) {
                error -= adx;
                y += sy;
            }
            out.put(x, y);
        }
    } else {
        std::int64_t error = ady >> 1;
        for (std::int64_t i = 0; i < ady; ++i) {
            error += adx;
            if (error >= ady) {
                x += sx;
                error -= ady;
            }
            y += sy;
            out.put(x, y);
        }
    }
}

}  // namespace tarvelo::graphics
