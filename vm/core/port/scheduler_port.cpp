// The green-thread scheduler's port over the RTOS: the application task idles
// on a binary semaphore, and a one-shot software timer wakes it at the
// earliest deadline the scheduler asked for.
#include <atomic>
#include <cinttypes>

#include "FreeRTOS.h"
#include "platform/address.h"
#include "platform/board/debug_console.h"
#include "semphr.h"
#include "task.h"
#include "timers.h"
#include "vm/core/port/os_port.h"
#include "vm/core/lifecycle/vm_facade.h"

using tarvelo::os_port::kNoWakeup;
using tarvelo::os_port::kWakeupTimerId;

namespace {

TimerHandle_t LLOSTV_FREERTOS_wake_up_timer = nullptr;
SemaphoreHandle_t LLOSTV_FREERTOS_Semaphore = nullptr;
// Written by the application task only.
std::int64_t LLOSTV_FREERTOS_next_wake_up_time = kNoWakeup;
// Set by the timer task, cleared by the application task before it re-arms.
std::atomic<std::uint8_t> LLOSTV_FREERTOS_timer_expired{0};

void wake_up_timer_callback(TimerHandle_t timer) {
    if (reinterpret_cast<std::uintptr_t>(pvTimerGetTimerID(timer)) != kWakeupTimerId) return;
    LLOSTV_FREERTOS_timer_expired.store(1);
    tarvelo::GreenThreadVMFacade::schedule();
}

// t - now, where now is a system time (never negative): a time so far in
// the past that the distance does not fit 64 bits is simply due.
std::int64_t delay_until(std::int64_t t, std::int64_t now) {
    return t < INT64_MIN + now ? INT64_MIN : t - now;
}

// A failure is reported with the name and line of the request that stopped.
void stop_timer(const char* function, int line) {
    if (xTimerStop(LLOSTV_FREERTOS_wake_up_timer, 0) != pdPASS)
        DbgConsole_Printf("%s:%d xTimerStop error\n", function, line);
}

}  // namespace

extern "C" std::int32_t LLOSTV_IMPL_initialize(void) {
    LLOSTV_FREERTOS_next_wake_up_time = kNoWakeup;
    LLOSTV_FREERTOS_timer_expired.store(0);
    LLOSTV_FREERTOS_wake_up_timer =
        xTimerCreate(nullptr, 100, pdFALSE, reinterpret_cast<void*>(std::uintptr_t{kWakeupTimerId}),
                     wake_up_timer_callback);
    if (LLOSTV_FREERTOS_wake_up_timer == nullptr) return -1;
    LLOSTV_FREERTOS_Semaphore = xSemaphoreCreateBinary();
    if (LLOSTV_FREERTOS_Semaphore == nullptr) return -1;
    // The time base is the tick count: nothing more to set up.
    return 0;
}

extern "C" std::int32_t LLOSTV_IMPL_vmTaskStarted(void) { return 0; }

extern "C" std::int32_t LLOSTV_IMPL_scheduleRequest__J(std::int64_t absolute_time_ms) {
    std::int64_t now = LLOSTV_IMPL_getCurrentTime__Z(1);
    std::uint32_t ticks = tarvelo_time_time_to_tick(delay_until(absolute_time_ms, now));
    if (ticks < 1) {
        // Already due: no timer, reschedule now.
        LLOSTV_FREERTOS_next_wake_up_time = kNoWakeup;
        stop_timer(__func__, __LINE__);
        return tarvelo::GreenThreadVMFacade::schedule();
    }
    if (LLOSTV_FREERTOS_timer_expired.load() == 0 && absolute_time_ms >= LLOSTV_FREERTOS_next_wake_up_time &&
        now < LLOSTV_FREERTOS_next_wake_up_time) {
        // The timer already armed fires first.
        return 0;
    }
    LLOSTV_FREERTOS_next_wake_up_time = absolute_time_ms;
    stop_timer(__func__, __LINE__);
    LLOSTV_FREERTOS_timer_expired.store(0);
    BaseType_t period = xTimerChangePeriod(LLOSTV_FREERTOS_wake_up_timer, ticks, 0);
    BaseType_t started = xTimerStart(LLOSTV_FREERTOS_wake_up_timer, 0);
    if (period == pdPASS && started == pdPASS) return 0;
    // The timer is not armed for t: a later request must not take it for
    // the pending one and leave the task without a wake-up.
    if (period != pdPASS) LLOSTV_FREERTOS_next_wake_up_time = kNoWakeup;
    return -1;
}

extern "C" std::int32_t LLOSTV_IMPL_idleVM(void) {
    return xSemaphoreTake(LLOSTV_FREERTOS_Semaphore, portMAX_DELAY) == pdTRUE ? 0 : -1;
}

extern "C" std::int32_t LLOSTV_IMPL_wakeupVM(void) {
    // Before the port is initialised nothing idles yet: a wake-up then (a
    // stop asked for at the process's start) has nothing to wake.
    if (LLOSTV_FREERTOS_Semaphore == nullptr) return -1;
    if (xPortIsInsideInterrupt()) {
        BaseType_t woken = pdFALSE;
        BaseType_t given = xSemaphoreGiveFromISR(LLOSTV_FREERTOS_Semaphore, &woken);
        portYIELD_FROM_ISR(woken);
        return given == pdTRUE ? 0 : -1;
    }
    return xSemaphoreGive(LLOSTV_FREERTOS_Semaphore) == pdTRUE ? 0 : -1;
}

extern "C" std::int32_t LLOSTV_IMPL_ackWakeup(void) { return 0; }

extern "C" std::int32_t LLOSTV_IMPL_getCurrentTaskID(void) {
    return static_cast<std::int32_t>(tarvelo::to_word(xTaskGetCurrentTaskHandle()));
}

extern "C" std::int32_t LLOSTV_IMPL_shutdown(void) { return 0; }

namespace tarvelo::os_port {

std::int64_t next_wakeup_time() { return LLOSTV_FREERTOS_next_wake_up_time; }
bool timer_expired() { return LLOSTV_FREERTOS_timer_expired.load() != 0; }
bool wakeup_timer_active() {
    return LLOSTV_FREERTOS_wake_up_timer != nullptr && xTimerIsTimerActive(LLOSTV_FREERTOS_wake_up_timer) != pdFALSE;
}

}  // namespace tarvelo::os_port
