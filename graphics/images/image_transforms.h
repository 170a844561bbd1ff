// Images drawn rotated, scaled or deformed into a quadrilateral, in
// software, onto a display-format context, and their drawing entry points.
// The rotated and scaled images' entries are those of their drawing
// operations (drawing_entry_points.h): rotated by `angle` degrees
// (counter-clockwise) about the rotation centre, the image placed with its
// top-left at (x, y), or scaled by the two factors with its top-left at
// (x, y); alpha 0..255.
#pragma once

#include <cstdint>

#include "graphics/drawing/drawing_entry_points.h"
#include "graphics/images/image_types.h"

extern "C" {

// The image's corners (top-left, top-right, bottom-right, bottom-left) at
// the eight ints of `corners`; `work` holds 404 bytes for the polygon filler.
std::int32_t DW_DRAWING_SOFT_drawDeformedImage(SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                               const std::int32_t* corners, void* work);
// Returns 0 without drawing when the destination or the source has a
// custom format.
std::int32_t DW_DRAWING_drawDeformedImage(SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                          const std::int32_t* corners, void* work);

}  // extern "C"

namespace tarvelo::graphics {

struct Rotation {
    static void draw(const SPictavoImage* image, SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                     std::int32_t rx, std::int32_t ry, float angle, bool nearest, std::int32_t alpha, bool mirror,
                     std::int32_t width, std::int32_t height, std::int32_t region_x, std::int32_t region_y);
};

struct Scale {
    // Source rectangle (sx0, sy0)-(sx1, sy1) onto the destination rectangle
    // (dx0, dy0)-(dx1, dy1), already cut to the clip.
    static void draw(const SPictavoImage* image, std::int32_t sx0, std::int32_t sy0, std::int32_t sx1,
                     std::int32_t sy1, SPictavoGraphicsContext* gc, std::int32_t dx0, std::int32_t dy0,
                     std::int32_t dx1, std::int32_t dy1, std::int32_t alpha, bool nearest, bool mirror, float step_x,
                     float step_y);
};

struct Trapezoid {
    // 1 when the corners form a trapezoid with two axis-parallel opposite
    // sides (drawn, or empty), 0 otherwise.
    static std::int32_t draw(const SPictavoImage* image, SPictavoGraphicsContext* gc, const std::int32_t* corners,
                             std::int32_t alpha);
};

struct Deform {
    static void draw(const SPictavoImage* image, SPictavoGraphicsContext* gc, const std::int32_t* corners, void* work);
};

}  // namespace tarvelo::graphics
