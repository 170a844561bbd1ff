// The software drawing entry points the port's drawer tables send every
// operation to that the accelerator does not take. Each returns 0 (done).
// The shapes, transforms and polygons are drawn by their own bodies, which
// are not part of the engine yet; their entries are not defined until then.
#pragma once

#include <cstdint>

#include "graphics/images/image_types.h"

extern "C" {

std::int32_t UI_DRAWING_SOFT_writePixel(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y);
std::int32_t UI_DRAWING_SOFT_drawHorizontalLine(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t x2,
                                                std::int32_t y);
std::int32_t UI_DRAWING_SOFT_drawVerticalLine(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y1,
                                              std::int32_t y2);
std::int32_t UI_DRAWING_SOFT_drawRectangle(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1,
                                           std::int32_t x2, std::int32_t y2);
std::int32_t UI_DRAWING_SOFT_fillRectangle(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1,
                                           std::int32_t x2, std::int32_t y2);
std::int32_t UI_DRAWING_SOFT_drawImage(SPictavoGraphicsContext* gc, const SPictavoImage* image, std::int32_t x,
                                       std::int32_t y, std::int32_t w, std::int32_t h, std::int32_t dx,
                                       std::int32_t dy, std::int32_t alpha);
std::int32_t UI_DRAWING_SOFT_drawRegion(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y, std::int32_t w,
                                        std::int32_t h, std::int32_t dx, std::int32_t dy, std::int32_t alpha);
std::int32_t UI_DRAWING_SOFT_copyImage(SPictavoGraphicsContext* gc, const SPictavoImage* image, std::int32_t x,
                                       std::int32_t y, std::int32_t w, std::int32_t h, std::int32_t dx,
                                       std::int32_t dy);
std::int32_t DW_DRAWING_SOFT_drawFlippedImage(SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                              std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                                              std::int32_t dx, std::int32_t dy, std::int32_t transformation,
                                              std::int32_t alpha);
// Reads pixels of the context's image into argb[offset + row * scan + column];
// the caller has checked the rectangle against the image and the array.
std::int32_t UI_DRAWING_SOFT_getARGB(SPictavoGraphicsContext* gc, std::int32_t* argb, std::int32_t offset,
                                     std::int32_t scan, std::int32_t x, std::int32_t y, std::int32_t w,
                                     std::int32_t h);
// The dispatcher with the custom-format guard.
std::int32_t UI_DRAWING_getARGB(SPictavoGraphicsContext* gc, std::int32_t* argb, std::int32_t offset,
                                std::int32_t scan, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h);

}  // extern "C"
