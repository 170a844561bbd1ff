// Runs test code inside an RTOS task, the way firmware code runs: the
// scheduler starts, the body runs in a task of the given priority, and the
// scheduler ends when the body returns.
#pragma once

#include <functional>

#include "FreeRTOS.h"

namespace tarvelo::test {

// Runs `body` in a task named "Tarvelo task" (the application task's name)
// at `priority`, with the virtual clock unless `real_clock` is set.
void run_in_task(const std::function<void()>& body, UBaseType_t priority = 4, bool real_clock = false);

}  // namespace tarvelo::test
