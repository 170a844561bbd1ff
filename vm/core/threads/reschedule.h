// The reschedule flag: 1 asks the running green thread to give way at its next
// yield point; each scheduling pass clears it. The wake-up timer and other
// tasks set it, so it is atomic.
#pragma once

#include <atomic>
#include <cstdint>

namespace tarvelo {

extern std::atomic<std::uint8_t> rescheduleRequested;

inline void request_reschedule() { rescheduleRequested.store(1, std::memory_order_relaxed); }

}  // namespace tarvelo
