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

// The software drawings whose parameters differ from their operation's
// (`CUSTOM` in the operations' table). Without the accelerator, thick shapes
// are the software's thick shapes without fade (and without caps); the
// software's scaled renderable string needs no width.
namespace custom {

std::int32_t drawThickLine(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                           std::int32_t y2, std::int32_t thickness) {
    return DW_DRAWING_SOFT_drawThickFadedLine(gc, x1, y1, x2, y2, thickness, 0, 0, 0);
}
std::int32_t drawThickCircle(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y, std::int32_t diameter,
                             std::int32_t thickness) {
    return DW_DRAWING_SOFT_drawThickFadedCircle(gc, x, y, diameter, thickness, 0);
}
std::int32_t drawThickEllipse(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y, std::int32_t width,
                              std::int32_t height, std::int32_t thickness) {
    return DW_DRAWING_SOFT_drawThickFadedEllipse(gc, x, y, width, height, thickness, 0);
}
std::int32_t drawThickCircleArc(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y, std::int32_t diameter,
                                float start_angle, float arc_angle, std::int32_t thickness) {
    return DW_DRAWING_SOFT_drawThickFadedCircleArc(gc, x, y, diameter, start_angle, arc_angle, thickness, 0, 0, 0);
}
std::int32_t drawScaledRenderableStringBilinear(SPictavoGraphicsContext* gc, const std::uint16_t* chars,
                                                std::int32_t length, const std::uint8_t* font, std::int32_t,
                                                std::int32_t* context, std::int32_t x, std::int32_t y,
                                                float factor_x, float factor_y) {
    return DW_DRAWING_SOFT_drawScaledRenderableStringBilinear(gc, chars, length, font, context, x, y, factor_x,
                                                              factor_y);
}

}  // namespace custom

}  // namespace

// The engine's software drawing of an operation, by its `drawer0` kind in
// the operations' table.
#define SOFTWARE_UI_SOFT(name) UI_DRAWING_SOFT_##name
#define SOFTWARE_DW_SOFT(name) DW_DRAWING_SOFT_##name
#define SOFTWARE_DW_SOFT_FADED(name) DW_DRAWING_SOFT_##name
#define SOFTWARE_CUSTOM(name) custom::name
#define SOFTWARE_UNSUPPORTED(name) not_supported

// Drawer 1's default entry, by the operation's `drawer1` kind.
#define VECTOR_STUB(name) UI_DRAWING_STUB_##name
#define VECTOR_FONT(name) UI_FONT_DRAWING_##name
#define VECTOR_IMAGE(name) UI_IMAGE_DRAWING_##name
#define VECTOR_UNSUPPORTED(name) not_supported

// The text and image drawers of the vector-image drawer, weak as well (the
// recorder may bring its own): the software when the destination is in the
// display format, else the stub.
#define TEXT_OR_IMAGE_DRAWER(drawer, name, software, params, args) \
    WEAK std::int32_t drawer params {                               \
        if (display_format(gc)) return software args;               \
        return UI_DRAWING_STUB_##name args;                         \
    }
#define VECTOR_DRAWER_FONT(name, software, params, args) \
    TEXT_OR_IMAGE_DRAWER(VECTOR_FONT(name), name, software, params, args)
#define VECTOR_DRAWER_IMAGE(name, software, params, args) \
    TEXT_OR_IMAGE_DRAWER(VECTOR_IMAGE(name), name, software, params, args)
#define VECTOR_DRAWER_STUB(name, software, params, args)
#define VECTOR_DRAWER_UNSUPPORTED(name, software, params, args)

extern "C" {

#define UI_DRAWER_OPERATION(name, drawer0, drawer1, stub, params, args)                       \
    WEAK std::int32_t UI_DRAWING_##name##_0 params { return SOFTWARE_##drawer0(name) args; } \
    WEAK std::int32_t UI_DRAWING_##name##_1 params { return VECTOR_##drawer1(name) args; }   \
    VECTOR_DRAWER_##drawer1(name, SOFTWARE_##drawer0(name), params, args)
#include "graphics/drawing/drawer_operations.def"
#undef UI_DRAWER_OPERATION

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
