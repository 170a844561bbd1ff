#include "vm/memory/best_fit_allocator.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <vector>

namespace tarvelo {
namespace {

alignas(16) std::uint8_t gArena[8192];

class BestFitTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::memset(gArena, 0xCD, sizeof gArena);
        heap.initialize(gArena, gArena + sizeof gArena);
    }
    static std::uint32_t blockSize(void* p) {
        return *reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(p) - 4) &
               ~BestFitAllocator::kAllocatedBit;
    }
    word_t start() const { return to_word(gArena); }
    BestFitAllocator heap{};
};

struct SizeCase {
    std::uint32_t request;
    std::uint32_t block;
};

class BestFitSizeTest : public BestFitTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(BestFitSizeTest, BlockSizeForRequest) {
    void* p = heap.allocate(GetParam().request);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(blockSize(p), GetParam().block);
    EXPECT_EQ(to_word(p) % 4, 0u);
    EXPECT_TRUE(heap.check());
}

INSTANTIATE_TEST_SUITE_P(Classes, BestFitSizeTest,
                         ::testing::Values(SizeCase{0, 16}, SizeCase{1, 16}, SizeCase{7, 16},
                                           SizeCase{8, 16}, SizeCase{9, 20}, SizeCase{60, 68},
                                           SizeCase{61, 72}, SizeCase{64, 72},
                                           SizeCase{1000, 1008}));

TEST_F(BestFitTest, HeaderLaidOutAtStart) {
    auto* w = reinterpret_cast<std::uint32_t*>(gArena);
    EXPECT_EQ(w[0], 16u);
    for (int i = 1; i <= 15; ++i) EXPECT_EQ(w[i], 0u) << i;
    EXPECT_EQ(w[16], start() + 72);
    EXPECT_EQ(w[17], 0u);
    EXPECT_EQ(w[18], 0u);
    EXPECT_EQ(heap.listBase, start() - 12);
    EXPECT_EQ(heap.classId, 0u);
}

TEST_F(BestFitTest, FreeingBlockBelowTopLowersTop) {
    void* a = heap.allocate(20);
    word_t topAfterA = heap.top();
    void* b = heap.allocate(20);
    heap.free(b);
    EXPECT_EQ(heap.top(), topAfterA);
    heap.free(a);
    EXPECT_EQ(heap.top(), start() + 72);
    EXPECT_TRUE(heap.check());
}

TEST_F(BestFitTest, FreedNeighboursCoalesceIntoOneListedBlock) {
    void* a = heap.allocate(20);  // 28
    void* b = heap.allocate(20);  // 28
    void* guard = heap.allocate(8);
    heap.free(a);
    heap.free(b);
    auto* w = reinterpret_cast<std::uint32_t*>(gArena);
    word_t merged = to_word(a) - 4;
    EXPECT_EQ(*to_ptr<std::uint32_t>(merged), 56u) << "header";
    EXPECT_EQ(w[11], merged) << "exact list of 56 bytes: word (56 - 12) / 4";
    EXPECT_TRUE(heap.check());
    (void)guard;
}

TEST_F(BestFitTest, RemainderUnderMinimumIsNotSplitOff) {
    void* a = heap.allocate(44);  // 52-byte block
    void* guard = heap.allocate(8);
    heap.free(a);
    void* p = heap.allocate(32);  // b = 40: a 52-byte block would leave 12 bytes
    ASSERT_NE(p, nullptr);
    EXPECT_GT(to_word(p), to_word(guard));
    EXPECT_EQ(blockSize(p), 40u);
    void* q = heap.allocate(28);  // b = 36: 52 - 36 = 16 may be split off
    EXPECT_EQ(q, a);
    EXPECT_EQ(blockSize(q), 36u);
    EXPECT_TRUE(heap.check());
}

TEST_F(BestFitTest, LargeListPrefersExactSizeThenSplits) {
    void* a = heap.allocate(192);  // 200
    void* g1 = heap.allocate(8);
    void* b = heap.allocate(92);  // 100
    void* g2 = heap.allocate(8);
    heap.free(a);
    heap.free(b);
    EXPECT_EQ(heap.allocate(92), b) << "exact size first";
    void* c = heap.allocate(100);  // 108 from the 200 block, remainder 92
    EXPECT_EQ(c, a);
    EXPECT_TRUE(heap.check());
    (void)g1;
    (void)g2;
}

TEST_F(BestFitTest, AllocationEndingAtLimitFails) {
    word_t limit = heap.heapLimit;
    std::uint32_t room = limit - heap.top();
    EXPECT_EQ(heap.allocate(room - 8), nullptr) << "block would end exactly at the limit";
    void* p = heap.allocate(room - 12);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(heap.top(), limit - 4);
    EXPECT_EQ(heap.allocate(0), nullptr);
    EXPECT_TRUE(heap.check());
}

TEST_F(BestFitTest, HugeRequestsFailWithoutWrapping) {
    EXPECT_EQ(heap.allocate(0xFFFFFFFFu), nullptr);
    EXPECT_EQ(heap.allocate(0xFFFFFFF8u), nullptr);
    EXPECT_EQ(heap.allocate(0x7FFFFFFFu), nullptr);
    EXPECT_TRUE(heap.check());
}

TEST_F(BestFitTest, DoubleAndForeignFreesAreIgnored) {
    void* a = heap.allocate(20);
    void* guard = heap.allocate(8);
    heap.free(a);
    heap.free(a);
    heap.free(nullptr);
    heap.free(gArena + 3000);
    static std::uint32_t outside[4];
    heap.free(outside + 1);
    EXPECT_TRUE(heap.check());
    EXPECT_EQ(heap.allocate(20), a);
    (void)guard;
}

TEST_F(BestFitTest, TooSmallAreaNeverAllocates) {
    BestFitAllocator tiny{};
    tiny.initialize(gArena, gArena + 80);
    EXPECT_EQ(tiny.allocate(1), nullptr);
    tiny.free(gArena + 76);
    EXPECT_TRUE(tiny.check());
}

TEST_F(BestFitTest, SeededRandomRunKeepsContentsAndTags) {
    std::mt19937 rng(1234);
    std::map<void*, std::vector<std::uint8_t>> live;
    for (int step = 0; step < 20000; ++step) {
        bool doAlloc = live.empty() || rng() % 100 < 55;
        if (doAlloc) {
            std::uint32_t size = rng() % 4 == 0 ? rng() % 400 : rng() % 64;
            void* p = heap.allocate(size);
            if (p == nullptr) continue;
            ASSERT_EQ(live.count(p), 0u);
            std::vector<std::uint8_t> bytes(size);
            for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
            if (size != 0) std::memcpy(p, bytes.data(), size);
            live[p] = std::move(bytes);
        } else {
            auto it = live.begin();
            std::advance(it, rng() % live.size());
            if (!it->second.empty()) {
                ASSERT_EQ(std::memcmp(it->first, it->second.data(), it->second.size()), 0);
            }
            heap.free(it->first);
            live.erase(it);
        }
        if (step % 97 == 0) {
            ASSERT_TRUE(heap.check()) << "step " << step;
        }
    }
    for (auto& [p, bytes] : live) {
        if (!bytes.empty()) {
            ASSERT_EQ(std::memcmp(p, bytes.data(), bytes.size()), 0);
        }
        heap.free(p);
    }
    EXPECT_TRUE(heap.check());
    EXPECT_EQ(heap.top(), start() + 72) << "everything returned to fresh space";
}

}  // namespace
}  // namespace tarvelo
