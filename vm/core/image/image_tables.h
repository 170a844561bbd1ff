// The parts of one image (the kernel's, or an installed application's)
// that the image directory reads: the bounds of its type headers, of its
// class-name and resource records and of its immutables. The kernel's come
// from the link-time symbols; an installed application's from its feature
// descriptor.
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

struct ImageTables {
    word_t typesStart;        // types base: first type header
    word_t concreteTypesEnd;  // end of the class and array headers
    word_t typesEnd;          // end of all type headers
    word_t classNamesStart;
    word_t classNamesEnd;
    word_t resourcesStart;
    word_t resourcesEnd;
    word_t immutableKeys;
    word_t immutableValues;
    word_t immutablesStart;
    word_t immutablesEnd;
    // The read-only span of the image, when known (0, 0 otherwise): tables
    // that type headers point at must lie inside it.
    word_t imageStart;
    word_t imageEnd;

    // The tables of the installed application whose `FeatureRecord` is
    // `record` (its descriptor's words 3 to 13).
    static ImageTables ofFeature(word_t record);

    bool inImmutables(word_t a) const { return a >= immutablesStart && a < immutablesEnd; }
    // [a, a + bytes) lies in the known span of the image (always true when
    // the span is unknown).
    bool spanContains(word_t a, std::uint64_t bytes) const {
        if (imageEnd == 0) return true;
        return a >= imageStart && a <= imageEnd && bytes <= imageEnd - a;
    }
};

}  // namespace tarvelo
