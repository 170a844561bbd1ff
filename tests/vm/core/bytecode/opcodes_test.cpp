// The opcode table agrees with itself and with the encodings of the bytecode.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// The image linker builds a branch's operands in this order.
TEST(OpcodeTable, EveryBranchHasOneOffsetAndItIsItsLastOperand) {
    for (unsigned op = 0; op < 255; ++op) {
        if (!is_branch(opcode_info(static_cast<std::uint8_t>(op)).kind)) continue;
        const OperandList& ops = operands_of(static_cast<std::uint8_t>(op));
        ASSERT_GT(ops.count, 0u) << opcode_info(static_cast<std::uint8_t>(op)).name;
        for (unsigned i = 0; i < ops.count; ++i) {
            const bool offset = ops.items[i].kind == OperandKind::Offset8 || ops.items[i].kind == OperandKind::Offset16;
            EXPECT_EQ(offset, i + 1 == ops.count) << opcode_info(static_cast<std::uint8_t>(op)).name << " operand " << i;
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

// Branch offsets are unsigned and count from the next instruction: forward
// offset 0 continues with it, a backward offset equal to the branch's own
// length branches to itself. Switch targets count from the end of the
// table header, so they never lie before it.
TEST(OpcodeTable, BranchAndSwitchTargetsFromTheirOffsets) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> code;  // at address 0x1001 (0x1002 for the switches)
        std::uint32_t address;
        std::uint32_t offset;            // as encoded
        std::uint32_t target;
    };
    const Case cases[] = {
        {"goto8 offset 0", {OPgoto8, 0}, 0x1001, 0, 0x1003},
        {"goto16 offset 0", {OPgoto16, 0, 0}, 0x1001, 0, 0x1004},
        {"ifeq offset 0", {OPifeq, 5, 0}, 0x1001, 0, 0x1004},
        {"goto8_back to itself", {OPgoto8_back, 2}, 0x1001, 2, 0x1001},
        {"goto16_back to itself", {OPgoto16_back, 3, 0}, 0x1001, 3, 0x1001},
        {"ifne_back to itself", {OPifne_back, 5, 3}, 0x1001, 3, 0x1001},
        {"if_icmplt_back to itself", {OPif_icmplt_back, 5, 6, 5, 0}, 0x1001, 5, 0x1001},
        {"if_icmple_back_4 to itself", {OPif_icmple_back_4, 0x56, 3}, 0x1001, 3, 0x1001},
        {"ifnull_back to itself", {OPifnull_back, 0xff, 3}, 0x1001, 3, 0x1001},
        {"goto16_back across 0x100", {OPgoto16_back, 0x00, 0x01}, 0x1001, 0x100, 0x0f04},
    };
    for (const Case& c : cases) {
        const std::uint8_t op = c.code[0];
        const std::uint32_t len = instruction_length(c.code.data(), c.code.size(), c.address, no_routines);
        ASSERT_EQ(len, c.code.size()) << c.what;
        EXPECT_EQ(branch_target(opcode_info(op).kind, c.address + len, c.offset), c.target) << c.what;
    }
    // A tableswitch at 0x1002 (no padding): low 1, high 2, default 0,
    // offsets 0 and 4, all counted from P + 10 = 0x100e, after the header.
    const std::uint8_t table[] = {OPtableswitch, 5, 1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 4, 0};
    EXPECT_EQ(switch_table_address(0x1002), 0x1004u);
    EXPECT_EQ(instruction_length(table, sizeof table, 0x1002, no_routines), sizeof table);
    EXPECT_EQ(tableswitch_length(0x1002, 2), sizeof table);
    EXPECT_EQ(switch_table_address(0x1002) + kTableBaseOffset, 0x100eu);
    // A lookupswitch at 0x1003 (3 padding bytes) with one key: targets
    // count from P + 4 = 0x100c.
    const std::uint8_t lookup[] = {OPlookupswitch, 5, 0, 0, 0, 1, 0, 2, 0, 7, 0, 0, 0, 6, 0};
    EXPECT_EQ(instruction_length(lookup, sizeof lookup, 0x1003, no_routines), sizeof lookup);
    EXPECT_EQ(switch_table_address(0x1003) + kLookupBaseOffset, 0x100cu);
}

// A decode from a method's first code byte with the table's lengths ends
// exactly at the method's end, padding included; a truncated last
// instruction is refused rather than read past the end.
TEST(OpcodeTable, LinearDecodeEndsAtTheMethodEnd) {
    // From 0x1001: OPconst_i32_r and OPgoto16 with their operands at even
    // addresses, then a padding 0x00 before the second OPgoto16.
    const std::uint8_t code[] = {OPconst_i32_r, 1, 0, 0, 0, 5, OPgoto16, 0, 0, 0x00, OPgoto16, 0, 0, OPreturn_0};
    const std::uint8_t expected[] = {OPconst_i32_r, OPgoto16, OPnop, OPgoto16, OPreturn_0};
    std::size_t at = 0, n = 0;
    while (at < sizeof code) {
        const std::uint32_t len = instruction_length(code + at, sizeof code - at, 0x1001 + static_cast<std::uint32_t>(at), no_routines);
        ASSERT_NE(len, 0u) << at;
        ASSERT_LT(n, sizeof expected);
        EXPECT_EQ(code[at], expected[n++]);
        at += len;
    }
    EXPECT_EQ(at, sizeof code);
    for (std::size_t cut = 1; cut < 6; ++cut) EXPECT_EQ(instruction_length(code, cut, 0x1001, no_routines), 0u) << cut;
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
