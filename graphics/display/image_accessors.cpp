// Accessors of image descriptors and graphics contexts, and the clip.
#include <algorithm>
#include <cstring>

#include "graphics/display/display_config.h"
#include "graphics/display/display_system.h"
#include "graphics/display/llui_display.h"
#include "graphics/images/image_heap.h"
#include "graphics/images/new_images.h"
#include "graphics/pixels/pixel_formats.h"
#include "platform/address.h"

using namespace tarvelo::graphics;

namespace {

void set_clip_flag(SPictavoGraphicsContext* gc) {
    if (gc->clip_x1 > gc->clip_x2 || gc->clip_y1 > gc->clip_y2) gc->image.flags |= kImageClipEmpty;
    else gc->image.flags &= static_cast<std::uint8_t>(~kImageClipEmpty);
}

// Intersects (x, y, w, h) with the bounds (bx, by, bw, bh) and stores it.
// Wide values are kept in 64 bits so that no sum wraps.
void set_clip(SPictavoGraphicsContext* gc, std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h,
              std::int64_t bx, std::int64_t by, std::int64_t bw, std::int64_t bh) {
    if (x < bx) {
        w += x - bx;
        x = bx;
    }
    if (y < by) {
        h += y - by;
        y = by;
    }
    std::int64_t kw, kh;
    const std::int64_t right = bx + bw;
    if (x < right) kw = std::max<std::int64_t>(0, std::min(right - x, w));
    else {
        x = right;
        kw = 0;
    }
    const std::int64_t bottom = by + bh;
    if (y < bottom) kh = std::max<std::int64_t>(0, std::min(bottom - y, h));
    else {
        y = bottom;
        kh = 0;
    }
    gc->clip_x1 = static_cast<std::int16_t>(x);
    gc->clip_y1 = static_cast<std::int16_t>(y);
    gc->clip_x2 = static_cast<std::int16_t>(x + kw - 1);
    gc->clip_y2 = static_cast<std::int16_t>(y + kh - 1);
    set_clip_flag(gc);
}

// Clips [*a, *b] to [lo, hi]; false when nothing is left.
bool clip_span(std::int32_t* a, std::int32_t* b, std::int32_t lo, std::int32_t hi) {
    if (*a < lo) {
        if (*b < lo) return false;
        *a = lo;
    }
    if (*b > hi) {
        if (*a > hi) return false;
        *b = hi;
    }
    return *a <= *b;
}

}  // namespace

extern "C" {

bool LLUI_DISPLAY_isLCD(const SPictavoImage* image) { return DisplaySystem::isDisplay(image); }
bool LLUI_DISPLAY_isImageClosed(const SPictavoImage* image) { return (image->flags & kImageClosed) != 0; }
bool LLUI_DISPLAY_isCustomFormat(std::int32_t format) { return is_custom_format(format); }
bool LLUI_DISPLAY_isDisplayFormat(std::int32_t format) { return format == kDisplayFormat; }

std::uint32_t LLUI_DISPLAY_getBufferAddress(const SPictavoImage* image) {
    if (image->flags & kImageBareBuffer) return image->data;
    return image->data + tarvelo::to_ptr<const RawHeader>(image->data)->buffer_offset;
}

void LLUI_DISPLAY_setBufferAddress(SPictavoImage* image, std::uint32_t address) { image->data = address; }

std::uint32_t LLUI_DISPLAY_getImageBPP(const SPictavoImage* image) {
    return bits_per_pixel(image->format == 0 ? kDisplayFormat : image->format);
}

std::uint32_t LLUI_DISPLAY_getStrideInBytes(const SPictavoImage* image) {
    return stride_to_bytes(LLUI_DISPLAY_getImageBPP(image), image->memory_width);
}

std::uint32_t LLUI_DISPLAY_getStrideInPixels(const SPictavoImage* image) {
    return stride_to_pixels(LLUI_DISPLAY_getImageBPP(image), image->memory_width);
}

bool LLUI_DISPLAY_isTransparent(const SPictavoImage* image) {
    if (image->flags & kImageNeverTransparent) return false;
    if (image->flags & kImageBareBuffer) return true;
    return (tarvelo::to_ptr<const RawHeader>(image->data)->flags & kRawOpaque) == 0;
}

std::uint32_t LLUI_DISPLAY_readPixel(const SPictavoImage* image, std::int32_t x, std::int32_t y) {
    if (x < 0 || y < 0 || x >= image->width || y >= image->height) return 0;
    PixelSource source;
    if (!prepare_source(image, 0, &source)) return 0;
    return read_pixel(source, x, y);
}

std::int32_t LLUI_DISPLAY_isColor(void) { return 1; }
std::uint32_t LLUI_DISPLAY_getNumberOfColors(void) { return display_colour_count(); }

void LLUI_DISPLAY_setForegroundColor(SPictavoGraphicsContext* gc, std::uint32_t argb) { gc->foreground_color = argb; }

void LLUI_DISPLAY_setBackgroundColor(SPictavoGraphicsContext* gc, std::uint32_t argb, std::int32_t set) {
    gc->background_color = argb;
    if (set) gc->image.flags |= kImageBackgroundSet;
    else gc->image.flags &= static_cast<std::uint8_t>(~kImageBackgroundSet);
}

void LLUI_DISPLAY_setEllipsis(SPictavoGraphicsContext* gc, std::uint32_t width) {
    gc->ellipsis_width = static_cast<std::uint16_t>(width);
}

void LLUI_DISPLAY_configureClip(SPictavoGraphicsContext* gc, bool enable) {
    if (enable) gc->image.flags &= static_cast<std::uint8_t>(~kImageClipDisabled);
    else gc->image.flags |= kImageClipDisabled;
}

bool LLUI_DISPLAY_isClipEnabled(const SPictavoGraphicsContext* gc) { return !(gc->image.flags & kImageClipDisabled); }
bool LLUI_DISPLAY_isEmptyClip(const SPictavoGraphicsContext* gc) { return (gc->image.flags & kImageClipEmpty) != 0; }

void LLUI_DISPLAY_resetClip(SPictavoGraphicsContext* gc) {
    gc->clip_x1 = 0;
    gc->clip_y1 = 0;
    gc->clip_x2 = static_cast<std::int16_t>(gc->image.width - 1);
    gc->clip_y2 = static_cast<std::int16_t>(gc->image.height - 1);
    set_clip_flag(gc);
}

void LLUI_DISPLAY_PRIVATE_setClip(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y, std::int32_t w,
                                  std::int32_t h) {
    set_clip(gc, x, y, w, h, 0, 0, gc->image.width, gc->image.height);
}

void LLUI_DISPLAY_PRIVATE_intersectClip(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y, std::int32_t w,
                                        std::int32_t h) {
    set_clip(gc, x, y, w, h, gc->clip_x1, gc->clip_y1, gc->clip_x2 - gc->clip_x1 + 1, gc->clip_y2 - gc->clip_y1 + 1);
}

bool LLUI_DISPLAY_isPixelInClip(const SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y) {
    return gc->clip_x1 <= x && x <= gc->clip_x2 && gc->clip_y1 <= y && y <= gc->clip_y2;
}

bool LLUI_DISPLAY_isRectangleInClip(const SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1,
                                    std::int32_t x2, std::int32_t y2) {
    return gc->clip_x1 <= x1 && x2 <= gc->clip_x2 && gc->clip_y1 <= y1 && y2 <= gc->clip_y2;
}

bool LLUI_DISPLAY_isRegionInClip(const SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y, std::int32_t w,
                                 std::int32_t h) {
    const std::int64_t x2 = static_cast<std::int64_t>(x) + w - 1;
    const std::int64_t y2 = static_cast<std::int64_t>(y) + h - 1;
    return gc->clip_x1 <= x && x2 <= gc->clip_x2 && gc->clip_y1 <= y && y2 <= gc->clip_y2;
}

bool LLUI_DISPLAY_clipRectangle(const SPictavoGraphicsContext* gc, std::int32_t* x1, std::int32_t* y1,
                                std::int32_t* x2, std::int32_t* y2) {
    return clip_span(x1, x2, gc->clip_x1, gc->clip_x2) && clip_span(y1, y2, gc->clip_y1, gc->clip_y2);
}

bool LLUI_DISPLAY_clipHorizontalLine(const SPictavoGraphicsContext* gc, std::int32_t* x1, std::int32_t* x2,
                                     std::int32_t y) {
    if (y < gc->clip_y1 || y > gc->clip_y2) return false;
    return clip_span(x1, x2, gc->clip_x1, gc->clip_x2);
}

bool LLUI_DISPLAY_clipVerticalLine(const SPictavoGraphicsContext* gc, std::int32_t* y1, std::int32_t* y2,
                                   std::int32_t x) {
    if (x < gc->clip_x1 || x > gc->clip_x2) return false;
    return clip_span(y1, y2, gc->clip_y1, gc->clip_y2);
}

bool LLUI_DISPLAY_clipRegion(const SPictavoGraphicsContext* gc, std::int32_t* sx, std::int32_t* sy, std::int32_t* w,
                             std::int32_t* h, std::int32_t* dx, std::int32_t* dy) {
    if (gc->clip_x1 > *dx) {
        const std::int32_t d = gc->clip_x1 - *dx;
        *w -= d;
        *sx += d;
        *dx += d;
    }
    if (static_cast<std::int64_t>(*dx) + *w - 1 > gc->clip_x2) *w = gc->clip_x2 + 1 - *dx;
    if (*w < 1) return false;
    if (gc->clip_y1 > *dy) {
        const std::int32_t d = gc->clip_y1 - *dy;
        *h -= d;
        *sy += d;
        *dy += d;
    }
    if (static_cast<std::int64_t>(*dy) + *h - 1 > gc->clip_y2) *h = gc->clip_y2 + 1 - *dy;
    return *h > 0;
}

void LLUI_DISPLAY_reportWarning(SPictavoGraphicsContext* gc, std::uint32_t bits) { gc->drawing_log |= bits; }

void LLUI_DISPLAY_closeOffScreen(SPictavoImage* image) {
    if (!(image->flags & kImageClosed) && (image->flags & kImageHeapOwned)) {
        // The block is the header: images in the image heap are created
        // with their header first. Unregistering only unlinks the resource;
        // the block is freed here, once.
        NewImages::dispose(image);
    }
    image->flags |= kImageClosed;
}

}  // extern "C"
