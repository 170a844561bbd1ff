// Event groups. Setting bits releases every waiter whose condition holds
// (in the order they began to wait); the bits those waiters asked to clear
// are cleared after all of them have seen the value.
#include <new>

#include "FreeRTOS.h"
#include "event_groups.h"
#include "kernel.h"

struct EventGroupDef_t {
    std::uint32_t magic;
    EventBits_t bits;
};

namespace tarvelo::rtos {

namespace {

constexpr std::uint32_t kGroupMagic = 0xE7E27B17u;
// The top byte of an event word is reserved.
constexpr EventBits_t kControlBits = 0xFF000000u;

void check(const EventGroupDef_t* g) { configASSERT(g != nullptr && g->magic == kGroupMagic); }

bool satisfied(EventBits_t current, EventBits_t wanted, bool all) {
    return all ? (current & wanted) == wanted : (current & wanted) != 0;
}

// Sets bits and releases waiters; returns the tasks released that outrank
// the running one (for the FromISR variant). Lock held.
bool set_locked(EventGroupDef_t* g, EventBits_t bits) {
    g->bits |= bits;
    EventBits_t to_clear = 0;
    bool outranks = false;
    std::uint64_t after = 0;
    for (;;) {
        // Next waiter in waiting order.
        Tcb* next = nullptr;
        for (Tcb* t = kernel.tasks; t != nullptr; t = t->next_task) {
            if (t->state != TaskState::Blocked || t->wait_object != g || t->wait_kind != WaitKind::EventBits) continue;
            if (t->wait_seq <= after) continue;
            if (next == nullptr || t->wait_seq < next->wait_seq) next = t;
        }
        if (next == nullptr) break;
        after = next->wait_seq;
        if (!satisfied(g->bits, next->wait_bits, next->wait_all)) continue;
        if (next->wait_clear) to_clear |= next->wait_bits;
        next->event_result = g->bits;
        make_ready(next, WakeReason::Event);
        outranks = outranks || outranks_current(next);
    }
    g->bits &= ~to_clear;
    return outranks;
}

}  // namespace

}  // namespace tarvelo::rtos

using namespace tarvelo::rtos;

extern "C" EventGroupHandle_t xEventGroupCreate(void) {
    void* memory = pvPortMalloc(sizeof(EventGroupDef_t));
    if (memory == nullptr) return nullptr;
    auto* g = new (memory) EventGroupDef_t{};
    g->magic = kGroupMagic;
    return g;
}

extern "C" void vEventGroupDelete(EventGroupHandle_t xEventGroup) {
    check(xEventGroup);
    kernel_enter();
    // Waiters are released and see 0.
    for (Tcb* t = kernel.tasks; t != nullptr; t = t->next_task)
        if (t->state == TaskState::Blocked && t->wait_object == xEventGroup) t->event_result = 0;
    wake_all_deleted(xEventGroup);
    xEventGroup->magic = 0;
    vPortFree(xEventGroup);
    kernel_leave();
}

extern "C" EventBits_t xEventGroupWaitBits(EventGroupHandle_t xEventGroup, const EventBits_t uxBitsToWaitFor,
                                           const BaseType_t xClearOnExit, const BaseType_t xWaitForAllBits,
                                           TickType_t xTicksToWait) {
    check(xEventGroup);
    configASSERT(uxBitsToWaitFor != 0 && (uxBitsToWaitFor & kControlBits) == 0);
    const bool all = xWaitForAllBits != pdFALSE;
    const bool clear = xClearOnExit != pdFALSE;
    kernel_enter();
    EventBits_t result = xEventGroup->bits;
    if (satisfied(result, uxBitsToWaitFor, all)) {
        if (clear) xEventGroup->bits &= ~uxBitsToWaitFor;
    } else if (xTicksToWait > 0 && can_block()) {
        Tcb* me = self.task;
        me->wait_bits = uxBitsToWaitFor;
        me->wait_all = all;
        me->wait_clear = clear;
        WakeReason why = block_current(xEventGroup, WaitKind::EventBits, deadline_after(xTicksToWait));
        if (why == WakeReason::Event || why == WakeReason::ObjectDeleted) {
            result = me->event_result;
        } else {
            // Timed out (or aborted, or resumed): the bits as they are now.
            result = xEventGroup->bits;
            if (satisfied(result, uxBitsToWaitFor, all) && clear) xEventGroup->bits &= ~uxBitsToWaitFor;
        }
    }
    kernel_leave();
    return result;
}

extern "C" EventBits_t xEventGroupSetBits(EventGroupHandle_t xEventGroup, const EventBits_t uxBitsToSet) {
    check(xEventGroup);
    configASSERT((uxBitsToSet & kControlBits) == 0);
    kernel_enter();
    set_locked(xEventGroup, uxBitsToSet);
    EventBits_t bits = xEventGroup->bits;
    kernel_leave();
    return bits;
}

extern "C" BaseType_t xEventGroupSetBitsFromISR(EventGroupHandle_t xEventGroup, const EventBits_t uxBitsToSet,
                                                BaseType_t* pxHigherPriorityTaskWoken) {
    check(xEventGroup);
    configASSERT((uxBitsToSet & kControlBits) == 0);
    kernel_enter();
    bool outranks = set_locked(xEventGroup, uxBitsToSet);
    if (outranks && pxHigherPriorityTaskWoken != nullptr) *pxHigherPriorityTaskWoken = pdTRUE;
    kernel_leave();
    return pdPASS;
}

extern "C" EventBits_t xEventGroupClearBits(EventGroupHandle_t xEventGroup, const EventBits_t uxBitsToClear) {
    check(xEventGroup);
    configASSERT((uxBitsToClear & kControlBits) == 0);
    kernel_enter();
    EventBits_t before = xEventGroup->bits;
    xEventGroup->bits &= ~uxBitsToClear;
    kernel_leave();
    return before;
}

extern "C" BaseType_t xEventGroupClearBitsFromISR(EventGroupHandle_t xEventGroup, const EventBits_t uxBitsToClear) {
    (void)xEventGroupClearBits(xEventGroup, uxBitsToClear);
    return pdPASS;
}

extern "C" EventBits_t xEventGroupGetBits(EventGroupHandle_t xEventGroup) {
    check(xEventGroup);
    kernel_enter();
    EventBits_t bits = xEventGroup->bits;
    kernel_leave();
    return bits;
}

extern "C" EventBits_t xEventGroupGetBitsFromISR(EventGroupHandle_t xEventGroup) {
    return xEventGroupGetBits(xEventGroup);
}

extern "C" EventBits_t xEventGroupSync(EventGroupHandle_t xEventGroup, const EventBits_t uxBitsToSet,
                                       const EventBits_t uxBitsToWaitFor, TickType_t xTicksToWait) {
    check(xEventGroup);
    configASSERT(uxBitsToWaitFor != 0 && ((uxBitsToSet | uxBitsToWaitFor) & kControlBits) == 0);
    kernel_enter();
    EventBits_t original = xEventGroup->bits;
    set_locked(xEventGroup, uxBitsToSet);
    EventBits_t result;
    if (((original | uxBitsToSet) & uxBitsToWaitFor) == uxBitsToWaitFor) {
        // The rendezvous is complete with this task's bits.
        result = original | uxBitsToSet;
        xEventGroup->bits &= ~uxBitsToWaitFor;
    } else if (xTicksToWait > 0 && can_block()) {
        Tcb* me = self.task;
        me->wait_bits = uxBitsToWaitFor;
        me->wait_all = true;
        me->wait_clear = true;
        WakeReason why = block_current(xEventGroup, WaitKind::EventBits, deadline_after(xTicksToWait));
        if (why == WakeReason::Event || why == WakeReason::ObjectDeleted) {
            result = me->event_result;
        } else {
            // Timed out, but the bits may have been set since by a task that
            // ran first: the rendezvous is then complete, and is cleared.
            result = xEventGroup->bits;
            if ((result & uxBitsToWaitFor) == uxBitsToWaitFor) xEventGroup->bits &= ~uxBitsToWaitFor;
        }
    } else {
        result = xEventGroup->bits;
    }
    kernel_leave();
    return result;
}
