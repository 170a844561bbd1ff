// Natives of `yq.drawing.DrawingPainterNatives`: thick and faded shapes,
// flipped, rotated and scaled images, scaled and rotated text, and the
// polygons and deformed images the engine draws in software. Unlike the
// user-interface library's natives they check their arguments before asking
// to draw, so a refused call leaves the engine's drawing state untouched;
// the drawers clip.
#include "graphics/display/llui_display.h"
#include "graphics/images/image_transforms.h"
#include "graphics/natives/native_arguments.h"
#include "graphics/shapes/aliased_shapes.h"
#include "graphics/shapes/shape_entry_points.h"
#include "port/display/drawing/painter_natives.h"
#include "port/display/drawing/painter_support.h"
#include "port/display/drawing/ui_drawing.h"

using namespace tarvelo::port::drawing;

namespace {

// Trace operation numbers.
enum Operation : std::int32_t {
    kThickFadedPoint = 100,
    kThickFadedLine = 101,
    kThickFadedCircle = 102,
    kThickFadedCircleArc = 103,
    kThickFadedEllipse = 104,
    kThickLine = 105,
    kThickCircle = 106,
    kThickEllipse = 107,
    kThickCircleArc = 108,
    kFlippedImage = 200,
    kRotatedImageNearestNeighbor = 201,
    kRotatedImageBilinear = 202,
    kScaledImageNearestNeighbor = 203,
    kScaledImageBilinear = 204,
    kScaledString = 205,
    kCharWithRotationBilinear = 206,
    kCharWithRotationNearestNeighbor = 207,
    kPolygon = 50,
    kFilledPolygon = 51,
    kDeformedImage = 55,
};

// Flip codes: 0 to 7 (a byte of the application, which may be negative).
constexpr std::int32_t kLastFlip = 7;

// An image to draw: open, with a visible alpha. Null when the call draws
// nothing (a bad array has raised).
const SPictavoImage* drawable_image(std::int8_t* image_array, std::int32_t alpha) {
    if (alpha < 1) return nullptr;
    const SPictavoImage* image = tarvelo::graphics::image_of(image_array);
    return image != nullptr && !LLUI_DISPLAY_isImageClosed(image) ? image : nullptr;
}

bool factors_are_positive(float factor_x, float factor_y) { return factor_x > 0.0f && factor_y > 0.0f; }

// `count` ints of x, y pairs inside the array, at least one point.
bool points_fit(const std::int32_t* xys, std::int32_t count) {
    return count >= 2 && tarvelo::java_array_range_ok(xys, 0, count);
}

// A work buffer of the polygon filler for `points` points: the filler
// trusts its size (96 bytes a point and 20 more).
bool work_buffer_fits(const std::int8_t* work, std::int32_t points) {
    return work != nullptr && tarvelo::java_array_length(work) >= tarvelo::graphics::Polygon::workSize(points);
}

// A deformed image's corners: four points.
constexpr std::int32_t kCornerInts = 8;

}  // namespace

extern "C" {

void Java_yq_drawing_DrawingPainterNatives_drawThickFadedPoint(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                               std::int32_t thickness, std::int32_t fade) {
    if (thick_faded_is_empty(thickness, fade)) return;
    paint(gc_array, native_address(&Java_yq_drawing_DrawingPainterNatives_drawThickFadedPoint), kThickFadedPoint,
          [&](SPictavoGraphicsContext* gc) { return UI_DRAWING_drawThickFadedPoint(gc, x, y, thickness, fade); });
}

void Java_yq_drawing_DrawingPainterNatives_drawThickFadedLine(std::int8_t* gc_array, std::int32_t x1,
                                                              std::int32_t y1, std::int32_t x2, std::int32_t y2,
                                                              std::int32_t thickness, std::int32_t fade,
                                                              std::int32_t start_cap, std::int32_t end_cap) {
    if (thick_faded_is_empty(thickness, fade)) return;
    paint(gc_array, native_address(&Java_yq_drawing_DrawingPainterNatives_drawThickFadedLine), kThickFadedLine,
          [&](SPictavoGraphicsContext* gc) {
              return UI_DRAWING_drawThickFadedLine(gc, x1, y1, x2, y2, thickness, fade, start_cap, end_cap);
          });
}

void Java_yq_drawing_DrawingPainterNatives_drawThickFadedCircle(std::int8_t* gc_array, std::int32_t x,
                                                                std::int32_t y, std::int32_t diameter,
                                                                std::int32_t thickness, std::int32_t fade) {
    if (thick_faded_is_empty(thickness, fade) || diameter < 1) return;
    paint(gc_array, native_address(&Java_yq_drawing_DrawingPainterNatives_drawThickFadedCircle), kThickFadedCircle,
          [&](SPictavoGraphicsContext* gc) {
              return UI_DRAWING_drawThickFadedCircle(gc, x, y, diameter, thickness, fade);
          });
}

void Java_yq_drawing_DrawingPainterNatives_drawThickFadedCircleArc(std::int8_t* gc_array, std::int32_t x,
                                                                   std::int32_t y, std::int32_t diameter,
                                                                   float start_angle, float arc_angle,
                                                                   std::int32_t thickness, std::int32_t fade,
                                                                   std::int32_t start_cap, std::int32_t end_cap) {
    if (thick_faded_is_empty(thickness, fade) || diameter < 1 || arc_is_empty(arc_angle)) return;
    paint(gc_array, native_address(&Java_yq_drawing_DrawingPainterNatives_drawThickFadedCircleArc),
          kThickFadedCircleArc, [&](SPictavoGraphicsContext* gc) {
              return UI_DRAWING_drawThickFadedCircleArc(gc, x, y, diameter, start_angle, arc_angle, thickness, fade,
                                                        start_cap, end_cap);
          });
}

void Java_yq_drawing_DrawingPainterNatives_drawThickFadedEllipse(std::int8_t* gc_array, std::int32_t x,
                                                                 std::int32_t y, std::int32_t width,
                                                                 std::int32_t height, std::int32_t thickness,
                                                                 std::int32_t fade) {
    if (thick_faded_is_empty(thickness, fade) || width < 1 || height < 1) return;
    paint(gc_array, native_address(&Java_yq_drawing_DrawingPainterNatives_drawThickFadedEllipse), kThickFadedEllipse,
          [&](SPictavoGraphicsContext* gc) {
              return UI_DRAWING_drawThickFadedEllipse(gc, x, y, width, height, thickness, fade);
          });
}

void Java_yq_drawing_DrawingPainterNatives_drawThickLine(std::int8_t* gc_array, std::int32_t x1, std::int32_t y1,
                                                         std::int32_t x2, std::int32_t y2, std::int32_t thickness) {
    if (thickness < 1) return;
    paint(gc_array, native_address(&Java_yq_drawing_DrawingPainterNatives_drawThickLine), kThickLine,
          [&](SPictavoGraphicsContext* gc) { return UI_DRAWING_drawThickLine(gc, x1, y1, x2, y2, thickness); });
}

void Java_yq_drawing_DrawingPainterNatives_drawThickCircle(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                           std::int32_t diameter, std::int32_t thickness) {
    if (thickness < 1 || diameter < 1) return;
    paint(gc_array, native_address(&Java_yq_drawing_DrawingPainterNatives_drawThickCircle), kThickCircle,
          [&](SPictavoGraphicsContext* gc) { return UI_DRAWING_drawThickCircle(gc, x, y, diameter, thickness); });
}

void Java_yq_drawing_DrawingPainterNatives_drawThickEllipse(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                            std::int32_t width, std::int32_t height,
                                                            std::int32_t thickness) {
    if (thickness < 1 || width < 1 || height < 1) return;
    paint(gc_array, native_address(&Java_yq_drawing_DrawingPainterNatives_drawThickEllipse), kThickEllipse,
          [&](SPictavoGraphicsContext* gc) {
              return UI_DRAWING_drawThickEllipse(gc, x, y, width, height, thickness);
          });
}

void Java_yq_drawing_DrawingPainterNatives_drawThickCircleArc(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                              std::int32_t diameter, float start_angle,
                                                              float arc_angle, std::int32_t thickness) {
    if (thickness < 1 || diameter < 1 || arc_is_empty(arc_angle)) return;
    paint(gc_array, native_address(&Java_yq_drawing_DrawingPainterNatives_drawThickCircleArc), kThickCircleArc,
          [&](SPictavoGraphicsContext* gc) {
              return UI_DRAWING_drawThickCircleArc(gc, x, y, diameter, start_angle, arc_angle, thickness);
          });
}

void Java_yq_drawing_DrawingPainterNatives_drawFlippedImage(std::int8_t* gc_array, std::int8_t* image_array,
                                                            std::int32_t region_x, std::int32_t region_y,
                                                            std::int32_t width, std::int32_t height, std::int32_t x,
                                                            std::int32_t y, std::int32_t flip, std::int32_t alpha) {
    if (flip < 0 || flip > kLastFlip) return;
    const SPictavoImage* image = drawable_image(image_array, alpha);
    if (image == nullptr) return;
    paint(gc_array, native_address(&Java_yq_drawing_DrawingPainterNatives_drawFlippedImage), kFlippedImage,
          [&](SPictavoGraphicsContext* gc) {
              return UI_DRAWING_drawFlippedImage(gc, image, region_x, region_y, width, height, x, y, flip,
                                                 clamp_alpha(alpha));
          });
}

void Java_yq_drawing_DrawingPainterNatives_drawRotatedImageNearestNeighbor(std::int8_t* gc_array,
                                                                           std::int8_t* image_array, std::int32_t x,
                                                                           std::int32_t y, std::int32_t rotation_x,
                                                                           std::int32_t rotation_y, float angle,
                                                                           std::int32_t alpha) {
    const SPictavoImage* image = drawable_image(image_array, alpha);
    if (image == nullptr) return;
    paint(gc_array, native_address(&Java_yq_drawing_DrawingPainterNatives_drawRotatedImageNearestNeighbor),
          kRotatedImageNearestNeighbor, [&](SPictavoGraphicsContext* gc) {
              return UI_DRAWING_drawRotatedImageNearestNeighbor(gc, image, x, y, rotation_x, rotation_y, angle,
                                                                clamp_alpha(alpha));
          });
}

void Java_yq_drawing_DrawingPainterNatives_drawRotatedImageBilinear(std::int8_t* gc_array, std::int8_t* image_array,
                                                                    std::int32_t x, std::int32_t y,
                                                                    std::int32_t rotation_x, std::int32_t rotation_y,
                                                                    float angle, std::int32_t alpha) {
    const SPictavoImage* image = drawable_image(image_array, alpha);
    if (image == nullptr) return;
    paint(gc_array, native_address(&Java_yq_drawing_DrawingPainterNatives_drawRotatedImageBilinear),
          kRotatedImageBilinear, [&](SPictavoGraphicsContext* gc) {
              return UI_DRAWING_drawRotatedImageBilinear(gc, image, x, y, rotation_x, rotation_y, angle,
                                                         clamp_alpha(alpha));
          });
}

void Java_yq_drawing_DrawingPainterNatives_drawScaledImageNearestNeighbor(std::int8_t* gc_array,
                                                                          std::int8_t* image_array, std::int32_t x,
                                                                          std::int32_t y, float factor_x,
                                                                          float factor_y, std::int32_t alpha) {
    if (!factors_are_positive(factor_x, factor_y)) return;
    const SPictavoImage* image = drawable_image(image_array, alpha);
    if (image == nullptr) return;
    paint(gc_array, native_address(&Java_yq_drawing_DrawingPainterNatives_drawScaledImageNearestNeighbor),
          kScaledImageNearestNeighbor, [&](SPictavoGraphicsContext* gc) {
              return UI_DRAWING_drawScaledImageNearestNeighbor(gc, image, x, y, factor_x, factor_y,
                                                               clamp_alpha(alpha));
          });
}

void Java_yq_drawing_DrawingPainterNatives_drawScaledImageBilinear(std::int8_t* gc_array, std::int8_t* image_array,
                                                                   std::int32_t x, std::int32_t y, float factor_x,
                                                                   float factor_y, std::int32_t alpha) {
    if (!factors_are_positive(factor_x, factor_y)) return;
    const SPictavoImage* image = drawable_image(image_array, alpha);
    if (image == nullptr) return;
    paint(gc_array, native_address(&Java_yq_drawing_DrawingPainterNatives_drawScaledImageBilinear),
          kScaledImageBilinear, [&](SPictavoGraphicsContext* gc) {
              return UI_DRAWING_drawScaledImageBilinear(gc, image, x, y, factor_x, factor_y, clamp_alpha(alpha));
          });
}

void Java_yq_drawing_DrawingPainterNatives_drawScaledStringBilinear(std::int8_t* gc_array, const std::uint16_t* chars,
                                                                    std::int32_t length, const std::int8_t* font,
                                                                    std::int32_t x, std::int32_t y, float factor_x,
                                                                    float factor_y) {
    if (length < 1 || !factors_are_positive(factor_x, factor_y) || !chars_fit(chars, 0, length) ||
        !font_is_set(font)) {
        return;
    }
    paint(gc_array, native_address(&Java_yq_drawing_DrawingPainterNatives_drawScaledStringBilinear), kScaledString,
          [&](SPictavoGraphicsContext* gc) {
              return UI_DRAWING_drawScaledStringBilinear(gc, chars, length, font_bytes(font), x, y, factor_x,
                                                         factor_y);
          });
}

void Java_yq_drawing_DrawingPainterNatives_drawScaledRenderableStringBilinear(
    std::int8_t* gc_array, const std::uint16_t* chars, std::int32_t length, const std::int8_t* font,
    std::int32_t width, std::int32_t* context, std::int32_t x, std::int32_t y, float factor_x, float factor_y) {
    if (length < 1 || !factors_are_positive(factor_x, factor_y) || !chars_fit(chars, 0, length) ||
        !font_is_set(font) || !context_fits(context, length)) {
        return;
    }
    paint(gc_array, native_address(&Java_yq_drawing_DrawingPainterNatives_drawScaledRenderableStringBilinear),
          kScaledString, [&](SPictavoGraphicsContext* gc) {
              return UI_DRAWING_drawScaledRenderableStringBilinear(gc, chars, length, font_bytes(font), width,
                                                                   context, x, y, factor_x, factor_y);
          });
}

void Java_yq_drawing_DrawingPainterNatives_drawCharWithRotationBilinear(std::int8_t* gc_array, std::int32_t character,
                                                                        const std::int8_t* font, std::int32_t x,
                                                                        std::int32_t y, std::int32_t rotation_x,
                                                                        std::int32_t rotation_y, float angle,
                                                                        std::int32_t alpha) {
    if (alpha < 1 || !font_is_set(font)) return;
    paint(gc_array, native_address(&Java_yq_drawing_DrawingPainterNatives_drawCharWithRotationBilinear),
          kCharWithRotationBilinear, [&](SPictavoGraphicsContext* gc) {
              return UI_DRAWING_drawCharWithRotationBilinear(gc, character, font_bytes(font), x, y, rotation_x,
                                                             rotation_y, angle, clamp_alpha(alpha));
          });
}

void Java_yq_drawing_DrawingPainterNatives_drawCharWithRotationNearestNeighbor(
    std::int8_t* gc_array, std::int32_t character, const std::int8_t* font, std::int32_t x, std::int32_t y,
    std::int32_t rotation_x, std::int32_t rotation_y, float angle, std::int32_t alpha) {
    if (alpha < 1 || !font_is_set(font)) return;
    paint(gc_array, native_address(&Java_yq_drawing_DrawingPainterNatives_drawCharWithRotationNearestNeighbor),
          kCharWithRotationNearestNeighbor, [&](SPictavoGraphicsContext* gc) {
              return UI_DRAWING_drawCharWithRotationNearestNeighbor(gc, character, font_bytes(font), x, y,
                                                                    rotation_x, rotation_y, angle,
                                                                    clamp_alpha(alpha));
          });
}

// Polygons and deformed images are drawn by the engine's software alone
// (its dispatchers refuse destinations, and sources, of custom formats).

void Java_yq_drawing_DrawingPainterNatives_drawPolygon(std::int8_t* gc_array, const std::int32_t* xys,
                                                       std::int32_t count) {
    if (!points_fit(xys, count)) return;
    paint(gc_array, native_address(&Java_yq_drawing_DrawingPainterNatives_drawPolygon), kPolygon,
          [&](SPictavoGraphicsContext* gc) { return DW_DRAWING_drawPolygon(gc, xys, count); });
}

void Java_yq_drawing_DrawingPainterNatives_fillPolygon(std::int8_t* gc_array, const std::int32_t* xys,
                                                       std::int32_t count, std::int8_t* work) {
    if (!points_fit(xys, count) || !work_buffer_fits(work, count / 2)) return;
    paint(gc_array, native_address(&Java_yq_drawing_DrawingPainterNatives_fillPolygon), kFilledPolygon,
          [&](SPictavoGraphicsContext* gc) { return DW_DRAWING_fillPolygon(gc, xys, count, work); });
}

void Java_yq_drawing_DrawingPainterNatives_drawDeformedImage(std::int8_t* gc_array, std::int8_t* image_array,
                                                             const std::int32_t* xys, std::int8_t* work) {
    if (!points_fit(xys, kCornerInts) || !work_buffer_fits(work, kCornerInts / 2)) return;
    const SPictavoImage* image = drawable_image(image_array, 255);  // drawn opaque
    if (image == nullptr) return;
    paint(gc_array, native_address(&Java_yq_drawing_DrawingPainterNatives_drawDeformedImage), kDeformedImage,
          [&](SPictavoGraphicsContext* gc) { return DW_DRAWING_drawDeformedImage(gc, image, xys, work); });
}

}  // extern "C"
