// Type headers and their dispatch tables. Every class, array type, abstract
// class and interface of an image has a type header, itself an object of
// type java.lang.Class. Instantiable headers (classes and arrays) lie in
// 48- and 32-byte slots 16-aligned from the types base; abstract classes and
// interfaces follow in 24-byte records, 4-aligned. The dispatch tables lie
// after all type headers.
#pragma once

#include <cstdint>

#include "vm/model/image_format.h"

namespace tarvelo::image {

// --- Type flags (byte 12) ---------------------------------------------------
enum TypeFlag : std::uint8_t {
    kTypeArray = 0x01,
    kTypeInterface = 0x02,
    kTypeAbstract = 0x04,        // no instances: interfaces and abstract classes
    kTypePrivateCtor = 0x08,     // Class.newInstance only from the class itself
    kTypePublicCtor = 0x10,      // Class.newInstance from anywhere
    kTypeLinkerMark = 0x20,      // set by the image linker, not read by the VM
    kTypeExported = 0x40,        // kernel type visible to installed applications
};

// --- Common prefix of every type header ------------------------------------
inline constexpr std::uint32_t kTypeHeaderWordOffset = 0;   // object header (type Class)
inline constexpr std::uint32_t kTypeOwnerOffset = 4;
inline constexpr std::uint32_t kTypeNameRecordOffset = 8;   // class-name record
inline constexpr std::uint32_t kTypeFlagsOffset = 12;
inline constexpr std::uint32_t kTypeDepthOffset = 13;       // classes: proper superclasses

// --- Class header (36 bytes in a 48-byte slot) ------------------------------
inline constexpr std::uint32_t kClassHeaderSize = 36;
inline constexpr std::uint32_t kClassSlotSize = 48;
inline constexpr std::uint32_t kClassHierarchyOffset = 16;
inline constexpr std::uint32_t kClassInterfaceTableOffset = 20;  // 0: no interfaces
inline constexpr std::uint32_t kClassVtableOffset = 24;
inline constexpr std::uint32_t kClassInstanceSizeOffset = 28;    // u16, refs + header + fields
inline constexpr std::uint32_t kClassRefBytesOffset = 30;        // u16, below the header
inline constexpr std::uint32_t kClassDefaultCtorOffset = 32;     // no-argument constructor or 0

// --- Array header (20 bytes in a 32-byte slot) ------------------------------
inline constexpr std::uint32_t kArrayTypeHeaderSize = 20;
inline constexpr std::uint32_t kArrayTypeSlotSize = 32;
inline constexpr std::uint32_t kArrayElementOffset = 16;  // code 4..11 or element type header

// --- Abstract class header (24 bytes): first six words of a class header ----
inline constexpr std::uint32_t kAbstractHeaderSize = 24;

// --- Interface header (24 bytes) ---------------------------------------------
inline constexpr std::uint32_t kInterfaceHeaderSize = 24;
inline constexpr std::uint32_t kInterfaceDepthOffset = 13;      // among interfaces
inline constexpr std::uint32_t kInterfaceIdOffset = 14;         // u16
inline constexpr std::uint32_t kInterfaceSuperTableOffset = 16; // super-interface table or 0
inline constexpr std::uint32_t kInterfaceSharedOffset = 20;     // shared-interface descriptor or 0

// --- Virtual method table ---------------------------------------------------
// Method-record addresses by slot, no header. Slots 0-3 are Object's clone,
// equals, hashCode and toString (or their overrides) in every class.
enum ObjectSlot : std::uint32_t {
    kSlotClone = 0,
    kSlotEquals = 1,
    kSlotHashCode = 2,
    kSlotToString = 3,
    kObjectSlots = 4,
};

// --- Interface table ------------------------------------------------------
// u16 lowest id, u16 highest id, then one word per id: an interface method
// table or 0.
inline constexpr std::uint32_t kItableLowOffset = 0;
inline constexpr std::uint32_t kItableHighOffset = 2;
inline constexpr std::uint32_t kItableEntriesOffset = 4;

// --- Interface method table ---------------------------------------------------
// word 0 the interface's type header, word 1 zero, then the implementing
// method records in the interface's method order.
inline constexpr std::uint32_t kImtInterfaceWord = 0;
inline constexpr std::uint32_t kImtFirstMethodWord = 2;

// --- Super-interface table: a count word, then type headers. -----------------
// --- Hierarchy table: `depth` type headers, entry 0 java.lang.Object. ---------

// --- Accessors over a type header's bytes ----------------------------------
inline std::uint8_t type_flags(const void* t) { return read_u8(static_cast<const std::uint8_t*>(t) + kTypeFlagsOffset); }
inline std::uint8_t type_depth(const void* t) { return read_u8(static_cast<const std::uint8_t*>(t) + kTypeDepthOffset); }
inline std::uint32_t type_name_record(const void* t) { return read_u32(static_cast<const std::uint8_t*>(t) + kTypeNameRecordOffset); }
inline std::uint32_t class_hierarchy(const void* t) { return read_u32(static_cast<const std::uint8_t*>(t) + kClassHierarchyOffset); }
inline std::uint32_t class_interface_table(const void* t) { return read_u32(static_cast<const std::uint8_t*>(t) + kClassInterfaceTableOffset); }
inline std::uint32_t class_vtable(const void* t) { return read_u32(static_cast<const std::uint8_t*>(t) + kClassVtableOffset); }
inline std::uint16_t class_instance_size(const void* t) { return read_u16(static_cast<const std::uint8_t*>(t) + kClassInstanceSizeOffset); }
inline std::uint16_t class_ref_bytes(const void* t) { return read_u16(static_cast<const std::uint8_t*>(t) + kClassRefBytesOffset); }
inline std::uint32_t class_default_ctor(const void* t) { return read_u32(static_cast<const std::uint8_t*>(t) + kClassDefaultCtorOffset); }
inline std::uint32_t array_element(const void* t) { return read_u32(static_cast<const std::uint8_t*>(t) + kArrayElementOffset); }
inline std::uint16_t interface_id(const void* t) { return read_u16(static_cast<const std::uint8_t*>(t) + kInterfaceIdOffset); }
inline std::uint32_t interface_supers(const void* t) { return read_u32(static_cast<const std::uint8_t*>(t) + kInterfaceSuperTableOffset); }
inline std::uint32_t interface_shared_descriptor(const void* t) { return read_u32(static_cast<const std::uint8_t*>(t) + kInterfaceSharedOffset); }

inline bool type_is_array(const void* t) { return (type_flags(t) & kTypeArray) != 0; }
inline bool type_is_interface(const void* t) { return (type_flags(t) & kTypeInterface) != 0; }

// Size of a type header record by kind (the slot the linker reserves).
constexpr std::uint32_t type_record_size(std::uint8_t flags) {
    if (flags & kTypeArray) return kArrayTypeHeaderSize;
    if (flags & (kTypeInterface | kTypeAbstract)) return kAbstractHeaderSize;
    return kClassHeaderSize;
}

}  // namespace tarvelo::image
