// The pool of thread records: created once when the virtual machine
// initialises, each record pushed at the head, so the first binding takes
// the record of the highest slot and a record given back is reused first.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/model/vm_component.h"
#include "vm/core/engine/word_ptr.h"

namespace tarvelo {

struct VMThread;

struct VMThreadPool : VMComponent {
    WordPtr<VMThread> head;
    std::uint32_t created;

    static VMThreadPool* create();
    // Component initialise: the native-call self-test (error -22), then the
    // records.
    static bool initialize(VMComponent* self);
    // Component stop: every record still in the thread table ends.
    static void stop(VMComponent* self);

    // Takes the record at the head of the pool and binds it to
    // `threadObject`; null when the pool is empty or the binding fails.
    VMThread* bindThread(word_t threadObject);
    // Pushes a record back at the head.
    void giveBack(VMThread* t);
    std::uint32_t freeRecords() const;
};

VMThreadPool* thread_pool();

}  // namespace tarvelo
