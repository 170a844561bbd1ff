// Simulated interrupts: interrupt context for any host thread, and the
// dedicated interrupt thread that runs the handlers raised with
// vSimRaiseInterrupt one after another.
//
// Interrupt context holds the CPU lock for its whole duration, so it never
// overlaps a critical section, a kernel call or another interrupt. At its
// end, a switch that portYIELD_FROM_ISR asked for (or that a tick made due)
// is requested from the running task.
#include "kernel.h"
#include "sim_interrupt.h"

namespace tarvelo::rtos {

namespace {

struct Request {
    SimIsr_t isr;
    void* arg;
};

constexpr unsigned kQueueLength = 256;

pthread_mutex_t queue_lock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t queue_cv = PTHREAD_COND_INITIALIZER;  // work, space, or stop
Request queue[kQueueLength];
unsigned queue_head = 0;
unsigned queue_count = 0;
bool stopping = false;
bool thread_running = false;
// Raised and not yet finished; read by the idle task under the CPU lock.
std::atomic<int> outstanding{0};
// Announced and not yet raised.
std::atomic<int> announced{0};

// One announcement fewer (never below none: a device may end work it
// announced to a scheduler that has ended since).
void end_announcement() {
    int n = announced.load(std::memory_order_relaxed);
    while (n > 0 && !announced.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) {
    }
}
pthread_t interrupt_thread;

void* interrupt_thread_main(void*) {
    block_preempt_signal();
    pthread_mutex_lock(&queue_lock);
    for (;;) {
        while (queue_count == 0 && !stopping) pthread_cond_wait(&queue_cv, &queue_lock);
        if (stopping) break;
        Request r = queue[queue_head];
        queue_head = (queue_head + 1) % kQueueLength;
        --queue_count;
        pthread_cond_broadcast(&queue_cv);
        pthread_mutex_unlock(&queue_lock);
        interrupt_enter();
        r.isr(r.arg);
        outstanding.fetch_sub(1, std::memory_order_relaxed);
        interrupt_exit(false);
        pthread_mutex_lock(&queue_lock);
    }
    pthread_mutex_unlock(&queue_lock);
    return nullptr;
}

}  // namespace

void interrupt_enter() {
    region_enter();
    if (self.lock_depth == 0) {
        kernel.interrupts_waiting.fetch_add(1, std::memory_order_relaxed);
        pthread_mutex_lock(&kernel.lock);
        kernel.interrupts_waiting.fetch_sub(1, std::memory_order_relaxed);
    }
    ++self.lock_depth;
    ++self.isr_depth;
}

void interrupt_exit(bool tick) {
    configASSERT(self.isr_depth > 0);
    if (--self.isr_depth == 0) {
        if (kernel.state == SchedulerState::Running && kernel.suspend_depth == 0 &&
            (kernel.yield_from_isr || tick) && higher_ready_than(kernel.current))
            preempt_running();
        kernel.yield_from_isr = false;
        kick_idle();
    }
    lock_give();
    region_exit();
}

void start_interrupt_thread() {
    pthread_mutex_lock(&queue_lock);
    stopping = false;
    pthread_mutex_unlock(&queue_lock);
    sigset_t set, old;
    sigemptyset(&set);
    sigaddset(&set, TARVELO_PREEMPT_SIGNAL);
    pthread_sigmask(SIG_BLOCK, &set, &old);
    thread_running = pthread_create(&interrupt_thread, nullptr, interrupt_thread_main, nullptr) == 0;
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    configASSERT(thread_running);
}

void stop_interrupt_thread() {
    pthread_mutex_lock(&queue_lock);
    stopping = true;
    pthread_cond_broadcast(&queue_cv);
    pthread_mutex_unlock(&queue_lock);
    if (thread_running) pthread_join(interrupt_thread, nullptr);
    thread_running = false;
}

bool interrupts_outstanding() {
    return outstanding.load(std::memory_order_relaxed) > 0 || announced.load(std::memory_order_relaxed) > 0 ||
           kernel.interrupts_waiting.load(std::memory_order_relaxed) > 0;
}

void reset_interrupts() {
    pthread_mutex_lock(&queue_lock);
    queue_head = 0;
    queue_count = 0;
    outstanding.store(0, std::memory_order_relaxed);
    announced.store(0, std::memory_order_relaxed);
    stopping = false;
    pthread_mutex_unlock(&queue_lock);
}

}  // namespace tarvelo::rtos

using namespace tarvelo::rtos;

namespace {

// Queues pxIsr for the interrupt thread; an announced one stops being
// announced once it is queued (before it can run and wake the idle task,
// which then sees it as raised).
void raise_request(SimIsr_t pxIsr, void* pvArg, bool was_announced) {
    // A task must not be switched out while it holds the queue's lock.
    region_enter();
    pthread_mutex_lock(&queue_lock);
    while (pxIsr != nullptr && queue_count == kQueueLength && !stopping) {
        // The interrupt thread cannot wait for itself to make room.
        configASSERT(!(thread_running && pthread_equal(pthread_self(), interrupt_thread)));
        pthread_cond_wait(&queue_cv, &queue_lock);
    }
    if (pxIsr != nullptr && !stopping) {
        queue[(queue_head + queue_count) % kQueueLength] = Request{pxIsr, pvArg};
        ++queue_count;
        outstanding.fetch_add(1, std::memory_order_relaxed);
        pthread_cond_broadcast(&queue_cv);
    }
    if (was_announced) end_announcement();
    pthread_mutex_unlock(&queue_lock);
    region_exit();
}

}  // namespace

extern "C" void vSimRaiseInterrupt(SimIsr_t pxIsr, void* pvArg) {
    if (pxIsr == nullptr) return;
    raise_request(pxIsr, pvArg, false);
}

extern "C" void vSimAnnounceInterrupt(void) { announced.fetch_add(1, std::memory_order_relaxed); }

extern "C" void vSimRaiseAnnouncedInterrupt(SimIsr_t pxIsr, void* pvArg) { raise_request(pxIsr, pvArg, true); }

extern "C" void vSimInterruptEnter(void) { interrupt_enter(); }

extern "C" void vSimInterruptExit(void) { interrupt_exit(false); }

extern "C" BaseType_t xPortIsInsideInterrupt(void) { return self.isr_depth > 0 ? pdTRUE : pdFALSE; }

extern "C" void vPortYieldFromISR(BaseType_t xSwitchRequired) {
    if (xSwitchRequired == pdFALSE) return;
    kernel_enter();
    if (self.isr_depth > 0) {
        kernel.yield_from_isr = true;
    } else if (self.task != nullptr && self.task == kernel.current) {
        kernel.yield_pending = true;
    }
    kernel_leave();
}

extern "C" UBaseType_t uxSimInterruptsWaiting(void) {
    return static_cast<UBaseType_t>(kernel.interrupts_waiting.load(std::memory_order_relaxed));
}
