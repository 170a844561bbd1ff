// How a native-interface method's arguments reach its C function: placed
// as the procedure-call standard with hardware floating point wants them
// (integer words and array pointers in core slots, 0-3 registers then the
// stack, a 64-bit integer on an even slot; floats and doubles in s0-s15 /
// d0-d7 with back-filling, then on the stack), described by one byte per
// argument of the OPinvoke_sni instruction, with the size of the argument
// area and the result's type code.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/imagelink/model.h"

namespace tarvelo::imagelink {

struct SniSignature {
    std::vector<std::int64_t> descriptors;  // kSniArg* bits | slot << kSniSlotShift
    int area_units = 0;                     // of 8 bytes
    std::uint8_t result = 0;                // SniResult
};

// Throws LinkError where the method's types cannot be passed.
SniSignature sni_signature(const Method& m);

}  // namespace tarvelo::imagelink
