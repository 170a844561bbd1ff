#include "vm/core/threads/thread_lifecycle.h"

#include "vm/core/engine/engine.h"
#include "vm/model/type_record.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/feature_context.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/threads/monitor_manager.h"
#include "vm/core/engine/native_interface.h"
#include "vm/core/lifecycle/ostrevan.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/threads/schedule_context.h"
#include "vm/core/threads/thread_pool.h"
#include "vm/core/threads/thread_table.h"
#include "vm/core/threads/vm_thread.h"

namespace tarvelo {

namespace {

// The slot of Throwable.printStackTrace in the virtual tables, found once
// in Throwable's own table; -1 when it is not there.
std::int32_t print_stack_trace_slot() {
    static std::int32_t slot = -2;
    if (slot != -2) return slot;
    slot = -1;
    const word_t print = prelude_member(PreludeMember::_java_Mjava_lang_Throwable__printStackTrace);
    if (print == 0) return slot;
    // The method record's class word: java.lang.Throwable.
    const word_t throwable = image::read_u32(to_ptr<const void>(print));
    const auto* vtable = to_ptr<const word_t>(image::class_vtable(to_ptr<const void>(throwable)));
    // Throwable's table holds Object's methods and its own: a short search.
    for (std::int32_t i = 0; i < 64 && vtable != nullptr; ++i) {
        if (vtable[i] == print) {
            slot = i;
            break;
        }
    }
    return slot;
}

// Prepares the report of an uncaught exception on the thread: the
// application's handler for a thread of an installed application, the
// exception's printStackTrace (its class's, through the virtual table)
// otherwise.
void prepare_report(VMThread* t, word_t exception) {
    if (t->ownerFeature != 0) {
        const word_t handler = prelude_member(PreludeMember::_java_Mcom_olun_kf_KernelSupport__uncaughtException);
        if (handler != 0) ExecutionContext::prepareCallStaticMethod(t, handler, nullptr, 0, &exception, 1);
        return;
    }
    const word_t print = prelude_member(PreludeMember::_java_Mjava_lang_Throwable__printStackTrace);
    if (print != 0) ExecutionContext::prepareCallVirtualMethod(t, exception, print, print_stack_trace_slot());
}

}  // namespace

std::int32_t ThreadEngine::onThreadEnd(VMThread* t) {
    ExecutionContext::clearLocalRefs(t);
    Ostrevan* vm = ostrevan();
    if (t->uncaughtException != 0) {
        const word_t exception = t->uncaughtException;
        if (vm->startPhase == kStartPhaseInitializers) vm->startPhase = kStartPhaseFailed;
        t->uncaughtException = 0;
        TulvarVMEngine::clearFrame(t);
        t->pc = 0;
        if (t->reportingUncaught == 0) {
            t->reportingUncaught = 1;
            prepare_report(t, exception);
            if (t->pc != 0) return 0;
        } else {
            // The report itself threw: the engine prints what it threw and
            // the thread ends, instead of reporting for ever.
            TulvarVMEngine::printUncaughtException(t, exception, -1);
        }
    } else if (vm->startPhase == kStartPhaseInitializers) {
        // The main thread ran the class initialisers: it goes on with main.
        TulvarVMEngine::clearFrame(t);
        vm->startPhase = kStartPhaseMain;
        kernel_scheduler()->releaseHeldThreads(t);
        const word_t run = prelude_member(PreludeMember::_java_Mjava_lang_Thread__runWrapper);
        ExecutionContext::prepareCallVirtualMethod(t, t->javaThread, run, -1);
        return 0;
    }
    endThread(t);
    return 1;
}

void ThreadEngine::resetThreadContext(VMThread* t) {
    if ((t->flags & kFlagScopedResource) != 0) close_scoped_resource(t);
    t->nativeFunction = 0;
    t->suspendCallback = 0;
    t->suspendArgument = 0;
    t->resumeArgument.store(0);
    t->resumeState.store(kResumeNone);
    t->interruptStatus = 0;
    t->interruptibleWait = 0;
    t->flags = 0;
    t->kernelMonitorDepth = 0;
}

void ThreadEngine::endThread(VMThread* t, bool checkDaemons) {
    Ostrevan* vm = ostrevan();
    if (vm->startPhase == kStartPhaseFailed) vm->requestStop();
    // Monitors the thread still holds go to the threads queued on them, so
    // that neither they nor the next thread of this record find them taken.
    KernelMonitorManager::releaseAll(t);
    if (t->javaThread != 0) FeatureIsolation::decrementThreadCount(t->javaThread);
    resetThreadContext(t);
    if (checkDaemons) {
        if (ThreadTable* table = thread_table(); table != nullptr && table->allDaemonOrDone(t)) vm->requestStop();
    }
    if (KernelThreadScheduler* s = kernel_scheduler()) s->threadEnded(t);
    t->wantedContext = 0;
    TulvarVMEngine::clearFrame(t);
    ScheduleControl::detach(t);
    TulvarVMEngine::releaseThread(t);
    t->reportingUncaught = 0;
    t->pc = 0;
    if (VMThreadPool* pool = thread_pool()) pool->giveBack(t);
}

}  // namespace tarvelo
