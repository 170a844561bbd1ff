// Weak semantics for `java.lang.ref.WeakReference` (and subclasses), soft
// references and installed-application proxies: during marking their
// referent slot is not followed and the object is discovered; after marking
// each discovered reference whose referent died is cleared and enqueued.
//
// Reference object fields below the header: -4 referent, -8 discovered
// link, -12 queue, -16 queue link, -20 (auto-closing references) the guarded
// native-resource entry; the byte at +8 is set once enqueued; soft
// references keep their last-use time (i64 ms) at +12.
// A `ReferenceQueue` keeps its head just below its header and its waiting
// thread at header - 12.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/model/vm_component.h"
#include "vm/memory/memory_release_handler.h"

namespace tarvelo {

class HeapSet;

namespace reference_field {
inline constexpr std::uint32_t kReferent = 4;    // below the header
inline constexpr std::uint32_t kDiscovered = 8;
inline constexpr std::uint32_t kQueue = 12;
inline constexpr std::uint32_t kQueueLink = 16;
inline constexpr std::uint32_t kGuardedEntry = 20;
inline constexpr std::uint32_t kEnqueuedFlag = 8;  // byte above the header
inline constexpr std::uint32_t kLastUse = 12;      // i64 above the header
inline constexpr std::uint32_t kQueueHead = 4;     // ReferenceQueue, below the header
inline constexpr std::uint32_t kQueueWaiter = 12;
}  // namespace reference_field

// Keeps soft references whose referent was used recently, measured against
// the free memory after the last collection.
struct SoftReferencePolicy {
    VMComponent component;
    MemoryReleaseHandler handler;
    HeapSet* heapSet;
    std::int64_t threshold;
    std::uint8_t clearAll;
    std::uint8_t keptOne;

    // Registers the policy as a memory-release handler.
    bool initialize();
    // true when the soft reference `ref` is to be kept (its referent marked
    // strongly).
    bool keep(word_t ref);
};

struct ReferenceTracker {
    VMComponent component;
    HeapSet* heapSet;
    word_t head;  // last discovered
    word_t tail;  // first discovered, whose link is 0

    void reset() { head = tail = 0; }
    void discover(word_t ref);
    void processDiscovered();
    // true when `ref` was put on its queue (at most once).
    bool enqueue(word_t ref);
};

}  // namespace tarvelo
