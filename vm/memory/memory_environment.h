// What the memory system needs from the rest of the virtual machine: the
// current thread's context, the execution context's exceptions, the
// monitoring and port hooks, time, thread resumption, the native-resource
// registry and the installed-feature table. Each entry has a default that
// stands for "no thread, no feature, nothing traced", so the heap and the
// collector run on their own (tests, start-up); the virtual machine installs
// its functions once at creation.
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

struct MemoryEnvironment {
    // The `FeatureRecord` the current thread runs for; 0 for kernel code or
    // when no thread runs.
    word_t (*currentOwnerFeature)();
    // Id of the current thread record; 0 when none.
    std::int32_t (*currentThreadId)();
    // One CPU quantum charged per allocation; sets the reschedule flag when
    // the thread's quota is used up.
    void (*chargeAllocationQuantum)();
    // Makes the image's pre-built OutOfMemoryError `oome` the current
    // thread's pending exception and records its stack in the frame record
    // (never allocates).
    void (*makeOutOfMemoryErrorPending)(word_t oome);
    // Throws a newly created OutOfMemoryError in the current thread.
    void (*throwNewOutOfMemoryError)();
    // Trace gate and the monitoring hooks it guards.
    bool (*traceStarted)();
    void (*onAllocate)(word_t type, std::uint32_t size, std::uint32_t heapSize,
                       std::uint32_t freeBytes, bool immortal);
    void (*onGcStart)(std::int32_t threadId);
    void (*onGcStop)(std::int32_t threadId);
    // Port hooks.
    void (*onOutOfMemoryErrorThrown)();
    void (*onMarkStackOverflow)();
    // System time in milliseconds.
    std::int64_t (*currentTimeMillis)();
    // Resumes the thread of `threadObject` (a `java.lang.Thread`) waiting in
    // `ReferenceQueue.remove`, with argument 0.
    void (*resumeWaitingThread)(word_t threadObject);
    // Closes the native resource of a registry entry guarded by an
    // auto-closing weak reference when it is still registered, then
    // unregisters it.
    void (*closeGuardedResource)(word_t entry);
    // Installed-feature slot `index` (0 to 15): its `FeatureRecord`, or 0.
    word_t (*featureRecord)(int index);
};

inline constexpr int kMaxDynamicFeatures = 16;

// The environment in force; the defaults until `setMemoryEnvironment`.
const MemoryEnvironment& memoryEnvironment();
// Installs `env`; null entries keep their defaults.
void setMemoryEnvironment(const MemoryEnvironment& env);
// Back to the defaults (tests).
void resetMemoryEnvironment();

}  // namespace tarvelo
