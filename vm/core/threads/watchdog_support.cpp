#include "vm/core/threads/watchdog_support.h"

#include <limits>

#include "vm/core/lifecycle/link_config.h"
#include "vm/core/port/os_port.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/threads/thread_table.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/gc_roots.h"
#include "vm/memory/heap_set.h"
#include "vm/memory/support_allocator.h"

namespace tarvelo {

namespace {

WatchdogSupport* the_support = nullptr;

// A counted array of `n` zeroed words from the runtime region.
word_t new_counted_words(std::int32_t n) {
    const std::int32_t bytes = 4 * (n + 1);
    auto* words = static_cast<std::uint32_t*>(_rowfen_support_malloc(bytes));
    for (std::int32_t i = 0; i <= n; ++i) words[i] = 0;
    words[0] = static_cast<std::uint32_t>(n);
    return to_word(words);
}

void visit_roots(void* ctx, const SlotVisitor& visitor) { static_cast<WatchdogSupport*>(ctx)->visitContexts(visitor); }

// a + b, or INT64_MAX when the sum overflows (a deadline beyond the clock's
// range never comes; all ones would mean "not armed").
std::int64_t saturating_add(std::int64_t a, std::int64_t b) {
    if (b > 0 && a > std::numeric_limits<std::int64_t>::max() - b) return std::numeric_limits<std::int64_t>::max();
    if (b < 0 && a < std::numeric_limits<std::int64_t>::min() - b) return std::numeric_limits<std::int64_t>::min();
    return a + b;
}

}  // namespace

WatchdogSupport* watchdog_support() { return the_support != nullptr && the_support->entries != 0 ? the_support : nullptr; }

bool watchdogs_enabled() { return link_config::watchdog_enabled() == 1; }

// --- Entries -------------------------------------------------------------------------------------

void WatchdogEntry::reset() {
    deadline = -1;
    claimKey = -1;
    context = 0;
    armed = 0;
    prev.set(nullptr);
    next.set(nullptr);
}

void TimerList::add(WatchdogEntry* e) {
    WatchdogEntry* before = nullptr;
    WatchdogEntry* at = first.get();
    while (at != nullptr && at->deadline < e->deadline) {
        before = at;
        at = at->next.get();
    }
    e->prev.set(before);
    e->next.set(at);
    if (before != nullptr) before->next.set(e); else first.set(e);
    if (at != nullptr) at->prev.set(e);
    ++count;
}

void TimerList::remove(WatchdogEntry* e) {
    WatchdogEntry* before = e->prev.get();
    WatchdogEntry* after = e->next.get();
    if (before != nullptr) before->next.set(after); else if (first.get() == e) first.set(after);
    if (after != nullptr) after->prev.set(before);
    e->prev.set(nullptr);
    e->next.set(nullptr);
    --count;
}

// --- Expired contexts ------------------------------------------------------------------------------

std::int32_t WatchdogEventQueue::capacity() const {
    return contexts != 0 ? static_cast<std::int32_t>(counted_length(contexts)) : 0;
}

bool WatchdogEventQueue::offer(word_t context) {
    if (context == 0) return true;
    word_t* slots = counted_words(contexts);
    for (std::int32_t i = 0; i < count; ++i)
        if (slots[i] == context) return true;
    if (count >= capacity()) return false;
    slots[count++] = context;
    return true;
}

word_t WatchdogEventQueue::take() {
    if (count <= 0) return 0;
    word_t* slots = counted_words(contexts);
    const word_t context = slots[--count];
    slots[count] = 0;
    return context;
}

// --- The component ---------------------------------------------------------------------------------

WatchdogSupport* WatchdogSupport::create() {
    auto* s = support_new<WatchdogSupport>();
    s->classId = kWatchdogSupport;
    s->handlerThreadId = -1;
    the_support = s;
    if (HeapSet* heap = heapSet()) heap->roots.add({RootPhase::kWatchdogContexts, visit_roots, s});
    return s;
}

bool WatchdogSupport::initialize(VMComponent* self) {
    auto* s = static_cast<WatchdogSupport*>(self);
    s->handlerThreadId = -1;
    if (!watchdogs_enabled()) return true;
    const std::int32_t n = link_config::watchdog_count();
    const std::int32_t depth = link_config::watchdog_context_stack_size();
    // A configuration without room for a watchdog or a context leaves them
    // off rather than building tables nothing can use.
    if (n <= 0 || depth <= 0) return true;
    s->timers = TimerList{};
    s->queue.count = 0;
    s->queue.contexts = new_counted_words(depth);
    const word_t table = new_counted_words(n);
    s->freeList.set(nullptr);
    for (std::int32_t i = 0; i < n; ++i) {
        auto* e = support_new<WatchdogEntry>();
        e->index = static_cast<std::uint32_t>(i);
        e->reset();
        counted_words(table)[i] = to_word(e);
        e->next = s->freeList;
        s->freeList.set(e);
    }
    s->entries = table;
    return true;
}

void WatchdogSupport::stop(VMComponent* self) {
    auto* s = static_cast<WatchdogSupport*>(self);
    s->handlerThreadId = -1;
    if (s->entries == 0) return;
    while (WatchdogEntry* e = s->timers.first.get()) {
        s->timers.remove(e);
        s->freeEntry(e);
    }
    while (s->queue.take() != 0) {
    }
}

std::int32_t WatchdogSupport::entryCount() const {
    return entries != 0 ? static_cast<std::int32_t>(counted_length(entries)) : 0;
}

WatchdogEntry* WatchdogSupport::entry(std::int32_t index) const {
    if (index < 0 || index >= entryCount()) return nullptr;
    return to_ptr<WatchdogEntry>(counted_words(entries)[index]);
}

void WatchdogSupport::freeEntry(WatchdogEntry* e) {
    e->reset();
    e->next = freeList;
    freeList.set(e);
}

std::int32_t WatchdogSupport::claimWatchdog(std::int32_t key) {
    WatchdogEntry* e = freeList.get();
    if (e == nullptr) return -1;
    freeList = e->next;
    e->claimKey = key;
    e->prev.set(nullptr);
    e->next.set(nullptr);
    e->armed = 1;
    return static_cast<std::int32_t>(e->index);
}

bool WatchdogSupport::armWatchdog(std::int32_t index, std::int32_t key, std::int64_t delayMs, word_t context) {
    WatchdogEntry* e = entry(index);
    if (e == nullptr || e->armed == 0 || e->claimKey != key || e->deadline != -1) return false;
    std::int64_t deadline = saturating_add(LLOSTV_IMPL_getCurrentTime__Z(1), delayMs);
    // All ones means "not armed": a deadline that lands there is one earlier.
    if (deadline == -1) deadline = -2;
    e->deadline = deadline;
    e->context = context;
    timers.add(e);
    LLOSTV_IMPL_scheduleRequest__J(deadline);
    return true;
}

void WatchdogSupport::cancelWatchdog(std::int32_t index, std::int32_t key) {
    WatchdogEntry* e = entry(index);
    if (e == nullptr || e->claimKey != key || e->armed == 0 || e->deadline == -1) return;
    timers.remove(e);
    freeEntry(e);
}

std::int64_t WatchdogSupport::firstDeadline() const {
    const WatchdogEntry* e = timers.first.get();
    return e != nullptr ? e->deadline : -1;
}

void WatchdogSupport::expire(std::int64_t now) {
    // Each refused entry goes back at least 100 ms later, so the loop ends.
    while (WatchdogEntry* e = timers.first.get()) {
        if (e->deadline > now) break;
        timers.remove(e);
        if (!queue.offer(e->context)) {
            e->deadline = saturating_add(e->deadline, kRetryDelayMs);
            if (e->deadline <= now) e->deadline = saturating_add(now, kRetryDelayMs);
            timers.add(e);
            continue;
        }
        freeEntry(e);
        if (handlerThreadId != -1) {
            ThreadTable* table = thread_table();
            VMThread* handler = table != nullptr ? table->findThread(static_cast<std::uint32_t>(handlerThreadId)) : nullptr;
            if (handler != nullptr) kernel_scheduler()->resumeJavaThread(handler, 0);
        }
    }
}

void WatchdogSupport::visitContexts(const SlotVisitor& visitor) {
    if (entries == 0) return;
    for (WatchdogEntry* e = timers.first.get(); e != nullptr; e = e->next.get())
        if (e->context != 0) visitor(&e->context);
    word_t* slots = counted_words(queue.contexts);
    for (std::int32_t i = 0; i < queue.count; ++i)
        if (slots[i] != 0) visitor(&slots[i]);
}

}  // namespace tarvelo
