#include "vm/memory/immortal_heap.h"

#include <cstring>

#include "vm/memory/garbage_collector.h"
#include "vm/memory/heap_set.h"
#include "vm/memory/memory_environment.h"
#include "vm/memory/object_model.h"
#include "vm/memory/ram_check.h"

namespace tarvelo {

void ImmortalHeap::setUp(HeapSet* owner, word_t regionStart, word_t regionEnd) {
    heapSet = owner;
    start = (regionStart + 3u) & ~3u;
    end = regionEnd > start ? start + ((regionEnd - start) & ~3u) : start;
    reset();
}

int ImmortalHeap::memoryTest() const { return RamCheck::ramCheck(start, end); }

void ImmortalHeap::reset() {
    top = start;
    firstHeader = lastHeader = 0;
}

word_t ImmortalHeap::bump(std::uint32_t size, std::uint32_t refBytes, bool zero) {
    if (end - top < size || refBytes > size) return 0;
    word_t block = top;
    word_t header = block + refBytes;
    top += size;
    if (firstHeader == 0) firstHeader = header;
    if (lastHeader != 0) {
        wordAt(lastHeader) = memory::header_with_next_ref_words(wordAt(lastHeader), refBytes / 4u);
    }
    lastHeader = header;
    if (zero) std::memset(to_ptr(block), 0, size);
    return header;
}

word_t ImmortalHeap::makeImmortal(word_t object) {
    HeapSet& hs = *heapSet;
    if (object == 0 || !hs.mainHeap.contains(object)) return object;
    BlockShape shape = shapeOf(object);
    word_t copy = bump(shape.size, shape.refBytes, false);
    if (copy == 0) {
        memoryEnvironment().throwNewOutOfMemoryError();
        return 0;
    }
    const MemoryEnvironment& env = memoryEnvironment();
    if (env.traceStarted()) env.onAllocate(typeOf(object), shape.size, currentSize(), freeBytes(), true);
    std::memcpy(to_ptr(copy - shape.refBytes), to_ptr(object - shape.refBytes), shape.size);
    std::uint32_t h = memory::header_with_next_ref_words(wordAt(object), 0);
    wordAt(copy) = h | memory::kMarkBit;

    // Every reference to the old copy now names the immortal one, weak
    // referents included, so a weak reference keeps reaching the object.
    struct Redirect {
        word_t from;
        word_t to;
    } redirect{object, copy};
    SlotVisitor visitor{[](void* ctx, word_t* slot) {
                            auto* r = static_cast<Redirect*>(ctx);
                            if (*slot == r->from) *slot = r->to;
                        },
                        &redirect};
    hs.collector.visitRoots(visitor);
    CompactingHeap& heap = hs.mainHeap;
    for (word_t h2 = heap.firstHeader(); h2 < heap.end; h2 = CompactingHeap::nextHeader(h2)) {
        if (memory::header_is_object(wordAt(h2))) hs.collector.visitObjectSlots(h2, visitor, false);
    }
    return copy;
}

}  // namespace tarvelo
