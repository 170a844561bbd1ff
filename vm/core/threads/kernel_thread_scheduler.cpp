#include "vm/core/threads/kernel_thread_scheduler.h"

#include <cstdint>
#include <limits>

#include "vm/core/engine/engine.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/feature_context.h"
#include "vm/core/lifecycle/link_config.h"
#include "vm/core/threads/monitor_manager.h"
#include "vm/core/threads/monitor_stack.h"
#include "vm/core/threads/schedule_context.h"
#include "vm/core/engine/monitoring_hooks.h"
#include "vm/core/engine/native_interface.h"
#include "vm/core/port/os_port.h"
#include "vm/core/lifecycle/ostrevan.h"
#include "vm/core/lifecycle/vm_runtime.h"
#include "vm/core/threads/reschedule.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/threads/thread_table.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/support_allocator.h"
#include "vm/core/threads/watchdog_support.h"

namespace tarvelo {

namespace {

KernelThreadScheduler* the_scheduler = nullptr;

constexpr std::uint8_t kSliceUsedUp = 127;

std::int64_t now_ms() { return LLOSTV_IMPL_getCurrentTime__Z(1); }

// a + b, or INT64_MAX when the sum overflows.
std::int64_t saturating_add(std::int64_t a, std::int64_t b) {
    if (b > 0 && a > std::numeric_limits<std::int64_t>::max() - b) return std::numeric_limits<std::int64_t>::max();
    return a + b;
}

int clamp_priority(int p) { return p < kMinPriority ? kMinPriority : (p > kMaxPriority ? kMaxPriority : p); }

bool in_ready_queue(const VMThread* t) { return t->state == kThreadReady || t->state == kThreadRunning; }

}  // namespace

KernelThreadScheduler* kernel_scheduler() { return the_scheduler; }

VMThread* current_thread() { return the_scheduler != nullptr ? the_scheduler->current.get() : nullptr; }

std::int8_t round_robin_slice(std::int32_t period) {
    std::uint32_t slice = static_cast<std::uint32_t>(period) - 1u;
    return static_cast<std::int8_t>(slice <= 127u ? slice : 127u);
}

KernelThreadScheduler* KernelThreadScheduler::create() {
    auto* s = support_new<KernelThreadScheduler>();
    s->classId = kKernelThreadScheduler;
    the_scheduler = s;
    return s;
}

bool KernelThreadScheduler::initialize(VMComponent* self) {
    auto* s = static_cast<KernelThreadScheduler*>(self);
    s->slice = round_robin_slice(link_config::round_robin_period());
    if (LLOSTV_IMPL_initialize() != 0) {
        ostrevan()->setError(kVMErrorPortInitialize);
        return false;
    }
    return true;
}

void KernelThreadScheduler::clearLists() {
    current.set(nullptr);
    currentLeft = 0;
    for (int p = 0; p < kPriorityLevels; ++p) {
        readyHeads[p].set(nullptr);
        readyTails[p].set(nullptr);
        sliceUsed[p] = 0;
    }
    waitingFirst.set(nullptr);
    waitingLast.set(nullptr);
    heldFirst.set(nullptr);
    highestReady = 0;
}

void KernelThreadScheduler::stop(VMComponent* self) {
    auto* s = static_cast<KernelThreadScheduler*>(self);
    s->clearLists();
    s->idle = 0;
    OSTV_MONITOR_on_shutdown();
    QuotaScheduler::clearParked();
    if (LLOSTV_IMPL_shutdown() != 0) ostrevan()->setError(kVMErrorPortShutdown);
}

void KernelThreadScheduler::recordVMTask() { vmTaskId.store(static_cast<std::uint32_t>(LLOSTV_IMPL_getCurrentTaskID())); }

bool KernelThreadScheduler::onVMTask() const {
    const std::uint32_t vm_task = vmTaskId.load();
    return vm_task != 0 && static_cast<std::uint32_t>(LLOSTV_IMPL_getCurrentTaskID()) == vm_task;
}

// --- Ready queues ------------------------------------------------------------------------------

void KernelThreadScheduler::enqueueReady(VMThread* t, int priority) {
    const int p = clamp_priority(priority);
    VMThread* tail = readyTails[p].get();
    const bool hadOne = tail != nullptr && readyHeads[p].get() == tail;
    t->next.set(nullptr);
    t->prev.set(tail);
    if (tail != nullptr) tail->next.set(t); else readyHeads[p].set(t);
    readyTails[p].set(t);
    t->effectivePriority = static_cast<std::int8_t>(p);
    set_thread_state(t, kThreadReady);
    if (hadOne && slice != 0 && p == highestReady) LLOSTV_IMPL_scheduleRequest__J(saturating_add(now_ms(), slice));
    if (p > highestReady) {
        highestReady = static_cast<std::int8_t>(p);
        request_reschedule();
    }
}

void KernelThreadScheduler::enqueueReadyFront(VMThread* t, int priority) {
    const int p = clamp_priority(priority);
    VMThread* head = readyHeads[p].get();
    t->prev.set(nullptr);
    t->next.set(head);
    if (head != nullptr) head->prev.set(t); else readyTails[p].set(t);
    readyHeads[p].set(t);
    t->effectivePriority = static_cast<std::int8_t>(p);
    set_thread_state(t, kThreadReady);
    if (p > highestReady) {
        highestReady = static_cast<std::int8_t>(p);
        request_reschedule();
    }
}

void KernelThreadScheduler::removeReady(VMThread* t) {
    if (t->parked != 0) {
        QuotaScheduler::unpark(t);
        return;
    }
    const int p = clamp_priority(t->effectivePriority);
    VMThread* prev = t->prev.get();
    VMThread* next = t->next.get();
    if (prev != nullptr) prev->next.set(next);
    else if (readyHeads[p].get() == t) {
        readyHeads[p].set(next);
        if (slice != 0) sliceUsed[p] = 0;
    }
    if (next != nullptr) next->prev.set(prev);
    else if (readyTails[p].get() == t) readyTails[p].set(prev);
    t->next.set(nullptr);
    t->prev.set(nullptr);
}

void KernelThreadScheduler::hold(VMThread* t) {
    t->prev.set(nullptr);
    t->next = heldFirst;
    heldFirst.set(t);
    set_thread_state(t, kThreadSuspended);
}

void KernelThreadScheduler::releaseHeldThreads(VMThread* main) {
    const word_t root = ScheduleControl::rootContext();
    const word_t mainContext = main != nullptr && main->wantedContext != 0 ? main->wantedContext : root;
    VMThread* t = heldFirst.get();
    heldFirst.set(nullptr);
    while (t != nullptr) {
        VMThread* next = t->next.get();
        if (t->wantedContext == root && mainContext != root) {
            t->wantedContext = mainContext;
            ScheduleControl::attach(t, mainContext);
        }
        enqueueReady(t, t->effectivePriority);
        t = next;
    }
}

// --- Waiting ---------------------------------------------------------------------------------

void KernelThreadScheduler::unlinkWaiting(VMThread* t) {
    VMThread* prev = t->prev.get();
    VMThread* next = t->next.get();
    if (prev != nullptr) prev->next.set(next); else waitingFirst.set(next);
    if (next != nullptr) next->prev.set(prev); else waitingLast.set(prev);
    t->next.set(nullptr);
    t->prev.set(nullptr);
}

std::int32_t KernelThreadScheduler::sleepCurrent(VMThread* t, std::int64_t delayMs, bool interruptible) {
    if (interruptible) {
        const bool interrupted = t->interruptStatus == 1;
        t->interruptStatus = 0;
        if (interrupted) return 1;
    }
    if (delayMs == 0) {
        t->wakeupTime.store(0);
    } else {
        // A deadline beyond the clock's range is as good as none. It
        // saturates: all ones would mean "at once", so a sleep for ever
        // would end straight away.
        const std::int64_t when = saturating_add(now_ms(), delayMs);
        t->wakeupTime.store(when);
        LLOSTV_IMPL_scheduleRequest__J(when);
    }
    if (in_ready_queue(t)) removeReady(t);
    t->next.set(nullptr);
    t->prev = waitingLast;
    if (VMThread* last = waitingLast.get()) last->next.set(t); else waitingFirst.set(t);
    waitingLast.set(t);
    t->interruptibleWait = interruptible ? 1 : 0;
    set_thread_state(t, kThreadWaiting);
    if (t == current.get()) currentLeft = 1;
    request_reschedule();
    return 0;
}

void KernelThreadScheduler::wakeThread(VMThread* t) {
    unlinkWaiting(t);
    t->wakeupTime.store(0);
    t->interruptibleWait = 0;
    if (const word_t object = t->waitObject; object != 0) {
        // Back from Object.wait: the thread takes the monitor again with its
        // old count (the entry above its held count), or queues behind
        // whoever holds it now.
        t->waitObject = 0;
        const std::uint32_t owner = KernelMonitorManager::ownerOf(object);
        VMThread* o = owner != 0 && owner != t->slot() + 1u ? thread_table()->at(owner - 1) : nullptr;
        if (o != nullptr) {
            queueOnMonitor(t, o);
        } else {
            KernelMonitorManager::setOwner(object, t->slot() + 1u);
            ++t->heldMonitorCount;
            enqueueReady(t, effectivePriorityOf(t));
        }
    } else {
        enqueueReady(t, effectivePriorityOf(t));
    }
    t->resumeState.store(kResumeNone);
}

bool KernelThreadScheduler::clearInterrupted(VMThread* t) {
    const bool interrupted = t->interruptStatus == 1;
    if (interrupted) t->interruptStatus = 0;
    return interrupted;
}

void KernelThreadScheduler::wait(VMThread* t, word_t object, std::int64_t timeoutMs) {
    t->waitObject = object;
    // The pending interrupt was consumed by the monitor checks: the wait
    // itself is interruptible.
    sleepCurrent(t, timeoutMs, false);
    t->interruptibleWait = 1;
    // The first thread queued for this monitor gets it; else it stays free.
    VMThread* prev = nullptr;
    VMThread* next = t->monitorWaiters.get();
    while (next != nullptr && monitor_stack::awaited(next) != object) {
        prev = next;
        next = next->next.get();
    }
    if (next != nullptr) {
        if (prev != nullptr) prev->next = next->next; else t->monitorWaiters = next->next;
        next->next.set(nullptr);
        grantMonitor(t, next, object);
    }
    QuotaScheduler::checkToUpdateContext(t);
    request_reschedule();
}

void KernelThreadScheduler::notifyWaiters(word_t object, bool all) {
    VMThread* notifier = current.get();
    for (VMThread* t = waitingFirst.get(); t != nullptr;) {
        VMThread* next = t->next.get();
        if (t->waitObject == object) {
            unlinkWaiting(t);
            t->waitObject = 0;
            t->wakeupTime.store(0);
            t->interruptibleWait = 0;
            if (notifier != nullptr) {
                queueOnMonitor(t, notifier);
            } else {
                // Not from a thread (no owner to queue on): it takes the
                // monitor when it is free.
                KernelMonitorManager::setOwner(object, t->slot() + 1u);
                ++t->heldMonitorCount;
                enqueueReady(t, effectivePriorityOf(t));
            }
            if (!all) break;
        }
        t = next;
    }
}

void KernelThreadScheduler::interrupt(VMThread* t) {
    if (t->state == kThreadWaiting && t->interruptibleWait != 0) {
        t->interruptStatus = 2;
        wakeThread(t);
    } else if (t->interruptStatus == 0) {
        t->interruptStatus = 1;
    }
}

// --- The scheduling pass ------------------------------------------------------------------------

VMThread* KernelThreadScheduler::schedule() {
    rescheduleRequested.store(0);
    Ostrevan* vm = ostrevan();
    WatchdogSupport* watchdogs = watchdog_support();
    VMThread* chosen = nullptr;
    std::int64_t now = 0;
    for (;;) {
        // A stop asked for from outside comes with the wake-up of this pass.
        GreenThreadVMRuntime::takeOutsideStop(*vm);
        if (vm->stopRequested != 0) break;
        LLOSTV_IMPL_ackWakeup();
        wakeupPending.store(0);
        now = now_ms();
        bool haveDeadline = false;
        std::int64_t smallest = std::numeric_limits<std::int64_t>::max();
        for (VMThread* t = waitingFirst.get(); t != nullptr;) {
            VMThread* next = t->next.get();
            const std::int64_t when = t->wakeupTime.load();
            if (when != 0) {
                const std::int64_t remaining = when - now;
                if (remaining < 1) {
                    wakeThread(t);
                } else if (remaining < smallest) {
                    smallest = remaining;
                    haveDeadline = true;
                }
            }
            t = next;
        }
        // The nearest software-watchdog deadline wakes the task too. One
        // that has passed expires here already: left for after the loop, it
        // would make an idle task spin on a wake-up in the past until some
        // thread became due, and its handler would wait as long.
        if (watchdogs != nullptr) {
            watchdogs->expire(now);
            const std::int64_t deadline = watchdogs->firstDeadline();
            if (deadline != -1) {
                const std::int64_t remaining = deadline - now;
                if (remaining < smallest) {
                    smallest = remaining;
                    haveDeadline = true;
                }
            }
        }
        if (haveDeadline) LLOSTV_IMPL_scheduleRequest__J(saturating_add(now, smallest));
        chosen = pickNextThread(now);
        if (chosen != nullptr || waitingFirst.get() == nullptr) break;
        if (trace_started()) OSTV_MONITOR_on_idle();
        idle = 1;
        LLOSTV_IMPL_idleVM();
        idle = 0;
    }
    if (watchdogs != nullptr) watchdogs->expire(now_ms());
    if (chosen == nullptr) {
        ThreadTable* table = thread_table();
        if (table == nullptr || table->count == 0 || vm->stopRequested != 0) return nullptr;
        // Every live thread is queued on a monitor (or parked) with nothing
        // able to wake it: the task stays idle, until a stop from outside.
        for (;;) {
            LLOSTV_IMPL_idleVM();
            GreenThreadVMRuntime::takeOutsideStop(*vm);
            if (vm->stopRequested != 0) return nullptr;
        }
    }
    if (slice != 0 && chosen->next.get() != nullptr) LLOSTV_IMPL_scheduleRequest__J(saturating_add(now, slice));
    if (chosen->interruptStatus == 2) {
        chosen->interruptStatus = 0;
        if (chosen->ownerFeature != 0 && !feature_is_started(chosen->ownerFeature)) {
            throw_dead_feature(chosen);
        } else {
            ExecutionContext::throwNew(chosen, vm_type(VMType::_java_Ljava_lang_InterruptedException));
        }
        TulvarVMEngine::throwPendingException(chosen);
    }
    if ((chosen->flags & kFlagScopedResource) != 0 && chosen->suspendCallback == 0 &&
        chosen->resumeState.load() != kSuspendedByNative)
        close_scoped_resource(chosen);
    // Code of an application that is no longer started does not run.
    if (chosen->ownerFeature != 0 && !feature_is_started(chosen->ownerFeature)) {
        throw_dead_feature(chosen);
        TulvarVMEngine::throwPendingException(chosen);
    }
    return chosen;
}

void KernelThreadScheduler::rotateToTail(VMThread* t) {
    const int p = t->effectivePriority;
    removeReady(t);
    VMThread* tail = readyTails[p].get();
    t->next.set(nullptr);
    t->prev.set(tail);
    if (tail != nullptr) tail->next.set(t); else readyHeads[p].set(t);
    readyTails[p].set(t);
}

void KernelThreadScheduler::threadEnded(VMThread* t) {
    switch (t->state) {
        case kThreadReady:
        case kThreadRunning: removeReady(t); break;
        case kThreadWaiting: unlinkWaiting(t); break;
        case kThreadSuspended: {
            if (heldFirst.get() == t) {
                heldFirst = t->next;
            } else {
                for (VMThread* h = heldFirst.get(); h != nullptr; h = h->next.get())
                    if (h->next.get() == t) {
                        h->next = t->next;
                        break;
                    }
            }
            t->next.set(nullptr);
            break;
        }
        default: break;
    }
    set_thread_state(t, kThreadTerminated);
    if (current.get() == t) {
        current.set(nullptr);
    }
    currentLeft = 1;
    request_reschedule();
}

void KernelThreadScheduler::yieldCurrent() {
    VMThread* t = current.get();
    if (t == nullptr || t->next.get() == nullptr || !in_ready_queue(t)) return;
    if (slice != 0) {
        // The next pass finds the slice used up and rotates the queue.
        sliceUsed[clamp_priority(highestReady)] = kSliceUsedUp;
    } else {
        rotateToTail(t);
    }
    request_reschedule();
}

// --- Native suspension ---------------------------------------------------------------------------

std::int32_t KernelThreadScheduler::suspendCurrentJavaThread(std::int64_t timeoutMs, word_t callback,
                                                             std::uint32_t argument, bool interruptible) {
    // Another task is refused before it reads anything only the application
    // task writes.
    if (!onVMTask()) return 2;
    VMThread* t = current.get();
    Ostrevan* vm = ostrevan();
    if (t == nullptr || vm->runningHook != nullptr || (t->flags & kFlagNativeExceptionMask) != 0) return 2;
    t->suspendCallback = callback;
    t->suspendArgument = argument;
    const std::uint32_t state = t->resumeState.load();
    if (state == kSuspendedByNative) return 0;
    if (state == kResumePending) {
        t->resumeState.store(kResumeNone);
        return 0;
    }
    if (sleepCurrent(t, timeoutMs, interruptible) == 1) return 1;
    const std::uint32_t old = t->resumeState.exchange(kSuspendedByNative);
    if (old == kResumePending) {
        // A resume arrived meanwhile: the thread is due at once.
        t->wakeupTime.store(-1);
        wakeupPending.store(1);
        request_reschedule();
        LLOSTV_IMPL_wakeupVM();
        t->resumeState.store(kResumeNone);
    }
    return 0;
}

void KernelThreadScheduler::resumeJavaThread(VMThread* t, std::uint32_t argument) {
    t->resumeArgument.store(argument);
    const std::uint32_t old = t->resumeState.exchange(kResumePending);
    if (old == kSuspendedByNative) {
        t->wakeupTime.store(-1);
        wakeupPending.store(1);
        request_reschedule();
        LLOSTV_IMPL_wakeupVM();
    }
}

}  // namespace tarvelo
