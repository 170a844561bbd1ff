// Semaphores and mutexes: counting limits, priority inheritance and its
// end, recursive mutexes, and gives that are not owed.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "FreeRTOS.h"
#include "semphr.h"
#include "sim_interrupt.h"
#include "task.h"
#include "tests/platform/freertos/rtos_scenario.h"

using tarvelo::test::run_scenario;
using tarvelo::test::spawn;
using tarvelo::test::trace;
using Lines = std::vector<std::string>;

namespace {

SemaphoreHandle_t mutex = nullptr;
SemaphoreHandle_t go_high = nullptr;
SemaphoreHandle_t go_middle = nullptr;

using SemaphoreTest = tarvelo::test::TracedTest;

}  // namespace

TEST_F(SemaphoreTest, CountsStayWithinTheirLimits) {
    struct Case {
        const char* what;
        UBaseType_t max, initial;
        int gives;                // attempted gives
        UBaseType_t count_after;  // count after them
    };
    static const Case cases[] = {
        {"binary starts empty", 1, 0, 0, 0},
        {"binary holds one", 1, 0, 3, 1},
        {"counting from one", 3, 1, 1, 2},
        {"counting to its max", 3, 1, 5, 3},
    };
    for (const Case& c : cases) {
        static const Case* current;
        static UBaseType_t count;
        static int successful_gives, successful_takes;
        current = &c;
        run_scenario([] {
            SemaphoreHandle_t s = current->max == 1 ? xSemaphoreCreateBinary()
                                                    : xSemaphoreCreateCounting(current->max, current->initial);
            successful_gives = 0;
            for (int i = 0; i < current->gives; ++i) successful_gives += xSemaphoreGive(s) == pdTRUE;
            count = uxSemaphoreGetCount(s);
            successful_takes = 0;
            while (xSemaphoreTake(s, 0) == pdTRUE) ++successful_takes;
            vSemaphoreDelete(s);
        });
        EXPECT_EQ(count, c.count_after) << c.what;
        EXPECT_EQ(successful_gives, static_cast<int>(c.count_after - (c.max == 1 ? 0 : c.initial))) << c.what;
        EXPECT_EQ(successful_takes, static_cast<int>(c.count_after)) << c.what;
    }
}

TEST_F(SemaphoreTest, CountingSemaphoreRejectsAnInitialCountAboveItsMax) {
    run_scenario([] {
        trace->add("created", xSemaphoreCreateCounting(2, 3) != nullptr);
        trace->add("zero max", xSemaphoreCreateCounting(0, 0) != nullptr);
    });
    EXPECT_EQ(record.lines(), (Lines{"created=0", "zero max=0"}));
}

// Low holds the mutex; High waits for it and lends Low its priority, so
// Middle cannot run in between; when Low gives the mutex back it drops to
// its own priority and High takes over at once.
TEST_F(SemaphoreTest, MutexHolderInheritsTheWaitersPriority) {
    run_scenario(
        [] {
            mutex = xSemaphoreCreateMutex();
            go_high = xSemaphoreCreateBinary();
            go_middle = xSemaphoreCreateBinary();
            spawn(
                [](void*) {
                    xSemaphoreTake(go_high, portMAX_DELAY);
                    trace->add("high waits for the mutex");
                    xSemaphoreTake(mutex, portMAX_DELAY);
                    trace->add("high has the mutex");
                    xSemaphoreGive(mutex);
                    vTaskDelete(nullptr);
                },
                "high", 3);
            spawn(
                [](void*) {
                    xSemaphoreTake(go_middle, portMAX_DELAY);
                    trace->add("middle runs");
                    vTaskDelete(nullptr);
                },
                "middle", 2);
            vTaskPrioritySet(nullptr, 1);  // the root is Low from here on
            xSemaphoreTake(mutex, portMAX_DELAY);
            trace->add("holder", xSemaphoreGetMutexHolder(mutex) == xTaskGetCurrentTaskHandle());
            xSemaphoreGive(go_high);
            trace->add("low runs at", uxTaskPriorityGet(nullptr));
            xSemaphoreGive(go_middle);
            trace->add("low still runs");
            xSemaphoreGive(mutex);
            trace->add("low back at", uxTaskPriorityGet(nullptr));
        },
        5);
    EXPECT_EQ(record.lines(), (Lines{"holder=1", "high waits for the mutex", "low runs at=3", "low still runs",
                                     "high has the mutex", "middle runs", "low back at=1"}));
}

// A waiter that gives up takes back the priority it lent.
TEST_F(SemaphoreTest, InheritedPriorityEndsWhenTheWaiterTimesOut) {
    run_scenario(
        [] {
            mutex = xSemaphoreCreateMutex();
            xSemaphoreTake(mutex, portMAX_DELAY);
            spawn(
                [](void*) {
                    trace->add("high gives up", xSemaphoreTake(mutex, 5));
                    trace->add("at", xTaskGetTickCount());
                    vTaskDelete(nullptr);
                },
                "high", 4);
            trace->add("low lent", uxTaskPriorityGet(nullptr));
            vTaskDelay(10);
            trace->add("low after timeout", uxTaskPriorityGet(nullptr));
            xSemaphoreGive(mutex);
        },
        1);
    EXPECT_EQ(record.lines(), (Lines{"low lent=4", "high gives up=0", "at=5", "low after timeout=1"}));
}

TEST_F(SemaphoreTest, RecursiveMutexIsReleasedByTheLastGive) {
    run_scenario(
        [] {
            mutex = xSemaphoreCreateRecursiveMutex();
            for (int i = 0; i < 3; ++i) xSemaphoreTakeRecursive(mutex, 0);
            spawn(
                [](void*) {
                    trace->add("other give", xSemaphoreGiveRecursive(mutex));
                    trace->add("other take", xSemaphoreTakeRecursive(mutex, portMAX_DELAY));
                    trace->add("other has it at", xTaskGetTickCount());
                    vTaskDelete(nullptr);
                },
                "other", 3);
            for (int i = 0; i < 3; ++i) {
                vTaskDelay(1);
                trace->add("give", xSemaphoreGiveRecursive(mutex));
            }
            trace->add("extra give", xSemaphoreGiveRecursive(mutex));
        },
        2);
    EXPECT_EQ(record.lines(), (Lines{"other give=0", "give=1", "give=1", "other take=1", "other has it at=3",
                                     "give=1", "extra give=0"}));
}

// A mutex is given back only by its holder: a give that is not owed fails
// and leaves the mutex with its holder.
TEST_F(SemaphoreTest, OnlyTheHolderGivesAMutex) {
    run_scenario(
        [] {
            mutex = xSemaphoreCreateMutex();
            trace->add("give when free", xSemaphoreGive(mutex));
            xSemaphoreTake(mutex, 0);
            spawn(
                [](void*) {
                    trace->add("stranger give", xSemaphoreGive(mutex));
                    trace->add("still held", xSemaphoreGetMutexHolder(mutex) != nullptr);
                    vTaskDelete(nullptr);
                },
                "stranger", 3);
            vSimRaiseInterrupt(
                [](void*) {
                    BaseType_t woken = pdFALSE;
                    trace->add("isr give", xSemaphoreGiveFromISR(mutex, &woken));
                },
                nullptr);
            vTaskDelay(1);
            while (trace->size() < 4) vTaskDelay(1);
            trace->add("holder give", xSemaphoreGive(mutex));
        },
        2);
    EXPECT_EQ(record.lines(),
              (Lines{"give when free=0", "stranger give=0", "still held=1", "isr give=0", "holder give=1"}));
}
