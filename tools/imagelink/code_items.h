// A method's code while it is assembled: a list of items (labels, raw
// bytes, instructions), each instruction with its candidate forms (the
// shortest first) of one or more parts, each part an opcode with its
// operands in the opcode's layout order. A part's size depends on its
// address: an operand that needs an even address takes the part's
// alternative opcode (register first instead of register last) or a pad.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/imagelink/model.h"
#include "vm/core/bytecode/opcodes.h"

namespace tarvelo::imagelink {

// Branch targets that are no label: the end of the branch's own item, and
// its last part (the goto of a branch made of several parts).
inline constexpr int kEndOfItem = -2;
inline constexpr int kLastPartOfItem = -3;

struct Arg {
    std::int64_t v = 0;
    std::int64_t v2 = 0;
    int label = -1;  // branch target label, kEndOfItem, or -1 for a raw offset in v
    bool has_ref = false;
    ImageRef ref;
    std::vector<std::int64_t> list;  // N registers, Y bytes, switch keys (lookup) / low (table)
    std::vector<int> labels;         // switch targets
};

struct Part {
    std::uint8_t op = bytecode::OPnop;
    int alt = -1;  // opcode of the variant with the other operand parity
    std::vector<Arg> args;
};

struct Form {
    std::vector<Part> parts;
};

struct Item {
    enum class Kind { Label, Bytes, Instruction } kind = Kind::Instruction;
    int label = -1;
    std::vector<std::uint8_t> bytes;
    std::vector<Form> forms;
    std::size_t chosen = 0;
    // A plain instruction whose second form is one byte longer and does the
    // same: taken only to spare an executed padding byte further on.
    bool widenable = false;
    SourceLocation where;
    std::uint32_t addr = 0;
    std::uint32_t size = 0;
};

Part make_part(std::uint8_t op, std::vector<Arg> args, int alt = -1);
// An operand: a register or value; two 4-bit registers; a branch target.
Arg reg_arg(std::int64_t r);
Arg nibbles_arg(std::int64_t hi, std::int64_t lo);
Arg label_arg(int label);

// The operand of the part whose length varies: a switch's table, an inline
// routine's registers, a native-interface call's descriptors.
const Arg& variable_arg(const Part& p);
// The branch offset operand of a branch part, and its kind (8 or 16 bits).
const Arg& offset_arg(const Part& p);
bytecode::OperandKind offset_kind(std::uint8_t op);

// Chooses, for `p` at `addr`, the opcode (the part's or its alternative)
// and the padding needed before it.
std::uint8_t effective_op(const Part& p, std::uint32_t addr, std::uint32_t& pad);
// The length of `p` encoded as `op` at `addr`.
std::uint32_t part_length(std::uint8_t op, const Part& p, std::uint32_t addr);
// The bytes form `f` takes at `addr`, pads included.
std::uint32_t form_size(const Form& f, std::uint32_t addr);

}  // namespace tarvelo::imagelink
