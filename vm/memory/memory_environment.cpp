#include "vm/memory/memory_environment.h"

namespace tarvelo {

namespace {

word_t noFeature() { return 0; }
std::int32_t noThread() { return 0; }
void nothing() {}
void ignoreWord(word_t) {}
bool notTraced() { return false; }
void ignoreAllocate(word_t, std::uint32_t, std::uint32_t, std::uint32_t, bool) {}
void ignoreThread(std::int32_t) {}
std::int64_t zeroTime() { return 0; }
word_t noFeatureAt(int) { return 0; }

constexpr MemoryEnvironment kDefaults = {
    noFeature,  noThread,       nothing,        ignoreWord, nothing,    notTraced,
    ignoreAllocate, ignoreThread, ignoreThread, nothing,    nothing,    zeroTime,
    ignoreWord, ignoreWord,     noFeatureAt,
};

MemoryEnvironment gEnvironment = kDefaults;

template <typename F>
void take(F& slot, F value, F fallback) {
    slot = value != nullptr ? value : fallback;
}

}  // namespace

const MemoryEnvironment& memoryEnvironment() { return gEnvironment; }

void setMemoryEnvironment(const MemoryEnvironment& env) {
    take(gEnvironment.currentOwnerFeature, env.currentOwnerFeature, kDefaults.currentOwnerFeature);
    take(gEnvironment.currentThreadId, env.currentThreadId, kDefaults.currentThreadId);
    take(gEnvironment.chargeAllocationQuantum, env.chargeAllocationQuantum,
         kDefaults.chargeAllocationQuantum);
    take(gEnvironment.makeOutOfMemoryErrorPending, env.makeOutOfMemoryErrorPending,
         kDefaults.makeOutOfMemoryErrorPending);
    take(gEnvironment.throwNewOutOfMemoryError, env.throwNewOutOfMemoryError,
         kDefaults.throwNewOutOfMemoryError);
    take(gEnvironment.traceStarted, env.traceStarted, kDefaults.traceStarted);
    take(gEnvironment.onAllocate, env.onAllocate, kDefaults.onAllocate);
    take(gEnvironment.onGcStart, env.onGcStart, kDefaults.onGcStart);
    take(gEnvironment.onGcStop, env.onGcStop, kDefaults.onGcStop);
    take(gEnvironment.onOutOfMemoryErrorThrown, env.onOutOfMemoryErrorThrown,
         kDefaults.onOutOfMemoryErrorThrown);
    take(gEnvironment.onMarkStackOverflow, env.onMarkStackOverflow, kDefaults.onMarkStackOverflow);
    take(gEnvironment.currentTimeMillis, env.currentTimeMillis, kDefaults.currentTimeMillis);
    take(gEnvironment.resumeWaitingThread, env.resumeWaitingThread, kDefaults.resumeWaitingThread);
    take(gEnvironment.closeGuardedResource, env.closeGuardedResource,
         kDefaults.closeGuardedResource);
    take(gEnvironment.featureRecord, env.featureRecord, kDefaults.featureRecord);
}

void resetMemoryEnvironment() { gEnvironment = kDefaults; }

}  // namespace tarvelo
