#include "vm/memory/application_tables_check.h"

#include <cstdint>

#include "vm/model/image_format.h"
#include "vm/model/string_record.h"
#include "vm/memory/feature_loader.h"
#include "vm/memory/feature_record.h"
#include "vm/model/object_header.h"

namespace tarvelo {

namespace {

// Package chains are short; a longer one is a loop.
constexpr int kMaxPackageDepth = 64;

struct Area {
    word_t start, end;
    // [a, a + bytes) inside the area (nothing is read of an empty range).
    bool holds(word_t a, std::uint64_t bytes) const {
        return bytes == 0 || (a >= start && a <= end && bytes <= end - a);
    }
};

bool packageChainInside(const Area& rom, word_t package) {
    for (int depth = 0; package != 0; ++depth) {
        if (depth == kMaxPackageDepth || !rom.holds(package, image::kClassNameRecordSize)) return false;
        if (!rom.holds(loadWord(package), loadWord(package + 4))) return false;
        package = loadWord(package + 8);
    }
    return true;
}

// The array object at `a` (header, owner, length, words) inside `area`;
// its length through `length`.
bool wordArrayInside(const Area& area, word_t a, std::uint32_t* length) {
    if (!area.holds(a, memory::kArrayDataOffset)) return false;
    *length = loadWord(a + memory::kArrayLengthOffset);
    return area.holds(a + memory::kArrayDataOffset, 4ull * *length);
}

}  // namespace

bool applicationTablesInside(word_t record, word_t romStart, word_t romEnd) {
    const Area rom{romStart, romEnd};
    if (!rom.holds(record, 4 * feature_record::kWords)) return false;
    const word_t descriptor = featureRecordWord(record, feature_record::kDescriptor);
    if (!rom.holds(descriptor, 4 * image::kFeatureDescriptorWords)) return false;
    auto word = [&](std::uint32_t i) { return loadWord(descriptor + 4 * i); };

    const word_t resources = word(image::kFeatureResourcesStart), resourcesEnd = word(image::kFeatureResourcesEnd);
    if (resourcesEnd < resources || !rom.holds(resources, resourcesEnd - resources) ||
        (resourcesEnd - resources) % image::kResourceRecordSize != 0)
        return false;
    for (word_t r = resources; r < resourcesEnd; r += image::kResourceRecordSize) {
        if (!rom.holds(loadWord(r + image::kResourceNameOffset), loadWord(r + image::kResourceNameLengthOffset)) ||
            !packageChainInside(rom, loadWord(r + image::kResourcePackageOffset)) ||
            !rom.holds(loadWord(r + image::kResourceDataOffset), loadWord(r + image::kResourceSizeOffset)))
            return false;
    }

    const Area immutables{word(image::kFeatureImmutablesStart), word(image::kFeatureImmutablesEnd)};
    const Area strings{word(image::kFeatureInternStringsStart), word(image::kFeatureInternStringsEnd)};
    if (immutables.end < immutables.start || !rom.holds(immutables.start, immutables.end - immutables.start) ||
        strings.end < strings.start || !rom.holds(strings.start, strings.end - strings.start))
        return false;
    const word_t keys = word(image::kFeatureImmutableKeys), values = word(image::kFeatureImmutableValues);
    if (keys == 0 && values == 0) return true;
    std::uint32_t keyCount = 0, valueCount = 0;
    if (!wordArrayInside(immutables, keys, &keyCount) || !wordArrayInside(immutables, values, &valueCount) ||
        keyCount != valueCount)
        return false;
    for (std::uint32_t i = 0; i < keyCount; ++i) {
        // A key is a String of the application: the reference 4 bytes into
        // one of its interned-string records.
        const word_t key = loadWord(keys + memory::kArrayDataOffset + 4 * i);
        const word_t at = key - image::kStringRecordObjectOffset;
        if (!strings.holds(at, image::kStringRecordSize) || (at - strings.start) % image::kStringRecordSize != 0) return false;
    }
    return true;
}

}  // namespace tarvelo
