// The type an object's header names, against the types base of its owner.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/core/image/image_symbols.h"
#include "vm/memory/object_header.h"

namespace tarvelo {

inline std::uint32_t object_header_word(word_t obj) { return *to_ptr<std::uint32_t>(obj); }
inline std::uint32_t object_owner_word(word_t obj) { return *to_ptr<std::uint32_t>(obj + memory::kOwnerOffset); }

// Installed applications resolve their own types against their types base;
// none is installed while only kernel code runs.
inline word_t object_type(word_t obj) {
    return to_word(_java_header_types_start) + memory::header_type_offset(object_header_word(obj));
}

}  // namespace tarvelo
