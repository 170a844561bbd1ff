// Interned strings and the name records of an image.
//
// An interned-string record is the java.lang.String object itself with its
// one reference field (the value array) in front of its header; all of them
// share one char[] (`_java_sharedarray_start`). A reference to the string is
// the record's address + 4. Names of packages, classes and resources are
// (pointer, length) byte strings into the names data, not terminated.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vm/model/image_format.h"

namespace tarvelo::image {

// --- Interned-string record (24 bytes) --------------------------------------
inline constexpr std::uint32_t kStringRecordSize = 24;
inline constexpr std::uint32_t kStringRecordValueOffset = 0;   // the shared char[]
inline constexpr std::uint32_t kStringRecordObjectOffset = 4;  // String reference = record + 4
// Offsets from the String object (its header word).
inline constexpr std::int32_t kStringValueField = -4;  // char[] reference
inline constexpr std::uint32_t kStringOffsetField = 8;   // first char in the array
inline constexpr std::uint32_t kStringCountField = 12;   // number of chars
inline constexpr std::uint32_t kStringHashField = 16;    // cached hash, 0 until computed
inline constexpr std::uint32_t kStringInstanceSize = 24;
inline constexpr std::uint32_t kStringRefBytes = 4;

// The standard string hash: s[0]*31^(n-1) + ... + s[n-1], wrapping at 32 bits.
constexpr std::uint32_t string_hash(const char16_t* chars, std::size_t count) {
    std::uint32_t h = 0;
    for (std::size_t i = 0; i < count; ++i) h = 31u * h + static_cast<std::uint16_t>(chars[i]);
    return h;
}
// The same over 8-bit characters (each byte one char, zero-extended).
constexpr std::uint32_t string_hash_latin1(const char* chars, std::size_t count) {
    std::uint32_t h = 0;
    for (std::size_t i = 0; i < count; ++i) h = 31u * h + static_cast<unsigned char>(chars[i]);
    return h;
}

// --- Package record (12 bytes) -------------------------------------------
inline constexpr std::uint32_t kPackageRecordSize = 12;
inline constexpr std::uint32_t kPackageNameOffset = 0;
inline constexpr std::uint32_t kPackageNameLengthOffset = 4;
inline constexpr std::uint32_t kPackageParentOffset = 8;  // 0 for a top-level package

// --- Class-name record (16 bytes) ---------------------------------------------
// The type word is 0 for a type that cannot be found by name. The region
// starts with one primitive-code record per element code, from 11 down to
// 4: a one-byte name holding the code, no package, the code as type word.
inline constexpr std::uint32_t kClassNameRecordSize = 16;
inline constexpr std::uint32_t kClassNameNameOffset = 0;
inline constexpr std::uint32_t kClassNameLengthOffset = 4;
inline constexpr std::uint32_t kClassNamePackageOffset = 8;
inline constexpr std::uint32_t kClassNameTypeOffset = 12;
inline constexpr std::uint32_t kPrimitiveCodeRecords = 8;
inline constexpr std::uint8_t kFirstPrimitiveRecordCode = 11;  // long, then down to boolean (4)

// Array class-name record: the name pointer points at a '[' character; the
// next two words hold the dimension count and the element's class-name
// record (in place of length and package); the last the array type header.
inline constexpr std::uint32_t kArrayNameDimensionsOffset = 4;
inline constexpr std::uint32_t kArrayNameElementOffset = 8;

// Descriptor letters and their type codes (V is 12).
constexpr int letter_to_type_code(char c) {
    switch (c) {
        case 'Z': return 4; case 'C': return 5; case 'F': return 6; case 'D': return 7;
        case 'B': return 8; case 'S': return 9; case 'I': return 10; case 'J': return 11;
        case 'V': return 12;
        default: return -1;
    }
}
constexpr char type_code_to_letter(int code) {
    constexpr char letters[] = "ZCFDBSIJV";
    return (code >= 4 && code <= 12) ? letters[code - 4] : '\0';
}

// --- Resource record (24 bytes) ----------------------------------------------
// Full name: "/" + package path with "/" between components + "/" + name.
inline constexpr std::uint32_t kResourceRecordSize = 24;
inline constexpr std::uint32_t kResourceNameOffset = 0;    // file name, no directories
inline constexpr std::uint32_t kResourceNameLengthOffset = 4;
inline constexpr std::uint32_t kResourcePackageOffset = 8; // directory path
inline constexpr std::uint32_t kResourceSizeOffset = 12;
inline constexpr std::uint32_t kResourceDataOffset = 16;
inline constexpr std::uint32_t kResourceOwnerOffset = 20;  // 0 in the kernel image

}  // namespace tarvelo::image
