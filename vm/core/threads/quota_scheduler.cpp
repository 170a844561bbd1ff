// The choice of the next thread under CPU quotas: threads of a context with
// a quota of 0 are parked, threads of a used-up context are skipped until a
// new period starts, and round robin shares the slice among the eligible
// threads of one priority.
#include <cstdint>

#include "vm/core/engine/monitoring_hooks.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/threads/monitor_manager.h"
#include "vm/core/threads/monitor_stack.h"
#include "vm/core/threads/reschedule.h"
#include "vm/core/threads/schedule_context.h"
#include "vm/core/threads/thread_table.h"
#include "vm/core/threads/vm_thread.h"

namespace tarvelo {

namespace {

constexpr std::uint8_t kSliceUsedUp = 127;

// The parked list, linked through next and prev.
VMThread* parked_first = nullptr;

bool eligible(const VMThread* t) { return t->scheduleContext == 0 || context_may_run(t->scheduleContext); }

// The next thread after `t` in its queue whose context may run.
VMThread* next_eligible(const VMThread* t) {
    for (VMThread* o = t->next.get(); o != nullptr; o = o->next.get())
        if (eligible(o)) return o;
    return nullptr;
}

bool suspended_context(const VMThread* t) {
    return t->scheduleContext != 0 && context_fields(t->scheduleContext)->quota == 0;
}

}  // namespace

// --- Parked threads ----------------------------------------------------------------------------

void QuotaScheduler::park(VMThread* t) {
    t->prev.set(nullptr);
    t->next.set(parked_first);
    if (parked_first != nullptr) parked_first->prev.set(t);
    parked_first = t;
    t->parked = 1;
}

void QuotaScheduler::unpark(VMThread* t) {
    VMThread* prev = t->prev.get();
    VMThread* next = t->next.get();
    if (prev != nullptr) prev->next.set(next); else if (parked_first == t) parked_first = next;
    if (next != nullptr) next->prev.set(prev);
    t->next.set(nullptr);
    t->prev.set(nullptr);
    t->parked = 0;
}

VMThread* QuotaScheduler::firstParked() { return parked_first; }

void QuotaScheduler::clearParked() {
    for (VMThread* t = parked_first; t != nullptr;) {
        VMThread* next = t->next.get();
        t->next.set(nullptr);
        t->prev.set(nullptr);
        t->parked = 0;
        t = next;
    }
    parked_first = nullptr;
}

void QuotaScheduler::resumeSuspendedContexts() {
    KernelThreadScheduler* s = kernel_scheduler();
    if (s == nullptr) return;
    s->highestReady = kMaxPriority;
    for (VMThread* t = parked_first; t != nullptr;) {
        VMThread* next = t->next.get();
        if (!suspended_context(t)) {
            unpark(t);
            s->enqueueReady(t, t->effectivePriority);
        }
        t = next;
    }
    request_reschedule();
}

// --- Placement --------------------------------------------------------------------------------

void QuotaScheduler::checkToUpdateContext(VMThread* t) {
    const word_t wanted = t->wantedContext;
    if (wanted == 0) return;
    if (t->scheduleContext != wanted) ScheduleContextStruct::attach(t, wanted);
    const ScheduleContextFields* c = context_fields(wanted);
    if (c->quota == kUnlimitedQuota || c->remaining >= 1) return;
    for (VMThread* w = t->monitorWaiters.get(); w != nullptr; w = w->next.get()) {
        if (w->scheduleContext != 0 && context_unlimited(w->scheduleContext)) {
            ScheduleContextStruct::attach(t, w->scheduleContext);
            return;
        }
    }
}

// --- The choice ---------------------------------------------------------------------------------

VMThread* KernelThreadScheduler::pickNextThread(std::int64_t now) {
    if (!ScheduleControl::readyContextProbe()) ScheduleControl::resetQuanta();
    // A second scan follows a new period when only used-up threads were
    // found; after it every limited context has quanta again.
    for (int scan = 0; scan < 2; ++scan) {
        bool skipped = false;
        for (int p = kMaxPriority; p >= kMinPriority; --p) {
            VMThread* candidate = nullptr;
            for (VMThread* t = readyHeads[p].get(); t != nullptr;) {
                VMThread* next = t->next.get();
                if (suspended_context(t)) {
                    removeReady(t);
                    QuotaScheduler::park(t);
                } else if (eligible(t)) {
                    candidate = t;
                    break;
                } else {
                    skipped = true;
                }
                t = next;
            }
            if (candidate == nullptr) continue;
            highestReady = static_cast<std::int8_t>(p);
            VMThread* chosen = slice == 0 ? candidate : roundRobin(candidate, p, now);
            moveToFront(chosen, chosen->effectivePriority);
            VMThread* previous = current.get();
            if (previous != nullptr && previous != chosen && previous->state == kThreadRunning)
                set_thread_state(previous, kThreadReady);
            if (chosen != previous || chosen->state != kThreadRunning) set_thread_state(chosen, kThreadRunning);
            current.set(chosen);
            currentLeft = 0;
            return chosen;
        }
        if (!skipped) return nullptr;
        ScheduleControl::resetQuanta();
    }
    return nullptr;
}

void KernelThreadScheduler::moveToFront(VMThread* t, int priority) {
    if (readyHeads[priority].get() == t) return;
    removeReady(t);
    t->prev.set(nullptr);
    t->next = readyHeads[priority];
    if (VMThread* head = readyHeads[priority].get()) head->prev.set(t); else readyTails[priority].set(t);
    readyHeads[priority].set(t);
}

VMThread* KernelThreadScheduler::roundRobin(VMThread* candidate, int priority, std::int64_t now) {
    VMThread* chosen = candidate;
    VMThread* running = current.get();
    if (running == nullptr || currentLeft != 0 || running->state != kThreadRunning) {
        VMThread* other = next_eligible(candidate);
        if (other != nullptr && sliceUsed[priority] >= static_cast<std::uint8_t>(slice)) {
            rotateToTail(candidate);
            sliceUsed[priority] = 0;
            chosen = other;
        }
    } else {
        const int q = running->effectivePriority;
        const std::int64_t used = sliceUsed[q] + (now - lastSwitchTime);
        if (used >= slice) {
            VMThread* other = next_eligible(running);
            if (other != nullptr) {
                rotateToTail(running);
                sliceUsed[q] = 0;
                chosen = candidate == running ? other : candidate;
            } else {
                sliceUsed[q] = kSliceUsedUp;
            }
        } else {
            sliceUsed[q] = static_cast<std::uint8_t>(used < 0 ? 0 : used);
        }
    }
    lastSwitchTime = now;
    return chosen;
}

}  // namespace tarvelo
