// The idle task ("IDLE", priority 0). Each pass joins the threads of
// deleted tasks, runs the idle hook once, and then, when no other task is
// ready, either moves time to the earliest deadline (fast and virtual
// clocks, once no raised interrupt is outstanding) or waits on a host
// condition until an interrupt or a time jump happens, so an idle system
// does not burn the host CPU.
#include <algorithm>

#include "kernel.h"

namespace tarvelo::rtos {

namespace {

bool other_task_ready(const Tcb* me) {
    for (Tcb* t = kernel.tasks; t != nullptr; t = t->next_task)
        if (t != me && t->state == TaskState::Ready) return true;
    return false;
}

// One idle-hook call per millisecond of tick time waited, made before the
// wait's end readies another task (the lock is held; the hook may nest a
// critical section but must not block, as on the board).
// A wait longer than the cap (a jump over a very long delay) counts as the
// cap: figures built on the count look at much shorter windows.
void account_idle_time(std::uint64_t since_tick) {
    constexpr std::uint64_t kMaxCalls = 10000;
    std::uint64_t ms = std::min((now_ticks() - since_tick) * portTICK_PERIOD_MS, kMaxCalls);
    for (std::uint64_t i = 0; i < ms; ++i) vApplicationIdleHook();
}

void idle_pass(Tcb* me) {
    if (other_task_ready(me)) {
        // Tasks of the idle priority get the CPU first.
        me->ready_seq = ++kernel.sequence;
        kernel.yield_pending = true;
        return;
    }
    std::uint64_t before = now_ticks();
    // Time jumps only once the interrupts already raised have run: what
    // they do happens before the next deadline.
    if (kernel.clock != eSimClockReal && !interrupts_outstanding() && jump_to_next_deadline()) {
        // Accounted before the lock is left: the task the jump readied runs
        // only then.
        account_idle_time(before);
        kernel.idle_seen_kicks = kernel.idle_kicks;
        return;
    }
    // Parked while it waits: an interrupt that readies a task hands the CPU
    // to it directly rather than waiting for this thread to get a host CPU,
    // and ends the wait (counting its time). The thread then sleeps on until
    // the idle task has the CPU again: woken only to wait for its turn, it
    // would compete with the new task's thread for a host CPU and the lock.
    kernel.idle_waiting = true;
    kernel.idle_wait_since = before;
    kernel.idle_asleep = true;
    self.host->parked = true;
    while (!self.host->killed &&
           (kernel.current != me || (kernel.idle_waiting && kernel.idle_kicks == kernel.idle_seen_kicks &&
                                     !other_task_ready(me))))
        pthread_cond_wait(&kernel.idle_cv, &kernel.lock);
    kernel.idle_asleep = false;
    self.host->parked = false;
    if (self.host->killed) exit_thread();
    kernel.idle_seen_kicks = kernel.idle_kicks;
    end_idle_wait();
}

}  // namespace

void end_idle_wait() {
    if (!kernel.idle_waiting) return;
    kernel.idle_waiting = false;
    account_idle_time(kernel.idle_wait_since);
}

void idle_task_main(void*) {
    for (;;) {
        reap_host_threads();
        vApplicationIdleHook();
        kernel_enter();
        idle_pass(self.task);
        kernel_leave();
    }
}

}  // namespace tarvelo::rtos
