// Boundary-tag allocator with segregated exact-size lists for small blocks,
// one size-sorted list for large ones and a bump "top" for fresh space. It
// serves the graphics engine's image heap and the RAM kept for installed
// applications. It takes no lock: each user serialises its calls.
//
// Layout of the managed area (all words are 32-bit addresses or sizes):
//   word 0        index of the top-pointer word (16)
//   words 1-14    heads of the exact lists for block sizes 16, 20, ..., 68
//   word 15       head of the large list (72 bytes and more), ascending size
//   word 16       top pointer: start of the never-used space
//   word 17       0: the "footer" before the first block
//   at the top    0: the end marker
// A block's size is a multiple of 4 and at least 16; an allocated block has
// header and footer = size | 0x80000000, a free one header = footer = size
// with its list links in words 1 (previous) and 2 (next).
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

// The one allocator interface of the virtual machine, bound to the best-fit
// allocator (its single implementation).
struct BestFitAllocator {
    static constexpr std::uint32_t kClassId = 0;
    static constexpr std::uint32_t kMinBlock = 16;
    static constexpr std::uint32_t kLargeBlock = 72;  // first size of the large list
    static constexpr std::uint32_t kHeaderBytes = 72; // heap header before the first block
    static constexpr std::uint32_t kTopWordIndex = 16;
    static constexpr std::uint32_t kLargeListWordIndex = 15;
    static constexpr std::uint32_t kAllocatedBit = 0x80000000u;

    std::uint32_t classId;   // kClassId
    word_t heapStart;
    word_t heapLimit;
    word_t listBase;         // heapStart - 12: the head of the list for size s is at listBase + s

    // Lays the heap header over [start, end) (aligned inward to 4 bytes).
    // An area too small for the header leaves an allocator that never gives
    // memory.
    void initialize(void* start, void* end);

    // `size` bytes, 4-aligned, not zeroed; nullptr when nothing fits.
    void* allocate(std::uint32_t size);

    // Returns a block from `allocate`; coalesces with free neighbours.
    // nullptr and pointers that do not carry a valid allocated block are
    // ignored, so a double free cannot corrupt the lists.
    void free(void* p);

    // Inspection (tests, diagnostics).
    word_t top() const;
    static std::uint32_t blockSizeFor(std::uint32_t size, bool* overflow);
    // Sum of the sizes of the listed free blocks plus the bytes above the
    // top up to the limit's last word.
    std::uint32_t freeBytes() const;
    // Walks every block from the first to the top checking tags and lists;
    // false on any inconsistency.
    bool check() const;

  private:
    std::uint32_t& word(word_t addr) const { return *to_ptr<std::uint32_t>(addr); }
    word_t headAddress(std::uint32_t blockSize) const;
    void unlink(word_t block, std::uint32_t size);
    void insert(word_t block, std::uint32_t size);
    void markAllocated(word_t block, std::uint32_t size);
    void split(word_t block, std::uint32_t size, std::uint32_t need);
    bool usable() const { return heapStart != 0; }
};

}  // namespace tarvelo

// C entry points with which the port modules and the graphics hooks reach the
// allocator.
extern "C" {
typedef tarvelo::BestFitAllocator BESTFIT_ALLOCATOR;
void BESTFIT_ALLOCATOR_new(BESTFIT_ALLOCATOR* allocator);
void BESTFIT_ALLOCATOR_initialize(BESTFIT_ALLOCATOR* allocator, void* start, void* end);
void* BESTFIT_ALLOCATOR_allocate(BESTFIT_ALLOCATOR* allocator, std::uint32_t size);
void BESTFIT_ALLOCATOR_free(BESTFIT_ALLOCATOR* allocator, void* block);
}
