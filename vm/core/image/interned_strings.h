// The interned-string iterator: the image's interned Strings one by one, for
// System.nextInternedString. Its cursor is reset at every start of the
// virtual machine (the InternedStringIterator component's start).
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

void reset_interned_string_iterator();
// The next interned String, or 0 after the last (and on every later call).
word_t next_interned_string();
// Interned String `index` of the kernel image, 0 outside them: the string
// table's own walk, which no other walk's cursor moves.
word_t interned_string_at(std::int32_t index);
// The number of interned-string records of the kernel image.
std::int32_t interned_string_count();

}  // namespace tarvelo
