#include "tests/platform/freertos/rtos_scenario.h"

#include <gtest/gtest.h>

namespace tarvelo::test {

Trace* trace = nullptr;

namespace {

const std::function<void()>* scenario_root = nullptr;

void root_task(void*) {
    (*scenario_root)();
    vTaskEndScheduler();
}

}  // namespace

void run_scenario(const std::function<void()>& root, UBaseType_t priority, SimClockMode_t clock,
                  TickType_t start_tick) {
    scenario_root = &root;
    vSimSetClockMode(clock);
    vSimSetTickCount(start_tick);
    ASSERT_EQ(xTaskCreate(root_task, "root", 1024, nullptr, priority, nullptr), pdPASS);
    vTaskStartScheduler();
    scenario_root = nullptr;
}

std::vector<std::string> Trace::lines() const {
    std::vector<std::string> out;
    int n = size_.load();
    if (n > kCapacity) n = kCapacity;
    for (int i = 0; i < n; ++i) {
        std::string line = events_[i].what;
        if (events_[i].value != kNoValue) line += "=" + std::to_string(events_[i].value);
        out.push_back(line);
    }
    return out;
}

TaskHandle_t spawn(TaskFunction_t function, const char* name, UBaseType_t priority, void* parameter) {
    TaskHandle_t handle = nullptr;
    BaseType_t created = xTaskCreate(function, name, 512, parameter, priority, &handle);
    EXPECT_EQ(created, pdPASS) << name;
    return handle;
}

}  // namespace tarvelo::test
