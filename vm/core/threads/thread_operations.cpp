#include "vm/core/threads/thread_operations.h"

#include "vm/core/engine/engine.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/threads/vm_thread.h"

namespace tarvelo::VMJProcessor {

namespace {

std::int32_t raise(VMThread* t, word_t type) {
    ExecutionContext::throwNew(t, type);
    TulvarVMEngine::throwPendingException(t);
    return 0;
}

}  // namespace

std::int32_t sleep(VMThread* t, std::int64_t ms) {
    if (ms < 0) return raise(t, types::illegal_argument());
    KernelThreadScheduler* s = kernel_scheduler();
    const bool interrupted = ms == 0 ? s->clearInterrupted(t) : s->sleepCurrent(t, ms, true) == 1;
    if (interrupted) return raise(t, vm_type(VMType::_java_Ljava_lang_InterruptedException));
    return 1;
}

void yield(VMThread*) { kernel_scheduler()->yieldCurrent(); }

}  // namespace tarvelo::VMJProcessor
