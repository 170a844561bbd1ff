// Host threads of the tasks: a static pool of slots (no host heap), thread
// creation with a generous stack, and joining the threads of deleted tasks.
//
// A task thread starts with the preemption signal blocked, raises its
// region, unblocks the signal and waits for its first turn. A deleted
// task's thread (or every thread, when the scheduler ends) unwinds to the
// exit point with siglongjmp, from a kernel call or from the signal
// handler, and marks its slot exited for the idle task or
// vTaskStartScheduler to join.
#include <sched.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

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

namespace {

// The host CPU chosen by TARVELO_HOST_CPU for every thread of the kernel:
// a CPU number, or "auto" for the one the first caller runs on. Decided
// once; -1 when unset (the host schedules the threads freely).
int host_cpu() {
    static const int cpu = [] {
        const char* env = std::getenv("TARVELO_HOST_CPU");
        if (env == nullptr || env[0] == '\0') return -1;
        if (std::strcmp(env, "auto") == 0) return sched_getcpu();
        char* end = nullptr;
        const long n = std::strtol(env, &end, 10);
        cpu_set_t allowed;
        CPU_ZERO(&allowed);
        (void)sched_getaffinity(0, sizeof allowed, &allowed);
        if (*end != '\0' || n < 0 || n >= CPU_SETSIZE || !CPU_ISSET(static_cast<int>(n), &allowed)) {
            std::fprintf(stderr, "TARVELO_HOST_CPU=%s: expected auto or a CPU this process may use; not pinned\n", env);
            return -1;
        }
        return static_cast<int>(n);
    }();
    return cpu;
}

}  // namespace

bool pinned_to_host_cpu() { return host_cpu() >= 0; }

void pin_to_host_cpu() {
    const int cpu = host_cpu();
    if (cpu < 0) return;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    (void)pthread_setaffinity_np(pthread_self(), sizeof set, &set);
}

bool spawn_task_thread(HostThread* host) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, kHostStackBytes);
    if (const int cpu = host_cpu(); cpu >= 0) {
        cpu_set_t set;
        CPU_ZERO(&set);
        CPU_SET(cpu, &set);
        pthread_attr_setaffinity_np(&attr, sizeof set, &set);
    }
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
