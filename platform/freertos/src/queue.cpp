// Queues, and the semaphores and mutexes built on them (a queue whose items
// have no size: only the count matters).
//
// Waiters are served highest priority first, then in the order they began
// to wait. A mutex lends its holder the priority of a higher-priority task
// that waits for it, until the holder gives back its last mutex (or the
// waiter gives up, when the holder holds only this one).
#include <cstring>
#include <new>

#include "kernel.h"
#include "queue.h"

struct QueueDefinition {
    std::uint32_t magic;
    std::uint8_t type;
    UBaseType_t length;
    UBaseType_t item_size;
    UBaseType_t count;
    UBaseType_t head;  // index of the oldest item
    tskTaskControlBlock* holder;  // mutexes
    UBaseType_t recursion;        // recursive mutexes
    unsigned char* storage;
};

namespace tarvelo::rtos {

namespace {

constexpr std::uint32_t kQueueMagic = 0x51E0E0E5u;

bool is_mutex(const QueueDefinition* q) {
    return q->type == queueQUEUE_TYPE_MUTEX || q->type == queueQUEUE_TYPE_RECURSIVE_MUTEX;
}

void check(const QueueDefinition* q) { configASSERT(q != nullptr && q->magic == kQueueMagic); }

unsigned char* slot(QueueDefinition* q, UBaseType_t index) { return q->storage + index * q->item_size; }

void copy_in(QueueDefinition* q, const void* item, BaseType_t position) {
    if (position == queueOVERWRITE && q->count == q->length) {
        // Length one: the newest item replaces the one there.
        if (q->item_size > 0) std::memcpy(slot(q, q->head), item, q->item_size);
        return;
    }
    if (position == queueSEND_TO_FRONT) {
        q->head = (q->head + q->length - 1) % q->length;
        if (q->item_size > 0) std::memcpy(slot(q, q->head), item, q->item_size);
    } else if (q->item_size > 0) {
        std::memcpy(slot(q, (q->head + q->count) % q->length), item, q->item_size);
    }
    ++q->count;
}

void copy_out(QueueDefinition* q, void* buffer, bool remove) {
    if (q->item_size > 0 && buffer != nullptr) std::memcpy(buffer, slot(q, q->head), q->item_size);
    if (remove) {
        q->head = (q->head + 1) % q->length;
        --q->count;
    }
}

// Priority of the most urgent task still waiting for the mutex.
UBaseType_t highest_waiting_priority(const QueueDefinition* q) {
    Tcb* t = highest_waiter(q, WaitKind::QueueReceive);
    return t != nullptr ? t->priority : 0;
}

void take_mutex(QueueDefinition* q, Tcb* me) {
    q->holder = me;
    if (me != nullptr) ++me->mutexes_held;
}

// The holder gives the mutex back: it returns to its own priority once it
// holds no other mutex.
void give_mutex(QueueDefinition* q) {
    Tcb* holder = q->holder;
    q->holder = nullptr;
    q->recursion = 0;
    if (holder == nullptr) return;
    --holder->mutexes_held;
    if (holder->mutexes_held == 0 && holder->priority != holder->base_priority) {
        set_effective_priority(holder, holder->base_priority);
        if (holder == kernel.current) kernel.yield_pending = true;
    }
}

void inherit(QueueDefinition* q, Tcb* me) {
    Tcb* holder = q->holder;
    if (holder != nullptr && holder->priority < me->priority) set_effective_priority(holder, me->priority);
}

// A waiter gave up: a holder that holds only this mutex drops to the
// highest priority still waiting (or its own).
void disinherit_after_timeout(QueueDefinition* q) {
    Tcb* holder = q->holder;
    if (holder == nullptr || holder->mutexes_held != 1) return;
    UBaseType_t target = holder->base_priority;
    UBaseType_t waiting = highest_waiting_priority(q);
    if (waiting > target) target = waiting;
    if (holder->priority != target) set_effective_priority(holder, target);
}

// Successful creations still to come before the one a test made fail; -1
// for none. Under the CPU lock.
std::int64_t creations_before_failure = -1;

// Whether this creation is the one to fail (counting it otherwise).
bool creation_fails() {
    region_enter();
    lock_take();
    const bool fails = creations_before_failure == 0;
    if (creations_before_failure >= 0) --creations_before_failure;
    lock_give();
    region_exit();
    return fails;
}

QueueDefinition* create(UBaseType_t length, UBaseType_t item_size, std::uint8_t type) {
    if (length == 0) return nullptr;
    if (item_size != 0 && length > (SIZE_MAX - sizeof(QueueDefinition)) / item_size) return nullptr;
    if (creation_fails()) {
        vApplicationMallocFailedHook();
        return nullptr;
    }
    std::size_t bytes = sizeof(QueueDefinition) + static_cast<std::size_t>(length) * item_size;
    void* memory = pvPortMalloc(bytes);
    if (memory == nullptr) return nullptr;
    auto* q = new (memory) QueueDefinition{};
    q->magic = kQueueMagic;
    q->type = type;
    q->length = length;
    q->item_size = item_size;
    q->storage = static_cast<unsigned char*>(memory) + sizeof(QueueDefinition);
    return q;
}

// Send from any context; the caller holds the kernel lock.
BaseType_t send_locked(QueueDefinition* q, const void* item, std::uint64_t deadline, BaseType_t position,
                       Tcb** woken) {
    configASSERT(!(position == queueOVERWRITE && q->length != 1));
    for (;;) {
        if (is_mutex(q)) {
            // Only the holder gives a mutex back; a give that is not owed
            // fails instead of releasing a mutex someone else holds.
            if (q->count != 0 || q->holder != self.task || in_interrupt()) return pdFAIL;
            give_mutex(q);
            q->count = 1;
            Tcb* t = wake_one(q, WaitKind::QueueReceive);
            if (woken != nullptr) *woken = t;
            return pdPASS;
        }
        if (q->count < q->length || position == queueOVERWRITE) {
            copy_in(q, item, position);
            Tcb* t = wake_one(q, WaitKind::QueueReceive);
            if (woken != nullptr) *woken = t;
            return pdPASS;
        }
        if (!can_block() || now_ticks() >= deadline) return errQUEUE_FULL;
        WakeReason r = block_current(q, WaitKind::QueueSend, deadline);
        if (r == WakeReason::ObjectDeleted || r == WakeReason::Aborted) return errQUEUE_FULL;
    }
}

// Receive, peek or take; the caller holds the kernel lock.
BaseType_t receive_locked(QueueDefinition* q, void* buffer, std::uint64_t deadline, bool peek, Tcb** woken) {
    bool inherited = false;
    for (;;) {
        if (q->count > 0) {
            copy_out(q, buffer, !peek);
            Tcb* t = nullptr;
            if (peek) {
                // The item is still there for the next receiver.
                t = wake_one(q, WaitKind::QueueReceive);
            } else {
                if (is_mutex(q)) take_mutex(q, self.task);
                t = wake_one(q, WaitKind::QueueSend);
            }
            if (woken != nullptr) *woken = t;
            return pdPASS;
        }
        if (!can_block() || now_ticks() >= deadline) {
            if (inherited) disinherit_after_timeout(q);
            return errQUEUE_EMPTY;
        }
        if (is_mutex(q) && q->holder != nullptr) {
            inherit(q, self.task);
            inherited = true;
        }
        WakeReason r = block_current(q, WaitKind::QueueReceive, deadline);
        if (r == WakeReason::ObjectDeleted) return errQUEUE_EMPTY;
        if (r == WakeReason::Aborted) {
            if (inherited) disinherit_after_timeout(q);
            return errQUEUE_EMPTY;
        }
    }
}

}  // namespace

BaseType_t queue_receive_until(QueueDefinition* queue, void* buffer, std::uint64_t deadline) {
    return receive_locked(queue, buffer, deadline, false, nullptr);
}

void reset_queues() {
    region_enter();
    lock_take();
    creations_before_failure = -1;
    lock_give();
    region_exit();
}

}  // namespace tarvelo::rtos

using namespace tarvelo::rtos;

extern "C" void vSimFailQueueCreation(UBaseType_t uxCreationsBefore) {
    region_enter();
    lock_take();
    creations_before_failure = static_cast<std::int64_t>(uxCreationsBefore);
    lock_give();
    region_exit();
}

extern "C" QueueHandle_t xQueueGenericCreate(const UBaseType_t uxQueueLength, const UBaseType_t uxItemSize,
                                             const uint8_t ucQueueType) {
    return create(uxQueueLength, uxItemSize, ucQueueType);
}

extern "C" QueueHandle_t xQueueCreateMutex(const uint8_t ucQueueType) {
    QueueDefinition* q = create(1, 0, ucQueueType);
    if (q != nullptr) q->count = 1;
    return q;
}

extern "C" QueueHandle_t xQueueCreateCountingSemaphore(const UBaseType_t uxMaxCount,
                                                       const UBaseType_t uxInitialCount) {
    if (uxMaxCount == 0 || uxInitialCount > uxMaxCount) return nullptr;
    QueueDefinition* q = create(uxMaxCount, 0, queueQUEUE_TYPE_COUNTING_SEMAPHORE);
    if (q != nullptr) q->count = uxInitialCount;
    return q;
}

extern "C" void vQueueDelete(QueueHandle_t xQueue) {
    check(xQueue);
    kernel_enter();
    // Tasks still waiting return a failure instead of touching freed memory.
    wake_all_deleted(xQueue);
    xQueue->magic = 0;
    vPortFree(xQueue);
    kernel_leave();
}

extern "C" BaseType_t xQueueGenericSend(QueueHandle_t xQueue, const void* const pvItemToQueue,
                                        TickType_t xTicksToWait, const BaseType_t xCopyPosition) {
    check(xQueue);
    configASSERT(pvItemToQueue != nullptr || xQueue->item_size == 0);
    kernel_enter();
    BaseType_t r = send_locked(xQueue, pvItemToQueue, deadline_after(xTicksToWait), xCopyPosition, nullptr);
    kernel_leave();
    return r;
}

extern "C" BaseType_t xQueueGenericSendFromISR(QueueHandle_t xQueue, const void* const pvItemToQueue,
                                               BaseType_t* const pxHigherPriorityTaskWoken,
                                               const BaseType_t xCopyPosition) {
    check(xQueue);
    configASSERT(pvItemToQueue != nullptr || xQueue->item_size == 0);
    kernel_enter();
    Tcb* woken = nullptr;
    BaseType_t r = is_mutex(xQueue) ? pdFAIL
                                    : send_locked(xQueue, pvItemToQueue, now_ticks(), xCopyPosition, &woken);
    if (outranks_current(woken) && pxHigherPriorityTaskWoken != nullptr) *pxHigherPriorityTaskWoken = pdTRUE;
    kernel_leave();
    return r;
}

extern "C" BaseType_t xQueueGiveFromISR(QueueHandle_t xQueue, BaseType_t* const pxHigherPriorityTaskWoken) {
    return xQueueGenericSendFromISR(xQueue, nullptr, pxHigherPriorityTaskWoken, queueSEND_TO_BACK);
}

extern "C" BaseType_t xQueueReceive(QueueHandle_t xQueue, void* const pvBuffer, TickType_t xTicksToWait) {
    check(xQueue);
    configASSERT(pvBuffer != nullptr || xQueue->item_size == 0);
    kernel_enter();
    BaseType_t r = receive_locked(xQueue, pvBuffer, deadline_after(xTicksToWait), false, nullptr);
    kernel_leave();
    return r;
}

extern "C" BaseType_t xQueuePeek(QueueHandle_t xQueue, void* const pvBuffer, TickType_t xTicksToWait) {
    check(xQueue);
    configASSERT(pvBuffer != nullptr || xQueue->item_size == 0);
    kernel_enter();
    BaseType_t r = receive_locked(xQueue, pvBuffer, deadline_after(xTicksToWait), true, nullptr);
    kernel_leave();
    return r;
}

extern "C" BaseType_t xQueueSemaphoreTake(QueueHandle_t xQueue, TickType_t xTicksToWait) {
    check(xQueue);
    configASSERT(xQueue->item_size == 0);
    kernel_enter();
    BaseType_t r = receive_locked(xQueue, nullptr, deadline_after(xTicksToWait), false, nullptr);
    kernel_leave();
    return r;
}

extern "C" BaseType_t xQueueReceiveFromISR(QueueHandle_t xQueue, void* const pvBuffer,
                                           BaseType_t* const pxHigherPriorityTaskWoken) {
    check(xQueue);
    configASSERT(pvBuffer != nullptr || xQueue->item_size == 0);
    kernel_enter();
    Tcb* woken = nullptr;
    BaseType_t r = is_mutex(xQueue) ? pdFAIL : receive_locked(xQueue, pvBuffer, now_ticks(), false, &woken);
    if (outranks_current(woken) && pxHigherPriorityTaskWoken != nullptr) *pxHigherPriorityTaskWoken = pdTRUE;
    kernel_leave();
    return r;
}

extern "C" BaseType_t xQueuePeekFromISR(QueueHandle_t xQueue, void* const pvBuffer) {
    check(xQueue);
    kernel_enter();
    BaseType_t r = pdFAIL;
    if (xQueue->count > 0 && !is_mutex(xQueue)) {
        copy_out(xQueue, pvBuffer, false);
        r = pdPASS;
    }
    kernel_leave();
    return r;
}

extern "C" UBaseType_t uxQueueMessagesWaiting(const QueueHandle_t xQueue) {
    check(xQueue);
    kernel_enter();
    UBaseType_t n = xQueue->count;
    kernel_leave();
    return n;
}

extern "C" UBaseType_t uxQueueMessagesWaitingFromISR(const QueueHandle_t xQueue) {
    return uxQueueMessagesWaiting(xQueue);
}

extern "C" UBaseType_t uxQueueSpacesAvailable(const QueueHandle_t xQueue) {
    check(xQueue);
    kernel_enter();
    UBaseType_t n = xQueue->length - xQueue->count;
    kernel_leave();
    return n;
}

extern "C" BaseType_t xQueueIsQueueEmptyFromISR(const QueueHandle_t xQueue) {
    return uxQueueMessagesWaiting(xQueue) == 0 ? pdTRUE : pdFALSE;
}

extern "C" BaseType_t xQueueIsQueueFullFromISR(const QueueHandle_t xQueue) {
    return uxQueueSpacesAvailable(xQueue) == 0 ? pdTRUE : pdFALSE;
}

extern "C" BaseType_t xQueueGenericReset(QueueHandle_t xQueue, BaseType_t xNewQueue) {
    check(xQueue);
    kernel_enter();
    if (!is_mutex(xQueue)) {
        xQueue->count = 0;
        xQueue->head = 0;
        // There is room now: one task waiting to send may go on.
        if (xNewQueue == pdFALSE) wake_one(xQueue, WaitKind::QueueSend);
    }
    kernel_leave();
    return pdPASS;
}

extern "C" BaseType_t xQueueTakeMutexRecursive(QueueHandle_t xMutex, TickType_t xTicksToWait) {
    check(xMutex);
    kernel_enter();
    BaseType_t r;
    if (xMutex->holder != nullptr && xMutex->holder == self.task) {
        ++xMutex->recursion;
        r = pdPASS;
    } else {
        r = receive_locked(xMutex, nullptr, deadline_after(xTicksToWait), false, nullptr);
        if (r == pdPASS) xMutex->recursion = 1;
    }
    kernel_leave();
    return r;
}

extern "C" BaseType_t xQueueGiveMutexRecursive(QueueHandle_t xMutex) {
    check(xMutex);
    kernel_enter();
    BaseType_t r = pdFAIL;
    if (xMutex->holder != nullptr && xMutex->holder == self.task) {
        if (--xMutex->recursion == 0) r = send_locked(xMutex, nullptr, now_ticks(), queueSEND_TO_BACK, nullptr);
        else r = pdPASS;
    }
    kernel_leave();
    return r;
}

extern "C" TaskHandle_t xQueueGetMutexHolder(QueueHandle_t xSemaphore) {
    check(xSemaphore);
    kernel_enter();
    Tcb* holder = is_mutex(xSemaphore) ? xSemaphore->holder : nullptr;
    kernel_leave();
    return holder;
}
