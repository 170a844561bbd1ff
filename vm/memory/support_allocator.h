// The virtual machine's own bump allocator over the runtime region in tightly
// coupled data memory. The virtual machine creates its long-lived objects
// (components, collector buffers, thread pools) from it once, at start-up;
// nothing is ever given back.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {
// size bytes rounded up to 8, 8-aligned, not zeroed (callers clear them).
void* _rowfen_support_malloc(std::int32_t size);
// Does nothing: the runtime region is never released.
void _rowfen_support_free(void* p);
}

namespace tarvelo {

// The runtime region: 12,968 bytes of static memory below 4 GiB with the
// default configuration. The device sizes the region by the memory plan of
// its configuration (thread records and monitor stacks grow with their
// configured counts); the host reserves room for the largest configuration
// the limits accept (62 thread records of 63 monitors each).
constexpr std::size_t kRuntimeRegionSize = 12968;
constexpr std::size_t kRuntimeRegionCapacity = 64 * 1024;

// Bytes taken from the runtime region so far (for tests and the memory plan).
std::size_t support_allocator_used();
// Bytes still free in it: its end less the allocation pointer.
std::size_t support_allocator_free();

// Zero-filled memory for one object of type T from the runtime region.
template <typename T>
T* support_new() {
    void* p = _rowfen_support_malloc(static_cast<std::int32_t>(sizeof(T)));
    auto* bytes = static_cast<unsigned char*>(p);
    for (std::size_t i = 0; i < sizeof(T); ++i) bytes[i] = 0;
    return static_cast<T*>(p);
}

}  // namespace tarvelo
