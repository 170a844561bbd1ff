/* Kernel configuration of the device: 5 ms tick, 10 priorities, preemption
 * without time slicing, software timers, a 512,000-byte kernel heap. */
#ifndef FREERTOS_CONFIG_H
#define FREERTOS_CONFIG_H

#define configUSE_PREEMPTION 1
#define configUSE_TIME_SLICING 0
#define configTICK_RATE_HZ ((TickType_t)200)
#define configMAX_PRIORITIES 10
#define configMINIMAL_STACK_SIZE ((configSTACK_DEPTH_TYPE)90)
#define configMAX_TASK_NAME_LEN 20
#define configSTACK_DEPTH_TYPE uint16_t
#define configTOTAL_HEAP_SIZE ((size_t)512000)

#define configUSE_TIMERS 1
#define configTIMER_TASK_PRIORITY 9
#define configTIMER_TASK_STACK_DEPTH 180
#define configTIMER_QUEUE_LENGTH 10

#define configUSE_IDLE_HOOK 1
#define configUSE_MALLOC_FAILED_HOOK 1
#define configIDLE_SHOULD_YIELD 1
#define configTASK_NOTIFICATION_ARRAY_ENTRIES 1
#define configUSE_MUTEXES 1
#define configUSE_RECURSIVE_MUTEXES 1
#define configUSE_COUNTING_SEMAPHORES 1
#define configQUEUE_REGISTRY_SIZE 0

/* A failed assertion halts the device. */
#define configASSERT(x)                                   \
    do {                                                  \
        if (!(x)) vAssertCalled(__FILE__, __LINE__);      \
    } while (0)

#endif /* FREERTOS_CONFIG_H */
