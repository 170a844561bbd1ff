// Contended monitors and priorities: a thread queued on a monitor lends its
// priority to the owner (and on up the chain of owners that are queued in
// turn), a released monitor is handed to the first thread waiting for it,
// and a thread's effective priority falls back when it no longer holds what
// higher-priority threads wait for.
#include <cstdint>

#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/threads/monitor_manager.h"
#include "vm/core/threads/monitor_stack.h"
#include "vm/core/threads/reschedule.h"
#include "vm/core/threads/schedule_context.h"
#include "vm/core/threads/thread_table.h"
#include "vm/core/threads/vm_thread.h"

namespace tarvelo {

namespace {

int clamp_priority(int p) { return p < kMinPriority ? kMinPriority : (p > kMaxPriority ? kMaxPriority : p); }

// The owner of the monitor a queued thread waits for, or null.
VMThread* owner_of_awaited(VMThread* t) {
    const word_t object = monitor_stack::awaited(t);
    if (object == 0) return nullptr;
    const std::uint32_t owner = KernelMonitorManager::ownerOf(object);
    ThreadTable* table = thread_table();
    VMThread* o = owner != 0 && table != nullptr ? table->at(owner - 1) : nullptr;
    return o != t ? o : nullptr;
}

// Appends `w` at the end of `owner`'s monitorWaiters list.
void append_waiter(VMThread* owner, VMThread* w) {
    w->next.set(nullptr);
    w->prev.set(nullptr);
    VMThread* last = owner->monitorWaiters.get();
    if (last == nullptr) {
        owner->monitorWaiters.set(w);
        return;
    }
    while (last->next.get() != nullptr) last = last->next.get();
    last->next.set(w);
}

bool queued_ready(const VMThread* t) { return t->state == kThreadReady || t->state == kThreadRunning; }

}  // namespace

int KernelThreadScheduler::effectivePriorityOf(const VMThread* t) {
    int p = t->basePriority;
    for (const VMThread* w = t->monitorWaiters.get(); w != nullptr; w = w->next.get())
        if (w->effectivePriority > p) p = w->effectivePriority;
    return clamp_priority(p);
}

// A thread of a ready queue to the front of the queue of `priority`; the
// running thread stays the running one.
void KernelThreadScheduler::pushPriority(VMThread* from, int priority) {
    // Owner chains are bounded by the number of threads; a longer walk can
    // only be a cycle of owners, which no push can resolve.
    int steps = kMaxPriority * 8;
    for (VMThread* x = from; x != nullptr && x->effectivePriority < priority && steps-- > 0;) {
        if (queued_ready(x)) {
            const bool running = x->state == kThreadRunning;
            removeReady(x);
            enqueueReadyFront(x, priority);
            if (running) set_thread_state(x, kThreadRunning);
            return;
        }
        x->effectivePriority = static_cast<std::int8_t>(priority);
        if (x->state != kThreadMonitorQueued) return;
        x = owner_of_awaited(x);
    }
}

void KernelThreadScheduler::queueOnMonitor(VMThread* w, VMThread* owner) {
    if (queued_ready(w)) removeReady(w);
    append_waiter(owner, w);
    set_thread_state(w, kThreadMonitorQueued);
    if (current.get() == w) currentLeft = 1;
    pushPriority(owner, w->effectivePriority);
    request_reschedule();
}

void KernelThreadScheduler::recomputePriority(VMThread* t) {
    const int p = effectivePriorityOf(t);
    if (queued_ready(t)) {
        if (t->effectivePriority == p) return;
        const bool running = t->state == kThreadRunning;
        removeReady(t);
        enqueueReadyFront(t, p);
        if (running) set_thread_state(t, kThreadRunning);
        return;
    }
    if (t->effectivePriority == p) return;
    t->effectivePriority = static_cast<std::int8_t>(p);
    if (t->state == kThreadMonitorQueued) pushPriority(owner_of_awaited(t), p);
}

void KernelThreadScheduler::setBasePriority(VMThread* t, int priority) {
    const int p = clamp_priority(priority);
    if (t->basePriority == p) return;
    t->basePriority = static_cast<std::int8_t>(p);
    recomputePriority(t);
    request_reschedule();
}

void KernelThreadScheduler::grantMonitor(VMThread* owner, VMThread* next, word_t object) {
    KernelMonitorManager::setOwner(object, next->slot() + 1u);
    ++next->heldMonitorCount;
    // The others waiting for the same object now wait for the new owner.
    VMThread* kept = nullptr;
    for (VMThread* w = owner->monitorWaiters.get(); w != nullptr;) {
        VMThread* after = w->next.get();
        if (monitor_stack::awaited(w) == object) {
            if (kept != nullptr) kept->next.set(after); else owner->monitorWaiters.set(after);
            append_waiter(next, w);
        } else {
            kept = w;
        }
        w = after;
    }
    if (owner->state != kThreadWaiting) recomputePriority(owner);
    enqueueReady(next, effectivePriorityOf(next));
    request_reschedule();
}

}  // namespace tarvelo
