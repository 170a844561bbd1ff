// CPU-quota schedule contexts: the quanta a group of threads may use per
// period. A context is a Java object of the class library (or, for the root
// context, a block of the same layout owned by the virtual machine); threads
// point at theirs through their scheduleContext word. This file holds the
// layout, the root context, attaching threads, the charging that
// invocations, backward branches and allocations do, and the walks over all
// contexts (new period, monitoring counters, the ready probe).
//
// The kernel keeps its contexts in a chain of holders reached through a
// static of the class library: each holder is a weak reference to its
// context (cleared when the context is collected) with a link to the next
// holder. The root context is not in that chain; the walks visit it first.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/core/threads/reschedule.h"
#include "vm/core/threads/vm_thread.h"

namespace tarvelo {

struct VMThread;

// Fields after the object's header and owner words.
struct ScheduleContextFields {
    std::uint32_t consumedLow;   // quanta consumed in the periods before this one (u64)
    std::uint32_t consumedHigh;
    std::int32_t contextId;      // 0 for the root context
    std::int32_t quota;          // quanta per period; -1 unlimited; 0 suspended
    std::int32_t remaining;      // quanta left in this period; 0x7FFFFFFF when unlimited
    word_t firstThread;          // first attached thread (a record)
};

inline constexpr std::int32_t kUnlimitedQuota = -1;
inline constexpr std::int32_t kUnlimitedRemaining = 0x7FFFFFFF;
inline constexpr std::uint32_t kContextFieldsOffset = 8;

// A context holder of the kernel's chain: the weak referent (the context)
// just below the header, as in every reference, and the link to the next
// holder below the reference's own fields.
inline constexpr std::int32_t kHolderContextOffset = -4;
inline constexpr std::int32_t kHolderNextOffset = -20;

inline ScheduleContextFields* context_fields(word_t context) {
    return to_ptr<ScheduleContextFields>(context + kContextFieldsOffset);
}

// The quanta a full period gives: the quota, or 0x7FFFFFFF when unlimited.
inline std::int32_t period_quanta(const ScheduleContextFields* c) {
    return c->quota == kUnlimitedQuota ? kUnlimitedRemaining : c->quota;
}
inline bool context_unlimited(word_t context) { return context_fields(context)->quota == kUnlimitedQuota; }
// Whether threads of `context` may run now: unlimited, or quanta left.
inline bool context_may_run(word_t context) {
    const ScheduleContextFields* c = context_fields(context);
    return c->quota == kUnlimitedQuota || c->remaining >= 1;
}

std::uint64_t consumed_total(const ScheduleContextFields* c);
void set_consumed_total(ScheduleContextFields* c, std::uint64_t total);
// consumedTotal + the part of the current period used so far.
std::int64_t quantum_counter(const ScheduleContextFields* c);

struct ScheduleContextStruct {
    // A context whose remaining quanta dropped below 1: an unlimited one
    // starts over (0); a limited one is exhausted (1), and every thread
    // attached to it has its placement checked again.
    static std::int32_t quotaReached(word_t context);
    // Pushes `t` at the head of the context's thread list (after detaching
    // it from where it was).
    static void attach(VMThread* t, word_t context);
    static void detach(VMThread* t);
};

struct ScheduleControl {
    // The root context: created once, at virtual-machine creation; the
    // context-id counter starts again at 0.
    static word_t createRootContext();
    static word_t rootContext();
    // Charges n quanta to `context`; true when its quota is used up and the
    // caller must ask for a reschedule.
    static bool quantaConsumed(word_t context, std::int32_t n) {
        if (context == 0) return false;
        ScheduleContextFields* c = context_fields(context);
        c->remaining -= n;
        return c->remaining < 1 && ScheduleContextStruct::quotaReached(context) == 1;
    }
    static void attach(VMThread* t, word_t context) { ScheduleContextStruct::attach(t, context); }
    static void detach(VMThread* t) { ScheduleContextStruct::detach(t); }

    // Visits the root context, then every live context of the kernel's
    // chain (unlinking holders whose context is gone when cleanup is on),
    // until `visit` returns true; true when a visit stopped the walk.
    using ContextVisitor = bool (*)(void* arg, word_t context);
    static bool visitContexts(ContextVisitor visit, void* arg);
    // Whether the kernel keeps any context of its own.
    static bool kernelHasContexts();
    static void setCleanupEnabled(bool enabled);

    // A new period for every context, every thread's placement checked
    // again, and the reset reported.
    static void resetQuanta();
    // ReadyContextProbe: whether a limited context with quanta left has a
    // thread ready to run (the running thread counts: it is in its queue).
    static bool readyContextProbe();
    // Every context's counter reads 0 from now on.
    static void resetMonitoringCounters();
    // The quanta consumed by all contexts.
    static std::int64_t totalConsumed();
    // The context the thread `threadObject` started by `starter` belongs to.
    static word_t wantedContextFor(VMThread* starter, word_t threadObject);
    // The next context id (ScheduleContext.initialize).
    static std::int32_t nextContextId();
};

struct QuotaScheduler {
    // Attaches `t` to its wanted context; when that one is limited and used
    // up, to the unlimited context of a thread queued on one of its
    // monitors instead, so that the holder of a monitor an unlimited thread
    // needs is not starved.
    static void checkToUpdateContext(VMThread* t);
    // Every parked thread whose context has a quota other than 0 again is
    // queued as ready.
    static void resumeSuspendedContexts();
    // The parked list: threads whose context has a quota of 0.
    static void park(VMThread* t);
    static void unpark(VMThread* t);
    static VMThread* firstParked();
    static void clearParked();
};

// One quantum for an invocation or an allocation of the current thread;
// sets the reschedule flag when its quota is used up.
inline void charge_quantum(VMThread* t) {
    if (t != nullptr && ScheduleControl::quantaConsumed(t->scheduleContext, 1)) request_reschedule();
}

}  // namespace tarvelo
