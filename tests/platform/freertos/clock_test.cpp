// The clock modes: the virtual clock moves only when every task waits (or
// by vSimAdvanceTicks), the fast clock jumps over idle time, the real clock
// ticks with host time; the environment chooses when the code does not.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "FreeRTOS.h"
#include "semphr.h"
#include "sim_clock.h"
#include "sim_interrupt.h"
#include "task.h"
#include "tests/platform/freertos/rtos_scenario.h"

using tarvelo::test::run_scenario;
using tarvelo::test::spawn;
using tarvelo::test::trace;
using Lines = std::vector<std::string>;

namespace {


using ClockTest = tarvelo::test::TracedTest;

}  // namespace

TEST_F(ClockTest, VirtualTimeStandsStillWhileAnyTaskRuns) {
    run_scenario([] {
        spawn(
            [](void*) {
                for (;;) taskYIELD();
            },
            "spinner", 5);
        // The spinner and this task take turns: somebody is always ready.
        for (int i = 0; i < 1000; ++i) taskYIELD();
        trace->add("after yields", xTaskGetTickCount());
        vTaskPrioritySet(nullptr, 6);
        vTaskDelete(xTaskGetHandle("spinner"));
        vTaskDelay(5);
        trace->add("after delay", xTaskGetTickCount());
    });
    EXPECT_EQ(record.lines(), (Lines{"after yields=0", "after delay=5"}));
}

// Advancing ticks acts as tick interrupts: a delayed task of higher
// priority preempts the task that advanced them.
TEST_F(ClockTest, AdvancedTicksWakeDelayedTasks) {
    run_scenario(
        [] {
            spawn(
                [](void*) {
                    vTaskDelay(3);
                    trace->add("sleeper woke", xTaskGetTickCount());
                    vTaskDelete(nullptr);
                },
                "sleeper", 4);
            vSimAdvanceTicks(2);
            trace->add("advanced", xTaskGetTickCount());
            vSimAdvanceTicks(1);
            trace->add("advanced", xTaskGetTickCount());
        },
        2);
    EXPECT_EQ(record.lines(), (Lines{"advanced=2", "sleeper woke=3", "advanced=3"}));
}

// An hour of sleep passes at once; the sleepers wake in deadline order.
TEST_F(ClockTest, FastClockJumpsOverIdleTime) {
    static const TickType_t hour = pdMS_TO_TICKS(3600u * 1000u);
    run_scenario(
        [] {
            trace->add("mode", eSimGetClockMode());
            spawn(
                [](void*) {
                    vTaskDelay(2 * hour);
                    trace->add("two hours");
                    vTaskDelete(nullptr);
                },
                "two", 3);
            spawn(
                [](void*) {
                    vTaskDelay(hour);
                    trace->add("one hour");
                    vTaskDelete(nullptr);
                },
                "one", 3);
            vTaskDelay(3 * hour);
            trace->add("at least three hours", xTaskGetTickCount() >= 3 * hour);
        },
        2, eSimClockFast);
    EXPECT_EQ(record.lines(), (Lines{"mode=" + std::to_string(eSimClockFast), "one hour", "two hours",
                                     "at least three hours=1"}));
}

// Time does not jump past an interrupt that was raised and has not run:
// what it does comes first.
TEST_F(ClockTest, RaisedInterruptsRunBeforeTimeJumps) {
    static SemaphoreHandle_t sem;
    run_scenario([] {
        sem = xSemaphoreCreateBinary();
        for (int i = 0; i < 20; ++i) {
            vSimRaiseInterrupt(
                [](void*) {
                    BaseType_t woken = pdFALSE;
                    xSemaphoreGiveFromISR(sem, &woken);
                    portYIELD_FROM_ISR(woken);
                },
                nullptr);
            if (xSemaphoreTake(sem, 100) != pdTRUE) trace->add("timed out", i);
        }
        trace->add("tick", xTaskGetTickCount());
    });
    EXPECT_EQ(record.lines(), (Lines{"tick=0"}));
}

TEST_F(ClockTest, RealClockTicks) {
    run_scenario(
        [] {
            TickType_t before = xTaskGetTickCount();
            vTaskDelay(2);
            trace->add("two ticks or more", xTaskGetTickCount() - before >= 2);
            // The tick interrupt advances time even while the task is busy.
            TickType_t start = xTaskGetTickCount();
            while (xTaskGetTickCount() == start) {
            }
            trace->add("ticked while busy");
        },
        2, eSimClockReal);
    EXPECT_EQ(record.lines(), (Lines{"two ticks or more=1", "ticked while busy"}));
}

TEST(ClockMode, EnvironmentChoosesWhenTheCodeDoesNot) {
    struct Case {
        const char* value;
        SimClockMode_t mode;
    };
    for (Case c : {Case{"virtual", eSimClockVirtual}, Case{"fast", eSimClockFast}, Case{"real", eSimClockReal},
                   Case{"", eSimClockReal}, Case{"warp", eSimClockReal}}) {
        setenv("TARVELO_CLOCK", c.value, 1);
        vSimSetClockMode(eSimClockDefault);
        EXPECT_EQ(eSimGetClockMode(), c.mode) << c.value;
        vSimSetClockMode(eSimClockVirtual);
        EXPECT_EQ(eSimGetClockMode(), eSimClockVirtual) << "the code's choice wins over " << c.value;
    }
    unsetenv("TARVELO_CLOCK");
    vSimSetClockMode(eSimClockDefault);
    EXPECT_EQ(eSimGetClockMode(), eSimClockReal);
}

TEST(ClockMode, ChoiceLastsOneSchedulerRun) {
    unsetenv("TARVELO_CLOCK");
    static SimClockMode_t inside;
    run_scenario([] { inside = eSimGetClockMode(); }, 5, eSimClockVirtual, 42);
    EXPECT_EQ(inside, eSimClockVirtual);
    EXPECT_EQ(eSimGetClockMode(), eSimClockReal);
    EXPECT_EQ(xTaskGetTickCount(), 0u) << "the tick count returns to 0 after the run";
}
