// The inline routines are found by the address an image holds, and by no
// other address.
#include <gtest/gtest.h>

#include "vm/core/interpreter/inline_routines.h"
#include "vm/core/engine/word_ptr.h"

namespace {

TEST(InlineRoutines, EveryRoutineIsFoundByItsAddress) {
    int found = 0;
#define TARVELO_INLINE_ROUTINE(index, symbol, operands)                                  \
    {                                                                                    \
        const tarvelo::InlineRoutine* r = tarvelo::find_inline_routine(tarvelo::function_word(&symbol)); \
        EXPECT_NE(r, nullptr) << #symbol;                                                \
        if (r != nullptr) {                                                              \
            ++found;                                                                     \
            EXPECT_EQ(r->kind == tarvelo::InlineRoutineKind::ReturnAndReexecute, (index) == 38) << #symbol; \
        }                                                                                \
    }
#include "vm/core/bytecode/inline_routines.def"
#undef TARVELO_INLINE_ROUTINE
    EXPECT_EQ(found, 58);
}

TEST(InlineRoutines, OtherAddressesAreNone) {
    const tarvelo::word_t abs = tarvelo::function_word(&ON_java_lang_Math_method_abs_I_I);
    EXPECT_EQ(tarvelo::find_inline_routine(0), nullptr);
    EXPECT_EQ(tarvelo::find_inline_routine(abs + 1), nullptr);
    EXPECT_EQ(tarvelo::find_inline_routine(0xFFFFFFFFu), nullptr);
}

}  // namespace
