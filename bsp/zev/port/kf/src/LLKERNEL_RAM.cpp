#include "bsp/zev/port/kf/src/LLKERNEL_RAM.h"

alignas(8) std::uint8_t kernel_working_buffer[kKernelWorkingBufferSize];

namespace {
std::uint8_t* ram_start = nullptr;
std::uint8_t* ram_end = nullptr;
}  // namespace

extern "C" void LLKERNEL_RAM_BESTFIT_initialize(void* start, void* end) {
    ram_start = static_cast<std::uint8_t*>(start);
    ram_end = static_cast<std::uint8_t*>(end);
}
