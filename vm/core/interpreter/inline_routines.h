// The inline routines of OPnative_code. The image names a routine by its
// address, so each is a function of this machine with the ON_ symbol the
// image linker refers to. A routine reads its operand bytes from `ip` (the
// first one after the routine address), works on the windows and returns
// the position after its last operand byte, or null when it raised an
// exception (the thread then stands in the handler frame).
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

struct VMThread;

using InlineRoutineBody = const std::uint8_t*(VMThread* t, const std::uint8_t* ip, word_t* R, std::int32_t* P);

enum class InlineRoutineKind : std::uint8_t {
    Body,
    // Thread.opReturnAndReexecuteOpcode: returns from the current method and
    // makes the caller run its last instruction again; done by the loop.
    ReturnAndReexecute,
};

struct InlineRoutine {
    word_t address;
    InlineRoutineKind kind;
    InlineRoutineBody* body;
};

// The routine at `address`, or null when it is none of the 58.
const InlineRoutine* find_inline_routine(word_t address);

}  // namespace tarvelo

extern "C" {
#define TARVELO_INLINE_ROUTINE(index, symbol, operands) \
    const std::uint8_t* symbol(tarvelo::VMThread* t, const std::uint8_t* ip, tarvelo::word_t* R, std::int32_t* P);
#include "vm/core/bytecode/inline_routines.def"
#undef TARVELO_INLINE_ROUTINE
}
