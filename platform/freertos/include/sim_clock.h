/* Clock of the host stand-in. The tick is 5 ms and the tick count is the
 * kernel's 32-bit TickType_t, which wraps.
 *
 * Modes, chosen by vSimSetClockMode() before vTaskStartScheduler(), else by
 * the environment variable TARVELO_CLOCK=real|fast|virtual (default real):
 *  - real: a tick interrupt every 5 ms of host monotonic time, on absolute
 *    deadlines (several ticks at once when the host fell behind);
 *  - fast: real ticks, and whenever every task is blocked and some task or
 *    timer waits with a timeout, the tick count jumps at once to the
 *    earliest such deadline;
 *  - virtual: no tick at all; time moves only when every task is blocked
 *    (a jump to the earliest deadline) and by vSimAdvanceTicks(). Fully
 *    deterministic. */
#ifndef SIM_CLOCK_H
#define SIM_CLOCK_H

#include "FreeRTOS.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    eSimClockDefault = 0, /* from TARVELO_CLOCK, else real */
    eSimClockReal,
    eSimClockFast,
    eSimClockVirtual
} SimClockMode_t;

/* Applies to the next vTaskStartScheduler(); the mode returns to the
 * default when the scheduler ends. */
void vSimSetClockMode(SimClockMode_t eMode);
/* The mode in force (while the scheduler runs) or chosen for the next start. */
SimClockMode_t eSimGetClockMode(void);

/* Acts as xTicks tick interrupts, in any mode, from any thread. */
void vSimAdvanceTicks(TickType_t xTicks);

/* Sets the tick count the next scheduler starts from (ignored while a
 * scheduler runs); it returns to 0 when the scheduler ends. */
void vSimSetTickCount(TickType_t xTicks);

#ifdef __cplusplus
}
#endif

#endif /* SIM_CLOCK_H */
