#include "vm/core/threads/thread_pool.h"

#include "vm/core/engine/engine.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/lifecycle/link_config.h"
#include "vm/core/native_call/sni_call.h"
#include "vm/core/lifecycle/ostrevan.h"
#include "vm/core/threads/thread_lifecycle.h"
#include "vm/core/threads/thread_table.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/support_allocator.h"

namespace tarvelo {

namespace {
VMThreadPool* the_pool = nullptr;
}

VMThreadPool* thread_pool() { return the_pool; }

VMThreadPool* VMThreadPool::create() {
    auto* p = support_new<VMThreadPool>();
    p->classId = kVMThreadPool;
    the_pool = p;
    return p;
}

bool VMThreadPool::initialize(VMComponent* self) {
    auto* pool = static_cast<VMThreadPool*>(self);
    if (!sni_argument_self_test()) {
        ostrevan()->setError(kVMErrorArgumentStubs);
        return false;
    }
    std::int32_t records = link_config::max_threads();
    if (records < 0 || records > static_cast<std::int32_t>(ThreadTable::kMaxRecords)) return false;
    for (std::int32_t i = 0; i < records; ++i) {
        VMThread* t = create_thread_record(static_cast<std::uint8_t>(i));
        pool->giveBack(t);
        ++pool->created;
    }
    return true;
}

void VMThreadPool::stop(VMComponent*) {
    ThreadTable* table = thread_table();
    if (table == nullptr) return;
    for (std::uint32_t i = table->length; i-- > 0;) {
        VMThread* t = table->at(i);
        if (t == nullptr) continue;
        t->heldMonitorCount = 0;
        t->monitorWaiters.set(nullptr);
        ThreadEngine::endThread(t, /*checkDaemons=*/false);
        t->next.set(nullptr);
        t->prev.set(nullptr);
    }
}

VMThread* VMThreadPool::bindThread(word_t threadObject) {
    VMThread* t = head.get();
    if (t == nullptr) return nullptr;
    head = t->poolNext;
    t->poolNext.set(nullptr);
    if (!TulvarVMEngine::bindThread(t, threadObject)) {
        giveBack(t);
        return nullptr;
    }
    return t;
}

void VMThreadPool::giveBack(VMThread* t) {
    set_thread_state(t, kThreadNone);
    t->poolNext = head;
    head.set(t);
}

std::uint32_t VMThreadPool::freeRecords() const {
    std::uint32_t n = 0;
    for (VMThread* t = head.get(); t != nullptr; t = t->poolNext.get()) ++n;
    return n;
}

}  // namespace tarvelo
