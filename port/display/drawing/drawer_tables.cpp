// The drawer tables and their dispatch functions, the text functions that
// no drawer changes, and the engine's image hooks answered per drawer.
//
// The engine keeps weak defaults of the image hooks; the strong ones here
// replace them in every firmware that links a drawing native (the natives
// reach this file through the dispatch functions).
#include <algorithm>

#include "graphics/display/llui_display.h"
#include "graphics/fonts/fonts.h"
#include "port/display/drawing/ui_drawing.h"

using tarvelo::port::drawing::mark_not_supported;

extern "C" {

// A drawer identifier beyond the tables (the context lives in an
// application array, so its byte is not to be trusted blindly) draws
// nothing and says so in the drawing log.
#define UI_DRAWER_OPERATION(name, drawer0, drawer1, stub, params, args)                                        \
    UI_DRAWER_##name##_t* const UI_DRAWER_##name[2] = {UI_DRAWING_##name##_0, UI_DRAWING_##name##_1};        \
    std::int32_t UI_DRAWING_##name params {                                                                    \
        return gc->drawer < 2 ? UI_DRAWER_##name[gc->drawer] args : mark_not_supported(gc);                    \
    }
#include "graphics/drawing/drawer_operations.def"
#undef UI_DRAWER_OPERATION

std::int32_t UI_DRAWING_stringWidth(const std::uint16_t* chars, std::int32_t length, const std::uint8_t* font) {
    return UI_DRAWING_SOFT_stringWidth(chars, length, font);
}

std::int32_t UI_DRAWING_initializeRenderableStringSNIContext(const std::uint16_t* chars, std::int32_t length,
                                                             const std::uint8_t* font, std::int32_t* context) {
    return UI_DRAWING_SOFT_initializeRenderableStringSNIContext(chars, length, font, context);
}

UI_DRAWER_getNewImageStrideInBytes_t* const UI_DRAWER_getNewImageStrideInBytes[2] = {
    UI_DRAWING_getNewImageStrideInBytes_0, UI_DRAWING_getNewImageStrideInBytes_1};
UI_DRAWER_adjustNewImageCharacteristics_t* const UI_DRAWER_adjustNewImageCharacteristics[2] = {
    UI_DRAWING_adjustNewImageCharacteristics_0, UI_DRAWING_adjustNewImageCharacteristics_1};
UI_DRAWER_initializeNewImage_t* const UI_DRAWER_initializeNewImage[2] = {UI_DRAWING_initializeNewImage_0,
                                                                         UI_DRAWING_initializeNewImage_1};
UI_DRAWER_freeImageResources_t* const UI_DRAWER_freeImageResources[2] = {UI_DRAWING_freeImageResources_0,
                                                                         UI_DRAWING_freeImageResources_1};

std::int32_t LLUI_DISPLAY_IMPL_getDrawerIdentifier(std::int32_t format) {
    if (LLUI_DISPLAY_isDisplayFormat(format)) return tarvelo::port::drawing::kDisplayDrawer;
    if (format == tarvelo::port::drawing::kVectorImageFormat) return tarvelo::port::drawing::kVectorImageDrawer;
    return -1;
}

}  // extern "C"

namespace {

// Formats without a drawer take drawer 0's answer.
std::int32_t hook_entry(std::int32_t format) { return std::max(LLUI_DISPLAY_IMPL_getDrawerIdentifier(format), 0); }

}  // namespace

extern "C" {

std::uint32_t LLUI_DISPLAY_IMPL_getNewImageStrideInBytes(std::int32_t format, std::uint32_t width,
                                                         std::uint32_t height, std::uint32_t default_stride) {
    return UI_DRAWER_getNewImageStrideInBytes[hook_entry(format)](format, width, height, default_stride);
}

void LLUI_DISPLAY_IMPL_adjustNewImageCharacteristics(std::int32_t format, std::uint32_t width, std::uint32_t height,
                                                     std::uint32_t* data_size, std::uint32_t* data_alignment) {
    UI_DRAWER_adjustNewImageCharacteristics[hook_entry(format)](format, width, height, data_size, data_alignment);
}

void LLUI_DISPLAY_IMPL_initializeNewImage(SPictavoImage* image) {
    UI_DRAWER_initializeNewImage[hook_entry(image->format)](image);
}

void LLUI_DISPLAY_IMPL_freeImageResources(SPictavoImage* image) {
    UI_DRAWER_freeImageResources[hook_entry(image->format)](image);
}

}  // extern "C"
