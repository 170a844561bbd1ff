// Software drawing into display-format images.
#include "graphics/drawing/soft_drawing.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "graphics/display/display_config.h"
#include "graphics/display/llui_display.h"
#include "graphics/pixels/blend.h"
#include "graphics/pixels/blend_rows.h"
#include "graphics/pixels/fill_pixels.h"
#include "graphics/pixels/pixel_formats.h"
#include "platform/address.h"

namespace tarvelo::graphics {

namespace {


struct Canvas {
    std::uint16_t* pixels;
    std::uint32_t stride;  // pixels

    explicit Canvas(const SPictavoImage* image)
        : pixels(reinterpret_cast<std::uint16_t*>(image_pixels(image))), stride(image->memory_width) {}
    std::uint16_t* row(std::int32_t y) const { return pixels + static_cast<std::size_t>(y) * stride; }
};

std::uint16_t colour_of(const SPictavoGraphicsContext* gc) {
    return static_cast<std::uint16_t>(argb_to_display(gc->foreground_color));
}

// Pixels x1..x2 of a row.
void fill_row(std::uint16_t* row, std::int32_t x1, std::int32_t x2, std::uint16_t colour) {
    fill_rgb565(row + x1, static_cast<std::size_t>(std::int64_t{x2} - x1 + 1), colour);
}

bool clip_enabled(const SPictavoGraphicsContext* gc) { return !(gc->image.flags & kImageClipDisabled); }

// Destination offset of source pixel (i, j) of a w x h region.
inline void transform(std::int32_t t, std::int32_t i, std::int32_t j, std::int32_t w, std::int32_t h,
                      std::int32_t* ox, std::int32_t* oy) {
    switch (t) {
        case 1: *ox = j, *oy = i; break;
        case 2: *ox = h - 1 - j, *oy = i; break;
        case 3: *ox = w - 1 - i, *oy = j; break;
        case 4: *ox = w - 1 - i, *oy = h - 1 - j; break;
        case 5: *ox = h - 1 - j, *oy = w - 1 - i; break;
        case 6: *ox = i, *oy = h - 1 - j; break;
        case 7: *ox = j, *oy = w - 1 - i; break;
        default: *ox = i, *oy = j; break;
    }
}

// One source pixel onto the RGB565 destination: alpha 0 leaves it; with
// `alpha` 255 an opaque pixel is written, any other is blended.
inline void put(std::uint16_t* d, std::uint32_t p, std::uint32_t alpha) {
    const std::uint32_t a = p >> 24;
    if (a == 0) return;
    if (alpha == 255 && a == 255) {
        *d = argb_to_rgb565(p);
        return;
    }
    *d = argb_to_rgb565(blend(p, rgb565_to_argb(*d), alpha));
}

// Whole rows of an ARGB8888 source (the common translucent image) with a
// global alpha: the same values as `put`.
void blend_argb8888_rows(const std::uint8_t* src, std::uint32_t src_stride, std::int32_t x, std::int32_t y,
                         std::int32_t w, std::int32_t h, const Canvas& dst, std::int32_t dx, std::int32_t dy,
                         std::uint32_t alpha) {
    for (std::int32_t j = 0; j < h; ++j) {
        const std::uint8_t* s = src + 4 * (static_cast<std::size_t>(y + j) * src_stride + static_cast<std::uint32_t>(x));
        blend_argb8888_over_rgb565(dst.row(dy + j) + dx, s, w, alpha);
    }
}

bool opaque_display_format(const SPictavoImage* image) {
    if (image->flags & kImageNeverTransparent) return true;
    if (image->flags & kImageBareBuffer) return false;
    const auto* header = to_ptr<const RawHeader>(image->data);
    return (header->flags & kRawOpaque) && (header->flags & kRawDisplayFormat) &&
           (image->format == 0 || image->format == kDisplayFormat);
}

}  // namespace

void SoftDrawing::boundAxis(std::int32_t size, std::int32_t& position, std::int32_t& length, std::int32_t& partner) {
    std::int64_t p = position, l = length, q = partner;
    if (p < 0) {
        l += p;
        q -= p;
        p = 0;
    }
    if (p + l > size) l = size - p;
    auto saturate = [](std::int64_t v) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                                  std::numeric_limits<std::int32_t>::max()));
    };
    position = saturate(p);
    length = saturate(l);
    partner = saturate(q);
}

void SoftDrawing::drawPixel(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y) {
    if (!LLUI_DISPLAY_isPixelInClip(gc, x, y)) return;
    Canvas(&gc->image).row(y)[x] = colour_of(gc);
}

void SoftDrawing::drawHLine(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t x2, std::int32_t y) {
    if (clip_enabled(gc)) {
        if (y < gc->clip_y1 || y > gc->clip_y2) return;
        x1 = std::max<std::int32_t>(x1, gc->clip_x1);
        x2 = std::min<std::int32_t>(x2, gc->clip_x2);
    }
    if (x1 > x2) return;
    fill_row(Canvas(&gc->image).row(y), x1, x2, colour_of(gc));
}

void SoftDrawing::drawVLine(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y1, std::int32_t y2) {
    if (clip_enabled(gc)) {
        if (x < gc->clip_x1 || x > gc->clip_x2) return;
        y1 = std::max<std::int32_t>(y1, gc->clip_y1);
        y2 = std::min<std::int32_t>(y2, gc->clip_y2);
    }
    if (y1 > y2) return;
    const Canvas canvas(&gc->image);
    const std::uint16_t colour = colour_of(gc);
    for (std::int32_t y = y1; y <= y2; ++y) canvas.row(y)[x] = colour;
}

void SoftDrawing::fillRect(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                           std::int32_t y2) {
    if (clip_enabled(gc)) {
        // The crop of an untransformed region: the rectangle meets the clip
        // (without forming x2 - x1 + 1, which overflows at the range's ends).
        x1 = std::max<std::int32_t>(x1, gc->clip_x1);
        y1 = std::max<std::int32_t>(y1, gc->clip_y1);
        x2 = std::min<std::int32_t>(x2, gc->clip_x2);
        y2 = std::min<std::int32_t>(y2, gc->clip_y2);
    }
    if (x1 > x2 || y1 > y2) return;
    const Canvas canvas(&gc->image);
    const std::uint16_t colour = colour_of(gc);
    if (x1 == 0 && static_cast<std::uint32_t>(x2) + 1 == canvas.stride) {
        // Whole rows one after the other: one run of pixels.
        fill_rgb565(canvas.row(y1), std::size_t{canvas.stride} * static_cast<std::uint32_t>(y2 - y1 + 1), colour);
        return;
    }
    for (std::int32_t y = y1; y <= y2; ++y) fill_row(canvas.row(y), x1, x2, colour);
}

void SoftDrawing::drawRect(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                           std::int32_t y2) {
    drawHLine(gc, x1, x2, y1);
    drawVLine(gc, x2, y1, y2);
    drawVLine(gc, x1, y1, y2);
    drawHLine(gc, x1, x2, y2);
}

bool SoftDrawing::cropRegion(const SPictavoGraphicsContext* gc, std::int32_t* x, std::int32_t* y, std::int32_t* w,
                             std::int32_t* h, std::int32_t* dx, std::int32_t* dy, std::int32_t t) {
    if (t < 0 || t > 7) return false;
    const bool swapped = t == 1 || t == 2 || t == 5 || t == 7;
    std::int64_t dw = swapped ? *h : *w;
    std::int64_t dh = swapped ? *w : *h;
    std::int64_t sx = *x, sy = *y, px = *dx, py = *dy;
    if (px < gc->clip_x1) {
        const std::int64_t c = gc->clip_x1 - px;
        dw -= c;
        px = gc->clip_x1;
        if (t == 0 || t == 6) sx += c;
        if (t == 1 || t == 7) sy += c;
    }
    if (py < gc->clip_y1) {
        const std::int64_t c = gc->clip_y1 - py;
        dh -= c;
        py = gc->clip_y1;
        if (t == 0 || t == 3) sy += c;
        if (t == 1 || t == 2) sx += c;
    }
    if (px + dw - 1 > gc->clip_x2) {
        const std::int64_t c = px + dw - 1 - gc->clip_x2;
        dw -= c;
        if (t == 2 || t == 5) sy += c;
        if (t == 3 || t == 4) sx += c;
    }
    if (py + dh - 1 > gc->clip_y2) {
        const std::int64_t c = py + dh - 1 - gc->clip_y2;
        dh -= c;
        if (t == 4 || t == 6) sy += c;
        if (t == 5 || t == 7) sx += c;
    }
    if (dw < 1 || dh < 1) return false;
    // A source origin moved beyond the 32-bit range lies past any image.
    const auto fits = [](std::int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; };
    if (!fits(sx) || !fits(sy)) return false;
    *x = static_cast<std::int32_t>(sx);
    *y = static_cast<std::int32_t>(sy);
    *dx = static_cast<std::int32_t>(px);
    *dy = static_cast<std::int32_t>(py);
    *w = static_cast<std::int32_t>(swapped ? dh : dw);
    *h = static_cast<std::int32_t>(swapped ? dw : dh);
    return true;
}

void SoftDrawing::drawRegion(const SPictavoImage* image, std::int32_t x, std::int32_t y, std::int32_t w,
                             std::int32_t h, SPictavoGraphicsContext* gc, std::int32_t dx, std::int32_t dy,
                             std::int32_t alpha, std::int32_t t, bool crop) {
    if (t < 0 || t > 7 || alpha <= 0) return;
    if (alpha > 255) alpha = 255;
    if (crop && !cropRegion(gc, &x, &y, &w, &h, &dx, &dy, t)) return;
    if (w < 1 || h < 1) return;
    const bool same = image->data == gc->image.data;
    if (same) {
        const std::int64_t bottom = std::int64_t{y} + h, right = std::int64_t{x} + w;
        t = ((dy > y && dy < bottom) || (dy == y && dx > x && dx < right)) ? kTransformOverlap : kTransformCopy;
    }
    const Canvas dst(&gc->image);
    const bool straight = t == 0 || t == kTransformCopy || t == kTransformOverlap;
    if (straight) {
        // Untransformed: the source region bounded to the image, the
        // destination moved with it (no pixel outside the source is read).
        boundAxis(image->width, x, w, dx);
        boundAxis(image->height, y, h, dy);
        boundAxis(gc->image.width, dx, w, x);
        boundAxis(gc->image.height, dy, h, y);
        if (w < 1 || h < 1) return;
        if (alpha == 255 && opaque_display_format(image)) {
            const Canvas src(image);
            if (t == kTransformOverlap) {
                for (std::int32_t j = h - 1; j >= 0; --j)
                    std::memmove(dst.row(dy + j) + dx, src.row(y + j) + x, 2u * static_cast<std::uint32_t>(w));
            } else if (w == image->width && w == gc->image.width && src.stride == dst.stride && !same) {
                std::memmove(dst.row(dy) + dx, src.row(y) + x, 2ull * src.stride * static_cast<std::uint32_t>(h));
            } else {
                for (std::int32_t j = 0; j < h; ++j)
                    std::memmove(dst.row(dy + j) + dx, src.row(y + j) + x, 2u * static_cast<std::uint32_t>(w));
            }
            return;
        }
        if (image->format == kFormatARGB8888 && !same) {
            blend_argb8888_rows(image_pixels(image), image->memory_width, x, y, w, h, dst, dx, dy,
                                static_cast<std::uint32_t>(alpha));
            return;
        }
    }
    PixelSource source;
    if (!prepare_source(image, gc->foreground_color, &source)) return;
    const auto a = static_cast<std::uint32_t>(alpha);
    if (t == kTransformOverlap) {
        for (std::int32_t j = h - 1; j >= 0; --j)
            for (std::int32_t i = w - 1; i >= 0; --i)
                put(dst.row(dy + j) + dx + i, read_pixel(source, x + i, y + j), a);
        return;
    }
    // The cropped source origin may lie anywhere in the 32-bit range.
    for (std::int32_t j = 0; j < h; ++j) {
        const std::int64_t sy = std::int64_t{y} + j;
        if (sy < 0 || sy >= image->height) continue;
        for (std::int32_t i = 0; i < w; ++i) {
            const std::int64_t sx = std::int64_t{x} + i;
            if (sx < 0 || sx >= image->width) continue;
            std::int32_t ox, oy;
            transform(t, i, j, w, h, &ox, &oy);
            put(dst.row(dy + oy) + dx + ox,
                read_pixel(source, static_cast<std::int32_t>(sx), static_cast<std::int32_t>(sy)), a);
        }
    }
}

void SoftDrawing::copyImage(SPictavoGraphicsContext* gc, const SPictavoImage* image, std::int32_t x, std::int32_t y,
                            std::int32_t w, std::int32_t h, std::int32_t dx, std::int32_t dy) {
    const bool same = image->data == gc->image.data;
    if (same && x == dx && y == dy) return;
    boundAxis(image->width, x, w, dx);
    boundAxis(image->height, y, h, dy);
    boundAxis(gc->image.width, dx, w, x);
    boundAxis(gc->image.height, dy, h, y);
    if (w < 1 || h < 1) return;
    const Canvas src(image);
    const Canvas dst(&gc->image);
    const std::size_t bytes = 2u * static_cast<std::uint32_t>(w);
    // Rows from the last when the destination is below; memmove keeps each
    // row right whichever way it overlaps.
    if (y < dy) {
        for (std::int32_t j = h - 1; j >= 0; --j) std::memmove(dst.row(dy + j) + dx, src.row(y + j) + x, bytes);
    } else {
        for (std::int32_t j = 0; j < h; ++j) std::memmove(dst.row(dy + j) + dx, src.row(y + j) + x, bytes);
    }
}

}  // namespace tarvelo::graphics
