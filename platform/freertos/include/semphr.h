/* Binary and counting semaphores, mutexes (with priority inheritance) and
 * recursive mutexes, all built on queues without item storage. */
#ifndef SEMAPHORE_H
#define SEMAPHORE_H

#ifndef INC_FREERTOS_H
#error "include FreeRTOS.h before semphr.h"
#endif

#include "queue.h"

typedef QueueHandle_t SemaphoreHandle_t;

#define semBINARY_SEMAPHORE_QUEUE_LENGTH ((uint8_t)1U)
#define semSEMAPHORE_QUEUE_ITEM_LENGTH ((uint8_t)0U)
#define semGIVE_BLOCK_TIME ((TickType_t)0U)

/* Created empty: the first take waits for a give. */
#define xSemaphoreCreateBinary() \
    xQueueGenericCreate((UBaseType_t)1, semSEMAPHORE_QUEUE_ITEM_LENGTH, queueQUEUE_TYPE_BINARY_SEMAPHORE)
/* The older form, created already given. */
#define vSemaphoreCreateBinary(xSemaphore)                                                             \
    do {                                                                                               \
        (xSemaphore) = xQueueGenericCreate((UBaseType_t)1, semSEMAPHORE_QUEUE_ITEM_LENGTH,             \
                                           queueQUEUE_TYPE_BINARY_SEMAPHORE);                          \
        if ((xSemaphore) != NULL) (void)xSemaphoreGive((xSemaphore));                                  \
    } while (0)
#define xSemaphoreCreateCounting(uxMaxCount, uxInitialCount) \
    xQueueCreateCountingSemaphore((uxMaxCount), (uxInitialCount))
#define xSemaphoreCreateMutex() xQueueCreateMutex(queueQUEUE_TYPE_MUTEX)
#define xSemaphoreCreateRecursiveMutex() xQueueCreateMutex(queueQUEUE_TYPE_RECURSIVE_MUTEX)

#define xSemaphoreTake(xSemaphore, xBlockTime) xQueueSemaphoreTake((xSemaphore), (xBlockTime))
#define xSemaphoreTakeRecursive(xMutex, xBlockTime) xQueueTakeMutexRecursive((xMutex), (xBlockTime))
#define xSemaphoreGive(xSemaphore) \
    xQueueGenericSend((QueueHandle_t)(xSemaphore), NULL, semGIVE_BLOCK_TIME, queueSEND_TO_BACK)
#define xSemaphoreGiveRecursive(xMutex) xQueueGiveMutexRecursive((xMutex))
#define xSemaphoreGiveFromISR(xSemaphore, pxHigherPriorityTaskWoken) \
    xQueueGiveFromISR((QueueHandle_t)(xSemaphore), (pxHigherPriorityTaskWoken))
#define xSemaphoreTakeFromISR(xSemaphore, pxHigherPriorityTaskWoken) \
    xQueueReceiveFromISR((QueueHandle_t)(xSemaphore), NULL, (pxHigherPriorityTaskWoken))
#define vSemaphoreDelete(xSemaphore) vQueueDelete((QueueHandle_t)(xSemaphore))
#define uxSemaphoreGetCount(xSemaphore) uxQueueMessagesWaiting((QueueHandle_t)(xSemaphore))
#define uxSemaphoreGetCountFromISR(xSemaphore) uxQueueMessagesWaitingFromISR((QueueHandle_t)(xSemaphore))
#define xSemaphoreGetMutexHolder(xSemaphore) xQueueGetMutexHolder((xSemaphore))

#endif /* SEMAPHORE_H */
