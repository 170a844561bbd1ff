// The image heap: one reserved area for the pixels of images created at run
// time, reached through three display hooks whose weak defaults run the
// best-fit allocator over it.
#pragma once

#include <cstdint>

namespace tarvelo::graphics {

struct ImageHeap {
    // Hands [start, end) to the heap hook when larger than 99 bytes; a
    // smaller area leaves the heap unusable.
    static void initialize(std::uint8_t* start, std::uint8_t* end);
    // The reserved area of this build.
    static std::uint8_t* areaStart();
    static std::uint8_t* areaEnd();
    // A block of `size` bytes, or null (not ready, or nothing fits).
    static void* allocate(std::uint32_t size);
    static void free(void* block);
    static bool ready();
    // Free bytes of the default heap (tests and diagnostics).
    static std::uint32_t freeBytes();
    // Forgets the heap (tests start from an engine that never ran).
    static void resetForTests();
};

}  // namespace tarvelo::graphics
