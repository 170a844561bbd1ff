// Natives of the class library's schedule contexts and their controller
// (natives-pool calls): ids, quotas, quantum counters, moving a thread into
// a context, new periods and the cleanup of collected contexts.
#include <cstdint>
#include <cstdio>

#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/engine/monitoring_hooks.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/threads/schedule_context.h"
#include "vm/core/threads/thread_table.h"
#include "vm/core/threads/vm_thread.h"

using tarvelo::ExecutionContext;
using tarvelo::VMThread;
using tarvelo::word_t;

namespace {

tarvelo::ScheduleContextFields* this_context(VMThread* t) { return tarvelo::context_fields(ExecutionContext::refArg(t, 0)); }

}  // namespace

extern "C" {

// void initialize(): the next context id.
void VMNative_com_olun_schedcontrol_ScheduleContext_initialize(VMThread* t) {
    this_context(t)->contextId = tarvelo::ScheduleControl::nextContextId();
}

// long getQuantumCounter()
void VMNative_com_olun_schedcontrol_ScheduleContext_getQuantumCounter(VMThread* t) {
    ExecutionContext::returnLong(t, tarvelo::quantum_counter(this_context(t)));
}

// void setQuantumQuotaNative(int quota): -1 unlimited, 0 suspended. The
// used part of the period is banked first.
void VMNative_com_olun_schedcontrol_ScheduleContext_setQuantumQuotaNative(VMThread* t) {
    const std::int32_t quota = ExecutionContext::intArg(t, 5);
    if (quota < tarvelo::kUnlimitedQuota) {
        // No period could ever refill such a context: its threads would be
        // skipped for ever while the scheduler kept starting new periods.
        char message[64];
        std::snprintf(message, sizeof message, "quota %ld is below -1 (unlimited)", static_cast<long>(quota));
        ExecutionContext::throwNew(t, tarvelo::types::illegal_argument(), message);
        return;
    }
    tarvelo::ScheduleContextFields* c = this_context(t);
    tarvelo::set_consumed_total(c, tarvelo::consumed_total(c) + static_cast<std::uint64_t>(
                                       static_cast<std::int64_t>(tarvelo::period_quanta(c)) - c->remaining));
    c->quota = quota;
    c->remaining = tarvelo::period_quanta(c);
    if (tarvelo::trace_started()) OSTV_MONITOR_on_quota_reset(c->contextId, quota);
    // Threads parked while the quota was 0 run again at once.
    if (quota != 0) tarvelo::QuotaScheduler::resumeSuspendedContexts();
}

// ScheduleContext addThread(Thread thread): the thread's previous wanted
// context (null for the root one); the thread moves here.
void VMNative_com_olun_schedcontrol_ScheduleContext_addThread(VMThread* t) {
    const word_t context = ExecutionContext::refArg(t, 0);
    const word_t thread = ExecutionContext::refArg(t, 1);
    tarvelo::ThreadTable* table = tarvelo::thread_table();
    VMThread* target = thread != 0 && table != nullptr ? table->findThread(tarvelo::java::thread_id(thread)) : nullptr;
    if (target == nullptr || target->javaThread != thread) {
        ExecutionContext::throwNew(t, tarvelo::vm_type(tarvelo::VMType::_java_Ljava_lang_IllegalThreadStateException));
        return;
    }
    const word_t previous = target->wantedContext;
    target->wantedContext = context;
    tarvelo::ScheduleControl::attach(target, context);
    tarvelo::QuotaScheduler::resumeSuspendedContexts();
    ExecutionContext::returnRef(t, -2, previous == tarvelo::ScheduleControl::rootContext() ? 0 : previous);
}

// static void setEnabledContextsCleanup(boolean enabled)
void VMNative_com_olun_schedcontrol_ScheduleController_setEnabledContextsCleanup(VMThread* t) {
    tarvelo::ScheduleControl::setCleanupEnabled(ExecutionContext::intArg(t, 5) != 0);
}

// static void resetQuantumOfAllContexts()
void VMNative_com_olun_schedcontrol_ScheduleController_resetQuantumOfAllContexts(VMThread*) {
    tarvelo::ScheduleControl::resetQuanta();
    tarvelo::QuotaScheduler::resumeSuspendedContexts();
}

// static void resetQuantumMonitoringCounters()
void VMNative_com_olun_schedcontrol_ScheduleController_resetQuantumMonitoringCounters(VMThread*) {
    tarvelo::ScheduleControl::resetMonitoringCounters();
}

}  // extern "C"
