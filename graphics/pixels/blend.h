// Blending: the one formula of the engine and the per-drawing blender that
// anti-aliased drawers and text use. Every pixel the engine mixes with the
// destination goes through `blend_channels`.
#pragma once

#include <cstddef>
#include <cstdint>

#include "graphics/display/display_config.h"
#include "graphics/images/image_types.h"
#include "graphics/pixels/pixel_formats.h"

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
    // Writes pixel (x, y) of the context for `opacity` 0..255. The common
    // case (a colour over an RGB565 display, no background) is inline: the
    // anti-aliased drawers call this for every pixel of their fades.
    void blendPixel(std::int32_t x, std::int32_t y, std::uint32_t opacity) {
        if constexpr (kDisplayFormat == kFormatRGB565) {
            if (method_ == Method::Opaque || method_ == Method::Translucent) {
                std::uint16_t* p = pixel(x, y);
                *p = argb_to_rgb565(blendColour(rgb565_to_argb(*p), opacity));
                return;
            }
        }
        blendPixelWithTable(x, y, opacity);
    }
    // The colour `blendPixel` gives over `destination` (ARGB).
    std::uint32_t blendColour(std::uint32_t destination, std::uint32_t opacity) const {
        if (opacity > 255) opacity = 255;
        switch (method_) {
            case Method::FixedColours:
            case Method::IndexedColours: return table_[opacity >> 5];
            case Method::Opaque:
                if (opacity == 255) return foreground_;
                [[fallthrough]];
            case Method::Translucent:
                return blend_channels(table_[0] * opacity / 255, table_[1], table_[2], table_[3], destination);
        }
        return destination;
    }

    Method method() const { return method_; }
    std::uint32_t table(std::uint32_t i) const { return table_[i]; }

  private:
    void blendPixelWithTable(std::int32_t x, std::int32_t y, std::uint32_t opacity);
    std::uint16_t* pixel(std::int32_t x, std::int32_t y) const {
        return pixels_ + static_cast<std::size_t>(y) * stride_ + x;
    }

    // The context's pixels and stride in pixels, read once per drawing.
    std::uint16_t* pixels_ = nullptr;
    std::size_t stride_ = 0;
    std::uint32_t foreground_ = 0;
    std::uint32_t table_[8] = {};
    Method method_ = Method::Opaque;
};

// The fixed-background table: [0] the background, [k] the foreground over
// it at opacity 255 * k / 7.
void prepare_fixed_colours(std::uint32_t foreground, std::uint32_t background, std::uint32_t table[8]);

}  // namespace tarvelo::graphics
