// The memory manager: the main heap, the immortal heap, the reference
// tracker with its soft-reference policy, the collector and the
// memory-release handlers, behind the allocation entry points of the
// virtual machine. Everything runs on the virtual machine's task.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/model/vm_component.h"
#include "vm/memory/compacting_heap.h"
#include "vm/memory/garbage_collector.h"
#include "vm/memory/gc_roots.h"
#include "vm/memory/immortal_heap.h"
#include "vm/memory/memory_layout.h"
#include "vm/memory/memory_release_handler.h"
#include "vm/memory/object_model.h"
#include "vm/memory/reference_tracker.h"

namespace tarvelo {

class HeapSet {
  public:
    static constexpr int kReleaseSlots = 3;

    // Builds the heaps over `layout` (0 when the main heap's size is bad:
    // VM error -13 is then to be recorded) using `gcAllocation` (292 bytes,
    // 8-aligned) for the collector's buffer.
    bool construct(const MemoryLayout& layout, word_t gcAllocation);
    // Pattern test of both regions, the frame-record check and the release
    // registration of the soft-reference policy; false with the VM error in
    // `*error`. (In the virtual machine each part runs as the initialise
    // operation of its own component.)
    bool initialize(std::int8_t* error);
    // Resets both heaps, the tracker and the heap set's own state. (In the
    // virtual machine each part runs as the start operation of its own
    // component.)
    void start();

    // The OutOfMemoryError frame record holds a count word and at least one
    // (bytecode address, method) pair: 4 more than a multiple of 8 bytes.
    bool frameRecordValid() const;
    // The heap set's own start: no last analysed object, no collection
    // running, the kernel's allocated bytes back to their base.
    void reset();

    // --- Allocation entry points: 0 after making OutOfMemoryError pending.
    word_t allocateObject(word_t type);
    word_t allocateArray(word_t arrayType, std::int32_t length);
    word_t allocateArrayBytes(word_t arrayType, std::int64_t byteCount, std::int32_t length);
    word_t allocateImmortalObject(word_t type);
    word_t allocateImmortalArray(word_t arrayType, std::int64_t byteCount, std::int32_t length);
    word_t cloneObject(word_t object);
    // allocateObject's common case for code running in the kernel's
    // context: an object of a kernel type from the first free block (see
    // CompactingHeap::allocateFromFirstFree), charged to the kernel. The
    // caller charges the quantum and has made sure that no monitor wants
    // the allocation event. 0: nothing done, allocateObject decides.
    [[gnu::always_inline]] word_t allocateKernelObjectQuick(word_t type) {
        if (ownerWord(type) >= 2u || typeIsArray(type)) return 0;
        const word_t base = memoryLayout().typesBase;
        if (type < base || ((type - base) & ~memory::kTypeOffsetMask) != 0) return 0;
        const BlockShape shape = shapeOfType(type, 0);
        if (!wellFormedObject(shape)) return 0;
        const word_t obj = mainHeap.allocateFromFirstFree(shape.size, shape.refBytes);
        if (obj == 0) return 0;
        headerWord(obj) |= type - base;
        ownerWord(obj) = 0;
        kernelAllocatedBytes += shape.size;
        return obj;
    }
    // A zeroed main-heap block (header has bit 31 and bits 26-30), or 0.
    word_t allocate(std::uint32_t size, std::uint32_t refBytes);
    void throwOutOfMemoryError();

    // Registers at the free slot with the highest index; false when full.
    bool registerReleaseHandler(MemoryReleaseHandler* handler);

    std::uint32_t freeMemory() const { return mainHeap.freeBytes; }
    std::uint32_t totalMemory() const { return mainHeap.currentSize(); }
    std::uint32_t maxMemory() const { return mainHeap.maximumSize(); }

    // Allocated-bytes counter of an owner (0 kernel, else a feature record).
    void charge(word_t ownerFeature, std::uint32_t size);

    // Calls `fn(arg)`, then a full collection without trim when asked.
    void runThenCollect(void (*fn)(void*), void* arg, bool collect);

    // Owner word for a new object of `type` allocated by the current thread.
    static std::uint32_t ownerWordFor(word_t type);
    // Type offset of `type` against the types base of its owner; false when
    // it does not fit the header.
    static bool typeOffsetFor(word_t type, std::uint32_t* offset);
    // A class's block must hold both header words after its reference
    // fields and end on a word, or the next block's header would be
    // misplaced. The image linker lays classes
    // out so; an installed application's file may not.
    static bool wellFormedObject(const BlockShape& shape) {
        return shape.size >= memory::kObjectHeaderBytes + shape.refBytes && (shape.size & 3u) == 0 &&
               (shape.refBytes & 3u) == 0;
    }

    VMComponent component;
    word_t lastAnalysed = 0;
    CompactingHeap mainHeap{};
    ImmortalHeap immortalHeap{};
    ReferenceTracker tracker{};
    SoftReferencePolicy softPolicy{};
    MemoryReleaseHandler* releaseHandlers[kReleaseSlots]{};
    std::uint8_t collectionRunning = 0;
    GarbageCollector collector;
    std::uint64_t kernelAllocatedBytes = 4;
    RootRegistry roots;
    std::uint8_t identityHashSeed = 0;

  private:
    word_t finishArray(word_t block, word_t arrayType, std::int32_t length, std::uint32_t size,
                       bool immortal);
    void onAllocate(word_t type, std::uint32_t size, bool immortal) const;
};

// The one memory manager, reached through this pointer.
HeapSet* heapSet();
void setHeapSet(HeapSet* hs);

}  // namespace tarvelo
