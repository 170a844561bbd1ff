// CPU load: counts the passes of the RTOS idle task and turns them into a
// load figure every 500 ms, as a running mean since start.
#pragma once

#include <cstdint>

extern "C" {
// Calibrates on 50 ms of idling and starts the "CPULOAD" task: 0, -2 when the
// idle task never ran during calibration, -3 when the task was not created.
std::int32_t cpuload_init(void);
// Called from the idle hook, once per pass of the idle task.
void cpuload_idle(void);
void cpuload_impl_sleep(std::uint32_t ms);
// The running mean of the load since start, in percent.
std::uint32_t cpuload_get_load(void);
}
