// The type an object's header names, against the types base of its owner
// (the kernel's, or that of the installed application the owner word
// names).
#pragma once

#include "platform/address.h"
#include "vm/memory/object_model.h"

namespace tarvelo {

inline word_t object_type(word_t obj) { return typeOf(obj); }

}  // namespace tarvelo
