// Runs a virtual-machine scenario in a fresh child process, inside the
// application task, and hands back what the scenario returned and printed.
#pragma once

#include <functional>

#include "tests/support/isolated_run.h"
#include "tests/support/task_harness.h"

namespace tarvelo::test {

inline ProcessResult run_vm_scenario(const std::function<int()>& scenario) {
    return run_isolated([&] {
        int result = 0;
        run_in_task([&] { result = scenario(); });
        return result;
    });
}

// Exit statuses carry one byte: a scenario returns a small code it checks.
inline int as_status(int value) { return value & 0xFF; }

}  // namespace tarvelo::test
