// Keys over Java objects for the natives that compare or hash them without
// calling Java code: strings by their characters, byte arrays by their
// bytes. A `java.lang.String` holds its char array in the reference field
// just below its header, the offset of its first character at header + 8
// and its length at header + 12.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/model/object_header.h"

namespace tarvelo {

namespace StringKey {
// h = 31 * h + c over the string's characters, from 0 (the standard string
// hash, wrapping at 32 bits).
std::uint32_t hashCode(word_t string);
// true when `other` is non-null, exactly of type java.lang.String (not a
// subclass), and is `string` itself or has the same length and characters.
bool equals(word_t string, word_t other);
}  // namespace StringKey

namespace ByteArrayKey {
// true when both byte arrays have the same length and bytes.
bool equals(word_t array, word_t other);
// Address of a byte array's first element.
inline word_t bytes(word_t array) { return array + memory::kArrayDataOffset; }
}  // namespace ByteArrayKey

}  // namespace tarvelo
