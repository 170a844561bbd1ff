#include "vm/core/runtime_support/decimal_text.h"

#include <algorithm>

namespace tarvelo::rt::String {

namespace {

// Digits come from dividing by the powers of ten from the highest down and
// taking the magnitude of each quotient digit; the value is never negated,
// so the most negative value needs no special case.
template <typename Int, std::size_t N>
std::size_t write_decimal(std::span<std::uint8_t> buffer, Int value, std::size_t offset,
                          Int highest_power) {
    std::uint8_t text[N];
    std::size_t length = 0;
    if (value < 0) text[length++] = '-';
    bool started = false;
    for (Int divisor = highest_power; divisor > 0; divisor /= 10) {
        const Int quotient = value / divisor;
        value -= quotient * divisor;
        const int digit = static_cast<int>(quotient < 0 ? -quotient : quotient);
        if (digit != 0 || started || divisor == 1) {
            text[length++] = static_cast<std::uint8_t>('0' + digit);
            started = true;
        }
    }
    if (offset > buffer.size() || buffer.size() - offset < length) return kNoRoom;
    std::copy_n(text, length, buffer.begin() + static_cast<std::ptrdiff_t>(offset));
    return offset + length;
}

}  // namespace

std::size_t intToByteArray(std::span<std::uint8_t> buffer, std::int32_t value, std::size_t offset) {
    return write_decimal<std::int32_t, kMaxIntTextLength>(buffer, value, offset, 1000000000);
}

std::size_t longToByteArray(std::span<std::uint8_t> buffer, std::int64_t value, std::size_t offset) {
    return write_decimal<std::int64_t, kMaxLongTextLength>(buffer, value, offset,
                                                           1000000000000000000LL);
}

}  // namespace tarvelo::rt::String
