#include "vm/memory/garbage_collector.h"

#include <algorithm>
#include <cstring>

#include "vm/memory/feature_record.h"
#include "vm/memory/free_block.h"
#include "vm/memory/heap_debug_modes.h"
#include "vm/memory/heap_set.h"
#include "vm/memory/heap_verifier.h"
#include "vm/memory/memory_environment.h"
#include "vm/memory/object_model.h"

namespace tarvelo {

namespace fb = free_block;

void GarbageCollector::attach(HeapSet* owner, word_t allocation) {
    heapSet_ = owner;
    wordAt(allocation) = kBufferBytes;
    word_t buffer = allocation + 4u;
    objects_ = to_ptr<word_t>(buffer);
    counts_ = to_ptr<std::int32_t>(buffer + 4u * kMaxStackLevel);
    weak_ = to_ptr<std::uint8_t>(buffer + 8u * kMaxStackLevel);
    breakBase = (buffer + 7u) & ~7u;
    word_t bufferEnd = (buffer + kBufferBytes) & ~7u;
    std::uint32_t entries = (bufferEnd - breakBase) / 8u;
    std::uint32_t region = std::max<std::uint32_t>(owner->mainHeap.regionSize, 1u);
    maxSamples = std::min<std::uint32_t>(entries, 0x7FFFFFFFu / region);
    height_ = 0;
}

std::uint32_t GarbageCollector::liveFreeMemory() const {
    return heapSet_->mainHeap.currentSize() - liveBytes;
}

bool GarbageCollector::isWeakDuringMarking(word_t obj) {
    const MemoryLayout& layout = memoryLayout();
    word_t type = typeOf(obj);
    if (typeIsArray(type)) return false;
    // typeIsOrExtendsAtDepth2 for the three kinds with the type read once:
    // marking asks it of every object with reference fields.
    const word_t atDepth2 = classAtDepth2(type);
    auto is = [type, atDepth2](word_t target) { return target != 0 && (type == target || atDepth2 == target); };
    if (is(layout.weakReferenceType)) return true;
    if (is(layout.proxyType)) {
        word_t target = wordAt(obj - 4u);
        if (target == 0) return false;
        word_t feature = memory::owner_feature(ownerWord(target));
        return feature != 0 &&
               featureRuntimeState(feature)->state == static_cast<std::uint8_t>(FeatureState::kStopped);
    }
    if (is(layout.softReferenceType)) {
        return !heapSet_->softPolicy.keep(obj);
    }
    return false;
}

void GarbageCollector::visitObjectSlots(word_t obj, const SlotVisitor& visitor, bool weakAware,
                                        void (*onWeak)(void*, word_t), void* ctx) {
    BlockShape shape = shapeOf(obj);
    if (shape.isArray) {
        if (memory::is_primitive_element(shape.element)) return;
        std::int32_t length = std::max(arrayLength(obj), 0);
        for (std::int32_t i = 0; i < length; ++i) {
            visitor(to_ptr<word_t>(obj + memory::kArrayDataOffset + 4u * static_cast<word_t>(i)));
        }
        return;
    }
    std::uint32_t n = shape.refBytes / 4u;
    bool weak = weakAware && n > 0 && isWeakDuringMarking(obj);
    std::uint32_t last = weak ? 2u : 1u;
    for (std::uint32_t m = n; m >= last && m > 0; --m) visitor(to_ptr<word_t>(obj - 4u * m));
    if (weak && onWeak != nullptr) onWeak(ctx, obj);
}

void GarbageCollector::chargeLive(word_t obj, std::uint32_t size) {
    liveBytes += size;
    heapSet_->charge(memory::owner_feature(ownerWord(obj)), size);
}

void GarbageCollector::push(word_t obj, std::int32_t count, bool weak) {
    objects_[height_] = obj;
    counts_[height_] = count;
    weak_[height_] = weak ? 1 : 0;
    ++height_;
}

void GarbageCollector::markObject(word_t obj) {
    HeapSet& hs = *heapSet_;
    for (;;) {
        if (obj == 0) return;
        word_t feature = memory::owner_feature(ownerWord(obj));
        if (feature != 0) featureRuntimeState(feature)->liveObject = 1;
        std::uint32_t& header = headerWord(obj);
        if (memory::header_is_marked(header)) return;
        hs.lastAnalysed = obj;
        header |= memory::kMarkBit;
        BlockShape shape = shapeOf(obj);
        // Counted before the stack test: an object left unscanned by an
        // overflow is alive all the same.
        if (hs.mainHeap.contains(obj)) chargeLive(obj, shape.size);
        if (height_ >= kMaxStackLevel) {
            overflow = 1;
            memoryEnvironment().onMarkStackOverflow();
            return;
        }

        std::int32_t count = 0;
        bool weak = false;
        word_t firstSlot = 0;  // lowest slot address
        std::uint32_t slots = 0;
        if (shape.isArray) {
            if (memory::is_primitive_element(shape.element)) return;
            slots = static_cast<std::uint32_t>(std::max(arrayLength(obj), 0));
            firstSlot = obj + memory::kArrayDataOffset;
            count = -static_cast<std::int32_t>(slots);
        } else {
            slots = shape.refBytes / 4u;
            if (slots > 0 && isWeakDuringMarking(obj)) {
                weak = true;
                hs.tracker.discover(obj);
                --slots;
            }
            firstSlot = obj - shape.refBytes;
            count = static_cast<std::int32_t>(slots);
        }
        if (slots == 0) return;

        word_t only = 0;
        std::uint32_t children = 0;
        for (std::uint32_t i = 0; i < slots; ++i) {
            word_t child = wordAt(firstSlot + 4u * i);
            if (child == 0) continue;
            if (memory::header_is_marked(headerWord(child))) {
                word_t childFeature = memory::owner_feature(ownerWord(child));
                if (childFeature != 0) featureRuntimeState(childFeature)->liveObject = 1;
                continue;
            }
            only = child;
            if (++children > 1) break;
        }
        if (children == 0) return;
        if (children == 1) {
            obj = only;  // single-child chains are followed without pushing
            continue;
        }
        push(obj, count, weak);
        return;
    }
}

void GarbageCollector::markFrom(word_t ref) {
    markObject(ref);
    while (height_ > 0) {
        std::uint32_t top = height_ - 1u;
        word_t obj = objects_[top];
        std::int32_t count = counts_[top];
        word_t slot;
        if (count < 0) {
            // Array elements from the last to the first.
            auto k = static_cast<std::uint32_t>(-count);
            slot = obj + memory::kArrayDataOffset + 4u * (k - 1u);
            count = -static_cast<std::int32_t>(k - 1u);
        } else {
            // Fields from the lowest address upward, the weak referent skipped.
            slot = obj - 4u * (static_cast<std::uint32_t>(count) + weak_[top]);
            count -= 1;
        }
        if (count == 0) {
            --height_;
        } else {
            counts_[top] = count;
        }
        markObject(wordAt(slot));
    }
}

void GarbageCollector::visitRoots(const SlotVisitor& visitor) {
    HeapSet& hs = *heapSet_;
    const MemoryEnvironment& env = memoryEnvironment();
    const MemoryLayout& layout = memoryLayout();
    // 1. Every reference slot of every immortal object.
    const ImmortalHeap& immortal = hs.immortalHeap;
    if (immortal.firstHeader != 0) {
        for (word_t h = immortal.firstHeader; h < immortal.top;) {
            visitObjectSlots(h, visitor, false);
            BlockShape shape = shapeOf(h);
            h = h - shape.refBytes + shape.size + 4u * memory::header_next_ref_words(headerWord(h));
        }
    }
    // 2. Thread records and their stacks.
    hs.roots.visitPhase(RootPhase::kThreadStacks, visitor);
    // 3. Reference statics: the kernel's, then each installed feature's.
    for (word_t s = layout.staticsRefStart; s + 4u <= layout.staticsRefEnd; s += 4u) {
        visitor(to_ptr<word_t>(s));
    }
    for (int i = 0; i < kMaxDynamicFeatures; ++i) {
        word_t record = env.featureRecord(i);
        if (record == 0) continue;
        word_t s = featureRecordWord(record, feature_record::kRefStaticsStart);
        word_t e = featureRecordWord(record, feature_record::kRefStaticsEnd);
        for (; s + 4u <= e; s += 4u) visitor(to_ptr<word_t>(s));
    }
    // 4. Software watchdog contexts.
    hs.roots.visitPhase(RootPhase::kWatchdogContexts, visitor);
    // 5. The `Feature` object of each installed feature.
    for (int i = 0; i < kMaxDynamicFeatures; ++i) {
        word_t record = env.featureRecord(i);
        if (record != 0) visitor(&featureRuntimeState(record)->featureObject);
    }
}

void GarbageCollector::markAll() {
    HeapSet& hs = *heapSet_;
    const MemoryEnvironment& env = memoryEnvironment();
    // Every owner's counter is recomputed from the live objects.
    hs.kernelAllocatedBytes = 4;
    for (int i = 0; i < kMaxDynamicFeatures; ++i) {
        word_t record = env.featureRecord(i);
        if (record == 0) continue;
        FeatureRuntimeState* st = featureRuntimeState(record);
        storeU64(st->allocatedBytes, 0);
        st->liveObject = 0;
    }
    for (int i = HeapSet::kReleaseSlots - 1; i >= 0; --i) {
        MemoryReleaseHandler* h = hs.releaseHandlers[i];
        if (h != nullptr && h->ops->beforeCollection != nullptr) h->ops->beforeCollection(h);
    }

    CompactingHeap& heap = hs.mainHeap;
    liveBytes = 0;
    heap.sweepCursor = heap.firstHeader();
    heap.freeHead = heap.freeTail = 0;
    heap.freeBytes = heap.freeCount = 0;

    overflow = 0;
    height_ = 0;
    SlotVisitor mark{[](void* self, word_t* slot) {
                         static_cast<GarbageCollector*>(self)->markFrom(*slot);
                     },
                     this};
    visitRoots(mark);
    auto discover = [](void* ctx, word_t ref) { static_cast<HeapSet*>(ctx)->tracker.discover(ref); };
    while (overflow != 0) {
        overflow = 0;
        for (word_t h = heap.firstHeader(); h < heap.end; h = CompactingHeap::nextHeader(h)) {
            std::uint32_t w = wordAt(h);
            if (!memory::header_is_object(w) || !memory::header_is_marked(w)) continue;
            word_t feature = memory::owner_feature(ownerWord(h));
            if (feature != 0) featureRuntimeState(feature)->liveObject = 1;
            visitObjectSlots(h, mark, true, discover, &hs);
        }
    }

    hs.tracker.processDiscovered();

    for (int i = HeapSet::kReleaseSlots - 1; i >= 0; --i) {
        MemoryReleaseHandler* h = hs.releaseHandlers[i];
        if (h != nullptr && h->ops->afterCollection != nullptr) h->ops->afterCollection(h);
    }
}

void GarbageCollector::collect(bool trim) {
    HeapSet& hs = *heapSet_;
    const MemoryEnvironment& env = memoryEnvironment();
    std::uint8_t wasRunning = hs.collectionRunning;
    hs.collectionRunning = 1;
    bool traced = env.traceStarted();
    std::int32_t thread = traced ? env.currentThreadId() : 0;
    if (traced) env.onGcStart(thread);
    if (heapVerifyEnabled()) verifyHeapOrDie(hs, "before a full collection");

    hs.mainHeap.sweepAllocate(CompactingHeap::kNoRoom);
    markAll();
    hs.mainHeap.sweepAllocate(CompactingHeap::kNoRoom);
    hs.mainHeap.compact();
    if (trim) hs.mainHeap.trim();

    if (heapVerifyEnabled()) verifyHeapOrDie(hs, "after a full collection");
    if (traced) env.onGcStop(thread);
    hs.collectionRunning = wasRunning;
}

inline word_t GarbageCollector::relocate(word_t a) {
    // Below the first free block nothing moves.
    if (a < first_ || a >= heapSet_->mainHeap.end) return a;
    if (a > hitLow_ && a <= hitHigh_) return a - walkSum_;
    return relocateByWalk(a);
}

word_t GarbageCollector::relocateByWalk(word_t a) {
    // Every free block below the last walk's stop lies below its address, so
    // for a reference at or above that address the stop is a valid start too.
    // Within a sample's distance of it, it is about as near as the sample:
    // start there without looking the sample up.
    const bool resumable = walkAddress_ != 0 && a >= walkAddress_;
    word_t b = walkBlock_;
    std::uint32_t sum = walkSum_;
    if (!resumable || a - walkAddress_ >= sampleDistance_) {
        // The maximum sample count keeps the product inside 31 bits.
        const std::uint32_t i = samples_ * (a - first_) / span_;
        const Entry* table = to_ptr<const Entry>(breakBase);
        // Take the stop when it is further on than the sample. A stop at the
        // end of the list (0) counts as the furthest.
        if (!resumable || (walkBlock_ != 0 && walkBlock_ <= table[i].block)) {
            b = table[i].block;
            sum = table[i].sumBefore;
        }
    }
    // The free block just below `a`, when the walk passes it, bounds the
    // addresses that share the answer from below; else `a` itself does.
    word_t below = a - 1u;
    while (b != 0 && b < a) {
        sum += fb::size(b);
        below = b;
        b = fb::next(b);
    }
    walkAddress_ = a;
    walkBlock_ = b;
    walkSum_ = sum;
    hitLow_ = below;
    hitHigh_ = b != 0 ? b : heapSet_->mainHeap.end;
    return a - sum;
}

void GarbageCollector::relocateSlots(word_t h, const BlockShape& shape) {
    word_t slot = 0;
    word_t end = 0;
    if (shape.isArray) {
        if (memory::is_primitive_element(shape.element)) return;
        slot = h + memory::kArrayDataOffset;
        end = slot + 4u * static_cast<std::uint32_t>(std::max(arrayLength(h), 0));
    } else {
        // Fields from the lowest address up, as visitObjectSlots visits them.
        slot = h - shape.refBytes;
        end = h;
    }
    for (; slot < end; slot += 4u) {
        std::uint32_t& ref = wordAt(slot);
        ref = relocate(ref);
    }
}

void GarbageCollector::compactHeap() {
    HeapSet& hs = *heapSet_;
    CompactingHeap& heap = hs.mainHeap;
    if (heap.freeCount == 0) return;
    if (heap.freeCount == 1 && heap.freeHead + fb::size(heap.freeHead) == heap.end) return;

    // Break table: sampled free blocks with the free bytes below each.
    samples_ = std::min(maxSamples, heap.freeCount);
    if (samples_ == 0) samples_ = 1;
    first_ = heap.freeHead;
    span_ = heap.end - first_;
    sampleDistance_ = span_ / samples_;
    walkAddress_ = walkBlock_ = 0;
    walkSum_ = 0;
    hitLow_ = hitHigh_ = 0;
    Entry* table = to_ptr<Entry>(breakBase);
    word_t b = first_;
    std::uint32_t sum = 0;
    for (std::uint32_t i = 0; i < samples_; ++i) {
        word_t target = first_ + static_cast<word_t>(static_cast<std::uint64_t>(i) * span_ / samples_);
        for (word_t n = fb::next(b); n != 0 && n <= target; n = fb::next(b)) {
            sum += fb::size(b);
            b = n;
        }
        table[i] = {b, sum};
    }

    // Relocate every reference slot of the heap, fixing the reference words
    // recorded before blocks whose free neighbours disappear. Each object's
    // shape is read once, for its slots and for the next header.
    word_t prevLive = 0;
    bool passedFree = false;
    for (word_t h = heap.firstHeader(); h < heap.end;) {
        std::uint32_t w = wordAt(h);
        if (!memory::header_is_object(w)) {
            passedFree = true;
            h = CompactingHeap::nextHeader(h);
            continue;
        }
        const BlockShape shape = shapeOf(h);
        const word_t next = h - shape.refBytes + shape.size + 4u * memory::header_next_ref_words(w);
        if (passedFree) {
            std::uint32_t refWords = shape.refBytes / 4u;
            if (prevLive != 0) {
                wordAt(prevLive) = memory::header_with_next_ref_words(wordAt(prevLive), refWords);
            } else {
                wordAt(heap.start) = refWords;
            }
            passedFree = false;
        }
        relocateSlots(h, shape);
        prevLive = h;
        h = next;
    }
    SlotVisitor relocator{[](void* self, word_t* slot) {
                              *slot = static_cast<GarbageCollector*>(self)->relocate(*slot);
                          },
                          this};
    visitRoots(relocator);
    hs.lastAnalysed = relocate(hs.lastAnalysed);

    // Slide the live runs down.
    word_t dest = first_;
    for (word_t f = heap.freeHead; f != 0;) {
        word_t next = fb::next(f);
        word_t runStart = f + fb::size(f);
        word_t runEnd = next != 0 ? next : heap.end;
        std::uint32_t len = runEnd - runStart;
        if (len != 0) std::memmove(to_ptr(dest), to_ptr(runStart), len);
        dest += len;
        f = next;
    }
    std::uint32_t freeSize = heap.end - dest;
    std::memset(to_ptr(dest), 0, freeSize);
    fb::write(dest, freeSize, 0);
    heap.freeHead = heap.freeTail = dest;
    heap.freeBytes = fb::size(dest);
    heap.freeCount = 1;
    if (heap.sweepCursor < heap.end) heap.sweepCursor = heap.end;
}

}  // namespace tarvelo
