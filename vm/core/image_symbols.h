// The image regions the virtual machine's start-up reads, reached through the
// image's link-time symbols.
#pragma once

#include <cstdint>

extern "C" {
extern const std::uint32_t _java_vornfile_header_start[];
extern const std::uint32_t _java_properties_Keys[];
extern const std::uint32_t _java_internStrings_start[];
extern const std::uint32_t _java_clinits_start[];
extern const std::uint32_t _java_clinits_end[];
}

namespace tarvelo::image {

constexpr std::uint32_t kImageMagic = 0x0E84C1AF;

// Word 2 of the image file header.
inline std::uint32_t magic() { return _java_vornfile_header_start[2]; }

// Number of class initialisers, in the order they must run.
inline std::int32_t clinit_count() {
    return static_cast<std::int32_t>(_java_clinits_end - _java_clinits_start);
}

}  // namespace tarvelo::image
