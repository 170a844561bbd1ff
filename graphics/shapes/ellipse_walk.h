// The integer ellipse walk shared by the ellipse outline and the arc: from
// the middle rows outwards, four candidate pixels per pass, with 64-bit
// error increments.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace tarvelo::graphics {

struct EllipseWalk {
    std::int64_t x0, x1, row0, row1;
    std::int64_t dx, dy, error, a8, b8;

    // The walk's terms reach about 12 max(a, b)^3: beyond 2^19 on an axis
    // they could leave 64 bits, so larger ellipses are not walked (nor drawn).
    static constexpr std::int64_t kLargestAxis = std::int64_t{1} << 19;
    static bool walkable(std::int64_t a, std::int64_t height) {
        return std::llabs(a) <= kLargestAxis && std::llabs(height - 1) <= kLargestAxis;
    }

    // Columns x0..x1 (swapped and widened by a when reversed), horizontal
    // axis term a, rows from `top` for `height` rows.
    EllipseWalk(std::int64_t left, std::int64_t right, std::int64_t a, std::int64_t top, std::int64_t height)
        : x0(left), x1(right) {
        const std::int64_t b = std::llabs(height - 1), b1 = b & 1;
        dx = 4 * (1 - a) * b * b;
        dy = 4 * (b1 + 1) * a * a;
        error = dx + dy + b1 * a * a;
        if (x0 > x1) {
            x0 = x1;
            x1 += a;
        }
        const std::int64_t bottom = top + height - 1;
        row0 = std::min(top, bottom) + (b + 1) / 2;
        row1 = row0 - b1;
        a8 = 8 * a * a;
        b8 = 8 * b * b;
    }

    // Advances after the four pixels of a pass were written; false at the end.
    bool next() {
        const std::int64_t e2 = 2 * error;
        if (e2 <= dy) {
            row0 += 1;
            dy += a8;
            error += dy;
            row1 -= 1;
        }
        if (e2 >= dx || 2 * error > dy) {
            x0 += 1;
            dx += b8;
            error += dx;
            x1 -= 1;
        }
        return x0 <= x1;
    }
};

}  // namespace tarvelo::graphics
