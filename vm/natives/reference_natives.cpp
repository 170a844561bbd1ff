// Natives of reference queues, immortal objects, immutables and the native
// resource lookup.
#include "vm/core/engine/feature_context.h"
#include "vm/core/engine/native_resources.h"
#include "vm/core/image/image_directory.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/heap_set.h"
#include "vm/memory/object_model.h"
#include "vm/memory/reference_tracker.h"
#include "vm/natives/native_support.h"

using namespace tarvelo;
using namespace tarvelo::natives;

namespace rf = tarvelo::reference_field;

extern "C" {

// static Reference ReferenceQueue.poll(ReferenceQueue q)
void VMNative_java_lang_ref_ReferenceQueue_poll(VMThread* t) {
    const word_t q = ref(t, 0);
    if (q == 0) return throwNull(t);
    const word_t head = wordAt(q - rf::kQueueHead);
    if (head != 0) {
        wordAt(q - rf::kQueueHead) = wordAt(head - rf::kQueueLink);
        wordAt(head - rf::kQueueLink) = 0;
        wordAt(head - rf::kQueue) = 0;
    }
    returnObject(t, head);
}

// static void ReferenceQueue.waitForReference(long timeout): the thread
// waits, interruptibly, until the collector enqueues a reference on the
// queue it waits for (which resumes it) or the timeout (0: none) passes.
void VMNative_java_lang_ref_ReferenceQueue_waitForReference(VMThread* t) {
    std::int64_t timeout = prim64(t, 5);
    if (timeout < 0) return throwType(t, VMType::_java_Ljava_lang_IllegalArgumentException);
    if (kernel_scheduler()->suspendCurrentJavaThread(timeout, 0, 0, true) == 1)
        throwType(t, VMType::_java_Ljava_lang_InterruptedException);
}

// static boolean ReferenceQueue.enqueue(Reference r)
void VMNative_java_lang_ref_ReferenceQueue_enqueue(VMThread* t) {
    const word_t r = ref(t, 0);
    if (r == 0) return throwNull(t);
    returnBool(t, heapSet()->tracker.enqueue(r));
}

// static Object Immortals.setImmortal(Object o)
void VMNative_yq_zum_Immortals_setImmortal(VMThread* t) {
    const word_t o = ref(t, 0);
    if (o == 0) return returnObject(t, 0);
    const MemoryLayout& layout = memoryLayout();
    if (o < layout.heapStart || o >= layout.heapEnd) return returnObject(t, o);
    const word_t moved = heapSet()->immortalHeap.makeImmortal(o);
    if (moved == 0) return;  // OutOfMemoryError is pending
    returnObject(t, moved);
}

// static NativeResource NativeResource.getNativeResource(long resource, int closeFunction)
void VMNative_yq_sni_NativeResource_getNativeResource(VMThread* t) {
    returnObject(t, NativeResources::findResource(static_cast<std::uint32_t>(prim64(t, 6)),
                                                          static_cast<word_t>(prim(t, 5))));
}

}  // extern "C"

// --- Immutables --------------------------------------------------------------------------------

namespace {

// Whether code running in the thread's context may see an immutable value:
// null always; then the kernel's values, and an application's own values
// when the thread runs for that application. Types follow the same rule
// through their owner word.
bool accessible(VMThread* t, word_t value) {
    if (value == 0) return true;
    const word_t owner = object_owner_feature(value);
    return owner == 0 || (t != nullptr && owner == t->ownerFeature);
}

// Calls fn(key, value) for every visible entry, from the last block to the
// first and the last entry to the first, until it returns false.
template <typename Fn>
void forEachImmutable(VMThread* t, Fn fn) {
    FeatureImageDirectory* directory = image_directory();
    if (directory == nullptr) return;
    for (int block = directory->getImmutableBlockCount(); block-- > 0;) {
        const word_t keys = directory->getImmutableKeys(block);
        const word_t values = directory->getImmutableValues(block);
        if (keys == 0 || values == 0) continue;
        std::int32_t n = java::array_length(keys);
        if (java::array_length(values) < n) n = java::array_length(values);
        for (std::int32_t i = n; i-- > 0;) {
            const word_t value = java::array_data<word_t>(values)[i];
            if (!accessible(t, value)) continue;
            if (!fn(java::array_data<word_t>(keys)[i], value)) return;
        }
    }
}

bool sameString(word_t a, word_t b) { return a == b || (a != 0 && b != 0 && sameChars(a, b)); }

}  // namespace

extern "C" {

void VMNative_com_olun_zum_ImmutablesNatives_isImmutable(VMThread* t) {
    const word_t o = ref(t, 0);
    if (o == 0) return throwNull(t);
    FeatureImageDirectory* directory = image_directory();
    returnBool(t, directory != nullptr && directory->isImmutable(o) != 0);
}

void VMNative_com_olun_zum_ImmutablesNatives_getNbImmutableKeys(VMThread* t) {
    std::int32_t n = 0;
    forEachImmutable(t, [&](word_t, word_t) {
        ++n;
        return true;
    });
    returnInt(t, n);
}

// static void ImmutablesNatives.fillImmutableKeys(String[] keys): as many
// keys as the array holds.
void VMNative_com_olun_zum_ImmutablesNatives_fillImmutableKeys(VMThread* t) {
    const word_t keys = ref(t, 0);
    if (keys == 0) return throwNull(t);
    const std::int32_t capacity = java::array_length(keys);
    std::int32_t n = 0;
    forEachImmutable(t, [&](word_t key, word_t) {
        if (n >= capacity) return false;
        java::array_data<word_t>(keys)[n++] = key;
        return true;
    });
}

void VMNative_com_olun_zum_ImmutablesNatives_get(VMThread* t) {
    const word_t key = ref(t, 0);
    word_t found = 0;
    bool any = false;
    forEachImmutable(t, [&](word_t k, word_t value) {
        if (!sameString(k, key)) return true;
        found = value;
        any = true;
        return false;
    });
    if (!any) return throwIndex(t);
    returnObject(t, found);
}

extern __attribute__((weak)) const char _java_immutable_Keys[];
extern __attribute__((weak)) const char _java_internStrings_start[];

void VMNative_com_olun_zum_ImmutablesNatives_initialImmutableMemory(VMThread* t) {
    returnLong(t, static_cast<std::int64_t>(to_word(_java_internStrings_start)) -
                      static_cast<std::int64_t>(to_word(_java_immutable_Keys)));
}

}  // extern "C"
