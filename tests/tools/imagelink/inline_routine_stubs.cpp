// Distinct addresses for the inline routines of OPnative_code, so that a
// test image linked into a test program names each routine unambiguously.
#include "vm/core/bytecode/opcodes.h"

extern "C" {
#define TARVELO_INLINE_ROUTINE(index, symbol, operands) extern const char symbol[4] = {index, 0, 0, 0};
#include "vm/core/bytecode/inline_routines.def"
#undef TARVELO_INLINE_ROUTINE
}
