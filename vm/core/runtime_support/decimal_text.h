// Decimal ASCII text of ints and longs written into byte buffers (the
// runtime library's String.intToByteArray and String.longToByteArray): "0"
// for zero, a leading '-' for negative values, no leading zeros.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarvelo::rt::String {

// Longest texts: "-2147483648" and "-9223372036854775808".
inline constexpr std::size_t kMaxIntTextLength = 11;
inline constexpr std::size_t kMaxLongTextLength = 20;

// Returned when the text does not fit between the offset and the end of the
// buffer; nothing is written then.
inline constexpr std::size_t kNoRoom = static_cast<std::size_t>(-1);

// Writes the text of `value` at `offset` and returns the offset just after
// its last character.
std::size_t intToByteArray(std::span<std::uint8_t> buffer, std::int32_t value, std::size_t offset);
std::size_t longToByteArray(std::span<std::uint8_t> buffer, std::int64_t value, std::size_t offset);

}  // namespace tarvelo::rt::String
