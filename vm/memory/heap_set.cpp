#include "vm/memory/heap_set.h"

#include <cstring>

#include "vm/memory/feature_record.h"
#include "vm/memory/memory_environment.h"
#include "vm/memory/object_model.h"

namespace tarvelo {

namespace {

HeapSet* gHeapSet = nullptr;

// Restarts granted to release handlers within one allocation: a handler
// that keeps answering true cannot hold the allocation for ever.
constexpr int kMaxHandlerRestarts = 16;

}  // namespace

HeapSet* heapSet() { return gHeapSet; }
void setHeapSet(HeapSet* hs) { gHeapSet = hs; }

bool HeapSet::construct(const MemoryLayout& layout, word_t gcAllocation) {
    setMemoryLayout(layout);
    component.classId = kMemoryManager;
    mainHeap.component.classId = kMainHeap;
    immortalHeap.component.classId = kImmortalHeap;
    tracker.component.classId = kReferenceTracker;
    softPolicy.component.classId = kSoftReferencePolicy;
    bool ok = mainHeap.setUp(this, layout.heapStart, layout.heapEnd, layout.heapInitialSize);
    immortalHeap.setUp(this, layout.immortalsStart, layout.immortalsEnd);
    tracker.heapSet = this;
    softPolicy.heapSet = this;
    collector.attach(this, gcAllocation);
    return ok;
}

bool HeapSet::initialize(std::int8_t* error) {
    if (mainHeap.memoryTest() == 0 || immortalHeap.memoryTest() == 0) {
        *error = -18;
        return false;
    }
    if (!frameRecordValid() || !softPolicy.initialize()) {
        *error = -128;
        return false;
    }
    return true;
}

bool HeapSet::frameRecordValid() const {
    const MemoryLayout& layout = memoryLayout();
    if (layout.oomeFramesEnd < layout.oomeFramesStart) return false;
    std::uint32_t frames = layout.oomeFramesEnd - layout.oomeFramesStart;
    return frames >= 12u && (frames - 4u) % 8u == 0;
}

void HeapSet::reset() {
    lastAnalysed = 0;
    collectionRunning = 0;
    kernelAllocatedBytes = 4;
}

void HeapSet::start() {
    mainHeap.reset();
    immortalHeap.reset();
    tracker.reset();
    reset();
}

bool HeapSet::registerReleaseHandler(MemoryReleaseHandler* handler) {
    for (int i = kReleaseSlots - 1; i >= 0; --i) {
        if (releaseHandlers[i] == nullptr) {
            releaseHandlers[i] = handler;
            return true;
        }
    }
    return false;
}

void HeapSet::charge(word_t ownerFeature, std::uint32_t size) {
    if (ownerFeature == 0) {
        kernelAllocatedBytes += size;
        return;
    }
    FeatureRuntimeState* st = featureRuntimeState(ownerFeature);
    storeU64(st->allocatedBytes, loadU64(st->allocatedBytes) + size);
}

std::uint32_t HeapSet::ownerWordFor(word_t type) {
    std::uint32_t typeOwner = ownerWord(type);
    // An object of a feature's type is owned by that feature, whoever
    // creates it: its type offset only resolves against that feature's
    // types base, and an owner word of 1 would name no record.
    if (typeOwner >= 2u) return memory::owner_feature(typeOwner) | memory::kOwnerFeatureTypeBit;
    return memory::owner_feature(memoryEnvironment().currentOwnerFeature());
}

bool HeapSet::typeOffsetFor(word_t type, std::uint32_t* offset) {
    std::uint32_t typeOwner = ownerWord(type);
    word_t base = typeOwner >= 2u ? featureTypesBase(memory::owner_feature(typeOwner))
                                  : memoryLayout().typesBase;
    if (type < base) return false;
    std::uint32_t d = type - base;
    if ((d & ~memory::kTypeOffsetMask) != 0) return false;
    *offset = d;
    return true;
}

void HeapSet::onAllocate(word_t type, std::uint32_t size, bool immortal) const {
    const MemoryEnvironment& env = memoryEnvironment();
    if (!env.traceStarted()) return;
    if (immortal) {
        env.onAllocate(type, size, immortalHeap.currentSize(), immortalHeap.freeBytes(), true);
    } else {
        env.onAllocate(type, size, mainHeap.currentSize(), mainHeap.freeBytes, false);
    }
}

void HeapSet::throwOutOfMemoryError() {
    const MemoryEnvironment& env = memoryEnvironment();
    env.makeOutOfMemoryErrorPending(memoryLayout().outOfMemoryError);
    env.onOutOfMemoryErrorThrown();
}

word_t HeapSet::allocate(std::uint32_t size, std::uint32_t refBytes) {
    memoryEnvironment().chargeAllocationQuantum();
    int restarts = 0;
    for (;;) {
        word_t block = mainHeap.allocateBlock(size, refBytes);
        if (block != 0) return block;
        bool retry = false;
        for (int pass = 0; pass < 2 && !retry && restarts < kMaxHandlerRestarts; ++pass) {
            for (int i = kReleaseSlots - 1; i >= 0; --i) {
                MemoryReleaseHandler* h = releaseHandlers[i];
                if (h != nullptr && h->ops->release != nullptr && h->ops->release(h, pass, size)) {
                    retry = true;
                    break;
                }
            }
        }
        if (retry) {
            ++restarts;
            continue;
        }
        if (mainHeap.grow(size)) continue;
        return 0;
    }
}

word_t HeapSet::allocateObject(word_t type) {
    std::uint32_t offset = 0;
    if (!typeOffsetFor(type, &offset) || typeIsArray(type)) {
        throwOutOfMemoryError();
        return 0;
    }
    BlockShape shape = shapeOfType(type, 0);
    if (!wellFormedObject(shape)) {
        throwOutOfMemoryError();
        return 0;
    }
    word_t obj = allocate(shape.size, shape.refBytes);
    if (obj == 0) {
        throwOutOfMemoryError();
        return 0;
    }
    onAllocate(type, shape.size, false);
    headerWord(obj) |= offset;
    std::uint32_t owner = ownerWordFor(type);
    ownerWord(obj) = owner;
    charge(memory::owner_feature(owner), shape.size);
    return obj;
}

word_t HeapSet::allocateArray(word_t arrayType, std::int32_t length) {
    if (length < 0 || !typeIsArray(arrayType)) {
        throwOutOfMemoryError();
        return 0;
    }
    std::uint64_t bytes = arrayDataBytes(static_cast<std::uint64_t>(length), arrayElement(arrayType));
    return allocateArrayBytes(arrayType, static_cast<std::int64_t>(bytes), length);
}

namespace {

// align4(byteCount + 12) in 64 bits; 0 for a negative length or count, a
// size smaller than the length, or one that no heap can hold.
std::uint32_t arrayBlockSize(std::int64_t byteCount, std::int32_t length) {
    if (length < 0 || byteCount < 0) return 0;
    std::int64_t size = (byteCount + memory::kArrayHeaderBytes + 3) & ~std::int64_t{3};
    if (size < length || size > static_cast<std::int64_t>(CompactingHeap::kMaxRegion)) return 0;
    return static_cast<std::uint32_t>(size);
}

}  // namespace

word_t HeapSet::finishArray(word_t block, word_t arrayType, std::int32_t length,
                            std::uint32_t size, bool immortal) {
    std::uint32_t offset = 0;
    typeOffsetFor(arrayType, &offset);
    onAllocate(arrayType, size, immortal);
    if (immortal) {
        headerWord(block) = memory::kImmortalTopBits | offset;
    } else {
        headerWord(block) |= offset;
    }
    wordAt(block + memory::kArrayLengthOffset) = static_cast<std::uint32_t>(length);
    std::uint32_t owner = ownerWordFor(arrayType);
    ownerWord(block) = owner;
    if (!immortal) charge(memory::owner_feature(owner), size);
    return block;
}

word_t HeapSet::allocateArrayBytes(word_t arrayType, std::int64_t byteCount, std::int32_t length) {
    std::uint32_t offset = 0;
    std::uint32_t size = arrayBlockSize(byteCount, length);
    if (size == 0 || !typeIsArray(arrayType) || !typeOffsetFor(arrayType, &offset)) {
        throwOutOfMemoryError();
        return 0;
    }
    word_t block = allocate(size, 0);
    if (block == 0) {
        throwOutOfMemoryError();
        return 0;
    }
    return finishArray(block, arrayType, length, size, false);
}

word_t HeapSet::allocateImmortalObject(word_t type) {
    std::uint32_t offset = 0;
    if (!typeOffsetFor(type, &offset) || typeIsArray(type)) {
        throwOutOfMemoryError();
        return 0;
    }
    BlockShape shape = shapeOfType(type, 0);
    word_t obj = wellFormedObject(shape) ? immortalHeap.bump(shape.size, shape.refBytes, true) : 0;
    if (obj == 0) {
        throwOutOfMemoryError();
        return 0;
    }
    onAllocate(type, shape.size, true);
    headerWord(obj) = memory::kImmortalTopBits | offset;
    ownerWord(obj) = ownerWordFor(type);
    return obj;
}

word_t HeapSet::allocateImmortalArray(word_t arrayType, std::int64_t byteCount,
                                      std::int32_t length) {
    std::uint32_t offset = 0;
    std::uint32_t size = arrayBlockSize(byteCount, length);
    word_t block = 0;
    if (size != 0 && typeIsArray(arrayType) && typeOffsetFor(arrayType, &offset)) {
        block = immortalHeap.bump(size, 0, true);
    }
    if (block == 0) {
        throwOutOfMemoryError();
        return 0;
    }
    return finishArray(block, arrayType, length, size, true);
}

namespace {

// The source of a clone is held here across the allocation, which may move
// it.
struct PinnedSource {
    word_t slot;
};

void visitPinned(void* ctx, const SlotVisitor& visitor) {
    visitor(&static_cast<PinnedSource*>(ctx)->slot);
}

}  // namespace

word_t HeapSet::cloneObject(word_t object) {
    PinnedSource pinned{object};
    roots.add({RootPhase::kThreadStacks, visitPinned, &pinned});
    word_t type = typeOf(object);
    word_t clone = typeIsArray(type) ? allocateArray(type, arrayLength(object))
                                     : allocateObject(type);
    roots.remove(visitPinned, &pinned);
    if (clone == 0) return 0;
    object = pinned.slot;
    BlockShape shape = shapeOf(object);
    if (shape.isArray) {
        std::uint64_t bytes = arrayDataBytes(static_cast<std::uint64_t>(arrayLength(object)), shape.element);
        std::memcpy(to_ptr(clone + memory::kArrayDataOffset),
                    to_ptr(object + memory::kArrayDataOffset), static_cast<std::size_t>(bytes));
    } else {
        std::memcpy(to_ptr(clone - shape.refBytes), to_ptr(object - shape.refBytes), shape.refBytes);
        std::memcpy(to_ptr(clone + memory::kFirstFieldOffset),
                    to_ptr(object + memory::kFirstFieldOffset),
                    shape.size - memory::kObjectHeaderBytes - shape.refBytes);
    }
    headerWord(clone) =
        memory::header_with_hash(headerWord(clone), memory::header_hash(headerWord(object)));
    return clone;
}

void HeapSet::runThenCollect(void (*fn)(void*), void* arg, bool collect) {
    fn(arg);
    if (collect) collector.collect(false);
}

}  // namespace tarvelo
