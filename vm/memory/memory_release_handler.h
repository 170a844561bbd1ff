// An object the memory manager asks for room when an allocation fails, and
// tells about each marking. The heap set keeps 3 slots.
#pragma once

#include <cstdint>

namespace tarvelo {

struct MemoryReleaseHandler;

struct MemoryReleaseHandlerOps {
    void (*beforeCollection)(MemoryReleaseHandler* self);
    void (*afterCollection)(MemoryReleaseHandler* self);
    // true when the handler may have made room for `size` bytes.
    bool (*release)(MemoryReleaseHandler* self, int pass, std::uint32_t size);
};

struct MemoryReleaseHandler {
    const MemoryReleaseHandlerOps* ops;
};

}  // namespace tarvelo
