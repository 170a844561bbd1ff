// Asynchronous preemption. When an interrupt readies a task of higher
// priority than the running one, the running task must stop at once, even
// in a loop that makes no kernel call (the interpreter runs like that). Its
// thread is sent TARVELO_PREEMPT_SIGNAL; the handler hands the CPU over and
// waits, inside the handler, until the task runs again. Inside a region
// (kernel call, critical section, suspended scheduler, no-preempt region)
// the handler only records the request for the region's exit.
#include <cerrno>

#include "kernel.h"
#include "sim_interrupt.h"

namespace tarvelo::rtos {

// Switches if a task of higher priority is ready. Called with the region
// raised and the lock not held, from the signal handler or a region's exit.
void preempt_point() {
    Tcb* me = self.task;
    if (me == nullptr) return;
    // Taken: whatever asked is looked at now, under the lock.
    self.host->switch_requested.store(false, std::memory_order_relaxed);
    lock_take();
    if (self.host->killed) exit_thread();
    if (kernel.state == SchedulerState::Running && kernel.current == me && kernel.suspend_depth == 0 &&
        self.lock_depth == 1 && should_switch(me))
        reschedule(me);
    lock_give();
}

static void on_preempt_signal(int) {
    int saved_errno = errno;
    if (self.task != nullptr) {
        if (self.region > 0) {
            self.pending = 1;
        } else {
            region_enter();
            preempt_point();
            region_exit();
        }
    }
    errno = saved_errno;
}

void install_preempt_handler() {
    struct sigaction sa {};
    sa.sa_handler = on_preempt_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(TARVELO_PREEMPT_SIGNAL, &sa, nullptr);
}

void block_preempt_signal() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, TARVELO_PREEMPT_SIGNAL);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void request_switch() {
    Tcb* running = kernel.current;
    if (running == nullptr) return;
    if (running == self.task) {
        // The running task itself acts as an interrupt (vSimAdvanceTicks
        // from a task): it switches as its region ends.
        self.pending = 1;
        return;
    }
    // A task inside a region (a kernel call, a critical section, a host call
    // kept from switching) would only note a signal for its region's end:
    // it is told without one, which saves the signal and the interrupted
    // system call. Only a task running plain code needs the signal.
    HostThread* host = running->host;
    host->switch_requested.store(true, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    const ThreadContext* context = host->context.load(std::memory_order_acquire);
    if (context != nullptr && context->region.load(std::memory_order_relaxed) > 0) return;
    pthread_kill(host->thread, TARVELO_PREEMPT_SIGNAL);
}

// Strict priority: the task an interrupt readied runs as that interrupt
// ends. A running task whose thread is parked (made the running task but
// not yet back from its wait, or the idle task waiting for work) runs no
// task code until it has looked at `kernel.current` under the lock, so the
// CPU is handed on here, at once; signalling it instead would leave the
// ready task waiting until the host gives that thread a CPU, which on a
// loaded host is a time slice of whatever else runs there.
void preempt_running() {
    Tcb* running = kernel.current;
    if (running == nullptr || !running->host->parked) {
        request_switch();
        return;
    }
    // The idle hook counts the idle time waited before the new task runs;
    // the idle task itself sleeps on until it has the CPU again.
    if (running == kernel.idle) end_idle_wait();
    hand_over(highest_ready());
}

void kick_idle() {
    ++kernel.idle_kicks;
    // Handed on while it waited for work, the idle task sleeps until it has
    // the CPU again; it is woken then, or to end.
    if (kernel.current == kernel.idle || kernel.state != SchedulerState::Running)
        pthread_cond_broadcast(&kernel.idle_cv);
}

}  // namespace tarvelo::rtos
