// The collected main heap. Objects are carved from the END of free blocks
// found by a lazy sweep or by first fit over an address-ordered free list,
// so an allocation never unlinks a block: it only shrinks, down to a 4-byte
// fragment. When nothing fits, the collector marks the heap and the
// allocation either sweeps lazily again or compacts, depending on how
// fragmented the heap was.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/core/lifecycle/vm_component.h"

namespace tarvelo {

class HeapSet;

struct CompactingHeap {
    VMComponent component;
    HeapSet* heapSet;
    word_t start;              // region start rounded up to 4
    word_t end;                // start + current size: the walkable part
    std::uint32_t regionSize;  // 4-aligned size of the whole region
    std::uint32_t initialSize; // the size trimming returns to
    word_t freeHead;           // address-ordered free list
    word_t freeTail;
    std::uint32_t freeBytes;
    std::uint32_t freeCount;
    word_t sweepCursor;        // next header the lazy sweep looks at

    static constexpr std::uint32_t kMaxRegion = 0x4000000u;  // 64 MiB
    static constexpr std::uint32_t kNoRoom = 0x7FFFFFFFu;

    // Lays the region out; false for a region under 12 bytes or of 64 MiB
    // or more.
    bool setUp(HeapSet* owner, word_t regionStart, word_t regionEnd, std::uint32_t initial);
    // Pattern test of the whole region (1 passed).
    int memoryTest() const;
    // One zeroed free block from start + 4 to the end.
    void reset();

    std::uint32_t currentSize() const { return end - start; }
    std::uint32_t maximumSize() const { return regionSize; }
    bool contains(word_t a) const { return a >= start && a < end; }
    word_t firstHeader() const;
    // The header after the block at `h` (object or free block).
    static word_t nextHeader(word_t h);
    // Address of the first reference field of the block at `h`, given the
    // reference words recorded before it.
    static word_t blockStart(word_t h, std::uint32_t refWordsBefore) { return h - 4u * refWordsBefore; }

    // Header of a zeroed block for an object of `size` bytes with
    // `refBytes` reference bytes, collecting when needed; 0 when none.
    word_t allocateBlock(std::uint32_t size, std::uint32_t refBytes);
    word_t sweepAllocate(std::uint32_t need);
    word_t firstFit(std::uint32_t need) const;
    void appendFreeBlock(word_t block);
    bool grow(std::uint32_t size);
    void trim();
    // Sliding compaction after a complete sweep (the collector supplies the
    // break table and relocates the roots).
    void compact();

  private:
    word_t carve(word_t block, std::uint32_t size, std::uint32_t refBytes);
    word_t collectForAllocation(std::uint32_t need);
    bool overQuota(std::uint32_t size) const;
    // Turns the dead object at `dead` and every dead object and free block
    // after it into one free block; `prev` is the block before it (0 at the
    // region start). Returns the block; `*resume` the header that ends it.
    word_t coalesceDeadRun(word_t dead, word_t prev, word_t* resume);
};

}  // namespace tarvelo
