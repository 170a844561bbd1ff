// Monitors: every object can be locked by synchronized code and waited on.
// The owner of a locked monitor is kept without per-object allocation: in
// six bits of the header of objects in the writable heaps, in a 16-entry
// side table for objects that cannot be written (those of the image). Each
// thread keeps a bounded stack of the monitors it holds with their entry
// counts; a thread that finds a monitor taken queues on its owner.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/model/vm_component.h"

namespace tarvelo {

struct VMThread;

struct KernelMonitorManager : VMComponent {
    static KernelMonitorManager* create();
    // Checks the configured limits: thread slots must fit the six-bit owner
    // field of an object header, and a thread's monitor stack at most 63.
    static bool initialize(VMComponent* self);
    // Component start: the side table is emptied.
    static void start(VMComponent* self);

    // 1 entered or queued behind the owner; 0 when an exception was raised
    // and unwound.
    static std::int32_t monitorEnter(VMThread* t, word_t object);
    // 1 still held (recursive), 2 released, 0 exception raised and unwound.
    static std::int32_t monitorExit(VMThread* t, word_t object);
    // Object.wait: 0 the thread now waits, 1 interrupted, 2 not the owner,
    // 3 negative timeout.
    static std::int32_t waitTimeout(VMThread* t, word_t object, std::int64_t timeoutMs);

    // The slot + 1 of the owner of `object`'s monitor, 0 when free.
    static std::uint32_t ownerOf(word_t object);
    // A thread that ends gives up every monitor it still holds; threads
    // queued on them get them in turn.
    static void releaseAll(VMThread* t);
    // Sets the owner of `object`'s monitor (slot + 1; 0 frees it): header
    // bits or side table. false when the side table is full.
    static bool setOwner(word_t object, std::uint32_t owner);
};

}  // namespace tarvelo
