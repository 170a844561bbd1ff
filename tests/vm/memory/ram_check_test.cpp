#include "vm/memory/ram_check.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstring>

namespace tarvelo {
namespace {

alignas(16) std::uint8_t gArea[64];

TEST(RamCheckTest, AreasPassAndKeepTheirEndWords) {
    struct Case {
        int start;
        int end;
    } cases[] = {{0, 64}, {1, 63}, {3, 9}, {4, 8}, {0, 4}, {2, 10}};
    for (const auto& c : cases) {
        for (int i = 0; i < 64; ++i) gArea[i] = static_cast<std::uint8_t>(0x40 + i);
        EXPECT_EQ(RamCheck::ramCheck(to_word(gArea + c.start), to_word(gArea + c.end)), 1)
            << c.start << ".." << c.end;
        for (int i = 0; i < 64; ++i) {
            ASSERT_EQ(gArea[i], static_cast<std::uint8_t>(0x40 + i)) << "byte " << i;
        }
    }
}

// A read-only page proves that an area of less than one aligned word is
// passed without any write.
TEST(RamCheckTest, LessThanOneAlignedWordPassesWithoutWriting) {
#ifdef MAP_32BIT
    constexpr int kLow = MAP_32BIT;  // a 64-bit host: the page must have a 32-bit address
#else
    constexpr int kLow = 0;  // every address is 32 bits
#endif
    void* page = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | kLow, -1, 0);
    ASSERT_NE(page, MAP_FAILED);
    ASSERT_EQ(mprotect(page, 4096, PROT_READ), 0);
    word_t base = to_word(page);
    struct Case {
        word_t start;
        word_t end;
    } cases[] = {{base, base}, {base + 1, base + 4}, {base + 1, base + 7}, {base + 8, base + 4}};
    for (const auto& c : cases) EXPECT_EQ(RamCheck::ramCheck(c.start, c.end), 1);
    munmap(page, 4096);
}

TEST(RamCheckTest, PatternsReadBack) {
    volatile std::uint32_t w = 7;
    volatile std::uint16_t h = 7;
    volatile std::uint8_t b = 7;
    EXPECT_TRUE(RamCheck::testWord(&w));
    EXPECT_EQ(w, 0x12345678u) << "last pattern written";
    EXPECT_TRUE(RamCheck::testHalfWord(&h));
    EXPECT_EQ(h, 0x1234u);
    EXPECT_TRUE(RamCheck::testByte(&b));
    EXPECT_EQ(b, 0x12u);
}

}  // namespace
}  // namespace tarvelo
