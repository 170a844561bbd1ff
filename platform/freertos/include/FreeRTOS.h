/* Entry header of the kernel interface: configuration, port types and the
 * kernel heap. Include it before task.h, queue.h, semphr.h, timers.h and
 * event_groups.h. */
#ifndef INC_FREERTOS_H
#define INC_FREERTOS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Reports a failed configASSERT: writes file:line on stderr and halts. */
#ifdef __cplusplus
[[noreturn]]
#else
_Noreturn
#endif
void vAssertCalled(const char* pcFile, int ulLine);

#ifdef __cplusplus
}
#endif

#include "FreeRTOSConfig.h"
#include "portmacro.h"
#include "projdefs.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Kernel heap: a 512,000-byte static arena (first fit, coalescing). Every
 * task control block, task stack allowance, queue, semaphore, timer and
 * event group comes from it, so every handle is a 32-bit address. A failed
 * allocation calls vApplicationMallocFailedHook(). */
void* pvPortMalloc(size_t xWantedSize);
void vPortFree(void* pv);
size_t xPortGetFreeHeapSize(void);
size_t xPortGetMinimumEverFreeHeapSize(void);

/* Hooks the firmware defines; the platform gives weak defaults that do
 * nothing. The idle hook runs once per pass of the idle task, and once per
 * millisecond of tick time the idle task waited (see platform/README.md). */
void vApplicationIdleHook(void);
void vApplicationMallocFailedHook(void);

#ifdef __cplusplus
}
#endif

#endif /* INC_FREERTOS_H */
