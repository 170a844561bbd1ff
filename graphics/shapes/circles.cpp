// Midpoint circles and integer ellipses, one pixel wide. The ellipse's error
// terms are 64-bit: in 32 bits they overflow from about 650 pixels across (a
// full-screen ellipse), and the pixels are otherwise the same.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "graphics/shapes/aliased_shapes.h"
#include "graphics/shapes/ellipse_walk.h"
#include "graphics/shapes/shape_pixels.h"

namespace tarvelo::graphics {

namespace {

// floor(sqrt(q)).
std::uint64_t isqrt(std::uint64_t q) {
    auto s = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(q)));
    while (s * s > q) --s;
    while ((s + 1) * (s + 1) <= q) ++s;
    return s;
}

// Up to four ranges of columns, each walked once.
struct ColumnRanges {
    std::int64_t first[4], last[4];
    int count = 0;
    void add(std::int64_t a, std::int64_t b, std::int64_t lo, std::int64_t hi) {
        a = std::max(a, lo), b = std::min(b, hi);
        if (a <= b) first[count] = a, last[count] = b, ++count;
    }
};

}  // namespace

// The walk from the top of the circle steps x by one and lowers y when its
// decision term is positive; that term being 4 (x + 1)^2 + (2y + 1)^2 -
// 4 r^2 - 8 r, y stays the largest y with (2y + 1)^2 <= 4 r^2 + 8 r - 4 x^2
// in the first octant. So any column's pixels are known at once, and only
// the columns whose eight mirrored pixels can reach the clip are walked: a
// circle two billion pixels across costs what its pixels in the clip cost.
void AliasingDrawer::drawCircle(SPictavoGraphicsContext* gc, std::int64_t cx, std::int64_t cy, std::int32_t diameter) {
    const ShapePixels out(gc);
    const std::int64_t r = diameter >> 1;
    // An even diameter mirrors the right and lower halves about cx - 1 and
    // cy - 1, so the outline spans exactly `diameter` pixels.
    const std::int64_t ox = cx - 1 + (diameter & 1);
    const std::int64_t oy = cy - 1 + (diameter & 1);
    auto put8 = [&](std::int64_t x, std::int64_t y) {
        out.put(ox + x, oy + y);
        out.put(ox + y, oy + x);
        out.put(cx - x, oy + y);
        out.put(cx - y, oy + x);
        out.put(ox + x, cy - y);
        out.put(ox + y, cy - x);
        out.put(cx - x, cy - y);
        out.put(cx - y, cy - x);
    };
    // r <= 2^30, so 4 r^2 + 8 r < 2^63.
    const std::uint64_t ur = static_cast<std::uint64_t>(r > 0 ? r : 0), limit = 4 * ur * ur + 8 * ur;
    auto octant_y = [&](std::int64_t x) {
        const std::uint64_t q = limit - 4 * static_cast<std::uint64_t>(x) * static_cast<std::uint64_t>(x);
        return static_cast<std::int64_t>((isqrt(q) - 1) / 2);
    };
    // The walk ends at the first column whose y is not above it.
    std::int64_t end = 0;
    if (r > 0) {
        std::int64_t lo = 0, hi = r;  // y(r) = 0 <= r
        while (lo < hi) {
            const std::int64_t mid = lo + (hi - lo) / 2;
            if (octant_y(mid) <= mid) hi = mid;
            else lo = mid + 1;
        }
        end = lo;
    }
    const std::int64_t x1 = gc->clip_x1, x2 = gc->clip_x2, y1 = gc->clip_y1, y2 = gc->clip_y2;
    ColumnRanges columns;
    columns.add(x1 - ox, x2 - ox, 0, end - 1);
    columns.add(cx - x2, cx - x1, 0, end - 1);
    columns.add(y1 - oy, y2 - oy, 0, end - 1);
    columns.add(cy - y2, cy - y1, 0, end - 1);
    std::int64_t done = -1;  // columns up to this one are drawn
    for (int pass = 0; pass < columns.count; ++pass) {
        // The ranges in order of their first column, overlaps walked once.
        int k = -1;
        for (int i = 0; i < columns.count; ++i)
            if (columns.last[i] > done && (k < 0 || columns.first[i] < columns.first[k])) k = i;
        if (k < 0) break;
        const std::int64_t first = std::max(columns.first[k], done + 1);
        std::int64_t y = octant_y(first);
        for (std::int64_t x = first; x <= columns.last[k]; ++x) {
            put8(x, y);
            // The next column.
            const auto nx = static_cast<std::uint64_t>(2 * x + 2), ny = static_cast<std::uint64_t>(2 * y + 1);
            if (nx * nx + ny * ny > limit) --y;
        }
        done = columns.last[k];
        columns.first[k] = columns.last[k] + 1;  // used
        columns.last[k] = done;
    }
    const std::int64_t y = r > 0 ? octant_y(end) : r;
    out.put(ox + end, oy + y);
    out.put(cx - end, oy + y);
    out.put(ox + end, cy - y);
    out.put(cx - end, cy - y);
}

void AliasingDrawer::drawEllipse(SPictavoGraphicsContext* gc, std::int64_t cx, std::int64_t cy, std::int32_t width,
                                 std::int32_t height) {
    const ShapePixels out(gc);
    const std::int64_t a = std::llabs(static_cast<std::int64_t>(width) - 1);
    if (!EllipseWalk::walkable(a, height)) return;
    const std::int64_t x0 = cx - (width >> 1);
    EllipseWalk walk(x0, x0 + width - 1, a, cy - (height >> 1), height);
    do {
        out.put(walk.x1, walk.row0);
        out.put(walk.x0, walk.row0);
        out.put(walk.x0, walk.row1);
        out.put(walk.x1, walk.row1);
    } while (walk.next());
}

}  // namespace tarvelo::graphics
