// The natives of the runtime prelude's own methods (opcode 0xc2): the class
// initialiser step of Thread.clinitWrapper, the store of an exception that
// left a thread's called method, and the print of an uncaught exception.
#include "vm/core/engine/engine.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/feature_context.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/identity_hash.h"

using tarvelo::ExecutionContext;
using tarvelo::TulvarVMEngine;
using tarvelo::VMThread;

// static void Thread.execClinit(int index)
extern "C" void VMNative_java_lang_Thread_execClinit(VMThread* t) {
    TulvarVMEngine::execClinit(t, ExecutionContext::intArg(t, 5));
}

// static void Thread.storeException(Throwable e)
extern "C" void VMNative_java_lang_Thread_storeException(VMThread* t) {
    t->uncaughtException = ExecutionContext::refArg(t, 0);
}

// static void Throwable.internalError(Throwable e): the engine's report of
// an exception, with all its frames.
extern "C" void VMNative_java_lang_Throwable_internalError(VMThread* t) {
    const tarvelo::word_t e = ExecutionContext::refArg(t, 0);
    if (e != 0) TulvarVMEngine::printUncaughtException(t, e, -1);
}

// static Object Object.cloneNative(Object o): a shallow copy, owned by the
// current context. Code of an application gets no copy of another
// application's object, nor one holding another application's references:
// the copy would be its own and keep that application alive past its kill.
extern "C" void VMNative_java_lang_Object_cloneNative(VMThread* t) {
    const tarvelo::word_t o = ExecutionContext::refArg(t, 0);
    if (o == 0) {
        ExecutionContext::throwNew(t, tarvelo::types::null_pointer());
        return;
    }
    const tarvelo::word_t copy = tarvelo::FeatureIsolation::cloneWithOwner(t, o, t->ownerFeature);
    if (copy == 0) return;  // the refusal or OutOfMemoryError is pending
    ExecutionContext::returnRef(t, -static_cast<std::int32_t>(ExecutionContext::refArgCount(t)), copy);
}

// static int System.hashCode(Object o): the identity hash, 0 for null.
extern "C" void VMNative_java_lang_System_hashCode(VMThread* t) {
    const tarvelo::word_t o = ExecutionContext::refArg(t, 0);
    ExecutionContext::returnInt(t, o == 0 ? 0 : static_cast<std::int32_t>(tarvelo::identityHashCode(o)));
}

// static void Throwable.fillInStackTrace(Throwable t): the frames of the
// code creating the exception, its constructors left out.
extern "C" void VMNative_java_lang_Throwable_fillInStackTrace(VMThread* t) {
    const tarvelo::word_t e = ExecutionContext::refArg(t, 0);
    if (e == 0) return;
    const tarvelo::word_t ints = ExecutionContext::newStackIps(t, e);
    if (ints == 0) return;  // OutOfMemoryError is pending
    // The allocation may have moved the exception: read it again.
    const tarvelo::word_t moved = ExecutionContext::refArg(t, 0);
    ExecutionContext::fillStackTrace(t, ints, moved);
    tarvelo::java::throwable_stack_trace(moved) = ints;
}
