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

void lock_take() {
    if (self.lock_depth++ > 0) return;
    if (self.isr_depth == 0) {
        // Interrupts come first: a task that wants the lock lets a waiting
        // interrupt have it, as the hardware would take the interrupt.
        for (int i = 0; i < 64 && kernel.interrupts_waiting.load(std::memory_order_relaxed) > 0; ++i) sched_yield();
    }
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
