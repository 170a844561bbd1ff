// Identity hash: an object's header bits 0-18 (its type offset and five hash
// bits, 0-3 and 18). The five bits are assigned on first request from an
// 8-bit counter that skips values whose low five bits are 0, so hashes run
// 1..31 and then restart at 1. The bits live in the header, so they move
// with the object and clones copy them.
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

std::uint32_t identityHashCode(word_t object);

}  // namespace tarvelo
