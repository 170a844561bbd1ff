// Monitor enter, exit and wait over the owner field of object headers, the
// side table and the threads' monitor stacks.
#include <cstring>

#include "vm/core/engine/engine.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/feature_context.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/lifecycle/link_config.h"
#include "vm/core/threads/monitor_manager.h"
#include "vm/core/threads/monitor_stack.h"
#include "vm/core/threads/schedule_context.h"
#include "vm/core/threads/reschedule.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/threads/thread_table.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/memory_layout.h"
#include "vm/model/object_header.h"

namespace tarvelo {

namespace {

constexpr int kSideTableEntries = 16;
constexpr std::uint8_t kMaxEntryCount = 255;
constexpr std::uint8_t kMaxKernelMonitorDepth = 127;

// Objects that cannot carry their owner in their header (the image's).
struct SideTable {
    word_t objects[kSideTableEntries] = {};
    std::uint8_t owners[kSideTableEntries] = {};
    int top = -1;

    int find(word_t obj) const {
        for (int i = top; i >= 0; --i)
            if (objects[i] == obj) return i;
        return -1;
    }
    bool add(word_t obj, std::uint8_t owner) {
        for (int i = top - 1; i >= 0; --i) {
            if (objects[i] == 0) {
                objects[i] = obj;
                owners[i] = owner;
                return true;
            }
        }
        if (top + 1 >= kSideTableEntries) return false;
        ++top;
        objects[top] = obj;
        owners[top] = owner;
        return true;
    }
    void remove(int i) {
        objects[i] = 0;
        owners[i] = 0;
        while (top >= 0 && objects[top] == 0) --top;
    }
};

SideTable side_table;

bool in_writable_heap(word_t obj) {
    const MemoryLayout& l = memoryLayout();
    return (obj >= l.heapStart + 4 && obj < l.heapEnd) || (obj >= l.immortalsStart && obj < l.immortalsEnd);
}

std::uint32_t& header_of(word_t obj) { return *to_ptr<std::uint32_t>(obj); }

// Sets the owner (slot + 1, 0 to free); false when the side table is full.
bool set_owner(word_t obj, std::uint32_t owner) {
    if (in_writable_heap(obj)) {
        header_of(obj) = memory::header_with_monitor(header_of(obj), owner);
        return true;
    }
    const int i = side_table.find(obj);
    if (owner == 0) {
        if (i >= 0) side_table.remove(i);
        return true;
    }
    if (i >= 0) {
        side_table.owners[i] = static_cast<std::uint8_t>(owner);
        return true;
    }
    return side_table.add(obj, static_cast<std::uint8_t>(owner));
}

using monitor_stack::capacity;
word_t* entry_objects(VMThread* t) { return monitor_stack::objects(t); }
std::uint8_t* entry_counts(VMThread* t) { return monitor_stack::counts(t); }
word_t* entry_contexts(VMThread* t) { return monitor_stack::contexts(t); }

void store_entry(VMThread* t, std::int32_t i, word_t obj, std::uint8_t count) {
    entry_objects(t)[i] = obj;
    entry_counts(t)[i] = count;
    entry_contexts(t)[i] = t->ownerFeature;
}

std::int32_t raise(VMThread* t, word_t type) {
    ExecutionContext::throwNew(t, type);
    TulvarVMEngine::throwPendingException(t);
    return 0;
}

bool kernel_owned(word_t obj) { return object_owner_feature(obj) == 0; }

// The isolation error of application code locking a kernel object.
constexpr std::int32_t kMonitorAccessCode = 4;

// Hands the monitor of `obj`, released by `owner`, to the first thread
// queued for it (in list order).
void hand_over(VMThread* owner, word_t obj) {
    VMThread* prev = nullptr;
    VMThread* next = owner->monitorWaiters.get();
    while (next != nullptr && monitor_stack::awaited(next) != obj) {
        prev = next;
        next = next->next.get();
    }
    if (next == nullptr) return;
    if (prev != nullptr) prev->next = next->next; else owner->monitorWaiters = next->next;
    next->next.set(nullptr);
    kernel_scheduler()->grantMonitor(owner, next, obj);
}

VMThread* owner_thread(std::uint32_t owner) {
    ThreadTable* table = thread_table();
    return owner != 0 && table != nullptr ? table->at(owner - 1) : nullptr;
}

}  // namespace

void KernelMonitorManager::start(VMComponent*) {
    side_table = SideTable{};
}

bool KernelMonitorManager::setOwner(word_t obj, std::uint32_t owner) { return set_owner(obj, owner); }

std::uint32_t KernelMonitorManager::ownerOf(word_t obj) {
    if (in_writable_heap(obj)) return memory::header_monitor(header_of(obj));
    const int i = side_table.find(obj);
    return i >= 0 ? side_table.owners[i] : 0;
}

std::int32_t KernelMonitorManager::monitorEnter(VMThread* t, word_t obj) {
    const bool kernelObject = kernel_owned(obj);
    if (kernelObject) {
        if (t->ownerFeature != 0) {
            FeatureIsolation::raiseKernelAccessError(t, kIsolationMonitor, kMonitorAccessCode);
            return 0;
        }
        if (t->kernelMonitorDepth >= kMaxKernelMonitorDepth) return raise(t, types::internal_limits());
        ++t->kernelMonitorDepth;
    }
    const std::uint32_t owner = ownerOf(obj);
    const std::uint32_t self = t->slot() + 1u;
    const std::int32_t held = t->heldMonitorCount;
    bool ok = false;
    if (owner == 0) {
        if (held < capacity(t) && set_owner(obj, self)) {
            store_entry(t, held, obj, 1);
            ++t->heldMonitorCount;
            ok = true;
        }
    } else if (owner == self) {
        for (std::int32_t i = 0; i < held; ++i) {
            if (entry_objects(t)[i] != obj) continue;
            if (entry_contexts(t)[i] == t->ownerFeature && entry_counts(t)[i] < kMaxEntryCount) {
                ++entry_counts(t)[i];
                ok = true;
            }
            break;
        }
    } else if (held < capacity(t)) {
        if (VMThread* o = owner_thread(owner)) {
            store_entry(t, held, obj, 1);
            kernel_scheduler()->queueOnMonitor(t, o);
            ok = true;
        }
    }
    if (ok) return 1;
    if (kernelObject) --t->kernelMonitorDepth;
    return raise(t, types::internal_limits());
}

std::int32_t KernelMonitorManager::monitorExit(VMThread* t, word_t obj) {
    if (ownerOf(obj) != t->slot() + 1u)
        return raise(t, vm_type(VMType::_java_Ljava_lang_IllegalMonitorStateException));
    const std::int32_t held = t->heldMonitorCount;
    std::int32_t i = 0;
    while (i < held && entry_objects(t)[i] != obj) ++i;
    if (i == held) return raise(t, vm_type(VMType::_java_Ljava_lang_IllegalMonitorStateException));
    if (kernel_owned(obj) && t->kernelMonitorDepth > 0) --t->kernelMonitorDepth;
    if (--entry_counts(t)[i] > 0) return 1;
    set_owner(obj, 0);
    for (std::int32_t j = i; j + 1 < held; ++j) {
        entry_objects(t)[j] = entry_objects(t)[j + 1];
        entry_counts(t)[j] = entry_counts(t)[j + 1];
        entry_contexts(t)[j] = entry_contexts(t)[j + 1];
    }
    --t->heldMonitorCount;
    entry_objects(t)[t->heldMonitorCount] = 0;
    entry_counts(t)[t->heldMonitorCount] = 0;
    entry_contexts(t)[t->heldMonitorCount] = 0;
    hand_over(t, obj);
    QuotaScheduler::checkToUpdateContext(t);
    return 2;
}

std::int32_t KernelMonitorManager::waitTimeout(VMThread* t, word_t obj, std::int64_t timeoutMs) {
    if (timeoutMs < 0) return 3;
    if (ownerOf(obj) != t->slot() + 1u) return 2;
    if (t->interruptStatus == 1) {
        t->interruptStatus = 0;
        return 1;
    }
    const std::int32_t held = t->heldMonitorCount;
    std::int32_t i = 0;
    while (i < held && entry_objects(t)[i] != obj) ++i;
    if (i == held) return 2;
    // The entry moves to the top of the stack and stays above the count,
    // with its entry count, for the re-acquisition.
    const word_t context = entry_contexts(t)[i];
    const std::uint8_t count = entry_counts(t)[i];
    for (std::int32_t j = i; j + 1 < held; ++j) {
        entry_objects(t)[j] = entry_objects(t)[j + 1];
        entry_counts(t)[j] = entry_counts(t)[j + 1];
        entry_contexts(t)[j] = entry_contexts(t)[j + 1];
    }
    entry_objects(t)[held - 1] = obj;
    entry_counts(t)[held - 1] = count;
    entry_contexts(t)[held - 1] = context;
    --t->heldMonitorCount;
    set_owner(obj, 0);
    kernel_scheduler()->wait(t, obj, timeoutMs);
    return 0;
}

void KernelMonitorManager::releaseAll(VMThread* t) {
    while (t->heldMonitorCount > 0) {
        const std::int32_t top = t->heldMonitorCount - 1;
        const word_t obj = entry_objects(t)[top];
        entry_counts(t)[top] = 1;
        if (monitorExit(t, obj) != 2) {
            // Not the owner after all: drop the entry.
            store_entry(t, top, 0, 0);
            --t->heldMonitorCount;
        }
    }
    t->monitorWaiters.set(nullptr);
    t->waitObject = 0;
}

}  // namespace tarvelo
