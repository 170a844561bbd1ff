// Free blocks of the main heap. Word 0: bit 31 clear; bit 0 set when a size
// word follows (clear for a 4-byte fragment); bits 1-25 the byte distance to
// the next block of the free list (0 for the last); bits 26-30 the reference
// words before the next block's header. Word 1 (when bit 0 is set): the size.
#pragma once

#include <cstdint>

#include "vm/model/object_header.h"
#include "vm/memory/object_model.h"

namespace tarvelo::free_block {

inline constexpr std::uint32_t kSizeFollows = 1u;
inline constexpr std::uint32_t kLinkMask = 0x03FFFFFEu;

inline bool isFree(word_t b) { return !memory::header_is_object(wordAt(b)); }

inline std::uint32_t size(word_t b) {
    std::uint32_t w = wordAt(b);
    return (w & kSizeFollows) != 0 ? wordAt(b + 4u) : 4u;
}

inline word_t next(word_t b) {
    std::uint32_t d = wordAt(b) & kLinkMask;
    return d != 0 ? b + d : 0;
}

inline void setNext(word_t b, word_t n) {
    std::uint32_t& w = wordAt(b);
    w = (w & ~kLinkMask) | (n != 0 ? (n - b) & kLinkMask : 0u);
}

inline std::uint32_t nextRefWords(word_t b) { return memory::header_next_ref_words(wordAt(b)); }

// Writes an unlinked free block of `bytes` (4 or a multiple of 4 from 8).
inline void write(word_t b, std::uint32_t bytes, std::uint32_t refWordsAfter) {
    std::uint32_t w = memory::header_with_next_ref_words(0, refWordsAfter);
    if (bytes >= 8u) {
        wordAt(b) = w | kSizeFollows;
        wordAt(b + 4u) = bytes;
    } else {
        wordAt(b) = w;
    }
}

}  // namespace tarvelo::free_block
