// Natives of yq.lang.WatchdogNativeSupport (natives-pool calls): claiming,
// arming and cancelling software watchdogs, and the handler thread's loop
// (register, take the expired contexts, pause until the next expiry).
// With watchdogs off every native answers as disabled.
#include <algorithm>
#include <cstdint>

#include "vm/core/engine/execution_context.h"
#include "vm/core/lifecycle/ostrevan.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/core/threads/watchdog_support.h"

namespace tarvelo {

namespace {

// The thread access of the natives: the current thread's id, -1 off the
// application task or while a close function runs.
std::int32_t current_thread_id() {
    KernelThreadScheduler* s = kernel_scheduler();
    Ostrevan* vm = ostrevan();
    if (s == nullptr || !s->onVMTask() || (vm != nullptr && vm->runningHook != nullptr)) return -1;
    VMThread* t = s->currentThread();
    return t != nullptr ? static_cast<std::int32_t>(t->threadId.load()) : -1;
}

void return_ref(VMThread* t, word_t value) {
    const auto base = static_cast<std::int32_t>(ExecutionContext::refArgCount(t));
    ExecutionContext::returnRef(t, -std::max(base, 1), value);
}

}  // namespace

}  // namespace tarvelo

using tarvelo::ExecutionContext;
using tarvelo::VMThread;

extern "C" {

// static int supportEnabled()
void VMNative_yq_lang_WatchdogNativeSupport_supportEnabled(VMThread* t) {
    ExecutionContext::returnInt(t, tarvelo::watchdog_support() != nullptr ? 1 : 0);
}

// static void registerContextHandlerThreads()
void VMNative_yq_lang_WatchdogNativeSupport_registerContextHandlerThreads(VMThread*) {
    if (tarvelo::WatchdogSupport* s = tarvelo::watchdog_support()) s->handlerThreadId = tarvelo::current_thread_id();
}

// static Object getNextContext()
void VMNative_yq_lang_WatchdogNativeSupport_getNextContext(VMThread* t) {
    tarvelo::WatchdogSupport* s = tarvelo::watchdog_support();
    tarvelo::return_ref(t, s != nullptr ? s->queue.take() : 0);
}

// static void pauseContextHandlerThread(): until an expiry resumes the
// thread; an expiry that came first is not lost (the resume is pending and
// the pause returns at once).
void VMNative_yq_lang_WatchdogNativeSupport_pauseContextHandlerThread(VMThread*) {
    if (tarvelo::watchdog_support() == nullptr) return;
    tarvelo::kernel_scheduler()->suspendCurrentJavaThread(0, 0, 0, false);
}

// static int claimAndStartWatchdog(int key, long delay, Object context)
void VMNative_yq_lang_WatchdogNativeSupport_claimAndStartWatchdog(VMThread* t) {
    tarvelo::WatchdogSupport* s = tarvelo::watchdog_support();
    const std::int32_t key = ExecutionContext::intArg(t, 7);
    const std::int64_t delay = ExecutionContext::longArg(t, 5);
    const tarvelo::word_t context = ExecutionContext::refArg(t, 0);
    std::int32_t index = -1;
    if (s != nullptr) {
        // A fresh claim always arms: its key matches and it is not running.
        index = s->claimWatchdog(key);
        if (index != -1) s->armWatchdog(index, key, delay, context);
    }
    ExecutionContext::returnInt(t, index);
}

// static void cancelWatchdog(int index, int key)
void VMNative_yq_lang_WatchdogNativeSupport_cancelWatchdog(VMThread* t) {
    if (tarvelo::WatchdogSupport* s = tarvelo::watchdog_support())
        s->cancelWatchdog(ExecutionContext::intArg(t, 6), ExecutionContext::intArg(t, 5));
}

}  // extern "C"
