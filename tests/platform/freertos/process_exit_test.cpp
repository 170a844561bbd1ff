// The process ends with the task chosen for it, with the status chosen,
// and stdout flushed; a failed kernel assertion halts with status 249,
// silent on stdout, its place on stderr.
#include <gtest/gtest.h>

#include <cstdio>

#include "FreeRTOS.h"
#include "platform/halt.h"
#include "semphr.h"
#include "sim_clock.h"
#include "sim_interrupt.h"
#include "task.h"
#include "tests/support/isolated_run.h"

using tarvelo::test::run_isolated;

namespace {

// Starts the scheduler with `app` as the task the process ends with.
int run_app(TaskFunction_t app, int status_on_delete) {
    TaskHandle_t handle = nullptr;
    if (xTaskCreate(app, "app", 256, nullptr, 4, &handle) != pdPASS) return 100;
    vSimExitProcessOnDelete(handle, status_on_delete);
    vSimSetClockMode(eSimClockVirtual);
    vTaskStartScheduler();
    return 101;  // the process should have ended inside the scheduler
}

void say(const char* text) {
    vSimNoPreemptEnter();
    std::fputs(text, stdout);  // no newline: only the exit's flush shows it
    vSimNoPreemptExit();
}

}  // namespace

TEST(ProcessExit, TaskDeletingItselfEndsTheProcessWithItsStatus) {
    auto r = run_isolated([] {
        return run_app(
            [](void*) {
                say("last words");
                vSimSetExitStatus(nullptr, 7);
                vTaskDelete(nullptr);
            },
            0);
    });
    EXPECT_EQ(r.exit_status, 7);
    EXPECT_EQ(r.output, "last words");
}

TEST(ProcessExit, TaskDeletedByAnotherEndsTheProcess) {
    auto r = run_isolated([] {
        return run_app(
            [](void*) {
                TaskHandle_t app = xTaskGetCurrentTaskHandle();
                xTaskCreate([](void* victim) { vTaskDelete(static_cast<TaskHandle_t>(victim)); }, "killer", 256, app,
                            5, nullptr);
                for (;;) vTaskDelay(1);
            },
            3);
    });
    EXPECT_EQ(r.exit_status, 3);
}

TEST(ProcessExit, TaskFunctionThatReturnsEndsItsTask) {
    auto r = run_isolated([] { return run_app([](void*) { say("returned"); }, 5); });
    EXPECT_EQ(r.exit_status, 5);
    EXPECT_EQ(r.output, "returned");
}

TEST(ProcessExit, FailedAssertionsHaltSilently) {
    struct Case {
        const char* what;
        TaskFunction_t body;
    };
    static const Case cases[] = {
        {"waiting with the scheduler suspended",
         [](void*) {
             SemaphoreHandle_t s = xSemaphoreCreateBinary();
             vTaskSuspendAll();
             xSemaphoreTake(s, 10);
         }},
        {"waiting inside a critical section",
         [](void*) {
             taskENTER_CRITICAL();
             vTaskDelay(1);
         }},
        {"freeing what the heap never gave",
         [](void*) {
             static int not_from_the_heap;
             vPortFree(&not_from_the_heap);
         }},
        {"priority out of range",
         [](void*) { xTaskCreate([](void*) {}, "x", 64, nullptr, configMAX_PRIORITIES, nullptr); }},
    };
    for (const Case& c : cases) {
        static TaskFunction_t body;
        body = c.body;
        auto r = run_isolated([] { return run_app(body, 0); });
        EXPECT_EQ(r.exit_status, TARVELO_EXIT_HALTED) << c.what;
        EXPECT_EQ(r.output, "") << c.what;
    }
}

TEST(ProcessExitDeathTest, FailedAssertionNamesItsPlaceOnStderr) {
#ifdef TARVELO_TEST_UNDER_EMULATOR
    GTEST_FLAG_SET(death_test_style, "fast");  // re-executing the test needs the emulator
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
#endif
    EXPECT_EXIT(run_app([](void*) { vPortFree(reinterpret_cast<void*>(16)); }, 0),
                ::testing::ExitedWithCode(TARVELO_EXIT_HALTED), "heap\\.cpp:[0-9]+: assertion failed");
}

TEST(ProcessExit, HaltFlushesStdout) {
    auto r = run_isolated([]() -> int {
        std::fputs("pending", stdout);
        platform_halt(42);
    });
    EXPECT_EQ(r.exit_status, 42);
    EXPECT_EQ(r.output, "pending");
}
