#include "vm/core/threads/thread_table.h"

#include <new>

#include "vm/core/engine/java_objects.h"
#include "vm/core/lifecycle/link_config.h"
#include "vm/core/lifecycle/ostrevan.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/support_allocator.h"

namespace tarvelo {

ThreadTable* thread_table() {
    Ostrevan* vm = ostrevan();
    return vm != nullptr ? vm->threadTable : nullptr;
}

ThreadTable* ThreadTable::create(Ostrevan& vm) {
    std::int32_t configured = link_config::max_threads();
    auto records = static_cast<std::uint32_t>(configured);
    if (configured < 0 || records > kMaxRecords) {
        vm.setError(kVMErrorThreadTable);
        return nullptr;
    }
    std::int32_t bytes = static_cast<std::int32_t>(sizeof(std::uint32_t) * (2 + records));
    auto* table = static_cast<ThreadTable*>(_rowfen_support_malloc(bytes));
    table->count = 0;
    table->length = records;
    for (std::uint32_t i = 0; i < records; ++i) new (&table->slots[i]) std::atomic<word_t>(0);
    return table;
}

VMThread* ThreadTable::findThread(std::uint32_t id) const {
    VMThread* t = at(id & kThreadSlotMask);
    return t != nullptr && t->threadId == id ? t : nullptr;
}

bool ThreadTable::addThread(VMThread* t) {
    std::uint32_t slot = t->slot();
    if (slot >= length || slots[slot].load() != 0) return false;
    slots[slot].store(to_word(t));
    ++count;
    return true;
}

void ThreadTable::removeThread(VMThread* t) {
    std::uint32_t slot = t->slot();
    if (slot < length && slots[slot].load() == to_word(t)) {
        slots[slot].store(0);
        --count;
    }
}

bool ThreadTable::allDaemonOrDone(const VMThread* ending) const {
    for (std::uint32_t i = length; i-- > 0;) {
        VMThread* t = at(i);
        if (t == nullptr || t == ending || t->javaThread == 0) continue;
        if (!java::thread_is_daemon(t->javaThread)) return false;
    }
    return true;
}

}  // namespace tarvelo
