// Midpoint circles and integer ellipses, one pixel wide. The error terms are
// 64-bit: in 32 bits the ellipse's terms overflow from about 650 pixels
// across (a full-screen ellipse), and the pixels are otherwise the same.
#include <algorithm>
#include <cstdlib>

#include "graphics/aliased_shapes.h"
#include "graphics/ellipse_walk.h"
#include "graphics/shape_pixels.h"

namespace tarvelo::graphics {

void AliasingDrawer::drawCircle(SPictavoGraphicsContext* gc, std::int32_t cx, std::int32_t cy, std::int32_t diameter) {
    const ShapePixels out(gc);
    const std::int64_t r = diameter >> 1;
    // An even diameter mirrors the right and lower halves about cx - 1 and
    // cy - 1, so the outline spans exactly `diameter` pixels.
    const std::int64_t ox = static_cast<std::int64_t>(cx) - 1 + (diameter & 1);
    const std::int64_t oy = static_cast<std::int64_t>(cy) - 1 + (diameter & 1);
    std::int64_t x = 0, y = r, d = 5 - 4 * r;
    while (y > x) {
        out.put(ox + x, oy + y);
        out.put(ox + y, oy + x);
        out.put(cx - x, oy + y);
        out.put(cx - y, oy + x);
        out.put(ox + x, cy - y);
        out.put(ox + y, cy - x);
        out.put(cx - x, cy - y);
        out.put(cx - y, cy - x);
        if (d > 0) {
            d -= 8 * y;
            y -= 1;
        }
        x += 1;
        d += 8 * x + 4;
    }
    out.put(ox + x, oy + y);
    out.put(cx - x, oy + y);
    out.put(ox + x, cy - y);
    out.put(cx - x, cy - y);
}

void AliasingDrawer::drawEllipse(SPictavoGraphicsContext* gc, std::int32_t cx, std::int32_t cy, std::int32_t width,
                                 std::int32_t height) {
    const ShapePixels out(gc);
    const std::int64_t a = std::llabs(static_cast<std::int64_t>(width) - 1);
    const std::int64_t x0 = static_cast<std::int64_t>(cx) - (width >> 1);
    EllipseWalk walk(x0, x0 + width - 1, a, static_cast<std::int64_t>(cy) - (height >> 1), height);
    do {
        out.put(walk.x1, walk.row0);
        out.put(walk.x0, walk.row0);
        out.put(walk.x0, walk.row1);
        out.put(walk.x1, walk.row1);
    } while (walk.next());
}

}  // namespace tarvelo::graphics
