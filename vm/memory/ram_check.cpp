#include "vm/memory/ram_check.h"

namespace tarvelo {

bool RamCheck::testWord(volatile std::uint32_t* p) {
    static constexpr std::uint32_t kPatterns[] = {0u, 0xFFFFFFFFu, 0xAAAAAAAAu, 0x55555555u,
                                                  0x12345678u};
    for (std::uint32_t v : kPatterns) {
        *p = v;
        if (*p != v) return false;
    }
    return true;
}

bool RamCheck::testHalfWord(volatile std::uint16_t* p) {
    static constexpr std::uint16_t kPatterns[] = {0u, 0xFFFFu, 0xAAAAu, 0x5555u, 0x1234u};
    for (std::uint16_t v : kPatterns) {
        *p = v;
        if (*p != v) return false;
    }
    return true;
}

bool RamCheck::testByte(volatile std::uint8_t* p) {
    static constexpr std::uint8_t kPatterns[] = {0u, 0xFFu, 0xAAu, 0x55u, 0x12u};
    for (std::uint8_t v : kPatterns) {
        *p = v;
        if (*p != v) return false;
    }
    return true;
}

int RamCheck::ramCheck(word_t start, word_t end) {
    std::uint64_t s = (static_cast<std::uint64_t>(start) + 3u) & ~std::uint64_t{3};
    std::uint64_t e = end & ~word_t{3};
    if (e <= s || e - s < 4u) return 1;
    auto* first = to_ptr<volatile std::uint32_t>(static_cast<word_t>(s));
    auto* last = to_ptr<volatile std::uint32_t>(static_cast<word_t>(e - 4u));
    std::uint32_t savedFirst = *first;
    std::uint32_t savedLast = *last;
    bool ok = testWord(first) && testWord(last) &&
              testHalfWord(to_ptr<volatile std::uint16_t>(static_cast<word_t>(s + 2u))) &&
              testHalfWord(to_ptr<volatile std::uint16_t>(static_cast<word_t>(e - 2u))) &&
              testByte(to_ptr<volatile std::uint8_t>(static_cast<word_t>(s + 1u))) &&
              testByte(to_ptr<volatile std::uint8_t>(static_cast<word_t>(e - 1u)));
    // Restored in this order so that a one-word area keeps its first word.
    *last = savedLast;
    *first = savedFirst;
    return ok ? 1 : 0;
}

}  // namespace tarvelo
