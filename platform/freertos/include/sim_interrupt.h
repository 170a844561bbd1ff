/* Simulated interrupts and asynchronous preemption of the host stand-in.
 *
 * An interrupt is code that runs on a host thread other than the running
 * task's while the CPU lock is held: interrupts run one at a time, never
 * while a task is inside a critical section or a kernel call, and
 * xPortIsInsideInterrupt() is pdTRUE for their duration, so the FromISR
 * functions work there. portYIELD_FROM_ISR(pdTRUE) makes the switch to a
 * task the interrupt readied happen when the interrupt ends: if the running
 * task is busy in code that makes no kernel call, its thread is stopped by
 * the reserved signal TARVELO_PREEMPT_SIGNAL, whose handler hands the CPU
 * over. A task is never stopped inside a critical section, a kernel call,
 * vTaskSuspendAll()/xTaskResumeAll() or a no-preempt region: the switch is
 * then made as the region ends. */
#ifndef SIM_INTERRUPT_H
#define SIM_INTERRUPT_H

#include <signal.h>

#include "FreeRTOS.h"

/* Reserved for preempting task threads; no other code may use it. */
#define TARVELO_PREEMPT_SIGNAL SIGUSR1

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*SimIsr_t)(void* pvArg);

/* Raises an interrupt: pxIsr(pvArg) runs on the dedicated interrupt thread,
 * after the interrupts raised before it. Callable from any host thread,
 * tasks and interrupts included, but not from inside a critical section.
 * Returns at once; an interrupt raised before vTaskStartScheduler runs once
 * the scheduler has started; pending interrupts are dropped when the
 * scheduler ends. */
void vSimRaiseInterrupt(SimIsr_t pxIsr, void* pvArg);

/* A host thread that stands for a device at work (the GPU) announces the
 * interrupt that will end the work, then raises it with
 * vSimRaiseAnnouncedInterrupt (pxIsr null: the work ends without one).
 * While an announced interrupt is not raised, the fast and virtual clocks
 * do not jump: what the interrupt does happens before the next deadline,
 * however long the host takes for the work. */
void vSimAnnounceInterrupt(void);
void vSimRaiseAnnouncedInterrupt(SimIsr_t pxIsr, void* pvArg);

/* Brackets for a host thread (not a task) that acts as an interrupt itself:
 * Enter waits until interrupts are unmasked and takes the CPU; Exit makes
 * any switch that portYIELD_FROM_ISR asked for. They nest. */
void vSimInterruptEnter(void);
void vSimInterruptExit(void);

/* A region in which the calling task is not switched out asynchronously
 * (it still blocks if it calls a blocking function). Wrap calls into the
 * host C library (stdio, the host heap, ...) that take host locks. Nests. */
void vSimNoPreemptEnter(void);
void vSimNoPreemptExit(void);

/* Test hook: number of host threads waiting to enter interrupt context
 * because interrupts are masked. */
UBaseType_t uxSimInterruptsWaiting(void);

#ifdef __cplusplus
}
#endif

#endif /* SIM_INTERRUPT_H */
