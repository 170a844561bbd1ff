// The stubs that answer for a drawer that cannot perform an operation:
// nothing is drawn, the drawing log says why, and the drawing is done, so
// the application learns from the log that nothing was drawn.
#include "port/display/drawing/ui_drawing.h"

namespace tarvelo::port::drawing {

std::int32_t mark_not_supported(SPictavoGraphicsContext* gc) {
    gc->drawing_log |= graphics::kLogError | graphics::kLogNotSupported;
    return 0;
}

namespace {

template <typename... Ignored>
std::int32_t stub(SPictavoGraphicsContext* gc, Ignored...) {
    return mark_not_supported(gc);
}

}  // namespace

}  // namespace tarvelo::port::drawing

extern "C" {

#define UI_DRAWER_STUB_BODY_yes(name, params, args) \
    std::int32_t UI_DRAWING_STUB_##name params { return tarvelo::port::drawing::stub args; }
#define UI_DRAWER_STUB_BODY_own(name, params, args)
#define UI_DRAWER_STUB_BODY_no(name, params, args)
#define UI_DRAWER_OPERATION(name, drawer0, drawer1, stub, params, args) UI_DRAWER_STUB_BODY_##stub(name, params, args)
#include "graphics/drawing/drawer_operations.def"
#undef UI_DRAWER_OPERATION

// The stubs of the renderable strings forward: the characters are drawn as
// a plain string (width and context dropped) through the text drawer.

std::int32_t UI_DRAWING_STUB_drawRenderableString(SPictavoGraphicsContext* gc, const std::uint16_t* chars,
                                                  std::int32_t length, const std::uint8_t* font, std::int32_t,
                                                  std::int32_t*, std::int32_t x, std::int32_t y) {
    return UI_FONT_DRAWING_drawString(gc, chars, length, font, x, y);
}

std::int32_t UI_DRAWING_STUB_drawScaledRenderableStringBilinear(SPictavoGraphicsContext* gc,
                                                                const std::uint16_t* chars, std::int32_t length,
                                                                const std::uint8_t* font, std::int32_t,
                                                                std::int32_t*, std::int32_t x, std::int32_t y,
                                                                float factor_x, float factor_y) {
    return UI_FONT_DRAWING_drawScaledStringBilinear(gc, chars, length, font, x, y, factor_x, factor_y);
}

}  // extern "C"
