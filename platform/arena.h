// A general-purpose allocator over one fixed region of memory: first fit
// over an address-ordered free list, boundary tags so that a freed block
// merges with free neighbours at once. It serves both the kernel heap and
// the standard library's heap; it takes no lock (its owners do).
//
// Layout: every block starts with an 8-byte header (size and flags, and a
// check word that catches frees of pointers that are not live blocks); a
// free block also holds its free-list links and ends with a copy of its
// size, so the block after it can find its start. A zero-size "used" block
// closes the region.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvelo {

class Arena {
public:
    static constexpr std::size_t kAlignment = 8;
    // Bytes of bookkeeping in front of every allocation.
    static constexpr std::size_t kHeaderSize = 8;

    Arena() = default;
    Arena(void* base, std::size_t size) { reset(base, size); }
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;

    // Forgets everything and makes the region one free block. The region
    // must hold at least 64 bytes and at most 4 GiB.
    void reset(void* base, std::size_t size);

    // nullptr when no free block is large enough. Zero bytes still get a
    // block of their own (a unique pointer).
    void* allocate(std::size_t size);
    // false (and nothing changes) when `p` is not a live block of this
    // arena: a foreign pointer, a pointer into a block, a double free.
    // nullptr is accepted and does nothing.
    bool release(void* p);
    // realloc semantics: nullptr allocates, size 0 frees and returns
    // nullptr; grows or shrinks in place when it can; on failure returns
    // nullptr and leaves `p` as it was.
    void* reallocate(void* p, std::size_t size);

    bool owns(const void* p) const;
    // Bytes the caller may use in a live block (at least what it asked).
    std::size_t usable_size(const void* p) const;

    // Sum of the free blocks, headers included.
    std::size_t free_bytes() const { return free_bytes_; }
    // Lowest free_bytes() since the last reset.
    std::size_t min_free_bytes() const { return min_free_bytes_; }
    // Largest single allocation that would succeed now.
    std::size_t largest_free_block() const;
    std::size_t free_block_count() const;
    std::size_t allocation_count() const { return allocations_; }
    std::size_t release_count() const { return releases_; }

    // Walks the whole region and checks every tag and the free list; for
    // tests and debugging.
    bool check() const;

private:
    std::uint32_t load(std::uint32_t off) const;
    void store(std::uint32_t off, std::uint32_t value);
    std::uint32_t size_at(std::uint32_t off) const;
    std::uint32_t flags_at(std::uint32_t off) const;
    void set_header(std::uint32_t off, std::uint32_t size, std::uint32_t flags);
    void set_prev_free(std::uint32_t off, bool prev_free);
    // Writes a free block's header and footer (its links are set by
    // link_free) and marks the block after it.
    void make_free(std::uint32_t off, std::uint32_t size);
    void link_free(std::uint32_t off);
    void unlink_free(std::uint32_t off);
    // Header offset of a live block, or kNil when `p` is not one.
    std::uint32_t live_block(const void* p) const;
    // Cuts a used block at `off` to `size` bytes when the rest makes a
    // block of its own; the rest is freed and merged forward. Returns the
    // bytes cut off (the caller accounts for them).
    std::uint32_t trim(std::uint32_t off, std::uint32_t size);
    void note_used(std::uint32_t bytes);

    static constexpr std::uint32_t kNil = 0xFFFFFFFFu;

    unsigned char* base_ = nullptr;
    std::uint32_t end_ = 0;  // offset of the closing block
    std::uint32_t free_head_ = kNil;
    std::size_t free_bytes_ = 0;
    std::size_t min_free_bytes_ = 0;
    std::size_t allocations_ = 0;
    std::size_t releases_ = 0;
};

// An arena over static storage of its own (below 4 GiB in this build), laid
// out on first use and again after forget(): a static region needs no
// constructor to have run, and a heap that restarts forgets its blocks.
template <std::size_t N>
class StaticArena {
public:
    Arena& get() {
        if (!ready_) {
            arena_.reset(storage_, N);
            ready_ = true;
        }
        return arena_;
    }
    void forget() { ready_ = false; }

private:
    alignas(Arena::kAlignment) unsigned char storage_[N];
    Arena arena_;
    bool ready_ = false;
};

}  // namespace tarvelo
