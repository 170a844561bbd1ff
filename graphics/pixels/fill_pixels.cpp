#include "graphics/pixels/fill_pixels.h"

#include <cstring>

namespace tarvelo::graphics {

namespace {

// Vectors of the compiler's vector extension, lowered to the processor's
// vector stores (SSE2, AVX2, NEON) or to plain word stores where it has
// none. They may alias the pixels they are stored over.
typedef std::uint32_t Block16 __attribute__((vector_size(16), may_alias));
#if defined(__x86_64__)
typedef std::uint32_t Block32 __attribute__((vector_size(32), may_alias));
#endif

// Pixels from `p` up to `end` as aligned blocks of `Block`, after single
// pixels up to the first block boundary; returns where the blocks stop
// (fewer pixels than a block before `end`).
template <class Block>
[[gnu::always_inline]] inline std::uint16_t* store_blocks(std::uint16_t* p, std::uint16_t* end, std::uint16_t colour) {
    while (p != end && (reinterpret_cast<std::uintptr_t>(p) & (sizeof(Block) - 1)) != 0) *p++ = colour;
    const Block block = Block{} + (static_cast<std::uint32_t>(colour) << 16 | colour);
    std::size_t blocks = static_cast<std::size_t>(end - p) * 2 / sizeof(Block);
    auto* b = reinterpret_cast<Block*>(p);
    // Four stores a step: the loop's own cost stays below the stores'.
    for (; blocks >= 4; blocks -= 4, b += 4) b[0] = b[1] = b[2] = b[3] = block;
    for (; blocks > 0; --blocks) *b++ = block;
    return reinterpret_cast<std::uint16_t*>(b);
}

#if defined(__x86_64__)
// 32-byte stores where the processor has them (checked at run time: the
// build assumes SSE2 only); half as many as 16-byte ones, which is what
// keeps a row as fast as memset's.
[[gnu::target("avx2")]] std::uint16_t* store_blocks_avx2(std::uint16_t* p, std::uint16_t* end, std::uint16_t colour) {
    return store_blocks<Block32>(p, end, colour);
}
#endif

#if defined(__x86_64__) || defined(__i386__)
// From this many bytes on, the string store (`rep stos`) beats vector
// stores, as it does for memset, which switches to it at the same size.
constexpr std::size_t kStringStoreBytes = 2048;

// `words` 32-bit words of `pair` from the 4-byte aligned `p`.
void string_store(std::uint16_t* p, std::size_t words, std::uint32_t pair) {
    asm volatile("rep stosl" : "+D"(p), "+c"(words) : "a"(pair) : "memory");
}
#endif

}  // namespace

void fill_rgb565(std::uint16_t* pixels, std::size_t count, std::uint16_t colour) {
    if ((colour >> 8) == (colour & 0xFF)) {
        std::memset(pixels, colour & 0xFF, 2 * count);
        return;
    }
    std::uint16_t* p = pixels;
    std::uint16_t* const end = pixels + count;
#if defined(__x86_64__) || defined(__i386__)
    if (2 * count >= kStringStoreBytes) {
        if ((reinterpret_cast<std::uintptr_t>(p) & 2) != 0) *p++ = colour;
        const std::size_t words = static_cast<std::size_t>(end - p) / 2;
        string_store(p, words, static_cast<std::uint32_t>(colour) << 16 | colour);
        if (((end - p) & 1) != 0) end[-1] = colour;
        return;
    }
#endif
#if defined(__x86_64__)
    p = __builtin_cpu_supports("avx2") ? store_blocks_avx2(p, end, colour) : store_blocks<Block16>(p, end, colour);
#else
    p = store_blocks<Block16>(p, end, colour);
#endif
    while (p != end) *p++ = colour;
}

}  // namespace tarvelo::graphics
