#include "vm/core/engine/feature_context.h"

#include "vm/core/engine/engine.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/object_header.h"

namespace tarvelo {

bool feature_is_started(word_t feature) {
    // No application is installed before the feature runtime exists, so
    // only the kernel's code runs.
    return feature == 0;
}

void throw_dead_feature(VMThread* t) {
    t->ownerFeature = 0;
    ExecutionContext::throwNew(t, types::dead_feature());
}

// Only kernel code runs until applications can be installed: every access
// is the kernel's own and passes.
word_t FeatureIsolation::featureStaticAddress(word_t, word_t address) { return address; }

std::int32_t FeatureIsolation::checkFieldStoreOwner(VMThread*, word_t) { return 0; }

std::int32_t FeatureIsolation::checkArrayStoreOwner(VMThread*, word_t, word_t) { return 0; }

std::int32_t FeatureIsolation::checkStaticAccess(word_t, word_t, word_t) { return 0; }

void FeatureIsolation::raiseKernelAccessError(VMThread* t, std::int32_t, std::int32_t) {
    ExecutionContext::throwNew(t, types::illegal_access_error());
    TulvarVMEngine::throwPendingException(t);
}

}  // namespace tarvelo
