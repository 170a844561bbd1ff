// Exact, non-incremental mark-compact collector of the main heap. Marking is
// depth first over a fixed 32-entry explicit stack; an object found when the
// stack is full is marked without being scanned and the heap is rescanned
// afterwards. Compaction slides live objects down over the free blocks and
// relocates references through a small break table of sampled free blocks.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/memory/gc_roots.h"

namespace tarvelo {

class HeapSet;
struct BlockShape;

class GarbageCollector {
  public:
    static constexpr std::uint32_t kMaxStackLevel = 32;
    static constexpr std::uint32_t kStackElemSize = 9;
    static constexpr std::uint32_t kBufferBytes = kMaxStackLevel * kStackElemSize;  // 288
    // The allocation the buffer comes from: its first word holds the buffer
    // size.
    static constexpr std::uint32_t kAllocationBytes = kBufferBytes + 4;

    void attach(HeapSet* owner, word_t allocation292);

    // A complete marking of the heap.
    void markAll();
    // Full collection (Runtime.gc with trim, quota retry and exit without).
    void collect(bool trim);
    // Every root slot, in the fixed order.
    void visitRoots(const SlotVisitor& visitor);
    // Current size minus the live bytes of the last marking.
    std::uint32_t liveFreeMemory() const;

    // Visits the reference slots of one object. Weak-aware: the referent
    // slot of a weak object is skipped and the object handed to `onWeak`.
    void visitObjectSlots(word_t obj, const SlotVisitor& visitor, bool weakAware,
                          void (*onWeak)(void* ctx, word_t ref) = nullptr, void* ctx = nullptr);
    // Whether marking treats `obj` (a plain object) as weak.
    bool isWeakDuringMarking(word_t obj);

    // Sliding compaction of the main heap (called by the heap).
    void compactHeap();

    std::uint32_t liveBytes = 0;
    std::uint8_t overflow = 0;
    std::uint32_t maxSamples = 0;
    word_t breakBase = 0;

  private:
    struct Entry {
        word_t block;
        std::uint32_t sumBefore;
    };

    void markObject(word_t obj);
    void markFrom(word_t ref);
    void push(word_t obj, std::int32_t count, bool weak);
    word_t relocate(word_t a);
    word_t relocateByWalk(word_t a);
    // Relocates the reference slots of the heap object at `h`.
    void relocateSlots(word_t h, const BlockShape& shape);
    void chargeLive(word_t obj, std::uint32_t size);

    HeapSet* heapSet_ = nullptr;
    word_t* objects_ = nullptr;
    std::int32_t* counts_ = nullptr;
    std::uint8_t* weak_ = nullptr;
    std::uint32_t height_ = 0;
    // Compaction state.
    word_t first_ = 0;
    word_t span_ = 0;
    std::uint32_t samples_ = 0;
    std::uint32_t sampleDistance_ = 0;  // span_ / samples_
    // Where the previous relocation's free-list walk stopped: the first free
    // block at or above `walkAddress_`, and the free bytes below that block.
    // References are mostly visited in rising order, so the next walk can
    // usually resume there instead of at its break-table sample; the sums
    // are cumulative from the heap's start, so either start gives the same
    // address.
    word_t walkAddress_ = 0;
    word_t walkBlock_ = 0;
    std::uint32_t walkSum_ = 0;
    // No free block lies in (hitLow_, hitHigh_]: every address there moves
    // by the last walk's sum, with no division and no walk. Most references
    // of an object point near the previous one's, so most lookups end here.
    word_t hitLow_ = 0;
    word_t hitHigh_ = 0;
};

}  // namespace tarvelo
