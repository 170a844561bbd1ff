// Drawer 0's entries of the GPU back end: the drawing operations the GPU
// takes for images of the display format, each falling back to the engine's
// software drawer where the GPU cannot serve. They replace the drawer
// tables' weak default entries of the same names. Each returns the drawing
// status: 0 done (or failed, see the drawing log), 1 running on the GPU.
#pragma once

#include <cstdint>

#include "graphics/images/image_types.h"
#include "platform/vglite/vg_lite.h"

extern "C" {

std::int32_t UI_DRAWING_fillRoundedRectangle_0(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                               std::int32_t width, std::int32_t height, std::int32_t corner_width,
                                               std::int32_t corner_height);
std::int32_t UI_DRAWING_fillCircleArc_0(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                        std::int32_t diameter, float start_angle, float arc_angle);
std::int32_t UI_DRAWING_fillEllipseArc_0(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                         std::int32_t width, std::int32_t height, float start_angle, float arc_angle);
std::int32_t UI_DRAWING_fillEllipse_0(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y, std::int32_t width,
                                      std::int32_t height);
std::int32_t UI_DRAWING_fillCircle_0(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                     std::int32_t diameter);
std::int32_t UI_DRAWING_drawImage_0(SPictavoGraphicsContext* gc, const SPictavoImage* image, std::int32_t region_x,
                                    std::int32_t region_y, std::int32_t width, std::int32_t height, std::int32_t x,
                                    std::int32_t y, std::int32_t alpha);
std::int32_t UI_DRAWING_drawRegion_0(SPictavoGraphicsContext* gc, std::int32_t region_x, std::int32_t region_y,
                                     std::int32_t width, std::int32_t height, std::int32_t x, std::int32_t y,
                                     std::int32_t alpha);
std::int32_t UI_DRAWING_drawThickFadedPoint_0(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                              std::int32_t thickness, std::int32_t fade);
std::int32_t UI_DRAWING_drawThickFadedLine_0(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1,
                                             std::int32_t x2, std::int32_t y2, std::int32_t thickness,
                                             std::int32_t fade, std::int32_t start_cap, std::int32_t end_cap);
std::int32_t UI_DRAWING_drawThickFadedCircle_0(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                               std::int32_t diameter, std::int32_t thickness, std::int32_t fade);
std::int32_t UI_DRAWING_drawThickFadedCircleArc_0(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                  std::int32_t diameter, float start_angle, float arc_angle,
                                                  std::int32_t thickness, std::int32_t fade, std::int32_t start_cap,
                                                  std::int32_t end_cap);
std::int32_t UI_DRAWING_drawThickFadedEllipse_0(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                std::int32_t width, std::int32_t height, std::int32_t thickness,
                                                std::int32_t fade);
std::int32_t UI_DRAWING_drawThickLine_0(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                        std::int32_t y2, std::int32_t thickness);
std::int32_t UI_DRAWING_drawThickCircle_0(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                          std::int32_t diameter, std::int32_t thickness);
std::int32_t UI_DRAWING_drawThickEllipse_0(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                           std::int32_t width, std::int32_t height, std::int32_t thickness);
std::int32_t UI_DRAWING_drawThickCircleArc_0(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                             std::int32_t diameter, float start_angle, float arc_angle,
                                             std::int32_t thickness);
std::int32_t UI_DRAWING_drawFlippedImage_0(SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                           std::int32_t region_x, std::int32_t region_y, std::int32_t width,
                                           std::int32_t height, std::int32_t x, std::int32_t y, std::int32_t flip,
                                           std::int32_t alpha);
std::int32_t UI_DRAWING_drawRotatedImageNearestNeighbor_0(SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                                          std::int32_t x, std::int32_t y, std::int32_t rotation_x,
                                                          std::int32_t rotation_y, float angle, std::int32_t alpha);
std::int32_t UI_DRAWING_drawRotatedImageBilinear_0(SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                                   std::int32_t x, std::int32_t y, std::int32_t rotation_x,
                                                   std::int32_t rotation_y, float angle, std::int32_t alpha);
std::int32_t UI_DRAWING_drawScaledImageNearestNeighbor_0(SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                                         std::int32_t x, std::int32_t y, float factor_x, float factor_y,
                                                         std::int32_t alpha);
std::int32_t UI_DRAWING_drawScaledImageBilinear_0(SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                                  std::int32_t x, std::int32_t y, float factor_x, float factor_y,
                                                  std::int32_t alpha);
// Drawer 0's stride hook (the GPU's row rule).
std::uint32_t UI_DRAWING_getNewImageStrideInBytes_0(std::int32_t format, std::uint32_t width, std::uint32_t height,
                                                    std::uint32_t default_stride);

}  // extern "C"
