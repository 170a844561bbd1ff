// What the painter natives of both libraries share: the drawing protocol
// (request, trace, draw, status) and the checks of their arguments.
#pragma once

#include <cstdint>
#include <limits>

#include "graphics/images/image_types.h"

namespace tarvelo::port::drawing {

// Runs one drawing of operation `operation`: the context argument is checked
// (a bad one raises), the engine grants the right to draw (or suspends the
// thread, which runs `native` again later), the trace event brackets
// `draw(gc)`, whose result is the drawing status reported to the engine.
template <typename Draw>
void paint(std::int8_t* gc_array, void* native, std::int32_t operation, Draw draw);

// The address of a native, which the engine runs again after a suspension.
template <typename Native>
void* native_address(Native native) {
    return reinterpret_cast<void*>(native);
}

// A font argument as the text drawers take it.
inline const std::uint8_t* font_bytes(const std::int8_t* font) { return reinterpret_cast<const std::uint8_t*>(font); }

// `start + length - 1`, saturated to the 32-bit range instead of wrapping.
inline std::int32_t last_of(std::int32_t start, std::int32_t length) {
    const std::int64_t last = static_cast<std::int64_t>(start) + length - 1;
    if (last > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (last < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(last);
}

// An arc angle that truncates to 0 (or is not a number) draws nothing.
inline bool arc_is_empty(float arc_angle) { return !(arc_angle >= 1.0f || arc_angle <= -1.0f); }

// A thick shape needs a thickness or a fade of at least 1, and neither
// negative.
inline bool thick_faded_is_empty(std::int32_t thickness, std::int32_t fade) {
    return (thickness < 1 && fade < 1) || thickness < 0 || fade < 0;
}

// Alpha above opaque is opaque.
inline std::int32_t clamp_alpha(std::int32_t alpha) { return alpha > 255 ? 255 : alpha; }

// `length` characters from `offset` lie inside the char array.
bool chars_fit(const std::uint16_t* chars, std::int32_t offset, std::int32_t length);
// A renderable-string context holds one int per character.
bool context_fits(const std::int32_t* context, std::int32_t length);
// A font array that names a font (its first word, set when the font was
// loaded).
bool font_is_set(const std::int8_t* font);


// How an image is drawn (alpha already at most 255): an image of another
// format is converted by drawImage; an opaque image at full alpha is copied
// from its readable source; an image whose pixels are the destination's own
// buffer is moved inside it (drawRegion, overlap-safe); anything else is
// blended from its readable source.
enum class ImageOperation { kDrawOtherFormat, kCopyImage, kDrawRegion, kDrawImage };
ImageOperation image_operation(const SPictavoGraphicsContext* gc, const SPictavoImage* image, std::int32_t alpha);

// Begin and end of a drawing, between which `paint` runs its drawing.
SPictavoGraphicsContext* begin_painting(std::int8_t* gc_array, void* native, std::int32_t operation);
void end_painting(std::int32_t status);

template <typename Draw>
void paint(std::int8_t* gc_array, void* native, std::int32_t operation, Draw draw) {
    SPictavoGraphicsContext* gc = begin_painting(gc_array, native, operation);
    if (gc != nullptr) end_painting(draw(gc));
}

}  // namespace tarvelo::port::drawing
