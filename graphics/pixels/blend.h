// Blending: the one formula of the engine and the per-drawing blender that
// anti-aliased drawers and text use. Every pixel the engine mixes with the
// destination goes through `blend_channels`.
#pragma once

#include <cstdint>

#include "graphics/images/image_types.h"

namespace tarvelo::graphics {

// c' = (c * a + d * (255 - a)) / 255 per channel of (r, g, b) over the
// destination; the result is opaque. Red and blue are computed side by side
// in the two 16-bit halves of one word; (v + 1 + (v >> 8)) >> 8 equals
// v / 255 for every v up to 255 * 255.
inline std::uint32_t blend_channels(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b,
                                    std::uint32_t destination) {
    const std::uint32_t na = 255 - a;
    std::uint32_t rb = ((r << 16) | b) * a + (destination & 0x00FF00FFu) * na;
    rb = ((rb + 0x00010001u + ((rb >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
    std::uint32_t gg = g * a + ((destination >> 8) & 0xFF) * na;
    gg = (gg + 1 + (gg >> 8)) >> 8;
    return 0xFF000000u | rb | gg << 8;
}

// The colour over the destination, its alpha scaled by `alpha` / 255
// (alpha is clamped to 0..255).
std::uint32_t blend(std::uint32_t colour, std::uint32_t destination, std::uint32_t alpha);

// The blender of one drawing into a graphics context (16-bit destination).
class Blender {
  public:
    enum class Method { Opaque, Translucent, FixedColours, IndexedColours };

    // Prepares for the context's colours: the foreground after a round trip
    // through the display format; with a background colour, the table of
    // eight pre-blended colours (or the port's indexed colours).
    void prepare(SPictavoGraphicsContext* gc);
    // Writes pixel (x, y) of the context for `opacity` 0..255.
    void blendPixel(std::int32_t x, std::int32_t y, std::uint32_t opacity);
    // The colour `blendPixel` gives over `destination` (ARGB).
    std::uint32_t blendColour(std::uint32_t destination, std::uint32_t opacity) const;

    Method method() const { return method_; }
    std::uint32_t table(std::uint32_t i) const { return table_[i]; }

  private:
    SPictavoGraphicsContext* gc_ = nullptr;
    std::uint32_t foreground_ = 0;
    std::uint32_t table_[8] = {};
    Method method_ = Method::Opaque;
};

// The fixed-background table: [0] the background, [k] the foreground over
// it at opacity 255 * k / 7.
void prepare_fixed_colours(std::uint32_t foreground, std::uint32_t background, std::uint32_t table[8]);

}  // namespace tarvelo::graphics
