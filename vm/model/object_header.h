// Object header word, owner word and array layout shared by every Java
// object: in the managed heap, in the immortal heap and in the application
// image. An object's address is the address of its header word; its
// reference fields lie in the words just below it, its primitive fields from
// header + 8 upward. An array is header, owner, length, elements.
#pragma once

#include <cstdint>

namespace tarvelo::memory {

// --- Header word -------------------------------------------------------------
// bits 0-3   identity-hash bits 0-3
// bits 4-17  type offset: the type header lies at types base + (h & kTypeOffsetMask)
// bit  18    identity-hash bit 4
// bits 19-24 monitor owner slot
// bit  25    mark bit of the collector
// bits 26-30 reference words placed before the header of the NEXT block
// bit  31    set on every object, clear on a free block
inline constexpr std::uint32_t kHashLowMask = 0x0000000Fu;
inline constexpr std::uint32_t kTypeOffsetMask = 0x0003FFF0u;
inline constexpr std::uint32_t kHashHighBit = 1u << 18;
inline constexpr unsigned kMonitorShift = 19;
inline constexpr std::uint32_t kMonitorMask = 0x3Fu << kMonitorShift;
inline constexpr std::uint32_t kMarkBit = 1u << 25;
inline constexpr unsigned kNextRefWordsShift = 26;
inline constexpr std::uint32_t kNextRefWordsMask = 0x1Fu << kNextRefWordsShift;
inline constexpr std::uint32_t kAllocatedBit = 1u << 31;

// Objects of the image and of the immortal heap are born with the top byte
// 0x82 (allocated and marked), so the collector treats them as always live.
inline constexpr std::uint32_t kImmortalTopBits = 0x82000000u;

// Type headers are 16-byte aligned from the types base, so a type offset
// always fits the 14-bit field.
inline constexpr std::uint32_t kTypeAlignment = 16;
inline constexpr std::uint32_t kMaxTypeOffset = kTypeOffsetMask;

constexpr std::uint32_t header_type_offset(std::uint32_t header) { return header & kTypeOffsetMask; }

// Identity hash: five bits, the low four in bits 0-3 and the fifth in bit 18.
constexpr std::uint32_t header_hash(std::uint32_t header) {
    return (header & kHashLowMask) | ((header & kHashHighBit) ? 0x10u : 0u);
}
constexpr std::uint32_t header_with_hash(std::uint32_t header, std::uint32_t hash5) {
    header &= ~(kHashLowMask | kHashHighBit);
    return header | (hash5 & kHashLowMask) | ((hash5 & 0x10u) ? kHashHighBit : 0u);
}

constexpr std::uint32_t header_monitor(std::uint32_t header) { return (header & kMonitorMask) >> kMonitorShift; }
constexpr std::uint32_t header_with_monitor(std::uint32_t header, std::uint32_t slot) {
    return (header & ~kMonitorMask) | ((slot << kMonitorShift) & kMonitorMask);
}

constexpr std::uint32_t header_next_ref_words(std::uint32_t header) {
    return (header & kNextRefWordsMask) >> kNextRefWordsShift;
}
constexpr std::uint32_t header_with_next_ref_words(std::uint32_t header, std::uint32_t words) {
    return (header & ~kNextRefWordsMask) | ((words << kNextRefWordsShift) & kNextRefWordsMask);
}

constexpr bool header_is_object(std::uint32_t header) { return (header & kAllocatedBit) != 0; }
constexpr bool header_is_marked(std::uint32_t header) { return (header & kMarkBit) != 0; }

// Header word of an image (or immortal) object of the type at `type_offset`
// from the types base, with the given 5 identity-hash bits.
constexpr std::uint32_t immortal_header(std::uint32_t type_offset, std::uint32_t hash5 = 0) {
    return header_with_hash(kImmortalTopBits | (type_offset & kTypeOffsetMask), hash5);
}

// --- Owner word ------------------------------------------------------------
// 0: owned by the kernel. Otherwise the address of the owning feature's
// record, with bit 0 set when the object's type is defined by that feature
// (its type offset is then relative to the feature's types base).
inline constexpr std::uint32_t kOwnerFeatureTypeBit = 1u;
constexpr std::uint32_t owner_feature(std::uint32_t owner) { return owner & ~kOwnerFeatureTypeBit; }
constexpr bool owner_has_feature_type(std::uint32_t owner) { return (owner & kOwnerFeatureTypeBit) != 0; }

// --- Object layout ---------------------------------------------------------
inline constexpr std::uint32_t kHeaderOffset = 0;
inline constexpr std::uint32_t kOwnerOffset = 4;
inline constexpr std::uint32_t kFirstFieldOffset = 8;  // first primitive field
inline constexpr std::uint32_t kObjectHeaderBytes = 8;

// --- Array layout ----------------------------------------------------------
inline constexpr std::uint32_t kArrayLengthOffset = 8;  // signed 32-bit length
inline constexpr std::uint32_t kArrayDataOffset = 12;   // first element
inline constexpr std::uint32_t kArrayHeaderBytes = 12;

// Primitive element codes (the element word of an array type header).
enum ElementCode : std::uint32_t {
    kElemBoolean = 4,
    kElemChar = 5,
    kElemFloat = 6,
    kElemDouble = 7,
    kElemByte = 8,
    kElemShort = 9,
    kElemInt = 10,
    kElemLong = 11,
};
inline constexpr std::uint32_t kFirstElementCode = 4;
inline constexpr std::uint32_t kLastElementCode = 11;
constexpr bool is_primitive_element(std::uint32_t element) {
    return element >= kFirstElementCode && element <= kLastElementCode;
}

// Bytes per element: by primitive code, 4 for any reference element.
constexpr std::uint32_t element_size(std::uint32_t element) {
    switch (element) {
        case kElemBoolean: case kElemByte: return 1;
        case kElemChar: case kElemShort: return 2;
        case kElemFloat: case kElemInt: return 4;
        case kElemDouble: case kElemLong: return 8;
        default: return 4;
    }
}

constexpr std::uint32_t align4(std::uint32_t n) { return (n + 3u) & ~3u; }

// Bytes an array block occupies: elements rounded up to a word plus the
// header, owner and length words.
constexpr std::uint32_t array_block_size(std::uint32_t length, std::uint32_t elem_size) {
    return align4(length * elem_size) + kArrayHeaderBytes;
}

}  // namespace tarvelo::memory
