// The out-of-line parts of the opcode handlers: interface dispatch and the
// lazily initialised kernel reference statics.
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

// The method of interface `id`, entry `slot`, for a receiver of class
// `type`; 0 when the class's interface table does not cover the id.
word_t interface_method(word_t type, std::uint32_t id, std::uint32_t slot);

// Whether `address` is one of the kernel's lazily initialised reference
// statics, and the init-wrapper method that stores its value (0 none).
bool is_lazy_static(word_t address);
word_t init_wrapper_of(word_t address);

}  // namespace tarvelo
