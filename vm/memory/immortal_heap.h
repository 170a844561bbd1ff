// Bump region of Java objects that never move and are never collected.
// Its objects carry the mark bit from birth; bits 26-30 of each header are
// filled in when the next object is allocated.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/model/vm_component.h"

namespace tarvelo {

class HeapSet;

struct ImmortalHeap {
    VMComponent component;
    HeapSet* heapSet;
    word_t start;
    word_t end;
    word_t top;
    word_t firstHeader;  // 0 until the first allocation
    word_t lastHeader;

    void setUp(HeapSet* owner, word_t regionStart, word_t regionEnd);
    int memoryTest() const;
    void reset();

    std::uint32_t freeBytes() const { return end - top; }
    std::uint32_t currentSize() const { return end - start; }
    bool contains(word_t a) const { return a >= start && a < top; }

    // Header address of a block of `size` bytes (`refBytes` of them below
    // the header), or 0 when fewer than `size` bytes remain.
    word_t bump(std::uint32_t size, std::uint32_t refBytes, bool zero);

    // The immortal copy of a main-heap object with every reference to it
    // redirected, or 0 with a new OutOfMemoryError thrown. Objects outside
    // the main heap are returned as they are.
    word_t makeImmortal(word_t object);
};

}  // namespace tarvelo
