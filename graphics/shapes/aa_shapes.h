// Thick shapes with a soft edge: a solid core of the given thickness in the
// foreground colour and a band of the given fade width in which the opacity
// falls to zero. Points, lines with caps, circle and ellipse outlines, and
// circle arcs with caps.
#pragma once

#include <cstdint>

#include "graphics/images/image_types.h"

namespace tarvelo::graphics {

struct AntiAliasingDrawer {
    static void drawPoint(SPictavoGraphicsContext* gc, std::int32_t thickness, std::int32_t fade, std::int32_t x,
                          std::int32_t y);
    static void drawLine(SPictavoGraphicsContext* gc, std::int32_t thickness, std::int32_t fade, std::int32_t x1,
                         std::int32_t y1, std::int32_t x2, std::int32_t y2, std::int32_t start_cap,
                         std::int32_t end_cap);
    // Centres are 64-bit: x + d/2 may leave the 32-bit range.
    static void drawCircle(SPictavoGraphicsContext* gc, std::int32_t thickness, std::int32_t fade, std::int64_t cx,
                           std::int64_t cy, std::int32_t diameter);
    static void drawEllipse(SPictavoGraphicsContext* gc, std::int32_t thickness, std::int32_t fade, std::int64_t cx,
                            std::int64_t cy, std::int32_t width, std::int32_t height);
    // Angles in degrees in [0, 360), counter-clockwise from start to end.
    static void drawCircleArc(SPictavoGraphicsContext* gc, std::int32_t thickness, std::int32_t fade,
                              std::int32_t end_cap, std::int32_t start_cap, float cx, float cy, float radius,
                              float end_angle, float start_angle);
};

}  // namespace tarvelo::graphics
