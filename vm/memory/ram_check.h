// Pattern test of a RAM area: the first and last word, the half-words and
// bytes next to them are written and read back with a few patterns. The two
// end words are restored whatever the result, so the test may run over live
// memory.
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

struct RamCheck {
    // 1 when [start, end) passes (an area of less than one aligned word
    // passes without any write), else 0.
    static int ramCheck(word_t start, word_t end);
    static bool testWord(volatile std::uint32_t* p);
    static bool testHalfWord(volatile std::uint16_t* p);
    static bool testByte(volatile std::uint8_t* p);
};

}  // namespace tarvelo
