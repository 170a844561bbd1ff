// The idle task ("IDLE", priority 0). Each pass joins the threads of
// deleted tasks, runs the idle hook once, and then, when no other task is
// ready, either moves time to the earliest deadline (fast and virtual
// clocks, once no raised interrupt is outstanding) or waits on a host
// condition until an interrupt or a time jump happens, so an idle system
// does not burn the host CPU.
#include "kernel.h"

namespace tarvelo::rtos {

namespace {

bool other_task_ready(const Tcb* me) {
    for (Tcb* t = kernel.tasks; t != nullptr; t = t->next_task)
        if (t != me && t->state == TaskState::Ready) return true;
    return false;
}

void idle_pass(Tcb* me) {
    if (other_task_ready(me)) {
        // Tasks of the idle priority get the CPU first.
        me->ready_seq = ++kernel.sequence;
        kernel.yield_pending = true;
        return;
    }
    // Time jumps only once the interrupts already raised have run: what
    // they do happens before the next deadline.
    if (kernel.clock != eSimClockReal && !interrupts_outstanding() && jump_to_next_deadline()) {
        kernel.idle_seen_kicks = kernel.idle_kicks;
        return;
    }
    while (kernel.idle_kicks == kernel.idle_seen_kicks && !self.host->killed && !other_task_ready(me))
        pthread_cond_wait(&kernel.idle_cv, &kernel.lock);
    if (self.host->killed) exit_thread();
    kernel.idle_seen_kicks = kernel.idle_kicks;
}

}  // namespace

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
