// The arena allocator behind the kernel heap and the standard library's
// heap: merging of freed neighbours, first fit, in-place reallocation, and
// refusal of pointers that are not live blocks.
#include "platform/arena.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

using tarvelo::Arena;

namespace {

class ArenaTest : public ::testing::Test {
protected:
    void SetUp() override { arena.reset(storage, sizeof storage); }

    alignas(8) unsigned char storage[4096];
    Arena arena;
};

}  // namespace

TEST_F(ArenaTest, StartsAsOneFreeBlock) {
    EXPECT_TRUE(arena.check());
    EXPECT_EQ(arena.free_block_count(), 1u);
    EXPECT_EQ(arena.free_bytes(), arena.min_free_bytes());
    EXPECT_GT(arena.free_bytes(), sizeof storage - 64);
    EXPECT_EQ(arena.largest_free_block(), arena.free_bytes() - Arena::kHeaderSize);
}

// Three neighbouring blocks freed in every order end as one free block
// again: each free merges with whichever neighbours are already free.
TEST_F(ArenaTest, NeighboursMergeWhateverTheOrderOfFreeing) {
    const std::size_t initial = arena.free_bytes();
    std::array<int, 3> order{0, 1, 2};
    do {
        arena.reset(storage, sizeof storage);
        void* blocks[3] = {arena.allocate(100), arena.allocate(200), arena.allocate(300)};
        void* guard = arena.allocate(16);  // keeps the third from merging with the rest
        for (void* b : blocks) ASSERT_NE(b, nullptr);
        for (int i : order) {
            ASSERT_TRUE(arena.release(blocks[i]));
            ASSERT_TRUE(arena.check()) << order[0] << order[1] << order[2];
        }
        EXPECT_EQ(arena.free_block_count(), 2u) << "the three blocks and the tail";
        void* big = arena.allocate(600);
        EXPECT_EQ(big, blocks[0]) << "the merged block starts where the first did";
        arena.release(big);
        arena.release(guard);
        EXPECT_EQ(arena.free_block_count(), 1u);
        EXPECT_EQ(arena.free_bytes(), initial);
    } while (std::next_permutation(order.begin(), order.end()));
}

TEST_F(ArenaTest, FirstFitTakesTheLowestHoleThatFits) {
    void* a = arena.allocate(64);
    void* b = arena.allocate(256);
    void* c = arena.allocate(64);
    void* d = arena.allocate(128);
    void* e = arena.allocate(64);
    ASSERT_NE(e, nullptr);
    arena.release(b);
    arena.release(d);
    EXPECT_EQ(arena.allocate(200), b) << "the first hole is large enough";
    EXPECT_EQ(arena.allocate(100), d) << "what is left of the first hole is too small";
    EXPECT_TRUE(arena.check());
    (void)a;
    (void)c;
}

TEST_F(ArenaTest, ReallocateGrowsInPlaceIntoAFreeNeighbour) {
    auto* a = static_cast<unsigned char*>(arena.allocate(100));
    void* b = arena.allocate(100);
    void* c = arena.allocate(100);
    std::memset(a, 0x5A, 100);
    arena.release(b);
    auto* grown = static_cast<unsigned char*>(arena.reallocate(a, 180));
    EXPECT_EQ(grown, a);
    EXPECT_GE(arena.usable_size(grown), 180u);
    EXPECT_TRUE(std::all_of(grown, grown + 100, [](unsigned char x) { return x == 0x5A; }));
    EXPECT_TRUE(arena.check());
    (void)c;
}

TEST_F(ArenaTest, ReallocateMovesWhenBlockedAndKeepsTheContents) {
    auto* a = static_cast<unsigned char*>(arena.allocate(100));
    void* b = arena.allocate(100);
    for (int i = 0; i < 100; ++i) a[i] = static_cast<unsigned char>(i);
    auto* moved = static_cast<unsigned char*>(arena.reallocate(a, 500));
    ASSERT_NE(moved, nullptr);
    EXPECT_NE(moved, a);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(moved[i], i);
    EXPECT_FALSE(arena.release(a)) << "the old block was freed by the move";
    EXPECT_TRUE(arena.check());
    (void)b;
}

TEST_F(ArenaTest, ReallocateShrinksInPlaceAndFreesTheRest) {
    void* a = arena.allocate(1000);
    void* b = arena.allocate(16);
    std::size_t free_before = arena.free_bytes();
    EXPECT_EQ(arena.reallocate(a, 100), a);
    EXPECT_GT(arena.free_bytes(), free_before + 800);
    EXPECT_EQ(arena.allocate(800), static_cast<unsigned char*>(a) + arena.usable_size(a) + Arena::kHeaderSize)
        << "the cut-off tail is a free block right after";
    EXPECT_TRUE(arena.check());
    (void)b;
}

TEST_F(ArenaTest, FailedReallocateLeavesTheBlockAlone) {
    auto* a = static_cast<unsigned char*>(arena.allocate(100));
    std::memset(a, 0x33, 100);
    std::size_t free_before = arena.free_bytes();
    EXPECT_EQ(arena.reallocate(a, 1 << 20), nullptr);
    EXPECT_EQ(arena.free_bytes(), free_before);
    EXPECT_EQ(a[99], 0x33);
    EXPECT_TRUE(arena.release(a));
}

TEST_F(ArenaTest, ReallocateEdges) {
    void* p = arena.reallocate(nullptr, 40);
    ASSERT_NE(p, nullptr) << "null allocates";
    EXPECT_EQ(arena.reallocate(p, 0), nullptr) << "size 0 frees";
    EXPECT_EQ(arena.free_block_count(), 1u);
}

// Pointers that are not live blocks are refused and change nothing.
TEST_F(ArenaTest, RefusesPointersThatAreNotLiveBlocks) {
    auto* a = static_cast<unsigned char*>(arena.allocate(64));
    auto* b = static_cast<unsigned char*>(arena.allocate(64));
    auto* c = static_cast<unsigned char*>(arena.allocate(64));
    ASSERT_TRUE(arena.release(b));
    int outside = 0;
    struct Case {
        const char* what;
        void* pointer;
    };
    const Case cases[] = {
        {"double free", b},
        {"inside a block", a + 8},
        {"misaligned", a + 3},
        {"outside the arena", &outside},
        {"the arena's first byte", storage},
    };
    for (const Case& k : cases) {
        std::size_t free_before = arena.free_bytes();
        EXPECT_FALSE(arena.release(k.pointer)) << k.what;
        EXPECT_EQ(arena.reallocate(k.pointer, 10), nullptr) << k.what;
        EXPECT_EQ(arena.free_bytes(), free_before) << k.what;
        EXPECT_TRUE(arena.check()) << k.what;
    }
    // A block merged into its free predecessor cannot be freed again.
    ASSERT_TRUE(arena.release(c));
    EXPECT_FALSE(arena.release(c));
    EXPECT_TRUE(arena.release(a));
    EXPECT_EQ(arena.free_block_count(), 1u);
}

TEST_F(ArenaTest, ExhaustionAndTheLowWaterMark) {
    const std::size_t initial = arena.free_bytes();
    std::vector<void*> blocks;
    while (void* p = arena.allocate(100)) blocks.push_back(p);
    EXPECT_GT(blocks.size(), 10u);
    EXPECT_LT(arena.free_bytes(), 200u);
    std::size_t lowest = arena.free_bytes();
    for (void* p : blocks) ASSERT_TRUE(arena.release(p));
    EXPECT_EQ(arena.free_bytes(), initial);
    EXPECT_EQ(arena.min_free_bytes(), lowest);
    EXPECT_EQ(arena.free_block_count(), 1u);
    EXPECT_EQ(arena.allocate(static_cast<std::size_t>(-1)), nullptr) << "an impossible size";
    EXPECT_EQ(arena.allocate(initial), nullptr) << "the header does not fit";
    EXPECT_NE(arena.allocate(initial - Arena::kHeaderSize), nullptr) << "the whole arena in one block";
}

TEST_F(ArenaTest, ZeroBytesStillGetDistinctBlocks) {
    void* a = arena.allocate(0);
    void* b = arena.allocate(0);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
}

TEST_F(ArenaTest, BlocksAreAligned) {
    for (std::size_t n : {1u, 3u, 7u, 8u, 9u, 17u, 31u}) {
        void* p = arena.allocate(n);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % Arena::kAlignment, 0u) << n;
    }
}

TEST(ArenaRegion, UnalignedRegionIsUsedFromItsFirstAlignedByte) {
    alignas(8) unsigned char raw[1027];
    Arena arena(raw + 3, sizeof raw - 3);
    void* p = arena.allocate(8);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 8, 0u);
    EXPECT_GE(static_cast<unsigned char*>(p), raw + 3);
    EXPECT_TRUE(arena.check());
}

TEST(ArenaRegion, TooSmallARegionHandsOutNothing) {
    alignas(8) unsigned char raw[16];
    Arena arena(raw, sizeof raw);
    EXPECT_EQ(arena.allocate(1), nullptr);
    EXPECT_EQ(arena.free_bytes(), 0u);
}

// Random allocations, reallocations and frees against a model of what each
// block must hold; every step keeps every tag consistent.
TEST(ArenaStress, RandomOperationsKeepBlocksIntactAndTagsConsistent) {
    alignas(8) static unsigned char region[64 * 1024];
    Arena arena(region, sizeof region);
    const std::size_t initial = arena.free_bytes();
    struct Live {
        unsigned char* p;
        std::size_t size;
        unsigned char fill;
    };
    std::vector<Live> live;
    std::mt19937 rng(12345);
    auto intact = [](const Live& l) {
        return std::all_of(l.p, l.p + l.size, [&](unsigned char x) { return x == l.fill; });
    };
    for (int step = 0; step < 4000; ++step) {
        int op = static_cast<int>(rng() % 3);
        if (op == 0 || live.empty()) {
            std::size_t size = rng() % 700;
            auto* p = static_cast<unsigned char*>(arena.allocate(size));
            if (p != nullptr) {
                auto fill = static_cast<unsigned char>(step);
                std::memset(p, fill, size);
                live.push_back({p, size, fill});
            }
        } else {
            std::size_t i = rng() % live.size();
            ASSERT_TRUE(intact(live[i])) << step;
            if (op == 1) {
                ASSERT_TRUE(arena.release(live[i].p));
                live.erase(live.begin() + static_cast<std::ptrdiff_t>(i));
            } else {
                std::size_t size = rng() % 1400;
                auto* p = static_cast<unsigned char*>(arena.reallocate(live[i].p, size));
                if (size == 0) {
                    live.erase(live.begin() + static_cast<std::ptrdiff_t>(i));
                } else if (p != nullptr) {
                    std::size_t kept = std::min(size, live[i].size);
                    ASSERT_TRUE(std::all_of(p, p + kept, [&](unsigned char x) { return x == live[i].fill; }));
                    std::memset(p, live[i].fill, size);
                    live[i].p = p;
                    live[i].size = size;
                }
            }
        }
        ASSERT_TRUE(arena.check()) << step;
    }
    for (const Live& l : live) {
        ASSERT_TRUE(intact(l));
        ASSERT_TRUE(arena.release(l.p));
    }
    EXPECT_EQ(arena.free_bytes(), initial);
    EXPECT_EQ(arena.free_block_count(), 1u);
}
