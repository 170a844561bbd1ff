// The interpreter: one loop that fetches an opcode byte and jumps to its
// handler through a table of 255 handlers, for the current green thread, on
// the application task. Threads switch only at yield points (invocations,
// returns, throws, native calls, backward branches, monitor and thread
// operations, the explicit check) when the reschedule flag is exactly 1.
#pragma once

namespace tarvelo {

struct VMThread;

// Runs green threads from `thread` on until the scheduler yields none.
void interpretor(VMThread* thread);

}  // namespace tarvelo
