// Bitmap fonts of the engine's stored format ("TRV_FNT"): validation of a
// whole font against its size, glyph lookup, string widths, and text drawn
// plain, scaled or as rotated characters.
#pragma once

#include <cstdint>

#include "graphics/images/image_types.h"

namespace tarvelo::graphics {

// True when every table and glyph of the font at `font` lies inside its
// `size` bytes (signature, version 6 or 7, at least one range, ranges in
// order, glyph offsets and bitmaps), so that drawing never reads past it.
bool font_is_valid(const std::uint8_t* font, std::uint64_t size);

}  // namespace tarvelo::graphics

extern "C" {

// `font_data` is the application's array: its first word is the font's address.
std::int32_t UI_DRAWING_SOFT_stringWidth(const std::uint16_t* chars, std::int32_t length,
                                         const std::uint8_t* font_data);
std::int32_t UI_DRAWING_SOFT_initializeRenderableStringSNIContext(const std::uint16_t* chars, std::int32_t length,
                                                                  const std::uint8_t* font_data,
                                                                  std::int32_t* context);
std::int32_t UI_DRAWING_SOFT_drawString(SPictavoGraphicsContext* gc, const std::uint16_t* chars, std::int32_t length,
                                        const std::uint8_t* font_data, std::int32_t x, std::int32_t y);
std::int32_t UI_DRAWING_SOFT_drawRenderableString(SPictavoGraphicsContext* gc, const std::uint16_t* chars,
                                                  std::int32_t length, const std::uint8_t* font_data,
                                                  std::int32_t width, std::int32_t* context, std::int32_t x,
                                                  std::int32_t y);
std::int32_t DW_DRAWING_SOFT_drawScaledStringBilinear(SPictavoGraphicsContext* gc, const std::uint16_t* chars,
                                                      std::int32_t length, const std::uint8_t* font_data,
                                                      std::int32_t x, std::int32_t y, float factor_x,
                                                      float factor_y);

std::int32_t DW_DRAWING_SOFT_drawScaledRenderableStringBilinear(SPictavoGraphicsContext* gc, const std::uint16_t* chars,
                                                                std::int32_t length, const std::uint8_t* font_data,
                                                                std::int32_t* context, std::int32_t x, std::int32_t y,
                                                                float factor_x, float factor_y);
// One character's glyph rotated by `angle` degrees about (rx, ry).
std::int32_t DW_DRAWING_SOFT_drawCharWithRotationBilinear(SPictavoGraphicsContext* gc, std::uint16_t character,
                                                          const std::uint8_t* font_data, std::int32_t x,
                                                          std::int32_t y, std::int32_t rx, std::int32_t ry,
                                                          float angle, std::int32_t alpha);
std::int32_t DW_DRAWING_SOFT_drawCharWithRotationNearestNeighbor(SPictavoGraphicsContext* gc, std::uint16_t character,
                                                                 const std::uint8_t* font_data, std::int32_t x,
                                                                 std::int32_t y, std::int32_t rx, std::int32_t ry,
                                                                 float angle, std::int32_t alpha);

}  // extern "C"
