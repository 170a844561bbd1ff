// Natives of java.lang.Thread and Object.notify: start, priority,
// interruption, state, the thread table and monitor ownership.
#include "vm/core/engine/engine.h"
#include "vm/core/engine/feature_context.h"
#include "vm/core/engine/monitoring_hooks.h"
#include "vm/core/lifecycle/vm_runtime.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/threads/monitor_manager.h"
#include "vm/core/threads/thread_table.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/natives/native_support.h"

using namespace tarvelo;
using namespace tarvelo::natives;

namespace {

bool ownsMonitor(VMThread* t, word_t object) {
    return KernelMonitorManager::ownerOf(object) == static_cast<std::uint32_t>(t->slot()) + 1u;
}

}  // namespace

extern "C" {

// static void Object.notify(Object o, boolean all)
void VMNative_java_lang_Object_notify(VMThread* t) {
    const word_t o = ref(t, 0);
    if (o == 0) return throwNull(t);
    if (!ownsMonitor(t, o)) return throwType(t, VMType::_java_Ljava_lang_IllegalMonitorStateException);
    kernel_scheduler()->notifyWaiters(o, prim(t, 5) != 0);
}

// static int Thread.startNative(Thread t): 0 started, -1 no free thread
// record, -2 failed.
void VMNative_java_lang_Thread_startNative(VMThread* t) {
    const word_t thread = ref(t, 0);
    if (thread == 0) return throwNull(t);
    returnInt(t, GreenThreadVMRuntime::startThread(thread));
}

// static void Thread.interruptNative(Thread t)
void VMNative_java_lang_Thread_interruptNative(VMThread* t) {
    if (VMThread* target = GreenThreadVMRuntime::findThreadById(ref(t, 0))) kernel_scheduler()->interrupt(target);
}

// static void Thread.setPriorityNative(Thread t, int priority): the field,
// then the base priority of a running thread. A priority outside 1 to 10
// is refused: the scheduler indexes its queues with it.
void VMNative_java_lang_Thread_setPriorityNative(VMThread* t) {
    const word_t thread = ref(t, 0);
    const std::int32_t priority = prim(t, 5);
    if (thread == 0) return throwNull(t);
    if (priority < kMinPriority || priority > kMaxPriority)
        return throwType(t, VMType::_java_Ljava_lang_IllegalArgumentException);
    java::set_thread_priority(thread, priority);
    if (VMThread* target = GreenThreadVMRuntime::findThreadById(thread)) {
        kernel_scheduler()->setBasePriority(target, priority);
        if (trace_started()) OSTV_MONITOR_on_thread_modified(static_cast<std::int32_t>(target->threadId.load()));
    }
}

// static boolean Thread.interrupted(): reads and clears the status.
void VMNative_java_lang_Thread_interrupted(VMThread* t) { returnBool(t, kernel_scheduler()->clearInterrupted(t)); }

// static boolean Thread.isInterrupted(Thread t)
void VMNative_java_lang_Thread_isInterrupted(VMThread* t) {
    VMThread* target = GreenThreadVMRuntime::findThreadById(ref(t, 0));
    returnBool(t, target != nullptr && target->interruptStatus != 0);
}

// static int Thread.getStateNative(Thread t): the record's state (ready
// reported as running for the current thread); unbound, 0 before the start
// and 5 after the end.
void VMNative_java_lang_Thread_getStateNative(VMThread* t) {
    const word_t thread = ref(t, 0);
    if (thread == 0) return throwNull(t);
    if (VMThread* target = GreenThreadVMRuntime::findThreadById(thread)) {
        std::int32_t state = target->state;
        if (state == kThreadReady && target == t) state = kThreadRunning;
        return returnInt(t, state);
    }
    const std::int32_t id = static_cast<std::int32_t>(java::thread_id(thread));
    returnInt(t, id == java::kThreadIdNotStarted || id == 0 ? 0 : 5);
}

// static Thread Thread.currentThread()
void VMNative_java_lang_Thread_currentThread(VMThread* t) { returnObject(t, TulvarVMEngine::currentThreadObject(t)); }

// static int Thread.activeCount()
void VMNative_java_lang_Thread_activeCount(VMThread* t) {
    ThreadTable* table = thread_table();
    returnInt(t, table != nullptr ? static_cast<std::int32_t>(table->count) : 0);
}

// static int Thread.enumerate(Thread[] threads): the live threads as the
// caller's application sees them (another application's thread by its
// kernel-owned second Thread object), from the last slot of the table to
// the first, until the array is full.
void VMNative_java_lang_Thread_enumerate(VMThread* t) {
    const word_t array = ref(t, 0);
    if (array == 0) return throwNull(t);
    ThreadTable* table = thread_table();
    const std::int32_t capacity = java::array_length(array);
    std::int32_t n = 0;
    for (std::uint32_t i = table != nullptr ? table->length : 0; i-- > 0 && n < capacity;) {
        VMThread* record = table->at(i);
        if (record == nullptr || record->javaThread == 0) continue;
        const word_t seen = FeatureIsolation::contextOwnerOf(record, t->ownerFeature);
        if (seen != 0) java::array_data<word_t>(array)[n++] = seen;
    }
    returnInt(t, n);
}

// static boolean Thread.holdsLock(Object o)
void VMNative_java_lang_Thread_holdsLock(VMThread* t) {
    const word_t o = ref(t, 0);
    if (o == 0) return throwNull(t);
    returnBool(t, ownsMonitor(t, o));
}

}  // extern "C"
