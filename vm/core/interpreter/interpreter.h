// The interpreter: one loop that fetches an opcode byte and jumps to its
// handler through a table of 255 handlers, for the current green thread, on
// the application task. Threads switch only at yield points (invocations,
// returns, throws, native calls, backward branches, monitor and thread
// operations, the explicit check) when the reschedule flag is exactly 1.
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

struct VMThread;

// Runs green threads from `thread` on until the scheduler yields none.
void interpretor(VMThread* thread);

// The return sequence: pops the current activation of `t`, whose lowest
// reference slot still to be cleared is `lowest`. false when an exception
// is pending instead (the caller's application stopped); the thread record
// then holds the caller's frame and pc. A return that leaves the thread
// without a frame puts its pc at the thread-bottom instruction.
bool LLOSTV_return_method(VMThread* t, word_t* lowest);

}  // namespace tarvelo
