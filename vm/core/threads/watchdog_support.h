// Software watchdogs: code claims a watchdog, arms it with a delay and a
// context object, and cancels it when it finishes in time; when the delay
// passes first, the scheduling pass hands the context to the expired-context
// queue and resumes the watchdog handler thread (Java), which decides what
// to do. The component keeps a fixed table of entries, a free list, a timer
// list sorted by deadline and the queue; all of it runs on the application
// task. With watchdogs off (link-time configuration) none of it is built.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/core/engine/word_ptr.h"
#include "vm/model/vm_component.h"

namespace tarvelo {

struct SlotVisitor;

struct WatchdogEntry {
    std::int64_t deadline;   // absolute system time (ms); -1 when not armed
    std::uint32_t index;     // in the table
    std::int32_t claimKey;   // -1 when free
    word_t context;          // object given when armed (a collector root)
    WordPtr<WatchdogEntry> prev, next;  // timer list; next also links the free list
    std::uint8_t armed;      // 1 from the claim until the entry is freed

    // Back to free: not armed, no key, no context.
    void reset();
};

// Armed entries sorted by deadline; an entry goes before the first one whose
// deadline is equal or later, so a new entry precedes older ones with the
// same deadline.
struct TimerList {
    std::int32_t count;
    WordPtr<WatchdogEntry> first;

    void add(WatchdogEntry* e);
    void remove(WatchdogEntry* e);
};

// Expired contexts waiting for the handler thread: a stack of references.
struct WatchdogEventQueue {
    std::int32_t count;
    word_t contexts;  // counted array of references

    std::int32_t capacity() const;
    // true when accepted: a null context counts as accepted, a context
    // already queued is not added twice; a full queue refuses.
    bool offer(word_t context);
    // The most recently queued context, removed; 0 when empty.
    word_t take();
};

struct WatchdogSupport : VMComponent {
    word_t entries;  // counted array of entry addresses
    WordPtr<WatchdogEntry> freeList;
    TimerList timers;
    WatchdogEventQueue queue;
    std::int32_t handlerThreadId;  // -1 none

    // How much later a refused expiry is tried again.
    static constexpr std::int64_t kRetryDelayMs = 100;

    // Always creates the component; its tables only when watchdogs are on.
    static WatchdogSupport* create();
    static bool initialize(VMComponent* self);
    static void stop(VMComponent* self);

    std::int32_t entryCount() const;
    WatchdogEntry* entry(std::int32_t index) const;

    // A free entry with `key`: its index, or -1 when none is free.
    std::int32_t claimWatchdog(std::int32_t key);
    // Arms a claimed entry (not one already running) to expire `delayMs`
    // from now with `context`; false when the key differs or it runs.
    bool armWatchdog(std::int32_t index, std::int32_t key, std::int64_t delayMs, word_t context);
    // Disarms and frees an armed entry whose key matches; anything else is
    // ignored.
    void cancelWatchdog(std::int32_t index, std::int32_t key);
    // The first deadline of the timer list; -1 when it is empty.
    std::int64_t firstDeadline() const;
    // Expires every entry whose deadline is not after `now`.
    void expire(std::int64_t now);
    // The collector's view: the contexts of the armed entries and the queue.
    void visitContexts(const SlotVisitor& visitor);

  private:
    void freeEntry(WatchdogEntry* e);
};

// The component when watchdogs are on and it is built; else null.
WatchdogSupport* watchdog_support();
bool watchdogs_enabled();

}  // namespace tarvelo
