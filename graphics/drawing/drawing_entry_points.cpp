// Software drawing entry points.
#include "graphics/drawing/drawing_entry_points.h"

#include "graphics/drawing/soft_drawing.h"
#include "graphics/pixels/pixel_formats.h"

using tarvelo::graphics::SoftDrawing;

extern "C" {

std::int32_t UI_DRAWING_SOFT_writePixel(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y) {
    SoftDrawing::drawPixel(gc, x, y);
    return 0;
}

std::int32_t UI_DRAWING_SOFT_drawHorizontalLine(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t x2,
                                                std::int32_t y) {
    SoftDrawing::drawHLine(gc, x1, x2, y);
    return 0;
}

std::int32_t UI_DRAWING_SOFT_drawVerticalLine(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y1,
                                              std::int32_t y2) {
    SoftDrawing::drawVLine(gc, x, y1, y2);
    return 0;
}

std::int32_t UI_DRAWING_SOFT_drawRectangle(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1,
                                           std::int32_t x2, std::int32_t y2) {
    SoftDrawing::drawRect(gc, x1, y1, x2, y2);
    return 0;
}

std::int32_t UI_DRAWING_SOFT_fillRectangle(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1,
                                           std::int32_t x2, std::int32_t y2) {
    SoftDrawing::fillRect(gc, x1, y1, x2, y2);
    return 0;
}

std::int32_t UI_DRAWING_SOFT_drawImage(SPictavoGraphicsContext* gc, const SPictavoImage* image, std::int32_t x,
                                       std::int32_t y, std::int32_t w, std::int32_t h, std::int32_t dx,
                                       std::int32_t dy, std::int32_t alpha) {
    const bool crop = !(gc->image.flags & tarvelo::graphics::kImageClipDisabled);
    SoftDrawing::drawRegion(image, x, y, w, h, gc, dx, dy, alpha, 0, crop);
    return 0;
}

std::int32_t UI_DRAWING_SOFT_drawRegion(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y, std::int32_t w,
                                        std::int32_t h, std::int32_t dx, std::int32_t dy, std::int32_t alpha) {
    return UI_DRAWING_SOFT_drawImage(gc, &gc->image, x, y, w, h, dx, dy, alpha);
}

std::int32_t UI_DRAWING_SOFT_copyImage(SPictavoGraphicsContext* gc, const SPictavoImage* image, std::int32_t x,
                                       std::int32_t y, std::int32_t w, std::int32_t h, std::int32_t dx,
                                       std::int32_t dy) {
    SoftDrawing::copyImage(gc, image, x, y, w, h, dx, dy);
    return 0;
}

std::int32_t DW_DRAWING_SOFT_drawFlippedImage(SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                              std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                                              std::int32_t dx, std::int32_t dy, std::int32_t transformation,
                                              std::int32_t alpha) {
    SoftDrawing::drawRegion(image, x, y, w, h, gc, dx, dy, alpha, transformation, true);
    return 0;
}

std::int32_t UI_DRAWING_SOFT_getARGB(SPictavoGraphicsContext* gc, std::int32_t* argb, std::int32_t offset,
                                     std::int32_t scan, std::int32_t x, std::int32_t y, std::int32_t w,
                                     std::int32_t h) {
    tarvelo::graphics::PixelSource source;
    if (!tarvelo::graphics::prepare_source(&gc->image, gc->foreground_color, &source)) return 0;
    for (std::int32_t row = 0; row < h; ++row)
        for (std::int32_t column = 0; column < w; ++column)
            argb[offset + row * scan + column] =
                static_cast<std::int32_t>(tarvelo::graphics::read_pixel(source, x + column, y + row));
    return 0;
}

std::int32_t UI_DRAWING_getARGB(SPictavoGraphicsContext* gc, std::int32_t* argb, std::int32_t offset,
                                std::int32_t scan, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) {
    if (tarvelo::graphics::is_custom_format(gc->image.format)) return 0;
    return UI_DRAWING_SOFT_getARGB(gc, argb, offset, scan, x, y, w, h);
}

}  // extern "C"
