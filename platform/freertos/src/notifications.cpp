// Direct-to-task notifications: one 32-bit value and state per task.
#include "kernel.h"

namespace tarvelo::rtos {

namespace {

// Applies `action`; false when a value was pending and must not be
// overwritten. Lock held.
bool notify_locked(Tcb* task, UBaseType_t index, std::uint32_t value, eNotifyAction action,
                   std::uint32_t* previous) {
    if (previous != nullptr) *previous = task->notify_value[index];
    NotifyState before = task->notify_state[index];
    task->notify_state[index] = NotifyState::Received;
    bool ok = true;
    std::uint32_t& v = task->notify_value[index];
    switch (action) {
        case eSetBits: v |= value; break;
        case eIncrement: ++v; break;
        case eSetValueWithOverwrite: v = value; break;
        case eSetValueWithoutOverwrite:
            if (before != NotifyState::Received) {
                v = value;
            } else {
                ok = false;
            }
            break;
        case eNoAction: break;
    }
    if (before == NotifyState::Waiting && task->state == TaskState::Blocked && task->wait_kind == WaitKind::Notify)
        make_ready(task, WakeReason::Event);
    return ok;
}

}  // namespace

}  // namespace tarvelo::rtos

using namespace tarvelo::rtos;

extern "C" BaseType_t xTaskGenericNotify(TaskHandle_t xTaskToNotify, UBaseType_t uxIndexToNotify, uint32_t ulValue,
                                         eNotifyAction eAction, uint32_t* pulPreviousNotificationValue) {
    configASSERT(xTaskToNotify != nullptr && uxIndexToNotify < configTASK_NOTIFICATION_ARRAY_ENTRIES);
    kernel_enter();
    bool ok = notify_locked(xTaskToNotify, uxIndexToNotify, ulValue, eAction, pulPreviousNotificationValue);
    kernel_leave();
    return ok ? pdPASS : pdFAIL;
}

extern "C" BaseType_t xTaskGenericNotifyFromISR(TaskHandle_t xTaskToNotify, UBaseType_t uxIndexToNotify,
                                                uint32_t ulValue, eNotifyAction eAction,
                                                uint32_t* pulPreviousNotificationValue,
                                                BaseType_t* pxHigherPriorityTaskWoken) {
    configASSERT(xTaskToNotify != nullptr && uxIndexToNotify < configTASK_NOTIFICATION_ARRAY_ENTRIES);
    kernel_enter();
    bool was_blocked = xTaskToNotify->state == TaskState::Blocked;
    bool ok = notify_locked(xTaskToNotify, uxIndexToNotify, ulValue, eAction, pulPreviousNotificationValue);
    if (was_blocked && xTaskToNotify->state == TaskState::Ready && outranks_current(xTaskToNotify) &&
        pxHigherPriorityTaskWoken != nullptr)
        *pxHigherPriorityTaskWoken = pdTRUE;
    kernel_leave();
    return ok ? pdPASS : pdFAIL;
}

extern "C" void vTaskGenericNotifyGiveFromISR(TaskHandle_t xTaskToNotify, UBaseType_t uxIndexToNotify,
                                              BaseType_t* pxHigherPriorityTaskWoken) {
    (void)xTaskGenericNotifyFromISR(xTaskToNotify, uxIndexToNotify, 0, eIncrement, nullptr,
                                    pxHigherPriorityTaskWoken);
}

extern "C" uint32_t ulTaskGenericNotifyTake(UBaseType_t uxIndexToWaitOn, BaseType_t xClearCountOnExit,
                                            TickType_t xTicksToWait) {
    configASSERT(uxIndexToWaitOn < configTASK_NOTIFICATION_ARRAY_ENTRIES);
    kernel_enter();
    Tcb* me = self.task;
    uint32_t value = 0;
    if (me != nullptr) {
        if (me->notify_value[uxIndexToWaitOn] == 0 && xTicksToWait > 0 && can_block()) {
            me->notify_state[uxIndexToWaitOn] = NotifyState::Waiting;
            block_current(nullptr, WaitKind::Notify, deadline_after(xTicksToWait));
        }
        value = me->notify_value[uxIndexToWaitOn];
        if (value != 0) me->notify_value[uxIndexToWaitOn] = xClearCountOnExit != pdFALSE ? 0 : value - 1;
        me->notify_state[uxIndexToWaitOn] = NotifyState::NotWaiting;
    }
    kernel_leave();
    return value;
}

extern "C" BaseType_t xTaskGenericNotifyWait(UBaseType_t uxIndexToWaitOn, uint32_t ulBitsToClearOnEntry,
                                             uint32_t ulBitsToClearOnExit, uint32_t* pulNotificationValue,
                                             TickType_t xTicksToWait) {
    configASSERT(uxIndexToWaitOn < configTASK_NOTIFICATION_ARRAY_ENTRIES);
    kernel_enter();
    Tcb* me = self.task;
    BaseType_t received = pdFALSE;
    if (me != nullptr) {
        NotifyState& state = me->notify_state[uxIndexToWaitOn];
        uint32_t& value = me->notify_value[uxIndexToWaitOn];
        if (state != NotifyState::Received) {
            value &= ~ulBitsToClearOnEntry;
            state = NotifyState::Waiting;
            if (xTicksToWait > 0 && can_block())
                block_current(nullptr, WaitKind::Notify, deadline_after(xTicksToWait));
        }
        if (pulNotificationValue != nullptr) *pulNotificationValue = value;
        if (state == NotifyState::Received) {
            value &= ~ulBitsToClearOnExit;
            received = pdTRUE;
        }
        state = NotifyState::NotWaiting;
    }
    kernel_leave();
    return received;
}

extern "C" BaseType_t xTaskGenericNotifyStateClear(TaskHandle_t xTask, UBaseType_t uxIndexToClear) {
    configASSERT(uxIndexToClear < configTASK_NOTIFICATION_ARRAY_ENTRIES);
    kernel_enter();
    Tcb* task = resolve(xTask);
    BaseType_t cleared = pdFAIL;
    if (task != nullptr && task->notify_state[uxIndexToClear] == NotifyState::Received) {
        task->notify_state[uxIndexToClear] = NotifyState::NotWaiting;
        cleared = pdPASS;
    }
    kernel_leave();
    return cleared;
}

extern "C" uint32_t ulTaskGenericNotifyValueClear(TaskHandle_t xTask, UBaseType_t uxIndexToClear,
                                                  uint32_t ulBitsToClear) {
    configASSERT(uxIndexToClear < configTASK_NOTIFICATION_ARRAY_ENTRIES);
    kernel_enter();
    Tcb* task = resolve(xTask);
    uint32_t old = 0;
    if (task != nullptr) {
        old = task->notify_value[uxIndexToClear];
        task->notify_value[uxIndexToClear] &= ~ulBitsToClear;
    }
    kernel_leave();
    return old;
}
