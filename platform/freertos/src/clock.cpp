// The tick: time as the kernel counts it, the three clock modes, the tick
// thread of the real and fast modes, and time jumps.
//
// Internally the tick count has 64 bits, so deadlines never wrap; the API
// hands out its low 32 bits, which wrap as on the device.
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kernel.h"
#include "sim_interrupt.h"

namespace tarvelo::rtos {

namespace {

constexpr std::int64_t kTickNanos = 1000000000LL / configTICK_RATE_HZ;

std::atomic<bool> tick_stop{false};
bool tick_running = false;
pthread_t tick_thread;

std::int64_t monotonic_nanos() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// One tick interrupt every 5 ms of host time, on absolute deadlines: no
// drift, and a late wake-up delivers every tick it missed at once.
void* tick_thread_main(void*) {
    block_preempt_signal();
    const std::int64_t start = monotonic_nanos();
    std::uint64_t delivered = 0;
    while (!tick_stop.load(std::memory_order_acquire)) {
        std::int64_t due_at = start + static_cast<std::int64_t>(delivered + 1) * kTickNanos;
        timespec ts{static_cast<time_t>(due_at / 1000000000LL), static_cast<long>(due_at % 1000000000LL)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) != 0) {
        }
        if (tick_stop.load(std::memory_order_acquire)) break;
        auto elapsed = static_cast<std::uint64_t>((monotonic_nanos() - start) / kTickNanos);
        if (elapsed <= delivered) continue;
        std::uint64_t count = elapsed - delivered;
        delivered = elapsed;
        interrupt_enter();
        apply_ticks(count);
        interrupt_exit(true);
    }
    return nullptr;
}

// Wakes the blocked tasks whose deadline has come, earliest deadline
// first, then in the order they started waiting.
void wake_expired(std::uint64_t now) {
    for (;;) {
        Tcb* next = nullptr;
        for (Tcb* t = kernel.tasks; t != nullptr; t = t->next_task) {
            if (t->state != TaskState::Blocked || t->deadline > now) continue;
            if (next == nullptr || t->deadline < next->deadline ||
                (t->deadline == next->deadline && t->wait_seq < next->wait_seq))
                next = t;
        }
        if (next == nullptr) return;
        make_ready(next, WakeReason::Timeout);
    }
}

}  // namespace

void advance_to(std::uint64_t tick) {
    kernel.ticks.store(tick, std::memory_order_relaxed);
    wake_expired(tick);
}

void apply_ticks(std::uint64_t count) {
    if (count == 0) return;
    if (kernel.suspend_depth > 0) {
        kernel.pended_ticks += count;
        return;
    }
    advance_to(now_ticks() + count);
}

bool jump_to_next_deadline() {
    std::uint64_t earliest = kForever;
    for (Tcb* t = kernel.tasks; t != nullptr; t = t->next_task)
        if (t->state == TaskState::Blocked && t->deadline < earliest) earliest = t->deadline;
    if (earliest == kForever) return false;
    advance_to(earliest > now_ticks() ? earliest : now_ticks());
    ++kernel.idle_kicks;
    return true;
}

SimClockMode_t resolve_clock_mode() {
    if (kernel.requested_clock != eSimClockDefault) return kernel.requested_clock;
    const char* env = std::getenv("TARVELO_CLOCK");
    if (env == nullptr || *env == '\0' || std::strcmp(env, "real") == 0) return eSimClockReal;
    if (std::strcmp(env, "fast") == 0) return eSimClockFast;
    if (std::strcmp(env, "virtual") == 0) return eSimClockVirtual;
    std::fprintf(stderr, "TARVELO_CLOCK=%s: expected real, fast or virtual; using real\n", env);
    return eSimClockReal;
}

void start_tick_thread() {
    tick_stop.store(false, std::memory_order_release);
    sigset_t set, old;
    sigemptyset(&set);
    sigaddset(&set, TARVELO_PREEMPT_SIGNAL);
    pthread_sigmask(SIG_BLOCK, &set, &old);
    tick_running = pthread_create(&tick_thread, nullptr, tick_thread_main, nullptr) == 0;
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    configASSERT(tick_running);
}

void stop_tick_thread() {
    tick_stop.store(true, std::memory_order_release);
    if (tick_running) pthread_join(tick_thread, nullptr);
    tick_running = false;
}

}  // namespace tarvelo::rtos

using namespace tarvelo::rtos;

extern "C" void vSimSetClockMode(SimClockMode_t eMode) {
    kernel_enter();
    kernel.requested_clock = eMode;
    lock_give();
    region_exit();
}

extern "C" SimClockMode_t eSimGetClockMode(void) {
    kernel_enter();
    SimClockMode_t mode = kernel.state == SchedulerState::NotStarted ? resolve_clock_mode() : kernel.clock;
    lock_give();
    region_exit();
    return mode;
}

extern "C" void vSimAdvanceTicks(TickType_t xTicks) {
    interrupt_enter();
    apply_ticks(xTicks);
    interrupt_exit(true);
}

extern "C" void vSimSetTickCount(TickType_t xTicks) {
    kernel_enter();
    if (kernel.state == SchedulerState::NotStarted) kernel.ticks.store(xTicks, std::memory_order_relaxed);
    lock_give();
    region_exit();
}
