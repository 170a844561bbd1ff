#include "vm/memory/memory_layout.h"

namespace tarvelo {

namespace {
MemoryLayout gLayout{};
}

const MemoryLayout& memoryLayout() { return gLayout; }

void setMemoryLayout(const MemoryLayout& layout) { gLayout = layout; }

}  // namespace tarvelo
