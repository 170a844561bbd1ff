/* Tasks, scheduler control, task notifications and critical sections. */
#ifndef INC_TASK_H
#define INC_TASK_H

#ifndef INC_FREERTOS_H
#error "include FreeRTOS.h before task.h"
#endif

#ifdef __cplusplus
extern "C" {
#endif

struct tskTaskControlBlock;
typedef struct tskTaskControlBlock* TaskHandle_t;

typedef enum {
    eRunning = 0, /* the task is querying its own state */
    eReady,
    eBlocked,
    eSuspended,
    eDeleted,
    eInvalid
} eTaskState;

typedef enum {
    eNoAction = 0,
    eSetBits,
    eIncrement,
    eSetValueWithOverwrite,
    eSetValueWithoutOverwrite
} eNotifyAction;

#define tskIDLE_PRIORITY ((UBaseType_t)0U)
#define tskDEFAULT_INDEX_TO_NOTIFY 0

#define taskSCHEDULER_SUSPENDED ((BaseType_t)0)
#define taskSCHEDULER_NOT_STARTED ((BaseType_t)1)
#define taskSCHEDULER_RUNNING ((BaseType_t)2)

#define taskYIELD() portYIELD()
#define taskENTER_CRITICAL() portENTER_CRITICAL()
#define taskEXIT_CRITICAL() portEXIT_CRITICAL()
#define taskENTER_CRITICAL_FROM_ISR() portSET_INTERRUPT_MASK_FROM_ISR()
#define taskEXIT_CRITICAL_FROM_ISR(x) portCLEAR_INTERRUPT_MASK_FROM_ISR(x)
#define taskDISABLE_INTERRUPTS() portDISABLE_INTERRUPTS()
#define taskENABLE_INTERRUPTS() portENABLE_INTERRUPTS()

/* Creation and deletion. The control block and usStackDepth words of stack
 * allowance come from the kernel heap. */
BaseType_t xTaskCreate(TaskFunction_t pxTaskCode, const char* const pcName,
                       const configSTACK_DEPTH_TYPE usStackDepth, void* const pvParameters,
                       UBaseType_t uxPriority, TaskHandle_t* const pxCreatedTask);
void vTaskDelete(TaskHandle_t xTaskToDelete);

/* Delays. */
void vTaskDelay(const TickType_t xTicksToDelay);
BaseType_t xTaskDelayUntil(TickType_t* const pxPreviousWakeTime, const TickType_t xTimeIncrement);
#define vTaskDelayUntil(pxPreviousWakeTime, xTimeIncrement)                 \
    do {                                                                    \
        (void)xTaskDelayUntil((pxPreviousWakeTime), (xTimeIncrement));      \
    } while (0)
BaseType_t xTaskAbortDelay(TaskHandle_t xTask);

/* Priorities and state. */
UBaseType_t uxTaskPriorityGet(const TaskHandle_t xTask);
UBaseType_t uxTaskPriorityGetFromISR(const TaskHandle_t xTask);
void vTaskPrioritySet(TaskHandle_t xTask, UBaseType_t uxNewPriority);
eTaskState eTaskGetState(TaskHandle_t xTask);
void vTaskSuspend(TaskHandle_t xTaskToSuspend);
void vTaskResume(TaskHandle_t xTaskToResume);
BaseType_t xTaskResumeFromISR(TaskHandle_t xTaskToResume);
char* pcTaskGetName(TaskHandle_t xTaskToQuery);
TaskHandle_t xTaskGetHandle(const char* pcNameToQuery);
TaskHandle_t xTaskGetCurrentTaskHandle(void);
TaskHandle_t xTaskGetIdleTaskHandle(void);
UBaseType_t uxTaskGetNumberOfTasks(void);

/* Scheduler. vTaskStartScheduler returns only after vTaskEndScheduler;
 * vTaskEndScheduler called from a task does not return to it. */
void vTaskStartScheduler(void);
void vTaskEndScheduler(void);
void vTaskSuspendAll(void);
BaseType_t xTaskResumeAll(void);
BaseType_t xTaskGetSchedulerState(void);
TickType_t xTaskGetTickCount(void);
TickType_t xTaskGetTickCountFromISR(void);

/* Notifications (one per task). */
BaseType_t xTaskGenericNotify(TaskHandle_t xTaskToNotify, UBaseType_t uxIndexToNotify, uint32_t ulValue,
                              eNotifyAction eAction, uint32_t* pulPreviousNotificationValue);
BaseType_t xTaskGenericNotifyFromISR(TaskHandle_t xTaskToNotify, UBaseType_t uxIndexToNotify, uint32_t ulValue,
                                     eNotifyAction eAction, uint32_t* pulPreviousNotificationValue,
                                     BaseType_t* pxHigherPriorityTaskWoken);
void vTaskGenericNotifyGiveFromISR(TaskHandle_t xTaskToNotify, UBaseType_t uxIndexToNotify,
                                   BaseType_t* pxHigherPriorityTaskWoken);
BaseType_t xTaskGenericNotifyWait(UBaseType_t uxIndexToWaitOn, uint32_t ulBitsToClearOnEntry,
                                  uint32_t ulBitsToClearOnExit, uint32_t* pulNotificationValue,
                                  TickType_t xTicksToWait);
uint32_t ulTaskGenericNotifyTake(UBaseType_t uxIndexToWaitOn, BaseType_t xClearCountOnExit,
                                 TickType_t xTicksToWait);
BaseType_t xTaskGenericNotifyStateClear(TaskHandle_t xTask, UBaseType_t uxIndexToClear);
uint32_t ulTaskGenericNotifyValueClear(TaskHandle_t xTask, UBaseType_t uxIndexToClear, uint32_t ulBitsToClear);

#define xTaskNotify(xTaskToNotify, ulValue, eAction) \
    xTaskGenericNotify((xTaskToNotify), (tskDEFAULT_INDEX_TO_NOTIFY), (ulValue), (eAction), NULL)
#define xTaskNotifyAndQuery(xTaskToNotify, ulValue, eAction, pulPreviousNotifyValue)                    \
    xTaskGenericNotify((xTaskToNotify), (tskDEFAULT_INDEX_TO_NOTIFY), (ulValue), (eAction),           \
                       (pulPreviousNotifyValue))
#define xTaskNotifyGive(xTaskToNotify) \
    xTaskGenericNotify((xTaskToNotify), (tskDEFAULT_INDEX_TO_NOTIFY), (0), eIncrement, NULL)
#define xTaskNotifyFromISR(xTaskToNotify, ulValue, eAction, pxHigherPriorityTaskWoken)                  \
    xTaskGenericNotifyFromISR((xTaskToNotify), (tskDEFAULT_INDEX_TO_NOTIFY), (ulValue), (eAction), NULL, \
                              (pxHigherPriorityTaskWoken))
#define xTaskNotifyAndQueryFromISR(xTaskToNotify, ulValue, eAction, pulPreviousNotificationValue,        \
                                   pxHigherPriorityTaskWoken)                                           \
    xTaskGenericNotifyFromISR((xTaskToNotify), (tskDEFAULT_INDEX_TO_NOTIFY), (ulValue), (eAction),      \
                              (pulPreviousNotificationValue), (pxHigherPriorityTaskWoken))
#define vTaskNotifyGiveFromISR(xTaskToNotify, pxHigherPriorityTaskWoken) \
    vTaskGenericNotifyGiveFromISR((xTaskToNotify), (tskDEFAULT_INDEX_TO_NOTIFY), (pxHigherPriorityTaskWoken))
#define xTaskNotifyWait(ulBitsToClearOnEntry, ulBitsToClearOnExit, pulNotificationValue, xTicksToWait)   \
    xTaskGenericNotifyWait(tskDEFAULT_INDEX_TO_NOTIFY, (ulBitsToClearOnEntry), (ulBitsToClearOnExit),    \
                           (pulNotificationValue), (xTicksToWait))
#define ulTaskNotifyTake(xClearCountOnExit, xTicksToWait) \
    ulTaskGenericNotifyTake((tskDEFAULT_INDEX_TO_NOTIFY), (xClearCountOnExit), (xTicksToWait))
#define xTaskNotifyStateClear(xTask) xTaskGenericNotifyStateClear((xTask), (tskDEFAULT_INDEX_TO_NOTIFY))
#define ulTaskNotifyValueClear(xTask, ulBitsToClear) \
    ulTaskGenericNotifyValueClear((xTask), (tskDEFAULT_INDEX_TO_NOTIFY), (ulBitsToClear))

#ifdef __cplusplus
}
#endif

/* Host-only extensions for tasks (process exit on deletion). */
#include "sim_task.h"

#endif /* INC_TASK_H */
