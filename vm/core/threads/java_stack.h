// Java stacks: one area of fixed-size blocks shared by all threads. A thread
// owns a chain of blocks linked from its newest down to its first; inside a
// block reference windows grow upward from the header and primitive windows
// downward from the block's end. Blocks stay with their thread after the
// frames in them return and are reused by the next deep call.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/model/vm_component.h"
#include "vm/core/engine/word_ptr.h"

namespace tarvelo {

struct VMThread;

// Block header (16 bytes). The last four fields keep the caller's position
// when an invocation leaves the block for a newer one.
struct StackBlock {
    std::uint16_t size;   // block size while owned, 0 when free
    std::uint16_t index;  // 0 for a thread's first block, one more per block
    WordPtr<StackBlock> link;  // next older block of the thread, or of the free list
    std::uint16_t savedFrame;    // caller's frame record, bytes from the block start (0: none)
    std::uint16_t savedRefWindow;  // caller's reference window base, bytes from the block start
    std::uint16_t savedPrimTop;  // word index of the caller's outgoing primitive top
    std::uint16_t savedRefArgs;  // word index of the caller's outgoing reference area

    std::uint8_t* bytes() { return reinterpret_cast<std::uint8_t*>(this); }
    std::uint8_t* end() { return bytes() + size; }
    word_t* firstRef() { return reinterpret_cast<word_t*>(bytes() + sizeof(StackBlock)); }
    // Bytes a frame may take in the block.
    std::uint32_t capacity() const { return size - static_cast<std::uint32_t>(sizeof(StackBlock)); }
};
static_assert(sizeof(StackBlock) == 16);

// The block of a thread's chain (newest first, from `top`) just above
// `block`, or null. Blocks stay with their thread after the frames in them
// return, so a call depth that swings across a block border finds its next
// block here.
inline StackBlock* owned_block_above(StackBlock* top, const StackBlock* block) {
    for (StackBlock* b = top; b != nullptr && b != block; b = b->link.get())
        if (b->link.get() == block) return b;
    return nullptr;
}

// Watches one block of a thread for the least free space seen in it (read
// by the state dump).
struct JavaStackMeter {
    WordPtr<StackBlock> block;
    std::int32_t leastFree;
};

// Results of allocStackBlock, which become the StackOverflowError message.
enum StackBlockResult : std::int32_t {
    kStackBlockTaken = 0,
    kStackAreaExhausted = -1,  // no free block in the area
    kFrameTooLarge = -2,       // the frame needs more than a block holds
    kThreadStackTooLarge = -3, // the thread would own more than its limit
};

struct JavaStackAllocator : VMComponent {
    WordPtr<StackBlock> freeList;
    std::uint32_t blockSize;
    std::uint32_t maxFrameBytes;    // block size - header
    std::uint32_t threadLimit;      // most bytes of blocks one thread may own
    std::uint32_t blockCount;
    word_t areaStart;
    word_t areaEnd;

    // The allocator over the configured area; records error -14 and returns
    // null when the area cannot hold one block or the block size is unusable.
    static JavaStackAllocator* create();
    // Builds the free list over [area, area + areaSize); false when unusable.
    bool setUp(void* area, std::uint32_t areaSize, std::uint32_t block, std::uint32_t limit);

    std::int32_t allocStackBlock(VMThread* t, std::uint32_t needed);
    // The owned block just above the current one when the thread has one
    // and `needed` fits a block; else null.
    StackBlock* findStackBlock(VMThread* t, std::uint32_t needed);
    // Returns all of the thread's blocks to the free list.
    void releaseStack(VMThread* t);
    // The thread's first block (index 0), or null.
    static StackBlock* bottomBlock(VMThread* t);
    std::uint32_t freeBlocks() const;
};

JavaStackAllocator* java_stack_allocator();

}  // namespace tarvelo
