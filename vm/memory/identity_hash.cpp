#include "vm/memory/identity_hash.h"

#include "vm/memory/heap_set.h"
#include "vm/model/object_header.h"
#include "vm/memory/object_model.h"

namespace tarvelo {

namespace {
constexpr std::uint32_t kHashBitsMask = 0x7FFFFu;  // bits 0-18
}

std::uint32_t identityHashCode(word_t object) {
    std::uint32_t& header = headerWord(object);
    if (memory::header_hash(header) == 0) {
        HeapSet* hs = heapSet();
        // Objects of the read-only image keep the bits the linker gave them.
        bool writable = hs != nullptr && (hs->mainHeap.contains(object) ||
                                          (object >= hs->immortalHeap.start &&
                                           object < hs->immortalHeap.end));
        if (writable) {
            std::uint8_t seed = static_cast<std::uint8_t>(hs->identityHashSeed + 1u);
            if ((seed & 0x1Fu) == 0) seed = 1;
            hs->identityHashSeed = seed;
            header = memory::header_with_hash(header, seed & 0x1Fu);
        }
    }
    return header & kHashBitsMask;
}

}  // namespace tarvelo
