#include "vm/core/lifecycle/shared_buffer.h"

#include <algorithm>
#include <cstring>

#include "vm/core/lifecycle/link_config.h"
#include "vm/memory/support_allocator.h"

namespace tarvelo {

namespace {
SharedBuffer* the_buffer = nullptr;
// Exception dispatch needs at least this much, whatever the configuration says.
constexpr std::int32_t kMinimumSize = 128;
}  // namespace

void create_shared_buffer() {
    std::int32_t size = std::max(link_config::shared_memory_size(), kMinimumSize);
    auto* b = static_cast<SharedBuffer*>(_rowfen_support_malloc(static_cast<std::int32_t>(sizeof(std::uint32_t)) + size));
    b->length = static_cast<std::uint32_t>(size);
    std::memset(b->bytes, 0, static_cast<std::size_t>(size));
    the_buffer = b;
}

SharedBuffer* shared_buffer() { return the_buffer; }

}  // namespace tarvelo
