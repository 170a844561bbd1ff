#include "vm/memory/reference_tracker.h"

#include <cstddef>

#include "vm/model/type_tests.h"
#include "vm/memory/heap_set.h"
#include "vm/memory/memory_environment.h"
#include "vm/memory/object_model.h"

namespace tarvelo {

namespace rf = reference_field;

namespace {

bool isAutoCloseWeakRef(word_t ref) {
    word_t target = memoryLayout().autoCloseWeakRefType;
    return target != 0 && VMJProcessor::isAssignable(typeOf(ref), target) != 0;
}

}  // namespace

void ReferenceTracker::discover(word_t ref) {
    if (wordAt(ref - rf::kReferent) == 0) return;
    if (wordAt(ref - rf::kDiscovered) != 0 || ref == tail) return;
    wordAt(ref - rf::kDiscovered) = head;
    head = ref;
    if (tail == 0) tail = ref;
}

void ReferenceTracker::processDiscovered() {
    word_t ref = head;
    while (ref != 0) {
        word_t next = ref == tail ? 0 : wordAt(ref - rf::kDiscovered);
        wordAt(ref - rf::kDiscovered) = 0;
        word_t referent = wordAt(ref - rf::kReferent);
        if (referent != 0 && !memory::header_is_marked(headerWord(referent))) {
            wordAt(ref - rf::kReferent) = 0;
            if (isAutoCloseWeakRef(ref)) {
                word_t entry = wordAt(ref - rf::kGuardedEntry);
                if (entry != 0) memoryEnvironment().closeGuardedResource(entry);
                wordAt(ref - rf::kGuardedEntry) = 0;
            }
            enqueue(ref);
        }
        ref = next;
    }
    head = tail = 0;
}

bool ReferenceTracker::enqueue(word_t ref) {
    word_t queue = wordAt(ref - rf::kQueue);
    if (queue == 0) return false;
    auto* flag = to_ptr<std::uint8_t>(ref + rf::kEnqueuedFlag);
    if (*flag != 0) return false;
    word_t oldHead = wordAt(queue - rf::kQueueHead);
    wordAt(ref - rf::kQueueLink) = oldHead;
    wordAt(queue - rf::kQueueHead) = ref;
    wordAt(ref - rf::kQueue) = 0;
    *flag = 1;
    word_t waiter = wordAt(queue - rf::kQueueWaiter);
    if (oldHead == 0 && waiter != 0) memoryEnvironment().resumeWaitingThread(waiter);
    return true;
}

namespace {

void softBefore(MemoryReleaseHandler* h);
void softAfter(MemoryReleaseHandler* h);
bool softRelease(MemoryReleaseHandler* h, int pass, std::uint32_t size);

const MemoryReleaseHandlerOps kSoftOps{softBefore, softAfter, softRelease};

SoftReferencePolicy* policyOf(MemoryReleaseHandler* h) {
    return reinterpret_cast<SoftReferencePolicy*>(reinterpret_cast<char*>(h) -
                                                  offsetof(SoftReferencePolicy, handler));
}

void softBefore(MemoryReleaseHandler* h) {
    SoftReferencePolicy* p = policyOf(h);
    p->keptOne = 0;
    std::int64_t freeAfterLast = p->heapSet->collector.liveFreeMemory();
    std::int64_t keepMs =
        freeAfterLast * static_cast<std::int64_t>(memoryLayout().softRefMsPerFreeKb) / 1024;
    p->threshold = memoryEnvironment().currentTimeMillis() - keepMs;
}

void softAfter(MemoryReleaseHandler* h) { policyOf(h)->clearAll = 0; }

bool softRelease(MemoryReleaseHandler* h, int, std::uint32_t size) {
    SoftReferencePolicy* p = policyOf(h);
    if (p->keptOne == 0 || p->heapSet->mainHeap.currentSize() < size) return false;
    p->clearAll = 1;
    return true;
}

}  // namespace

bool SoftReferencePolicy::initialize() {
    handler.ops = &kSoftOps;
    return heapSet->registerReleaseHandler(&handler);
}

bool SoftReferencePolicy::keep(word_t ref) {
    if (wordAt(ref - rf::kReferent) == 0) return true;
    if (clearAll != 0) return false;
    std::int64_t lastUse = static_cast<std::int64_t>(loadU64(to_ptr<std::uint8_t>(ref + rf::kLastUse)));
    if (lastUse < threshold) return false;
    keptOne = 1;
    return true;
}

}  // namespace tarvelo
