// The port's storage for installed applications: a RAM buffer managed by a
// best-fit allocator. Installed applications do not survive a reset.
#pragma once

#include <cstdint>

#include "bsp/zev/port/kf/inc/LLKERNEL_impl.h"

constexpr std::uint32_t kKernelWorkingBufferSize = 0xF0000;  // 983,040 bytes

extern "C" {
extern std::uint8_t kernel_working_buffer[];
// Hands [start, end) to the allocator of installed applications.
void LLKERNEL_RAM_BESTFIT_initialize(void* start, void* end);
// The sizes of a listed application's read-only and RAM areas; -1 for a
// handle the port does not know (nothing is logged: a question, not a use).
std::int32_t LLKERNEL_RAM_getFeatureSizeROM(void* handle);
std::int32_t LLKERNEL_RAM_getFeatureSizeRAM(void* handle);
}
