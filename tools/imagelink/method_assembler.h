// Assembles method code: resolves registers and references, selects
// instructions (branch widths, backward forms, compact 4-bit forms,
// register-first or register-last constant loads), pads operands to even
// addresses and switch tables to their word, relaxes until the layout is
// stable, and computes the method header from the signature and the
// registers the code uses.
#pragma once

#include "tools/imagelink/link_context.h"

namespace tarvelo::imagelink {

// Assembles every method that has code (including the generated bodies of
// native methods). Fills header, code_bytes, fixups and handler_table.
void assemble_methods(LinkContext& ctx);

// Register numbers of a method's parameters: primitive parameters count
// down from frameWords - 1 (first parameter highest, a pair named by its
// lower register), reference parameters (the receiver first) count up from
// -base.
struct FrameShape {
    int frame_words = 5;
    int ref_base = 0;
    int kept_refs = 0;
    std::vector<int> param_regs;  // per parameter
    int receiver_reg = 0;         // instance methods
};
FrameShape frame_shape(const Method& m);

}  // namespace tarvelo::imagelink
