#include "vm/core/engine/engine.h"

#include <cstdint>

#include "vm/core/engine/allocation_entry_points.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/feature_context.h"
#include "vm/core/image/image_access.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/threads/java_stack.h"
#include "vm/core/engine/monitoring_hooks.h"
#include "vm/core/lifecycle/ostrevan.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/threads/schedule_context.h"
#include "vm/core/threads/thread_table.h"
#include "vm/model/type_record.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/feature_record.h"
#include "vm/model/object_header.h"

namespace tarvelo {

namespace {

std::uint8_t* bytes_of(void* p) { return static_cast<std::uint8_t*>(p); }

}  // namespace

// --- Threads -----------------------------------------------------------------------

namespace {
// Threads bound to a record since the process began, and the most records
// in use at once (for the state dump).
std::uint32_t threads_started = 0;
std::uint32_t peak_threads = 0;
}  // namespace

std::uint32_t TulvarVMEngine::startedThreadCount() { return threads_started; }
std::uint32_t TulvarVMEngine::peakThreadCount() { return peak_threads; }

bool TulvarVMEngine::bindThread(VMThread* t, word_t threadObject) {
    ThreadTable* table = thread_table();
    if (table == nullptr) return false;
    t->currentFrame = 0;
    t->refWindow = 0;
    t->pendingException = 0;
    t->uncaughtException = 0;
    t->throwDepth = 0;
    t->ownerFeature = 0;
    t->heldMonitorCount = 0;
    t->kernelMonitorDepth = 0;
    t->monitorWaiters.set(nullptr);
    t->waitObject = 0;
    t->interruptStatus = 0;
    t->next.set(nullptr);
    t->prev.set(nullptr);
    t->objectAllocator = function_word(allocation_entry_points().object);
    t->arrayAllocator = function_word(allocation_entry_points().array);
    t->featureThreadObject = 0;
    t->threadId = make_thread_id(next_unique_number(), t->slot());
    if (!table->addThread(t)) return false;
    const std::uint32_t unboundId = java::thread_id(threadObject);
    linkThreadObject(t, threadObject);
    // In the table with its Thread object, the record is a root of the
    // collector while the second Thread object is allocated.
    if (!FeatureIsolation::newFeatureThreadObject(t)) {
        java::thread_id(t->javaThread) = unboundId;
        table->removeThread(t);
        t->javaThread = 0;
        return false;
    }
    ++threads_started;
    if (table->count > peak_threads) peak_threads = table->count;
    std::int32_t priority = java::thread_priority(t->javaThread);
    if (priority < 1 || priority > 10) priority = 5;
    t->basePriority = static_cast<std::int8_t>(priority);
    t->effectivePriority = static_cast<std::int8_t>(priority);
    return true;
}

void TulvarVMEngine::linkThreadObject(VMThread* t, word_t threadObject) {
    t->javaThread = threadObject;
    java::thread_id(threadObject) = t->threadId;
}

bool TulvarVMEngine::initializeThread(VMThread* t) {
    JavaStackAllocator* alloc = java_stack_allocator();
    std::int32_t result = alloc->allocStackBlock(t, 0);
    if (result != kStackBlockTaken) {
        raiseStackOverflow(t, result);
        return false;
    }
    t->currentBlock = t->topBlock;
    JavaStackMeter* meter = t->stackMeter.get();
    meter->block = t->currentBlock;
    meter->leastFree = static_cast<std::int32_t>(alloc->maxFrameBytes);
    clearFrame(t);
    if (trace_started()) OSTV_MONITOR_on_thread_create(static_cast<std::int32_t>(t->threadId));
    return true;
}

void TulvarVMEngine::releaseThread(VMThread* t) {
    if (t->javaThread != 0) java::thread_id(t->javaThread) = static_cast<std::uint32_t>(java::kThreadIdEnded);
    if (t->featureThreadObject != 0)
        java::thread_id(t->featureThreadObject) = static_cast<std::uint32_t>(java::kThreadIdEnded);
    java_stack_allocator()->releaseStack(t);
    if (ThreadTable* table = thread_table()) table->removeThread(t);
    t->currentFrame = 0;
    t->refWindow = 0;
    t->javaThread = 0;
    t->pendingException = 0;
    t->uncaughtException = 0;
    t->thisObject = 0;
    t->featureThreadObject = 0;
}

word_t TulvarVMEngine::currentThreadObject(VMThread* t) {
    return FeatureIsolation::contextOwnerOf(t, t->ownerFeature);
}

void TulvarVMEngine::clearFrame(VMThread* t) {
    t->currentFrame = 0;
    t->refWindow = 0;
    if (StackBlock* bottom = JavaStackAllocator::bottomBlock(t)) t->currentBlock.set(bottom);
}

// --- Frame walks ---------------------------------------------------------------------

FrameView TulvarVMEngine::currentView(VMThread* t) {
    return {t->frame(), to_ptr<word_t>(t->refWindow), t->pc, t->currentBlock.get()};
}

void TulvarVMEngine::visitFrames(VMThread* t, FrameVisitor& v, const FrameView* from) {
    FrameView f = from != nullptr ? *from : currentView(t);
    if (f.block == nullptr) f.block = t->currentBlock.get();
    while (f.frame != nullptr) {
        if (!v.visitFrame(f)) return;
        const std::uint16_t flags = f.frame->flags;
        if ((flags & kFrameWalkStops) != 0) {
            if (!v.visitFlags(f, flags) || (flags & kFrameFirst) != 0) return;
            if ((flags & kFrameNewBlock) != 0) {
                StackBlock* older = f.block->link.get();
                if (older == nullptr || older->savedFrame == 0) return;
                f = {reinterpret_cast<FrameRecord*>(older->bytes() + older->savedFrame),
                     reinterpret_cast<word_t*>(older->bytes() + older->savedRefWindow), f.frame->returnPc, older};
                continue;
            }
        }
        const std::uint32_t distance = flags & kFrameCallerDistanceMask;
        if (distance == 0) return;
        f = {reinterpret_cast<FrameRecord*>(bytes_of(f.frame) + distance),
             reinterpret_cast<word_t*>(bytes_of(f.refWindow) + f.frame->callerRefDelta), f.frame->returnPc, f.block};
    }
}

namespace {

struct NthFrame final : FrameVisitor {
    std::uint32_t remaining;
    FrameView found{};
    bool visitFrame(const FrameView& f) override {
        if (remaining == 0) {
            found = f;
            return false;
        }
        --remaining;
        return true;
    }
};

struct FrameCounter final : FrameVisitor {
    std::uint32_t count = 0;
    bool visitFrame(const FrameView&) override {
        ++count;
        return true;
    }
};

}  // namespace

FrameView TulvarVMEngine::walkUpFrames(VMThread* t, std::uint32_t n) {
    NthFrame v;
    v.remaining = n;
    visitFrames(t, v);
    return v.found;
}

std::uint32_t TulvarVMEngine::countFrames(VMThread* t) {
    FrameCounter v;
    visitFrames(t, v);
    return v.count;
}

// --- Class initialisation ----------------------------------------------------------------

void TulvarVMEngine::execClinit(VMThread* t, std::int32_t index) {
    // An installed application's initialisers run in its context, from the
    // table of its record.
    word_t table = to_word(_java_clinits_start);
    std::int32_t count = image::clinit_count();
    if (t->ownerFeature != 0 && feature_is_started(t->ownerFeature)) {
        table = featureRecordWord(t->ownerFeature, feature_record::kClinitStart);
        count = static_cast<std::int32_t>((featureRecordWord(t->ownerFeature, feature_record::kClinitEnd) - table) / 4);
    }
    if (index < 0 || index >= count) {
        if (t->pendingException == 0) ExecutionContext::checkIndexRange(t);
        return;
    }
    word_t method = image::read_u32(to_ptr<const char>(table) + 4 * index);
    ExecutionContext::invokeSimple(t, method);
}

// --- Arrays of several dimensions ----------------------------------------------------------

namespace {

constexpr std::int32_t kMaxDimensions = 8;

// The array at `level` along the current index path from the root.
word_t array_at(word_t root, const std::int32_t* path, std::int32_t level) {
    word_t a = root;
    for (std::int32_t i = 0; i < level; ++i) a = java::array_data<word_t>(a)[path[i]];
    return a;
}

word_t new_array(VMThread* t, word_t type, std::int32_t length) {
    std::uint32_t element = image::array_element(to_ptr<const void>(type));
    std::int64_t bytes = static_cast<std::int64_t>(memory::element_size(element)) * length;
    return t->allocateArray(type, bytes, length);
}

}  // namespace

bool TulvarVMEngine::newMultiArray(VMThread* t, word_t arrayType, std::int32_t dims, std::int32_t* firstLength,
                                   word_t* dst) {
    if (dims > kMaxDimensions || dims < 1) {
        ExecutionContext::throwNew(t, types::internal_limits());
        return false;
    }
    std::int32_t lengths[kMaxDimensions];
    word_t levelType[kMaxDimensions];
    for (std::int32_t d = 0; d < dims; ++d) {
        lengths[d] = firstLength[-d];
        if (lengths[d] < 0) {
            ExecutionContext::throwNew(t, types::negative_array_size());
            return false;
        }
        levelType[d] = d == 0 ? arrayType : image::array_element(to_ptr<const void>(levelType[d - 1]));
    }
    word_t outer = new_array(t, arrayType, lengths[0]);
    if (outer == 0) return false;
    word_t* root = ExecutionContext::pushLocalRef(t, outer);
    // Depth first: the index path counts like an odometer over the levels
    // that hold sub-arrays.
    std::int32_t path[kMaxDimensions] = {};
    bool ok = true;
    std::int32_t level = 0;  // the level whose elements are being filled
    while (ok && level >= 0) {
        if (level >= dims - 1 || lengths[level] == 0) {
            --level;
            if (level >= 0) ++path[level];
            continue;
        }
        if (path[level] >= lengths[level]) {
            path[level] = 0;
            --level;
            if (level >= 0) ++path[level];
            continue;
        }
        word_t sub = new_array(t, levelType[level + 1], lengths[level + 1]);
        if (sub == 0) {
            ok = false;
            break;
        }
        java::array_data<word_t>(array_at(*root, path, level))[path[level]] = sub;
        ++level;
        path[level] = 0;
    }
    if (ok) *dst = *root;
    ExecutionContext::popLocalRefsTo(t, root);
    return ok;
}

}  // namespace tarvelo
