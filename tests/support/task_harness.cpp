#include "tests/support/task_harness.h"

#include "sim_clock.h"
#include "task.h"

namespace tarvelo::test {

namespace {

const std::function<void()>* current_body = nullptr;

void body_task(void*) {
    (*current_body)();
    vTaskEndScheduler();
}

}  // namespace

void run_in_task(const std::function<void()>& body, UBaseType_t priority, bool real_clock) {
    current_body = &body;
    vSimSetClockMode(real_clock ? eSimClockReal : eSimClockVirtual);
    xTaskCreate(body_task, "Tarvelo task", 10240, nullptr, priority, nullptr);
    vTaskStartScheduler();
    current_body = nullptr;
}

}  // namespace tarvelo::test
