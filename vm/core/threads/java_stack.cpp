#include "vm/core/threads/java_stack.h"

#include "vm/core/lifecycle/link_config.h"
#include "vm/core/lifecycle/ostrevan.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/support_allocator.h"

namespace tarvelo {

namespace {

// The Java stack area. On the device it is a section of tightly coupled
// memory sized by the link; here the configured size must fit this bound.
constexpr std::uint32_t kMaxStackArea = 1u << 20;
alignas(8) std::uint8_t java_stack_area[kMaxStackArea];

// Frame distances are kept in 11 bits of words (frameFlags bits 2-12) and
// block offsets in 16 bits: no block may be larger than this.
constexpr std::uint32_t kMaxBlockSize = 8192;
constexpr std::uint32_t kBlockHeader = sizeof(StackBlock);

JavaStackAllocator* the_allocator = nullptr;

}  // namespace

JavaStackAllocator* java_stack_allocator() { return the_allocator; }

JavaStackAllocator* JavaStackAllocator::create() {
    auto* a = support_new<JavaStackAllocator>();
    a->classId = kJavaStackAllocator;
    the_allocator = a;
    std::int32_t area = link_config::java_stack_size();
    std::int32_t block = link_config::stack_block_size();
    std::int32_t limit = link_config::thread_stack_size();
    if (area < 0 || static_cast<std::uint32_t>(area) > kMaxStackArea || block < 0 || limit < 0 ||
        !a->setUp(java_stack_area, static_cast<std::uint32_t>(area), static_cast<std::uint32_t>(block),
                  static_cast<std::uint32_t>(limit))) {
        ostrevan()->setError(kVMErrorJavaStackArea);
    }
    return a;
}

bool JavaStackAllocator::setUp(void* area, std::uint32_t areaSize, std::uint32_t block, std::uint32_t limit) {
    freeList.set(nullptr);
    blockCount = 0;
    if ((to_word(area) & 7u) != 0 || (block & 7u) != 0 || block < kBlockHeader || block > kMaxBlockSize ||
        areaSize < block)
        return false;
    blockSize = block;
    maxFrameBytes = block - kBlockHeader;
    threadLimit = limit & ~3u;
    areaStart = to_word(area);
    blockCount = areaSize / block;
    areaEnd = areaStart + blockCount * block;
    // Chained from the area's start, so the head of the list is the last block.
    for (std::uint32_t i = 0; i < blockCount; ++i) {
        auto* b = to_ptr<StackBlock>(areaStart + i * block);
        *b = StackBlock{};
        b->link = freeList;
        freeList.set(b);
    }
    return true;
}

std::int32_t JavaStackAllocator::allocStackBlock(VMThread* t, std::uint32_t needed) {
    if (needed > maxFrameBytes) return kFrameTooLarge;
    StackBlock* top = t->topBlock.get();
    std::uint64_t owned = top == nullptr ? 0 : static_cast<std::uint64_t>(top->index + 1u) * blockSize;
    if (owned + blockSize > threadLimit) return kThreadStackTooLarge;
    StackBlock* b = freeList.get();
    if (b == nullptr) return kStackAreaExhausted;
    freeList = b->link;
    *b = StackBlock{};
    b->size = static_cast<std::uint16_t>(blockSize);
    b->index = top == nullptr ? 0 : static_cast<std::uint16_t>(top->index + 1u);
    b->link.set(top);
    t->topBlock.set(b);
    return kStackBlockTaken;
}

StackBlock* JavaStackAllocator::findStackBlock(VMThread* t, std::uint32_t needed) {
    StackBlock* current = t->currentBlock.get();
    if (needed > maxFrameBytes || current == nullptr) return nullptr;
    return owned_block_above(t->topBlock.get(), current);
}

void JavaStackAllocator::releaseStack(VMThread* t) {
    StackBlock* top = t->topBlock.get();
    if (top != nullptr) {
        StackBlock* last = top;
        for (StackBlock* b = top; b != nullptr; b = b->link.get()) {
            b->size = 0;
            last = b;
        }
        last->link = freeList;
        freeList.set(top);
    }
    t->currentBlock.set(nullptr);
    t->topBlock.set(nullptr);
}

StackBlock* JavaStackAllocator::bottomBlock(VMThread* t) {
    StackBlock* b = t->topBlock.get();
    while (b != nullptr && b->index != 0) b = b->link.get();
    return b;
}

std::uint32_t JavaStackAllocator::freeBlocks() const {
    std::uint32_t n = 0;
    for (StackBlock* b = freeList.get(); b != nullptr; b = b->link.get()) ++n;
    return n;
}

}  // namespace tarvelo
