#include <gtest/gtest.h>

#include "tests/vm/memory/synthetic_heap.h"
#include "vm/memory/free_block.h"
#include "vm/memory/heap_debug_modes.h"

namespace tarvelo::test {
namespace {

namespace fb = free_block;

class CompactingHeapTest : public ::testing::Test, public HeapTest {
  protected:
    void TearDown() override { tearDown(); }
    const SyntheticTypes& t = syntheticTypes();
};

TEST_F(CompactingHeapTest, ResetLeavesOneFreeBlock) {
    build(900000);
    EXPECT_EQ(hs().freeMemory(), 900000u - 4u);
    EXPECT_EQ(hs().totalMemory(), 900000u);
    EXPECT_EQ(hs().maxMemory(), 900000u);
    EXPECT_EQ(hs().mainHeap.freeCount, 1u);
    EXPECT_TRUE(verify()) << verifyFault();
}

TEST_F(CompactingHeapTest, BadRegionSizesAreRefused) {
    struct Case {
        std::uint32_t bytes;
        bool ok;
    } cases[] = {{8, false}, {11, false}, {12, true}, {4096, true}};
    for (const auto& c : cases) {
        HeapSet hs;
        MemoryLayout layout = memoryLayout();
        static std::uint8_t buf[8];
        alignas(8) static std::uint8_t gc[GarbageCollector::kAllocationBytes + 8];
        layout.heapEnd = layout.heapStart + c.bytes;
        EXPECT_EQ(hs.construct(layout, to_word(gc)), c.ok) << c.bytes;
        (void)buf;
    }
    HeapSet big;
    MemoryLayout layout = memoryLayout();
    layout.heapEnd = layout.heapStart + 0x4000000u;
    alignas(8) static std::uint8_t gc2[GarbageCollector::kAllocationBytes + 8];
    EXPECT_FALSE(big.construct(layout, to_word(gc2))) << "64 MiB";
}

// A heap whose only free block is 100 bytes long.
TEST_F(CompactingHeapTest, ObjectIsCarvedFromTheEndOfTheBlock) {
    build(104);
    word_t block = hs().mainHeap.freeHead;
    ASSERT_EQ(fb::size(block), 100u);
    word_t h = hs().mainHeap.allocateBlock(32, 8);
    EXPECT_EQ(fb::size(block), 68u);
    EXPECT_EQ(h, block + 76u) << "references at B + 68, header at B + 76";
    EXPECT_EQ(fb::nextRefWords(block), 2u);
    EXPECT_EQ(hs().mainHeap.freeBytes, 100u - 32u);
}

TEST_F(CompactingHeapTest, FragmentsAndFitTable) {
    struct Case {
        std::uint32_t size;
        bool fits;
        std::uint32_t remaining;  // free-block size after the allocation
    } cases[] = {{96, true, 4}, {92, true, 8}, {100, false, 100}, {8, true, 92}, {88, true, 12}};
    for (const auto& c : cases) {
        build(104);
        word_t block = hs().mainHeap.freeHead;
        word_t h = hs().allocate(c.size, 0);
        EXPECT_EQ(h != 0, c.fits) << c.size;
        EXPECT_EQ(fb::size(block), c.remaining) << c.size;
        EXPECT_EQ(hs().mainHeap.freeHead, block) << "the block stays listed";
        EXPECT_EQ(hs().mainHeap.freeBytes, c.fits ? 100u - c.size : 100u);
        if (c.size == 96) {
            EXPECT_EQ(wordAt(block) & fb::kSizeFollows, 0u) << "4-byte fragment";
            EXPECT_EQ(h, block + 4u) << "the object takes the old size word";
        }
    }
}

TEST_F(CompactingHeapTest, ObjectSizesMatchTheLayout) {
    build(4096);
    struct Case {
        word_t type;
        std::int32_t length;
        std::uint32_t bytes;
        std::uint32_t refWords;
    } cases[] = {{t.node3, -2, 24, 3}, {t.intArray, 0, 12, 0}, {t.byteArray, 5, 20, 0},
                 {t.longArray, 3, 36, 0}, {t.charArray, 3, 20, 0}, {t.leaf, -2, 16, 0}};
    std::uint32_t slot = 0;
    for (const auto& c : cases) {
        std::uint32_t before = hs().freeMemory();
        word_t o = c.length == -2 ? newObject(c.type) : newArray(c.type, c.length);
        ASSERT_NE(o, 0u);
        root(slot++) = o;  // kept, so that a stress collection frees nothing
        EXPECT_EQ(before - hs().freeMemory(), c.bytes);
        EXPECT_EQ(typeOf(o), c.type);
        EXPECT_EQ(shapeOf(o).size, c.bytes);
        EXPECT_EQ(fb::nextRefWords(hs().mainHeap.freeHead), c.refWords) << "block before it";
    }
    EXPECT_TRUE(verify()) << verifyFault();
}

TEST_F(CompactingHeapTest, NegativeAndOverflowingArraysAllocateNothing) {
    build(4096);
    struct Case {
        word_t type;
        std::int32_t length;
    } cases[] = {{t.intArray, -1}, {t.intArray, 0x40000000}, {t.longArray, 0x7FFFFFFF},
                 {t.byteArray, -0x7FFFFFFF - 1}, {t.objectArray, 0x3FFFFFFD}};
    for (const auto& c : cases) {
        std::uint32_t before = hs().freeMemory();
        int oome = envLog().oomePending;
        EXPECT_EQ(newArray(c.type, c.length), 0u) << c.length;
        EXPECT_EQ(envLog().oomePending, oome + 1);
        EXPECT_EQ(hs().freeMemory(), before);
    }
    struct BytesCase {
        std::int64_t bytes;
        std::int32_t length;
    } raw[] = {{-4, 1}, {4, -1}, {0, 100}, {0x7FFFFFFFLL, 1}};
    for (const auto& c : raw) {
        int oome = envLog().oomePending;
        EXPECT_EQ(hs().allocateArrayBytes(t.intArray, c.bytes, c.length), 0u) << c.bytes;
        EXPECT_EQ(envLog().oomePending, oome + 1);
        EXPECT_EQ(hs().allocateImmortalArray(t.intArray, c.bytes, c.length), 0u);
    }
    EXPECT_TRUE(verify()) << verifyFault();
}

// A class whose sizes are not whole words would put the next header off a
// word boundary: it gets OutOfMemoryError in either heap, and nothing moves.
TEST_F(CompactingHeapTest, MalformedClassSizesAllocateNothing) {
    build(4096, 256);
    for (word_t type : {t.oddSize, t.oddRefs, t.refsOverSize}) {
        std::uint32_t freeBefore = hs().freeMemory();
        word_t topBefore = hs().immortalHeap.top;
        int oome = envLog().oomePending;
        EXPECT_EQ(newObject(type), 0u) << type - t.base;
        EXPECT_EQ(hs().allocateImmortalObject(type), 0u) << type - t.base;
        EXPECT_EQ(envLog().oomePending, oome + 2);
        EXPECT_EQ(hs().freeMemory(), freeBefore);
        EXPECT_EQ(hs().immortalHeap.top, topBefore);
    }
    root(0) = newObject(t.node1);
    root(1) = hs().allocateImmortalObject(t.node1);
    EXPECT_NE(root(0), 0u);
    EXPECT_NE(root(1), 0u);
    EXPECT_TRUE(verify()) << verifyFault();
}

// n free blocks at the failing allocation: compaction only above 140.
TEST_F(CompactingHeapTest, FragmentedHeapCompactsAbove140FreeBlocks) {
    if (gcStressEnabled()) GTEST_SKIP() << "builds its fragmentation by hand";
    for (std::uint32_t holes : {139u, 140u, 141u, 160u}) {
        build(64 * 1024);
        word_t keep = newArray(t.objectArray, 400);
        root(0) = keep;
        for (std::uint32_t i = 0; i < holes; ++i) {
            word_t kept = newObject(t.leaf);
            wordAt(root(0) + 12 + 4 * i) = kept;
            newObject(t.leaf);  // garbage: a hole after the sweep
        }
        // Fill the rest so that only the holes remain.
        while (hs().mainHeap.freeHead != 0 && hs().freeMemory() > 64) {
            if (newArray(t.byteArray, static_cast<std::int32_t>(hs().freeMemory() / 2)) == 0) break;
        }
        root(1) = 0;
        hs().collector.markAll();
        hs().mainHeap.sweepAllocate(CompactingHeap::kNoRoom);
        std::uint32_t n = hs().mainHeap.freeCount;
        ASSERT_GE(n, holes);
        // A request larger than all free bytes fails either way.
        EXPECT_EQ(hs().mainHeap.allocateBlock(hs().freeMemory() + 8, 0), 0u);
        if (n > 140u) {
            EXPECT_EQ(hs().mainHeap.freeCount, 1u) << n << " blocks: compacted";
        } else {
            EXPECT_GT(hs().mainHeap.freeCount, 1u) << n << " blocks: lazy sweep only";
        }
        EXPECT_TRUE(verify()) << verifyFault();
        tearDown();
    }
}

// The interpreter's inline allocation takes exactly the block a full
// allocation takes, or declines and leaves the heap as it was. The heap
// is laid out as: a 4-byte fragment, `holes` 16-byte holes (too small for
// a 16-byte object) and then the first block with room.
TEST_F(CompactingHeapTest, QuickAllocationTakesTheFullPathsBlockOrNothing) {
    if (gcStressEnabled()) GTEST_SKIP() << "stress mode always takes the full path";
    struct Case {
        const char* what;
        std::uint32_t holes;
        bool sweepPending;
        bool quick;
    } cases[] = {
        {"fragment, then the block", 0, false, true},
        {"fragment, two holes, then the block", 2, false, true},
        {"fragment, three holes: the block is fifth", 3, false, false},
        {"sweep not finished", 0, true, false},
    };
    struct State {
        word_t object, freeHead;
        std::uint32_t freeBytes, header, owner;
        std::uint64_t kernelBytes;
        bool operator==(const State&) const = default;
    };
    auto arrange = [&](const Case& c) {
        build(64 * 1024);
        root(0) = newArray(t.objectArray, 8);
        newArray(t.byteArray, 200);  // garbage: the block with room
        const std::uint32_t rest = 4 + 32 * c.holes;
        root(1) = newArray(t.byteArray, static_cast<std::int32_t>(hs().freeMemory() - rest - 12));
        for (std::uint32_t i = 0; i < c.holes; ++i) {
            newObject(t.leaf);  // garbage: a hole
            wordAt(root(0) + 12 + 4 * i) = newObject(t.leaf);
        }
        ASSERT_EQ(fb::size(hs().mainHeap.freeHead), 4u) << c.what;
        hs().collector.markAll();
        if (!c.sweepPending) hs().mainHeap.sweepAllocate(CompactingHeap::kNoRoom);
    };
    auto state = [&](word_t object) {
        return State{object, hs().mainHeap.freeHead, hs().freeMemory(), object != 0 ? headerWord(object) : 0,
                     object != 0 ? ownerWord(object) : 0, hs().kernelAllocatedBytes};
    };
    for (const Case& c : cases) {
        arrange(c);
        const State before = state(0);
        const State quick = state(hs().allocateKernelObjectQuick(t.leaf));
        EXPECT_TRUE(verify()) << c.what << ": " << verifyFault();
        tearDown();
        arrange(c);
        const State full = state(hs().allocateObject(t.leaf));
        ASSERT_NE(full.object, 0u) << c.what;
        if (c.quick) {
            EXPECT_TRUE(quick == full) << c.what;
        } else {
            EXPECT_EQ(quick.object, 0u) << c.what;
            EXPECT_TRUE(quick == before) << c.what;
        }
        tearDown();
    }
    // Arrays, and classes of an installed application, take the full path.
    build(4096);
    const State before = state(0);
    EXPECT_EQ(hs().allocateKernelObjectQuick(t.intArray), 0u);
    EXPECT_EQ(hs().allocateKernelObjectQuick(syntheticFeature().featureType), 0u);
    EXPECT_TRUE(state(0) == before);
}

TEST_F(CompactingHeapTest, GrowAndTrimBetweenInitialAndRegionSize) {
    build(8192, 4096, 1024);
    EXPECT_EQ(hs().totalMemory(), 1024u);
    EXPECT_EQ(hs().maxMemory(), 8192u);
    word_t big = newArray(t.byteArray, 3000);
    ASSERT_NE(big, 0u);
    root(0) = big;
    EXPECT_GT(hs().totalMemory(), 3000u);
    EXPECT_TRUE(verify()) << verifyFault();
    root(0) = 0;
    hs().collector.collect(true);
    EXPECT_EQ(hs().totalMemory(), 1024u) << "trimmed back";
    EXPECT_EQ(hs().freeMemory(), 1020u);
    EXPECT_TRUE(verify()) << verifyFault();
    EXPECT_EQ(newArray(t.byteArray, 9000), 0u) << "beyond the region";
}

TEST_F(CompactingHeapTest, ImmortalBumpTable) {
    build(4096, 64);
    struct Case {
        word_t type;
        bool ok;
    } cases[] = {{t.node2, true}, {t.node3, true}, {t.node3, false}, {t.leaf, true}, {t.object, false}};
    word_t prev = 0;
    for (const auto& c : cases) {
        word_t o = hs().allocateImmortalObject(c.type);
        EXPECT_EQ(o != 0, c.ok);
        if (o == 0) continue;
        EXPECT_EQ(headerWord(o) >> 24, 0x82u);
        EXPECT_EQ(typeOf(o), c.type);
        if (prev != 0) {
            EXPECT_EQ(memory::header_next_ref_words(headerWord(prev)), shapeOf(o).refBytes / 4);
        }
        prev = o;
    }
    EXPECT_EQ(hs().immortalHeap.freeBytes(), 0u);
    EXPECT_EQ(envLog().oomePending, 2);
    EXPECT_TRUE(verify()) << verifyFault();
}

TEST_F(CompactingHeapTest, OwnerWordsNameAValidRecord) {
    build(4096);
    SyntheticFeature& f = syntheticFeature();
    envLog().featureInstalled = true;
    struct Case {
        word_t current;
        word_t type;
        std::uint32_t owner;
    } cases[] = {{0, t.node1, 0},
                 {f.record, t.node1, f.record},
                 {f.record, f.featureType, f.record | 1u},
                 {0, f.featureType, f.record | 1u}};
    for (const auto& c : cases) {
        envLog().currentFeature = c.current;
        word_t o = newObject(c.type);
        ASSERT_NE(o, 0u);
        EXPECT_EQ(ownerWord(o), c.owner);
        EXPECT_EQ(typeOf(o), c.type);
    }
    envLog().currentFeature = 0;
    EXPECT_TRUE(verify()) << verifyFault();
}

TEST_F(CompactingHeapTest, FeatureOverQuotaGetsOneCollection) {
    build(4096);
    SyntheticFeature& f = syntheticFeature();
    envLog().featureInstalled = true;
    envLog().currentFeature = f.record;
    storeU64(f.state->quota, 60);
    word_t a = newObject(t.node3);  // 24
    root(0) = a;
    newObject(t.node3);  // 48: the second one is garbage
    int gcs = envLog().gcStarts;
    word_t c = newObject(t.leaf);  // 48 + 16 > 60: the collection recounts 24, then it fits
    EXPECT_NE(c, 0u);
    EXPECT_EQ(envLog().gcStarts, gcs + 1);
    root(1) = c;
    EXPECT_EQ(newObject(t.node3), 0u) << "24 + 16 + 24 > 60 even after collecting";
    envLog().currentFeature = 0;
    EXPECT_TRUE(verify()) << verifyFault();
}

}  // namespace
}  // namespace tarvelo::test
