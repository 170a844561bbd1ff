// Bitmap fonts of the engine's stored format ("TRV_FNT"): validation of a
// whole font against its size, glyph lookup, string widths, and text drawn
// plain, scaled or as rotated characters.
#pragma once

#include <cstdint>

#include "graphics/drawing/drawing_entry_points.h"
#include "graphics/images/image_types.h"

namespace tarvelo::graphics {

// True when every table and glyph of the font at `font` lies inside its
// `size` bytes (signature, version 6 or 7, at least one range, ranges in
// order, glyph offsets and bitmaps), so that drawing never reads past it.
bool font_is_valid(const std::uint8_t* font, std::uint64_t size);

}  // namespace tarvelo::graphics

// The text entries of the drawing operations (drawing_entry_points.h) and
// the ones below take the application's font array, whose first word is the
// font's address; a rotated character is its glyph rotated by `angle`
// degrees about the rotation centre.
extern "C" {

std::int32_t UI_DRAWING_SOFT_stringWidth(const std::uint16_t* chars, std::int32_t length,
                                         const std::uint8_t* font_data);
std::int32_t UI_DRAWING_SOFT_initializeRenderableStringSNIContext(const std::uint16_t* chars, std::int32_t length,
                                                                  const std::uint8_t* font_data,
                                                                  std::int32_t* context);
// The scaled renderable string needs no width.
std::int32_t DW_DRAWING_SOFT_drawScaledRenderableStringBilinear(SPictavoGraphicsContext* gc, const std::uint16_t* chars,
                                                                std::int32_t length, const std::uint8_t* font_data,
                                                                std::int32_t* context, std::int32_t x, std::int32_t y,
                                                                float factor_x, float factor_y);

}  // extern "C"
