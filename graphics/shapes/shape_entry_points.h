// The software drawing entry points of the shapes (one pixel wide, and
// thick with a soft edge) and the polygons, with the drawing library's
// polygon dispatchers. Each returns 0 (done). The shapes' entries are those
// of their drawing operations (drawing_entry_points.h); the thick shapes'
// caps are 0 none, 1 rounded, 2 perpendicular.
#pragma once

#include <cstdint>

#include "graphics/drawing/drawing_entry_points.h"
#include "graphics/images/image_types.h"

extern "C" {

std::int32_t DW_DRAWING_SOFT_drawPolygon(SPictavoGraphicsContext* gc, const std::int32_t* xys, std::int32_t count);
// `work` holds at least 96 * (count / 2) + 20 bytes (the natives check it).
std::int32_t DW_DRAWING_SOFT_fillPolygon(SPictavoGraphicsContext* gc, const std::int32_t* xys, std::int32_t count,
                                         void* work);
// Return 0 without drawing into a destination of a custom format.
std::int32_t DW_DRAWING_drawPolygon(SPictavoGraphicsContext* gc, const std::int32_t* xys, std::int32_t count);
std::int32_t DW_DRAWING_fillPolygon(SPictavoGraphicsContext* gc, const std::int32_t* xys, std::int32_t count,
                                    void* work);

}  // extern "C"
