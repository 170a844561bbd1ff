// Scheduling: strict priorities, immediate preemption, no time slicing,
// suspension, deletion, priority changes, suspended scheduler, and
// restarting the scheduler in one process. Virtual clock throughout.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FreeRTOS.h"
#include "queue.h"
#include "semphr.h"
#include "sim_clock.h"
#include "task.h"
#include "tests/platform/freertos/rtos_scenario.h"
#include "timers.h"

using tarvelo::test::run_scenario;
using tarvelo::test::spawn;
using tarvelo::test::trace;
using Lines = std::vector<std::string>;

namespace {

SemaphoreHandle_t sem = nullptr;

using SchedulerTest = tarvelo::test::TracedTest;

void delete_self() { vTaskDelete(nullptr); }

}  // namespace

TEST_F(SchedulerTest, GiveToAWaitingHigherTaskSwitchesBeforeTheGiveReturns) {
    run_scenario(
        [] {
            sem = xSemaphoreCreateBinary();
            spawn(
                [](void*) {
                    trace->add("high waits");
                    xSemaphoreTake(sem, portMAX_DELAY);
                    trace->add("high runs");
                    delete_self();
                },
                "high", 3);
            trace->add("low gives");
            xSemaphoreGive(sem);
            trace->add("give returned");
        },
        1);
    EXPECT_EQ(record.lines(), (Lines{"high waits", "low gives", "high runs", "give returned"}));
}

TEST_F(SchedulerTest, ReadyTasksRunByPriorityThenInTheOrderTheyBecameReady) {
    static const UBaseType_t priorities[] = {2, 5, 3, 7, 1, 5};
    run_scenario(
        [] {
            for (const UBaseType_t& p : priorities)
                spawn(
                    [](void* arg) {
                        trace->add("ran", static_cast<const UBaseType_t*>(arg) - priorities);
                        delete_self();
                    },
                    "worker", p, const_cast<UBaseType_t*>(&p));
            trace->add("created");
            vTaskDelay(1);
        },
        8);
    EXPECT_EQ(record.lines(), (Lines{"created", "ran=3", "ran=1", "ran=5", "ran=2", "ran=0", "ran=4"}));
}

// Equal priorities take turns only when the running task yields: ticks
// passing do not switch.
TEST_F(SchedulerTest, EqualPrioritiesSwitchOnlyOnYield) {
    run_scenario(
        [] {
            spawn(
                [](void*) {
                    for (int i = 0; i < 10; ++i) vSimAdvanceTicks(1);
                    trace->add("A ticked", xTaskGetTickCount());
                    taskYIELD();
                    trace->add("A back");
                    delete_self();
                },
                "A", 3);
            spawn(
                [](void*) {
                    trace->add("B");
                    taskYIELD();
                    trace->add("B back");
                    delete_self();
                },
                "B", 3);
            vTaskDelay(100);
        },
        4);
    EXPECT_EQ(record.lines(), (Lines{"A ticked=10", "B", "A back", "B back"}));
}

TEST_F(SchedulerTest, YieldWithNoEqualReadyKeepsRunning) {
    run_scenario(
        [] {
            spawn(
                [](void*) {
                    trace->add("lower runs");
                    delete_self();
                },
                "lower", 2);
            taskYIELD();
            trace->add("after yield");
            vTaskDelay(1);
        },
        3);
    EXPECT_EQ(record.lines(), (Lines{"after yield", "lower runs"}));
}

TEST_F(SchedulerTest, SuspensionPausesATaskAndItsWait) {
    static TaskHandle_t h = nullptr;
    run_scenario(
        [] {
            h = spawn(
                [](void*) {
                    trace->add("h suspends itself");
                    vTaskSuspend(nullptr);
                    trace->add("h resumed");
                    vTaskDelay(10);
                    trace->add("h delay ended", xTaskGetTickCount());
                    delete_self();
                },
                "h", 3);
            trace->add("state", eTaskGetState(h));
            vTaskResume(h);
            trace->add("state", eTaskGetState(h));
            trace->add("self", eTaskGetState(xTaskGetCurrentTaskHandle()));
            // Suspended while it waits: its delay no longer runs.
            vTaskSuspend(h);
            trace->add("state", eTaskGetState(h));
            vTaskDelay(20);
            trace->add("root woke", xTaskGetTickCount());
            vTaskResume(h);
            trace->add("state", eTaskGetState(h));
        },
        2);
    EXPECT_EQ(record.lines(), (Lines{"h suspends itself", "state=" + std::to_string(eSuspended), "h resumed",
                                     "state=" + std::to_string(eBlocked), "self=" + std::to_string(eRunning),
                                     "state=" + std::to_string(eSuspended), "root woke=20", "h delay ended=20",
                                     "state=" + std::to_string(eDeleted)}));
}

TEST_F(SchedulerTest, DeletionReturnsMemoryAtOnceAndAReturningTaskIsDeleted) {
    run_scenario([] {
        const size_t free_before = xPortGetFreeHeapSize();
        const UBaseType_t tasks_before = uxTaskGetNumberOfTasks();
        static QueueHandle_t q = nullptr;
        q = xQueueCreate(1, sizeof(int));
        const size_t free_with_queue = xPortGetFreeHeapSize();
        TaskHandle_t waiter = spawn(
            [](void*) {
                int v;
                xQueueReceive(q, &v, portMAX_DELAY);
                trace->add("never");
            },
            "waiter", 6);
        trace->add("tasks", uxTaskGetNumberOfTasks() - tasks_before);
        trace->add("heap used by the task", xPortGetFreeHeapSize() < free_with_queue - 512 * 4);
        vTaskDelete(waiter);
        trace->add("tasks", uxTaskGetNumberOfTasks() - tasks_before);
        trace->add("heap back", xPortGetFreeHeapSize() == free_with_queue);
        spawn([](void*) { trace->add("returns"); }, "returns", 6);
        trace->add("tasks", uxTaskGetNumberOfTasks() - tasks_before);
        vQueueDelete(q);
        trace->add("all back", xPortGetFreeHeapSize() == free_before);
    });
    EXPECT_EQ(record.lines(), (Lines{"tasks=1", "heap used by the task=1", "tasks=0", "heap back=1", "returns",
                                     "tasks=0", "all back=1"}));
}

TEST_F(SchedulerTest, PriorityChangesTakeEffectAtOnce) {
    run_scenario(
        [] {
            TaskHandle_t worker = spawn(
                [](void*) {
                    trace->add("worker runs at", uxTaskPriorityGet(nullptr));
                    vTaskPrioritySet(nullptr, 1);
                    trace->add("worker again");
                    delete_self();
                },
                "worker", 1);
            trace->add("raising");
            vTaskPrioritySet(worker, 3);
            trace->add("root back");
            vTaskDelay(1);
        },
        2);
    EXPECT_EQ(record.lines(), (Lines{"raising", "worker runs at=3", "root back", "worker again"}));
}

TEST_F(SchedulerTest, SuspendedSchedulerDefersTheSwitchToResumeAll) {
    run_scenario(
        [] {
            sem = xSemaphoreCreateBinary();
            TaskHandle_t high = spawn(
                [](void*) {
                    xSemaphoreTake(sem, portMAX_DELAY);
                    trace->add("high runs");
                    delete_self();
                },
                "high", 3);
            vTaskSuspendAll();
            trace->add("state", xTaskGetSchedulerState());
            xSemaphoreGive(sem);
            trace->add("given, high is", eTaskGetState(high));
            BaseType_t yielded = xTaskResumeAll();
            trace->add("resume all yielded", yielded);
        },
        1);
    EXPECT_EQ(record.lines(), (Lines{"state=" + std::to_string(taskSCHEDULER_SUSPENDED),
                                     "given, high is=" + std::to_string(eReady), "high runs",
                                     "resume all yielded=1"}));
}

TEST_F(SchedulerTest, SchedulerStartsWithIdleAndTimerTasks) {
    run_scenario([] {
        TaskHandle_t idle = xTaskGetIdleTaskHandle();
        TaskHandle_t timers = xTimerGetTimerDaemonTaskHandle();
        trace->add(pcTaskGetName(idle), uxTaskPriorityGet(idle));
        trace->add(pcTaskGetName(timers), uxTaskPriorityGet(timers));
        trace->add("found by name", xTaskGetHandle("Tmr Svc") == timers);
        trace->add("tasks", uxTaskGetNumberOfTasks());
        trace->add("state", xTaskGetSchedulerState());
    });
    EXPECT_EQ(record.lines(), (Lines{"IDLE=0", "Tmr Svc=9", "found by name=1", "tasks=3",
                                     "state=" + std::to_string(taskSCHEDULER_RUNNING)}));
    EXPECT_EQ(xTaskGetSchedulerState(), taskSCHEDULER_NOT_STARTED);
}

// Unit tests start and end a scheduler per case: each start finds a fresh
// kernel (tick count, heap, tasks).
TEST_F(SchedulerTest, RestartsInOneProcessFromAFreshKernel) {
    const size_t heap_before = xPortGetFreeHeapSize();
    for (int round = 0; round < 3; ++round) {
        run_scenario([] {
            trace->add("tick", xTaskGetTickCount());
            trace->add("tasks", uxTaskGetNumberOfTasks());
            trace->add("heap", static_cast<long long>(xPortGetFreeHeapSize()));
            sem = xSemaphoreCreateBinary();
            spawn(
                [](void*) {
                    xSemaphoreTake(sem, portMAX_DELAY);
                    trace->add("helper");
                },
                "helper", 6);
            xSemaphoreGive(sem);
            vTaskDelay(7);
        });
        EXPECT_EQ(xPortGetFreeHeapSize(), heap_before) << round;
    }
    Lines lines = record.lines();
    ASSERT_EQ(lines.size(), 12u);
    for (int round = 1; round < 3; ++round)
        for (int i = 0; i < 4; ++i) EXPECT_EQ(lines[round * 4 + i], lines[i]) << round;
    EXPECT_EQ(lines[0], "tick=0");
    EXPECT_EQ(lines[3], "helper");
}
