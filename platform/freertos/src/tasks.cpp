// The task API: creation, deletion, delays, suspension, priorities and
// task state.
#include <cstring>
#include <new>

#include "kernel.h"

using namespace tarvelo::rtos;

extern "C" BaseType_t xTaskCreate(TaskFunction_t pxTaskCode, const char* const pcName,
                                  const configSTACK_DEPTH_TYPE usStackDepth, void* const pvParameters,
                                  UBaseType_t uxPriority, TaskHandle_t* const pxCreatedTask) {
    configASSERT(pxTaskCode != nullptr);
    configASSERT(uxPriority < configMAX_PRIORITIES);
    auto* stack = static_cast<StackType_t*>(pvPortMalloc(static_cast<size_t>(usStackDepth) * sizeof(StackType_t)));
    if (stack == nullptr) return errCOULD_NOT_ALLOCATE_REQUIRED_MEMORY;
    void* memory = pvPortMalloc(sizeof(Tcb));
    if (memory == nullptr) {
        vPortFree(stack);
        return errCOULD_NOT_ALLOCATE_REQUIRED_MEMORY;
    }
    Tcb* task = new (memory) Tcb{};
    task->magic = kTaskMagic;
    if (pcName != nullptr) {
        std::strncpy(task->name, pcName, sizeof task->name - 1);
        task->name[sizeof task->name - 1] = '\0';
    }
    task->entry = pxTaskCode;
    task->parameter = pvParameters;
    task->priority = task->base_priority = uxPriority;
    task->state = TaskState::Ready;
    task->wait_kind = WaitKind::None;
    task->wake_reason = WakeReason::None;
    task->deadline = kForever;
    task->stack = stack;

    HostThread* host = acquire_host_thread();
    if (host != nullptr) {
        host->task = task;
        task->host = host;
        // Thread creation takes host locks: no asynchronous switch meanwhile.
        region_enter();
        bool spawned = spawn_task_thread(host);
        region_exit();
        if (!spawned) {
            release_host_thread(host);
            host = nullptr;
        }
    }
    if (host == nullptr) {
        task->magic = 0;
        vPortFree(task);
        vPortFree(stack);
        return errCOULD_NOT_ALLOCATE_REQUIRED_MEMORY;
    }
    // The handle is valid before the new task can run.
    if (pxCreatedTask != nullptr) *pxCreatedTask = task;
    kernel_enter();
    task->ready_seq = ++kernel.sequence;
    link_task(task);
    if (kernel.state == SchedulerState::Ending) {
        // Too late to run: the thread ends with the others.
        host->killed = true;
        sem_post(&host->wake);
    }
    kernel_leave();
    return pdPASS;
}

extern "C" void vTaskDelete(TaskHandle_t xTaskToDelete) {
    kernel_enter();
    Tcb* task = resolve(xTaskToDelete);
    configASSERT(task != nullptr && task->magic == kTaskMagic);
    // The running task can only delete itself.
    configASSERT(task != kernel.current || task == self.task || kernel.state != SchedulerState::Running);
    exit_process_if_chosen(task);
    bool is_self = task == self.task;
    HostThread* host = task->host;
    unlink_task(task);
    task->state = TaskState::Deleted;
    task->magic = 0;
    host->killed = true;
    vPortFree(task->stack);
    vPortFree(task);
    if (is_self) {
        if (kernel.state == SchedulerState::Running) {
            hand_over(highest_ready());
        }
        exit_thread();
    }
    // The thread wakes, finds itself killed and ends.
    sem_post(&host->wake);
    kernel_leave();
}

extern "C" void vTaskDelay(const TickType_t xTicksToDelay) {
    if (xTicksToDelay == 0) {
        vPortYield();
        return;
    }
    kernel_enter();
    if (can_block()) block_current(nullptr, WaitKind::Delay, now_ticks() + xTicksToDelay);
    kernel_leave();
}

extern "C" BaseType_t xTaskDelayUntil(TickType_t* const pxPreviousWakeTime, const TickType_t xTimeIncrement) {
    configASSERT(pxPreviousWakeTime != nullptr);
    configASSERT(xTimeIncrement > 0);
    kernel_enter();
    const auto now = static_cast<TickType_t>(now_ticks());
    const TickType_t previous = *pxPreviousWakeTime;
    const TickType_t wake = previous + xTimeIncrement;
    bool should_delay;
    if (now < previous) {
        // The tick count wrapped since the previous wake: only a wake time
        // that wrapped too and is still ahead is a delay.
        should_delay = wake < previous && wake > now;
    } else {
        should_delay = wake < previous || wake > now;
    }
    *pxPreviousWakeTime = wake;
    if (should_delay && can_block())
        block_current(nullptr, WaitKind::Delay, now_ticks() + static_cast<TickType_t>(wake - now));
    kernel_leave();
    return should_delay ? pdTRUE : pdFALSE;
}

extern "C" BaseType_t xTaskAbortDelay(TaskHandle_t xTask) {
    kernel_enter();
    BaseType_t aborted = pdFAIL;
    if (xTask != nullptr && xTask->state == TaskState::Blocked) {
        make_ready(xTask, WakeReason::Aborted);
        aborted = pdPASS;
    }
    kernel_leave();
    return aborted;
}

extern "C" UBaseType_t uxTaskPriorityGet(const TaskHandle_t xTask) {
    kernel_enter();
    Tcb* task = resolve(xTask);
    UBaseType_t p = task != nullptr ? task->priority : 0;
    kernel_leave();
    return p;
}

extern "C" UBaseType_t uxTaskPriorityGetFromISR(const TaskHandle_t xTask) { return uxTaskPriorityGet(xTask); }

extern "C" void vTaskPrioritySet(TaskHandle_t xTask, UBaseType_t uxNewPriority) {
    configASSERT(uxNewPriority < configMAX_PRIORITIES);
    kernel_enter();
    Tcb* task = resolve(xTask);
    if (task != nullptr && task->base_priority != uxNewPriority) {
        bool lowering_running = task == kernel.current && uxNewPriority < task->priority;
        // While the task holds an inherited priority, only a rise above it
        // changes the effective priority now.
        if (task->priority == task->base_priority || uxNewPriority > task->priority)
            set_effective_priority(task, uxNewPriority);
        task->base_priority = uxNewPriority;
        if (lowering_running) kernel.yield_pending = true;
    }
    kernel_leave();
}

extern "C" eTaskState eTaskGetState(TaskHandle_t xTask) {
    if (xTask == nullptr) return eInvalid;
    kernel_enter();
    eTaskState s;
    if (xTask->magic != kTaskMagic) {
        s = eDeleted;
    } else if (xTask == kernel.current && kernel.state == SchedulerState::Running) {
        s = eRunning;
    } else {
        switch (xTask->state) {
            case TaskState::Ready: s = eReady; break;
            case TaskState::Blocked: s = eBlocked; break;
            case TaskState::Suspended: s = eSuspended; break;
            default: s = eDeleted; break;
        }
    }
    kernel_leave();
    return s;
}

extern "C" void vTaskSuspend(TaskHandle_t xTaskToSuspend) {
    kernel_enter();
    Tcb* task = resolve(xTaskToSuspend);
    configASSERT(task != nullptr && task->magic == kTaskMagic);
    if (task->state != TaskState::Suspended) {
        // A suspended task neither times out nor receives what it waited
        // for; its blocking call checks again when it is resumed.
        for (auto& state : task->notify_state)
            if (state == NotifyState::Waiting) state = NotifyState::NotWaiting;
        task->state = TaskState::Suspended;
        task->wait_object = nullptr;
        task->wait_kind = WaitKind::None;
        task->deadline = kForever;
        task->wake_reason = WakeReason::Resumed;
        if (task == kernel.current && task == self.task && kernel.state == SchedulerState::Running) {
            configASSERT(kernel.suspend_depth == 0 && self.lock_depth == 1);
            reschedule(task);
        }
    }
    kernel_leave();
}

extern "C" void vTaskResume(TaskHandle_t xTaskToResume) {
    kernel_enter();
    Tcb* task = xTaskToResume;
    if (task != nullptr && task->magic == kTaskMagic && task->state == TaskState::Suspended)
        make_ready(task, WakeReason::Resumed);
    kernel_leave();
}

extern "C" BaseType_t xTaskResumeFromISR(TaskHandle_t xTaskToResume) {
    kernel_enter();
    BaseType_t yield = pdFALSE;
    Tcb* task = xTaskToResume;
    if (task != nullptr && task->magic == kTaskMagic && task->state == TaskState::Suspended) {
        make_ready(task, WakeReason::Resumed);
        if (kernel.current != nullptr && task->priority >= kernel.current->priority) yield = pdTRUE;
    }
    kernel_leave();
    return yield;
}

extern "C" char* pcTaskGetName(TaskHandle_t xTaskToQuery) {
    kernel_enter();
    Tcb* task = resolve(xTaskToQuery);
    char* name = task != nullptr ? task->name : nullptr;
    kernel_leave();
    return name;
}

extern "C" TaskHandle_t xTaskGetHandle(const char* pcNameToQuery) {
    if (pcNameToQuery == nullptr) return nullptr;
    kernel_enter();
    Tcb* found = nullptr;
    for (Tcb* t = kernel.tasks; t != nullptr && found == nullptr; t = t->next_task)
        if (std::strncmp(t->name, pcNameToQuery, configMAX_TASK_NAME_LEN - 1) == 0) found = t;
    kernel_leave();
    return found;
}

extern "C" TaskHandle_t xTaskGetCurrentTaskHandle(void) {
    if (self.task != nullptr) return self.task;
    kernel_enter();
    Tcb* t = kernel.current;
    kernel_leave();
    return t;
}

extern "C" TaskHandle_t xTaskGetIdleTaskHandle(void) {
    kernel_enter();
    Tcb* t = kernel.idle;
    kernel_leave();
    return t;
}

extern "C" UBaseType_t uxTaskGetNumberOfTasks(void) {
    kernel_enter();
    UBaseType_t n = kernel.task_count;
    kernel_leave();
    return n;
}
