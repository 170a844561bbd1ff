// The drawer dispatch of the port: every drawing operation of the
// user-interface and drawing libraries goes through one dispatch function
// `UI_DRAWING_<operation>`, which calls entry [drawer identifier] of the
// operation's table `UI_DRAWER_<operation>`. Drawer 0 draws into images of
// the display format (back buffer included), drawer 1 into buffered vector
// images (format -8). The entries `UI_DRAWING_<operation>_0` and `_1` have
// weak defaults (drawer_defaults.cpp) that an accelerator back end or the
// vector-image recorder replaces by strong definitions of the same names.
// Every drawing function returns the drawing status: 0 done, 1 running on
// the accelerator.
#pragma once

#include <cstdint>

#include "graphics/images/image_types.h"

extern "C" {

// Per operation: its entry type, dispatch function, two entries and table;
// its stub; and, for drawer 1's text and image operations, the text drawer
// (`UI_FONT_DRAWING_<name>`) or image drawer (`UI_IMAGE_DRAWING_<name>`):
// the engine's software routine when the destination is in the display
// format, else the stub. The stubs marked `own` in the table forward: the
// renderable strings are drawn as plain strings (width and context dropped)
// through the text drawer.
#define UI_DRAWER_STUB_yes(name, params) std::int32_t UI_DRAWING_STUB_##name params;
#define UI_DRAWER_STUB_own(name, params) UI_DRAWER_STUB_yes(name, params)
#define UI_DRAWER_STUB_no(name, params)
#define UI_DRAWER_VECTOR_FONT(name, params) std::int32_t UI_FONT_DRAWING_##name params;
#define UI_DRAWER_VECTOR_IMAGE(name, params) std::int32_t UI_IMAGE_DRAWING_##name params;
#define UI_DRAWER_VECTOR_STUB(name, params)
#define UI_DRAWER_VECTOR_UNSUPPORTED(name, params)
#define UI_DRAWER_OPERATION(name, drawer0, drawer1, stub, params, args) \
    using UI_DRAWER_##name##_t = std::int32_t params;                     \
    std::int32_t UI_DRAWING_##name params;                                \
    std::int32_t UI_DRAWING_##name##_0 params;                            \
    std::int32_t UI_DRAWING_##name##_1 params;                            \
    extern UI_DRAWER_##name##_t* const UI_DRAWER_##name[2];               \
    UI_DRAWER_STUB_##stub(name, params)                                   \
    UI_DRAWER_VECTOR_##drawer1(name, params)
#include "graphics/drawing/drawer_operations.def"
#undef UI_DRAWER_OPERATION
#undef UI_DRAWER_STUB_yes
#undef UI_DRAWER_STUB_own
#undef UI_DRAWER_STUB_no
#undef UI_DRAWER_VECTOR_FONT
#undef UI_DRAWER_VECTOR_IMAGE
#undef UI_DRAWER_VECTOR_STUB
#undef UI_DRAWER_VECTOR_UNSUPPORTED

// Not drawer-dependent: the engine's software text functions.
std::int32_t UI_DRAWING_stringWidth(const std::uint16_t* chars, std::int32_t length, const std::uint8_t* font);
std::int32_t UI_DRAWING_initializeRenderableStringSNIContext(const std::uint16_t* chars, std::int32_t length,
                                                             const std::uint8_t* font, std::int32_t* context);

// The image hooks' entries: the engine's hooks `LLUI_DISPLAY_IMPL_*` of the
// same names call entry max(drawer identifier of the format, 0).
using UI_DRAWER_getNewImageStrideInBytes_t = std::uint32_t(std::int32_t format, std::uint32_t width,
                                                           std::uint32_t height, std::uint32_t default_stride);
using UI_DRAWER_adjustNewImageCharacteristics_t = void(std::int32_t format, std::uint32_t width, std::uint32_t height,
                                                       std::uint32_t* data_size, std::uint32_t* data_alignment);
using UI_DRAWER_initializeNewImage_t = void(SPictavoImage* image);
using UI_DRAWER_freeImageResources_t = void(SPictavoImage* image);
UI_DRAWER_getNewImageStrideInBytes_t UI_DRAWING_getNewImageStrideInBytes_0, UI_DRAWING_getNewImageStrideInBytes_1;
UI_DRAWER_adjustNewImageCharacteristics_t UI_DRAWING_adjustNewImageCharacteristics_0,
    UI_DRAWING_adjustNewImageCharacteristics_1;
UI_DRAWER_initializeNewImage_t UI_DRAWING_initializeNewImage_0, UI_DRAWING_initializeNewImage_1;
UI_DRAWER_freeImageResources_t UI_DRAWING_freeImageResources_0, UI_DRAWING_freeImageResources_1;
extern UI_DRAWER_getNewImageStrideInBytes_t* const UI_DRAWER_getNewImageStrideInBytes[2];
extern UI_DRAWER_adjustNewImageCharacteristics_t* const UI_DRAWER_adjustNewImageCharacteristics[2];
extern UI_DRAWER_initializeNewImage_t* const UI_DRAWER_initializeNewImage[2];
extern UI_DRAWER_freeImageResources_t* const UI_DRAWER_freeImageResources[2];

}  // extern "C"

namespace tarvelo::port::drawing {

// The drawer identifiers.
inline constexpr std::uint8_t kDisplayDrawer = 0;
inline constexpr std::uint8_t kVectorImageDrawer = 1;
// The format of buffered vector images.
inline constexpr std::int32_t kVectorImageFormat = -8;

// What every stub does: marks the drawing log "error, not supported by the
// drawer" (0x80000001) and reports the drawing as done (0).
std::int32_t mark_not_supported(SPictavoGraphicsContext* gc);

}  // namespace tarvelo::port::drawing
