// Software drawing entry points of the one-pixel-wide shapes and polygons:
// the geometry prepared for the drawers (centres from the bounding box,
// arcs normalised, rounded rectangles as four quarter arcs and four lines,
// triangles and quadrilaterals that collapse to lines or rectangles).
#include "graphics/shapes/shape_entry_points.h"

#include <algorithm>
#include <cstdint>

#include "graphics/drawing/soft_drawing.h"
#include "graphics/pixels/pixel_formats.h"
#include "graphics/shapes/aa_shapes.h"
#include "graphics/shapes/aliased_shapes.h"

using tarvelo::graphics::AliasingDrawer;
using tarvelo::graphics::AntiAliasingDrawer;
using tarvelo::graphics::Polygon;
using tarvelo::graphics::SArcData;
using tarvelo::graphics::SoftDrawing;

namespace {

// A value for the drawers that take 32 bits and clip: beyond the range lies
// outside any clip.
std::int32_t saturated(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}

// A triangle or quadrilateral whose points share one x or one y is a line;
// an axis-aligned quadrilateral is a rectangle. False when the polygon
// filler must draw it.
bool draw_degenerate(SPictavoGraphicsContext* gc, const std::int32_t* p, std::int32_t n) {
    bool same_x = true, same_y = true;
    std::int32_t xmin = p[0], xmax = p[0], ymin = p[1], ymax = p[1];
    for (std::int32_t i = 1; i < n; ++i) {
        same_x = same_x && p[2 * i] == p[0];
        same_y = same_y && p[2 * i + 1] == p[1];
        xmin = std::min(xmin, p[2 * i]);
        xmax = std::max(xmax, p[2 * i]);
        ymin = std::min(ymin, p[2 * i + 1]);
        ymax = std::max(ymax, p[2 * i + 1]);
    }
    if (same_x) {
        if (ymin == ymax)
            SoftDrawing::drawPixel(gc, xmin, ymin);
        else
            SoftDrawing::drawVLine(gc, xmin, ymin, ymax);
        return true;
    }
    if (same_y) {
        SoftDrawing::drawHLine(gc, xmin, xmax, ymin);
        return true;
    }
    if (n == 4 && p[0] == p[6] && p[2] == p[4] && p[1] == p[3] && p[5] == p[7]) {
        SoftDrawing::fillRect(gc, xmin, ymin, xmax, ymax);
        return true;
    }
    return false;
}

// An edge from its end with the smaller y (equal y: from the second point).
void draw_edge(SPictavoGraphicsContext* gc, std::int32_t xa, std::int32_t ya, std::int32_t xb, std::int32_t yb) {
    if (ya < yb)
        AliasingDrawer::drawLine(gc, xa, ya, xb, yb);
    else
        AliasingDrawer::drawLine(gc, xb, yb, xa, ya);
}

}  // namespace

extern "C" {

std::int32_t UI_DRAWING_SOFT_drawLine(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                      std::int32_t y2) {
    AliasingDrawer::drawLine(gc, x1, y1, x2, y2);
    return 0;
}

std::int32_t UI_DRAWING_SOFT_drawRoundedRectangle(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                  std::int32_t width, std::int32_t height, std::int32_t corner_width,
                                                  std::int32_t corner_height) {
    // 64-bit corners; the lines, which clip, take them saturated.
    std::int64_t a = std::min<std::int64_t>((std::int64_t{width} - 1) / 2, corner_width >> 1);
    std::int64_t b = std::min<std::int64_t>((std::int64_t{height} - 1) / 2, corner_height >> 1);
    if (a <= 0 || b <= 0) a = b = 0;
    const std::int64_t r = std::int64_t{x} + width - 1, s = std::int64_t{y} + height - 1;
    const auto w = static_cast<std::int32_t>(2 * a), h = static_cast<std::int32_t>(2 * b);
    AliasingDrawer::drawArc(gc, x + a, y + b, 180, 90, w, h);
    AliasingDrawer::drawArc(gc, r - a + 1, y + b, 90, 0, w, h);
    AliasingDrawer::drawArc(gc, x + a, s - b + 1, 270, 180, w, h);
    AliasingDrawer::drawArc(gc, r - a + 1, s - b + 1, 0, 270, w, h);
    SoftDrawing::drawHLine(gc, saturated(x + a), saturated(r - a), y);
    SoftDrawing::drawHLine(gc, saturated(x + a), saturated(r - a), saturated(s));
    SoftDrawing::drawVLine(gc, x, saturated(y + b), saturated(s - b));
    SoftDrawing::drawVLine(gc, saturated(r), saturated(y + b), saturated(s - b));
    return 0;
}

std::int32_t UI_DRAWING_SOFT_drawEllipseArc(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                            std::int32_t width, std::int32_t height, float start_angle,
                                            float arc_angle) {
    SArcData arc{};
    arc.init(width, height, 0, 0, start_angle, arc_angle);
    AliasingDrawer::drawArc(gc, std::int64_t{x} + arc.half_width, std::int64_t{y} + arc.half_height, arc.end_angle,
                            arc.start_angle, width, height);
    return 0;
}

std::int32_t UI_DRAWING_SOFT_drawCircleArc(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                           std::int32_t diameter, float start_angle, float arc_angle) {
    return UI_DRAWING_SOFT_drawEllipseArc(gc, x, y, diameter, diameter, start_angle, arc_angle);
}

std::int32_t UI_DRAWING_SOFT_drawCircle(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                        std::int32_t diameter) {
    AliasingDrawer::drawCircle(gc, std::int64_t{x} + (diameter >> 1), std::int64_t{y} + (diameter >> 1), diameter);
    return 0;
}

std::int32_t UI_DRAWING_SOFT_drawEllipse(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                         std::int32_t width, std::int32_t height) {
    AliasingDrawer::drawEllipse(gc, std::int64_t{x} + (width >> 1), std::int64_t{y} + (height >> 1), width, height);
    return 0;
}

std::int32_t DW_DRAWING_SOFT_drawPolygon(SPictavoGraphicsContext* gc, const std::int32_t* xys, std::int32_t count) {
    const std::int32_t n = count / 2;
    if (n <= 0) return 0;
    for (std::int32_t i = 0; i + 1 < n; ++i) {
        const std::int32_t* a = xys + 2 * i;
        const std::int32_t* b = a + 2;
        draw_edge(gc, a[0], a[1], b[0], b[1]);
    }
    // The closing edge: from the first point when the two ends share a row.
    const std::int32_t* last = xys + 2 * (n - 1);
    if (last[1] < xys[1])
        AliasingDrawer::drawLine(gc, last[0], last[1], xys[0], xys[1]);
    else
        AliasingDrawer::drawLine(gc, xys[0], xys[1], last[0], last[1]);
    return 0;
}

std::int32_t DW_DRAWING_SOFT_fillPolygon(SPictavoGraphicsContext* gc, const std::int32_t* xys, std::int32_t count,
                                         void* work) {
    const std::int32_t n = count / 2;
    if ((count == 6 || count == 8) && draw_degenerate(gc, xys, n)) return 0;
    if (n <= 0) return 0;
    Polygon::fillPolygonAlgorithm(gc, xys, count, Polygon::initialize(n, work));
    return 0;
}

std::int32_t DW_DRAWING_SOFT_drawThickFadedPoint(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                 std::int32_t thickness, std::int32_t fade) {
    AntiAliasingDrawer::drawPoint(gc, std::max(thickness, 0), std::max(fade, 0), x, y);
    return 0;
}

std::int32_t DW_DRAWING_SOFT_drawThickFadedLine(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1,
                                                std::int32_t x2, std::int32_t y2, std::int32_t thickness,
                                                std::int32_t fade, std::int32_t start_cap, std::int32_t end_cap) {
    AntiAliasingDrawer::drawLine(gc, std::max(thickness, 0), std::max(fade, 0), x1, y1, x2, y2, start_cap, end_cap);
    return 0;
}

std::int32_t DW_DRAWING_SOFT_drawThickFadedCircle(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                  std::int32_t diameter, std::int32_t thickness, std::int32_t fade) {
    const std::int64_t r = diameter >> 1;
    const std::int64_t t = std::min<std::int64_t>(std::max(thickness, 0), 2 * r);
    const std::int64_t f = std::max<std::int64_t>(0, std::min<std::int64_t>(fade, r - (t + 1) / 2));
    AntiAliasingDrawer::drawCircle(gc, static_cast<std::int32_t>(t), static_cast<std::int32_t>(f), x + r, y + r,
                                   diameter);
    return 0;
}

std::int32_t DW_DRAWING_SOFT_drawThickFadedCircleArc(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                     std::int32_t diameter, float start_angle, float arc_angle,
                                                     std::int32_t thickness, std::int32_t fade,
                                                     std::int32_t start_cap, std::int32_t end_cap) {
    SArcData arc{};
    arc.init(diameter, diameter, start_cap, end_cap, start_angle, arc_angle);
    const std::int64_t t = std::min(std::max(thickness, 0), diameter);
    const std::int64_t f = std::max<std::int64_t>(0, std::min<std::int64_t>(fade, (std::int64_t{diameter} + 1 - t) >> 1));
    const float half = static_cast<float>(diameter) / 2.0f;
    AntiAliasingDrawer::drawCircleArc(gc, static_cast<std::int32_t>(t), static_cast<std::int32_t>(f), arc.end_cap,
                                      arc.start_cap, static_cast<float>(x) + half, static_cast<float>(y) + half, half,
                                      arc.end_angle, arc.start_angle);
    return 0;
}

std::int32_t DW_DRAWING_SOFT_drawThickFadedEllipse(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                   std::int32_t width, std::int32_t height, std::int32_t thickness,
                                                   std::int32_t fade) {
    const std::int64_t t = std::min({std::max(thickness, 0), height, width});
    const std::int64_t f =
        std::max<std::int64_t>(0, std::min<std::int64_t>(fade, std::min(width >> 1, height >> 1) - (t + 1) / 2));
    AntiAliasingDrawer::drawEllipse(gc, static_cast<std::int32_t>(t), static_cast<std::int32_t>(f),
                                    std::int64_t{x} + (width >> 1), std::int64_t{y} + (height >> 1), width, height);
    return 0;
}

std::int32_t DW_DRAWING_drawPolygon(SPictavoGraphicsContext* gc, const std::int32_t* xys, std::int32_t count) {
    if (tarvelo::graphics::is_custom_format(gc->image.format)) return 0;
    return DW_DRAWING_SOFT_drawPolygon(gc, xys, count);
}

std::int32_t DW_DRAWING_fillPolygon(SPictavoGraphicsContext* gc, const std::int32_t* xys, std::int32_t count,
                                    void* work) {
    if (tarvelo::graphics::is_custom_format(gc->image.format)) return 0;
    return DW_DRAWING_SOFT_fillPolygon(gc, xys, count, work);
}

}  // extern "C"
