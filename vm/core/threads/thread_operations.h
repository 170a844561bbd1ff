// Thread.sleep and Thread.yield as the processor helpers of their opcodes:
// the exceptions they raise are created and dispatched here (the thread's
// pc then names the handler), so the opcode only tests the reschedule flag
// afterwards.
#pragma once

#include <cstdint>

namespace tarvelo {

struct VMThread;

namespace VMJProcessor {

// Thread.sleep: a negative duration raises IllegalArgumentException; 0 only
// consumes the interrupt status (InterruptedException when it was set); a
// positive one puts the thread to sleep, interruptibly. 1 to continue, 0
// after a throw.
std::int32_t sleep(VMThread* t, std::int64_t ms);

// Thread.yield: when another thread follows the current one in its ready
// queue, the next pass gives way to it; otherwise nothing.
void yield(VMThread* t);

}  // namespace VMJProcessor

}  // namespace tarvelo
