// Choosing the task that runs, handing the CPU over, blocking and waking,
// and starting and ending the scheduler.
//
// Strict priorities without time slicing: the running task keeps the CPU
// until it blocks, yields, is suspended or a task of higher priority is
// ready. Among ready tasks of one priority the one that became ready first
// runs; a preempted task keeps its place at the head.
#include <cerrno>

#include "kernel.h"
#include "sim_interrupt.h"

namespace tarvelo::rtos {

Tcb* highest_ready() {
    Tcb* best = nullptr;
    for (Tcb* t = kernel.tasks; t != nullptr; t = t->next_task) {
        if (t->state != TaskState::Ready) continue;
        if (best == nullptr || t->priority > best->priority ||
            (t->priority == best->priority && t->ready_seq < best->ready_seq))
            best = t;
    }
    return best;
}

bool higher_ready_than(const Tcb* task) {
    if (task == nullptr) return false;
    Tcb* best = highest_ready();
    return best != nullptr && best != task && best->priority > task->priority;
}

bool should_switch(const Tcb* me) {
    Tcb* best = highest_ready();
    if (best == nullptr || best == me) {
        kernel.yield_pending = false;
        return false;
    }
    return best->priority > me->priority || kernel.yield_pending || me->state != TaskState::Ready;
}

// Waits until the CPU comes back to `me`. The caller holds the mutex once
// (whatever its nesting), and holds it again on return.
// Parked meanwhile: made the running task, the thread still has to get a
// host CPU and the lock before it runs, and an interrupt that readies a task
// of higher priority in between hands the CPU on without waiting for it (a
// stale post of the semaphore only makes the loop look again).
void wait_for_turn(Tcb* me) {
    HostThread* host = self.host;
    host->parked = true;
    for (;;) {
        // A deleted task's control block may be gone: test `killed` first.
        if (host->killed) exit_thread();
        if (kernel.current == me && kernel.state == SchedulerState::Running) break;
        pthread_mutex_unlock(&kernel.lock);
        while (sem_wait(&host->wake) != 0 && errno == EINTR) {
        }
        pthread_mutex_lock(&kernel.lock);
    }
    host->parked = false;
}

void hand_over(Tcb* next) {
    kernel.current = next;
    if (next == nullptr) return;
    // The idle task asleep in its wait for work looks at the condition.
    if (next == kernel.idle && kernel.idle_asleep) {
        pthread_cond_broadcast(&kernel.idle_cv);
    } else {
        sem_post(&next->host->wake);
    }
}

void reschedule(Tcb* me) {
    kernel.yield_pending = false;
    Tcb* next = highest_ready();
    if (next == me) return;
    configASSERT(next != nullptr);
    hand_over(next);
    wait_for_turn(me);
}

void exit_thread() {
    HostThread* host = self.host;
    host->context.store(nullptr, std::memory_order_release);
    self.lock_depth = 0;
    self.region = 0;
    self.isr_depth = 0;
    self.pending = 0;
    self.task = nullptr;
    pthread_mutex_unlock(&kernel.lock);
    siglongjmp(host->exit_point, 1);
}

void make_ready(Tcb* task, WakeReason reason) {
    task->state = TaskState::Ready;
    task->wait_object = nullptr;
    task->wait_kind = WaitKind::None;
    task->deadline = kForever;
    task->wake_reason = reason;
    task->ready_seq = ++kernel.sequence;
}

bool can_block() {
    return self.task != nullptr && self.isr_depth == 0 && kernel.state == SchedulerState::Running &&
           kernel.current == self.task;
}

WakeReason block_current(void* object, WaitKind kind, std::uint64_t deadline) {
    Tcb* me = self.task;
    // Waiting inside a critical section or with the scheduler suspended
    // would stop the whole system.
    configASSERT(self.lock_depth == 1 && !self.interrupts_disabled);
    configASSERT(kernel.suspend_depth == 0);
    me->state = TaskState::Blocked;
    me->wait_object = object;
    me->wait_kind = kind;
    me->wait_seq = ++kernel.sequence;
    me->deadline = deadline;
    me->wake_reason = WakeReason::None;
    reschedule(me);
    return me->wake_reason;
}

std::uint64_t now_ticks() { return kernel.ticks.load(std::memory_order_relaxed); }

std::uint64_t deadline_after(TickType_t ticks) {
    return ticks == portMAX_DELAY ? kForever : now_ticks() + ticks;
}

Tcb* highest_waiter(const void* object, WaitKind kind) {
    Tcb* best = nullptr;
    for (Tcb* t = kernel.tasks; t != nullptr; t = t->next_task) {
        if (t->state != TaskState::Blocked || t->wait_object != object || t->wait_kind != kind) continue;
        if (best == nullptr || t->priority > best->priority ||
            (t->priority == best->priority && t->wait_seq < best->wait_seq))
            best = t;
    }
    return best;
}

Tcb* wake_one(const void* object, WaitKind kind) {
    Tcb* t = highest_waiter(object, kind);
    if (t != nullptr) make_ready(t, WakeReason::Event);
    return t;
}

void wake_all_deleted(const void* object) {
    for (Tcb* t = kernel.tasks; t != nullptr; t = t->next_task)
        if (t->state == TaskState::Blocked && t->wait_object == object) make_ready(t, WakeReason::ObjectDeleted);
}

bool outranks_current(const Tcb* task) {
    return task != nullptr && kernel.current != nullptr && task->priority > kernel.current->priority;
}

void set_effective_priority(Tcb* task, UBaseType_t priority) {
    if (task->priority == priority) return;
    task->priority = priority;
    // A ready task goes behind the tasks already ready at its new priority.
    if (task->state == TaskState::Ready) task->ready_seq = ++kernel.sequence;
}

void link_task(Tcb* task) {
    task->prev_task = nullptr;
    task->next_task = kernel.tasks;
    if (kernel.tasks != nullptr) kernel.tasks->prev_task = task;
    kernel.tasks = task;
    ++kernel.task_count;
}

void unlink_task(Tcb* task) {
    if (task->prev_task != nullptr) {
        task->prev_task->next_task = task->next_task;
    } else {
        kernel.tasks = task->next_task;
    }
    if (task->next_task != nullptr) task->next_task->prev_task = task->prev_task;
    task->next_task = task->prev_task = nullptr;
    --kernel.task_count;
}

Tcb* resolve(TaskHandle_t handle) {
    if (handle != nullptr) return handle;
    return self.task != nullptr ? self.task : kernel.current;
}

static void reset_kernel() {
    kernel.state = SchedulerState::NotStarted;
    kernel.tasks = nullptr;
    kernel.current = nullptr;
    kernel.idle = nullptr;
    kernel.task_count = 0;
    kernel.ticks.store(0);
    kernel.pended_ticks = 0;
    kernel.sequence = 0;
    kernel.suspend_depth = 0;
    kernel.yield_pending = false;
    kernel.yield_from_isr = false;
    kernel.idle_kicks = 0;
    kernel.idle_seen_kicks = 0;
    kernel.idle_waiting = false;
    kernel.idle_asleep = false;
    kernel.idle_wait_since = 0;
    kernel.clock = eSimClockReal;
    kernel.requested_clock = eSimClockDefault;
}

}  // namespace tarvelo::rtos

using namespace tarvelo::rtos;

extern "C" void vTaskStartScheduler(void) {
    if (kernel.state != SchedulerState::NotStarted || self.task != nullptr) return;
    // The interrupt and tick threads started below inherit it.
    pin_to_host_cpu();
    install_preempt_handler();
    block_preempt_signal();
    SimClockMode_t clock = resolve_clock_mode();

    if (xTaskCreate(idle_task_main, "IDLE", configMINIMAL_STACK_SIZE, nullptr, tskIDLE_PRIORITY, &kernel.idle) !=
        pdPASS)
        return;
    if (!start_timer_service()) return;

    kernel_enter();
    kernel.clock = clock;
    kernel.state = SchedulerState::Running;
    hand_over(highest_ready());
    lock_give();
    region_exit();

    start_interrupt_thread();
    if (clock != eSimClockVirtual) start_tick_thread();

    region_enter();
    lock_take();
    while (kernel.state != SchedulerState::Ending) pthread_cond_wait(&kernel.main_cv, &kernel.lock);
    lock_give();
    region_exit();

    // Nothing but the task threads may touch the kernel from here on; they
    // have all been told to end.
    stop_tick_thread();
    stop_interrupt_thread();
    join_all_host_threads();

    reset_timers();
    reset_interrupts();
    reset_kernel();
    reset_kernel_heap();
    reset_queues();
}

extern "C" void vTaskEndScheduler(void) {
    kernel_enter();
    if (kernel.state != SchedulerState::Running) {
        kernel_leave();
        return;
    }
    kernel.state = SchedulerState::Ending;
    for (Tcb* t = kernel.tasks; t != nullptr; t = t->next_task) {
        t->host->killed = true;
        if (t != self.task) sem_post(&t->host->wake);
    }
    // A running task that is not the caller (the caller is then an
    // interrupt or a host thread) is stopped through its signal.
    if (kernel.current != nullptr && kernel.current != self.task) request_switch();
    kick_idle();
    pthread_cond_broadcast(&kernel.main_cv);
    if (self.task != nullptr) exit_thread();
    lock_give();
    region_exit();
}

extern "C" BaseType_t xTaskGetSchedulerState(void) {
    kernel_enter();
    BaseType_t s = kernel.state != SchedulerState::Running ? taskSCHEDULER_NOT_STARTED
                   : kernel.suspend_depth > 0            ? taskSCHEDULER_SUSPENDED
                                                         : taskSCHEDULER_RUNNING;
    lock_give();
    region_exit();
    return s;
}

extern "C" void vTaskSuspendAll(void) {
    // The region stays up until xTaskResumeAll: no asynchronous switch.
    region_enter();
    kernel_enter();
    ++kernel.suspend_depth;
    lock_give();
    region_exit();
}

extern "C" BaseType_t xTaskResumeAll(void) {
    kernel_enter();
    configASSERT(kernel.suspend_depth > 0);
    BaseType_t yielded = pdFALSE;
    if (--kernel.suspend_depth == 0) {
        if (kernel.pended_ticks > 0) {
            std::uint64_t n = kernel.pended_ticks;
            kernel.pended_ticks = 0;
            apply_ticks(n);
        }
        Tcb* me = self.task;
        if (me != nullptr && me == kernel.current && self.isr_depth == 0 && self.lock_depth == 1 &&
            kernel.state == SchedulerState::Running && should_switch(me)) {
            reschedule(me);
            yielded = pdTRUE;
        }
    }
    kernel_leave();
    region_exit();
    return yielded;
}

extern "C" void vPortYield(void) {
    kernel_enter();
    Tcb* me = self.task;
    if (me != nullptr && me == kernel.current && self.isr_depth == 0 && kernel.state == SchedulerState::Running) {
        // Behind the other ready tasks of the same priority; the switch is
        // made as the outermost critical section or suspension ends.
        me->ready_seq = ++kernel.sequence;
        kernel.yield_pending = true;
    } else if (self.isr_depth > 0) {
        kernel.yield_from_isr = true;
    }
    kernel_leave();
}

extern "C" TickType_t xTaskGetTickCount(void) { return static_cast<TickType_t>(now_ticks()); }

extern "C" TickType_t xTaskGetTickCountFromISR(void) { return static_cast<TickType_t>(now_ticks()); }
