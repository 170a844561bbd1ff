// Blending.
#include "graphics/pixels/blend.h"

#include <cstring>

#include "graphics/display/display_config.h"
#include "graphics/display/llui_display.h"
#include "graphics/pixels/pixel_formats.h"

namespace tarvelo::graphics {

std::uint32_t blend(std::uint32_t colour, std::uint32_t destination, std::uint32_t alpha) {
    if (alpha > 255) alpha = 255;
    const std::uint32_t a = alpha * (colour >> 24) / 255;
    return blend_channels(a, (colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF, destination);
}

void prepare_fixed_colours(std::uint32_t foreground, std::uint32_t background, std::uint32_t table[8]) {
    table[0] = background;
    for (std::uint32_t k = 1; k < 8; ++k) table[k] = blend(foreground, background, 255 * k / 7);
}

void Blender::prepare(SPictavoGraphicsContext* gc) {
    pixels_ = reinterpret_cast<std::uint16_t*>(image_pixels(&gc->image));
    stride_ = gc->image.memory_width;
    foreground_ = display_to_argb(argb_to_display(gc->foreground_color)) & 0xFFFFFF;
    foreground_ |= gc->foreground_color & 0xFF000000u;
    if (gc->image.flags & kImageBackgroundSet) {
        std::uint32_t background = display_to_argb(argb_to_display(gc->background_color | 0xFF000000u));
        std::uint32_t fg = foreground_;
        if (kDisplayFormat == 0 && LLUI_DISPLAY_IMPL_prepareBlendingOfIndexedColors(&fg, &background)) {
            table_[0] = background;
            const std::int32_t span = static_cast<std::int32_t>(fg) - static_cast<std::int32_t>(background);
            table_[1] = span == 0 ? 0 : static_cast<std::uint32_t>(((4080 / span) + 8) >> 4);
            table_[2] = fg;
            method_ = Method::IndexedColours;
            return;
        }
        prepare_fixed_colours(foreground_, background, table_);
        method_ = Method::FixedColours;
        return;
    }
    table_[0] = foreground_ >> 24;
    table_[1] = (foreground_ >> 16) & 0xFF;
    table_[2] = (foreground_ >> 8) & 0xFF;
    table_[3] = foreground_ & 0xFF;
    table_[4] = foreground_;
    method_ = (foreground_ >> 24) == 0xFF ? Method::Opaque : Method::Translucent;
}

void Blender::blendPixelWithTable(std::int32_t x, std::int32_t y, std::uint32_t opacity) {
    if (opacity > 255) opacity = 255;
    std::uint16_t* p = pixel(x, y);
    if (method_ == Method::IndexedColours) {
        // The port's indexed colours: a span too wide for the table's step
        // (or none) falls back to the nearer of the two colours.
        if (table_[1] == 0) *p = static_cast<std::uint16_t>(opacity >= 128 ? table_[2] : table_[0]);
        else *p = static_cast<std::uint16_t>(table_[0] + (((opacity * 16 / table_[1]) + 8) >> 4));
        return;
    }
    const std::uint32_t destination = method_ == Method::FixedColours ? 0 : display_to_argb(*p);
    *p = static_cast<std::uint16_t>(argb_to_display(blendColour(destination, opacity)));
}

}  // namespace tarvelo::graphics
