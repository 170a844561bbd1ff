// Natives of the reference-queue program: a full collection on demand, and
// a wait for a reference as the class library's waiting native does it (the
// green thread suspends, interruptibly, until the collector's enqueue
// resumes it or the timeout passes).
#include <cstdint>

#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/heap_set.h"

using tarvelo::ExecutionContext;
using tarvelo::VMThread;

extern "C" {

// static void collect()
void VMNative_app_Queues_collect(VMThread*) { tarvelo::heapSet()->collector.collect(false); }

// static void waitForReference(long timeout)
void VMNative_app_Queues_waitForReference(VMThread* t) {
    const std::int64_t timeout = ExecutionContext::longArg(t, 5);
    if (tarvelo::kernel_scheduler()->suspendCurrentJavaThread(timeout, 0, 0, true) == 1)
        ExecutionContext::throwNew(t, tarvelo::vm_type(tarvelo::VMType::_java_Ljava_lang_InterruptedException));
}

}  // extern "C"
