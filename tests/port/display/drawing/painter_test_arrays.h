// Application arrays for the drawing tests: the natives receive an array as
// a pointer to its first element with the length in the word before it, and
// a context or image as a byte array holding its descriptor.
#pragma once

#include <cstdint>
#include <cstring>

#include "graphics/images/image_types.h"
#include "tests/graphics/test_port.h"

namespace tarvelo::port::drawing::test {

// Zeroed bytes below 4 GiB from a static area, kept until reset_arrays().
std::uint8_t* array_bytes(std::uint32_t size);
void reset_arrays();

// A zeroed array of `count` elements below 4 GiB.
template <typename T>
T* java_array(std::uint32_t count) {
    std::uint8_t* block = array_bytes(8 + count * static_cast<std::uint32_t>(sizeof(T)));
    const std::int32_t length = static_cast<std::int32_t>(count);
    std::memcpy(block + 4, &length, 4);
    return reinterpret_cast<T*>(block + 8);
}

// A byte array holding a copy of `bytes`.
std::int8_t* byte_array_of(const void* bytes, std::uint32_t size);

inline SPictavoGraphicsContext* gc_of(std::int8_t* array) { return reinterpret_cast<SPictavoGraphicsContext*>(array); }

// A canvas (RGB565, clip the whole canvas) whose context lives in an
// application array.
struct ArrayCanvas {
    graphics::test::Canvas canvas;
    std::int8_t* array;
    ArrayCanvas(std::uint32_t w, std::uint32_t h);
    SPictavoGraphicsContext* gc() { return gc_of(array); }
    std::uint16_t& at(std::int32_t x, std::int32_t y) { return canvas.at(x, y); }
    // Pixels that are not 0.
    int drawn() const;
    void clear();
};

// The engine's tiny test font (one glyph, 'A', one pixel) below 4 GiB, and
// the application's font array naming it.
std::int8_t* tiny_font();

// A char array holding `text`.
std::uint16_t* chars_of(const char* text);

}  // namespace tarvelo::port::drawing::test
