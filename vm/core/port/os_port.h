// The services the virtual machine asks of the operating system: a way to
// idle the application task until something happens, a one-shot wake-up at
// an absolute time, the calling task's identity, time, and a console. The
// virtual machine calls nothing else of the operating system.
#pragma once

#include <cstdint>

extern "C" {

// Green-thread scheduler port: 0 on success, -1 on failure.
std::int32_t LLOSTV_IMPL_initialize(void);
std::int32_t LLOSTV_IMPL_vmTaskStarted(void);
std::int32_t LLOSTV_IMPL_scheduleRequest__J(std::int64_t absolute_time_ms);
std::int32_t LLOSTV_IMPL_idleVM(void);
std::int32_t LLOSTV_IMPL_wakeupVM(void);
std::int32_t LLOSTV_IMPL_ackWakeup(void);
std::int32_t LLOSTV_IMPL_getCurrentTaskID(void);
std::int32_t LLOSTV_IMPL_shutdown(void);

// Time port.
std::int64_t LLOSTV_IMPL_getCurrentTime__Z(std::uint8_t system);
std::int64_t LLOSTV_IMPL_getTimeNanos(void);
void LLOSTV_IMPL_setApplicationTime__J(std::int64_t time_ms);

// Console port: one character to the debug console.
std::int32_t LLBSP_IMPL_putchar__I(std::int32_t c);
// Swaps a 32-bit word atomically and returns the old value (full barrier).
std::int32_t LLBSP_IMPL_atomic_exchange(std::int32_t* word, std::int32_t value);

// The port objects the virtual machine's interface bindings fetch.
void* LLOSTV_IMPL_getSingleton(void);
void* LLBSP_IMPL_getSingleton(void);

// Milliseconds to ticks, rounded up; 0 for a negative delay, all ones when
// the delay exceeds what the 32-bit tick count can express.
std::uint32_t tarvelo_time_time_to_tick(std::int64_t delay_ms);

// In-interrupt flag of the display port.
std::int32_t interrupt_enter(void);
void interrupt_leave(std::int32_t entered);
std::int32_t interrupt_is_in(void);

}

namespace tarvelo::os_port {

// Port state, visible to tests.
constexpr std::int64_t kNoWakeup = INT64_MAX;
constexpr std::uint32_t kWakeupTimerId = 42;
std::int64_t next_wakeup_time();
bool timer_expired();
bool wakeup_timer_active();

}  // namespace tarvelo::os_port
