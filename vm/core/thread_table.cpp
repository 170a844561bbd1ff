#include "vm/core/thread_table.h"

#include "vm/core/link_config.h"
#include "vm/core/ostrevan.h"
#include "vm/memory/support_allocator.h"

namespace tarvelo {

ThreadTable* ThreadTable::create(Ostrevan& vm) {
    auto records = static_cast<std::uint32_t>(link_config::max_threads());
    if (records > kMaxRecords) {
        vm.setError(kVMErrorThreadTable);
        return nullptr;
    }
    std::int32_t bytes = static_cast<std::int32_t>(sizeof(std::uint32_t) * (1 + records));
    auto* table = static_cast<ThreadTable*>(_rowfen_support_malloc(bytes));
    table->length = records;
    for (std::uint32_t i = 0; i < records; ++i) table->slots[i] = 0;
    return table;
}

}  // namespace tarvelo
