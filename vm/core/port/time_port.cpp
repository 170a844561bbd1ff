// System time is the RTOS tick count times 5 ms, computed in 64 bits (so it
// restarts at 0 after 2^32 ticks, about 248.5 days); application time adds the
// offset the application set.
#include <atomic>

#include "FreeRTOS.h"
#include "task.h"
#include "vm/core/port/os_port.h"

namespace {

constexpr std::int64_t kMsPerTick = portTICK_PERIOD_MS;
constexpr std::int64_t kUsPerTick = kMsPerTick * 1000;

// Written by the application task only, read by the network tasks.
std::atomic<std::int64_t> tarvelo_application_time_offset{0};

// a + b and a - b modulo 2^64, as the device's 64-bit arithmetic gives them:
// the application may set any time, and reads back what it set.
std::int64_t wrapping_add(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}
std::int64_t wrapping_sub(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}

std::int64_t system_time_ms() {
    TickType_t ticks = xPortIsInsideInterrupt() ? xTaskGetTickCountFromISR() : xTaskGetTickCount();
    return static_cast<std::int64_t>(ticks) * kMsPerTick;
}

}  // namespace

extern "C" std::int64_t LLOSTV_IMPL_getCurrentTime__Z(std::uint8_t system) {
    std::int64_t now = system_time_ms();
    return system ? now : wrapping_add(now, tarvelo_application_time_offset.load(std::memory_order_relaxed));
}

extern "C" std::int64_t LLOSTV_IMPL_getTimeNanos(void) {
    return static_cast<std::int64_t>(xTaskGetTickCount()) * kMsPerTick * 1000000;
}

extern "C" void LLOSTV_IMPL_setApplicationTime__J(std::int64_t time_ms) {
    tarvelo_application_time_offset.store(wrapping_sub(time_ms, system_time_ms()), std::memory_order_relaxed);
}

extern "C" std::uint32_t tarvelo_time_time_to_tick(std::int64_t delay_ms) {
    if (delay_ms < 0) return 0;
    // Beyond these the product in microseconds overflows, or the tick count
    // (32 bits of 5,000 microseconds) cannot hold the delay.
    constexpr std::int64_t kMaxMs = 9223372036854775;
    constexpr std::int64_t kMaxUs = 21474836475000;
    if (delay_ms > kMaxMs || delay_ms * 1000 > kMaxUs) return 0xFFFFFFFFu;
    return static_cast<std::uint32_t>((delay_ms * 1000 + (kUsPerTick - 1)) / kUsPerTick);
}
