#include "vm/core/engine/feature_context.h"

#include <cstdio>

#include "vm/core/engine/engine.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/image/image_symbols.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/feature_record.h"
#include "vm/memory/object_header.h"

namespace tarvelo {

bool feature_is_started(word_t feature) {
    if (feature == 0) return true;
    return featureRuntimeState(feature)->state == static_cast<std::uint8_t>(FeatureState::kStarted);
}

void throw_dead_feature(VMThread* t) {
    t->ownerFeature = 0;
    ExecutionContext::throwNew(t, types::dead_feature());
}

namespace {

bool in_range(word_t a, const char* start, const char* end) { return a >= to_word(start) && a < to_word(end); }

}  // namespace

word_t FeatureIsolation::featureStaticAddress(word_t feature, word_t address) {
    if (feature == 0 || !in_range(address, _java_statics_refls_kernel_start, _java_statics_refls_kernel_end))
        return address;
    const word_t base = featureRecordWord(feature, feature_record::kKernelStaticsCopies);
    // The placeholder of killed applications has no copies: its code never
    // runs past the next check, and never on the kernel's own word.
    if (base == 0) return address;
    return base + ((address - to_word(_java_statics_refls_kernel_start)) & ~3u);
}

std::int32_t FeatureIsolation::checkArgumentOwner(word_t feature, word_t value) {
    if (feature == 0 || value == 0) return 0;
    const word_t owner = object_owner_feature(value);
    return owner == 0 || owner == feature ? 0 : 3;
}

std::int32_t FeatureIsolation::checkFieldStoreOwner(VMThread* t, word_t value) {
    return checkArgumentOwner(t->ownerFeature, value);
}

std::int32_t FeatureIsolation::checkArrayStoreOwner(VMThread* t, word_t container, word_t value) {
    if (value == 0) return 0;
    const word_t valueOwner = object_owner_feature(value);
    if (valueOwner == 0) return 0;
    const word_t containerOwner = object_owner_feature(container);
    if (containerOwner != 0) return containerOwner == valueOwner ? 0 : 2;
    return t->ownerFeature != 0 ? 1 : 0;
}

std::int32_t FeatureIsolation::checkStaticAccess(word_t feature, word_t address, word_t value) {
    if (feature == 0 || value == 0 || object_owner_feature(value) == 0) return 0;
    return in_range(address, _java_statics_ref_start, _java_statics_ref_end) ? 1 : 0;
}

void FeatureIsolation::throwKernelAccessError(VMThread* t, std::int32_t kind, std::int32_t code) {
    static constexpr char kLetters[] = "?AFSRPMI";
    const char letter = kind >= 1 && kind <= 7 ? kLetters[kind] : '?';
    char message[18];
    std::snprintf(message, sizeof message, "KF:E=%c%d", letter, static_cast<int>(code));
    ExecutionContext::throwNew(t, types::illegal_access_error(), message);
}

void FeatureIsolation::raiseKernelAccessError(VMThread* t, std::int32_t kind, std::int32_t code) {
    throwKernelAccessError(t, kind, code);
    TulvarVMEngine::throwPendingException(t);
}

}  // namespace tarvelo
