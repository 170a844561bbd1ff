// The five statics areas of the kernel image in RAM, grouped by width:
// BT1 (boolean, byte), BT2 (char, short), BT4 (int, float), BT8 (long,
// double) and REF (references, the lazily initialised ones last). The
// image's methods address static fields in them directly; they are tested
// once when the virtual machine is created and zeroed at every start, so
// every class initialiser starts from zeroed statics.
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

struct StaticsAreas {
    static constexpr int kAreas = 5;
    enum Area { kBT1, kBT2, kBT4, kBT8, kREF };

    word_t start[kAreas];
    word_t end[kAreas];

    // RAM pattern test of BT1, BT2, BT4, BT8 and REF in that order, stopping
    // at the first failure; true when all pass.
    bool ramCheck() const;
    // Zeroes every area (REF with its lazily initialised part).
    void reset() const;
    bool inRef(word_t a) const { return a >= start[kREF] && a < end[kREF]; }
};

}  // namespace tarvelo
