// The opcode table agrees with itself and with the encodings of the bytecode.
#include <gtest/gtest.h>

#include <string>

#include "vm/core/bytecode/opcodes.h"

namespace tarvelo::bytecode {
namespace {

auto no_routines = [](std::uint32_t) { return -1; };

TEST(OpcodeTable, EveryByteButFfIsAnOpcodeWhoseFixedLengthMatchesItsLayout) {
    unsigned count = 0;
    for (unsigned op = 0; op < 256; ++op) {
        const OpcodeInfo& info = opcode_info(static_cast<std::uint8_t>(op));
        if (op == kNotAnOpcode) {
            EXPECT_FALSE(is_opcode(static_cast<std::uint8_t>(op)));
            continue;
        }
        ASSERT_TRUE(is_opcode(static_cast<std::uint8_t>(op))) << op;
        ++count;
        EXPECT_EQ(opcode_by_name(info.name), static_cast<int>(op));
        if (info.length != 0) {
            EXPECT_EQ(operands_of(static_cast<std::uint8_t>(op)).fixed_length, info.length) << info.name;
        }
    }
    EXPECT_EQ(count, kOpcodeCount);
}

TEST(OpcodeTable, AlignedOperandsHaveOneParityWithinEachInstruction) {
    // Every 16- and 32-bit operand of one instruction must be reachable at an
    // even address with one choice of opcode address parity.
    for (unsigned op = 0; op < 255; ++op) {
        const OperandList& ops = operands_of(static_cast<std::uint8_t>(op));
        int parity = -1;
        for (unsigned i = 0; i < ops.count; ++i) {
            if (!needs_even_address(ops.items[i].kind)) continue;
            const int p = ops.items[i].offset & 1;
            if (parity >= 0) {
                EXPECT_EQ(parity, p) << opcode_info(static_cast<std::uint8_t>(op)).name;
            }
            parity = p;
        }
    }
}

TEST(OpcodeTable, MathMaxLongBodyDecodes) {
    const std::uint8_t code[] = {0x3f, 0x08, 0x06, 0x05, 0x2c, 0x05, 0x02, 0x27, 0x03, 0x03, 0x08, 0x06, 0xd0};
    const std::uint8_t expected_ops[] = {OPlcmp, OPifle, OPgoto8, OPmove64, OPreturn_0};
    std::size_t at = 0, n = 0;
    while (at < sizeof code) {
        const std::uint32_t len = instruction_length(code + at, sizeof code - at, 0x1001 + at, no_routines);
        ASSERT_NE(len, 0u);
        ASSERT_LT(n, sizeof expected_ops);
        EXPECT_EQ(code[at], expected_ops[n++]);
        at += len;
    }
    EXPECT_EQ(at, sizeof code);
    EXPECT_EQ(n, sizeof expected_ops);
}

TEST(OpcodeTable, SwitchPaddingFollowsTheAddressResidue) {
    // opcode at residue 0, 1, 2, 3 (mod 4) -> 2, 1, 0, 3 padding bytes
    const std::uint32_t padding[4] = {2, 1, 0, 3};
    for (std::uint32_t a = 0x100; a < 0x104; ++a) {
        EXPECT_EQ(switch_table_address(a) - (a + 2), padding[a & 3]) << a;
        EXPECT_EQ(lookupswitch_length(a, 0), 2 + padding[a & 3] + 4);
    }
}

TEST(OpcodeTable, VariableLengthInstructions) {
    // OPinvoke_sni without arguments is 9 bytes; OPnative_code of a routine
    // without operands 5.
    const std::uint8_t sni[] = {OPinvoke_sni, 1, 2, 3, 4, 0, 0, 0x02, 0x00};
    EXPECT_EQ(instruction_length(sni, sizeof sni, 1, no_routines), 9u);
    const std::uint8_t nat[] = {OPnative_code, 0x10, 0, 0, 0};
    EXPECT_EQ(instruction_length(nat, sizeof nat, 1, [](std::uint32_t a) { return a == 0x10 ? 0 : -1; }), 5u);
    EXPECT_EQ(instruction_length(nat, sizeof nat, 1, no_routines), 0u);
    // A tableswitch whose high is below low is malformed.
    const std::uint8_t bad[] = {OPtableswitch, 5, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(instruction_length(bad, sizeof bad, 2, no_routines), 0u);
}

TEST(OpcodeTable, InlineRoutinesTableHas58Entries) {
    EXPECT_EQ(kInlineRoutineCount, 58u);
    EXPECT_EQ(inline_routine_by_name("ON_java_lang_Thread_method_opReturnAndReexecuteOpcode_V"), 38);
    EXPECT_EQ(inline_routine_operand_count(38), 0);
    EXPECT_EQ(inline_routine_operand_count(0), 6);
}

}  // namespace
}  // namespace tarvelo::bytecode
