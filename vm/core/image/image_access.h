// What the virtual machine's start-up reads of the linked image.
#pragma once

#include <cstdint>

#include "vm/model/image_format.h"
#include "vm/model/image_symbols.h"

namespace tarvelo::image {

// Word 2 of the image file header.
inline std::uint32_t magic() { return read_u32(_java_vornfile_header_start + kFileHeaderMagicOffset); }

// Number of class initialisers, in the order they must run.
inline std::int32_t clinit_count() {
    return static_cast<std::int32_t>((_java_clinits_end - _java_clinits_start) / kClinitEntrySize);
}

}  // namespace tarvelo::image
