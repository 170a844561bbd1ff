// Parts of the opcode handlers kept out of the handlers themselves:
// interface dispatch (inline: it runs on every interface call) and the
// lazily initialised kernel reference statics.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/model/image_format.h"
#include "vm/model/type_record.h"

namespace tarvelo {

// The method of interface `id`, entry `slot`, for a receiver of class
// `type`; 0 when the class's interface table does not cover the id.
inline word_t interface_method(word_t type, std::uint32_t id, std::uint32_t slot) {
    const word_t itable = image::class_interface_table(to_ptr<const void>(type));
    if (itable == 0) return 0;
    const auto* t = to_ptr<const std::uint8_t>(itable);
    const std::uint32_t low = image::read_u16(t + image::kItableLowOffset);
    const std::uint32_t high = image::read_u16(t + image::kItableHighOffset);
    if (id < low || id > high) return 0;
    const word_t imt = image::read_u32(t + image::kItableEntriesOffset + 4 * (id - low));
    if (imt == 0) return 0;
    return image::read_u32(to_ptr<const std::uint8_t>(imt) + 4 * (image::kImtFirstMethodWord + slot));
}

// Whether `address` is one of the kernel's lazily initialised reference
// statics, and the init-wrapper method that stores its value (0 none).
bool is_lazy_static(word_t address);
word_t init_wrapper_of(word_t address);

}  // namespace tarvelo
