#include "vm/core/threads/vm_thread.h"

#include "vm/core/threads/java_stack.h"
#include "vm/core/lifecycle/link_config.h"
#include "vm/core/engine/monitoring_hooks.h"
#include "vm/memory/support_allocator.h"

namespace tarvelo {

namespace {

std::uint32_t next_uid = 0;

// A zero-filled counted array of `count` elements of `elem_bytes` each,
// rounded up to whole words.
word_t new_counted_array(std::uint32_t count, std::uint32_t elem_bytes) {
    std::uint32_t bytes = 4 + ((count * elem_bytes + 3u) & ~3u);
    auto* p = static_cast<std::uint32_t*>(_rowfen_support_malloc(static_cast<std::int32_t>(bytes)));
    for (std::uint32_t i = 0; i < bytes / 4; ++i) p[i] = 0;
    p[0] = count;
    return to_word(p);
}

}  // namespace

std::uint32_t next_unique_number() {
    next_uid += 1;
    std::uint32_t n = next_uid & kUniqueNumberMask;
    if (n == 0) {
        next_uid += 1;
        n = next_uid & kUniqueNumberMask;
    }
    return n;
}

void reset_unique_numbers() { next_uid = 0; }

void set_thread_state(VMThread* t, ThreadState state) {
    t->state = state;
    if (state != kThreadNone && trace_started())
        OSTV_MONITOR_on_thread_state_changed(static_cast<std::int32_t>(t->threadId), state);
}

VMThread* create_thread_record(std::uint8_t slot) {
    auto* t = support_new<VMThread>();
    std::int32_t monitors = link_config::max_monitors_per_thread();
    std::uint32_t entries = monitors > 0 ? static_cast<std::uint32_t>(monitors) : 0u;
    t->monitorObjects = new_counted_array(entries, 4);
    t->monitorCounts = new_counted_array(entries, 1);
    t->monitorContexts = new_counted_array(entries, 4);
    // The natives' own local references, and two more for the exception and
    // message the virtual machine creates while a native may hold its two.
    std::int32_t wrappers = link_config::native_wrappers();
    t->localRefs = new_counted_array((wrappers > 0 ? static_cast<std::uint32_t>(wrappers) : 0u) + 2u, 4);
    t->localRefTop = -1;
    t->threadId = make_thread_id(next_unique_number(), slot);
    t->stackMeter.set(support_new<JavaStackMeter>());
    return t;
}

}  // namespace tarvelo
