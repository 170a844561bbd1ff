#include "vm/core/runtime_support/digits.h"

namespace tarvelo::rt::Character {

std::int32_t digit(std::int32_t ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'z') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'Z') return ch - 'A' + 10;
    return -1;
}

std::int32_t forDigit(std::int32_t value) {
    if (value >= 0 && value <= 9) return '0' + value;
    if (value >= 10 && value <= 35) return 'a' + value - 10;
    return -1;
}

}  // namespace tarvelo::rt::Character
