// The CPU lock, the regions in which a task is not switched out
// asynchronously, and the critical sections and interrupt masking built on
// them.
//
// A region is a per-thread counter raised BEFORE the lock is taken and
// lowered after it is released. The preemption signal handler reads it: at
// zero the thread holds no lock and is in plain task code, so the handler
// may switch; above zero it only records a pending request, which the
// region's exit honours.
#include <sched.h>
#include <time.h>

#include <cstdint>

#include "kernel.h"

namespace tarvelo::rtos {

constinit Kernel kernel;
thread_local constinit ThreadContext self{};

void preempt_point();

void region_enter() {
    self.region.store(self.region.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

namespace {

// A switch asked for while the region was up: by the signal handler
// (`pending`) or by a thread that saw the region and sent no signal.
bool switch_asked() {
    return self.pending || (self.host != nullptr && self.host->switch_requested.load(std::memory_order_relaxed));
}

}  // namespace

void region_exit() {
    std::atomic_signal_fence(std::memory_order_seq_cst);
    self.region.store(self.region.load(std::memory_order_relaxed) - 1, std::memory_order_relaxed);
    // Pairs with request_switch: either this thread sees the request made
    // while its region was up, or the requester sees the region down and
    // signals.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    // A request that came while the region was up is honoured now. One that
    // comes after the decrement is handled by the signal handler itself.
    while (self.region.load(std::memory_order_relaxed) == 0 && switch_asked()) {
        self.region.store(1, std::memory_order_relaxed);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        self.pending = 0;
        preempt_point();
        std::atomic_signal_fence(std::memory_order_seq_cst);
        self.region.store(0, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_seq_cst);
    }
}

namespace {

std::int64_t monotonic_nanos() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// Interrupts come first: a task that wants the lock lets an interrupt that
// waits for it have it, as the hardware would take the interrupt; but only
// for a moment of host time, not a number of turns. An interrupt thread
// woken for the lock may not get a host CPU at once on a loaded host;
// yielding to it would give this thread's CPU to whatever else runs there,
// a whole host time slice (milliseconds) per yield, while the ready task
// this thread runs waits. So the task spins briefly, leaving its CPU only
// when every thread of the kernel shares one host CPU (the interrupt can
// run nowhere else), and then takes the lock anyway; the interrupt runs as
// soon as the kernel call is over.
void let_waiting_interrupts_in() {
    if (kernel.interrupts_waiting.load(std::memory_order_relaxed) == 0) return;
    constexpr std::int64_t kPatienceNanos = 50000;
    const bool share_one_cpu = pinned_to_host_cpu();
    const std::int64_t until = monotonic_nanos() + kPatienceNanos;
    while (kernel.interrupts_waiting.load(std::memory_order_relaxed) > 0 && monotonic_nanos() < until) {
        if (share_one_cpu) {
            sched_yield();
        } else {
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#elif defined(__arm__) || defined(__aarch64__)
            __asm__ __volatile__("yield");
#endif
        }
    }
}

}  // namespace

void lock_take() {
    if (self.lock_depth++ > 0) return;
    if (self.isr_depth == 0) let_waiting_interrupts_in();
    pthread_mutex_lock(&kernel.lock);
}

void lock_give() {
    if (--self.lock_depth == 0) pthread_mutex_unlock(&kernel.lock);
}

void kernel_enter() {
    region_enter();
    lock_take();
}

void kernel_leave() {
    if (self.lock_depth == 1 && self.isr_depth == 0 && kernel.state == SchedulerState::Running) {
        Tcb* me = self.task;
        if (me != nullptr) {
            if (me == kernel.current && kernel.suspend_depth == 0 && should_switch(me)) reschedule(me);
        } else {
            // A host thread that is not a task readied something: the
            // running task is preempted as by an interrupt.
            if (kernel.suspend_depth == 0 && higher_ready_than(kernel.current)) request_switch();
            kick_idle();
        }
    }
    lock_give();
    region_exit();
}

}  // namespace tarvelo::rtos

using namespace tarvelo::rtos;

extern "C" void vPortEnterCritical(void) { kernel_enter(); }

extern "C" void vPortExitCritical(void) {
    configASSERT(self.lock_depth > 0);
    kernel_leave();
}

extern "C" UBaseType_t ulPortSetInterruptMaskFromISR(void) {
    kernel_enter();
    return 0;
}

extern "C" void vPortClearInterruptMaskFromISR(UBaseType_t) {
    configASSERT(self.lock_depth > 0);
    kernel_leave();
}

// Masking does not nest: enabling unmasks whatever disabled.
extern "C" void vPortDisableInterrupts(void) {
    if (self.interrupts_disabled) return;
    self.interrupts_disabled = true;
    kernel_enter();
}

extern "C" void vPortEnableInterrupts(void) {
    if (!self.interrupts_disabled) return;
    self.interrupts_disabled = false;
    kernel_leave();
}

extern "C" void vSimNoPreemptEnter(void) { region_enter(); }

extern "C" void vSimNoPreemptExit(void) {
    configASSERT(self.region > 0);
    region_exit();
}
