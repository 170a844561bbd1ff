// One-pixel-wide shapes without anti-aliasing, in the foreground colour of a
// display-format (RGB565) graphics context: lines, circles, ellipses, arcs of
// circles and ellipses, and the scan-line polygon filler. They only write
// pixels inside the clip; they never blend, allocate or fail.
#pragma once

#include <cstdint>

#include "graphics/images/image_types.h"

namespace tarvelo::graphics {

// A normalised arc: angles in degrees in [0, 360), counter-clockwise from
// the start angle to the end angle, 0 pointing right.
struct SArcData {
    std::int32_t half_width;
    std::int32_t half_height;
    float end_angle;
    float start_angle;
    std::int32_t end_cap;
    std::int32_t start_cap;

    void init(std::int32_t width, std::int32_t height, std::int32_t cap_a, std::int32_t cap_b, float start,
              float arc);
};

struct AliasingDrawer {
    // Both end points included.
    static void drawLine(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                         std::int32_t y2);
    // Centre (x + d/2, y + d/2) of the bounding square at (x, y) (64-bit:
    // x + d/2 may leave the 32-bit range).
    static void drawCircle(SPictavoGraphicsContext* gc, std::int64_t cx, std::int64_t cy, std::int32_t diameter);
    // Ellipses and arcs with an axis beyond 2^19 pixels are not drawn.
    static void drawEllipse(SPictavoGraphicsContext* gc, std::int64_t cx, std::int64_t cy, std::int32_t width,
                            std::int32_t height);
    // Note the order of the angles: end first. Clears the context's
    // clip-disabled flag.
    static void drawArc(SPictavoGraphicsContext* gc, std::int64_t cx, std::int64_t cy, float end, float start,
                        std::int32_t width, std::int32_t height);
};

// The polygon filler works in a buffer of the caller.
struct Polygon {
    // Bytes of work buffer for n points.
    static constexpr std::int64_t workSize(std::int64_t n) { return 96 * n + 20; }
    // Carves `buffer` (workSize(n) bytes, 4-byte aligned) for n points;
    // returns the work structure.
    static void* initialize(std::int32_t n, void* buffer);
    // Fills the polygon of the count / 2 points (x, y) of `points`.
    static void fillPolygonAlgorithm(SPictavoGraphicsContext* gc, const std::int32_t* points, std::int32_t count,
                                     void* work);
};

}  // namespace tarvelo::graphics
