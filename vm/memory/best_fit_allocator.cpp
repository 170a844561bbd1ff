#include "vm/memory/best_fit_allocator.h"

namespace tarvelo {

namespace {
constexpr std::uint32_t kNoOverflowLimit = 0xFFFFFFFFu;
}  // namespace

std::uint32_t BestFitAllocator::blockSizeFor(std::uint32_t size, bool* overflow) {
    *overflow = false;
    if (size <= 7) return kMinBlock;
    // align4(size) + 8 in 64 bits, then checked against 32 bits.
    std::uint64_t b = ((static_cast<std::uint64_t>(size) + 3u) & ~std::uint64_t{3}) + 8u;
    if (b > kNoOverflowLimit) {
        *overflow = true;
        return 0;
    }
    return static_cast<std::uint32_t>(b);
}

void BestFitAllocator::initialize(void* start, void* end) {
    classId = kClassId;
    word_t s = (to_word(start) + 3u) & ~3u;
    word_t e = to_word(end) & ~3u;
    // The header, the end marker and one minimal block must fit.
    if (to_word(start) > 0xFFFFFFFCu || e <= s || e - s < kHeaderBytes + 4u + kMinBlock) {
        heapStart = heapLimit = listBase = 0;
        return;
    }
    heapStart = s;
    heapLimit = e;
    listBase = s - 12u;
    word(s) = kTopWordIndex;
    for (std::uint32_t i = 1; i <= kLargeListWordIndex; ++i) word(s + 4u * i) = 0;
    word(s + 4u * kTopWordIndex) = s + kHeaderBytes;
    word(s + 4u * 17u) = 0;            // footer before the first block
    word(s + kHeaderBytes) = 0;        // end marker at the top
}

word_t BestFitAllocator::top() const {
    return usable() ? word(heapStart + 4u * kTopWordIndex) : 0;
}

word_t BestFitAllocator::headAddress(std::uint32_t blockSize) const {
    return blockSize < kLargeBlock ? listBase + blockSize
                                   : heapStart + 4u * kLargeListWordIndex;
}

void BestFitAllocator::unlink(word_t block, std::uint32_t size) {
    word_t prev = word(block + 4u);
    word_t next = word(block + 8u);
    if (prev != 0) {
        word(prev + 8u) = next;
    } else {
        word(headAddress(size)) = next;
    }
    if (next != 0) word(next + 4u) = prev;
}

void BestFitAllocator::insert(word_t block, std::uint32_t size) {
    word_t head = headAddress(size);
    word_t prev = 0;
    word_t cur = word(head);
    if (size >= kLargeBlock) {
        // Ascending sizes: before the first block of equal or larger size.
        while (cur != 0 && word(cur) < size) {
            prev = cur;
            cur = word(cur + 8u);
        }
    }
    word(block + 4u) = prev;
    word(block + 8u) = cur;
    if (prev != 0) {
        word(prev + 8u) = block;
    } else {
        word(head) = block;
    }
    if (cur != 0) word(cur + 4u) = block;
}

void BestFitAllocator::markAllocated(word_t block, std::uint32_t size) {
    word(block) = size | kAllocatedBit;
    word(block + size - 4u) = size | kAllocatedBit;
}

void BestFitAllocator::split(word_t block, std::uint32_t size, std::uint32_t need) {
    std::uint32_t rest = size - need;
    word_t remainder = block + need;
    word(remainder) = rest;
    word(remainder + rest - 4u) = rest;
    insert(remainder, rest);
}

void* BestFitAllocator::allocate(std::uint32_t size) {
    if (!usable()) return nullptr;
    bool overflow = false;
    std::uint32_t b = blockSizeFor(size, &overflow);
    if (overflow) return nullptr;

    if (b < kLargeBlock) {
        word_t block = word(listBase + b);
        if (block != 0) {
            unlink(block, b);
            markAllocated(block, b);
            return to_ptr(block + 4u);
        }
        // Sizes b + 4 .. b + 12 would leave a remainder under the minimum block.
        for (std::uint32_t s = b + kMinBlock; s < kLargeBlock; s += 4u) {
            block = word(listBase + s);
            if (block != 0) {
                unlink(block, s);
                split(block, s, b);
                markAllocated(block, b);
                return to_ptr(block + 4u);
            }
        }
    }

    for (word_t block = word(heapStart + 4u * kLargeListWordIndex); block != 0;
         block = word(block + 8u)) {
        std::uint32_t s = word(block);
        if (s == b) {
            unlink(block, s);
            markAllocated(block, b);
            return to_ptr(block + 4u);
        }
        if (s >= b && s - b >= kMinBlock) {
            unlink(block, s);
            split(block, s, b);
            markAllocated(block, b);
            return to_ptr(block + 4u);
        }
    }

    // Fresh space: the new top must stay below the limit, its word being the
    // end marker.
    word_t oldTop = top();
    std::uint64_t newTop = static_cast<std::uint64_t>(oldTop) + b;
    if (newTop >= heapLimit) return nullptr;
    word(static_cast<word_t>(newTop)) = 0;
    word(heapStart + 4u * kTopWordIndex) = static_cast<word_t>(newTop);
    markAllocated(oldTop, b);
    return to_ptr(oldTop + 4u);
}

void BestFitAllocator::free(void* p) {
    if (p == nullptr || !usable()) return;
    word_t addr = to_word(p);
    word_t t = top();
    if (addr < heapStart + kHeaderBytes + 4u || addr >= t || (addr & 3u) != 0) return;
    word_t block = addr - 4u;
    std::uint32_t header = word(block);
    if ((header & kAllocatedBit) == 0) return;
    std::uint32_t size = header & ~kAllocatedBit;
    if (size < kMinBlock || (size & 3u) != 0 || size > t - block ||
        word(block + size - 4u) != header) {
        return;
    }

    word_t start = block;
    std::uint32_t total = size;
    auto prevFooter = static_cast<std::int32_t>(word(block - 4u));
    if (prevFooter > 0) {
        word_t prev = block - static_cast<std::uint32_t>(prevFooter);
        unlink(prev, static_cast<std::uint32_t>(prevFooter));
        start = prev;
        total += static_cast<std::uint32_t>(prevFooter);
    }
    auto nextHeader = static_cast<std::int32_t>(word(start + total));
    if (nextHeader == 0) {
        // The block reaches the top: it becomes fresh space again.
        word(start) = 0;
        word(heapStart + 4u * kTopWordIndex) = start;
        return;
    }
    if (nextHeader > 0) {
        unlink(start + total, static_cast<std::uint32_t>(nextHeader));
        total += static_cast<std::uint32_t>(nextHeader);
    }
    word(start) = total;
    word(start + total - 4u) = total;
    insert(start, total);
}

std::uint32_t BestFitAllocator::freeBytes() const {
    if (!usable()) return 0;
    std::uint32_t sum = 0;
    for (std::uint32_t s = kMinBlock; s < kLargeBlock; s += 4u) {
        for (word_t b = word(listBase + s); b != 0; b = word(b + 8u)) sum += s;
    }
    for (word_t b = word(heapStart + 4u * kLargeListWordIndex); b != 0; b = word(b + 8u)) {
        sum += word(b);
    }
    return sum + (heapLimit - top() - 4u);
}

bool BestFitAllocator::check() const {
    if (!usable()) return true;
    word_t t = top();
    if (t < heapStart + kHeaderBytes || t >= heapLimit || word(t) != 0) return false;
    if (word(heapStart) != kTopWordIndex || word(heapStart + 68u) != 0) return false;
    std::uint32_t walkedFree = 0;
    bool prevFree = false;
    for (word_t b = heapStart + kHeaderBytes; b < t;) {
        std::uint32_t h = word(b);
        std::uint32_t s = h & ~kAllocatedBit;
        if (s < kMinBlock || (s & 3u) != 0 || s > t - b || word(b + s - 4u) != h) return false;
        bool isFree = (h & kAllocatedBit) == 0;
        if (isFree) {
            if (prevFree) return false;  // two free neighbours were not coalesced
            if (b + s == t) return false;  // a free block below the top is fresh space
            ++walkedFree;
        }
        prevFree = isFree;
        b += s;
    }
    std::uint32_t listed = 0;
    auto walkList = [&](word_t head, std::uint32_t exact) {
        word_t prev = 0;
        std::uint32_t last = 0;
        for (word_t b = word(head); b != 0; b = word(b + 8u)) {
            if (b < heapStart + kHeaderBytes || b >= t) return false;
            std::uint32_t s = word(b);
            if ((s & kAllocatedBit) != 0 || word(b + 4u) != prev) return false;
            if (exact != 0 ? s != exact : (s < kLargeBlock || s < last)) return false;
            last = s;
            prev = b;
            if (++listed > walkedFree) return false;
        }
        return true;
    };
    for (std::uint32_t s = kMinBlock; s < kLargeBlock; s += 4u) {
        if (!walkList(listBase + s, s)) return false;
    }
    if (!walkList(heapStart + 4u * kLargeListWordIndex, 0)) return false;
    return listed == walkedFree;
}

}  // namespace tarvelo

extern "C" {

void BESTFIT_ALLOCATOR_new(BESTFIT_ALLOCATOR* allocator) {
    allocator->classId = tarvelo::BestFitAllocator::kClassId;
    allocator->heapStart = allocator->heapLimit = allocator->listBase = 0;
}

void BESTFIT_ALLOCATOR_initialize(BESTFIT_ALLOCATOR* allocator, void* start, void* end) {
    allocator->initialize(start, end);
}

void* BESTFIT_ALLOCATOR_allocate(BESTFIT_ALLOCATOR* allocator, std::uint32_t size) {
    return allocator->allocate(size);
}

void BESTFIT_ALLOCATOR_free(BESTFIT_ALLOCATOR* allocator, void* block) {
    allocator->free(block);
}

}  // extern "C"
