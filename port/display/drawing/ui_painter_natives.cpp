// Natives of `yq.pictavo.display.PainterNatives`: the user-interface
// library's drawings. Each asks the engine for the right to draw, checks
// its arguments (a failed check draws nothing, status 0), sets how the
// drawer clips, dispatches to the destination's drawer and reports the
// status. Arrays arrive as pointers to their first element.
#include "graphics/display/llui_display.h"
#include "graphics/drawing/soft_drawing.h"
#include "graphics/natives/native_arguments.h"
#include "port/display/drawing/painter_natives.h"
#include "port/display/drawing/painter_support.h"
#include "port/display/drawing/ui_drawing.h"
#include "port/display/drawing/ui_trace.h"

using namespace tarvelo::port::drawing;
using tarvelo::graphics::SoftDrawing;

namespace {

// Trace operation numbers.
enum Operation : std::int32_t {
    kWritePixel = 1,
    kDrawLine = 2,
    kDrawHorizontalLine = 3,
    kDrawVerticalLine = 4,
    kDrawRectangle = 5,
    kFillRectangle = 6,
    kDrawRoundedRectangle = 8,
    kFillRoundedRectangle = 9,
    kDrawCircleArc = 10,
    kFillCircleArc = 11,
    kDrawEllipseArc = 12,
    kFillEllipseArc = 13,
    kDrawEllipse = 14,
    kFillEllipse = 15,
    kDrawCircle = 16,
    kFillCircle = 17,
    kDrawImage = 19,
    kDrawString = 20,
    kStringWidth = 21,
};

// The drawer need not test the clip: the coordinates were reduced to it.
void clipped_here(SPictavoGraphicsContext* gc) { LLUI_DISPLAY_configureClip(gc, false); }

// The drawer tests the clip only when the shape's box leaves it.
void clip_if_needed(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) {
    LLUI_DISPLAY_configureClip(gc, !LLUI_DISPLAY_isRegionInClip(gc, x, y, w, h));
}

// The image drawing chosen once the rectangle is bounded and clipped.
std::int32_t dispatch_image(SPictavoGraphicsContext* gc, const SPictavoImage* image, std::int32_t rx,
                            std::int32_t ry, std::int32_t w, std::int32_t h, std::int32_t x, std::int32_t y,
                            std::int32_t alpha) {
    switch (image_operation(gc, image, alpha)) {
        case ImageOperation::kCopyImage:
            return UI_DRAWING_copyImage(gc, LLUI_DISPLAY_getSourceImage(image), rx, ry, w, h, x, y);
        case ImageOperation::kDrawRegion: return UI_DRAWING_drawRegion(gc, rx, ry, w, h, x, y, alpha);
        case ImageOperation::kDrawOtherFormat: return UI_DRAWING_drawImage(gc, image, rx, ry, w, h, x, y, alpha);
        case ImageOperation::kDrawImage: break;
    }
    return UI_DRAWING_drawImage(gc, LLUI_DISPLAY_getSourceImage(image), rx, ry, w, h, x, y, alpha);
}

// The shapes drawn in their bounding box (x, y, width, height), outline or
// filled alike: drawn only when the box is not empty, the clip left to the
// drawer only when the box leaves it.
template <typename Dispatch, typename... Rest>
void boxed_shape(std::int8_t* gc_array, void* native, std::int32_t operation, Dispatch dispatch, std::int32_t x,
                 std::int32_t y, std::int32_t width, std::int32_t height, Rest... rest) {
    paint(gc_array, native, operation, [&](SPictavoGraphicsContext* gc) {
        if (width < 1 || height < 1) return 0;
        clip_if_needed(gc, x, y, width, height);
        return dispatch(gc, x, y, width, height, rest...);
    });
}

// Arcs draw nothing when the angle truncates to 0; the drawer gets the float.
template <typename Dispatch>
void ellipse_arc(std::int8_t* gc_array, void* native, std::int32_t operation, Dispatch dispatch, std::int32_t x,
                 std::int32_t y, std::int32_t width, std::int32_t height, float start_angle, float arc_angle) {
    paint(gc_array, native, operation, [&](SPictavoGraphicsContext* gc) {
        if (width < 1 || height < 1 || arc_is_empty(arc_angle)) return 0;
        clip_if_needed(gc, x, y, width, height);
        return dispatch(gc, x, y, width, height, start_angle, arc_angle);
    });
}

template <typename Dispatch>
void circle_arc(std::int8_t* gc_array, void* native, std::int32_t operation, Dispatch dispatch, std::int32_t x,
                std::int32_t y, std::int32_t diameter, float start_angle, float arc_angle) {
    ellipse_arc(gc_array, native, operation,
                [&](SPictavoGraphicsContext* gc, std::int32_t, std::int32_t, std::int32_t, std::int32_t, float s,
                    float a) { return dispatch(gc, x, y, diameter, s, a); },
                x, y, diameter, diameter, start_angle, arc_angle);
}

template <typename Dispatch>
void circle(std::int8_t* gc_array, void* native, std::int32_t operation, Dispatch dispatch, std::int32_t x,
            std::int32_t y, std::int32_t diameter) {
    boxed_shape(
        gc_array, native, operation,
        [&](SPictavoGraphicsContext* gc, std::int32_t, std::int32_t, std::int32_t, std::int32_t) {
            return dispatch(gc, x, y, diameter);
        },
        x, y, diameter, diameter);
}

}  // namespace

extern "C" {

void Java_yq_pictavo_display_PainterNatives_writePixel(std::int8_t* gc_array, std::int32_t x, std::int32_t y) {
    paint(gc_array, native_address(&Java_yq_pictavo_display_PainterNatives_writePixel), kWritePixel,
          [&](SPictavoGraphicsContext* gc) {
              if (!LLUI_DISPLAY_isPixelInClip(gc, x, y)) return 0;
              clipped_here(gc);
              return UI_DRAWING_writePixel(gc, x, y);
          });
}

void Java_yq_pictavo_display_PainterNatives_drawLine(std::int8_t* gc_array, std::int32_t x1, std::int32_t y1,
                                                     std::int32_t x2, std::int32_t y2) {
    paint(gc_array, native_address(&Java_yq_pictavo_display_PainterNatives_drawLine), kDrawLine,
          [&](SPictavoGraphicsContext* gc) { return UI_DRAWING_drawLine(gc, x1, y1, x2, y2); });
}

void Java_yq_pictavo_display_PainterNatives_drawHorizontalLine(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                               std::int32_t length) {
    paint(gc_array, native_address(&Java_yq_pictavo_display_PainterNatives_drawHorizontalLine), kDrawHorizontalLine,
          [&](SPictavoGraphicsContext* gc) {
              std::int32_t x1 = x, x2 = last_of(x, length);
              if (length < 1 || !LLUI_DISPLAY_clipHorizontalLine(gc, &x1, &x2, y)) return 0;
              clipped_here(gc);
              return UI_DRAWING_drawHorizontalLine(gc, x1, x2, y);
          });
}

void Java_yq_pictavo_display_PainterNatives_drawVerticalLine(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                             std::int32_t length) {
    paint(gc_array, native_address(&Java_yq_pictavo_display_PainterNatives_drawVerticalLine), kDrawVerticalLine,
          [&](SPictavoGraphicsContext* gc) {
              std::int32_t y1 = y, y2 = last_of(y, length);
              if (length < 1 || !LLUI_DISPLAY_clipVerticalLine(gc, &y1, &y2, x)) return 0;
              clipped_here(gc);
              return UI_DRAWING_drawVerticalLine(gc, x, y1, y2);
          });
}

void Java_yq_pictavo_display_PainterNatives_drawRectangle(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                          std::int32_t width, std::int32_t height) {
    paint(gc_array, native_address(&Java_yq_pictavo_display_PainterNatives_drawRectangle), kDrawRectangle,
          [&](SPictavoGraphicsContext* gc) {
              if (width < 1 || height < 1) return 0;
              const std::int32_t x2 = last_of(x, width), y2 = last_of(y, height);
              LLUI_DISPLAY_configureClip(gc, !LLUI_DISPLAY_isRectangleInClip(gc, x, y, x2, y2));
              return UI_DRAWING_drawRectangle(gc, x, y, x2, y2);
          });
}

void Java_yq_pictavo_display_PainterNatives_fillRectangle(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                          std::int32_t width, std::int32_t height) {
    paint(gc_array, native_address(&Java_yq_pictavo_display_PainterNatives_fillRectangle), kFillRectangle,
          [&](SPictavoGraphicsContext* gc) {
              std::int32_t x1 = x, y1 = y, x2 = last_of(x, width), y2 = last_of(y, height);
              if (width < 1 || height < 1 || !LLUI_DISPLAY_clipRectangle(gc, &x1, &y1, &x2, &y2)) return 0;
              clipped_here(gc);
              return UI_DRAWING_fillRectangle(gc, x1, y1, x2, y2);
          });
}

void Java_yq_pictavo_display_PainterNatives_drawRoundedRectangle(std::int8_t* gc_array, std::int32_t x,
                                                                 std::int32_t y, std::int32_t width,
                                                                 std::int32_t height, std::int32_t arc_width,
                                                                 std::int32_t arc_height) {
    boxed_shape(gc_array, native_address(&Java_yq_pictavo_display_PainterNatives_drawRoundedRectangle),
                kDrawRoundedRectangle, UI_DRAWING_drawRoundedRectangle, x, y, width, height, arc_width, arc_height);
}

void Java_yq_pictavo_display_PainterNatives_fillRoundedRectangle(std::int8_t* gc_array, std::int32_t x,
                                                                 std::int32_t y, std::int32_t width,
                                                                 std::int32_t height, std::int32_t arc_width,
                                                                 std::int32_t arc_height) {
    boxed_shape(gc_array, native_address(&Java_yq_pictavo_display_PainterNatives_fillRoundedRectangle),
                kFillRoundedRectangle, UI_DRAWING_fillRoundedRectangle, x, y, width, height, arc_width, arc_height);
}

void Java_yq_pictavo_display_PainterNatives_drawCircleArc(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                          std::int32_t diameter, float start_angle, float arc_angle) {
    circle_arc(gc_array, native_address(&Java_yq_pictavo_display_PainterNatives_drawCircleArc), kDrawCircleArc,
               UI_DRAWING_drawCircleArc, x, y, diameter, start_angle, arc_angle);
}

void Java_yq_pictavo_display_PainterNatives_fillCircleArc(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                          std::int32_t diameter, float start_angle, float arc_angle) {
    circle_arc(gc_array, native_address(&Java_yq_pictavo_display_PainterNatives_fillCircleArc), kFillCircleArc,
               UI_DRAWING_fillCircleArc, x, y, diameter, start_angle, arc_angle);
}

void Java_yq_pictavo_display_PainterNatives_drawEllipseArc(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                           std::int32_t width, std::int32_t height, float start_angle,
                                                           float arc_angle) {
    ellipse_arc(gc_array, native_address(&Java_yq_pictavo_display_PainterNatives_drawEllipseArc), kDrawEllipseArc,
                UI_DRAWING_drawEllipseArc, x, y, width, height, start_angle, arc_angle);
}

void Java_yq_pictavo_display_PainterNatives_fillEllipseArc(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                           std::int32_t width, std::int32_t height, float start_angle,
                                                           float arc_angle) {
    ellipse_arc(gc_array, native_address(&Java_yq_pictavo_display_PainterNatives_fillEllipseArc), kFillEllipseArc,
                UI_DRAWING_fillEllipseArc, x, y, width, height, start_angle, arc_angle);
}

void Java_yq_pictavo_display_PainterNatives_drawEllipse(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                        std::int32_t width, std::int32_t height) {
    boxed_shape(gc_array, native_address(&Java_yq_pictavo_display_PainterNatives_drawEllipse), kDrawEllipse,
                UI_DRAWING_drawEllipse, x, y, width, height);
}

void Java_yq_pictavo_display_PainterNatives_fillEllipse(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                        std::int32_t width, std::int32_t height) {
    boxed_shape(gc_array, native_address(&Java_yq_pictavo_display_PainterNatives_fillEllipse), kFillEllipse,
                UI_DRAWING_fillEllipse, x, y, width, height);
}

void Java_yq_pictavo_display_PainterNatives_drawCircle(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                       std::int32_t diameter) {
    circle(gc_array, native_address(&Java_yq_pictavo_display_PainterNatives_drawCircle), kDrawCircle,
           UI_DRAWING_drawCircle, x, y, diameter);
}

void Java_yq_pictavo_display_PainterNatives_fillCircle(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                       std::int32_t diameter) {
    circle(gc_array, native_address(&Java_yq_pictavo_display_PainterNatives_fillCircle), kFillCircle,
           UI_DRAWING_fillCircle, x, y, diameter);
}

void Java_yq_pictavo_display_PainterNatives_drawImage(std::int8_t* gc_array, std::int8_t* image_array,
                                                      std::int32_t region_x, std::int32_t region_y,
                                                      std::int32_t width, std::int32_t height, std::int32_t x,
                                                      std::int32_t y, std::int32_t alpha) {
    const SPictavoImage* image = tarvelo::graphics::image_of(image_array);
    if (image == nullptr) return;
    paint(gc_array, native_address(&Java_yq_pictavo_display_PainterNatives_drawImage), kDrawImage,
          [&](SPictavoGraphicsContext* gc) {
              if (LLUI_DISPLAY_isImageClosed(image) || alpha < 1) return 0;
              std::int32_t rx = region_x, ry = region_y, w = width, h = height, dx = x, dy = y;
              SoftDrawing::boundAxis(image->width, rx, w, dx);
              SoftDrawing::boundAxis(image->height, ry, h, dy);
              SoftDrawing::boundAxis(gc->image.width, dx, w, rx);
              SoftDrawing::boundAxis(gc->image.height, dy, h, ry);
              if (w < 1 || h < 1 || !LLUI_DISPLAY_clipRegion(gc, &rx, &ry, &w, &h, &dx, &dy)) return 0;
              clipped_here(gc);
              return dispatch_image(gc, image, rx, ry, w, h, dx, dy, clamp_alpha(alpha));
          });
}

void Java_yq_pictavo_display_PainterNatives_drawString(std::int8_t* gc_array, const std::uint16_t* chars,
                                                       std::int32_t offset, std::int32_t length,
                                                       const std::int8_t* font, std::int32_t x, std::int32_t y) {
    if (length < 1) return;
    paint(gc_array, native_address(&Java_yq_pictavo_display_PainterNatives_drawString), kDrawString,
          [&](SPictavoGraphicsContext* gc) {
              if (!chars_fit(chars, offset, length) || !font_is_set(font)) return 0;
              return UI_DRAWING_drawString(gc, chars + offset, length, font_bytes(font), x, y);
          });
}

void Java_yq_pictavo_display_PainterNatives_drawRenderableString(std::int8_t* gc_array, const std::uint16_t* chars,
                                                                 std::int32_t offset, std::int32_t length,
                                                                 const std::int8_t* font, std::int32_t width,
                                                                 std::int32_t* context, std::int32_t x,
                                                                 std::int32_t y) {
    if (length < 1) return;
    paint(gc_array, native_address(&Java_yq_pictavo_display_PainterNatives_drawRenderableString), kDrawString,
          [&](SPictavoGraphicsContext* gc) {
              if (!chars_fit(chars, offset, length) || !font_is_set(font) || !context_fits(context, length)) return 0;
              return UI_DRAWING_drawRenderableString(gc, chars + offset, length, font_bytes(font), width, context, x,
                                                     y);
          });
}

std::int32_t Java_yq_pictavo_display_PainterNatives_stringWidth(const std::uint16_t* chars, std::int32_t offset,
                                                                std::int32_t length, const std::int8_t* font) {
    if (length < 1 || !chars_fit(chars, offset, length) || !font_is_set(font)) return 0;
    ui_trace_event(0, kStringWidth);
    const std::int32_t width = UI_DRAWING_stringWidth(chars + offset, length, font_bytes(font));
    ui_trace_event_end(0, 0);
    return width;
}

std::int32_t Java_yq_pictavo_display_PainterNatives_initializeRenderableStringSNIContext(
    const std::uint16_t* chars, std::int32_t offset, std::int32_t length, const std::int8_t* font,
    std::int32_t* context) {
    if (length < 1 || !chars_fit(chars, offset, length) || !font_is_set(font) || !context_fits(context, length)) {
        return 0;
    }
    return UI_DRAWING_initializeRenderableStringSNIContext(chars + offset, length, font_bytes(font), context);
}

}  // extern "C"
