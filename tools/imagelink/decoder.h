// Decodes register-bytecode instructions of an image with the shared opcode
// table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/imagelink/image_view.h"
#include "vm/core/bytecode/opcodes.h"

namespace tarvelo::imagelink {

struct DecodedOperand {
    bytecode::OperandKind kind;
    std::uint32_t address;  // of its first byte
    std::int64_t value = 0;   // register, constant, offset, address
    std::int64_t value2 = 0;  // low nibble (n), field index (f)
    bytecode::Window first = bytecode::Window::None, second = bytecode::Window::None;
    bool call_base = false;  // a call's primitive or reference base
};

struct Instruction {
    std::uint32_t address = 0;
    std::uint32_t length = 0;
    std::uint8_t opcode = 0;
    std::vector<DecodedOperand> operands;
    // Branches: the target; switches: the default target first, then one
    // per entry.
    std::vector<std::uint32_t> targets;
    std::vector<std::int32_t> keys;        // lookupswitch keys; tableswitch low, high
    std::vector<std::int8_t> routine_regs; // OPnative_code
    std::vector<std::uint8_t> descriptors; // OPinvoke_sni
    std::uint32_t table = 0;               // switches: P

    std::uint32_t next() const { return address + length; }
    const bytecode::OpcodeInfo& info() const { return bytecode::opcode_info(opcode); }
};

// Decodes the instruction at `address`, which must end at or before
// `limit`. False (with a reason) for a byte that is no opcode, a truncated
// instruction or an unknown inline routine.
bool decode(const ImageView& view, std::uint32_t address, std::uint32_t limit, Instruction& out, std::string* why);

// Decodes a whole code range; false when a decode fails or the last
// instruction does not end exactly at `end`.
bool decode_range(const ImageView& view, std::uint32_t start, std::uint32_t end, std::vector<Instruction>& out,
                  std::string* why);

}  // namespace tarvelo::imagelink
