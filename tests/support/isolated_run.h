// Runs a piece of a test in a child process, so that process-wide state
// (the one virtual machine, the runtime region, link-time configuration of
// the executable) starts fresh each time.
#pragma once

#include <functional>

#include "tests/support/process_run.h"

namespace tarvelo::test {

// Forks; the child runs `body`, whose result becomes its exit status. The
// child's standard output is collected.
ProcessResult run_isolated(const std::function<int()>& body);

}  // namespace tarvelo::test
