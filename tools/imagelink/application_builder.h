// Application files: an installable application written in the text form
// against the items a kernel image exports, laid out as a relocatable
// read-only content and a RAM plan, with the relocation records the
// kernel's loader natives apply, in the container described in README.md.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/imagelink/linked_image.h"
#include "tools/imagelink/text_parser.h"

namespace tarvelo::imagelink {

// Container constants (little-endian words).
namespace app_file {
inline constexpr std::uint32_t kMagic = 0x46415654u;  // "TVAF"
inline constexpr std::uint32_t kVersion = 1;
inline constexpr std::uint32_t kHeaderSize = 64;
inline constexpr std::uint32_t kSectionEntrySize = 12;
// Header word offsets.
inline constexpr std::uint32_t kMagicAt = 0;
inline constexpr std::uint32_t kVersionAt = 4;
inline constexpr std::uint32_t kCrcAt = 8;             // CRC-32 of the bytes after the section entries
inline constexpr std::uint32_t kContentSizeAt = 12;
inline constexpr std::uint32_t kRamSizeAt = 16;
inline constexpr std::uint32_t kSectionTableAt = 20;   // content offset of the section table
inline constexpr std::uint32_t kTypesStartAt = 24;     // content offset of the type headers
inline constexpr std::uint32_t kSectionCountAt = 28;
inline constexpr std::uint32_t kRelocationsAt = 32;    // file offset of the relocation records
inline constexpr std::uint32_t kRelocationsSizeAt = 36;
inline constexpr std::uint32_t kSignatureAt = 40;      // 24 bytes: the kernel's signature
}  // namespace app_file

struct LinkedApplication {
    std::vector<std::uint8_t> file;  // the whole application file
    std::uint32_t content_size = 0;
    std::uint32_t ram_size = 0;
    std::uint32_t relocation_count = 0;
    // Its methods and items by content offset (from the image start the
    // application's descriptor names), with the application's name; no
    // bytes. Written with --map for the symboliser.
    LinkedImage map;
};

// Links `application` against the kernel image source `kernel`: both are
// parsed (the application after the kernel, without including it), the
// kernel's layout must be unchanged by the application, and every kernel
// item the application names must be exported. Throws LinkError.
LinkedApplication link_application(const std::string& kernel, const std::string& application,
                                   const ParseOptions& options, std::vector<std::string>* sources = nullptr);

// The CRC-32 of the application file (IEEE 802.3, reflected), as its
// loader checks it.
std::uint32_t application_crc32(const std::uint8_t* data, std::size_t size);

}  // namespace tarvelo::imagelink
