// RAM kept for installed applications: a best-fit heap over
// `kernel_working_buffer`, set up once by the application task at start-up.
#pragma once

#include <cstdint>

#include "bsp/zev/port/kf/inc/LLKERNEL_impl.h"

// Size of the RAM reserved for installed applications.
inline constexpr std::uint32_t LLKERNEL_WORKING_BUFFER_SIZE = 983040u;  // 0xF0000

extern "C" {

extern std::uint8_t kernel_working_buffer[LLKERNEL_WORKING_BUFFER_SIZE];

// Hands [start, end) to the allocator; every installed block is forgotten.
void LLKERNEL_RAM_BESTFIT_initialize(void* start, void* end);

}  // extern "C"
