#include "port/async/osal.h"

#include "FreeRTOS.h"
#include "queue.h"
#include "semphr.h"
#include "task.h"

extern "C" {

std::uint32_t OSAL_FreeRTOS_convert_time_to_tick(std::uint32_t ms) {
    if (ms == 0) return 0;
    if (ms == OSAL_INFINITE_TIME) return portMAX_DELAY;
    if (ms < portTICK_PERIOD_MS) return 1;
    return ms / portTICK_PERIOD_MS;
}

std::int32_t OSAL_task_create(OSAL_task_entry_t entry, const char* name, std::uint32_t stackBytes,
                              std::int32_t priority, void* parameter, OSAL_task_handle_t* handle) {
    if (handle == nullptr) return OSAL_WRONG_ARG;
    TaskHandle_t task = nullptr;
    const auto words = static_cast<configSTACK_DEPTH_TYPE>((stackBytes % 65536u) / 4u);
    if (xTaskCreate(entry, name, words, parameter, static_cast<UBaseType_t>(priority), &task) != pdPASS)
        return OSAL_ERROR;
    *handle = task;
    return OSAL_OK;
}

std::int32_t OSAL_queue_create(const char*, OSAL_queue_handle_t* handle, std::uint32_t itemCount) {
    if (handle == nullptr) return OSAL_WRONG_ARG;
    QueueHandle_t q = xQueueGenericCreate(itemCount, sizeof(void*), queueQUEUE_TYPE_BASE);
    if (q == nullptr) return OSAL_ERROR;
    *handle = q;
    return OSAL_OK;
}

std::int32_t OSAL_queue_post(OSAL_queue_handle_t* queue, void* item) {
    if (queue == nullptr || *queue == nullptr) return OSAL_WRONG_ARG;
    return xQueueGenericSend(static_cast<QueueHandle_t>(*queue), &item, 0, queueSEND_TO_BACK) == pdPASS
               ? OSAL_OK
               : OSAL_NOMEM;
}

std::int32_t OSAL_queue_fetch(OSAL_queue_handle_t* queue, void** item, std::uint32_t timeoutMs) {
    if (queue == nullptr || *queue == nullptr || item == nullptr) return OSAL_WRONG_ARG;
    return xQueueReceive(static_cast<QueueHandle_t>(*queue), item, OSAL_FreeRTOS_convert_time_to_tick(timeoutMs)) ==
                   pdPASS
               ? OSAL_OK
               : OSAL_ERROR;
}

std::int32_t OSAL_counter_semaphore_take(OSAL_counter_semaphore_handle_t* semaphore, std::uint32_t timeoutMs) {
    if (semaphore == nullptr || *semaphore == nullptr) return OSAL_WRONG_ARG;
    return xQueueSemaphoreTake(static_cast<QueueHandle_t>(*semaphore), OSAL_FreeRTOS_convert_time_to_tick(timeoutMs)) ==
                   pdPASS
               ? OSAL_OK
               : OSAL_ERROR;
}

std::int32_t OSAL_counter_semaphore_give(OSAL_counter_semaphore_handle_t* semaphore) {
    if (semaphore == nullptr || *semaphore == nullptr) return OSAL_WRONG_ARG;
    return xQueueGenericSend(static_cast<QueueHandle_t>(*semaphore), nullptr, 0, queueSEND_TO_BACK) == pdPASS
               ? OSAL_OK
               : OSAL_ERROR;
}

std::int32_t OSAL_mutex_create(const char*, OSAL_mutex_handle_t* handle) {
    if (handle == nullptr) return OSAL_WRONG_ARG;
    QueueHandle_t m = xQueueCreateMutex(queueQUEUE_TYPE_MUTEX);
    if (m == nullptr) return OSAL_NOMEM;
    *handle = m;
    return OSAL_OK;
}

std::int32_t OSAL_mutex_take(OSAL_mutex_handle_t* mutex, std::uint32_t timeoutMs) {
    return OSAL_counter_semaphore_take(mutex, timeoutMs);
}

std::int32_t OSAL_mutex_give(OSAL_mutex_handle_t* mutex) { return OSAL_counter_semaphore_give(mutex); }

}  // extern "C"
