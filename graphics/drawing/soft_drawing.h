// The engine's own software drawing into display-format (RGB565) images:
// pixels, lines, rectangles, image regions with the eight transformations,
// 16-bit copies and pixel reads.
#pragma once

#include <cstdint>

#include "graphics/images/image_types.h"

namespace tarvelo::graphics {

// Transformations of flipped drawing, and the two internal copies.
inline constexpr std::int32_t kTransformCopy = 8;
inline constexpr std::int32_t kTransformOverlap = 9;

struct SoftDrawing {
    static void drawPixel(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y);
    static void drawHLine(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t x2, std::int32_t y);
    static void drawVLine(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y1, std::int32_t y2);
    static void fillRect(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                         std::int32_t y2);
    static void drawRect(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                         std::int32_t y2);
    // Crops a transformed region to the clip: false when nothing is left;
    // else the cropped source origin and size and the destination origin.
    static bool cropRegion(const SPictavoGraphicsContext* gc, std::int32_t* x, std::int32_t* y, std::int32_t* w,
                           std::int32_t* h, std::int32_t* dx, std::int32_t* dy, std::int32_t transformation);
    // Draws region (x, y, w, h) of `image` at (dx, dy) with `alpha` and a
    // transformation 0..7; pixels outside the source image are never read.
    static void drawRegion(const SPictavoImage* image, std::int32_t x, std::int32_t y, std::int32_t w,
                           std::int32_t h, SPictavoGraphicsContext* gc, std::int32_t dx, std::int32_t dy,
                           std::int32_t alpha, std::int32_t transformation, bool crop);
    // 16-bit copy, safe when source and destination overlap.
    // One axis of the image-drawing bounding rule: a negative position
    // shortens the length and moves the partner (the position on the other
    // image) by as much; a length beyond `size` is cut there. Computed in 64
    // bits and saturated to the 32-bit range.
    static void boundAxis(std::int32_t size, std::int32_t& position, std::int32_t& length, std::int32_t& partner);
    static void copyImage(SPictavoGraphicsContext* gc, const SPictavoImage* image, std::int32_t x, std::int32_t y,
                          std::int32_t w, std::int32_t h, std::int32_t dx, std::int32_t dy);
};

}  // namespace tarvelo::graphics
