// The image heap and its weak default hooks.
#include "graphics/images/image_heap.h"

#include "graphics/display/display_config.h"
#include "graphics/display/llui_display.h"
#include "vm/memory/best_fit_allocator.h"

namespace tarvelo::graphics {

namespace {

// Pixels of run-time images; static, so below 4 GiB like every address
// Java code sees.
alignas(64) std::uint8_t g_area[kWorkingBufferSize];
bool g_ready = false;
BestFitAllocator g_default_heap{};

}  // namespace

void ImageHeap::initialize(std::uint8_t* start, std::uint8_t* end) {
    const std::intptr_t span = end - start;
    if (span > 99 || span < -99) {
        LLUI_DISPLAY_IMPL_imageHeapInitialize(start, end);
        g_ready = true;
    }
}

std::uint8_t* ImageHeap::areaStart() { return g_area; }
std::uint8_t* ImageHeap::areaEnd() { return g_area + sizeof g_area; }

void* ImageHeap::allocate(std::uint32_t size) {
    if (!g_ready) return nullptr;
    return LLUI_DISPLAY_IMPL_imageHeapAllocate(size);
}

void ImageHeap::free(void* block) { LLUI_DISPLAY_IMPL_imageHeapFree(block); }

bool ImageHeap::ready() { return g_ready; }

std::uint32_t ImageHeap::freeBytes() { return g_default_heap.freeBytes(); }

void ImageHeap::resetForTests() {
    g_ready = false;
    g_default_heap = BestFitAllocator{};
}

}  // namespace tarvelo::graphics

using tarvelo::graphics::g_default_heap;

extern "C" {

__attribute__((weak)) void LLUI_DISPLAY_IMPL_imageHeapInitialize(std::uint8_t* start, std::uint8_t* end) {
    g_default_heap.initialize(start, end);
}

__attribute__((weak)) void* LLUI_DISPLAY_IMPL_imageHeapAllocate(std::uint32_t size) {
    return g_default_heap.allocate(size);
}

__attribute__((weak)) void LLUI_DISPLAY_IMPL_imageHeapFree(void* block) { g_default_heap.free(block); }

void LLUI_DISPLAY_freeImage(void* block) { tarvelo::graphics::ImageHeap::free(block); }

}  // extern "C"
