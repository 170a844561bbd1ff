// The check, before an installed application is linked, that the tables
// the virtual machine reads on its own (resource records, immutable keys)
// stay inside the application's read-only area: one spoilt word per case.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>

#include "vm/model/image_format.h"
#include "vm/model/string_record.h"
#include "vm/memory/application_tables_check.h"
#include "vm/memory/feature_record.h"
#include "vm/model/object_header.h"

namespace tarvelo {
namespace {

// The area's storage: static, so that its addresses are 32-bit ones.
alignas(16) std::uint8_t storage[512];

// A read-only area: record, descriptor, a package record, one resource
// record, its name and data, an interned string and the key and value
// tables of one immutable.
struct Area {
    std::uint8_t* bytes = storage;
    word_t at(std::uint32_t offset) const { return to_word(bytes) + offset; }
    void put(std::uint32_t offset, std::uint32_t v) { std::memcpy(bytes + offset, &v, 4); }
    word_t start() const { return at(0); }
    word_t end() const { return at(sizeof storage); }

    static constexpr std::uint32_t kRecord = 0, kDescriptor = 80, kPackage = 160, kResource = 176, kName = 200,
                                   kData = 208, kString = 224, kImmutables = 256, kKeys = 256, kValues = 272;

    Area() {
        std::memset(storage, 0, sizeof storage);
        put(kRecord, at(kDescriptor));
        auto d = [&](std::uint32_t i, word_t v) { put(kDescriptor + 4 * i, v); };
        d(image::kFeatureResourcesStart, at(kResource));
        d(image::kFeatureResourcesEnd, at(kResource + image::kResourceRecordSize));
        d(image::kFeatureImmutableKeys, at(kKeys));
        d(image::kFeatureImmutableValues, at(kValues));
        d(image::kFeatureImmutablesStart, at(kImmutables));
        d(image::kFeatureImmutablesEnd, at(kImmutables + 32));
        d(image::kFeatureInternStringsStart, at(kString));
        d(image::kFeatureInternStringsEnd, at(kString + image::kStringRecordSize));
        put(kPackage, at(kName));  // package "res"
        put(kPackage + 4, 3);
        put(kPackage + 8, 0);
        put(kResource + image::kResourceNameOffset, at(kName));
        put(kResource + image::kResourceNameLengthOffset, 4);
        put(kResource + image::kResourcePackageOffset, at(kPackage));
        put(kResource + image::kResourceSizeOffset, 16);
        put(kResource + image::kResourceDataOffset, at(kData));
        put(kKeys + memory::kArrayLengthOffset, 1);
        put(kKeys + memory::kArrayDataOffset, at(kString + image::kStringRecordObjectOffset));
        put(kValues + memory::kArrayLengthOffset, 1);
        // The value: the interned string, an immortal object.
        put(kValues + memory::kArrayDataOffset, at(kString + image::kStringRecordObjectOffset));
        put(kString + image::kStringRecordObjectOffset, memory::kImmortalTopBits);
    }
    bool inside() const { return applicationTablesInside(at(kRecord), start(), end()); }
};

TEST(ApplicationTables, EveryWordTheDirectoryFollowsStaysInside) {
    EXPECT_TRUE(Area().inside());
    struct Case {
        const char* what;
        std::function<void(Area&)> spoil;
    };
    const Case cases[] = {
        {"descriptor outside", [](Area& a) { a.put(Area::kRecord, a.end()); }},
        {"resource records end before they start",
         [](Area& a) { a.put(Area::kDescriptor + 4 * image::kFeatureResourcesEnd, a.at(Area::kResource - 24)); }},
        {"resource records not whole",
         [](Area& a) { a.put(Area::kDescriptor + 4 * image::kFeatureResourcesEnd, a.at(Area::kResource + 20)); }},
        {"resource records past the end",
         [](Area& a) { a.put(Area::kDescriptor + 4 * image::kFeatureResourcesEnd, a.end() + 24); }},
        {"resource name outside", [](Area& a) { a.put(Area::kResource + image::kResourceNameOffset, a.end() - 2); }},
        {"resource data too long", [](Area& a) { a.put(Area::kResource + image::kResourceSizeOffset, 0x10000); }},
        {"package outside", [](Area& a) { a.put(Area::kResource + image::kResourcePackageOffset, 0x10); }},
        {"package chain looping", [](Area& a) { a.put(Area::kPackage + 8, a.at(Area::kPackage)); }},
        {"key table outside the immutables", [](Area& a) { a.put(Area::kDescriptor + 4 * image::kFeatureImmutableKeys, a.at(Area::kData)); }},
        {"key table longer than the immutables", [](Area& a) { a.put(Area::kKeys + memory::kArrayLengthOffset, 100); }},
        {"tables of different lengths", [](Area& a) { a.put(Area::kValues + memory::kArrayLengthOffset, 0); }},
        {"key not a string record", [](Area& a) { a.put(Area::kKeys + memory::kArrayDataOffset, a.at(Area::kString)); }},
        {"value outside the immutables and strings", [](Area& a) { a.put(Area::kValues + memory::kArrayDataOffset, a.at(Area::kName)); }},
        {"value not immortal", [](Area& a) { a.put(Area::kString + image::kStringRecordObjectOffset, 0); }},
        {"value owned by another application",
         [](Area& a) { a.put(Area::kString + image::kStringRecordObjectOffset + memory::kOwnerOffset, 0x1000); }},
        {"immutables range outside", [](Area& a) { a.put(Area::kDescriptor + 4 * image::kFeatureImmutablesEnd, a.end() + 4); }},
    };
    for (const Case& c : cases) {
        Area a;
        c.spoil(a);
        EXPECT_FALSE(a.inside()) << c.what;
    }
}

// An application without resources or immutables names empty ranges
// wherever it likes: nothing is read of them.
TEST(ApplicationTables, EmptyTablesAnywhere) {
    Area a;
    for (std::uint32_t i : {image::kFeatureResourcesStart, image::kFeatureResourcesEnd, image::kFeatureImmutableKeys,
                            image::kFeatureImmutableValues, image::kFeatureImmutablesStart, image::kFeatureImmutablesEnd})
        a.put(Area::kDescriptor + 4 * i, 0);
    EXPECT_TRUE(a.inside());
}

}  // namespace
}  // namespace tarvelo
