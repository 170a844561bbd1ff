// Strings the virtual machine creates for itself: exception messages and
// the arguments of main. A String holds its char array in the reference
// field below its header; strings made here start at offset 0 and their
// array holds exactly their chars.
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

struct VMThread;

struct StringFactory {
    // A String of n zeroed chars, or 0 with OutOfMemoryError pending.
    static word_t newString(VMThread* t, std::int32_t n);
};

struct StringConversions {
    // A String of n chars, char i = byte i zero-extended (0 when bytes is
    // null); or 0 with OutOfMemoryError pending.
    static word_t newStringFromBytes(VMThread* t, const std::uint8_t* bytes, std::int32_t n);
};

}  // namespace tarvelo
