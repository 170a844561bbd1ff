// Digit characters of radix up to 36 (the runtime library's Character.digit
// and Character.forDigit).
#pragma once

#include <cstdint>

namespace tarvelo::rt::Character {

// '0'..'9' give 0..9, 'a'..'z' and 'A'..'Z' give 10..35, anything else -1.
std::int32_t digit(std::int32_t ch);
// 0..9 give '0'..'9', 10..35 give 'a'..'z', anything else -1.
std::int32_t forDigit(std::int32_t value);

}  // namespace tarvelo::rt::Character
