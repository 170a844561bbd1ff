/* Event groups: 24 bits of events per group (the top byte is reserved). */
#ifndef EVENT_GROUPS_H
#define EVENT_GROUPS_H

#ifndef INC_FREERTOS_H
#error "include FreeRTOS.h before event_groups.h"
#endif

#include "task.h"

#ifdef __cplusplus
extern "C" {
#endif

struct EventGroupDef_t;
typedef struct EventGroupDef_t* EventGroupHandle_t;
typedef TickType_t EventBits_t;

EventGroupHandle_t xEventGroupCreate(void);
void vEventGroupDelete(EventGroupHandle_t xEventGroup);

/* Waits until any (or all) of uxBitsToWaitFor are set. Returns the bits as
 * they were when the wait ended (before clearing on exit), or the current
 * bits on a timeout; 0 when the group was deleted meanwhile. */
EventBits_t xEventGroupWaitBits(EventGroupHandle_t xEventGroup, const EventBits_t uxBitsToWaitFor,
                                const BaseType_t xClearOnExit, const BaseType_t xWaitForAllBits,
                                TickType_t xTicksToWait);
/* Returns the bits after the waiters it released cleared theirs. */
EventBits_t xEventGroupSetBits(EventGroupHandle_t xEventGroup, const EventBits_t uxBitsToSet);
/* Sets the bits at once from the interrupt (no deferral to the timer task);
 * returns pdPASS. */
BaseType_t xEventGroupSetBitsFromISR(EventGroupHandle_t xEventGroup, const EventBits_t uxBitsToSet,
                                     BaseType_t* pxHigherPriorityTaskWoken);
/* Returns the bits before clearing. */
EventBits_t xEventGroupClearBits(EventGroupHandle_t xEventGroup, const EventBits_t uxBitsToClear);
BaseType_t xEventGroupClearBitsFromISR(EventGroupHandle_t xEventGroup, const EventBits_t uxBitsToClear);
EventBits_t xEventGroupGetBits(EventGroupHandle_t xEventGroup);
EventBits_t xEventGroupGetBitsFromISR(EventGroupHandle_t xEventGroup);
EventBits_t xEventGroupSync(EventGroupHandle_t xEventGroup, const EventBits_t uxBitsToSet,
                            const EventBits_t uxBitsToWaitFor, TickType_t xTicksToWait);

#ifdef __cplusplus
}
#endif

#endif /* EVENT_GROUPS_H */
