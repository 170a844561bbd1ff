// The green-thread scheduler component. All Java threads run in the
// application task; the interpreter asks the scheduler for the thread to run
// at a yield point when the reschedule flag is set. It keeps one ready queue
// per priority (10 down to 1), a waiting list with deadlines, the threads
// held until main starts, round-robin slices among threads of one priority,
// and the native suspend/resume handshake with other tasks.
//
// Everything runs on the application task, except `resumeJavaThread` and
// the wake-up entry (GreenThreadVMFacade::schedule), which other tasks and
// interrupts call: they touch only the resume word, resume argument, wake-up
// time, wakeupPending and the reschedule flag.
#pragma once

#include <atomic>
#include <cstdint>

#include "vm/model/vm_component.h"
#include "platform/address.h"
#include "vm/core/engine/word_ptr.h"

namespace tarvelo {

struct VMThread;

inline constexpr int kMinPriority = 1;
inline constexpr int kMaxPriority = 10;
inline constexpr int kPriorityLevels = 11;  // index = priority; 0 holds no thread

struct KernelThreadScheduler : VMComponent {
    std::int64_t lastSwitchTime;
    WordPtr<VMThread> current;
    WordPtr<VMThread> readyHeads[kPriorityLevels];
    WordPtr<VMThread> readyTails[kPriorityLevels];
    std::uint8_t sliceUsed[kPriorityLevels];  // ms of the slice used at each priority
    WordPtr<VMThread> waitingFirst, waitingLast;
    WordPtr<VMThread> heldFirst;
    // The application task, recorded at start; other tasks read it to learn
    // that they are not it.
    std::atomic<std::uint32_t> vmTaskId;
    std::int8_t slice;       // round-robin slice in ms; 0 turns slicing off
    std::uint8_t currentLeft;  // the current thread stopped running
    std::int8_t highestReady;
    std::uint8_t idle;       // 1 while the task waits in the port's idleVM
    std::atomic<std::uint8_t> wakeupPending;

    static KernelThreadScheduler* create();
    static bool initialize(VMComponent* self);
    static void stop(VMComponent* self);

    // Records the calling task as the one that runs Java from now on.
    void recordVMTask();
    // Whether the caller runs on the application task.
    bool onVMTask() const;

    // --- Ready queues ----------------------------------------------------------------
    void enqueueReady(VMThread* t, int priority);
    // The same at the head of the queue (priority inheritance).
    void enqueueReadyFront(VMThread* t, int priority);
    // Unlinks `t` from its ready queue, or from the parked list.
    void removeReady(VMThread* t);
    // A thread started while the class initialisers run waits here.
    void hold(VMThread* t);
    // Queues every held thread, the one held last first; those that still
    // wanted the root schedule context go to `main`'s wanted context.
    void releaseHeldThreads(VMThread* main);

    // --- Waiting -----------------------------------------------------------------------
    // Moves `t` to the waiting list until `delayMs` passes (0: no
    // deadline). With `interruptible`, a pending interrupt is consumed and 1
    // returned at once. 0 when the thread now waits.
    std::int32_t sleepCurrent(VMThread* t, std::int64_t delayMs, bool interruptible);
    void wakeThread(VMThread* t);
    // Whether `t` was interrupted (status 1); clears it.
    bool clearInterrupted(VMThread* t);
    // Object.wait, the monitor checks done and the owner cleared: the
    // object's entry already sits above the held count. The thread waits
    // (0: no timeout) and the monitor goes to a thread queued for it.
    void wait(VMThread* t, word_t object, std::int64_t timeoutMs);
    // Object.notify / notifyAll by the owner of `object`'s monitor: the
    // oldest waiter (or every one) queues on that monitor.
    void notifyWaiters(word_t object, bool all);
    // Thread.interrupt: a thread in an interruptible wait is woken with
    // status 2; any other gets status 1 unless it has one.
    void interrupt(VMThread* t);

    // --- Monitors and priority inheritance ----------------------------------------------------
    // Queues `w` (whose awaited entry is stored) behind the threads waiting
    // for monitors `owner` holds, and pushes its priority up the chain of
    // owners.
    void queueOnMonitor(VMThread* w, VMThread* owner);
    // Hands the monitor of `object`, released by `owner`, to `next`, a
    // thread of owner's monitorWaiters already unlinked from it.
    void grantMonitor(VMThread* owner, VMThread* next, word_t object);
    // The largest of the base priority and the effective priorities of the
    // threads queued on monitors `t` holds.
    static int effectivePriorityOf(const VMThread* t);
    // After a base-priority change or a monitor handed away.
    void recomputePriority(VMThread* t);
    void setBasePriority(VMThread* t, int priority);

    // --- The scheduling pass ---------------------------------------------------------------
    // The thread to run next, or null when the virtual machine must stop.
    VMThread* schedule();
    // A thread that ended leaves every list.
    void threadEnded(VMThread* t);
    // Thread.yield: another ready thread of the same priority runs first.
    void yieldCurrent();

    // --- Native suspension ------------------------------------------------------------------
    // 0 suspended (or a resume was already there), 1 interrupted, 2 refused.
    std::int32_t suspendCurrentJavaThread(std::int64_t timeoutMs, word_t callback, std::uint32_t argument,
                                          bool interruptible);
    // From any task or interrupt.
    void resumeJavaThread(VMThread* t, std::uint32_t argument);

    VMThread* currentThread() const { return current.get(); }

    // QuotaScheduler.pickNextThread: the thread to run at the highest
    // priority whose schedule context may run, with round robin; parks the
    // threads of suspended contexts.
    VMThread* pickNextThread(std::int64_t now);

private:
    VMThread* roundRobin(VMThread* candidate, int priority, std::int64_t now);
    void rotateToTail(VMThread* t);
    void moveToFront(VMThread* t, int priority);
    void pushPriority(VMThread* from, int priority);
    void unlinkWaiting(VMThread* t);
    void clearLists();
};

// The scheduler created with the virtual machine, or null.
KernelThreadScheduler* kernel_scheduler();

// The thread the scheduler runs now, or null.
VMThread* current_thread();

// Slice length from the round-robin period (slice + 1 ms).
std::int8_t round_robin_slice(std::int32_t period);

}  // namespace tarvelo
