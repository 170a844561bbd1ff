#include "vm/memory/support_allocator.h"

#include "platform/board/debug_console.h"
#include "platform/halt.h"

namespace {

alignas(8) unsigned char rowfen_heap[tarvelo::kRuntimeRegionCapacity];
unsigned char* const rowfen_heap_start = rowfen_heap;
unsigned char* const rowfen_heap_end = rowfen_heap + sizeof rowfen_heap;

unsigned char* bump = nullptr;

}  // namespace

extern "C" void* _rowfen_support_malloc(std::int32_t size) {
    if (bump == nullptr) {
        bump = rowfen_heap_start;
        if (!(rowfen_heap_start < rowfen_heap_end))
            DbgConsole_Printf("Invalid link configuration: rowfen heap section not embedded");
    }
    std::int64_t n = (static_cast<std::int64_t>(size) + 7) & ~std::int64_t{7};
    std::int64_t room = rowfen_heap_end - bump;
    if (n < 0 || n >= room) {
        // A configuration error of the build: the device stops here for good.
        DbgConsole_Printf("Invalid rowfen heap size configuration");
        platform_halt(TARVELO_EXIT_HALTED);
    }
    unsigned char* p = bump;
    bump += n;
    return p;
}

extern "C" void _rowfen_support_free(void*) {}

namespace tarvelo {

std::size_t support_allocator_used() {
    return bump == nullptr ? 0 : static_cast<std::size_t>(bump - rowfen_heap_start);
}

std::size_t support_allocator_free() {
    return static_cast<std::size_t>(rowfen_heap_end - (bump == nullptr ? rowfen_heap_start : bump));
}

}  // namespace tarvelo
