#include "vm/core/engine/memory_binding.h"

#include "vm/core/engine/allocation_entry_points.h"
#include "vm/core/engine/engine.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/inline_allocation.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/engine/sni.h"
#include "vm/core/threads/java_stack.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/engine/monitoring_hooks.h"
#include "vm/core/port/os_port.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/threads/schedule_context.h"
#include "vm/core/threads/thread_table.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/gc_roots.h"
#include "vm/memory/heap_set.h"
#include "vm/memory/memory_environment.h"
#include "vm/memory/memory_layout.h"

namespace tarvelo {

namespace inline_allocation_state {
VMThread* allocatingOverride = nullptr;
word_t heapObjectAllocator = 0;
bool allocationMonitorLinked = true;
}  // namespace inline_allocation_state

namespace {

using inline_allocation_state::allocatingOverride;

// --- What the memory system asks of the virtual machine ------------------------------------------

word_t current_owner_feature() {
    VMThread* t = allocating_thread();
    return t != nullptr ? t->ownerFeature : 0;
}

std::int32_t current_thread_id() {
    VMThread* t = allocating_thread();
    return t != nullptr ? static_cast<std::int32_t>(t->threadId) : 0;
}

void charge_allocation_quantum() { charge_quantum(allocating_thread()); }

// A reference put on an empty queue wakes the thread waiting for one in
// that queue, the way an event resumes a native's thread (argument 0). A
// thread that has ended has no record to find.
void resume_queue_waiter(word_t threadObject) {
    SNI_resumeJavaThread(static_cast<std::int32_t>(java::thread_id(threadObject)));
}

// Up to the record's capacity of (pc, method) pairs; the count of all frames.
struct OomeFrameRecorder final : FrameVisitor {
    std::uint32_t* record;
    std::uint32_t capacity;
    std::uint32_t count = 0;
    bool visitFrame(const FrameView& f) override {
        if (count < capacity) {
            record[1 + 2 * count] = f.pc;
            record[2 + 2 * count] = f.frame->method;
        }
        ++count;
        return true;
    }
};

void make_out_of_memory_error_pending(word_t oome) {
    VMThread* t = allocating_thread();
    if (t == nullptr) return;
    t->pendingException = oome;
    const MemoryLayout& layout = memoryLayout();
    auto* record = to_ptr<std::uint32_t>(layout.oomeFramesStart);
    const std::uint32_t bytes = layout.oomeFramesEnd - layout.oomeFramesStart;
    if (bytes < 12) return;
    if (t->currentFrame != 0) {
        OomeFrameRecorder recorder;
        recorder.record = record;
        recorder.capacity = (bytes - 4) / 8;
        TulvarVMEngine::visitFrames(t, recorder);
        record[0] = recorder.count;
    } else {
        record[0] = 1;
        record[1] = t->pc;
        record[2] = prelude_member(PreludeMember::_java_Mjava_lang_Thread__clinitWrapper);
    }
}

void throw_new_out_of_memory_error() {
    if (VMThread* t = allocating_thread())
        ExecutionContext::throwNew(t, vm_type(VMType::_java_Ljava_lang_OutOfMemoryError));
}

bool trace_gate() { return trace_started(); }

void on_allocate(word_t type, std::uint32_t size, std::uint32_t heapSize, std::uint32_t freeBytes, bool immortal) {
    VMThread* t = allocating_thread();
    const word_t method = t != nullptr && t->currentFrame != 0 ? t->frame()->method : 0;
    const word_t pc = method != 0 ? t->pc : 0;
    OSTV_MONITOR_on_allocate(type, size, method, pc, heapSize, freeBytes, immortal ? 1 : 0);
}

void on_gc_start(std::int32_t id) { OSTV_MONITOR_on_gc_start(id); }
void on_gc_stop(std::int32_t id) { OSTV_MONITOR_on_gc_stop(id); }
void on_oome_thrown() { LLOSTV_on_OutOfMemoryError_thrown(); }
void on_mark_stack_overflow() { LLOSTV_on_GC_MarkStackOverflow_reached(); }

// --- Allocation entry points ---------------------------------------------------------------------

word_t allocate_object(word_t type) { return heapSet()->allocateObject(type); }
word_t allocate_array(word_t type, std::int64_t bytes, std::int32_t length) {
    return heapSet()->allocateArrayBytes(type, bytes, length);
}
word_t allocate_immortal_object(word_t type) { return heapSet()->allocateImmortalObject(type); }
word_t allocate_immortal_array(word_t type, std::int64_t bytes, std::int32_t length) {
    return heapSet()->allocateImmortalArray(type, bytes, length);
}

// --- Roots -------------------------------------------------------------------------------------

void visit_thread_roots_provider(void*, const SlotVisitor& visitor) { visit_thread_roots(visitor); }

void visit_range(word_t* from, word_t* to, const SlotVisitor& visitor) {
    for (word_t* slot = from; slot < to; ++slot) visitor(slot);
}

// Every reference register of every frame: per block, from the first slot
// after its header to the top of the reference registers of the block's
// last frame.
void visit_stack(VMThread* t, const SlotVisitor& visitor) {
    if (t->currentFrame == 0) return;
    StackBlock* block = t->currentBlock.get();
    const image::MethodHeader h = method_header(t->frame()->method);
    visit_range(block->firstRef(), to_ptr<word_t>(t->refWindow) + h.refs_above, visitor);
    for (StackBlock* older = block->link.get(); older != nullptr; older = older->link.get()) {
        if (older->savedFrame == 0) break;
        auto* frame = reinterpret_cast<FrameRecord*>(older->bytes() + older->savedFrame);
        auto* refWindow = reinterpret_cast<word_t*>(older->bytes() + older->savedRefWindow);
        visit_range(older->firstRef(), refWindow + method_header(frame->method).refs_above, visitor);
    }
}

void visit_record(VMThread* t, const SlotVisitor& visitor) {
    visitor(&t->javaThread);
    visitor(&t->pendingException);
    visitor(&t->uncaughtException);
    visitor(&t->thisObject);
    word_t* locals = counted_words(t->localRefs);
    for (std::int32_t i = 0; i <= t->localRefTop; ++i)
        if (locals[i] != 0) visitor(&locals[i]);
    visitor(&t->featureThreadObject);
    word_t* monitors = counted_words(t->monitorObjects);
    const std::int32_t capacity = static_cast<std::int32_t>(counted_length(t->monitorObjects));
    for (std::int32_t i = t->heldMonitorCount - 1; i >= 0; --i) visitor(&monitors[i]);
    visitor(&t->waitObject);
    if ((t->waitObject != 0 || t->state == kThreadMonitorQueued) && t->heldMonitorCount < capacity)
        visitor(&monitors[t->heldMonitorCount]);
    const word_t root = ScheduleControl::rootContext();
    if (t->scheduleContext != root) visitor(&t->scheduleContext);
    if (t->wantedContext != root) visitor(&t->wantedContext);
}

}  // namespace

AllocatingFor::AllocatingFor(VMThread* t) : previous_(allocatingOverride) { allocatingOverride = t; }
AllocatingFor::~AllocatingFor() { allocatingOverride = previous_; }

VMThread* allocating_thread() { return allocatingOverride != nullptr ? allocatingOverride : current_thread(); }

void visit_thread_roots(const SlotVisitor& visitor) {
    ThreadTable* table = thread_table();
    if (table == nullptr) return;
    for (std::uint32_t i = table->length; i-- > 0;) {
        VMThread* t = table->at(i);
        if (t == nullptr || t->javaThread == 0) continue;
        visit_record(t, visitor);
        visit_stack(t, visitor);
    }
}

void bind_engine_to_memory(HeapSet* heap) {
    MemoryEnvironment env = memoryEnvironment();
    env.currentOwnerFeature = current_owner_feature;
    env.currentThreadId = current_thread_id;
    env.chargeAllocationQuantum = charge_allocation_quantum;
    env.makeOutOfMemoryErrorPending = make_out_of_memory_error_pending;
    env.throwNewOutOfMemoryError = throw_new_out_of_memory_error;
    env.traceStarted = trace_gate;
    env.onAllocate = on_allocate;
    env.onGcStart = on_gc_start;
    env.onGcStop = on_gc_stop;
    env.onOutOfMemoryErrorThrown = on_oome_thrown;
    env.onMarkStackOverflow = on_mark_stack_overflow;
    env.resumeWaitingThread = resume_queue_waiter;
    setMemoryEnvironment(env);
    heap->roots.add({RootPhase::kThreadStacks, visit_thread_roots_provider, nullptr});
    publish_allocation_entry_points(
        {allocate_object, allocate_array, allocate_immortal_object, allocate_immortal_array});
    inline_allocation_state::heapObjectAllocator = function_word(allocate_object);
    inline_allocation_state::allocationMonitorLinked = allocation_monitor_linked();
}

}  // namespace tarvelo
