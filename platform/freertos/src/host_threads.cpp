// Host threads of the tasks: a static pool of slots (no host heap), thread
// creation with a generous stack, and joining the threads of deleted tasks.
//
// A task thread starts with the preemption signal blocked, raises its
// region, unblocks the signal and waits for its first turn. A deleted
// task's thread (or every thread, when the scheduler ends) unwinds to the
// exit point with siglongjmp, from a kernel call or from the signal
// handler, and marks its slot exited for the idle task or
// vTaskStartScheduler to join.
#include "kernel.h"
#include "sim_interrupt.h"

namespace tarvelo::rtos {

namespace {

constexpr int kMaxHostThreads = 64;
// x86-64 frames are much larger than the device's; the stack allowance in
// the kernel heap only accounts for the device's stack.
constexpr std::size_t kHostStackBytes = 8u << 20;

HostThread pool[kMaxHostThreads];

void* task_thread_main(void* arg) {
    auto* host = static_cast<HostThread*>(arg);
    if (sigsetjmp(host->exit_point, 1) == 0) {
        Tcb* task = host->task;
        self.host = host;
        self.task = task;
        self.region = 1;
        host->context.store(&self, std::memory_order_release);
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, TARVELO_PREEMPT_SIGNAL);
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        lock_take();
        wait_for_turn(task);
        TaskFunction_t entry = task->entry;
        void* parameter = task->parameter;
        lock_give();
        region_exit();
        entry(parameter);
        // A task function that returns ends its task.
        vTaskDelete(nullptr);
    }
    host->state.store(kSlotExited, std::memory_order_release);
    return nullptr;
}

}  // namespace

HostThread* acquire_host_thread() {
    for (int attempt = 0; attempt < 2; ++attempt) {
        kernel_enter();
        for (HostThread& h : pool) {
            if (h.state.load(std::memory_order_acquire) == kSlotFree) {
                h.state.store(kSlotUsed, std::memory_order_relaxed);
                h.killed = false;
                // Until its thread runs, a switch request signals it.
                h.context.store(nullptr, std::memory_order_relaxed);
                h.switch_requested.store(false, std::memory_order_relaxed);
                sem_init(&h.wake, 0, 0);
                lock_give();
                region_exit();
                return &h;
            }
        }
        lock_give();
        region_exit();
        reap_host_threads();
    }
    return nullptr;
}

void release_host_thread(HostThread* host) {
    sem_destroy(&host->wake);
    host->state.store(kSlotFree, std::memory_order_release);
}

bool spawn_task_thread(HostThread* host) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, kHostStackBytes);
    // The new thread inherits a mask with the preemption signal blocked.
    sigset_t set, old;
    sigemptyset(&set);
    sigaddset(&set, TARVELO_PREEMPT_SIGNAL);
    pthread_sigmask(SIG_BLOCK, &set, &old);
    int rc = pthread_create(&host->thread, &attr, task_thread_main, host);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    pthread_attr_destroy(&attr);
    return rc == 0;
}

void reap_host_threads() {
    for (HostThread& h : pool) {
        int expected = kSlotExited;
        if (!h.state.compare_exchange_strong(expected, kSlotJoining, std::memory_order_acq_rel)) continue;
        // pthread_join takes host locks: no asynchronous switch meanwhile.
        region_enter();
        pthread_join(h.thread, nullptr);
        region_exit();
        release_host_thread(&h);
    }
}

void join_all_host_threads() {
    for (HostThread& h : pool) {
        int state = h.state.load(std::memory_order_acquire);
        if (state == kSlotUsed || state == kSlotExited) {
            pthread_join(h.thread, nullptr);
            release_host_thread(&h);
        }
    }
}

}  // namespace tarvelo::rtos
