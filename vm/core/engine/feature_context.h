// The application context of running code: 0 for the kernel, else the
// record of the installed application whose code runs. The engine switches
// contexts at invocations and returns; code of an application that is no
// longer started cannot run.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/model/object_header.h"

namespace tarvelo {

struct VMThread;

// Whether code of `feature` may run (the kernel always may).
bool feature_is_started(word_t feature);

// FeatureIsolation.throwDeadFeature: the thread leaves the application's
// context and DeadFeatureException becomes pending.
void throw_dead_feature(VMThread* t);

// The application owning `object` (owner word with its type bit cleared); 0
// for the kernel or null.
inline word_t object_owner_feature(word_t object) {
    if (object == 0) return 0;
    return memory::owner_feature(*to_ptr<std::uint32_t>(object + memory::kOwnerOffset));
}

// Kinds of the kernel access errors the interpreter raises.
enum IsolationKind : std::int32_t {
    kIsolationArray = 1,   // A: array element
    kIsolationField = 2,   // F: field
    kIsolationStatic = 3,  // S: static
    kIsolationReturn = 4,  // R: returned reference
    kIsolationParameter = 5,  // P: argument of a call into an application
    kIsolationMonitor = 6,    // M: monitor
};

// The isolation checks between installed applications and the kernel. A
// result of 0 allows the access; another value is the violation code.
struct FeatureIsolation {
    // The address of a lazily initialised kernel static as `feature` sees it.
    static word_t featureStaticAddress(word_t feature, word_t address);
    // 3 when `value` belongs to an application other than `feature` (a
    // kernel `feature` passes everything).
    static std::int32_t checkArgumentOwner(word_t feature, word_t value);
    static std::int32_t checkFieldStoreOwner(VMThread* t, word_t value);
    static std::int32_t checkArrayStoreOwner(VMThread* t, word_t container, word_t value);
    static std::int32_t checkStaticAccess(word_t feature, word_t address, word_t value);
    // Whether every reference the object holds is the kernel's or
    // `feature`'s (any application's when `feature` is 0).
    static bool referencesOnlyOwner(word_t object, word_t feature);
    // Moves `object` to `feature` (0 the kernel) for code running in
    // `context`; false when refused (objects of the image, of another
    // application's type, or holding references the new owner may not see).
    static bool setOwner(word_t context, word_t object, word_t feature);
    // A copy of `object` owned by `feature`: 0 with the exception pending
    // when refused.
    static word_t cloneWithOwner(VMThread* t, word_t object, word_t feature);
    // Live threads of the application owning a Thread object (the kernel's
    // are not counted): one more when it starts, one less when it ends; a
    // start is refused once the application has its limit of live threads.
    static void incrementThreadCount(word_t threadObject);
    static void decrementThreadCount(word_t threadObject);
    static bool isThreadLimitReached(word_t threadObject);
    // The Thread object code of `feature` sees as the current thread: the
    // thread's own, unless that belongs to another application, then the
    // thread's kernel-owned second Thread object.
    static word_t contextOwnerOf(const VMThread* t, word_t feature);
    // Gives a thread record whose Thread object belongs to an application
    // its second, kernel-owned Thread object (none for a kernel Thread);
    // false, with the exception pending on the current thread, when that
    // application is no longer started or the object cannot be allocated.
    // The allocation may move objects: the record's Thread object is read
    // again from the record.
    static bool newFeatureThreadObject(VMThread* record);
    // Makes the isolation error ("KF:E=" kind letter, code) pending.
    static void throwKernelAccessError(VMThread* t, std::int32_t kind, std::int32_t code);
    // Raises the isolation error and unwinds to its handler.
    static void raiseKernelAccessError(VMThread* t, std::int32_t kind, std::int32_t code);
};

}  // namespace tarvelo
