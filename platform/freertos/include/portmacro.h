/* Port layer of the host stand-in: 32-bit kernel types as on the Cortex-M7,
 * and critical sections and interrupt masking mapped onto the stand-in's
 * CPU lock (see platform/README.md). */
#ifndef PORTMACRO_H
#define PORTMACRO_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t StackType_t;
typedef int32_t BaseType_t;
typedef uint32_t UBaseType_t;
typedef uint32_t TickType_t;

#define portMAX_DELAY ((TickType_t)0xffffffffUL)
#define portTICK_TYPE_IS_ATOMIC 1
#define portTICK_PERIOD_MS ((TickType_t)1000 / configTICK_RATE_HZ)
#define portBYTE_ALIGNMENT 8
#define portSTACK_GROWTH (-1)

/* Critical sections nest; they mask interrupts and keep the calling task
 * from being switched out until the outermost exit. */
void vPortEnterCritical(void);
void vPortExitCritical(void);
UBaseType_t ulPortSetInterruptMaskFromISR(void);
void vPortClearInterruptMaskFromISR(UBaseType_t ulMask);
void vPortDisableInterrupts(void);
void vPortEnableInterrupts(void);

/* Yields: from a task at once, from an interrupt when it ends. */
void vPortYield(void);
void vPortYieldFromISR(BaseType_t xSwitchRequired);

/* pdTRUE while the calling thread runs as an interrupt. */
BaseType_t xPortIsInsideInterrupt(void);

#define portENTER_CRITICAL() vPortEnterCritical()
#define portEXIT_CRITICAL() vPortExitCritical()
#define portSET_INTERRUPT_MASK_FROM_ISR() ulPortSetInterruptMaskFromISR()
#define portCLEAR_INTERRUPT_MASK_FROM_ISR(x) vPortClearInterruptMaskFromISR(x)
#define portDISABLE_INTERRUPTS() vPortDisableInterrupts()
#define portENABLE_INTERRUPTS() vPortEnableInterrupts()
#define portYIELD() vPortYield()
#define portYIELD_FROM_ISR(x) vPortYieldFromISR(x)
#define portEND_SWITCHING_ISR(x) vPortYieldFromISR(x)

#ifdef __cplusplus
}
#endif

#endif /* PORTMACRO_H */
