// Process functions of the GPU drawing operations (see gpu_process.h).
#include "port/display/vglite/gpu_process.h"

#include <algorithm>

#include "graphics/display/llui_display.h"
#include "port/display/vglite/gpu_matrix.h"
#include "port/display/vglite/gpu_path_builder.h"
#include "port/display/vglite/gpu_setup.h"
#include "vm/core/processor/java_arith.h"

namespace {

using tarvelo::gpu::held_sum;

using tarvelo::jarith::f2i;
using namespace tarvelo::gpu;

// Buffer sizes the shapes use (the largest each can write, rounded up).
constexpr std::int32_t kLineSize = 44;
constexpr std::int32_t kThickLineSize = 76;
constexpr std::int32_t kEllipseRingSize = 128;
constexpr std::int32_t kFilledEllipseSize = 128;
constexpr std::int32_t kEllipseArcSize = 132;
constexpr std::int32_t kRoundedRectangleSize = 176;
constexpr std::int32_t kThickArcSize = 176;

constexpr vg_lite_filter_t kBilinear = VG_LITE_FILTER_BILINEAR;

alignas(4) std::uint8_t __shape_paths[kShapePathBufferSize];
vg_lite_path_t shape_vg_path;
vg_lite_buffer_t source_buffer;

// The shared path with a fresh buffer of `size` bytes.
vg_lite_path_t* use_path(std::int32_t size) {
    shape_vg_path = vg_lite_path_t{};
    shape_vg_path.path = __shape_paths;
    shape_vg_path.path_length = size;
    shape_vg_path.format = VG_LITE_PATH_S16;
    return &shape_vg_path;
}

// The corners are computed in 64 bits, so that a shape's far edge never
// wraps around, and held to the 32-bit range the driver takes: a corner
// beyond it lies outside every clip anyway.
std::int32_t scissor(const SPictavoGraphicsContext* gc, std::int64_t x1, std::int64_t y1, std::int64_t x2,
                     std::int64_t y2) {
    const auto held = [](std::int64_t v) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
    };
    return UI_VGLITE_enable_vg_lite_scissor_region(gc, held(x1), held(y1), held(x2), held(y2));
}

// A path's coordinates are 16-bit: a size beyond them is held at their end
// (such a shape is wider than any display) instead of wrapping on the way.
constexpr std::int64_t kPathRange = 32767;
std::int32_t path_value(std::int64_t v) { return static_cast<std::int32_t>(std::clamp(v, -kPathRange, kPathRange)); }

// A path that does not fit its buffer is never drawn.
std::int32_t path_error(SPictavoGraphicsContext* gc) {
    UI_VGLITE_IMPL_error(false, "Error during path computation");
    LLUI_DISPLAY_reportWarning(gc, tarvelo::graphics::kLogError | tarvelo::graphics::kLogAcceleratorIncident);
    return 0;
}

// Centred on (x, y) in pixels, in half-pixel path units.
void centred_half_pixels(vg_lite_matrix_t* matrix, float x, float y) {
    matrix_identity(matrix);
    matrix_translate(matrix, x, y);
    matrix_scale(matrix, 0.5f, 0.5f);
}

std::int32_t finish(UI_DRAWING_VGLITE_draw_path_t callback, SPictavoGraphicsContext* gc, std::int32_t built,
                    vg_lite_fill_t rule, vg_lite_matrix_t* matrix) {
    if (built < 0) return path_error(gc);
    return callback(gc, &shape_vg_path, rule, matrix, VG_LITE_BLEND_SRC_OVER, gc->foreground_color);
}

std::int32_t line(UI_DRAWING_VGLITE_draw_path_t callback, SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1,
                  std::int32_t x2, std::int32_t y2) {
    vg_lite_matrix_t matrix;
    matrix_identity(&matrix);
    matrix_translate(&matrix, static_cast<float>(x1), static_cast<float>(y1));
    const std::int32_t built = UI_DRAWING_VGLITE_PATH_compute_line(use_path(kLineSize), x2 - x1, y2 - y1);
    return finish(callback, gc, built, VG_LITE_FILL_NON_ZERO, &matrix);
}

std::int32_t rounded_rectangle(UI_DRAWING_VGLITE_draw_path_t callback, SPictavoGraphicsContext* gc, std::int32_t x,
                               std::int32_t y, std::int32_t w, std::int32_t h, std::int32_t arc_w, std::int32_t arc_h,
                               bool outline) {
    if (scissor(gc, x, y, std::int64_t{x} + w, std::int64_t{y} + h) == 0) return 0;
    vg_lite_matrix_t matrix;
    matrix_identity(&matrix);
    const std::int32_t aw = std::min(arc_w, w), ah = std::min(arc_h, h);
    vg_lite_path_t* path = use_path(kRoundedRectangleSize);
    std::int32_t built = UI_DRAWING_VGLITE_PATH_compute_rounded_rectangle(path, 0, x, y, w, h, aw, ah, !outline);
    if (outline && built >= 0)
        built = UI_DRAWING_VGLITE_PATH_compute_rounded_rectangle(path, built, x + 1, y + 1, w - 2, h - 2, aw - 1,
                                                                 ah - 1, true);
    return finish(callback, gc, built, VG_LITE_FILL_EVEN_ODD, &matrix);
}

std::int32_t ellipse_ring(UI_DRAWING_VGLITE_draw_path_t callback, SPictavoGraphicsContext* gc, std::int32_t outer_w,
                          std::int32_t outer_h, float x, float y, std::int32_t inner_w, std::int32_t inner_h) {
    const std::int32_t ix = f2i(x), iy = f2i(y);
    if (scissor(gc, std::int64_t{ix} - 1, std::int64_t{iy} - 1, std::int64_t{ix} + outer_w,
                std::int64_t{iy} + outer_h) == 0)
        return 0;
    vg_lite_matrix_t matrix;
    centred_half_pixels(&matrix, x + static_cast<float>(outer_w) / 2.0f, y + static_cast<float>(outer_h) / 2.0f);
    vg_lite_path_t* path = use_path(kEllipseRingSize);
    // A ring without room inside is a filled ellipse (a contour of radius
    // zero or less would cut a hole instead).
    const bool hole = inner_w > 0 && inner_h > 0;
    std::int32_t built = UI_DRAWING_VGLITE_PATH_compute_ellipse(path, 0, outer_w, outer_h, !hole);
    if (built >= 0 && hole) built = UI_DRAWING_VGLITE_PATH_compute_ellipse(path, built, inner_w, inner_h, true);
    return finish(callback, gc, built, VG_LITE_FILL_EVEN_ODD, &matrix);
}

std::int32_t filled_ellipse(UI_DRAWING_VGLITE_draw_path_t callback, SPictavoGraphicsContext* gc, std::int32_t w,
                            std::int32_t h, float x, float y) {
    const std::int32_t ix = f2i(x), iy = f2i(y);
    if (scissor(gc, std::int64_t{ix} - 1, std::int64_t{iy} - 1, std::int64_t{ix} + w, std::int64_t{iy} + h) == 0)
        return 0;
    vg_lite_matrix_t matrix;
    centred_half_pixels(&matrix, x + static_cast<float>(w) / 2.0f, y + static_cast<float>(h) / 2.0f);
    const std::int32_t built = UI_DRAWING_VGLITE_PATH_compute_filled_ellipse(
        use_path(kFilledEllipseSize), static_cast<float>(w), static_cast<float>(h), &matrix);
    return finish(callback, gc, built, VG_LITE_FILL_NON_ZERO, &matrix);
}

// At (x, y), 64 bits: the arc natives place it a pixel before theirs.
std::int32_t ellipse_arc(UI_DRAWING_VGLITE_draw_path_t callback, SPictavoGraphicsContext* gc, std::int64_t x,
                         std::int64_t y, std::int32_t w, std::int32_t h, bool filled, float start, float arc) {
    if (scissor(gc, x - 1, y - 1, x + w, y + h) == 0) return 0;
    vg_lite_matrix_t matrix;
    centred_half_pixels(&matrix, static_cast<float>(x) + static_cast<float>(w) / 2.0f,
                        static_cast<float>(y) + static_cast<float>(h) / 2.0f);
    const std::int32_t built = UI_DRAWING_VGLITE_PATH_compute_ellipse_arc(use_path(kEllipseArcSize), w, h, w - 2, h - 2,
                                                                          filled, 90.0f - start, -arc);
    return finish(callback, gc, built, VG_LITE_FILL_EVEN_ODD, &matrix);
}

std::int32_t caps_word(std::int32_t start_cap, std::int32_t end_cap) { return (start_cap & 3) | (end_cap & 3) << 2; }

std::int32_t thick_line(UI_DRAWING_VGLITE_draw_path_t callback, SPictavoGraphicsContext* gc, std::int32_t x1,
                        std::int32_t y1, std::int32_t x2, std::int32_t y2, std::int32_t t, std::int32_t start_cap,
                        std::int32_t end_cap) {
    const std::int32_t half = t / 2;
    if (scissor(gc, std::int64_t{std::min(x1, x2)} - half, std::int64_t{std::min(y1, y2)} - half,
                std::int64_t{std::max(x1, x2)} + half, std::int64_t{std::max(y1, y2)} + half) == 0)
        return 0;
    vg_lite_matrix_t matrix;
    centred_half_pixels(&matrix, static_cast<float>(x1), static_cast<float>(y1));
    const std::int32_t built = UI_DRAWING_VGLITE_PATH_compute_thick_shape_line(
        use_path(kThickLineSize), path_value(2 * (std::int64_t{x2} - x1)), path_value(2 * (std::int64_t{y2} - y1)),
        path_value(2 * std::int64_t{t}), caps_word(start_cap, end_cap), &matrix);
    return finish(callback, gc, built, VG_LITE_FILL_NON_ZERO, &matrix);
}

std::int32_t thick_arc(UI_DRAWING_VGLITE_draw_path_t callback, SPictavoGraphicsContext* gc, std::int32_t x,
                       std::int32_t y, std::int32_t w, std::int32_t h, std::int32_t t, std::int32_t start_cap,
                       std::int32_t end_cap, float start, float arc) {
    if (scissor(gc, std::int64_t{x} - t, std::int64_t{y} - t, std::int64_t{x} + w + 2 * std::int64_t{t} - 1,
                std::int64_t{y} + h + 2 * std::int64_t{t} - 1) == 0)
        return 0;
    vg_lite_matrix_t matrix;
    matrix_identity(&matrix);
    matrix_translate(&matrix, static_cast<float>(x) + static_cast<float>(w) / 2.0f,
                     static_cast<float>(y) + static_cast<float>(h) / 2.0f);
    matrix_rotate(&matrix, -start);
    matrix_scale(&matrix, 0.5f, 0.5f);
    const std::int32_t built = UI_DRAWING_VGLITE_PATH_compute_thick_shape_ellipse_arc(
        use_path(kThickArcSize), path_value(2 * std::int64_t{w}), path_value(2 * std::int64_t{h}),
        path_value(2 * std::int64_t{t}), caps_word(start_cap, end_cap), 0.0f, arc);
    return finish(callback, gc, built, VG_LITE_FILL_NON_ZERO, &matrix);
}

bool full_turn(float arc) { return arc >= 360.0f || arc <= -360.0f; }

float half(std::int32_t v) { return static_cast<float>(v) / 2.0f; }

}  // namespace

namespace tarvelo::gpu {
vg_lite_path_t& shape_path() { return shape_vg_path; }
}  // namespace tarvelo::gpu

extern "C" {

std::int32_t UI_DRAWING_VGLITE_PROCESS_drawLine(UI_DRAWING_VGLITE_draw_path_t callback, SPictavoGraphicsContext* gc,
                                                std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
    if (scissor(gc, 0, 0, gc->image.width, gc->image.height) == 0) return 0;
    return line(callback, gc, x1, y1, x2, y2);
}

std::int32_t UI_DRAWING_VGLITE_PROCESS_drawHorizontalLine(UI_DRAWING_VGLITE_draw_path_t callback,
                                                          SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t x2,
                                                          std::int32_t y) {
    if (scissor(gc, x1, y, x2, y) == 0) return 0;
    return line(callback, gc, x1, y, x2, y);
}

std::int32_t UI_DRAWING_VGLITE_PROCESS_drawVerticalLine(UI_DRAWING_VGLITE_draw_path_t callback,
                                                        SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y1,
                                                        std::int32_t y2) {
    if (scissor(gc, x, y1, x, y2) == 0) return 0;
    return line(callback, gc, x, y1, x, y2);
}

std::int32_t UI_DRAWING_VGLITE_PROCESS_drawRoundedRectangle(UI_DRAWING_VGLITE_draw_path_t callback,
                                                            SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                            std::int32_t width, std::int32_t height,
                                                            std::int32_t arc_width, std::int32_t arc_height) {
    return rounded_rectangle(callback, gc, x, y, width, height, arc_width, arc_height, true);
}

std::int32_t UI_DRAWING_VGLITE_PROCESS_fillRoundedRectangle(UI_DRAWING_VGLITE_draw_path_t callback,
                                                            SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                            std::int32_t width, std::int32_t height,
                                                            std::int32_t arc_width, std::int32_t arc_height) {
    return rounded_rectangle(callback, gc, x, y, width, height, arc_width, arc_height, false);
}

std::int32_t UI_DRAWING_VGLITE_PROCESS_drawCircle(UI_DRAWING_VGLITE_draw_path_t callback, SPictavoGraphicsContext* gc,
                                                  std::int32_t x, std::int32_t y, std::int32_t diameter) {
    return ellipse_ring(callback, gc, diameter, diameter, static_cast<float>(x), static_cast<float>(y), diameter - 2,
                        diameter - 2);
}

std::int32_t UI_DRAWING_VGLITE_PROCESS_drawEllipse(UI_DRAWING_VGLITE_draw_path_t callback, SPictavoGraphicsContext* gc,
                                                   std::int32_t x, std::int32_t y, std::int32_t width,
                                                   std::int32_t height) {
    return ellipse_ring(callback, gc, width, height, static_cast<float>(x), static_cast<float>(y), width - 2,
                        height - 2);
}

std::int32_t UI_DRAWING_VGLITE_PROCESS_fillCircle(UI_DRAWING_VGLITE_draw_path_t callback, SPictavoGraphicsContext* gc,
                                                  std::int32_t x, std::int32_t y, std::int32_t diameter) {
    return filled_ellipse(callback, gc, diameter, diameter, static_cast<float>(x), static_cast<float>(y));
}

std::int32_t UI_DRAWING_VGLITE_PROCESS_fillEllipse(UI_DRAWING_VGLITE_draw_path_t callback, SPictavoGraphicsContext* gc,
                                                   std::int32_t x, std::int32_t y, std::int32_t width,
                                                   std::int32_t height) {
    return filled_ellipse(callback, gc, width, height, static_cast<float>(x), static_cast<float>(y));
}

std::int32_t UI_DRAWING_VGLITE_PROCESS_drawCircleArc(UI_DRAWING_VGLITE_draw_path_t callback,
                                                     SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                     std::int32_t diameter, float start_angle, float arc_angle) {
    if (full_turn(arc_angle)) return UI_DRAWING_VGLITE_PROCESS_drawCircle(callback, gc, x, y, diameter);
    return ellipse_arc(callback, gc, std::int64_t{x} - 1, std::int64_t{y} - 1, diameter, diameter, false, start_angle,
                       arc_angle);
}

std::int32_t UI_DRAWING_VGLITE_PROCESS_drawEllipseArc(UI_DRAWING_VGLITE_draw_path_t callback,
                                                      SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                      std::int32_t width, std::int32_t height, float start_angle,
                                                      float arc_angle) {
    if (full_turn(arc_angle)) return UI_DRAWING_VGLITE_PROCESS_drawEllipse(callback, gc, x, y, width, height);
    return ellipse_arc(callback, gc, std::int64_t{x} - 1, std::int64_t{y} - 1, width, height, false, start_angle,
                       arc_angle);
}

std::int32_t UI_DRAWING_VGLITE_PROCESS_fillCircleArc(UI_DRAWING_VGLITE_draw_path_t callback,
                                                     SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                     std::int32_t diameter, float start_angle, float arc_angle) {
    if (full_turn(arc_angle)) return UI_DRAWING_VGLITE_PROCESS_fillCircle(callback, gc, x, y, diameter);
    return ellipse_arc(callback, gc, x, y, diameter, diameter, true, start_angle, arc_angle);
}

std::int32_t UI_DRAWING_VGLITE_PROCESS_fillEllipseArc(UI_DRAWING_VGLITE_draw_path_t callback,
                                                      SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                      std::int32_t width, std::int32_t height, float start_angle,
                                                      float arc_angle) {
    if (full_turn(arc_angle)) return UI_DRAWING_VGLITE_PROCESS_fillEllipse(callback, gc, x, y, width, height);
    return ellipse_arc(callback, gc, x, y, width, height, true, start_angle, arc_angle);
}

std::int32_t UI_DRAWING_VGLITE_PROCESS_drawThickFadedPoint(UI_DRAWING_VGLITE_draw_path_t callback,
                                                           SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                           std::int32_t thickness) {
    return filled_ellipse(callback, gc, thickness, thickness, static_cast<float>(x) + 0.5f - half(thickness),
                          static_cast<float>(y) + 0.5f - half(thickness));
}

std::int32_t UI_DRAWING_VGLITE_PROCESS_drawThickFadedLine(UI_DRAWING_VGLITE_draw_path_t callback,
                                                          SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1,
                                                          std::int32_t x2, std::int32_t y2, std::int32_t thickness,
                                                          std::int32_t start_cap, std::int32_t end_cap) {
    return thick_line(callback, gc, x1, y1, x2, y2, thickness, start_cap, end_cap);
}

std::int32_t UI_DRAWING_VGLITE_PROCESS_drawThickLine(UI_DRAWING_VGLITE_draw_path_t callback,
                                                     SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1,
                                                     std::int32_t x2, std::int32_t y2, std::int32_t thickness) {
    return thick_line(callback, gc, x1, y1, x2, y2, thickness, 0, 0);
}

std::int32_t UI_DRAWING_VGLITE_PROCESS_drawThickCircle(UI_DRAWING_VGLITE_draw_path_t callback,
                                                       SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                       std::int32_t diameter, std::int32_t thickness) {
    // As the software ring: at most as thick as the circle is wide, which
    // leaves no hole.
    thickness = std::min(thickness, diameter);
    return ellipse_ring(callback, gc, held_sum(diameter, thickness), held_sum(diameter, thickness),
                        static_cast<float>(x) - half(thickness), static_cast<float>(y) - half(thickness),
                        held_sum(diameter, -std::int64_t{thickness}),
                        held_sum(diameter, -std::int64_t{thickness}));
}

std::int32_t UI_DRAWING_VGLITE_PROCESS_drawThickEllipse(UI_DRAWING_VGLITE_draw_path_t callback,
                                                        SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                        std::int32_t width, std::int32_t height,
                                                        std::int32_t thickness) {
    thickness = std::min({thickness, width, height});
    return ellipse_ring(callback, gc, held_sum(width, thickness), held_sum(height, thickness),
                        static_cast<float>(x) - half(thickness),
                        static_cast<float>(y) - half(thickness), held_sum(width, -std::int64_t{thickness}),
                        held_sum(height, -std::int64_t{thickness}));
}

std::int32_t UI_DRAWING_VGLITE_PROCESS_drawThickCircleArc(UI_DRAWING_VGLITE_draw_path_t callback,
                                                          SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                          std::int32_t diameter, float start_angle, float arc_angle,
                                                          std::int32_t thickness) {
    return thick_arc(callback, gc, x, y, diameter, diameter, thickness, 0, 0, start_angle, arc_angle);
}

std::int32_t UI_DRAWING_VGLITE_PROCESS_drawThickFadedCircleArc(UI_DRAWING_VGLITE_draw_path_t callback,
                                                               SPictavoGraphicsContext* gc, std::int32_t x,
                                                               std::int32_t y, std::int32_t diameter, float start_angle,
                                                               float arc_angle, std::int32_t thickness,
                                                               std::int32_t start_cap, std::int32_t end_cap) {
    return thick_arc(callback, gc, x, y, diameter, diameter, thickness, start_cap, end_cap, start_angle, arc_angle);
}

std::int32_t UI_DRAWING_VGLITE_PROCESS_fillRectangle(UI_DRAWING_VGLITE_clear_t callback, SPictavoGraphicsContext* gc,
                                                     std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                                     std::int32_t y2) {
    if (scissor(gc, x1, y1, x2, y2) == 0) return 0;
    return callback(gc, x1, y1, x2 - x1 + 1, y2 - y1 + 1, gc->foreground_color);
}

vg_lite_buffer_t* UI_DRAWING_VGLITE_PROCESS_prepare_draw_image(SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                                               std::int32_t region_x, std::int32_t region_y,
                                                               std::int32_t width, std::int32_t height, std::int32_t x,
                                                               std::int32_t y, std::int32_t alpha,
                                                               vg_lite_color_t* color, vg_lite_matrix_t* matrix,
                                                               vg_lite_rectangle_t rect) {
    if (UI_VGLITE_configure_source(&source_buffer, image) == 0) return nullptr;
    if (scissor(gc, x, y, std::int64_t{x} + width - 1, std::int64_t{y} + height - 1) == 0) return nullptr;
    *color = UI_VGLITE_get_vglite_color(gc, image, alpha);
    matrix_identity(matrix);
    matrix_translate(matrix, static_cast<float>(x), static_cast<float>(y));
    rect[0] = static_cast<std::uint32_t>(region_x);
    rect[1] = static_cast<std::uint32_t>(region_y);
    rect[2] = static_cast<std::uint32_t>(width);
    rect[3] = static_cast<std::uint32_t>(height);
    return &source_buffer;
}

namespace {

void whole_image(const SPictavoImage* image, vg_lite_rectangle_t rect) {
    rect[0] = 0;
    rect[1] = 0;
    rect[2] = image->width;
    rect[3] = image->height;
}

}  // namespace

std::int32_t UI_DRAWING_VGLITE_PROCESS_drawRotatedImage(UI_DRAWING_VGLITE_blit_rect_t callback,
                                                        SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                                        std::int32_t x, std::int32_t y, std::int32_t rotation_x,
                                                        std::int32_t rotation_y, float angle, std::int32_t alpha,
                                                        bool bilinear, bool* gpu_taken) {
    *gpu_taken = UI_VGLITE_configure_source(&source_buffer, image) != 0;
    if (!*gpu_taken) return 0;
    if (scissor(gc, 0, 0, gc->image.width - 1, gc->image.height - 1) == 0) return 0;
    vg_lite_matrix_t matrix;
    matrix_identity(&matrix);
    matrix_translate(&matrix, static_cast<float>(rotation_x), static_cast<float>(rotation_y));
    matrix_rotate(&matrix, -angle);
    matrix_translate(&matrix, static_cast<float>(x - rotation_x), static_cast<float>(y - rotation_y));
    vg_lite_rectangle_t rect;
    whole_image(image, rect);
    return callback(gc, &source_buffer, rect, &matrix, VG_LITE_BLEND_SRC_OVER,
                    UI_VGLITE_get_vglite_color(gc, image, alpha), bilinear ? kBilinear : VG_LITE_FILTER_POINT);
}

std::int32_t UI_DRAWING_VGLITE_PROCESS_drawScaledImage(UI_DRAWING_VGLITE_blit_rect_t callback,
                                                       SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                                       std::int32_t x, std::int32_t y, float factor_x, float factor_y,
                                                       std::int32_t alpha, bool bilinear, bool* gpu_taken) {
    *gpu_taken = UI_VGLITE_configure_source(&source_buffer, image) != 0;
    if (!*gpu_taken) return 0;
    if (scissor(gc, x, y, std::int64_t{x} + f2i(static_cast<float>(image->width) * factor_x),
                std::int64_t{y} + f2i(static_cast<float>(image->height) * factor_y)) == 0)
        return 0;
    vg_lite_matrix_t matrix;
    matrix_identity(&matrix);
    matrix_translate(&matrix, static_cast<float>(x), static_cast<float>(y));
    matrix_scale(&matrix, factor_x, factor_y);
    vg_lite_rectangle_t rect;
    whole_image(image, rect);
    // Bilinear sampling at scale 1 is point sampling.
    const bool interpolate = bilinear && !(factor_x == 1.0f && factor_y == 1.0f);
    return callback(gc, &source_buffer, rect, &matrix, VG_LITE_BLEND_SRC_OVER,
                    UI_VGLITE_get_vglite_color(gc, image, alpha), interpolate ? kBilinear : VG_LITE_FILTER_POINT);
}

// Flips and quarter turns of a region, about the centres of the region and
// of its place in the destination (exact halves, so odd sizes land on the
// same pixels as the software drawer).
std::int32_t UI_DRAWING_VGLITE_PROCESS_drawFlippedImage(UI_DRAWING_VGLITE_blit_rect_t callback,
                                                        SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                                        std::int32_t region_x, std::int32_t region_y,
                                                        std::int32_t width, std::int32_t height, std::int32_t x,
                                                        std::int32_t y, std::int32_t flip, std::int32_t alpha,
                                                        bool* gpu_taken) {
    *gpu_taken = UI_VGLITE_configure_source(&source_buffer, image) != 0;
    if (!*gpu_taken) return 0;
    if (flip < 0 || flip > 7) {
        UI_VGLITE_IMPL_error(false, "Unexpected transformation: %d\n", flip);
        return 0;
    }
    const bool swapped = flip == 1 || flip == 2 || flip == 5 || flip == 7;
    const std::int32_t dw = swapped ? height : width, dh = swapped ? width : height;
    if (dw <= 0 || dh <= 0) return 0;
    if (scissor(gc, x, y, std::int64_t{x} + dw - 1, std::int64_t{y} + dh - 1) == 0) return 0;
    vg_lite_matrix_t matrix;
    matrix_identity(&matrix);
    matrix_translate(&matrix, static_cast<float>(x) + half(dw), static_cast<float>(y) + half(dh));
    switch (flip) {
        case 1:
            matrix_rotate(&matrix, 90);
            matrix_scale(&matrix, 1, -1);
            break;
        case 2:
            matrix_rotate(&matrix, -270);
            break;
        case 3:
            matrix_scale(&matrix, -1, 1);
            break;
        case 4:
            matrix_rotate(&matrix, -180);
            break;
        case 5:
            matrix_rotate(&matrix, 270);
            matrix_scale(&matrix, 1, -1);
            break;
        case 6:
            matrix_rotate(&matrix, 180);
            matrix_scale(&matrix, -1, 1);
            break;
        case 7:
            matrix_rotate(&matrix, -90);
            break;
        default:
            break;
    }
    matrix_translate(&matrix, -half(width), -half(height));
    // Only the part of the region inside the image is read, in the place
    // the whole region gives it (the software drawer skips the pixels
    // outside the image the same way).
    const std::int64_t left = std::max<std::int64_t>(region_x, 0), top = std::max<std::int64_t>(region_y, 0);
    const std::int64_t right = std::min<std::int64_t>(std::int64_t{region_x} + width, image->width);
    const std::int64_t bottom = std::min<std::int64_t>(std::int64_t{region_y} + height, image->height);
    if (left >= right || top >= bottom) return 0;
    matrix_translate(&matrix, static_cast<float>(left - region_x), static_cast<float>(top - region_y));
    vg_lite_rectangle_t rect = {static_cast<std::uint32_t>(left), static_cast<std::uint32_t>(top),
                                static_cast<std::uint32_t>(right - left), static_cast<std::uint32_t>(bottom - top)};
    return callback(gc, &source_buffer, rect, &matrix, VG_LITE_BLEND_SRC_OVER,
                    UI_VGLITE_get_vglite_color(gc, image, alpha), kBilinear);
}

}  // extern "C"
