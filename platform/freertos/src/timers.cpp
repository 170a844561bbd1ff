// Software timers. Timer commands go through the timer command queue to the
// timer task ("Tmr Svc", priority 9), which keeps the list of active timers
// and runs the callbacks, so callbacks run at the timer task's priority and
// preempt any lower task when a timer expires.
#include <new>

#include "kernel.h"
#include "queue.h"
#include "timers.h"

struct tmrTimerControl {
    std::uint32_t magic;
    const char* name;
    TickType_t period;
    bool auto_reload;
    void* id;
    TimerCallbackFunction_t callback;
    // Owned by the timer task (read by others under the lock).
    bool active;
    std::uint64_t expiry;
    std::uint64_t seq;
    tmrTimerControl* next_active;
};

namespace tarvelo::rtos {

namespace {

constexpr std::uint32_t kTimerMagic = 0x7173E5AAu;

struct Command {
    BaseType_t id;
    tmrTimerControl* timer;
    TickType_t value;  // time of the command, or the new period
    PendedFunction_t function;
    void* parameter1;
    std::uint32_t parameter2;
};

QueueHandle_t command_queue = nullptr;
TaskHandle_t timer_task = nullptr;
tmrTimerControl* active_timers = nullptr;
std::uint64_t timer_sequence = 0;

bool ensure_command_queue() {
    kernel_enter();
    if (command_queue == nullptr) command_queue = xQueueCreate(configTIMER_QUEUE_LENGTH, sizeof(Command));
    bool ok = command_queue != nullptr;
    kernel_leave();
    return ok;
}

void remove_active(tmrTimerControl* timer) {
    for (tmrTimerControl** p = &active_timers; *p != nullptr; p = &(*p)->next_active) {
        if (*p == timer) {
            *p = timer->next_active;
            break;
        }
    }
    timer->next_active = nullptr;
    timer->active = false;
}

void arm(tmrTimerControl* timer, std::uint64_t expiry) {
    if (timer->active) remove_active(timer);
    timer->active = true;
    timer->expiry = expiry;
    timer->seq = ++timer_sequence;
    timer->next_active = active_timers;
    active_timers = timer;
}

tmrTimerControl* earliest_active() {
    tmrTimerControl* best = nullptr;
    for (tmrTimerControl* t = active_timers; t != nullptr; t = t->next_active)
        if (best == nullptr || t->expiry < best->expiry || (t->expiry == best->expiry && t->seq < best->seq))
            best = t;
    return best;
}

// The 64-bit tick at which a command stamped with the 32-bit `stamp` was
// sent (it is never in the future).
std::uint64_t tick_of_stamp(TickType_t stamp) {
    std::uint64_t now = now_ticks();
    auto age = static_cast<TickType_t>(static_cast<TickType_t>(now) - stamp);
    return now >= age ? now - age : 0;
}

// Applies a command (lock held). True when the command is a pended
// function call, to be made once the lock is released.
bool process(const Command& c) {
    tmrTimerControl* t = c.timer;
    switch (c.id) {
        case tmrCOMMAND_EXECUTE_CALLBACK:
        case tmrCOMMAND_EXECUTE_CALLBACK_FROM_ISR:
            return true;
        default:
            break;
    }
    if (t == nullptr || t->magic != kTimerMagic) return false;
    switch (c.id) {
        case tmrCOMMAND_START_DONT_TRACE:
        case tmrCOMMAND_START:
        case tmrCOMMAND_RESET:
        case tmrCOMMAND_START_FROM_ISR:
        case tmrCOMMAND_RESET_FROM_ISR:
            // Counted from when the command was sent: a timer whose time
            // passed while the command waited in the queue fires at once.
            arm(t, tick_of_stamp(c.value) + t->period);
            break;
        case tmrCOMMAND_STOP:
        case tmrCOMMAND_STOP_FROM_ISR:
            if (t->active) remove_active(t);
            break;
        case tmrCOMMAND_CHANGE_PERIOD:
        case tmrCOMMAND_CHANGE_PERIOD_FROM_ISR:
            t->period = c.value;
            arm(t, now_ticks() + t->period);
            break;
        case tmrCOMMAND_DELETE:
            if (t->active) remove_active(t);
            t->magic = 0;
            vPortFree(t);
            break;
        default:
            break;
    }
    return false;
}

void timer_task_main(void*) {
    for (;;) {
        kernel_enter();
        tmrTimerControl* due = earliest_active();
        if (due != nullptr && due->expiry <= now_ticks()) {
            if (due->auto_reload) {
                // Missed periods are each reported, in order.
                arm(due, due->expiry + due->period);
            } else {
                remove_active(due);
            }
            TimerCallbackFunction_t callback = due->callback;
            kernel_leave();
            callback(due);
            continue;
        }
        std::uint64_t deadline = due != nullptr ? due->expiry : kForever;
        Command c{};
        bool call = false;
        if (queue_receive_until(command_queue, &c, deadline) == pdPASS) call = process(c);
        kernel_leave();
        if (call && c.function != nullptr) c.function(c.parameter1, c.parameter2);
    }
}

BaseType_t send_command(const Command& c, BaseType_t* woken, TickType_t wait, bool from_isr) {
    if (command_queue == nullptr) return pdFAIL;
    if (from_isr) return xQueueSendToBackFromISR(command_queue, &c, woken);
    // Before the scheduler runs, a command cannot wait for room.
    if (xTaskGetSchedulerState() != taskSCHEDULER_RUNNING) wait = 0;
    return xQueueSendToBack(command_queue, &c, wait);
}

}  // namespace

bool start_timer_service() {
    if (!ensure_command_queue()) return false;
    return xTaskCreate(timer_task_main, "Tmr Svc", configTIMER_TASK_STACK_DEPTH, nullptr, configTIMER_TASK_PRIORITY,
                       &timer_task) == pdPASS;
}

void reset_timers() {
    command_queue = nullptr;
    timer_task = nullptr;
    active_timers = nullptr;
    timer_sequence = 0;
}

}  // namespace tarvelo::rtos

using namespace tarvelo::rtos;

extern "C" TimerHandle_t xTimerCreate(const char* const pcTimerName, const TickType_t xTimerPeriodInTicks,
                                      const BaseType_t xAutoReload, void* const pvTimerID,
                                      TimerCallbackFunction_t pxCallbackFunction) {
    configASSERT(xTimerPeriodInTicks > 0);
    configASSERT(pxCallbackFunction != nullptr);
    if (!ensure_command_queue()) return nullptr;
    void* memory = pvPortMalloc(sizeof(tmrTimerControl));
    if (memory == nullptr) return nullptr;
    auto* t = new (memory) tmrTimerControl{};
    t->magic = kTimerMagic;
    t->name = pcTimerName;
    t->period = xTimerPeriodInTicks;
    t->auto_reload = xAutoReload != pdFALSE;
    t->id = pvTimerID;
    t->callback = pxCallbackFunction;
    return t;
}

extern "C" BaseType_t xTimerGenericCommand(TimerHandle_t xTimer, const BaseType_t xCommandID,
                                           const TickType_t xOptionalValue,
                                           BaseType_t* const pxHigherPriorityTaskWoken,
                                           const TickType_t xTicksToWait) {
    configASSERT(xTimer != nullptr);
    if (xCommandID == tmrCOMMAND_CHANGE_PERIOD || xCommandID == tmrCOMMAND_CHANGE_PERIOD_FROM_ISR)
        configASSERT(xOptionalValue > 0);
    Command c{xCommandID, xTimer, xOptionalValue, nullptr, nullptr, 0};
    return send_command(c, pxHigherPriorityTaskWoken, xTicksToWait, xCommandID >= tmrFIRST_FROM_ISR_COMMAND);
}

extern "C" BaseType_t xTimerPendFunctionCall(PendedFunction_t xFunctionToPend, void* pvParameter1,
                                             uint32_t ulParameter2, TickType_t xTicksToWait) {
    Command c{tmrCOMMAND_EXECUTE_CALLBACK, nullptr, 0, xFunctionToPend, pvParameter1, ulParameter2};
    return send_command(c, nullptr, xTicksToWait, false);
}

extern "C" BaseType_t xTimerPendFunctionCallFromISR(PendedFunction_t xFunctionToPend, void* pvParameter1,
                                                    uint32_t ulParameter2, BaseType_t* pxHigherPriorityTaskWoken) {
    Command c{tmrCOMMAND_EXECUTE_CALLBACK_FROM_ISR, nullptr, 0, xFunctionToPend, pvParameter1, ulParameter2};
    return send_command(c, pxHigherPriorityTaskWoken, 0, true);
}

extern "C" void* pvTimerGetTimerID(const TimerHandle_t xTimer) {
    configASSERT(xTimer != nullptr);
    kernel_enter();
    void* id = xTimer->id;
    kernel_leave();
    return id;
}

extern "C" void vTimerSetTimerID(TimerHandle_t xTimer, void* pvNewID) {
    configASSERT(xTimer != nullptr);
    kernel_enter();
    xTimer->id = pvNewID;
    kernel_leave();
}

extern "C" BaseType_t xTimerIsTimerActive(TimerHandle_t xTimer) {
    configASSERT(xTimer != nullptr);
    kernel_enter();
    BaseType_t active = xTimer->active ? pdTRUE : pdFALSE;
    kernel_leave();
    return active;
}

extern "C" const char* pcTimerGetName(TimerHandle_t xTimer) {
    configASSERT(xTimer != nullptr);
    return xTimer->name;
}

extern "C" TickType_t xTimerGetPeriod(TimerHandle_t xTimer) {
    configASSERT(xTimer != nullptr);
    kernel_enter();
    TickType_t period = xTimer->period;
    kernel_leave();
    return period;
}

extern "C" TickType_t xTimerGetExpiryTime(TimerHandle_t xTimer) {
    configASSERT(xTimer != nullptr);
    kernel_enter();
    auto expiry = static_cast<TickType_t>(xTimer->expiry);
    kernel_leave();
    return expiry;
}

extern "C" void vTimerSetReloadMode(TimerHandle_t xTimer, const BaseType_t xAutoReload) {
    configASSERT(xTimer != nullptr);
    kernel_enter();
    xTimer->auto_reload = xAutoReload != pdFALSE;
    kernel_leave();
}

extern "C" BaseType_t xTimerGetReloadMode(TimerHandle_t xTimer) {
    configASSERT(xTimer != nullptr);
    kernel_enter();
    BaseType_t mode = xTimer->auto_reload ? pdTRUE : pdFALSE;
    kernel_leave();
    return mode;
}

extern "C" TaskHandle_t xTimerGetTimerDaemonTaskHandle(void) { return timer_task; }
