// Reading objects of any region: header and owner words, the type an
// object's header names, and the shape of its block (size, reference bytes,
// array elements). Sizes are computed in 64 bits and clamped, so a corrupt
// length cannot wrap into a small block.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/model/type_record.h"
#include "vm/memory/feature_record.h"
#include "vm/memory/memory_layout.h"
#include "vm/model/object_header.h"

namespace tarvelo {

inline std::uint32_t& wordAt(word_t addr) { return *to_ptr<std::uint32_t>(addr); }

inline std::uint32_t& headerWord(word_t obj) { return wordAt(obj); }
inline std::uint32_t& ownerWord(word_t obj) { return wordAt(obj + memory::kOwnerOffset); }

// Types base against which an object with this owner word resolves its type.
inline word_t typesBaseForOwner(std::uint32_t owner) {
    if (!memory::owner_has_feature_type(owner)) return memoryLayout().typesBase;
    return featureTypesBase(memory::owner_feature(owner));
}

inline word_t typeOf(word_t obj) {
    return typesBaseForOwner(ownerWord(obj)) + memory::header_type_offset(headerWord(obj));
}

inline const void* typePtr(word_t type) { return to_ptr<const void>(type); }
inline std::uint8_t typeFlags(word_t type) { return image::type_flags(typePtr(type)); }
inline bool typeIsArray(word_t type) { return (typeFlags(type) & image::kTypeArray) != 0; }
inline std::uint32_t arrayElement(word_t arrayType) { return image::array_element(typePtr(arrayType)); }

inline std::int32_t arrayLength(word_t array) {
    return static_cast<std::int32_t>(wordAt(array + memory::kArrayLengthOffset));
}

// Byte count of `length` elements of `element` rounded up to a word, in 64
// bits (no wrap).
inline std::uint64_t arrayDataBytes(std::uint64_t length, std::uint32_t element) {
    return (length * memory::element_size(element) + 3u) & ~std::uint64_t{3};
}

struct BlockShape {
    std::uint32_t size;      // bytes from the first reference field to the end
    std::uint32_t refBytes;  // bytes of reference fields below the header
    bool isArray;
    std::uint32_t element;   // array element code or type (arrays)
};

inline BlockShape shapeOfType(word_t type, std::int32_t length) {
    if (typeIsArray(type)) {
        std::uint32_t element = arrayElement(type);
        std::uint64_t len = length < 0 ? 0 : static_cast<std::uint64_t>(length);
        std::uint64_t size = arrayDataBytes(len, element) + memory::kArrayHeaderBytes;
        if (size > 0xFFFFFFFCu) size = 0xFFFFFFFCu;
        return {static_cast<std::uint32_t>(size), 0, true, element};
    }
    return {image::class_instance_size(typePtr(type)), image::class_ref_bytes(typePtr(type)),
            false, 0};
}

inline BlockShape shapeOf(word_t obj) {
    word_t type = typeOf(obj);
    return shapeOfType(type, typeIsArray(type) ? arrayLength(obj) : 0);
}

// The class at depth 2 of `type`'s hierarchy (the `java.lang.ref.Reference`
// subclass a reference type extends), 0 for arrays, interfaces and types
// not that deep.
inline word_t classAtDepth2(word_t type) {
    if ((typeFlags(type) & (image::kTypeArray | image::kTypeInterface)) != 0) return 0;
    if (image::type_depth(typePtr(type)) <= 2) return 0;
    word_t hierarchy = image::class_hierarchy(typePtr(type));
    return hierarchy != 0 ? to_ptr<const std::uint32_t>(hierarchy)[2] : 0;
}

// Whether `type` is `target` or has it at depth 2 of its hierarchy (the
// subclasses of a `java.lang.ref.Reference` subclass).
inline bool typeIsOrExtendsAtDepth2(word_t type, word_t target) {
    if (target == 0 || type == 0) return false;
    return type == target || classAtDepth2(type) == target;
}

}  // namespace tarvelo
