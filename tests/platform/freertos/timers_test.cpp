// Software timers: one-shot and periodic expiry, callbacks on the timer
// task at its priority, period changes, resets, deletion, the FromISR
// commands and pended function calls. Virtual clock: expiries are exact.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FreeRTOS.h"
#include "semphr.h"
#include "sim_clock.h"
#include "sim_interrupt.h"
#include "task.h"
#include "tests/platform/freertos/rtos_scenario.h"
#include "timers.h"

using tarvelo::test::run_scenario;
using tarvelo::test::spawn;
using tarvelo::test::trace;
using Lines = std::vector<std::string>;

namespace {

TimerHandle_t timer = nullptr;

using TimerTest = tarvelo::test::TracedTest;

void record_expiry(TimerHandle_t) { trace->add("fired", xTaskGetTickCount()); }

}  // namespace

TEST_F(TimerTest, OneShotFiresOnceOnTheTimerTask) {
    run_scenario([] {
        timer = xTimerCreate("once", 10, pdFALSE, reinterpret_cast<void*>(std::uintptr_t{42}), [](TimerHandle_t t) {
            trace->add("fired", xTaskGetTickCount());
            trace->add(pcTaskGetName(nullptr), uxTaskPriorityGet(nullptr));
            trace->add("id", static_cast<long long>(reinterpret_cast<std::uintptr_t>(pvTimerGetTimerID(t))));
        });
        trace->add("active before start", xTimerIsTimerActive(timer));
        xTimerStart(timer, 0);
        trace->add("active", xTimerIsTimerActive(timer));
        vTaskDelay(50);
        trace->add("active after", xTimerIsTimerActive(timer));
        trace->add("name is", std::strcmp(pcTimerGetName(timer), "once") == 0);
    });
    EXPECT_EQ(record.lines(), (Lines{"active before start=0", "active=1", "fired=10", "Tmr Svc=9", "id=42",
                                     "active after=0", "name is=1"}));
}

TEST_F(TimerTest, PeriodicFiresEveryPeriodUntilStopped) {
    run_scenario([] {
        timer = xTimerCreate("tick", 7, pdTRUE, nullptr, record_expiry);
        xTimerStart(timer, 0);
        vTaskDelay(30);
        xTimerStop(timer, 0);
        trace->add("stopped, active", xTimerIsTimerActive(timer));
        vTaskDelay(30);
    });
    EXPECT_EQ(record.lines(), (Lines{"fired=7", "fired=14", "fired=21", "fired=28", "stopped, active=0"}));
}

// The expiry readies the timer task, which preempts the task whose tick
// interrupt made it due.
TEST_F(TimerTest, CallbackPreemptsALowerTask) {
    run_scenario(
        [] {
            timer = xTimerCreate("soon", 5, pdFALSE, nullptr, record_expiry);
            xTimerStart(timer, 0);
            vSimAdvanceTicks(4);
            trace->add("advanced", xTaskGetTickCount());
            vSimAdvanceTicks(1);
            trace->add("advanced", xTaskGetTickCount());
        },
        2);
    EXPECT_EQ(record.lines(), (Lines{"advanced=4", "fired=5", "advanced=5"}));
}

TEST_F(TimerTest, ChangePeriodStartsAndResetRestarts) {
    run_scenario([] {
        timer = xTimerCreate("t", 100, pdFALSE, nullptr, record_expiry);
        xTimerChangePeriod(timer, 3, 0);
        trace->add("active", xTimerIsTimerActive(timer));
        trace->add("period", xTimerGetPeriod(timer));
        vTaskDelay(5);  // fires at 3
        xTimerChangePeriod(timer, 10, 0);
        vTaskDelay(6);  // now 11, due at 15
        xTimerReset(timer, 0);
        trace->add("expiry after reset", xTimerGetExpiryTime(timer));
        vTaskDelay(30);
    });
    EXPECT_EQ(record.lines(), (Lines{"active=1", "period=3", "fired=3", "expiry after reset=21", "fired=21"}));
}

TEST_F(TimerTest, DeletedTimerNeverFiresAndFreesItsMemory) {
    run_scenario([] {
        size_t before = xPortGetFreeHeapSize();
        timer = xTimerCreate("gone", 5, pdTRUE, nullptr, record_expiry);
        xTimerStart(timer, 0);
        xTimerDelete(timer, 0);
        vTaskDelay(20);
        trace->add("heap back", xPortGetFreeHeapSize() == before);
    });
    EXPECT_EQ(record.lines(), (Lines{"heap back=1"}));
}

// A periodic timer whose task could not run for several periods reports
// every missed period, in order.
TEST_F(TimerTest, MissedPeriodsAreEachReported) {
    run_scenario(
        [] {
            timer = xTimerCreate("p", 4, pdTRUE, nullptr, record_expiry);
            xTimerStart(timer, 0);
            vTaskSuspendAll();
            vSimAdvanceTicks(13);  // pended while the scheduler is suspended
            xTaskResumeAll();
            xTimerStop(timer, 0);
        },
        2);
    EXPECT_EQ(record.lines(), (Lines{"fired=13", "fired=13", "fired=13"}));
}

TEST_F(TimerTest, CommandsFromAnInterrupt) {
    static SemaphoreHandle_t fired = nullptr;
    run_scenario(
        [] {
            fired = xSemaphoreCreateBinary();
            timer = xTimerCreate("isr", 4, pdFALSE, nullptr, [](TimerHandle_t) {
                trace->add("fired", xTaskGetTickCount());
                xSemaphoreGive(fired);
            });
            vSimRaiseInterrupt(
                [](void*) {
                    BaseType_t woken = pdFALSE;
                    trace->add("start from isr", xTimerStartFromISR(timer, &woken));
                    trace->add("woken", woken);
                    portYIELD_FROM_ISR(woken);
                },
                nullptr);
            xSemaphoreTake(fired, portMAX_DELAY);
            vSimRaiseInterrupt(
                [](void*) {
                    BaseType_t woken = pdFALSE;
                    xTimerChangePeriodFromISR(timer, 2, &woken);
                    portYIELD_FROM_ISR(woken);
                },
                nullptr);
            xSemaphoreTake(fired, portMAX_DELAY);
        },
        2);
    EXPECT_EQ(record.lines(), (Lines{"start from isr=1", "woken=1", "fired=4", "fired=6"}));
}

TEST_F(TimerTest, PendedFunctionRunsOnTheTimerTask) {
    run_scenario(
        [] {
            xTimerPendFunctionCall(
                [](void* p, uint32_t v) {
                    trace->add(static_cast<const char*>(p), v);
                    trace->add(pcTaskGetName(nullptr));
                },
                const_cast<char*>("pended"), 77, 0);
            trace->add("after the call");
        },
        2);
    EXPECT_EQ(record.lines(), (Lines{"pended=77", "Tmr Svc", "after the call"}));
}

// The timer command queue is bounded: with the timer task unable to run,
// commands beyond its length fail at once.
TEST_F(TimerTest, FullCommandQueueFailsWithoutWaiting) {
    run_scenario([] {
        timer = xTimerCreate("t", 5, pdFALSE, nullptr, record_expiry);
        vTaskSuspendAll();
        int accepted = 0;
        for (int i = 0; i < configTIMER_QUEUE_LENGTH + 3; ++i) accepted += xTimerStop(timer, 0) == pdPASS;
        xTaskResumeAll();
        trace->add("accepted", accepted);
    });
    EXPECT_EQ(record.lines(), (Lines{"accepted=" + std::to_string(configTIMER_QUEUE_LENGTH)}));
}

// Expiries are counted on past the 32-bit tick wrap: a timer started just
// before it fires just after it, whether started, reset or given a new
// period, one-shot or periodic.
TEST_F(TimerTest, ExpiriesAcrossTheTickWrap) {
    struct Case {
        const char* name;
        BaseType_t command;
        TickType_t period;
        bool periodic;
        Lines fired;
    };
    static const Case cases[] = {
        {"start", tmrCOMMAND_START, 10, false, {"fired=6"}},
        {"reset", tmrCOMMAND_RESET, 4, false, {"fired=0"}},
        {"change period", tmrCOMMAND_CHANGE_PERIOD, 8, false, {"fired=4"}},
        {"periodic", tmrCOMMAND_START, 3, true, {"fired=4294967295", "fired=2", "fired=5"}},
    };
    for (const Case& c : cases) {
        static const Case* current;
        current = &c;
        tarvelo::test::Trace trace_of_case;
        trace = &trace_of_case;
        run_scenario(
            [] {
                timer = xTimerCreate("wrap", current->command == tmrCOMMAND_CHANGE_PERIOD ? 100 : current->period,
                                     current->periodic ? pdTRUE : pdFALSE, nullptr, record_expiry);
                const TickType_t value =
                    current->command == tmrCOMMAND_CHANGE_PERIOD ? current->period : xTaskGetTickCount();
                xTimerGenericCommand(timer, current->command, value, nullptr, 0);
                vTaskDelay(10);
                xTimerStop(timer, 0);
            },
            5, eSimClockVirtual, 0xFFFFFFFCu);
        EXPECT_EQ(trace_of_case.lines(), c.fired) << c.name;
    }
    trace = &record;
}
