// CPU-quota schedule contexts: the quanta a group of threads may use per
// period. A context is a Java object of the class library (or, for the root
// context, a block of the same layout owned by the virtual machine); threads
// point at theirs through their scheduleContext word. This file holds the
// layout, the root context and the charging that invocations, backward
// branches and allocations do.
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

inline ScheduleContextFields* context_fields(word_t context) {
    return to_ptr<ScheduleContextFields>(context + kContextFieldsOffset);
}

struct ScheduleContextStruct {
    // A context whose remaining quanta dropped below 1: an unlimited one
    // starts over (0); a limited one is exhausted (1).
    static std::int32_t quotaReached(word_t context);
};

struct ScheduleControl {
    // The root context: created once, at virtual-machine creation.
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
    static void attach(VMThread* t, word_t context);
    static void detach(VMThread* t);
};


// One quantum for an invocation or an allocation of the current thread;
// sets the reschedule flag when its quota is used up.
inline void charge_quantum(VMThread* t) {
    if (t != nullptr && ScheduleControl::quantaConsumed(t->scheduleContext, 1)) request_reschedule();
}

}  // namespace tarvelo
