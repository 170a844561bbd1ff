#include "vm/core/threads/schedule_context.h"

#include "vm/core/engine/monitoring_hooks.h"
#include "vm/core/threads/reschedule.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/support_allocator.h"

namespace tarvelo {

namespace {

// Header word, owner word, then the fields.
struct RootContextBlock {
    std::uint32_t header;
    std::uint32_t owner;
    ScheduleContextFields fields;
};

word_t root_context = 0;

void add_consumed(ScheduleContextFields* c, std::uint64_t n) {
    std::uint64_t total = (static_cast<std::uint64_t>(c->consumedHigh) << 32 | c->consumedLow) + n;
    c->consumedLow = static_cast<std::uint32_t>(total);
    c->consumedHigh = static_cast<std::uint32_t>(total >> 32);
}

}  // namespace

word_t ScheduleControl::createRootContext() {
    auto* block = support_new<RootContextBlock>();
    block->fields.quota = kUnlimitedQuota;
    block->fields.remaining = kUnlimitedRemaining;
    root_context = to_word(block);
    return root_context;
}

word_t ScheduleControl::rootContext() { return root_context; }

std::int32_t ScheduleContextStruct::quotaReached(word_t context) {
    ScheduleContextFields* c = context_fields(context);
    if (c->quota == kUnlimitedQuota) {
        add_consumed(c, static_cast<std::uint64_t>(static_cast<std::int64_t>(kUnlimitedRemaining) - c->remaining));
        c->remaining = kUnlimitedRemaining;
        return 0;
    }
    if (trace_started()) OSTV_MONITOR_on_quota_reached(c->contextId);
    return 1;
}

void ScheduleControl::attach(VMThread* t, word_t context) {
    if (t->scheduleContext != 0) detach(t);
    ScheduleContextFields* c = context_fields(context);
    t->contextNext.set(to_ptr<VMThread>(c->firstThread));
    c->firstThread = to_word(t);
    t->scheduleContext = context;
    if (trace_started()) OSTV_MONITOR_on_thread_added_to_context(static_cast<std::int32_t>(t->threadId), c->contextId);
}

void ScheduleControl::detach(VMThread* t) {
    if (t->scheduleContext == 0) return;
    ScheduleContextFields* c = context_fields(t->scheduleContext);
    word_t* link = &c->firstThread;
    while (*link != 0) {
        VMThread* other = to_ptr<VMThread>(*link);
        if (other == t) {
            *link = t->contextNext.w;
            break;
        }
        link = &other->contextNext.w;
    }
    t->contextNext.set(nullptr);
    t->scheduleContext = 0;
}

}  // namespace tarvelo
