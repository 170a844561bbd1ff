// Tells display code whether it runs inside the GPU completion interrupt.
#include <atomic>

#include "vm/core/port/os_port.h"

namespace {
std::atomic<std::uint32_t> is_in_ISR{0};
}

extern "C" std::int32_t interrupt_enter(void) {
    if (is_in_ISR.load() == 1) return 0;
    is_in_ISR.store(1);
    return 1;
}

extern "C" void interrupt_leave(std::int32_t entered) {
    if (entered == 1) is_in_ISR.store(0);
}

extern "C" std::int32_t interrupt_is_in(void) { return static_cast<std::int32_t>(is_in_ISR.load()); }
