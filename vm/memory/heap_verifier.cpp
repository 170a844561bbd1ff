#include "vm/memory/heap_verifier.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "vm/memory/feature_record.h"
#include "vm/model/image_format.h"
#include "vm/memory/free_block.h"
#include "vm/memory/heap_set.h"
#include "vm/memory/memory_environment.h"
#include "vm/memory/object_model.h"

namespace tarvelo {

namespace fb = free_block;

namespace {

class Verifier {
  public:
    explicit Verifier(const HeapSet& hs) : hs_(hs), heap_(hs.mainHeap), imm_(hs.immortalHeap) {}

    HeapVerifyResult run() {
        heapHeaders_.assign((heap_.end - heap_.start) / 4u + 1u, false);
        immHeaders_.assign((imm_.end - imm_.start) / 4u + 1u, false);
        if (!walkMain() || !walkImmortal() || !checkFreeList() || !checkSlots()) {
            return {false, fault_};
        }
        return {true, {}};
    }

  private:
    bool fail(const char* what, word_t at) {
        char buf[200];
        std::snprintf(buf, sizeof buf, "%s at 0x%08x", what, static_cast<unsigned>(at));
        fault_ = buf;
        return false;
    }

    bool validOwner(std::uint32_t owner) {
        if (owner == 0) return true;
        word_t record = memory::owner_feature(owner);
        if (record == 0) return false;  // never 1
        const MemoryEnvironment& env = memoryEnvironment();
        for (int i = 0; i < kMaxDynamicFeatures; ++i) {
            if (env.featureRecord(i) == record) return true;
        }
        return false;
    }

    bool validType(word_t obj) {
        std::uint32_t owner = ownerWord(obj);
        const MemoryLayout& layout = memoryLayout();
        word_t base = memory::owner_has_feature_type(owner)
                          ? featureTypesBase(memory::owner_feature(owner))
                          : layout.typesBase;
        word_t type = base + memory::header_type_offset(headerWord(obj));
        if (!memory::owner_has_feature_type(owner) && layout.concreteTypesEnd != 0 &&
            type >= layout.concreteTypesEnd) {
            return false;
        }
        if (layout.classType != 0 && typeOf(type) != layout.classType) return false;
        return true;
    }

    // The object's own checks; `blockStart` is where its block must begin.
    bool checkObject(word_t h, word_t blockStart, bool immortal, word_t* blockEnd) {
        std::uint32_t w = headerWord(h);
        if (!validOwner(ownerWord(h))) return fail("owner word names no feature record", h);
        if (!validType(h)) return fail("type offset names no type header", h);
        if (immortal && (w & memory::kImmortalTopBits) != memory::kImmortalTopBits) {
            return fail("immortal object without its mark", h);
        }
        BlockShape shape = shapeOf(h);
        if (shape.isArray && arrayLength(h) < 0) return fail("negative array length", h);
        if (h - shape.refBytes != blockStart) {
            return fail("reference words recorded before the block do not match its type", h);
        }
        *blockEnd = h - shape.refBytes + shape.size;
        return true;
    }

    bool walkMain() {
        if (wordAt(heap_.start) > 31u) return fail("bad reference words before the first block", heap_.start);
        word_t prevEnd = heap_.start + 4u;
        std::uint32_t refWords = wordAt(heap_.start);
        bool prevFree = false;
        freeBehindCursor_ = 0;
        for (word_t h = prevEnd + 4u * refWords; h < heap_.end;) {
            std::uint32_t w = wordAt(h);
            word_t blockEnd = 0;
            if (memory::header_is_object(w)) {
                if (!checkObject(h, prevEnd, false, &blockEnd)) return false;
                if (memory::header_is_marked(w) && h < heap_.sweepCursor) {
                    return fail("marked object behind the sweep cursor", h);
                }
                heapHeaders_[(h - heap_.start) / 4u] = true;
                prevFree = false;
            } else {
                if (refWords != 0) return fail("reference words recorded before a free block", h);
                std::uint32_t size = fb::size(h);
                if ((w & fb::kSizeFollows) != 0 && (size < 8u || (size & 3u) != 0)) {
                    return fail("bad free block size", h);
                }
                blockEnd = h + size;
                if (blockEnd > heap_.end) return fail("free block beyond the heap end", h);
                for (word_t z = h + 8u; z < blockEnd; z += 4u) {
                    if (wordAt(z) != 0) return fail("free block not zeroed", z);
                }
                if (h < heap_.sweepCursor) ++freeBehindCursor_;
                (void)prevFree;
                prevFree = true;
            }
            refWords = memory::header_next_ref_words(w);
            prevEnd = blockEnd;
            h = blockEnd + 4u * refWords;
        }
        if (prevEnd != heap_.end || refWords != 0) return fail("walk does not end at the heap end", prevEnd);
        return true;
    }

    bool walkImmortal() {
        if (imm_.firstHeader == 0) {
            if (imm_.top != imm_.start) return fail("immortal top moved without objects", imm_.top);
            return true;
        }
        word_t prevEnd = imm_.start;
        for (word_t h = imm_.firstHeader; h < imm_.top;) {
            word_t blockEnd = 0;
            if (!checkObject(h, prevEnd, true, &blockEnd)) return false;
            immHeaders_[(h - imm_.start) / 4u] = true;
            prevEnd = blockEnd;
            std::uint32_t refWords = memory::header_next_ref_words(headerWord(h));
            if (h == imm_.lastHeader && refWords != 0) return fail("last immortal records a next block", h);
            h = blockEnd + 4u * refWords;
        }
        if (prevEnd != imm_.top) return fail("immortal walk does not end at the top", prevEnd);
        return true;
    }

    bool checkFreeList() {
        std::uint32_t count = 0;
        std::uint32_t bytes = 0;
        word_t last = 0;
        for (word_t b = heap_.freeHead; b != 0; b = fb::next(b)) {
            if (b < heap_.start || b >= heap_.end || b <= last) return fail("free list out of order", b);
            if (!fb::isFree(b)) return fail("free list names an object", b);
            if (b >= heap_.sweepCursor) return fail("free list names a block ahead of the sweep", b);
            bytes += fb::size(b);
            last = b;
            if (++count > heap_.freeCount) return fail("free list longer than its count", b);
        }
        if (count != heap_.freeCount) return fail("free-block count", count);
        if (bytes != heap_.freeBytes) return fail("free bytes", bytes);
        if (last != heap_.freeTail) return fail("free-list tail", heap_.freeTail);
        if (count != freeBehindCursor_) return fail("free block behind the sweep cursor not listed", count);
        return true;
    }

    bool validReference(word_t v) {
        if (v == 0) return true;
        if (v >= heap_.start && v < heap_.end) {
            return heapHeaders_[(v - heap_.start) / 4u];
        }
        if (v >= imm_.start && v < imm_.end) {
            return v < imm_.top && immHeaders_[(v - imm_.start) / 4u];
        }
        if (inInstalledImage(v)) return true;
        const MemoryLayout& layout = memoryLayout();
        if (layout.imageEnd > layout.imageStart) return v >= layout.imageStart && v < layout.imageEnd;
        return true;
    }

    // An installed application's objects may name the objects of its own
    // image: its type headers, immutables, interned strings and their
    // shared char array.
    static bool inInstalledImage(word_t v) {
        const MemoryEnvironment& env = memoryEnvironment();
        for (int i = 0; i < kMaxDynamicFeatures; ++i) {
            const word_t record = env.featureRecord(i);
            if (record == 0) continue;
            const auto* d = to_ptr<const std::uint32_t>(featureRecordWord(record, feature_record::kDescriptor));
            auto in = [v, d](int start, int end) { return v >= d[start] && v < d[end]; };
            if (in(image::kFeatureTypesStart, image::kFeatureTypesEnd) ||
                in(image::kFeatureImmutablesStart, image::kFeatureImmutablesEnd) ||
                in(image::kFeatureInternStringsStart, image::kFeatureInternStringsEnd) || v == d[image::kFeatureSharedArray])
                return true;
        }
        return false;
    }

    bool checkSlotsOf(word_t h) {
        struct Ctx {
            Verifier* self;
            word_t bad;
        } ctx{this, 0};
        SlotVisitor v{[](void* c, word_t* slot) {
                          auto* x = static_cast<Ctx*>(c);
                          if (x->bad == 0 && !x->self->validReference(*slot)) x->bad = to_word(slot);
                      },
                      &ctx};
        const_cast<HeapSet&>(hs_).collector.visitObjectSlots(h, v, false);
        if (ctx.bad != 0) return fail("reference slot names no object", ctx.bad);
        return true;
    }

    bool checkSlots() {
        for (word_t h = heap_.firstHeader(); h < heap_.end; h = CompactingHeap::nextHeader(h)) {
            std::uint32_t w = wordAt(h);
            if (!memory::header_is_object(w)) continue;
            // Unmarked objects ahead of the sweep are dead: their slots may
            // name blocks already reused.
            if (h >= heap_.sweepCursor && !memory::header_is_marked(w)) continue;
            if (!checkSlotsOf(h)) return false;
        }
        if (imm_.firstHeader != 0) {
            for (word_t h = imm_.firstHeader; h < imm_.top;) {
                if (!checkSlotsOf(h)) return false;
                BlockShape s = shapeOf(h);
                h = h - s.refBytes + s.size + 4u * memory::header_next_ref_words(headerWord(h));
            }
        }
        return true;
    }

    const HeapSet& hs_;
    const CompactingHeap& heap_;
    const ImmortalHeap& imm_;
    std::vector<bool> heapHeaders_;
    std::vector<bool> immHeaders_;
    std::uint32_t freeBehindCursor_ = 0;
    std::string fault_;
};

}  // namespace

HeapVerifyResult verifyHeap(const HeapSet& hs) { return Verifier(hs).run(); }

void verifyHeapOrDie(const HeapSet& hs, const char* when) {
    HeapVerifyResult r = verifyHeap(hs);
    if (r.ok) return;
    std::fprintf(stderr, "heap verification failed %s: %s\n", when, r.fault.c_str());
    std::abort();
}

}  // namespace tarvelo
