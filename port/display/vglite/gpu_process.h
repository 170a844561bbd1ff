// The GPU drawing operations in GPU terms: each process function sets the
// scissor from the clip (nothing happens when the shape lies outside it),
// builds the matrix and the path (or the source rectangle) and hands them
// to a callback, which draws them at once (drawer 0) or records them
// (vector images). Coordinates are pixels; paths are built in pixels
// (lines, rounded rectangles) or in half pixels under a 0.5 scale (the
// other shapes).
#pragma once

#include <cstdint>

#include "graphics/images/image_types.h"
#include "platform/vglite/vg_lite.h"

extern "C" {

typedef std::int32_t (*UI_DRAWING_VGLITE_draw_path_t)(SPictavoGraphicsContext* gc, vg_lite_path_t* path,
                                                      vg_lite_fill_t fill_rule, vg_lite_matrix_t* matrix,
                                                      vg_lite_blend_t blend, vg_lite_color_t color);
typedef std::int32_t (*UI_DRAWING_VGLITE_blit_rect_t)(SPictavoGraphicsContext* gc, vg_lite_buffer_t* source,
                                                      vg_lite_rectangle_t rect, vg_lite_matrix_t* matrix,
                                                      vg_lite_blend_t blend, vg_lite_color_t color,
                                                      vg_lite_filter_t filter);
// A rectangle (x, y, width, height) and a colour instead of a path.
typedef std::int32_t (*UI_DRAWING_VGLITE_clear_t)(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                  std::int32_t width, std::int32_t height, vg_lite_color_t color);

#define UI_VGLITE_PROCESS(name, ...)                                                                                   \
    std::int32_t UI_DRAWING_VGLITE_PROCESS_##name(UI_DRAWING_VGLITE_draw_path_t callback, SPictavoGraphicsContext* gc, \
                                                  __VA_ARGS__)

UI_VGLITE_PROCESS(drawLine, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);
UI_VGLITE_PROCESS(drawHorizontalLine, std::int32_t x1, std::int32_t x2, std::int32_t y);
UI_VGLITE_PROCESS(drawVerticalLine, std::int32_t x, std::int32_t y1, std::int32_t y2);
UI_VGLITE_PROCESS(drawRoundedRectangle, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                  std::int32_t arc_width, std::int32_t arc_height);
UI_VGLITE_PROCESS(fillRoundedRectangle, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                  std::int32_t arc_width, std::int32_t arc_height);
UI_VGLITE_PROCESS(drawCircle, std::int32_t x, std::int32_t y, std::int32_t diameter);
UI_VGLITE_PROCESS(drawEllipse, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height);
UI_VGLITE_PROCESS(fillCircle, std::int32_t x, std::int32_t y, std::int32_t diameter);
UI_VGLITE_PROCESS(fillEllipse, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height);
UI_VGLITE_PROCESS(drawCircleArc, std::int32_t x, std::int32_t y, std::int32_t diameter, float start_angle,
                  float arc_angle);
UI_VGLITE_PROCESS(drawEllipseArc, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                  float start_angle, float arc_angle);
UI_VGLITE_PROCESS(fillCircleArc, std::int32_t x, std::int32_t y, std::int32_t diameter, float start_angle,
                  float arc_angle);
UI_VGLITE_PROCESS(fillEllipseArc, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                  float start_angle, float arc_angle);
UI_VGLITE_PROCESS(drawThickFadedPoint, std::int32_t x, std::int32_t y, std::int32_t thickness);
UI_VGLITE_PROCESS(drawThickFadedLine, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                  std::int32_t thickness, std::int32_t start_cap, std::int32_t end_cap);
UI_VGLITE_PROCESS(drawThickLine, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                  std::int32_t thickness);
UI_VGLITE_PROCESS(drawThickCircle, std::int32_t x, std::int32_t y, std::int32_t diameter, std::int32_t thickness);
UI_VGLITE_PROCESS(drawThickEllipse, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                  std::int32_t thickness);
UI_VGLITE_PROCESS(drawThickCircleArc, std::int32_t x, std::int32_t y, std::int32_t diameter, float start_angle,
                  float arc_angle, std::int32_t thickness);
UI_VGLITE_PROCESS(drawThickFadedCircleArc, std::int32_t x, std::int32_t y, std::int32_t diameter, float start_angle,
                  float arc_angle, std::int32_t thickness, std::int32_t start_cap, std::int32_t end_cap);

#undef UI_VGLITE_PROCESS

std::int32_t UI_DRAWING_VGLITE_PROCESS_fillRectangle(UI_DRAWING_VGLITE_clear_t callback, SPictavoGraphicsContext* gc,
                                                     std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                                     std::int32_t y2);

// The source descriptor of a region of `image` drawn at (x, y), with its
// colour, matrix and rectangle; null when the GPU cannot read the image or
// the destination lies outside the clip.
vg_lite_buffer_t* UI_DRAWING_VGLITE_PROCESS_prepare_draw_image(SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                                               std::int32_t region_x, std::int32_t region_y,
                                                               std::int32_t width, std::int32_t height, std::int32_t x,
                                                               std::int32_t y, std::int32_t alpha,
                                                               vg_lite_color_t* color, vg_lite_matrix_t* matrix,
                                                               vg_lite_rectangle_t rect);
// Image transforms; `*gpu_taken` tells whether the GPU could read the
// source (when not, the caller draws in software).
std::int32_t UI_DRAWING_VGLITE_PROCESS_drawRotatedImage(UI_DRAWING_VGLITE_blit_rect_t callback,
                                                        SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                                        std::int32_t x, std::int32_t y, std::int32_t rotation_x,
                                                        std::int32_t rotation_y, float angle, std::int32_t alpha,
                                                        bool bilinear, bool* gpu_taken);
std::int32_t UI_DRAWING_VGLITE_PROCESS_drawScaledImage(UI_DRAWING_VGLITE_blit_rect_t callback,
                                                       SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                                       std::int32_t x, std::int32_t y, float factor_x, float factor_y,
                                                       std::int32_t alpha, bool bilinear, bool* gpu_taken);
std::int32_t UI_DRAWING_VGLITE_PROCESS_drawFlippedImage(UI_DRAWING_VGLITE_blit_rect_t callback,
                                                        SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                                        std::int32_t region_x, std::int32_t region_y,
                                                        std::int32_t width, std::int32_t height, std::int32_t x,
                                                        std::int32_t y, std::int32_t flip, std::int32_t alpha,
                                                        bool* gpu_taken);

}  // extern "C"

namespace tarvelo::gpu {

// The path object shared by the shape operations, and its buffer.
inline constexpr std::int32_t kShapePathBufferSize = 176;
vg_lite_path_t& shape_path();

// a + b held to the 32-bit range: a size made of two caller's words (a
// thickness and its fade, a diameter and a thickness) never wraps.
inline std::int32_t held_sum(std::int64_t a, std::int64_t b) {
    const std::int64_t sum = a + b;
    return static_cast<std::int32_t>(sum < INT32_MIN ? INT32_MIN : sum > INT32_MAX ? INT32_MAX : sum);
}

}  // namespace tarvelo::gpu
