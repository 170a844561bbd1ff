#include "vm/core/startup/cpu_load.h"

#include <atomic>

#include "FreeRTOS.h"
#include "platform/board/debug_console.h"
#include "task.h"

namespace {

constexpr configSTACK_DEPTH_TYPE kStackWords = 256;
constexpr UBaseType_t kPriority = 8;

// The idle task increments the counter; the measuring task reads and clears it.
std::atomic<std::uint32_t> idle_counter{0};
std::uint32_t reference_counter = 0;
std::uint32_t schedule_time_ms = 0;
std::atomic<std::uint32_t> last_load{0};
std::uint32_t measurements = 0;

void cpuload_task(void*) {
    for (;;) {
        cpuload_impl_sleep(schedule_time_ms);
        // A window may hold more idle passes than calibration counted (it
        // was calibrated while something else ran): that window was idle,
        // not a negative load. Computed in 64 bits so that no count overflows.
        std::uint64_t idle_percent = 100u * std::uint64_t{idle_counter.load()} / reference_counter;
        if (idle_percent > 100u) idle_percent = 100u;
        auto load = static_cast<std::uint32_t>(
            (std::uint64_t{measurements} * last_load.load() + 100u - idle_percent) / (std::uint64_t{measurements} + 1u));
        last_load.store(load);
        ++measurements;
        idle_counter.store(0);
    }
}

}  // namespace

extern "C" void cpuload_impl_sleep(std::uint32_t ms) {
    vTaskDelay(ms <= 4 ? 1 : ms / portTICK_PERIOD_MS);
}

extern "C" void cpuload_idle(void) {
    taskENTER_CRITICAL();
    idle_counter.fetch_add(1, std::memory_order_relaxed);
    taskEXIT_CRITICAL();
}

extern "C" std::int32_t cpuload_init(void) {
    // Align on a tick edge: a one-tick delay ends exactly at one.
    vTaskDelay(1);
    idle_counter.store(0);
    cpuload_impl_sleep(50);
    std::uint32_t calibration = idle_counter.load();
    if (calibration == 0) {
        DbgConsole_Printf("CPU load startup: invalid idle counter value: %u\n", calibration);
        return -2;
    }
    schedule_time_ms = 500;
    reference_counter = 10 * calibration + 5;
    idle_counter.store(0);
    last_load.store(0);
    measurements = 0;
    if (xTaskCreate(cpuload_task, "CPULOAD", kStackWords, nullptr, kPriority, nullptr) != pdPASS) return -3;
    return 0;
}

extern "C" std::uint32_t cpuload_get_load(void) { return last_load.load(); }
