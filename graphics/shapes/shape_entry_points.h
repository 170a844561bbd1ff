// The software drawing entry points of the shapes (one pixel wide, and
// thick with a soft edge) and the polygons, with the drawing library's polygon dispatchers. Each returns 0
// (done).
#pragma once

#include <cstdint>

#include "graphics/images/image_types.h"

extern "C" {

std::int32_t UI_DRAWING_SOFT_drawLine(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                      std::int32_t y2);
std::int32_t UI_DRAWING_SOFT_drawRoundedRectangle(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                  std::int32_t width, std::int32_t height, std::int32_t corner_width,
                                                  std::int32_t corner_height);
std::int32_t UI_DRAWING_SOFT_drawCircleArc(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                           std::int32_t diameter, float start_angle, float arc_angle);
std::int32_t UI_DRAWING_SOFT_drawEllipseArc(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                            std::int32_t width, std::int32_t height, float start_angle,
                                            float arc_angle);
std::int32_t UI_DRAWING_SOFT_drawCircle(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                        std::int32_t diameter);
std::int32_t UI_DRAWING_SOFT_drawEllipse(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                         std::int32_t width, std::int32_t height);
std::int32_t DW_DRAWING_SOFT_drawPolygon(SPictavoGraphicsContext* gc, const std::int32_t* xys, std::int32_t count);
// `work` holds at least 96 * (count / 2) + 20 bytes (the natives check it).
std::int32_t DW_DRAWING_SOFT_fillPolygon(SPictavoGraphicsContext* gc, const std::int32_t* xys, std::int32_t count,
                                         void* work);
// Thick shapes with a soft edge; caps 0 none, 1 rounded, 2 perpendicular.
std::int32_t DW_DRAWING_SOFT_drawThickFadedPoint(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                 std::int32_t thickness, std::int32_t fade);
std::int32_t DW_DRAWING_SOFT_drawThickFadedLine(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1,
                                                std::int32_t x2, std::int32_t y2, std::int32_t thickness,
                                                std::int32_t fade, std::int32_t start_cap, std::int32_t end_cap);
std::int32_t DW_DRAWING_SOFT_drawThickFadedCircle(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                  std::int32_t diameter, std::int32_t thickness, std::int32_t fade);
std::int32_t DW_DRAWING_SOFT_drawThickFadedCircleArc(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                     std::int32_t diameter, float start_angle, float arc_angle,
                                                     std::int32_t thickness, std::int32_t fade,
                                                     std::int32_t start_cap, std::int32_t end_cap);
std::int32_t DW_DRAWING_SOFT_drawThickFadedEllipse(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                   std::int32_t width, std::int32_t height, std::int32_t thickness,
                                                   std::int32_t fade);
// Return 0 without drawing into a destination of a custom format.
std::int32_t DW_DRAWING_drawPolygon(SPictavoGraphicsContext* gc, const std::int32_t* xys, std::int32_t count);
std::int32_t DW_DRAWING_fillPolygon(SPictavoGraphicsContext* gc, const std::int32_t* xys, std::int32_t count,
                                    void* work);

}  // extern "C"
