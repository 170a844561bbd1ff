// The sorted-key switch of `OPlookupswitch`.
#pragma once

#include <cstdint>

namespace tarvelo::VMJProcessor {

// `keys` is the 4-byte aligned table of `count` signed 32-bit keys in
// ascending order; `count` unsigned 16-bit offsets follow it, and the 16-bit
// default offset is stored in the two bytes just before it. Every offset is
// counted in bytes from `keys`. Returns `keys` plus the offset of the entry
// equal to `key`, or plus the default offset when there is none (always so
// for an empty table).
const std::uint8_t* lookupSwitch(std::uint32_t count, const std::uint8_t* keys, std::int32_t key);

}  // namespace tarvelo::VMJProcessor
