// The painter natives' protocol and argument checks.
#include "port/display/drawing/painter_support.h"

#include <cstring>

#include "graphics/display/llui_display.h"
#include "graphics/natives/native_arguments.h"
#include "port/display/drawing/ui_trace.h"

namespace tarvelo::port::drawing {

bool chars_fit(const std::uint16_t* chars, std::int32_t offset, std::int32_t length) {
    return java_array_range_ok(chars, offset, length);
}

bool context_fits(const std::int32_t* context, std::int32_t length) {
    return java_array_range_ok(context, 0, length);
}

bool font_is_set(const std::int8_t* font) {
    if (!java_array_range_ok(font, 0, 4)) return false;
    std::uint32_t address;
    std::memcpy(&address, font, 4);
    return address != 0;
}

ImageOperation image_operation(const SPictavoGraphicsContext* gc, const SPictavoImage* image, std::int32_t alpha) {
    if (image->format != gc->image.format) return ImageOperation::kDrawOtherFormat;
    if (alpha == 255 && !LLUI_DISPLAY_isTransparent(image)) return ImageOperation::kCopyImage;
    if (LLUI_DISPLAY_getBufferAddress(image) == LLUI_DISPLAY_getBufferAddress(&gc->image)) {
        return ImageOperation::kDrawRegion;
    }
    return ImageOperation::kDrawImage;
}

SPictavoGraphicsContext* begin_painting(std::int8_t* gc_array, void* native, std::int32_t operation) {
    SPictavoGraphicsContext* gc = graphics::context_of(gc_array);
    if (gc == nullptr || !LLUI_DISPLAY_requestDrawing(gc, native)) return nullptr;
    ui_trace_event(0, operation);
    return gc;
}

void end_painting(std::int32_t status) {
    LLUI_DISPLAY_setDrawingStatus(status);
    ui_trace_event_end(0, status);
}

}  // namespace tarvelo::port::drawing
