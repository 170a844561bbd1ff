#include "platform/arena.h"

#include <cstring>

namespace tarvelo {

namespace {

// Header word: size | flags. The size is a multiple of 8, so the low three
// bits carry the flags.
constexpr std::uint32_t kUsed = 1;
constexpr std::uint32_t kPrevFree = 2;
constexpr std::uint32_t kFlagMask = 7;
// The second header word is the first one xor this: a pointer whose header
// does not match was never handed out (or its block has been freed).
constexpr std::uint32_t kCheck = 0x5A17C3E9u;
// Header, two links and the footer of a free block.
constexpr std::uint32_t kMinBlock = 24;
constexpr std::uint32_t kHeader = static_cast<std::uint32_t>(Arena::kHeaderSize);

// Block size for a request, or 0 when it cannot be represented.
std::uint32_t block_size_for(std::size_t request) {
    if (request > 0xFFFFFFFFu - kHeader - Arena::kAlignment) return 0;
    std::size_t size = (request + kHeader + Arena::kAlignment - 1) & ~(Arena::kAlignment - 1);
    if (size < kMinBlock) size = kMinBlock;
    return static_cast<std::uint32_t>(size);
}

}  // namespace

std::uint32_t Arena::load(std::uint32_t off) const {
    std::uint32_t v;
    std::memcpy(&v, base_ + off, sizeof v);
    return v;
}

void Arena::store(std::uint32_t off, std::uint32_t value) { std::memcpy(base_ + off, &value, sizeof value); }

std::uint32_t Arena::size_at(std::uint32_t off) const { return load(off) & ~kFlagMask; }

std::uint32_t Arena::flags_at(std::uint32_t off) const { return load(off) & kFlagMask; }

void Arena::set_header(std::uint32_t off, std::uint32_t size, std::uint32_t flags) {
    store(off, size | flags);
    store(off + 4, (size | flags) ^ kCheck);
}

void Arena::set_prev_free(std::uint32_t off, bool prev_free) {
    std::uint32_t flags = flags_at(off);
    flags = prev_free ? (flags | kPrevFree) : (flags & ~kPrevFree);
    set_header(off, size_at(off), flags);
}

void Arena::make_free(std::uint32_t off, std::uint32_t size) {
    // Blocks are merged as soon as they are freed, so the block before a
    // free block is always in use.
    set_header(off, size, 0);
    store(off + size - 4, size);
    set_prev_free(off + size, true);
}

void Arena::link_free(std::uint32_t off) {
    std::uint32_t prev = kNil;
    std::uint32_t next = free_head_;
    while (next != kNil && next < off) {
        prev = next;
        next = load(next + 8);
    }
    store(off + 8, next);
    store(off + 12, prev);
    if (prev == kNil) {
        free_head_ = off;
    } else {
        store(prev + 8, off);
    }
    if (next != kNil) store(next + 12, off);
}

void Arena::unlink_free(std::uint32_t off) {
    std::uint32_t next = load(off + 8);
    std::uint32_t prev = load(off + 12);
    if (prev == kNil) {
        free_head_ = next;
    } else {
        store(prev + 8, next);
    }
    if (next != kNil) store(next + 12, prev);
}

void Arena::reset(void* base, std::size_t size) {
    auto addr = reinterpret_cast<std::uintptr_t>(base);
    std::uintptr_t aligned = (addr + kAlignment - 1) & ~(std::uintptr_t{kAlignment} - 1);
    std::size_t usable = size > aligned - addr ? size - (aligned - addr) : 0;
    if (usable > 0xFFFFFFF0u) usable = 0xFFFFFFF0u;
    usable &= ~(kAlignment - 1);
    base_ = reinterpret_cast<unsigned char*>(aligned);
    free_head_ = kNil;
    allocations_ = 0;
    releases_ = 0;
    if (usable < kMinBlock + kHeader) {
        end_ = 0;
        free_bytes_ = min_free_bytes_ = 0;
        base_ = nullptr;
        return;
    }
    end_ = static_cast<std::uint32_t>(usable) - kHeader;
    set_header(end_, 0, kUsed);
    make_free(0, end_);
    link_free(0);
    free_bytes_ = min_free_bytes_ = end_;
}

void Arena::note_used(std::uint32_t bytes) {
    free_bytes_ -= bytes;
    if (free_bytes_ < min_free_bytes_) min_free_bytes_ = free_bytes_;
}

std::uint32_t Arena::trim(std::uint32_t off, std::uint32_t size) {
    std::uint32_t total = size_at(off);
    if (total - size < kMinBlock) return 0;
    std::uint32_t rest = off + size;
    std::uint32_t released = total - size;
    std::uint32_t rest_size = released;
    set_header(off, size, kUsed | (flags_at(off) & kPrevFree));
    std::uint32_t next = rest + rest_size;
    if ((flags_at(next) & kUsed) == 0) {
        unlink_free(next);
        store(next + 4, 0);
        rest_size += size_at(next);
    }
    make_free(rest, rest_size);
    link_free(rest);
    return released;
}

void* Arena::allocate(std::size_t size) {
    if (base_ == nullptr) return nullptr;
    std::uint32_t need = block_size_for(size);
    if (need == 0) return nullptr;
    for (std::uint32_t off = free_head_; off != kNil; off = load(off + 8)) {
        std::uint32_t have = size_at(off);
        if (have < need) continue;
        unlink_free(off);
        set_header(off, have, kUsed);
        set_prev_free(off + have, false);
        note_used(have - trim(off, need));
        ++allocations_;
        return base_ + off + kHeader;
    }
    return nullptr;
}

std::uint32_t Arena::live_block(const void* p) const {
    if (!owns(p)) return kNil;
    auto at = static_cast<std::uint32_t>(static_cast<const unsigned char*>(p) - base_);
    if (at < kHeader || (at % kAlignment) != 0) return kNil;
    std::uint32_t off = at - kHeader;
    std::uint32_t word = load(off);
    if ((word ^ kCheck) != load(off + 4)) return kNil;
    if ((word & kUsed) == 0) return kNil;
    std::uint32_t size = word & ~kFlagMask;
    if (size < kMinBlock || size > end_ - off) return kNil;
    return off;
}

bool Arena::release(void* p) {
    if (p == nullptr) return true;
    std::uint32_t off = live_block(p);
    if (off == kNil) return false;
    std::uint32_t size = size_at(off);
    bool prev_free = (flags_at(off) & kPrevFree) != 0;
    // Spoil the check word: this header may end up inside a merged block,
    // where a second free of the same pointer must not find it valid.
    store(off + 4, 0);
    free_bytes_ += size;
    ++releases_;
    std::uint32_t next = off + size;
    if ((flags_at(next) & kUsed) == 0) {
        unlink_free(next);
        store(next + 4, 0);
        size += size_at(next);
    }
    if (prev_free) {
        std::uint32_t prev_size = load(off - 4);
        std::uint32_t prev = off - prev_size;
        unlink_free(prev);
        off = prev;
        size += prev_size;
    }
    make_free(off, size);
    link_free(off);
    return true;
}

void* Arena::reallocate(void* p, std::size_t size) {
    if (p == nullptr) return allocate(size);
    std::uint32_t off = live_block(p);
    if (off == kNil) return nullptr;
    if (size == 0) {
        release(p);
        return nullptr;
    }
    std::uint32_t need = block_size_for(size);
    if (need == 0) return nullptr;
    std::uint32_t have = size_at(off);
    if (need <= have) {
        free_bytes_ += trim(off, need);
        return p;
    }
    std::uint32_t next = off + have;
    if ((flags_at(next) & kUsed) == 0 && have + size_at(next) >= need) {
        std::uint32_t next_size = size_at(next);
        unlink_free(next);
        store(next + 4, 0);
        set_header(off, have + next_size, kUsed | (flags_at(off) & kPrevFree));
        set_prev_free(off + have + next_size, false);
        note_used(next_size - trim(off, need));
        return p;
    }
    void* q = allocate(size);
    if (q == nullptr) return nullptr;
    std::memcpy(q, p, have - kHeader);
    release(p);
    return q;
}

bool Arena::owns(const void* p) const {
    auto* c = static_cast<const unsigned char*>(p);
    return base_ != nullptr && c >= base_ && c < base_ + end_;
}

std::size_t Arena::usable_size(const void* p) const {
    std::uint32_t off = live_block(p);
    return off == kNil ? 0 : size_at(off) - kHeader;
}

std::size_t Arena::largest_free_block() const {
    std::uint32_t best = 0;
    for (std::uint32_t off = free_head_; off != kNil; off = load(off + 8))
        if (size_at(off) > best) best = size_at(off);
    return best == 0 ? 0 : best - kHeader;
}

std::size_t Arena::free_block_count() const {
    std::size_t n = 0;
    for (std::uint32_t off = free_head_; off != kNil; off = load(off + 8)) ++n;
    return n;
}

bool Arena::check() const {
    if (base_ == nullptr) return free_head_ == kNil;
    std::size_t free_total = 0;
    std::size_t free_blocks = 0;
    bool prev_free = false;
    std::uint32_t off = 0;
    while (off < end_) {
        std::uint32_t word = load(off);
        if ((word ^ kCheck) != load(off + 4)) return false;
        std::uint32_t size = word & ~kFlagMask;
        if (size < kMinBlock || size % kAlignment != 0 || size > end_ - off) return false;
        if (((word & kPrevFree) != 0) != prev_free) return false;
        bool is_free = (word & kUsed) == 0;
        if (is_free) {
            if (prev_free) return false;  // two free neighbours were not merged
            if (load(off + size - 4) != size) return false;
            free_total += size;
            ++free_blocks;
        }
        prev_free = is_free;
        off += size;
    }
    if (off != end_) return false;
    std::uint32_t end_word = load(end_);
    if ((end_word ^ kCheck) != load(end_ + 4) || (end_word & kUsed) == 0) return false;
    if (((end_word & kPrevFree) != 0) != prev_free) return false;
    // The free list holds exactly the free blocks, in address order.
    std::size_t listed = 0;
    std::uint32_t prev = kNil;
    for (std::uint32_t f = free_head_; f != kNil; f = load(f + 8)) {
        if (f >= end_ || (flags_at(f) & kUsed) != 0) return false;
        if (prev != kNil && f <= prev) return false;
        if (load(f + 12) != prev) return false;
        prev = f;
        if (++listed > free_blocks) return false;
    }
    return listed == free_blocks && free_total == free_bytes_;
}

}  // namespace tarvelo
