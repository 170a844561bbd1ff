// Bit-pattern helpers for tests of floating-point results: NaN payloads and
// signed zeros are only visible in the bits.
#pragma once

#include <bit>
#include <cstdint>

namespace tarvelo::test {

inline std::uint32_t fbits(float f) { return std::bit_cast<std::uint32_t>(f); }
inline std::uint64_t dbits(double d) { return std::bit_cast<std::uint64_t>(d); }
inline float fval(std::uint32_t b) { return std::bit_cast<float>(b); }
inline double dval(std::uint64_t b) { return std::bit_cast<double>(b); }

inline constexpr std::uint32_t kFloatNaN = 0x7FC00000u;
inline constexpr std::uint64_t kDoubleNaN = 0x7FF8000000000000ull;

// NaNs that are not canonical: other payloads, the sign bit, signalling.
inline constexpr std::uint32_t kOddFloatNaNs[] = {0x7FC00001u, 0xFFC00000u, 0x7F800001u,
                                                  0xFFFFFFFFu, 0x7FA5A5A5u};
inline constexpr std::uint64_t kOddDoubleNaNs[] = {0x7FF8000000000001ull, 0xFFF8000000000000ull,
                                                   0x7FF0000000000001ull, 0xFFFFFFFFFFFFFFFFull,
                                                   0x7FF4A5A5A5A5A5A5ull};

}  // namespace tarvelo::test
