#include "vm/core/threads/schedule_context.h"

#include "vm/core/engine/java_objects.h"
#include "vm/core/engine/monitoring_hooks.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/threads/reschedule.h"
#include "vm/core/threads/thread_table.h"
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
std::int32_t context_counter = 0;
bool cleanup_enabled = true;

// The slot of the class library's static that heads the holder chain; 0
// when the image has no schedule contexts.
word_t chain_head_slot() { return prelude_member(PreludeMember::_java_Scom_olun_schedcontrol_ScheduleController__Contexts); }

word_t& holder_next(word_t holder) { return java::field(holder, kHolderNextOffset); }
word_t holder_context(word_t holder) { return java::field(holder, kHolderContextOffset); }

// Starts a new period of one context, banking what the old one used.
bool refill(void*, word_t context) {
    ScheduleContextFields* c = context_fields(context);
    const std::int32_t full = period_quanta(c);
    set_consumed_total(c, consumed_total(c) + static_cast<std::uint64_t>(static_cast<std::int64_t>(full) - c->remaining));
    c->remaining = full;
    return false;
}

bool reset_counter(void*, word_t context) {
    ScheduleContextFields* c = context_fields(context);
    set_consumed_total(c, static_cast<std::uint64_t>(static_cast<std::int64_t>(c->remaining) - period_quanta(c)));
    return false;
}

bool has_ready_thread(void*, word_t context) {
    const ScheduleContextFields* c = context_fields(context);
    if (c->quota == kUnlimitedQuota || c->remaining < 1) return false;
    for (VMThread* t = to_ptr<VMThread>(c->firstThread); t != nullptr; t = t->contextNext.get())
        if ((t->state == kThreadReady && t->parked == 0) || t->state == kThreadRunning) return true;
    return false;
}

bool add_consumed(void* arg, word_t context) {
    *static_cast<std::int64_t*>(arg) += quantum_counter(context_fields(context));
    return false;
}

}  // namespace

std::uint64_t consumed_total(const ScheduleContextFields* c) {
    return static_cast<std::uint64_t>(c->consumedHigh) << 32 | c->consumedLow;
}

void set_consumed_total(ScheduleContextFields* c, std::uint64_t total) {
    c->consumedLow = static_cast<std::uint32_t>(total);
    c->consumedHigh = static_cast<std::uint32_t>(total >> 32);
}

std::int64_t quantum_counter(const ScheduleContextFields* c) {
    return static_cast<std::int64_t>(consumed_total(c) +
                                     static_cast<std::uint64_t>(static_cast<std::int64_t>(period_quanta(c)) - c->remaining));
}

// --- One context ---------------------------------------------------------------------------

std::int32_t ScheduleContextStruct::quotaReached(word_t context) {
    ScheduleContextFields* c = context_fields(context);
    if (c->quota == kUnlimitedQuota) {
        refill(nullptr, context);
        return 0;
    }
    if (trace_started()) OSTV_MONITOR_on_quota_reached(c->contextId);
    // Each thread may leave the list while it is checked.
    for (VMThread* t = to_ptr<VMThread>(c->firstThread); t != nullptr;) {
        VMThread* next = t->contextNext.get();
        QuotaScheduler::checkToUpdateContext(t);
        t = next;
    }
    return 1;
}

void ScheduleContextStruct::attach(VMThread* t, word_t context) {
    if (t->scheduleContext != 0) detach(t);
    ScheduleContextFields* c = context_fields(context);
    t->contextNext.set(to_ptr<VMThread>(c->firstThread));
    c->firstThread = to_word(t);
    t->scheduleContext = context;
    if (trace_started()) OSTV_MONITOR_on_thread_added_to_context(static_cast<std::int32_t>(t->threadId), c->contextId);
}

void ScheduleContextStruct::detach(VMThread* t) {
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

// --- All contexts ----------------------------------------------------------------------------

word_t ScheduleControl::createRootContext() {
    auto* block = support_new<RootContextBlock>();
    block->fields.quota = kUnlimitedQuota;
    block->fields.remaining = kUnlimitedRemaining;
    root_context = to_word(block);
    context_counter = 0;
    cleanup_enabled = true;
    QuotaScheduler::clearParked();
    return root_context;
}

word_t ScheduleControl::rootContext() { return root_context; }

std::int32_t ScheduleControl::nextContextId() { return context_counter++; }

void ScheduleControl::setCleanupEnabled(bool enabled) { cleanup_enabled = enabled; }

bool ScheduleControl::visitContexts(ContextVisitor visit, void* arg) {
    if (root_context != 0 && visit(arg, root_context)) return true;
    const word_t head = chain_head_slot();
    if (head == 0) return false;
    word_t* link = to_ptr<word_t>(head);
    while (*link != 0) {
        const word_t holder = *link;
        const word_t context = holder_context(holder);
        if (context == 0) {
            if (cleanup_enabled) {
                *link = holder_next(holder);
                continue;
            }
        } else if (visit(arg, context)) {
            return true;
        }
        link = &holder_next(holder);
    }
    return false;
}

bool ScheduleControl::kernelHasContexts() {
    const word_t head = chain_head_slot();
    return head != 0 && java::word_at(head) != 0;
}

void ScheduleControl::resetQuanta() {
    visitContexts(refill, nullptr);
    if (ThreadTable* table = thread_table()) {
        for (std::uint32_t i = table->length; i-- > 0;) {
            VMThread* t = table->at(i);
            if (t != nullptr && t->javaThread != 0 && t->scheduleContext != 0) QuotaScheduler::checkToUpdateContext(t);
        }
    }
    if (trace_started()) OSTV_MONITOR_on_quantum_counters_reset();
}

bool ScheduleControl::readyContextProbe() { return visitContexts(has_ready_thread, nullptr); }

void ScheduleControl::resetMonitoringCounters() { visitContexts(reset_counter, nullptr); }

std::int64_t ScheduleControl::totalConsumed() {
    std::int64_t sum = 0;
    visitContexts(add_consumed, &sum);
    return sum;
}

word_t ScheduleControl::wantedContextFor(VMThread* starter, word_t threadObject) {
    if (!kernelHasContexts()) return root_context;
    // The controller's own thread runs in the controller's context, whoever
    // starts it.
    const word_t namedSlot = prelude_member(PreludeMember::_java_Scom_olun_schedcontrol_ScheduleController__ControllerThread);
    const word_t contextSlot = prelude_member(PreludeMember::_java_Scom_olun_schedcontrol_ScheduleController__ControllerContext);
    if (threadObject != 0 && namedSlot != 0 && contextSlot != 0 && java::word_at(namedSlot) == threadObject &&
        java::word_at(contextSlot) != 0)
        return java::word_at(contextSlot);
    if (starter == nullptr || starter->wantedContext == 0) return root_context;
    return starter->wantedContext;
}

}  // namespace tarvelo
