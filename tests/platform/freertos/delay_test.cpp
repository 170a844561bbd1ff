// Delays, periodic delays and aborted delays, across the 32-bit tick wrap.
// Virtual clock: a delay ends exactly at its tick.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FreeRTOS.h"
#include "queue.h"
#include "task.h"
#include "tests/platform/freertos/rtos_scenario.h"

using tarvelo::test::run_scenario;
using tarvelo::test::spawn;
using tarvelo::test::trace;
using Lines = std::vector<std::string>;

namespace {


using DelayTest = tarvelo::test::TracedTest;

}  // namespace

TEST_F(DelayTest, DelayEndsExactlyItsTicksLaterAcrossTheWrap) {
    struct Case {
        TickType_t start;
        TickType_t delay;
    };
    static Case current;
    for (Case c : {Case{0, 1}, Case{0, 100}, Case{0xFFFFFFF0u, 0x20}, Case{0xFFFFFFFFu, 1}, Case{0x7FFFFFFFu, 5},
                   Case{1, portMAX_DELAY - 1}}) {
        current = c;
        static TickType_t woke;
        run_scenario(
            [] {
                vTaskDelay(current.delay);
                woke = xTaskGetTickCount();
            },
            5, eSimClockVirtual, c.start);
        EXPECT_EQ(woke, static_cast<TickType_t>(c.start + c.delay)) << c.start << " + " << c.delay;
    }
}

TEST_F(DelayTest, SleepersWakeInDeadlineOrder) {
    static const TickType_t delays[] = {30, 10, 20, 10};
    run_scenario(
        [] {
            for (const TickType_t& d : delays)
                spawn(
                    [](void* arg) {
                        vTaskDelay(*static_cast<const TickType_t*>(arg));
                        trace->add("woke", static_cast<const TickType_t*>(arg) - delays);
                        trace->add("at", xTaskGetTickCount());
                        vTaskDelete(nullptr);
                    },
                    "sleeper", 3, const_cast<TickType_t*>(&d));
            vTaskDelay(50);
        },
        4, eSimClockVirtual, 0xFFFFFFF8u);
    EXPECT_EQ(record.lines(), (Lines{"woke=1", "at=2", "woke=3", "at=2", "woke=2", "at=12", "woke=0", "at=22"}));
}

// Periodic wake-ups keep their rhythm across the wrap, and a wake time
// already passed returns at once without delaying.
TEST_F(DelayTest, DelayUntil) {
    struct Case {
        const char* what;
        TickType_t start;     // tick count when the call is made
        TickType_t previous;  // previous wake time
        TickType_t increment;
        BaseType_t delayed;
        TickType_t tick_after;
    };
    static const Case cases[] = {
        {"ahead", 100, 95, 10, pdTRUE, 105},
        {"passed", 100, 80, 10, pdFALSE, 100},
        {"exactly now", 100, 90, 10, pdFALSE, 100},
        {"wake time wraps ahead", 0xFFFFFFF0u, 0xFFFFFFEEu, 0x20, pdTRUE, 0x0E},
        {"tick wrapped, wake time ahead", 5, 0xFFFFFFF0u, 0x20, pdTRUE, 0x10},
        {"tick wrapped, wake time passed", 5, 0xFFFFFFF0u, 0x10, pdFALSE, 5},
        {"tick wrapped, wake time before the wrap", 5, 0xFFFFFFF0u, 0x08, pdFALSE, 5},
    };
    for (const Case& c : cases) {
        static const Case* current;
        static BaseType_t delayed;
        static TickType_t previous_after, tick_after;
        current = &c;
        run_scenario(
            [] {
                TickType_t previous = current->previous;
                delayed = xTaskDelayUntil(&previous, current->increment);
                previous_after = previous;
                tick_after = xTaskGetTickCount();
            },
            5, eSimClockVirtual, c.start);
        EXPECT_EQ(delayed, c.delayed) << c.what;
        EXPECT_EQ(tick_after, c.tick_after) << c.what;
        EXPECT_EQ(previous_after, static_cast<TickType_t>(c.previous + c.increment)) << c.what;
    }
}

TEST_F(DelayTest, PeriodicLoopAcrossTheWrap) {
    run_scenario(
        [] {
            TickType_t last = xTaskGetTickCount();
            for (int i = 0; i < 4; ++i) {
                vTaskDelayUntil(&last, 16);
                trace->add("at", xTaskGetTickCount());
            }
        },
        5, eSimClockVirtual, 0xFFFFFFE0u);
    EXPECT_EQ(record.lines(), (Lines{"at=4294967280", "at=0", "at=16", "at=32"}));
}

TEST_F(DelayTest, AbortDelayWakesABlockedTaskAtOnce) {
    static TaskHandle_t sleeper, receiver;
    static QueueHandle_t q;
    run_scenario(
        [] {
            q = xQueueCreate(1, sizeof(int));
            sleeper = spawn(
                [](void*) {
                    vTaskDelay(1000);
                    trace->add("sleeper woke at", xTaskGetTickCount());
                    vTaskDelete(nullptr);
                },
                "sleeper", 3);
            receiver = spawn(
                [](void*) {
                    int v;
                    trace->add("receive", xQueueReceive(q, &v, 1000));
                    trace->add("receiver woke at", xTaskGetTickCount());
                    vTaskDelete(nullptr);
                },
                "receiver", 3);
            vTaskDelay(5);
            trace->add("abort", xTaskAbortDelay(sleeper));
            trace->add("abort", xTaskAbortDelay(receiver));
            trace->add("abort ready task", xTaskAbortDelay(xTaskGetCurrentTaskHandle()));
            vTaskDelay(1);
        },
        2);
    EXPECT_EQ(record.lines(), (Lines{"sleeper woke at=5", "abort=1", "receive=0", "receiver woke at=5", "abort=1",
                                     "abort ready task=0"}));
}
