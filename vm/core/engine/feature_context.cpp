#include "vm/core/engine/feature_context.h"

#include <algorithm>
#include <cstdio>

#include "vm/core/engine/allocation_entry_points.h"
#include "vm/core/engine/engine.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/model/image_symbols.h"
#include "vm/core/lifecycle/link_config.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/feature_record.h"
#include "vm/memory/heap_set.h"
#include "vm/memory/memory_layout.h"
#include "vm/memory/object_model.h"
#include "vm/model/object_header.h"

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

bool FeatureIsolation::referencesOnlyOwner(word_t object, word_t feature) {
    auto allowed = [feature](word_t ref) {
        if (ref == 0) return true;
        const word_t owner = object_owner_feature(ref);
        return owner == 0 || feature == 0 || owner == feature;
    };
    const BlockShape shape = shapeOf(object);
    if (shape.isArray) {
        if (memory::is_primitive_element(shape.element)) return true;
        const std::int32_t n = arrayLength(object);
        const auto* elements = to_ptr<const word_t>(object + memory::kArrayDataOffset);
        for (std::int32_t i = 0; i < n; ++i)
            if (!allowed(elements[i])) return false;
        return true;
    }
    for (std::uint32_t off = 4; off <= shape.refBytes; off += 4)
        if (!allowed(wordAt(object - off))) return false;
    return true;
}

namespace {

bool in_writable_heap(word_t object) {
    const MemoryLayout& l = memoryLayout();
    return (object > l.heapStart && object < l.heapEnd) || (object >= l.immortalsStart && object < l.immortalsEnd);
}

void move_charge(word_t from, word_t to, std::uint32_t size) {
    HeapSet* heap = heapSet();
    if (from == 0) {
        if (heap != nullptr) heap->kernelAllocatedBytes -= std::min<std::uint64_t>(heap->kernelAllocatedBytes, size);
    } else {
        FeatureRuntimeState* st = featureRuntimeState(from);
        const std::uint64_t v = loadU64(st->allocatedBytes);
        storeU64(st->allocatedBytes, v - std::min<std::uint64_t>(v, size));
    }
    if (heap != nullptr) heap->charge(to, size);
}

}  // namespace

bool FeatureIsolation::setOwner(word_t context, word_t object, word_t feature) {
    // Objects of the image and immutables cannot change hands.
    if (object == 0 || !in_writable_heap(object)) return false;
    const std::uint32_t typeOwner = ownerWord(typeOf(object));
    if (typeOwner >= 2u) return memory::owner_feature(typeOwner) == feature;
    if (feature != 0) {
        if (!referencesOnlyOwner(object, feature)) return false;
        if (context != 0 && context != feature) return false;
    }
    std::uint32_t& owner = ownerWord(object);
    const word_t old = memory::owner_feature(owner);
    owner = feature | (owner & memory::kOwnerFeatureTypeBit);
    // The block's own size: an array's comes from its length, not its type.
    move_charge(old, feature, shapeOf(object).size);
    return true;
}

word_t FeatureIsolation::cloneWithOwner(VMThread* t, word_t object, word_t feature) {
    const std::uint32_t typeOwner = ownerWord(typeOf(object));
    if (typeOwner >= 2u) {
        if (memory::owner_feature(typeOwner) != feature) {
            throwKernelAccessError(t, kIsolationField, 2);
            return 0;
        }
    } else if (feature != 0 && !referencesOnlyOwner(object, feature)) {
        throwKernelAccessError(t, kIsolationField, 2);
        return 0;
    }
    if (!feature_is_started(feature)) {
        ExecutionContext::throwNew(t, types::dead_feature());
        return 0;
    }
    const word_t saved = t->ownerFeature;
    t->ownerFeature = feature;
    const word_t copy = heapSet()->cloneObject(object);
    t->ownerFeature = saved;
    if (!feature_is_started(saved)) {
        throw_dead_feature(t);
        return 0;
    }
    return copy;
}

void FeatureIsolation::incrementThreadCount(word_t threadObject) {
    if (const word_t f = object_owner_feature(threadObject); f != 0) ++featureRuntimeState(f)->liveThreads;
}

void FeatureIsolation::decrementThreadCount(word_t threadObject) {
    if (const word_t f = object_owner_feature(threadObject); f != 0) {
        FeatureRuntimeState* st = featureRuntimeState(f);
        if (st->liveThreads > 0) --st->liveThreads;
    }
}

bool FeatureIsolation::isThreadLimitReached(word_t threadObject) {
    const word_t f = object_owner_feature(threadObject);
    return f != 0 && static_cast<std::int64_t>(featureRuntimeState(f)->liveThreads) >= link_config::feature_max_threads();
}

bool FeatureIsolation::newFeatureThreadObject(VMThread* record) {
    record->featureThreadObject = 0;
    const word_t feature = object_owner_feature(record->javaThread);
    if (feature == 0) return true;
    VMThread* current = current_thread();
    if (!feature_is_started(feature)) {
        if (current != nullptr) ExecutionContext::throwNew(current, types::dead_feature());
        return false;
    }
    // The kernel's object: allocated with the creating thread's
    // application context switched off.
    const word_t saved = current != nullptr ? current->ownerFeature : 0;
    if (current != nullptr) current->ownerFeature = 0;
    const word_t object = allocation_entry_points().object(vm_type(VMType::_java_Ljava_lang_Thread));
    if (current != nullptr) current->ownerFeature = saved;
    if (object == 0) return false;
    // Named "main", with the id and the priority (the two words after the
    // owner word) of the application's Thread, which may have moved.
    java::thread_name(object) = to_word(_java_main_thread_name);
    java::thread_id(object) = java::thread_id(record->javaThread);
    java::set_thread_priority(object, java::thread_priority(record->javaThread));
    record->featureThreadObject = object;
    return true;
}

word_t FeatureIsolation::contextOwnerOf(const VMThread* t, word_t feature) {
    const word_t owner = object_owner_feature(t->javaThread);
    if (owner == 0 || feature == 0 || owner == feature) return t->javaThread;
    return t->featureThreadObject;
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
