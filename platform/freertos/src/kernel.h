// Internal state of the RTOS stand-in, shared by its source files.
//
// One task runs at a time. Each task is a host thread; a thread executes
// only while its task is `kernel.current`, every other task thread waits on
// its own host semaphore. All kernel state is guarded by one process-wide
// mutex, the CPU lock, which also stands for "interrupts masked": interrupts
// (host threads of their own) hold it while they run. See
// platform/README.md for the whole model.
#pragma once

#include <pthread.h>
#include <semaphore.h>
#include <setjmp.h>
#include <signal.h>

#include <atomic>
#include <cstdint>

#include "FreeRTOS.h"
#include "sim_clock.h"
#include "task.h"

struct tskTaskControlBlock;
struct QueueDefinition;

namespace tarvelo::rtos {

enum class TaskState : std::uint8_t { Ready, Blocked, Suspended, Deleted };

// What a blocked task waits for; `wait_object` names the object.
enum class WaitKind : std::uint8_t { None, Delay, QueueSend, QueueReceive, EventBits, Notify };

// Why a blocked task became ready again.
enum class WakeReason : std::uint8_t { None, Event, Timeout, Aborted, ObjectDeleted, Resumed };

enum class SchedulerState : std::uint8_t { NotStarted, Running, Ending };

enum class NotifyState : std::uint8_t { NotWaiting, Waiting, Received };

// Life of a host thread slot.
enum HostThreadState : int { kSlotFree = 0, kSlotUsed, kSlotExited, kSlotJoining };

constexpr std::uint64_t kForever = UINT64_MAX;
constexpr std::uint32_t kTaskMagic = 0x7A5CB10Cu;

struct ThreadContext;

// The host side of a task: its thread and the semaphore it waits on. Kept
// in a static pool apart from the control block, because the thread of a
// deleted task still runs for a moment after its control block is freed.
struct HostThread {
    pthread_t thread;
    sem_t wake;             // posted each time the CPU is handed to this task
    sigjmp_buf exit_point;  // where the thread of a deleted task unwinds to
    std::atomic<int> state;
    bool killed;            // the task was deleted or the scheduler ends (CPU lock)
    tskTaskControlBlock* task;  // set before the thread starts; stale once killed
    // The thread's own context once it runs (null before), through which a
    // switch request sees whether the thread is inside a region.
    std::atomic<ThreadContext*> context;
    // A switch asked of the running task while it was inside a region: its
    // region's end makes it, without a signal.
    std::atomic<bool> switch_requested;
};

}  // namespace tarvelo::rtos

// Task control block (the handle type's structure). Lives in the kernel heap.
struct tskTaskControlBlock {
    std::uint32_t magic;
    tskTaskControlBlock* next_task;  // list of all tasks
    tskTaskControlBlock* prev_task;
    char name[configMAX_TASK_NAME_LEN];
    TaskFunction_t entry;
    void* parameter;
    UBaseType_t priority;       // effective (may be inherited)
    UBaseType_t base_priority;  // as set by the application
    UBaseType_t mutexes_held;
    tarvelo::rtos::TaskState state;
    std::uint64_t ready_seq;  // order among ready tasks of one priority

    // Waiting.
    void* wait_object;
    tarvelo::rtos::WaitKind wait_kind;
    tarvelo::rtos::WakeReason wake_reason;
    std::uint64_t wait_seq;  // order among the waiters of one object
    std::uint64_t deadline;  // absolute tick, kForever for none
    std::uint32_t wait_bits;  // event group wait
    bool wait_all;
    bool wait_clear;
    std::uint32_t event_result;

    std::uint32_t notify_value[configTASK_NOTIFICATION_ARRAY_ENTRIES];
    tarvelo::rtos::NotifyState notify_state[configTASK_NOTIFICATION_ARRAY_ENTRIES];

    StackType_t* stack;  // the stack allowance taken from the kernel heap
    tarvelo::rtos::HostThread* host;
    bool exit_on_delete;
    int exit_status;
};

namespace tarvelo::rtos {

using Tcb = tskTaskControlBlock;

struct Kernel {
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;  // the CPU lock
    pthread_cond_t idle_cv = PTHREAD_COND_INITIALIZER;  // idle task waits for work
    pthread_cond_t main_cv = PTHREAD_COND_INITIALIZER;  // vTaskStartScheduler waits for the end
    SchedulerState state = SchedulerState::NotStarted;
    Tcb* tasks = nullptr;
    Tcb* current = nullptr;
    Tcb* idle = nullptr;
    UBaseType_t task_count = 0;
    // 64-bit internally so that deadlines never wrap; the API sees 32 bits.
    std::atomic<std::uint64_t> ticks{0};
    std::uint64_t pended_ticks = 0;  // ticks that arrived while suspended
    std::uint64_t sequence = 0;
    UBaseType_t suspend_depth = 0;  // vTaskSuspendAll nesting
    bool yield_pending = false;     // the running task asked to go behind its equals
    bool yield_from_isr = false;    // portYIELD_FROM_ISR(pdTRUE) in this interrupt
    std::uint64_t idle_kicks = 0;   // interrupts and time jumps seen by the idle task
    std::uint64_t idle_seen_kicks = 0;
    std::atomic<int> interrupts_waiting{0};
    SimClockMode_t clock = eSimClockReal;  // in force while running
    SimClockMode_t requested_clock = eSimClockDefault;
};

// Per host thread.
struct ThreadContext {
    Tcb* task;          // the task this thread runs, or null
    HostThread* host;
    // No asynchronous switch while above zero. Written by its own thread
    // only; read by a thread asking for a switch.
    std::atomic<int> region;
    int lock_depth;     // nesting of the CPU lock held by this thread
    int isr_depth;      // nesting of interrupt context
    volatile sig_atomic_t pending;  // a preemption request came inside a region
    bool interrupts_disabled;       // taskDISABLE_INTERRUPTS in force
};

extern constinit Kernel kernel;
extern thread_local constinit ThreadContext self;

// --- CPU lock and regions (cpu_lock.cpp) ---------------------------------
void region_enter();
void region_exit();
void lock_take();
void lock_give();
// A kernel call: region + lock; the exit makes any switch the call made due.
void kernel_enter();
void kernel_leave();
inline bool in_interrupt() { return self.isr_depth > 0; }

// --- Scheduling (scheduler.cpp) -------------------------------------------
Tcb* highest_ready();
bool higher_ready_than(const Tcb* task);
// The running task should give the CPU away now.
bool should_switch(const Tcb* me);
// Hands the CPU to the best ready task and returns when `me` runs again.
// CPU lock held once by the caller, `me` the current task.
void reschedule(Tcb* me);
// Waits (lock held once) until `me` is the running task again.
void wait_for_turn(Tcb* me);
// Ends the calling task thread (lock held). Does not return.
[[noreturn]] void exit_thread();
void make_ready(Tcb* task, WakeReason reason);
// True when the caller is the running task and may wait.
bool can_block();
// Blocks the running task until woken or `deadline`; returns why it woke.
WakeReason block_current(void* object, WaitKind kind, std::uint64_t deadline);
std::uint64_t deadline_after(TickType_t ticks);
std::uint64_t now_ticks();
Tcb* highest_waiter(const void* object, WaitKind kind);
// Readies the highest-priority waiter; returns it (or null).
Tcb* wake_one(const void* object, WaitKind kind);
// Readies every waiter of a deleted object.
void wake_all_deleted(const void* object);
// The woken task outranks the running one.
bool outranks_current(const Tcb* task);
// Sets the effective priority and keeps the ready order right.
void set_effective_priority(Tcb* task, UBaseType_t priority);
void link_task(Tcb* task);
void unlink_task(Tcb* task);
Tcb* resolve(TaskHandle_t handle);

// --- Preemption (preemption.cpp) -------------------------------------------
void install_preempt_handler();
void block_preempt_signal();
// Asks the running task to switch at once (from an interrupt or another
// host thread).
void request_switch();
void kick_idle();

// --- Interrupts (interrupts.cpp) --------------------------------------------
void interrupt_enter();
void interrupt_exit(bool tick);
void start_interrupt_thread();
void stop_interrupt_thread();
void reset_interrupts();
// Interrupts raised or waiting to enter that have not finished.
bool interrupts_outstanding();

// --- Clock (clock.cpp) ----------------------------------------------------
// Applies ticks (deferred while the scheduler is suspended). Lock held.
void apply_ticks(std::uint64_t count);
void advance_to(std::uint64_t tick);
// Moves time to the earliest deadline of a blocked task; false if none.
bool jump_to_next_deadline();
SimClockMode_t resolve_clock_mode();
void start_tick_thread();
void stop_tick_thread();

// --- Host threads (host_threads.cpp) ----------------------------------------
HostThread* acquire_host_thread();
bool spawn_task_thread(HostThread* host);
void release_host_thread(HostThread* host);
// Pins the calling thread to the host CPU TARVELO_HOST_CPU chose (nothing
// when unset); task threads are pinned when spawned, and threads created
// by pinned threads inherit it.
void pin_to_host_cpu();
// True when TARVELO_HOST_CPU put every thread of the kernel on one host CPU.
bool pinned_to_host_cpu();
// Joins the threads of deleted tasks that have ended.
void reap_host_threads();
void join_all_host_threads();

// --- Queues (queue.cpp) -----------------------------------------------------
// Receives with an absolute deadline; the caller holds the lock once.
BaseType_t queue_receive_until(QueueDefinition* queue, void* buffer, std::uint64_t deadline);
// Forgets a creation a test asked to fail (vSimFailQueueCreation).
void reset_queues();

// --- Tasks and the rest -----------------------------------------------------
void idle_task_main(void*);
bool start_timer_service();
void reset_timers();
void reset_kernel_heap();
// Ends the process when a task chosen by vSimExitProcessOnDelete goes.
void exit_process_if_chosen(const Tcb* task);

}  // namespace tarvelo::rtos
