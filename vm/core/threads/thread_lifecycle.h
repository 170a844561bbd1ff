// Starting and ending green threads: the main thread at virtual-machine
// start, Thread.start, and the thread-bottom step that runs when a thread's
// called method returns or its uncaught exception has been reported.
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

struct VMThread;

struct ThreadEngine {
    // The thread-bottom step: 0 when a further call was prepared on the same
    // thread (the main thread going on to main, the report of an uncaught
    // exception), 1 when the thread is gone.
    static std::int32_t onThreadEnd(VMThread* t);
    // The engine part of a thread that ends: its scoped resource closed, its
    // native, suspension and interrupt state cleared.
    static void resetThreadContext(VMThread* t);
    // Ends `t` for good: it leaves the scheduler and its record goes back to
    // the pool.
    static void endThread(VMThread* t, bool checkDaemons = true);
};


}  // namespace tarvelo
