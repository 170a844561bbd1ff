// The standard library's heap: C allocation semantics over the static
// arena, usable with or without the scheduler.
#include "platform/libc_heap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "FreeRTOS.h"
#include "platform/address.h"
#include "tests/platform/freertos/rtos_scenario.h"

TEST(LibcHeap, CallocRefusesSizesThatOverflow) {
    const std::size_t max = static_cast<std::size_t>(-1);
    struct Case {
        std::size_t count, size;
    };
    for (Case c : {Case{max, 2}, Case{2, max}, Case{max / 2 + 1, 2}, Case{1u << 20, 1u << 20}})
        EXPECT_EQ(tarvelo_calloc(c.count, c.size), nullptr) << c.count << " x " << c.size;
}

TEST(LibcHeap, CallocZeroesReusedMemory) {
    auto* p = static_cast<unsigned char*>(tarvelo_malloc(256));
    ASSERT_NE(p, nullptr);
    std::memset(p, 0xFF, 256);
    tarvelo_free(p);
    auto* q = static_cast<unsigned char*>(tarvelo_calloc(64, 4));
    ASSERT_NE(q, nullptr);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(q[i], 0) << i;
    tarvelo_free(q);
}

TEST(LibcHeap, BlocksHaveThirtyTwoBitAddresses) {
    void* p = tarvelo_malloc(100);
    ASSERT_NE(p, nullptr);
    EXPECT_LE(reinterpret_cast<std::uintptr_t>(p), 0xFFFFFFFFu);
    EXPECT_EQ(tarvelo::to_ptr(tarvelo::to_word(p)), p);
    tarvelo_free(p);
}

TEST(LibcHeap, FreeSizeFollowsAllocations) {
    std::size_t before = tarvelo_libc_heap_free_size();
    EXPECT_GT(before, TARVELO_LIBC_HEAP_SIZE - 64u);
    void* p = tarvelo_malloc(10000);
    ASSERT_NE(p, nullptr);
    EXPECT_LE(tarvelo_libc_heap_free_size(), before - 10000);
    EXPECT_LE(tarvelo_libc_heap_minimum_free_size(), before - 10000);
    tarvelo_free(p);
    EXPECT_EQ(tarvelo_libc_heap_free_size(), before);
    EXPECT_EQ(tarvelo_malloc(TARVELO_LIBC_HEAP_SIZE), nullptr) << "more than the heap holds";
}

TEST(LibcHeap, ReallocKeepsContentsAndFailureKeepsTheBlock) {
    auto* p = static_cast<char*>(tarvelo_malloc(16));
    ASSERT_NE(p, nullptr);
    std::strcpy(p, "tarvelo");
    auto* q = static_cast<char*>(tarvelo_realloc(p, 4000));
    ASSERT_NE(q, nullptr);
    EXPECT_STREQ(q, "tarvelo");
    EXPECT_EQ(tarvelo_realloc(q, TARVELO_LIBC_HEAP_SIZE), nullptr);
    EXPECT_STREQ(q, "tarvelo") << "a failed realloc leaves the block as it was";
    tarvelo_free(q);
}

TEST(LibcHeap, FreeingForeignOrFreedPointersChangesNothing) {
    std::size_t before = tarvelo_libc_heap_free_size();
    void* p = tarvelo_malloc(32);
    tarvelo_free(p);
    int local = 0;
    tarvelo_free(p);
    tarvelo_free(&local);
    tarvelo_free(nullptr);
    EXPECT_EQ(tarvelo_libc_heap_free_size(), before);
}

// Tasks of different priorities share the heap; it outlives the scheduler.
TEST(LibcHeap, SharedByTasksAndKeptAcrossTheScheduler) {
    static void* kept = nullptr;
    tarvelo::test::run_scenario([] {
        kept = tarvelo_malloc(64);
        std::memcpy(kept, "from a task", 12);
    });
    ASSERT_NE(kept, nullptr);
    EXPECT_STREQ(static_cast<char*>(kept), "from a task");
    tarvelo_free(kept);
}
