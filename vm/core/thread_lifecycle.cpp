#include "vm/core/thread_lifecycle.h"

#include "vm/core/engine.h"
#include "vm/core/execution_context.h"
#include "vm/core/kernel_thread_scheduler.h"
#include "vm/core/native_interface.h"
#include "vm/core/ostrevan.h"
#include "vm/core/runtime_prelude.h"
#include "vm/core/schedule_context.h"
#include "vm/core/thread_pool.h"
#include "vm/core/thread_table.h"
#include "vm/core/vm_thread.h"

namespace tarvelo {

namespace {

// Prepares the report of an uncaught exception on the thread: the
// application's handler for a thread of an installed application, the
// exception's printStackTrace otherwise.
void prepare_report(VMThread* t, word_t exception) {
    if (t->ownerFeature != 0) {
        const word_t handler = prelude_member(PreludeMember::_java_Mcom_olun_kf_KernelSupport__uncaughtException);
        if (handler != 0) ExecutionContext::prepareCallStaticMethod(t, handler, nullptr, 0, &exception, 1);
        return;
    }
    const word_t print = prelude_member(PreludeMember::_java_Mjava_lang_Throwable__printStackTrace);
    if (print != 0) ExecutionContext::prepareCallVirtualMethod(t, exception, print, -1);
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
        }
        // The report itself failed: the thread ends without reporting again.
    } else if (vm->startPhase == kStartPhaseInitializers) {
        // The main thread ran the class initialisers: it goes on with main.
        TulvarVMEngine::clearFrame(t);
        vm->startPhase = kStartPhaseMain;
        kernel_scheduler()->releaseHeldThreads();
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
