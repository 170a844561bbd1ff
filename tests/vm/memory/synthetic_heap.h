// A synthetic image and heap for memory tests: a few type headers laid out
// in static memory with the image format, the main and immortal heap
// regions, a reference statics area that serves as the tests' roots, and a
// recording environment.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/address.h"
#include "vm/model/type_record.h"
#include "vm/memory/feature_record.h"
#include "vm/memory/heap_set.h"
#include "vm/memory/memory_environment.h"
#include "vm/model/object_header.h"
#include "vm/memory/object_model.h"

namespace tarvelo::test {

// Type headers of the synthetic image, in slots 16-aligned from the types
// base.
struct SyntheticTypes {
    word_t base;
    word_t object, klass, leaf, node1, node2, node3, reference, weakRef, weakSub, autoClose,
        softRef, queue, proxy;
    word_t intArray, byteArray, longArray, charArray, objectArray;
    // Malformed classes (as an installed application's file may carry):
    // an instance size that is not a whole number of words, reference
    // bytes that are not whole words, more reference bytes than the size.
    word_t oddSize, oddRefs, refsOverSize;
    // java.lang.String (its char array below the header, offset and count
    // at + 8 and + 12) and a subclass of it.
    word_t string, stringSub;
    word_t concreteEnd;
};

// Lays the types out once (static memory) and returns them.
const SyntheticTypes& syntheticTypes();

// A feature with its record, descriptor, runtime state and its own types
// base (it defines one class with one reference field).
struct SyntheticFeature {
    word_t record;
    word_t featureType;  // its class type header
    FeatureRuntimeState* state;
};
SyntheticFeature& syntheticFeature();

// What the environment recorded.
struct EnvLog {
    int oomePending = 0;
    int newOome = 0;
    int stackOverflows = 0;
    int gcStarts = 0;
    std::vector<word_t> resumed;
    std::vector<word_t> closed;
    word_t currentFeature = 0;
    bool featureInstalled = false;
    std::int64_t now = 0;
};
EnvLog& envLog();

class HeapTest {
  public:
    static constexpr std::uint32_t kRootSlots = 64;

    // Builds a heap of `heapBytes` (initial size `initialBytes`, 0 for the
    // whole region) and `immortalBytes`.
    void build(std::uint32_t heapBytes, std::uint32_t immortalBytes = 4096,
               std::uint32_t initialBytes = 0);
    void tearDown();

    HeapSet& hs() { return *hs_; }
    word_t& root(std::uint32_t i);
    word_t newObject(word_t type);
    word_t newArray(word_t type, std::int32_t length);
    // A weak reference (of `type`) to `referent` on `queue`.
    word_t newWeak(word_t referent, word_t queue = 0, word_t type = 0);
    void collect() { hs_->collector.collect(false); }
    bool verify();
    std::string verifyFault();

  private:
    HeapSet* hs_ = nullptr;
};

}  // namespace tarvelo::test
