// The collected main heap. Objects are carved from the END of free blocks
// found by a lazy sweep or by first fit over an address-ordered free list,
// so an allocation never unlinks a block: it only shrinks, down to a 4-byte
// fragment. When nothing fits, the collector marks the heap and the
// allocation either sweeps lazily again or compacts, depending on how
// fragmented the heap was.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/model/vm_component.h"
#include "vm/memory/free_block.h"
#include "vm/memory/heap_debug_modes.h"
#include "vm/memory/object_model.h"

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
    // The header after the block at `h` (object or free block). Inline: the
    // sweeps and the compaction walk call it for every block.
    static word_t nextHeader(word_t h) {
        std::uint32_t w = wordAt(h);
        std::uint32_t refWordsAfter = memory::header_next_ref_words(w);
        if (!memory::header_is_object(w)) return h + free_block::size(h) + 4u * refWordsAfter;
        BlockShape shape = shapeOf(h);
        return h - shape.refBytes + shape.size + 4u * refWordsAfter;
    }
    // Address of the first reference field of the block at `h`, given the
    // reference words recorded before it.
    static word_t blockStart(word_t h, std::uint32_t refWordsBefore) { return h - 4u * refWordsBefore; }

    // Header of a zeroed block for an object of `size` bytes with
    // `refBytes` reference bytes, collecting when needed; 0 when none.
    word_t allocateBlock(std::uint32_t size, std::uint32_t refBytes);
    // allocateBlock's common case, decided without a call: the lazy sweep
    // has finished, one of the first few free blocks has room (first fit
    // takes the first such one; the blocks before it are fragments an
    // allocation left) and no stress mode collects first. Only for an
    // allocation no quota limits (the kernel's). 0: nothing done,
    // allocateBlock decides.
    static constexpr int kQuickFitBlocks = 4;
    [[gnu::always_inline]] word_t allocateFromFirstFree(std::uint32_t size, std::uint32_t refBytes) {
        if (sweepCursor < end || gcStressEnabled() || size > kNoRoom - 4u) return 0;
        word_t b = freeHead;
        for (int i = 0; i < kQuickFitBlocks && b != 0; ++i, b = free_block::next(b)) {
            if (free_block::size(b) >= size + 4u) return carve(b, size, refBytes);
        }
        return 0;
    }
    word_t sweepAllocate(std::uint32_t need);
    word_t firstFit(std::uint32_t need) const;
    void appendFreeBlock(word_t block);
    bool grow(std::uint32_t size);
    void trim();
    // Sliding compaction after a complete sweep (the collector supplies the
    // break table and relocates the roots).
    void compact();

  private:
    // Takes an object block from the end of the free block `block`.
    word_t carve(word_t block, std::uint32_t size, std::uint32_t refBytes) {
        freeBytes -= size;
        std::uint32_t w = wordAt(block);
        const std::uint32_t oldRefWords = memory::header_next_ref_words(w);
        std::uint32_t remaining = free_block::size(block) - size;
        w = memory::header_with_next_ref_words(w, refBytes / 4u);
        if (remaining <= 7u) {
            // A 4-byte fragment keeps its link; its old size word now lies
            // in the object and must read as zero.
            wordAt(block) = w & ~free_block::kSizeFollows;
            wordAt(block + 4u) = 0;
            remaining = 4u;
        } else {
            wordAt(block) = w;
            wordAt(block + 4u) = remaining;
        }
        const word_t header = block + remaining + refBytes;
        wordAt(header) = memory::header_with_next_ref_words(memory::kAllocatedBit, oldRefWords);
        return header;
    }
    word_t collectForAllocation(std::uint32_t need);
    bool overQuota(std::uint32_t size) const;
    // Turns the dead object at `dead` and every dead object and free block
    // after it into one free block; `prev` is the block before it (0 at the
    // region start). Returns the block; `*resume` the header that ends it.
    word_t coalesceDeadRun(word_t dead, word_t prev, word_t* resume);
};

}  // namespace tarvelo
