// The token that names an installed application in the texts the virtual
// machine writes for off-device resolution (uncaught-exception traces,
// stack-trace lines, names of types without a name record):
// "@F:<identifier>:0x<image start>@". The identifier is the application's
// name (its module data's bytes, at most 128 of them) as two hexadecimal
// digits per byte: names are unique among the installed applications, and
// the symboliser finds the application's map by it. The image start is the
// address its addresses are resolved against (word 2 of its descriptor).
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

inline constexpr std::int32_t kApplicationIdentifierBytes = 128;
// "@F:", the identifier, ":0x", eight digits, "@".
inline constexpr std::int32_t kApplicationTokenMax = 3 + 2 * kApplicationIdentifierBytes + 3 + 8 + 1;

// Writes the token of the application that owns `type` (a type header) into `out` (room for
// kApplicationTokenMax chars, not terminated) and answers its length; 0 for
// a kernel type. `upper` writes upper-case digits and the address in eight
// of them, as the console prints addresses; otherwise lower-case ones,
// without leading zeros.
std::int32_t applicationToken(word_t type, char* out, bool upper);

}  // namespace tarvelo
