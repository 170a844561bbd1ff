// A thin operating-system layer over the RTOS for the natives' tasks:
// tasks, queues of pointers, counting semaphores and mutexes. Every call
// answers 0 on success. Timeouts are in milliseconds; 0 does not wait and
// 0xFFFFFFFF (-1) waits without limit.
#pragma once

#include <cstdint>

extern "C" {

using OSAL_task_handle_t = void*;
using OSAL_queue_handle_t = void*;
using OSAL_counter_semaphore_handle_t = void*;
using OSAL_mutex_handle_t = void*;
using OSAL_task_entry_t = void (*)(void* parameter);

inline constexpr std::int32_t OSAL_OK = 0;
inline constexpr std::int32_t OSAL_ERROR = 1;
inline constexpr std::int32_t OSAL_NOMEM = 2;
inline constexpr std::int32_t OSAL_WRONG_ARG = 3;
inline constexpr std::uint32_t OSAL_INFINITE_TIME = 0xFFFFFFFFu;

// 0 stays 0, 0xFFFFFFFF stays the RTOS's wait without limit, 1 to 4 ms
// give one tick, otherwise whole ticks rounded down.
std::uint32_t OSAL_FreeRTOS_convert_time_to_tick(std::uint32_t ms);

std::int32_t OSAL_task_create(OSAL_task_entry_t entry, const char* name, std::uint32_t stackBytes,
                              std::int32_t priority, void* parameter, OSAL_task_handle_t* handle);
std::int32_t OSAL_queue_create(const char* name, OSAL_queue_handle_t* handle, std::uint32_t itemCount);
std::int32_t OSAL_queue_post(OSAL_queue_handle_t* queue, void* item);
std::int32_t OSAL_queue_fetch(OSAL_queue_handle_t* queue, void** item, std::uint32_t timeoutMs);
std::int32_t OSAL_counter_semaphore_take(OSAL_counter_semaphore_handle_t* semaphore, std::uint32_t timeoutMs);
std::int32_t OSAL_counter_semaphore_give(OSAL_counter_semaphore_handle_t* semaphore);
std::int32_t OSAL_mutex_create(const char* name, OSAL_mutex_handle_t* handle);
std::int32_t OSAL_mutex_take(OSAL_mutex_handle_t* mutex, std::uint32_t timeoutMs);
std::int32_t OSAL_mutex_give(OSAL_mutex_handle_t* mutex);

}
