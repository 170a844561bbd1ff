// The processor fault handlers: they print the stacked registers and the
// fault status registers on the debug console, then the state dump of the
// virtual machine, and stop the device. The processor's side (the stacked
// frame, the System Control Block, and on the host the signals that stand
// for faults) is the board's: platform/board/processor_faults.h.
#pragma once

#include <cstdint>

#include "platform/board/processor_faults.h"

extern "C" {

// Captures the stacked frame at `frame` (eight words) and the stack pointer.
void EXCEPTION_CopyToStack(const std::uint32_t* frame, std::uint32_t sp);
// The fault report: the stacked frame, the System Control Block and the
// state dump. Stops the device when the active exception is not 0.
void EXCEPTION_DataPrint(void);

}  // extern "C"

namespace tarvelo {

// The text of an exception number: "HardFault", "IRQ5", ...
void print_exception_name(std::uint32_t number);

}  // namespace tarvelo
