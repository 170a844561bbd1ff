// Task notifications: the actions on the value, counting with give and
// take, waiting with clear-on-entry and clear-on-exit, and interrupts.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "FreeRTOS.h"
#include "sim_interrupt.h"
#include "task.h"
#include "tests/platform/freertos/rtos_scenario.h"

using tarvelo::test::run_scenario;
using tarvelo::test::spawn;
using tarvelo::test::trace;
using Lines = std::vector<std::string>;

namespace {

TaskHandle_t target = nullptr;

using NotificationTest = tarvelo::test::TracedTest;

}  // namespace

TEST_F(NotificationTest, ActionsOnThePendingValue) {
    struct Case {
        const char* what;
        bool pending;  // a notification already waits (value 0x10)
        eNotifyAction action;
        uint32_t value;
        BaseType_t result;
        uint32_t after;
    };
    static const Case cases[] = {
        {"set bits", true, eSetBits, 0x3, pdPASS, 0x13},
        {"increment", true, eIncrement, 0, pdPASS, 0x11},
        {"overwrite", true, eSetValueWithOverwrite, 7, pdPASS, 7},
        {"no overwrite while pending", true, eSetValueWithoutOverwrite, 7, pdFAIL, 0x10},
        {"no overwrite, nothing pending", false, eSetValueWithoutOverwrite, 7, pdPASS, 7},
        {"no action", true, eNoAction, 7, pdPASS, 0x10},
    };
    for (const Case& c : cases) {
        static const Case* current;
        static BaseType_t result;
        static uint32_t previous, after;
        current = &c;
        run_scenario([] {
            TaskHandle_t me = xTaskGetCurrentTaskHandle();
            if (current->pending) xTaskNotify(me, 0x10, eSetValueWithOverwrite);
            result = xTaskNotifyAndQuery(me, current->value, current->action, &previous);
            xTaskNotifyWait(0, 0, &after, 0);
        });
        EXPECT_EQ(result, c.result) << c.what;
        EXPECT_EQ(after, c.after) << c.what;
        EXPECT_EQ(previous, c.pending ? 0x10u : 0u) << c.what;
    }
}

TEST_F(NotificationTest, GiveAndTakeCount) {
    run_scenario([] {
        TaskHandle_t me = xTaskGetCurrentTaskHandle();
        for (int i = 0; i < 3; ++i) xTaskNotifyGive(me);
        trace->add("take", ulTaskNotifyTake(pdFALSE, 0));
        trace->add("take", ulTaskNotifyTake(pdFALSE, 0));
        trace->add("take and clear", ulTaskNotifyTake(pdTRUE, 0));
        trace->add("nothing left", ulTaskNotifyTake(pdTRUE, 4));
        trace->add("waited until", xTaskGetTickCount());
    });
    EXPECT_EQ(record.lines(),
              (Lines{"take=3", "take=2", "take and clear=1", "nothing left=0", "waited until=4"}));
}

// A waiting task wakes at once when notified; bits named on entry are
// cleared before it waits, those named on exit after it has read them.
TEST_F(NotificationTest, WaitClearsOnEntryAndExit) {
    run_scenario(
        [] {
            target = spawn(
                [](void*) {
                    uint32_t value = 0;
                    BaseType_t got = xTaskNotifyWait(0x0F, 0xF0, &value, portMAX_DELAY);
                    trace->add("got", got);
                    trace->add("value", value);
                    got = xTaskNotifyWait(0, 0, &value, 3);
                    trace->add("second wait", got);
                    trace->add("value left", value);
                    vTaskDelete(nullptr);
                },
                "target", 3);
            trace->add("notify", xTaskNotify(target, 0x1F0, eSetBits));
            vTaskDelay(10);
        },
        2);
    // 0x1F0 arrives after the entry clear; the exit clear leaves 0x100.
    EXPECT_EQ(record.lines(),
              (Lines{"got=1", "value=496", "notify=1", "second wait=0", "value left=256"}));
}

TEST_F(NotificationTest, EntryClearAppliesOnlyWhenNothingIsPending) {
    run_scenario([] {
        TaskHandle_t me = xTaskGetCurrentTaskHandle();
        xTaskNotify(me, 0xFF, eSetValueWithOverwrite);
        uint32_t value = 0;
        trace->add("pending", xTaskNotifyWait(0xFF, 0, &value, 0));
        trace->add("value", value);
        trace->add("clear state", xTaskNotifyStateClear(me));
        trace->add("value clear returns", ulTaskNotifyValueClear(me, 0x0F));
        xTaskNotifyWait(0, 0, &value, 0);
        trace->add("after value clear", value);
    });
    EXPECT_EQ(record.lines(), (Lines{"pending=1", "value=255", "clear state=0", "value clear returns=255",
                                     "after value clear=240"}));
}

TEST_F(NotificationTest, GiveFromAnInterruptWakesAHigherTask) {
    static std::atomic<bool> done{false};
    run_scenario(
        [] {
            target = spawn(
                [](void*) {
                    trace->add("took", ulTaskNotifyTake(pdTRUE, portMAX_DELAY));
                    done.store(true);
                    vTaskDelete(nullptr);
                },
                "target", 3);
            vSimRaiseInterrupt(
                [](void*) {
                    BaseType_t woken = pdFALSE;
                    vTaskNotifyGiveFromISR(target, &woken);
                    trace->add("woken", woken);
                    portYIELD_FROM_ISR(woken);
                },
                nullptr);
            while (!done.load()) {
            }
        },
        1);
    EXPECT_EQ(record.lines(), (Lines{"woken=1", "took=1"}));
}
