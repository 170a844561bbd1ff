// Weak default entries of the drawer tables, for a firmware without the
// accelerator back end or the vector-image recorder: drawer 0 draws in the
// engine's software, drawer 1 answers with the stubs and the text and image
// drawers. The back end and the recorder replace entries by strong
// definitions of the same names.
//
// Link order matters: this file is its own archive
// (`tarvelo_port_drawing_defaults`), listed after every library that may
// hold strong entries. Once an archive member defining a symbol (even
// weakly) is linked, the linker no longer pulls members of later archives
// for that symbol, so a back end listed after this archive would never be
// linked for its entries. A back end linked as objects rather than an
// archive always wins.
#include "graphics/display/llui_display.h"
#include "graphics/drawing/drawing_entry_points.h"
#include "graphics/fonts/fonts.h"
#include "graphics/images/image_transforms.h"
#include "graphics/shapes/shape_entry_points.h"
#include "port/display/drawing/ui_drawing.h"

#define WEAK __attribute__((weak))

namespace {

template <typename... Ignored>
std::int32_t not_supported(SPictavoGraphicsContext* gc, Ignored...) {
    return tarvelo::port::drawing::mark_not_supported(gc);
}

bool display_format(const SPictavoGraphicsContext* gc) { return LLUI_DISPLAY_isDisplayFormat(gc->image.format); }

}  // namespace

// How each operation's default entries answer, per drawer:
//   UI_SOFT / DW_SOFT  the engine's software drawer of the same name
//   UNSUPPORTED        nothing drawn, log "not supported" (the operation
//                      needs the accelerator or the recorder)
//   STUB, FONT, IMAGE  the operation's stub, text drawer or image drawer
//   CUSTOM             written out below
#define KIND0_writePixel UI_SOFT
#define KIND1_writePixel STUB
#define KIND0_drawLine UI_SOFT
#define KIND1_drawLine UNSUPPORTED
#define KIND0_drawHorizontalLine UI_SOFT
#define KIND1_drawHorizontalLine UNSUPPORTED
#define KIND0_drawVerticalLine UI_SOFT
#define KIND1_drawVerticalLine UNSUPPORTED
#define KIND0_drawRectangle UI_SOFT
#define KIND1_drawRectangle STUB
#define KIND0_fillRectangle UI_SOFT
#define KIND1_fillRectangle UNSUPPORTED
#define KIND0_drawRoundedRectangle UI_SOFT
#define KIND1_drawRoundedRectangle UNSUPPORTED
#define KIND0_fillRoundedRectangle UNSUPPORTED
#define KIND1_fillRoundedRectangle UNSUPPORTED
#define KIND0_drawCircleArc UI_SOFT
#define KIND1_drawCircleArc UNSUPPORTED
#define KIND0_drawEllipseArc UI_SOFT
#define KIND1_drawEllipseArc UNSUPPORTED
#define KIND0_fillCircleArc UNSUPPORTED
#define KIND1_fillCircleArc UNSUPPORTED
#define KIND0_fillEllipseArc UNSUPPORTED
#define KIND1_fillEllipseArc UNSUPPORTED
#define KIND0_drawEllipse UI_SOFT
#define KIND1_drawEllipse UNSUPPORTED
#define KIND0_fillEllipse UNSUPPORTED
#define KIND1_fillEllipse UNSUPPORTED
#define KIND0_drawCircle UI_SOFT
#define KIND1_drawCircle UNSUPPORTED
#define KIND0_fillCircle UNSUPPORTED
#define KIND1_fillCircle UNSUPPORTED
#define KIND0_drawString UI_SOFT
#define KIND1_drawString FONT
#define KIND0_drawRenderableString UI_SOFT
#define KIND1_drawRenderableString FONT
#define KIND0_drawImage UI_SOFT
#define KIND1_drawImage IMAGE
#define KIND0_copyImage UI_SOFT
#define KIND1_copyImage IMAGE
#define KIND0_drawRegion UI_SOFT
#define KIND1_drawRegion IMAGE
#define KIND0_drawThickFadedPoint DW_SOFT
#define KIND1_drawThickFadedPoint STUB
#define KIND0_drawThickFadedLine DW_SOFT
#define KIND1_drawThickFadedLine STUB
#define KIND0_drawThickFadedCircle DW_SOFT
#define KIND1_drawThickFadedCircle STUB
#define KIND0_drawThickFadedCircleArc DW_SOFT
#define KIND1_drawThickFadedCircleArc STUB
#define KIND0_drawThickFadedEllipse DW_SOFT
#define KIND1_drawThickFadedEllipse STUB
#define KIND0_drawThickLine CUSTOM
#define KIND1_drawThickLine UNSUPPORTED
#define KIND0_drawThickCircle CUSTOM
#define KIND1_drawThickCircle UNSUPPORTED
#define KIND0_drawThickEllipse CUSTOM
#define KIND1_drawThickEllipse UNSUPPORTED
#define KIND0_drawThickCircleArc CUSTOM
#define KIND1_drawThickCircleArc UNSUPPORTED
#define KIND0_drawFlippedImage DW_SOFT
#define KIND1_drawFlippedImage IMAGE
#define KIND0_drawRotatedImageNearestNeighbor DW_SOFT
#define KIND1_drawRotatedImageNearestNeighbor IMAGE
#define KIND0_drawRotatedImageBilinear DW_SOFT
#define KIND1_drawRotatedImageBilinear IMAGE
#define KIND0_drawScaledImageNearestNeighbor DW_SOFT
#define KIND1_drawScaledImageNearestNeighbor IMAGE
#define KIND0_drawScaledImageBilinear DW_SOFT
#define KIND1_drawScaledImageBilinear IMAGE
#define KIND0_drawScaledStringBilinear DW_SOFT
#define KIND1_drawScaledStringBilinear FONT
#define KIND0_drawScaledRenderableStringBilinear CUSTOM
#define KIND1_drawScaledRenderableStringBilinear FONT
#define KIND0_drawCharWithRotationBilinear DW_SOFT
#define KIND1_drawCharWithRotationBilinear FONT
#define KIND0_drawCharWithRotationNearestNeighbor DW_SOFT
#define KIND1_drawCharWithRotationNearestNeighbor FONT

#define ENTRY_UI_SOFT(entry, name, params, args) \
    WEAK std::int32_t entry params { return UI_DRAWING_SOFT_##name args; }
#define ENTRY_DW_SOFT(entry, name, params, args) \
    WEAK std::int32_t entry params { return DW_DRAWING_SOFT_##name args; }
#define ENTRY_UNSUPPORTED(entry, name, params, args) \
    WEAK std::int32_t entry params { return not_supported args; }
#define ENTRY_STUB(entry, name, params, args) \
    WEAK std::int32_t entry params { return UI_DRAWING_STUB_##name args; }
#define ENTRY_FONT(entry, name, params, args) \
    WEAK std::int32_t entry params { return UI_FONT_DRAWING_##name args; }
#define ENTRY_IMAGE(entry, name, params, args) \
    WEAK std::int32_t entry params { return UI_IMAGE_DRAWING_##name args; }
#define ENTRY_CUSTOM(entry, name, params, args)
#define ENTRY_OF(kind, entry, name, params, args) ENTRY_##kind(entry, name, params, args)
#define ENTRY(kind, entry, name, params, args) ENTRY_OF(kind, entry, name, params, args)

extern "C" {

#define UI_DRAWER_OPERATION(name, stub, params, args)            \
    ENTRY(KIND0_##name, UI_DRAWING_##name##_0, name, params, args) \
    ENTRY(KIND1_##name, UI_DRAWING_##name##_1, name, params, args)
#include "port/display/drawing/drawer_operations.def"
#undef UI_DRAWER_OPERATION

// Without the accelerator, thick shapes are the software's thick shapes
// without fade (and without caps).
WEAK std::int32_t UI_DRAWING_drawThickLine_0(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1,
                                             std::int32_t x2, std::int32_t y2, std::int32_t thickness) {
    return DW_DRAWING_SOFT_drawThickFadedLine(gc, x1, y1, x2, y2, thickness, 0, 0, 0);
}
WEAK std::int32_t UI_DRAWING_drawThickCircle_0(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                               std::int32_t diameter, std::int32_t thickness) {
    return DW_DRAWING_SOFT_drawThickFadedCircle(gc, x, y, diameter, thickness, 0);
}
WEAK std::int32_t UI_DRAWING_drawThickEllipse_0(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                std::int32_t width, std::int32_t height, std::int32_t thickness) {
    return DW_DRAWING_SOFT_drawThickFadedEllipse(gc, x, y, width, height, thickness, 0);
}
WEAK std::int32_t UI_DRAWING_drawThickCircleArc_0(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                  std::int32_t diameter, float start_angle, float arc_angle,
                                                  std::int32_t thickness) {
    return DW_DRAWING_SOFT_drawThickFadedCircleArc(gc, x, y, diameter, start_angle, arc_angle, thickness, 0, 0, 0);
}
// The software's scaled renderable string needs no width.
WEAK std::int32_t UI_DRAWING_drawScaledRenderableStringBilinear_0(SPictavoGraphicsContext* gc,
                                                                  const std::uint16_t* chars, std::int32_t length,
                                                                  const std::uint8_t* font, std::int32_t,
                                                                  std::int32_t* context, std::int32_t x,
                                                                  std::int32_t y, float factor_x, float factor_y) {
    return DW_DRAWING_SOFT_drawScaledRenderableStringBilinear(gc, chars, length, font, context, x, y, factor_x,
                                                              factor_y);
}

// --- text and image drawers of the vector-image drawer ----------------------
// Weak as well: the recorder may bring its own.

WEAK std::int32_t UI_FONT_DRAWING_drawString(SPictavoGraphicsContext* gc, const std::uint16_t* chars,
                                             std::int32_t length, const std::uint8_t* font, std::int32_t x,
                                             std::int32_t y) {
    if (display_format(gc)) return UI_DRAWING_SOFT_drawString(gc, chars, length, font, x, y);
    return UI_DRAWING_STUB_drawString(gc, chars, length, font, x, y);
}
WEAK std::int32_t UI_FONT_DRAWING_drawRenderableString(SPictavoGraphicsContext* gc, const std::uint16_t* chars,
                                                       std::int32_t length, const std::uint8_t* font,
                                                       std::int32_t width, std::int32_t* context, std::int32_t x,
                                                       std::int32_t y) {
    if (display_format(gc)) {
        return UI_DRAWING_SOFT_drawRenderableString(gc, chars, length, font, width, context, x, y);
    }
    return UI_DRAWING_STUB_drawRenderableString(gc, chars, length, font, width, context, x, y);
}
WEAK std::int32_t UI_FONT_DRAWING_drawScaledStringBilinear(SPictavoGraphicsContext* gc, const std::uint16_t* chars,
                                                           std::int32_t length, const std::uint8_t* font,
                                                           std::int32_t x, std::int32_t y, float factor_x,
                                                           float factor_y) {
    if (display_format(gc)) {
        return DW_DRAWING_SOFT_drawScaledStringBilinear(gc, chars, length, font, x, y, factor_x, factor_y);
    }
    return UI_DRAWING_STUB_drawScaledStringBilinear(gc, chars, length, font, x, y, factor_x, factor_y);
}
WEAK std::int32_t UI_FONT_DRAWING_drawScaledRenderableStringBilinear(SPictavoGraphicsContext* gc,
                                                                     const std::uint16_t* chars, std::int32_t length,
                                                                     const std::uint8_t* font, std::int32_t width,
                                                                     std::int32_t* context, std::int32_t x,
                                                                     std::int32_t y, float factor_x, float factor_y) {
    if (display_format(gc)) {
        return DW_DRAWING_SOFT_drawScaledRenderableStringBilinear(gc, chars, length, font, context, x, y, factor_x,
                                                                  factor_y);
    }
    return UI_DRAWING_STUB_drawScaledRenderableStringBilinear(gc, chars, length, font, width, context, x, y,
                                                              factor_x, factor_y);
}

#define FONT_OR_IMAGE_DRAWER(prefix, soft, name, params, args)             \
    WEAK std::int32_t prefix##name params {                                \
        if (display_format(gc)) return soft##name args;                     \
        return UI_DRAWING_STUB_##name args;                                 \
    }
FONT_OR_IMAGE_DRAWER(UI_FONT_DRAWING_, DW_DRAWING_SOFT_, drawCharWithRotationBilinear,
                     (SPictavoGraphicsContext * gc, std::int32_t character, const std::uint8_t* font, std::int32_t x,
                      std::int32_t y, std::int32_t rotation_x, std::int32_t rotation_y, float angle,
                      std::int32_t alpha),
                     (gc, static_cast<std::uint16_t>(character), font, x, y, rotation_x, rotation_y, angle, alpha))
FONT_OR_IMAGE_DRAWER(UI_FONT_DRAWING_, DW_DRAWING_SOFT_, drawCharWithRotationNearestNeighbor,
                     (SPictavoGraphicsContext * gc, std::int32_t character, const std::uint8_t* font, std::int32_t x,
                      std::int32_t y, std::int32_t rotation_x, std::int32_t rotation_y, float angle,
                      std::int32_t alpha),
                     (gc, static_cast<std::uint16_t>(character), font, x, y, rotation_x, rotation_y, angle, alpha))
FONT_OR_IMAGE_DRAWER(UI_IMAGE_DRAWING_, UI_DRAWING_SOFT_, drawImage,
                     (SPictavoGraphicsContext * gc, const SPictavoImage* image, std::int32_t region_x,
                      std::int32_t region_y, std::int32_t width, std::int32_t height, std::int32_t x, std::int32_t y,
                      std::int32_t alpha),
                     (gc, image, region_x, region_y, width, height, x, y, alpha))
FONT_OR_IMAGE_DRAWER(UI_IMAGE_DRAWING_, UI_DRAWING_SOFT_, copyImage,
                     (SPictavoGraphicsContext * gc, const SPictavoImage* image, std::int32_t region_x,
                      std::int32_t region_y, std::int32_t width, std::int32_t height, std::int32_t x, std::int32_t y),
                     (gc, image, region_x, region_y, width, height, x, y))
FONT_OR_IMAGE_DRAWER(UI_IMAGE_DRAWING_, UI_DRAWING_SOFT_, drawRegion,
                     (SPictavoGraphicsContext * gc, std::int32_t region_x, std::int32_t region_y, std::int32_t width,
                      std::int32_t height, std::int32_t x, std::int32_t y, std::int32_t alpha),
                     (gc, region_x, region_y, width, height, x, y, alpha))
FONT_OR_IMAGE_DRAWER(UI_IMAGE_DRAWING_, DW_DRAWING_SOFT_, drawFlippedImage,
                     (SPictavoGraphicsContext * gc, const SPictavoImage* image, std::int32_t region_x,
                      std::int32_t region_y, std::int32_t width, std::int32_t height, std::int32_t x, std::int32_t y,
                      std::int32_t flip, std::int32_t alpha),
                     (gc, image, region_x, region_y, width, height, x, y, flip, alpha))
FONT_OR_IMAGE_DRAWER(UI_IMAGE_DRAWING_, DW_DRAWING_SOFT_, drawRotatedImageNearestNeighbor,
                     (SPictavoGraphicsContext * gc, const SPictavoImage* image, std::int32_t x, std::int32_t y,
                      std::int32_t rotation_x, std::int32_t rotation_y, float angle, std::int32_t alpha),
                     (gc, image, x, y, rotation_x, rotation_y, angle, alpha))
FONT_OR_IMAGE_DRAWER(UI_IMAGE_DRAWING_, DW_DRAWING_SOFT_, drawRotatedImageBilinear,
                     (SPictavoGraphicsContext * gc, const SPictavoImage* image, std::int32_t x, std::int32_t y,
                      std::int32_t rotation_x, std::int32_t rotation_y, float angle, std::int32_t alpha),
                     (gc, image, x, y, rotation_x, rotation_y, angle, alpha))
FONT_OR_IMAGE_DRAWER(UI_IMAGE_DRAWING_, DW_DRAWING_SOFT_, drawScaledImageNearestNeighbor,
                     (SPictavoGraphicsContext * gc, const SPictavoImage* image, std::int32_t x, std::int32_t y,
                      float factor_x, float factor_y, std::int32_t alpha),
                     (gc, image, x, y, factor_x, factor_y, alpha))
FONT_OR_IMAGE_DRAWER(UI_IMAGE_DRAWING_, DW_DRAWING_SOFT_, drawScaledImageBilinear,
                     (SPictavoGraphicsContext * gc, const SPictavoImage* image, std::int32_t x, std::int32_t y,
                      float factor_x, float factor_y, std::int32_t alpha),
                     (gc, image, x, y, factor_x, factor_y, alpha))

// --- image hooks --------------------------------------------------------------
// The engine's stride and size; nothing attached to a new image.

WEAK std::uint32_t UI_DRAWING_getNewImageStrideInBytes_0(std::int32_t, std::uint32_t, std::uint32_t,
                                                         std::uint32_t default_stride) {
    return default_stride;
}
WEAK std::uint32_t UI_DRAWING_getNewImageStrideInBytes_1(std::int32_t, std::uint32_t, std::uint32_t,
                                                         std::uint32_t default_stride) {
    return default_stride;
}
WEAK void UI_DRAWING_adjustNewImageCharacteristics_0(std::int32_t, std::uint32_t, std::uint32_t, std::uint32_t*,
                                                     std::uint32_t*) {}
WEAK void UI_DRAWING_adjustNewImageCharacteristics_1(std::int32_t, std::uint32_t, std::uint32_t, std::uint32_t*,
                                                     std::uint32_t*) {}
WEAK void UI_DRAWING_initializeNewImage_0(SPictavoImage*) {}
WEAK void UI_DRAWING_initializeNewImage_1(SPictavoImage*) {}
WEAK void UI_DRAWING_freeImageResources_0(SPictavoImage*) {}
WEAK void UI_DRAWING_freeImageResources_1(SPictavoImage*) {}

}  // extern "C"
