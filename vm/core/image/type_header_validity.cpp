// Whether an address is a valid type header: inside an image's type
// headers at a slot boundary, an object of type java.lang.Class, and, when
// asked, with a well-formed chain of ancestors or array elements. Used on
// addresses that come from outside the image (natives, installed
// applications), so every read is preceded by the bounds check that makes
// it safe, and every walk is bounded: a malformed image whose element chain
// loops is refused, not followed for ever.
#include "vm/model/type_record.h"
#include "vm/core/image/image_directory.h"
#include "vm/memory/feature_record.h"
#include "vm/memory/memory_environment.h"
#include "vm/model/object_header.h"

namespace tarvelo {

namespace {

// The most dimensions an array type can have, as in the class-file format:
// an element chain longer than this can only be a cycle.
constexpr std::uint32_t kMaxArrayDimensions = 255;

const void* at(word_t a) { return to_ptr<const void>(a); }
std::uint8_t flagsOf(word_t type) { return image::type_flags(at(type)); }

bool installedFeature(word_t record) {
    if (record == 0) return false;
    const MemoryEnvironment& env = memoryEnvironment();
    for (int i = 0; i < kMaxDynamicFeatures; ++i) {
        if (env.featureRecord(i) == record) return true;
    }
    return false;
}

// [a, a + bytes) ends at or before `limit`.
bool fits(word_t a, std::uint32_t bytes, word_t limit) {
    return static_cast<std::uint64_t>(a) + bytes <= limit;
}

}  // namespace

int FeatureImageDirectory::isValidTypeReference(word_t address, bool instantiable,
                                                bool wholeHierarchy) const {
    if (validIn(kernel.tables, address, instantiable, wholeHierarchy)) return 1;
    const MemoryEnvironment& env = memoryEnvironment();
    for (int i = 0; i < kMaxDynamicFeatures; ++i) {
        word_t record = env.featureRecord(i);
        if (record == 0) continue;
        if (validIn(ImageTables::ofFeature(record), address, instantiable, wholeHierarchy)) return 1;
    }
    return 0;
}

bool FeatureImageDirectory::headerIsClassObject(word_t address) const {
    std::uint32_t header = image::read_u32(at(address));
    std::uint32_t owner = image::read_u32(at(address + memory::kOwnerOffset));
    word_t base = kernel.tables.typesStart;
    if (memory::owner_has_feature_type(owner)) {
        // Only an installed application's record may be dereferenced.
        word_t record = memory::owner_feature(owner);
        if (!installedFeature(record)) return false;
        base = featureTypesBase(record);
    }
    return kernel.classType != 0 && base + memory::header_type_offset(header) == kernel.classType;
}

bool FeatureImageDirectory::validIn(const ImageTables& t, word_t address, bool instantiable,
                                    bool wholeHierarchy) const {
    if (address < t.typesStart || address >= t.typesEnd) return false;
    if (address < t.concreteTypesEnd) {
        if ((address - t.typesStart) % image::kRomAlignment != 0) return false;
        if (!fits(address, image::kArrayTypeHeaderSize, t.concreteTypesEnd)) return false;
    } else {
        if (instantiable || (address - t.typesStart) % 4u != 0) return false;
        if (!fits(address, image::kAbstractHeaderSize, t.typesEnd)) return false;
    }
    if (!headerIsClassObject(address)) return false;

    std::uint8_t flags = flagsOf(address);
    if ((flags & image::kTypeArray) != 0) {
        if ((flags & image::kTypeInterface) != 0) return false;
        if (memory::is_primitive_element(image::array_element(at(address))) || !wholeHierarchy)
            return true;
        return elementChainValid(address);
    }
    if ((flags & image::kTypeInterface) != 0) return true;
    if (image::type_depth(at(address)) == 0) return address == kernel.objectType;
    return !wholeHierarchy || hierarchyValid(t, address);
}

bool FeatureImageDirectory::elementChainValid(word_t arrayType) const {
    word_t element = image::array_element(at(arrayType));
    // `dimensions` counts the array types from `arrayType` down to the
    // one whose element is `element`.
    for (std::uint32_t dimensions = 1;; ++dimensions) {
        if (!isValidTypeReference(element, false, false)) return false;
        if ((flagsOf(element) & image::kTypeArray) == 0) return true;
        if (dimensions == kMaxArrayDimensions) return false;
        word_t next = image::array_element(at(element));
        if (memory::is_primitive_element(next)) return true;
        element = next;
    }
}

bool FeatureImageDirectory::hierarchyValid(const ImageTables& t, word_t classType) const {
    std::uint8_t depth = image::type_depth(at(classType));
    word_t hierarchy = image::class_hierarchy(at(classType));
    if (hierarchy == 0 || !t.spanContains(hierarchy, 4ull * depth)) return false;
    for (int i = depth - 1; i >= 0; --i) {
        word_t ancestor = image::read_u32(at(hierarchy + 4u * static_cast<word_t>(i)));
        if (!isValidTypeReference(ancestor, false, false)) return false;
        if ((flagsOf(ancestor) & (image::kTypeArray | image::kTypeInterface)) != 0) return false;
        if (image::type_depth(at(ancestor)) != i) return false;
    }
    return true;
}

}  // namespace tarvelo
