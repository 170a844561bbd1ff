/* Host-only queue extensions: a creation that fails, for tests of the code
 * that must cope with it. Included by queue.h. */
#ifndef SIM_QUEUE_H
#define SIM_QUEUE_H

#ifdef __cplusplus
extern "C" {
#endif

/* The creation of a queue, semaphore or mutex that comes after
 * uxCreationsBefore more successful ones fails as when the kernel heap is
 * exhausted: it returns NULL and calls vApplicationMallocFailedHook(). Once;
 * calling it again replaces the pending failure. Forgotten when the
 * scheduler ends. */
void vSimFailQueueCreation(UBaseType_t uxCreationsBefore);

#ifdef __cplusplus
}
#endif

#endif /* SIM_QUEUE_H */
