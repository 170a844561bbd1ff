// Arguments of the engine's and the port's native-interface functions: an
// array arrives as a pointer to its first element, its length in the word
// before it. A graphics context or an image descriptor is a byte array of
// the application; the display's context is bound at its current address
// (the collector moves it) whenever a native receives it.
#pragma once

#include <cstdint>

#include "graphics/images/image_types.h"
#include "vm/core/engine/java_array_range.h"

namespace tarvelo::graphics {

// Raises the engine's native exception (code -1) with `message`.
void raise_native_error(const char* message);

// A graphics context argument: a byte array of at least 36 bytes; anything
// else raises and gives null.
SPictavoGraphicsContext* context_of(std::int8_t* array);

// An image argument: a byte array of at least 12 bytes (a whole context for
// the display); anything else raises and gives null.
SPictavoImage* image_of(std::int8_t* array);

}  // namespace tarvelo::graphics
