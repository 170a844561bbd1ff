// The software drawing entry points the port's drawer tables send every
// operation to that the accelerator does not take: one per drawing
// operation the engine draws with the operation's own parameters, declared
// from the operations' table (pixels, lines, rectangles and images are drawn
// in drawing/, shapes in shapes/, transformed images in images/, text in
// fonts/). Each returns 0 (done).
#pragma once

#include <cstdint>

#include "graphics/images/image_types.h"

extern "C" {

#define TARVELO_SOFT_ENTRY_UI_SOFT(name, params) std::int32_t UI_DRAWING_SOFT_##name params;
#define TARVELO_SOFT_ENTRY_DW_SOFT(name, params) std::int32_t DW_DRAWING_SOFT_##name params;
#define TARVELO_SOFT_ENTRY_DW_SOFT_FADED(name, params) TARVELO_SOFT_ENTRY_DW_SOFT(name, params)
#define TARVELO_SOFT_ENTRY_CUSTOM(name, params)
#define TARVELO_SOFT_ENTRY_UNSUPPORTED(name, params)
#define UI_DRAWER_OPERATION(name, drawer0, drawer1, stub, params, args) TARVELO_SOFT_ENTRY_##drawer0(name, params)
#include "graphics/drawing/drawer_operations.def"
#undef UI_DRAWER_OPERATION
#undef TARVELO_SOFT_ENTRY_UI_SOFT
#undef TARVELO_SOFT_ENTRY_DW_SOFT
#undef TARVELO_SOFT_ENTRY_DW_SOFT_FADED
#undef TARVELO_SOFT_ENTRY_CUSTOM
#undef TARVELO_SOFT_ENTRY_UNSUPPORTED

// Reads pixels of the context's image into argb[offset + row * scan + column];
// the caller has checked the rectangle against the image and the array.
std::int32_t UI_DRAWING_SOFT_getARGB(SPictavoGraphicsContext* gc, std::int32_t* argb, std::int32_t offset,
                                     std::int32_t scan, std::int32_t x, std::int32_t y, std::int32_t w,
                                     std::int32_t h);
// The dispatcher with the custom-format guard.
std::int32_t UI_DRAWING_getARGB(SPictavoGraphicsContext* gc, std::int32_t* argb, std::int32_t offset,
                                std::int32_t scan, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h);

}  // extern "C"
