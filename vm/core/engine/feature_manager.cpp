#include "vm/core/engine/feature_manager.h"

#include <cstring>

#include "vm/core/engine/engine.h"
#include "vm/core/engine/feature_context.h"
#include "vm/core/engine/frame_record.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/engine/native_resources.h"
#include "vm/core/engine/ram_control.h"
#include "vm/model/method_record.h"
#include "vm/core/lifecycle/ostrevan.h"
#include "vm/core/lifecycle/vm_error.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/threads/monitor_manager.h"
#include "vm/core/threads/monitor_stack.h"
#include "vm/core/threads/thread_table.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/feature_runtime.h"
#include "vm/memory/heap_set.h"
#include "vm/memory/installed_feature_table.h"
#include "vm/memory/support_allocator.h"

namespace tarvelo {

namespace {

FeatureManager* the_manager = nullptr;

FeatureRuntimeState* state_of(word_t record) { return featureRuntimeState(record); }

bool is_feature_or_kernel(word_t object, word_t record) {
    const word_t owner = object_owner_feature(object);
    return owner == 0 || owner == record;
}

// Frames of the killed application: their registers no longer keep its
// objects alive and their contexts name the placeholder, so neither a
// handler of theirs nor a return into them runs its code again.
class KillFrames final : public FrameVisitor {
public:
    KillFrames(word_t record, word_t placeholder) : record_(record), placeholder_(placeholder) {}

    bool visitFrame(const FrameView& f) override {
        FrameRecord* frame = f.frame;
        if (frame->savedContext == record_) frame->savedContext = placeholder_;
        if (frame->featureContext == record_) {
            frame->featureContext = placeholder_;
            const image::MethodHeader h = method_header(frame->method);
            word_t* low = f.refWindow - h.ref_base;
            for (std::uint32_t i = 0; i < h.ref_base + h.refs_above; ++i) low[i] = 0;
        }
        return true;
    }

private:
    word_t record_;
    word_t placeholder_;
};

// A thread queued for a monitor gives up waiting: out of its owner's queue
// and ready to run (it then meets the dead application).
void drop_monitor_queue(VMThread* t) {
    const word_t awaited = monitor_stack::awaited(t);
    VMThread* owner = nullptr;
    if (ThreadTable* table = thread_table(); table != nullptr && awaited != 0) {
        const std::uint32_t slot = KernelMonitorManager::ownerOf(awaited);
        if (slot != 0) owner = table->at(slot - 1);
    }
    if (owner != nullptr) {
        VMThread* prev = nullptr;
        for (VMThread* w = owner->monitorWaiters.get(); w != nullptr; prev = w, w = w->next.get()) {
            if (w != t) continue;
            if (prev != nullptr) prev->next = w->next; else owner->monitorWaiters = w->next;
            break;
        }
    }
    t->next.set(nullptr);
    if (t->heldMonitorCount < monitor_stack::capacity(t)) {
        monitor_stack::objects(t)[t->heldMonitorCount] = 0;
        monitor_stack::counts(t)[t->heldMonitorCount] = 0;
    }
    KernelThreadScheduler* s = kernel_scheduler();
    s->enqueueReady(t, t->effectivePriority);
    if (owner != nullptr) s->recomputePriority(owner);
}

// Every monitor the thread holds on an object of the application or of the
// kernel, entered for the application, is released at all its levels.
void release_monitors(VMThread* t, word_t record) {
    for (std::int32_t i = t->heldMonitorCount - 1; i >= 0; --i) {
        if (i >= t->heldMonitorCount) continue;
        const word_t obj = monitor_stack::objects(t)[i];
        if (monitor_stack::contexts(t)[i] != record || !is_feature_or_kernel(obj, record)) continue;
        monitor_stack::counts(t)[i] = 1;
        KernelMonitorManager::monitorExit(t, obj);
    }
}

void kill_thread(VMThread* t, word_t record, word_t placeholder) {
    if (t->ownerFeature == record) {
        // Every wait ends, interruptible or not; a native's suspension
        // ends without its callback, which belonged to the application's
        // call.
        if (t->state == kThreadWaiting) {
            t->interruptStatus = 2;
            t->suspendCallback = 0;
            t->suspendArgument = 0;
            kernel_scheduler()->wakeThread(t);
        }
        if ((t->flags & kFlagScopedResource) != 0) {
            const word_t close = t->scopedClose;
            const std::uint32_t resource = t->scopedResource;
            NativeResources::unregisterScopedResource(t);
            run_close_hook(close, resource);
        }
    }
    // The thread goes on as the kernel's: the application's Thread object no
    // longer names it (so that joining it does not wait for ever).
    if (object_owner_feature(t->javaThread) == record && t->featureThreadObject != 0) {
        java::thread_id(t->javaThread) = static_cast<std::uint32_t>(java::kThreadIdEnded);
        t->javaThread = t->featureThreadObject;
    }
    if (t->state == kThreadMonitorQueued && t->ownerFeature == record &&
        is_feature_or_kernel(monitor_stack::awaited(t), record))
        drop_monitor_queue(t);
    release_monitors(t, record);
    if (t->currentFrame != 0) {
        KillFrames frames(record, placeholder);
        TulvarVMEngine::visitFrames(t, frames);
    }
    if (t->ownerFeature == record) t->ownerFeature = placeholder;
    // The context of a call the thread is about to make.
    for (std::int32_t i = 0; i < monitor_stack::capacity(t); ++i)
        if (monitor_stack::contexts(t)[i] == record) monitor_stack::contexts(t)[i] = placeholder;
}

void before_collection(MemoryReleaseHandler*) {
    // The counters themselves are reset by the collector before marking.
}

void after_collection(MemoryReleaseHandler*) {
    FeatureManager* m = the_manager;
    if (m == nullptr) return;
    for (int i = 0; i < installedFeatureSlots(); ++i) {
        const word_t record = installedFeatureRecord(i);
        if (record == 0) continue;
        FeatureRuntimeState* st = state_of(record);
        if (st->state != static_cast<std::uint8_t>(FeatureState::kStopped) || st->liveObject != 0) continue;
        const word_t feature = st->featureObject;
        if (feature == 0 || featureObjectByte(feature, feature_object::kTransition) != kTransitionMayReturn) continue;
        st->state = static_cast<std::uint8_t>(FeatureState::kInstalled);
        featureObjectByte(feature, feature_object::kTransition) = kTransitionReturned;
        m->queueStoppedFeature(record);
    }
}

bool release(MemoryReleaseHandler*, int, std::uint32_t) { return false; }

const MemoryReleaseHandlerOps kHandlerOps{before_collection, after_collection, release};

}  // namespace

FeatureManager* feature_manager() { return the_manager; }

void FeatureManager::killFeature(word_t record, FeatureStopCause cause) {
    if (record == 0 || record == placeholderRecord()) return;
    FeatureRuntimeState* st = state_of(record);
    if (st->state != static_cast<std::uint8_t>(FeatureState::kStarted)) return;
    const word_t feature = st->featureObject;
    if (feature != 0)
        for (std::int32_t offset : feature_object::kRefFields)
            *to_ptr<word_t>(feature + static_cast<std::uint32_t>(offset)) = 0;
    if (ThreadTable* table = thread_table()) {
        for (std::int32_t slot = static_cast<std::int32_t>(table->length) - 1; slot >= 0; --slot) {
            VMThread* t = table->at(static_cast<std::uint32_t>(slot));
            if (t != nullptr && t->javaThread != 0) kill_thread(t, record, placeholderRecord());
        }
    }
    clearFeatureStatics(record);
    NativeResources::closeResourcesOf(record);
    st->state = static_cast<std::uint8_t>(FeatureState::kStopped);
    if (feature != 0) {
        featureObjectByte(feature, feature_object::kStopCause) = cause;
        featureObjectByte(feature, feature_object::kTransition) = kTransitionKilled;
    }
    queueStoppedFeature(record);
    RamControl::remove(record);
    storeU64(st->allocatedBytes, 0);
}

void FeatureManager::queueStoppedFeature(word_t record) {
    FeatureRuntimeState* st = state_of(record);
    // Queued once: a record already in the list stays where it is.
    for (word_t r = stoppedHead; r != 0; r = state_of(r)->nextStopped)
        if (r == record) return;
    st->nextStopped = stoppedHead;
    stoppedHead = record;
    if (waitingThread != 0) {
        const std::uint32_t id = waitingThread;
        waitingThread = 0;
        if (ThreadTable* table = thread_table()) {
            VMThread* t = table->at(id & kThreadSlotMask);
            if (t != nullptr && t->threadId.load() == id) kernel_scheduler()->resumeJavaThread(t, 0);
        }
    }
}

void FeatureManager::forgetStoppedFeature(word_t record) {
    for (word_t* link = &stoppedHead; *link != 0; link = &state_of(*link)->nextStopped) {
        if (*link == record) {
            *link = state_of(record)->nextStopped;
            state_of(record)->nextStopped = 0;
            return;
        }
    }
}

word_t FeatureManager::takeStoppedFeature(VMThread* t) {
    if (stoppedHead != 0) {
        const word_t record = stoppedHead;
        FeatureRuntimeState* st = state_of(record);
        stoppedHead = st->nextStopped;
        st->nextStopped = 0;
        return st->featureObject;
    }
    waitingThread = t->threadId.load();
    kernel_scheduler()->suspendCurrentJavaThread(0, 0, 0, false);
    return 0;
}

KernelFeatureComponent* KernelFeatureComponent::create() {
    auto* c = support_new<KernelFeatureComponent>();
    c->classId = kKernelFeatureComponent;
    c->handler.ops = &kHandlerOps;
    return c;
}

bool KernelFeatureComponent::initialize(VMComponent* self) {
    auto* c = static_cast<KernelFeatureComponent*>(self);
    FeatureManager* m = support_new<FeatureManager>();
    m->stoppedHead = 0;
    m->waitingThread = 0;
    std::memset(m->placeholder, 0, sizeof m->placeholder);
    std::memset(&m->placeholderState, 0, sizeof m->placeholderState);
    m->placeholderState.level = 5;
    m->placeholderState.state = static_cast<std::uint8_t>(FeatureState::kStopped);
    m->placeholder[feature_record::kRuntimeState] = to_word(&m->placeholderState);
    the_manager = m;
    HeapSet* heap = heapSet();
    if (heap == nullptr || !heap->registerReleaseHandler(&c->handler)) {
        if (Ostrevan* vm = ostrevan()) vm->setError(kVMErrorReleaseHandlers);
        return false;
    }
    return true;
}

void KernelFeatureComponent::start(VMComponent*) {
    if (HeapSet* heap = heapSet()) heap->kernelAllocatedBytes = 4;
    if (the_manager != nullptr) {
        the_manager->stoppedHead = 0;
        the_manager->waitingThread = 0;
    }
}

}  // namespace tarvelo
