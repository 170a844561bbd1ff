#include "vm/memory/compacting_heap.h"

#include <algorithm>
#include <cstring>

#include "vm/memory/feature_record.h"
#include "vm/memory/free_block.h"
#include "vm/memory/heap_debug_modes.h"
#include "vm/memory/heap_set.h"
#include "vm/memory/heap_verifier.h"
#include "vm/memory/memory_environment.h"
#include "vm/memory/object_model.h"
#include "vm/memory/ram_check.h"

namespace tarvelo {

namespace fb = free_block;

bool CompactingHeap::setUp(HeapSet* owner, word_t regionStart, word_t regionEnd,
                           std::uint32_t initial) {
    heapSet = owner;
    start = (regionStart + 3u) & ~3u;
    regionSize = regionEnd > start ? (regionEnd - start) & ~3u : 0u;
    std::uint32_t alignedInitial = static_cast<std::uint32_t>(
        std::min<std::uint64_t>((static_cast<std::uint64_t>(initial) + 3u) & ~std::uint64_t{3},
                                regionSize));
    initialSize = std::max<std::uint32_t>(12u, alignedInitial);
    end = start + initialSize;
    freeHead = freeTail = 0;
    freeBytes = freeCount = 0;
    sweepCursor = end;
    return regionSize >= 12u && regionSize < kMaxRegion;
}

int CompactingHeap::memoryTest() const { return RamCheck::ramCheck(start, start + regionSize); }

void CompactingHeap::reset() {
    std::memset(to_ptr(start), 0, regionSize);
    end = start + initialSize;
    wordAt(start) = 0;
    word_t block = start + 4u;
    fb::write(block, end - block, 0);
    freeHead = freeTail = block;
    freeBytes = fb::size(block);
    freeCount = 1;
    sweepCursor = end;
}

word_t CompactingHeap::firstHeader() const { return start + 4u + 4u * wordAt(start); }

void CompactingHeap::appendFreeBlock(word_t block) {
    fb::setNext(block, 0);
    if (freeTail != 0) {
        fb::setNext(freeTail, block);
    } else {
        freeHead = block;
    }
    freeTail = block;
    freeBytes += fb::size(block);
    ++freeCount;
}

word_t CompactingHeap::firstFit(std::uint32_t need) const {
    for (word_t b = freeHead; b != 0; b = fb::next(b)) {
        if (fb::size(b) >= need) return b;
    }
    return 0;
}

word_t CompactingHeap::coalesceDeadRun(word_t dead, word_t prev, word_t* resume) {
    std::uint32_t refWordsBefore =
        prev != 0 ? memory::header_next_ref_words(wordAt(prev)) : wordAt(start);
    bool grows = prev != 0 && fb::isFree(prev);
    word_t runStart = grows ? prev : dead - 4u * refWordsBefore;
    std::uint32_t oldSize = grows ? fb::size(prev) : 0u;
    word_t zeroFrom = grows ? prev + oldSize : runStart;

    word_t h = dead;
    std::uint32_t lastRefWords = 0;
    while (h < end) {
        std::uint32_t w = wordAt(h);
        if (memory::header_is_object(w) && memory::header_is_marked(w)) break;
        lastRefWords = memory::header_next_ref_words(w);
        h = nextHeader(h);
    }
    if (h > end) h = end;
    word_t blockEnd = h - 4u * lastRefWords;
    std::memset(to_ptr(zeroFrom), 0, blockEnd - zeroFrom);
    std::uint32_t size = blockEnd - runStart;
    if (grows) {
        std::uint32_t link = wordAt(prev) & fb::kLinkMask;
        fb::write(prev, size, lastRefWords);
        wordAt(prev) |= link;
        freeBytes += size - oldSize;
    } else {
        fb::write(runStart, size, lastRefWords);
        appendFreeBlock(runStart);
        // No reference words precede a free block.
        if (prev != 0) {
            wordAt(prev) = memory::header_with_next_ref_words(wordAt(prev), 0);
        } else {
            wordAt(start) = 0;
        }
    }
    *resume = h;
    return runStart;
}

word_t CompactingHeap::sweepAllocate(std::uint32_t need) {
    if (sweepCursor >= end) return 0;
    word_t prev = 0;
    word_t found = 0;
    word_t h = sweepCursor;
    while (h < end) {
        std::uint32_t w = wordAt(h);
        if (!memory::header_is_object(w)) {
            appendFreeBlock(h);
            if (found == 0 && need <= fb::size(h)) found = h;
            prev = h;
            h = nextHeader(h);
        } else if (memory::header_is_marked(w)) {
            if (found != 0) break;
            wordAt(h) = w & ~memory::kMarkBit;
            prev = h;
            h = nextHeader(h);
        } else {
            word_t resume = 0;
            word_t block = coalesceDeadRun(h, prev, &resume);
            prev = block;
            h = resume;
            if (need <= fb::size(block)) {
                found = block;
                break;
            }
        }
    }
    sweepCursor = std::min(h, end);
    return found;
}

bool CompactingHeap::overQuota(std::uint32_t size) const {
    word_t feature = memoryEnvironment().currentOwnerFeature();
    if (feature == 0) return false;
    FeatureRuntimeState* st = featureRuntimeState(feature);
    std::uint64_t allocated = loadU64(st->allocatedBytes);
    auto quota = static_cast<std::int64_t>(loadU64(st->quota));
    if (quota < 0) return true;
    return allocated + size > static_cast<std::uint64_t>(quota);
}

word_t CompactingHeap::collectForAllocation(std::uint32_t need) {
    const MemoryEnvironment& env = memoryEnvironment();
    HeapSet& hs = *heapSet;
    hs.collectionRunning = 1;
    std::int32_t thread = 0;
    bool traced = env.traceStarted();
    if (traced) {
        thread = env.currentThreadId();
        env.onGcStart(thread);
    }
    if (heapVerifyEnabled()) verifyHeapOrDie(hs, "before an allocation's collection");

    std::uint32_t fragments = freeCount;
    hs.collector.markAll();
    word_t block = 0;
    if (fragments <= 4u * hs.collector.maxSamples) {
        block = sweepAllocate(need);
    } else {
        sweepAllocate(kNoRoom);
        compact();
        block = firstFit(need);
    }
    if (block == 0 && need <= freeBytes) {
        compact();
        block = firstFit(need);
    }

    if (heapVerifyEnabled()) verifyHeapOrDie(hs, "after an allocation's collection");
    if (traced) env.onGcStop(thread);
    hs.collectionRunning = 0;
    return block;
}

word_t CompactingHeap::allocateBlock(std::uint32_t size, std::uint32_t refBytes) {
    std::uint32_t need = size <= kNoRoom - 4u ? size + 4u : kNoRoom;
    if (gcStressEnabled() && heapSet->collectionRunning == 0) heapSet->collector.collect(false);

    word_t block = sweepAllocate(need);
    if (block == 0) block = firstFit(need);
    if (block == 0) block = collectForAllocation(need);
    if (block == 0) return 0;
    if (overQuota(size)) {
        // One full collection recounts every owner's live bytes.
        heapSet->collector.collect(false);
        block = firstFit(need);
        if (block == 0 || overQuota(size)) return 0;
    }
    return carve(block, size, refBytes);
}

bool CompactingHeap::grow(std::uint32_t size) {
    std::uint32_t current = currentSize();
    if (current >= regionSize) return false;
    std::int64_t wanted = static_cast<std::int64_t>(current) + size + 4 - freeBytes;
    // Room lost to fragmentation must still grow the heap, or the caller
    // would retry for ever.
    if (wanted <= static_cast<std::int64_t>(current)) {
        wanted = static_cast<std::int64_t>(current) + size + 4;
    }
    std::uint64_t newSize = std::min<std::uint64_t>(
        regionSize, (static_cast<std::uint64_t>(wanted) + 3u) & ~std::uint64_t{3});
    std::uint32_t diff = static_cast<std::uint32_t>(newSize) - current;
    word_t oldEnd = end;
    std::memset(to_ptr(oldEnd), 0, diff);
    if (freeTail != 0 && freeTail + fb::size(freeTail) == oldEnd) {
        std::uint32_t link = wordAt(freeTail) & fb::kLinkMask;
        fb::write(freeTail, fb::size(freeTail) + diff, 0);
        wordAt(freeTail) |= link;
        freeBytes += diff;
    } else {
        fb::write(oldEnd, diff, 0);
        appendFreeBlock(oldEnd);
    }
    end = oldEnd + diff;
    if (sweepCursor >= oldEnd) sweepCursor = end;
    return true;
}

void CompactingHeap::trim() {
    if (currentSize() <= initialSize || freeTail == 0) return;
    std::uint32_t tailSize = fb::size(freeTail);
    if (freeTail + tailSize != end) return;
    std::uint32_t tailOffset = freeTail - start;
    std::uint32_t newSize = std::max(initialSize, tailOffset + 4u);
    std::uint32_t newTail = tailOffset + 4u < initialSize ? initialSize - tailOffset : 4u;
    std::uint32_t link = wordAt(freeTail) & fb::kLinkMask;
    fb::write(freeTail, newTail, 0);
    wordAt(freeTail) |= link;
    if (newTail < 8u) wordAt(freeTail + 4u) = 0;
    freeBytes -= tailSize - newTail;
    end = start + newSize;
    if (sweepCursor > end) sweepCursor = end;
}

void CompactingHeap::compact() { heapSet->collector.compactHeap(); }

}  // namespace tarvelo
