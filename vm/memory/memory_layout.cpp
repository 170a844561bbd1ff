#include "vm/memory/memory_layout.h"

namespace tarvelo {

MemoryLayout detail::gMemoryLayout{};

void setMemoryLayout(const MemoryLayout& layout) { detail::gMemoryLayout = layout; }

}  // namespace tarvelo
