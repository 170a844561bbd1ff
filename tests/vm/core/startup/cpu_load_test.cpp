// The CPU-load figure: calibrated on idle time, then a running mean of the
// load measured every 500 ms.
#include <gtest/gtest.h>

#include "FreeRTOS.h"
#include "sim_clock.h"
#include "task.h"
#include "tests/support/isolated_run.h"
#include "tests/support/task_harness.h"
#include "vm/core/startup/cpu_load.h"

namespace {
// Off, the idle task's passes go uncounted, as on a board whose idle task
// never runs.
bool count_idle = true;
}  // namespace

extern "C" void vApplicationIdleHook(void) {
    if (count_idle) cpuload_idle();
}

using tarvelo::test::run_in_task;
using tarvelo::test::run_isolated;

TEST(CpuLoad, AnIdleSystemShowsAlmostNoLoad) {
    auto r = run_isolated([] {
        int load = -1;
        run_in_task([&] {
            if (cpuload_init() != 0) return;
            vTaskDelay(pdMS_TO_TICKS(2000));
            load = static_cast<int>(cpuload_get_load());
        });
        return load;
    });
    EXPECT_LE(r.exit_status, 5);
}

namespace {

// Keeps the CPU while ticks pass: time advances with no idle time.
void busy_task(void*) {
    for (;;) vSimAdvanceTicks(1);
}


}  // namespace

TEST(CpuLoad, ABusySystemShowsHighLoad) {
    auto r = run_isolated([] {
        int load = -1;
        run_in_task([&] {
            if (cpuload_init() != 0) return;
            vTaskDelay(pdMS_TO_TICKS(600));  // one idle measurement
            xTaskCreate(busy_task, "busy", 256, nullptr, 1, nullptr);
            vTaskDelay(pdMS_TO_TICKS(2500));
            load = static_cast<int>(cpuload_get_load());
        });
        return load;
    });
    EXPECT_GE(r.exit_status, 70);
    EXPECT_LE(r.exit_status, 100);
}

// A window with more idle passes than calibration saw (calibrated while
// something else ran) is a fully idle window, never a load beyond 100%.
TEST(CpuLoad, MoreIdleTimeThanCalibratedIsNoLoad) {
    auto r = run_isolated([] {
        int load = -1;
        run_in_task([&] {
            if (cpuload_init() != 0) return;
            for (int i = 0; i < 100000; ++i) cpuload_idle();
            vTaskDelay(pdMS_TO_TICKS(600));  // one measurement
            std::uint32_t figure = cpuload_get_load();
            load = figure <= 100 ? static_cast<int>(figure) : 255;
        });
        return load;
    });
    EXPECT_EQ(r.exit_status, 0);
}

TEST(CpuLoad, CalibrationWithoutIdleTimeFails) {
    auto r = run_isolated([] {
        int result = 0;
        count_idle = false;
        run_in_task([&] { result = cpuload_init(); });
        return -result;
    });
    EXPECT_EQ(r.exit_status, 2);
    EXPECT_EQ(r.output, "CPU load startup: invalid idle counter value: 0\n");
}
