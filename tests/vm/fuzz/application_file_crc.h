// The CRC of an application file as the fuzzers keep it right: it covers
// the bytes after the header and the section entries, so that a mutated
// file still reaches the loader's checks of the records behind it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvelo::fuzz {

// The most sections the prelude's loader takes.
inline constexpr std::uint32_t kMaxSections = 16;

// Where the CRC starts: after the header and the section entries, or 0
// when the section count makes no sense.
std::size_t crc_start(const std::uint8_t* d, std::size_t size);

// The CRC word the file carries equals the CRC of what it covers.
bool crc_is_right(const std::uint8_t* d, std::size_t size);

// Writes the CRC of what it covers into the header (nothing when the
// section count makes no sense).
void write_crc(std::uint8_t* d, std::size_t size);

}  // namespace tarvelo::fuzz
