// The shared scratch buffer: one byte array owned by the virtual machine,
// used on the application task to turn Java strings into NUL-terminated byte
// strings (resource names, numbers, proxy names) and by exception dispatch.
#pragma once

#include <cstdint>

namespace tarvelo {

struct SharedBuffer {
    std::uint32_t length;
    std::uint8_t bytes[1];  // `length` bytes
};

void create_shared_buffer();
SharedBuffer* shared_buffer();

}  // namespace tarvelo
