// Monitor enter, exit and wait over the owner field of object headers, the
// side table and the threads' monitor stacks.
#include <cstring>

#include "vm/core/engine/engine.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/feature_context.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/lifecycle/link_config.h"
#include "vm/core/threads/monitor_manager.h"
#include "vm/core/threads/reschedule.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/threads/thread_table.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/memory_layout.h"
#include "vm/memory/object_header.h"

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

word_t* entry_objects(VMThread* t) { return counted_words(t->monitorObjects); }
std::uint8_t* entry_counts(VMThread* t) { return reinterpret_cast<std::uint8_t*>(counted_words(t->monitorCounts)); }
word_t* entry_contexts(VMThread* t) { return counted_words(t->monitorContexts); }
std::int32_t capacity(VMThread* t) { return static_cast<std::int32_t>(counted_length(t->monitorObjects)); }

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

// Queues `w` on the monitor `owner` holds, behind the threads already there.
void queue_on_monitor(VMThread* w, VMThread* owner) {
    KernelThreadScheduler* s = kernel_scheduler();
    if (w->state == kThreadReady || w->state == kThreadRunning) s->removeReady(w);
    w->next.set(nullptr);
    w->prev.set(nullptr);
    VMThread* last = owner->monitorWaiters.get();
    if (last == nullptr) {
        owner->monitorWaiters.set(w);
    } else {
        while (last->next.get() != nullptr) last = last->next.get();
        last->next.set(w);
    }
    set_thread_state(w, kThreadMonitorQueued);
    if (s->currentThread() == w) s->currentLeft = 1;
    request_reschedule();
}

// The object `w` waits to enter: the entry just above its held count.
word_t awaited(VMThread* w) { return entry_objects(w)[w->heldMonitorCount]; }

// Hands the monitor of `obj`, released by `owner`, to the first thread
// queued for it.
void grant_monitor(VMThread* owner, word_t obj) {
    VMThread* prev = nullptr;
    VMThread* next = owner->monitorWaiters.get();
    while (next != nullptr && awaited(next) != obj) {
        prev = next;
        next = next->next.get();
    }
    if (next == nullptr) return;
    // Unlink it, then move the others waiting for the same object to it.
    if (prev != nullptr) prev->next = next->next; else owner->monitorWaiters = next->next;
    next->next.set(nullptr);
    set_owner(obj, next->slot() + 1u);
    ++next->heldMonitorCount;
    VMThread* p = nullptr;
    for (VMThread* w = owner->monitorWaiters.get(); w != nullptr;) {
        VMThread* after = w->next.get();
        if (awaited(w) == obj) {
            if (p != nullptr) p->next.set(after); else owner->monitorWaiters.set(after);
            w->next.set(nullptr);
            VMThread* last = next->monitorWaiters.get();
            if (last == nullptr) {
                next->monitorWaiters.set(w);
            } else {
                while (last->next.get() != nullptr) last = last->next.get();
                last->next.set(w);
            }
        } else {
            p = w;
        }
        w = after;
    }
    kernel_scheduler()->enqueueReady(next, next->effectivePriority);
    request_reschedule();
}

VMThread* owner_thread(std::uint32_t owner) {
    ThreadTable* table = thread_table();
    return owner != 0 && table != nullptr ? table->at(owner - 1) : nullptr;
}

}  // namespace

void KernelMonitorManager::start(VMComponent*) {
    side_table = SideTable{};
}

std::uint32_t KernelMonitorManager::ownerOf(word_t obj) {
    if (in_writable_heap(obj)) return memory::header_monitor(header_of(obj));
    const int i = side_table.find(obj);
    return i >= 0 ? side_table.owners[i] : 0;
}

std::int32_t KernelMonitorManager::monitorEnter(VMThread* t, word_t obj) {
    const bool kernelObject = kernel_owned(obj);
    if (kernelObject) {
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
            queue_on_monitor(t, o);
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
    store_entry(t, t->heldMonitorCount, 0, 0);
    entry_contexts(t)[t->heldMonitorCount] = 0;
    grant_monitor(t, obj);
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
    t->waitObject = obj;
    kernel_scheduler()->sleepCurrent(t, timeoutMs, true);
    t->interruptibleWait = 1;
    grant_monitor(t, obj);
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

void KernelMonitorManager::reacquireAfterWait(VMThread* t, word_t obj) {
    const std::uint32_t owner = ownerOf(obj);
    if (owner != 0 && owner != t->slot() + 1u) {
        if (VMThread* o = owner_thread(owner)) {
            queue_on_monitor(t, o);
            return;
        }
    }
    set_owner(obj, t->slot() + 1u);
    ++t->heldMonitorCount;
    kernel_scheduler()->enqueueReady(t, t->effectivePriority);
}

}  // namespace tarvelo
