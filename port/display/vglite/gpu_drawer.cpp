// Drawer 0's GPU entries, their callbacks and the banded overlapping copy.
#include "port/display/vglite/gpu_drawer.h"

#include "graphics/display/llui_display.h"
#include "graphics/drawing/drawing_entry_points.h"
#include "graphics/images/image_transforms.h"
#include "graphics/shapes/shape_entry_points.h"
#include "port/display/vglite/gpu_matrix.h"
#include "port/display/vglite/gpu_process.h"
#include "port/display/vglite/gpu_setup.h"

namespace {

using tarvelo::gpu::held_sum;

constexpr std::int32_t kFormatRGB565 = 4;

std::int32_t _draw_path(SPictavoGraphicsContext* gc, vg_lite_path_t* path, vg_lite_fill_t fill_rule,
                        vg_lite_matrix_t* matrix, vg_lite_blend_t blend, vg_lite_color_t color) {
    vg_lite_buffer_t* target = UI_VGLITE_configure_destination(gc);
    return UI_VGLITE_post_operation(gc, vg_lite_draw(target, path, fill_rule, matrix, blend, color));
}

std::int32_t _blit_rect(SPictavoGraphicsContext* gc, vg_lite_buffer_t* source, vg_lite_rectangle_t rect,
                        vg_lite_matrix_t* matrix, vg_lite_blend_t blend, vg_lite_color_t color,
                        vg_lite_filter_t filter) {
    vg_lite_buffer_t* target = UI_VGLITE_configure_destination(gc);
    return UI_VGLITE_post_operation(gc, vg_lite_blit_rect(target, source, rect, matrix, blend, color, filter));
}

// A copy inside one image whose destination lies after its source along
// one axis, in bands no wider than the shift, from the far end backwards:
// no band reads pixels that an earlier band has overwritten. Every band but
// the last is waited for; the last ends with the completion interrupt.
std::int32_t _draw_region(SPictavoGraphicsContext* gc, vg_lite_buffer_t* source, const vg_lite_rectangle_t region,
                          std::int32_t x, std::int32_t y, vg_lite_color_t color, bool along_x) {
    const std::int32_t source_position = static_cast<std::int32_t>(along_x ? region[0] : region[1]);
    const std::int32_t destination_position = along_x ? x : y;
    const std::int32_t shift = destination_position - source_position;
    const std::int32_t size = static_cast<std::int32_t>(along_x ? region[2] : region[3]);
    std::int32_t source_end = source_position + size;
    std::int32_t destination_end = destination_position + size;
    std::int32_t remaining = size;
    std::int32_t status = 1;
    while (remaining > 0) {
        const std::int32_t band = remaining < shift ? remaining : shift;
        source_end -= band;
        destination_end -= band;
        remaining -= band;
        vg_lite_rectangle_t rect = {region[0], region[1], region[2], region[3]};
        vg_lite_matrix_t matrix;
        tarvelo::gpu::matrix_identity(&matrix);
        if (along_x) {
            rect[0] = static_cast<std::uint32_t>(source_end);
            rect[2] = static_cast<std::uint32_t>(band);
            tarvelo::gpu::matrix_translate(&matrix, static_cast<float>(destination_end), static_cast<float>(y));
        } else {
            rect[1] = static_cast<std::uint32_t>(source_end);
            rect[3] = static_cast<std::uint32_t>(band);
            tarvelo::gpu::matrix_translate(&matrix, static_cast<float>(x), static_cast<float>(destination_end));
        }
        vg_lite_buffer_t* target = UI_VGLITE_configure_destination(gc);
        vg_lite_error_t error =
            vg_lite_blit_rect(target, source, rect, &matrix, VG_LITE_BLEND_SRC_OVER, color, VG_LITE_FILTER_POINT);
        if (error == VG_LITE_SUCCESS) error = UI_VGLITE_start_operation(remaining == 0);
        if (error != VG_LITE_SUCCESS) {
            UI_VGLITE_IMPL_notify_gpu_stop(gc);
            LLUI_DISPLAY_reportWarning(gc, tarvelo::graphics::kLogError | tarvelo::graphics::kLogAcceleratorIncident);
            status = 0;
            break;
        }
    }
    tarvelo::gpu::restore_premultiply();
    return status;
}

// The GPU's status when it could read the source; otherwise the software
// drawer draws (status 0).
template <typename Software, typename... Args>
std::int32_t or_software(bool gpu_taken, std::int32_t status, Software software, Args... args) {
    if (gpu_taken) return status;
    software(args...);
    return 0;
}

// The thick faded shapes as the GPU draws them, with the arguments of their
// operations: without the fade, the thickness widened by it.
namespace on_gpu {

std::int32_t drawThickFadedPoint(SPictavoGraphicsContext* gc, auto x, auto y, auto thickness, auto fade) {
    return UI_DRAWING_VGLITE_PROCESS_drawThickFadedPoint(_draw_path, gc, x, y, held_sum(thickness, fade));
}
std::int32_t drawThickFadedLine(SPictavoGraphicsContext* gc, auto x1, auto y1, auto x2, auto y2, auto thickness,
                                auto fade, auto start_cap, auto end_cap) {
    return UI_DRAWING_VGLITE_PROCESS_drawThickFadedLine(_draw_path, gc, x1, y1, x2, y2, held_sum(thickness, fade),
                                                        start_cap, end_cap);
}
std::int32_t drawThickFadedCircle(SPictavoGraphicsContext* gc, auto x, auto y, auto diameter, auto thickness,
                                  auto fade) {
    return UI_DRAWING_VGLITE_PROCESS_drawThickCircle(_draw_path, gc, x, y, diameter, held_sum(thickness, fade));
}
std::int32_t drawThickFadedCircleArc(SPictavoGraphicsContext* gc, auto x, auto y, auto diameter, auto start_angle,
                                     auto arc_angle, auto thickness, auto fade, auto start_cap, auto end_cap) {
    return UI_DRAWING_VGLITE_PROCESS_drawThickFadedCircleArc(_draw_path, gc, x, y, diameter, start_angle, arc_angle,
                                                             held_sum(thickness, fade), start_cap, end_cap);
}
std::int32_t drawThickFadedEllipse(SPictavoGraphicsContext* gc, auto x, auto y, auto width, auto height,
                                   auto thickness, auto fade) {
    return UI_DRAWING_VGLITE_PROCESS_drawThickEllipse(_draw_path, gc, x, y, width, height, held_sum(thickness, fade));
}

}  // namespace on_gpu

}  // namespace

extern "C" {

// The thick faded shapes (`DW_SOFT_FADED` in the operations' table): the GPU
// draws no fade, so a fade wider than one pixel is drawn by the engine's
// software (status 0); a narrower one is drawn on the GPU as part of the
// thickness.
#define GPU_ENTRY_DW_SOFT_FADED(name, params, args) \
    std::int32_t UI_DRAWING_##name##_0 params {     \
        if (fade > 1) {                             \
            DW_DRAWING_SOFT_##name args;            \
            return 0;                               \
        }                                           \
        return on_gpu::name args;                   \
    }
#define GPU_ENTRY_UI_SOFT(name, params, args)
#define GPU_ENTRY_DW_SOFT(name, params, args)
#define GPU_ENTRY_CUSTOM(name, params, args)
#define GPU_ENTRY_UNSUPPORTED(name, params, args)
#define UI_DRAWER_OPERATION(name, drawer0, drawer1, stub, params, args) GPU_ENTRY_##drawer0(name, params, args)
#include "graphics/drawing/drawer_operations.def"
#undef UI_DRAWER_OPERATION

std::int32_t UI_DRAWING_fillRoundedRectangle_0(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                               std::int32_t width, std::int32_t height, std::int32_t corner_width,
                                               std::int32_t corner_height) {
    return UI_DRAWING_VGLITE_PROCESS_fillRoundedRectangle(_draw_path, gc, x, y, width, height, corner_width,
                                                          corner_height);
}

std::int32_t UI_DRAWING_fillCircleArc_0(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                        std::int32_t diameter, float start_angle, float arc_angle) {
    return UI_DRAWING_VGLITE_PROCESS_fillCircleArc(_draw_path, gc, x, y, diameter, start_angle, arc_angle);
}

std::int32_t UI_DRAWING_fillEllipseArc_0(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                         std::int32_t width, std::int32_t height, float start_angle, float arc_angle) {
    return UI_DRAWING_VGLITE_PROCESS_fillEllipseArc(_draw_path, gc, x, y, width, height, start_angle, arc_angle);
}

std::int32_t UI_DRAWING_fillEllipse_0(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y, std::int32_t width,
                                      std::int32_t height) {
    return UI_DRAWING_VGLITE_PROCESS_fillEllipse(_draw_path, gc, x, y, width, height);
}

std::int32_t UI_DRAWING_fillCircle_0(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                     std::int32_t diameter) {
    return UI_DRAWING_VGLITE_PROCESS_fillCircle(_draw_path, gc, x, y, diameter);
}

std::int32_t UI_DRAWING_drawImage_0(SPictavoGraphicsContext* gc, const SPictavoImage* image, std::int32_t region_x,
                                    std::int32_t region_y, std::int32_t width, std::int32_t height, std::int32_t x,
                                    std::int32_t y, std::int32_t alpha) {
    vg_lite_color_t color;
    vg_lite_matrix_t matrix;
    vg_lite_rectangle_t rect;
    vg_lite_buffer_t* source = UI_DRAWING_VGLITE_PROCESS_prepare_draw_image(gc, image, region_x, region_y, width,
                                                                            height, x, y, alpha, &color, &matrix, rect);
    if (source == nullptr) return UI_DRAWING_SOFT_drawImage(gc, image, region_x, region_y, width, height, x, y, alpha);
    return _blit_rect(gc, source, rect, &matrix, VG_LITE_BLEND_SRC_OVER, color, VG_LITE_FILTER_POINT);
}

std::int32_t UI_DRAWING_drawRegion_0(SPictavoGraphicsContext* gc, std::int32_t region_x, std::int32_t region_y,
                                     std::int32_t width, std::int32_t height, std::int32_t x, std::int32_t y,
                                     std::int32_t alpha) {
    vg_lite_color_t color;
    vg_lite_matrix_t matrix;
    vg_lite_rectangle_t rect;
    vg_lite_buffer_t* source = UI_DRAWING_VGLITE_PROCESS_prepare_draw_image(gc, &gc->image, region_x, region_y, width,
                                                                            height, x, y, alpha, &color, &matrix, rect);
    if (source == nullptr) return UI_DRAWING_SOFT_drawRegion(gc, region_x, region_y, width, height, x, y, alpha);
    const bool after_along_x = region_y == y && region_x < x && x < region_x + width;
    const bool after_along_y = region_y < y && y < region_y + height;
    if (after_along_x || after_along_y) return _draw_region(gc, source, rect, x, y, color, after_along_x);
    return _blit_rect(gc, source, rect, &matrix, VG_LITE_BLEND_SRC_OVER, color, VG_LITE_FILTER_POINT);
}

std::int32_t UI_DRAWING_drawThickLine_0(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                        std::int32_t y2, std::int32_t thickness) {
    return UI_DRAWING_VGLITE_PROCESS_drawThickLine(_draw_path, gc, x1, y1, x2, y2, thickness);
}

std::int32_t UI_DRAWING_drawThickCircle_0(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                          std::int32_t diameter, std::int32_t thickness) {
    return UI_DRAWING_VGLITE_PROCESS_drawThickCircle(_draw_path, gc, x, y, diameter, thickness);
}

std::int32_t UI_DRAWING_drawThickEllipse_0(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                           std::int32_t width, std::int32_t height, std::int32_t thickness) {
    return UI_DRAWING_VGLITE_PROCESS_drawThickEllipse(_draw_path, gc, x, y, width, height, thickness);
}

std::int32_t UI_DRAWING_drawThickCircleArc_0(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                             std::int32_t diameter, float start_angle, float arc_angle,
                                             std::int32_t thickness) {
    return UI_DRAWING_VGLITE_PROCESS_drawThickCircleArc(_draw_path, gc, x, y, diameter, start_angle, arc_angle,
                                                        thickness);
}

std::int32_t UI_DRAWING_drawFlippedImage_0(SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                           std::int32_t region_x, std::int32_t region_y, std::int32_t width,
                                           std::int32_t height, std::int32_t x, std::int32_t y, std::int32_t flip,
                                           std::int32_t alpha) {
    bool taken = false;
    std::int32_t status = 0;
    if (!(image->format == kFormatRGB565 && flip == 0 && alpha == 255))
        status = UI_DRAWING_VGLITE_PROCESS_drawFlippedImage(_blit_rect, gc, image, region_x, region_y, width, height, x,
                                                            y, flip, alpha, &taken);
    return or_software(taken, status, DW_DRAWING_SOFT_drawFlippedImage, gc, image, region_x, region_y, width, height, x,
                       y, flip, alpha);
}

std::int32_t UI_DRAWING_drawRotatedImageNearestNeighbor_0(SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                                          std::int32_t x, std::int32_t y, std::int32_t rotation_x,
                                                          std::int32_t rotation_y, float angle, std::int32_t alpha) {
    bool taken = false;
    const std::int32_t status = UI_DRAWING_VGLITE_PROCESS_drawRotatedImage(_blit_rect, gc, image, x, y, rotation_x,
                                                                           rotation_y, angle, alpha, false, &taken);
    return or_software(taken, status, DW_DRAWING_SOFT_drawRotatedImageNearestNeighbor, gc, image, x, y, rotation_x,
                       rotation_y, angle, alpha);
}

std::int32_t UI_DRAWING_drawRotatedImageBilinear_0(SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                                   std::int32_t x, std::int32_t y, std::int32_t rotation_x,
                                                   std::int32_t rotation_y, float angle, std::int32_t alpha) {
    bool taken = false;
    const std::int32_t status = UI_DRAWING_VGLITE_PROCESS_drawRotatedImage(_blit_rect, gc, image, x, y, rotation_x,
                                                                           rotation_y, angle, alpha, true, &taken);
    return or_software(taken, status, DW_DRAWING_SOFT_drawRotatedImageBilinear, gc, image, x, y, rotation_x, rotation_y,
                       angle, alpha);
}

std::int32_t UI_DRAWING_drawScaledImageNearestNeighbor_0(SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                                         std::int32_t x, std::int32_t y, float factor_x, float factor_y,
                                                         std::int32_t alpha) {
    bool taken = false;
    const std::int32_t status = UI_DRAWING_VGLITE_PROCESS_drawScaledImage(_blit_rect, gc, image, x, y, factor_x,
                                                                          factor_y, alpha, false, &taken);
    return or_software(taken, status, DW_DRAWING_SOFT_drawScaledImageNearestNeighbor, gc, image, x, y, factor_x,
                       factor_y, alpha);
}

std::int32_t UI_DRAWING_drawScaledImageBilinear_0(SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                                  std::int32_t x, std::int32_t y, float factor_x, float factor_y,
                                                  std::int32_t alpha) {
    bool taken = false;
    const std::int32_t status =
        UI_DRAWING_VGLITE_PROCESS_drawScaledImage(_blit_rect, gc, image, x, y, factor_x, factor_y, alpha, true, &taken);
    return or_software(taken, status, DW_DRAWING_SOFT_drawScaledImageBilinear, gc, image, x, y, factor_x, factor_y,
                       alpha);
}

std::uint32_t UI_DRAWING_getNewImageStrideInBytes_0(std::int32_t format, std::uint32_t width, std::uint32_t height,
                                                    std::uint32_t default_stride) {
    return UI_DRAWING_getNewImageStrideInBytes(format, width, height, default_stride);
}

// Pulled into every firmware link (see CMakeLists.txt).
void tarvelo_link_gpu_drawer(void) {}

}  // extern "C"
