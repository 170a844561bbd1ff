// The Java stack allocator: the area it accepts, the three ways a block
// request fails, and blocks kept by a thread for its next deep call.
#include <gtest/gtest.h>

#include <cstdint>

#include "vm/core/threads/java_stack.h"
#include "vm/core/threads/vm_thread.h"

namespace {

using tarvelo::JavaStackAllocator;
using tarvelo::StackBlock;
using tarvelo::VMThread;

alignas(8) std::uint8_t area[8 * 512 + 8];

struct AreaCase {
    const char* what;
    std::size_t offset;   // from an 8-aligned address
    std::uint32_t size;
    std::uint32_t block;
    bool accepted;
};

class StackArea : public testing::TestWithParam<AreaCase> {};

TEST_P(StackArea, AcceptsOnlyUsableLayouts) {
    const AreaCase& c = GetParam();
    JavaStackAllocator a{};
    EXPECT_EQ(a.setUp(area + c.offset, c.size, c.block, 25600), c.accepted) << c.what;
    if (c.accepted) {
        EXPECT_EQ(a.freeBlocks(), c.size / c.block) << c.what;
    }
}

const AreaCase kAreas[] = {
    {"default blocks", 0, 8 * 512, 512, true},
    {"exactly one block", 0, 512, 512, true},
    {"smaller than a block", 0, 511, 512, false},
    {"start not 8-aligned", 4, 4 * 512, 512, false},
    {"block not a multiple of 8", 0, 8 * 512, 516, false},
    {"block below its header", 0, 8 * 512, 8, false},
    {"smallest block", 0, 64, 16, true},
};
INSTANTIATE_TEST_SUITE_P(Layouts, StackArea, testing::ValuesIn(kAreas));

class StackBlocks : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(allocator.setUp(area, 8 * 512, 512, 3 * 512)); }
    JavaStackAllocator allocator{};
    VMThread thread{};
    VMThread other{};
};

TEST_F(StackBlocks, FrameLargerThanABlockIsRefused) {
    EXPECT_EQ(allocator.allocStackBlock(&thread, 497), tarvelo::kFrameTooLarge);
    EXPECT_EQ(allocator.allocStackBlock(&thread, 496), tarvelo::kStackBlockTaken);
}

TEST_F(StackBlocks, AThreadHoldsAtMostItsLimit) {
    for (int i = 0; i < 3; ++i) ASSERT_EQ(allocator.allocStackBlock(&thread, 16), tarvelo::kStackBlockTaken);
    EXPECT_EQ(allocator.allocStackBlock(&thread, 16), tarvelo::kThreadStackTooLarge);
    // Indexes count up from the first block, linked from the newest down.
    StackBlock* top = thread.topBlock.get();
    EXPECT_EQ(top->index, 2);
    EXPECT_EQ(top->link->index, 1);
    EXPECT_EQ(JavaStackAllocator::bottomBlock(&thread)->index, 0);
}

TEST_F(StackBlocks, TheAreaRunsOutBeforeEveryThreadsLimit) {
    VMThread threads[3]{};
    int taken = 0;
    for (VMThread& t : threads)
        while (allocator.allocStackBlock(&t, 16) == tarvelo::kStackBlockTaken) ++taken;
    EXPECT_EQ(taken, 8);
    EXPECT_EQ(allocator.allocStackBlock(&other, 16), tarvelo::kStackAreaExhausted);
}

TEST_F(StackBlocks, OwnedBlocksAreFoundAgainAndReleasedTogether) {
    ASSERT_EQ(allocator.allocStackBlock(&thread, 16), tarvelo::kStackBlockTaken);
    thread.currentBlock = thread.topBlock;
    StackBlock* first = thread.currentBlock.get();
    EXPECT_EQ(allocator.findStackBlock(&thread, 16), nullptr);  // nothing newer yet
    ASSERT_EQ(allocator.allocStackBlock(&thread, 16), tarvelo::kStackBlockTaken);
    StackBlock* second = thread.topBlock.get();
    EXPECT_EQ(allocator.findStackBlock(&thread, 16), second);
    EXPECT_EQ(allocator.findStackBlock(&thread, 497), nullptr);
    thread.currentBlock.set(second);
    EXPECT_EQ(allocator.findStackBlock(&thread, 16), nullptr);

    allocator.releaseStack(&thread);
    EXPECT_EQ(allocator.freeBlocks(), 8u);
    EXPECT_EQ(first->size, 0);
    EXPECT_EQ(second->size, 0);
    EXPECT_EQ(thread.topBlock.get(), nullptr);
    EXPECT_EQ(thread.currentBlock.get(), nullptr);
}

}  // namespace
