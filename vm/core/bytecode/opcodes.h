// The register bytecode's opcode table (opcodes.def) as C++: the opcode
// enumeration, per-opcode information, operand positions and instruction
// lengths. One table serves the image linker, the decoder, the verifier, the
// disassembler and the interpreter.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace tarvelo::bytecode {

enum Opcode : std::uint8_t {
#define TARVELO_OPCODE(name, value, layout, length, kind) name = value,
#include "vm/core/bytecode/opcodes.def"
#undef TARVELO_OPCODE
};

// The byte 0xff is not an opcode; the linker never emits it.
inline constexpr std::uint8_t kNotAnOpcode = 0xff;
inline constexpr unsigned kOpcodeCount = 255;

enum class OpKind : std::uint8_t {
    Invalid,
    Plain,
    Branch,        // conditional, forward
    BranchBack,    // conditional, backward (a yield point)
    Jump,          // unconditional, forward
    JumpBack,      // unconditional, backward (a yield point)
    Switch,
    Invoke,
    Return,
    Throw,
    NativeVm,      // OPinvoke_vm_native
    NativeSni,     // OPinvoke_sni
    NativeCode,    // OPnative_code
    ThreadBottom,
    Proxy,
};

struct OpcodeInfo {
    const char* name;    // "OPgoto8"; nullptr for 0xff
    const char* layout;  // operand letters, see opcodes.def
    std::uint8_t length; // 0: variable
    OpKind kind;
};

inline constexpr std::array<OpcodeInfo, 256> kOpcodeTable = [] {
    std::array<OpcodeInfo, 256> t{};
    for (auto& e : t) e = {nullptr, "", 0, OpKind::Invalid};
#define TARVELO_OPCODE(name, value, layout, length, kind) t[value] = {#name, layout, length, OpKind::kind};
#include "vm/core/bytecode/opcodes.def"
#undef TARVELO_OPCODE
    return t;
}();

constexpr const OpcodeInfo& opcode_info(std::uint8_t op) { return kOpcodeTable[op]; }
constexpr bool is_opcode(std::uint8_t op) { return kOpcodeTable[op].name != nullptr; }

constexpr bool is_branch(OpKind k) {
    return k == OpKind::Branch || k == OpKind::BranchBack || k == OpKind::Jump || k == OpKind::JumpBack;
}
constexpr bool is_backward(OpKind k) { return k == OpKind::BranchBack || k == OpKind::JumpBack; }
// Control never falls through to the next instruction.
constexpr bool ends_flow(OpKind k) {
    return k == OpKind::Jump || k == OpKind::JumpBack || k == OpKind::Switch || k == OpKind::Return ||
           k == OpKind::Throw;
}

// --- Operand layout --------------------------------------------------------
enum class OperandKind : std::uint8_t {
    PrimReg,      // r
    PairReg,      // q
    RefReg,       // a
    Nibbles,      // n: two 4-bit registers
    FieldNibble,  // f: 4-bit register and 4-bit field index
    S8, U8, S16, U16, U32,
    FieldU16,     // w: u16 read bytewise, no alignment
    Offset8,      // o
    Offset16,     // O
    LookupTable,  // L
    TableTable,   // T
    RoutineRegs,  // N
    SniDescriptors,  // Y
};

// Register window of a letter r/q/a.
enum class Window : std::uint8_t { None, Prim, Pair, Ref };
constexpr Window window_of(char c) {
    return c == 'r' ? Window::Prim : c == 'q' ? Window::Pair : c == 'a' ? Window::Ref : Window::None;
}

struct Operand {
    OperandKind kind;
    std::uint8_t offset;  // from the opcode byte (fixed part only)
    Window first;         // register window (for n: high nibble; for f: the register)
    Window second;        // n: low nibble
    bool call_base;       // P, A: a call's base, not a register the instruction reads
};

struct OperandList {
    Operand items[8];
    std::uint8_t count = 0;
    std::uint8_t fixed_length = 1;  // opcode byte + fixed operands
};

// Parses a layout string into operands with their byte offsets.
constexpr OperandList parse_layout(const char* layout) {
    OperandList l{};
    std::uint8_t off = 1;
    for (const char* p = layout; *p; ++p) {
        Operand o{OperandKind::U8, off, Window::None, Window::None, false};
        std::uint8_t size = 1;
        switch (*p) {
            case 'r': o.kind = OperandKind::PrimReg; o.first = Window::Prim; break;
            case 'q': o.kind = OperandKind::PairReg; o.first = Window::Pair; break;
            case 'a': o.kind = OperandKind::RefReg; o.first = Window::Ref; break;
            case 'P': o.kind = OperandKind::PrimReg; o.first = Window::Prim; o.call_base = true; break;
            case 'A': o.kind = OperandKind::RefReg; o.first = Window::Ref; o.call_base = true; break;
            case 'n': o.kind = OperandKind::Nibbles; o.first = window_of(p[1]); o.second = window_of(p[2]); p += 2; break;
            case 'f': o.kind = OperandKind::FieldNibble; o.first = window_of(p[1]); p += 1; break;
            case 'b': o.kind = OperandKind::S8; break;
            case 'B': o.kind = OperandKind::U8; break;
            case 'h': o.kind = OperandKind::S16; size = 2; break;
            case 'H': o.kind = OperandKind::U16; size = 2; break;
            case 'w': o.kind = OperandKind::FieldU16; size = 2; break;
            case 'W': o.kind = OperandKind::U32; size = 4; break;
            case 'o': o.kind = OperandKind::Offset8; break;
            case 'O': o.kind = OperandKind::Offset16; size = 2; break;
            case 'L': o.kind = OperandKind::LookupTable; size = 0; break;
            case 'T': o.kind = OperandKind::TableTable; size = 0; break;
            case 'N': o.kind = OperandKind::RoutineRegs; size = 0; break;
            case 'Y': o.kind = OperandKind::SniDescriptors; size = 0; break;
            default: break;
        }
        l.items[l.count++] = o;
        off = static_cast<std::uint8_t>(off + size);
    }
    l.fixed_length = off;
    return l;
}

inline constexpr std::array<OperandList, 256> kOperandTable = [] {
    std::array<OperandList, 256> t{};
    for (unsigned i = 0; i < 256; ++i) t[i] = parse_layout(kOpcodeTable[i].layout);
    return t;
}();

constexpr const OperandList& operands_of(std::uint8_t op) { return kOperandTable[op]; }

// Operands that must start at an even address.
constexpr bool needs_even_address(OperandKind k) {
    return k == OperandKind::S16 || k == OperandKind::U16 || k == OperandKind::U32 || k == OperandKind::Offset16;
}

// --- Signed nibbles ----------------------------------------------------------
constexpr int high_nibble(std::uint8_t b) { return static_cast<std::int8_t>(b) >> 4; }
constexpr int low_nibble(std::uint8_t b) { return static_cast<std::int8_t>(static_cast<std::uint8_t>(b << 4)) >> 4; }
constexpr int field_index(std::uint8_t b) { return b & 0x0F; }
constexpr bool fits_nibble(int reg) { return reg >= -8 && reg <= 7; }
constexpr std::uint8_t pack_nibbles(int high, int low) {
    return static_cast<std::uint8_t>(((high & 0x0F) << 4) | (low & 0x0F));
}

// --- Switches ------------------------------------------------------------------
// After the key register at A+1, padding up to P = the first multiple of 4
// that is at least A+2.
constexpr std::uint32_t switch_table_address(std::uint32_t opcode_address) {
    return (opcode_address + 2 + 3) & ~3u;
}
// Lookupswitch: P u16 count, P+2 u16 default, P+4 count s32 keys, then count
// u16 offsets; targets relative to P+4. Tableswitch: P s32 low, P+4 s32
// high, P+8 u16 default, P+10 offsets; targets relative to P+10.
inline constexpr std::uint32_t kLookupBaseOffset = 4;
inline constexpr std::uint32_t kTableBaseOffset = 10;
// In 64 bits: a corrupt entry count must not wrap to a short length.
constexpr std::uint64_t lookupswitch_length(std::uint32_t a, std::uint64_t count) {
    return std::uint64_t{switch_table_address(a)} + 4 + 6 * count - a;
}
constexpr std::uint64_t tableswitch_length(std::uint32_t a, std::uint64_t entries) {
    return std::uint64_t{switch_table_address(a)} + 10 + 2 * entries - a;
}

// --- OPinvoke_sni ---------------------------------------------------------------
// A+1 function, A+5 prim base, A+6 ref base, A+7 result code << 4 | area
// units (8 bytes each), A+8 exception-kind flag (bit 7) | argument count,
// then one descriptor per argument.
inline constexpr std::uint32_t kSniFixedLength = 9;
inline constexpr std::uint8_t kSniIoExceptionFlag = 0x80;
inline constexpr std::uint8_t kSniCountMask = 0x7F;
enum SniResult : std::uint8_t {
    kSniVoid = 0, kSniBoolean = 1, kSniByte = 2, kSniChar = 3, kSniShort = 4, kSniInt = 5,
    kSniLong = 6, kSniFloat = 7, kSniDouble = 8, kSniRef = 9,
};
enum SniDescriptorBit : std::uint8_t { kSniArgRef = 0x01, kSniArg64 = 0x02, kSniArgFloat = 0x04 };
inline constexpr unsigned kSniSlotShift = 3;
inline constexpr std::uint8_t kSniMinAreaUnits = 2;

// --- OPnative_code ----------------------------------------------------------------
inline constexpr std::uint32_t kNativeCodeFixedLength = 5;

// --- Branch targets -----------------------------------------------------------------
// Forward: next instruction + offset; backward: next instruction - offset.
constexpr std::uint32_t branch_target(OpKind kind, std::uint32_t next, std::uint32_t offset) {
    return is_backward(kind) ? next - offset : next + offset;
}

// Length of the instruction at `code` (whose address is `address`) given at
// most `avail` bytes; 0 when the bytes do not hold a whole valid
// instruction. `routine_operands` gives, for an OPnative_code routine
// address, the number of its operand bytes, or a negative value when the
// address is no known routine.
template <typename RoutineOperands>
std::uint32_t instruction_length(const std::uint8_t* code, std::size_t avail, std::uint32_t address,
                                 RoutineOperands&& routine_operands) {
    if (avail == 0) return 0;
    const std::uint8_t op = code[0];
    const OpcodeInfo& info = opcode_info(op);
    if (info.kind == OpKind::Invalid) return 0;
    auto u16 = [&](std::size_t at) { return static_cast<std::uint32_t>(code[at] | (code[at + 1] << 8)); };
    auto s32 = [&](std::size_t at) {
        std::uint32_t v;
        std::memcpy(&v, code + at, 4);
        return static_cast<std::int32_t>(v);
    };
    std::uint64_t len = info.length;
    switch (op) {
        case OPlookupswitch: {
            const std::uint32_t p = switch_table_address(address) - address;
            if (avail < p + 4) return 0;
            len = lookupswitch_length(address, u16(p));
            break;
        }
        case OPtableswitch: {
            const std::uint32_t p = switch_table_address(address) - address;
            if (avail < p + 10) return 0;
            const std::int64_t lo = s32(p), hi = s32(p + 4);
            if (hi < lo) return 0;
            len = tableswitch_length(address, static_cast<std::uint64_t>(hi - lo + 1));
            break;
        }
        case OPnative_code: {
            if (avail < kNativeCodeFixedLength) return 0;
            std::uint32_t routine;
            std::memcpy(&routine, code + 1, 4);
            const int n = routine_operands(routine);
            if (n < 0) return 0;
            len = kNativeCodeFixedLength + static_cast<std::uint32_t>(n);
            break;
        }
        case OPinvoke_sni:
            if (avail < kSniFixedLength) return 0;
            len = kSniFixedLength + (code[8] & kSniCountMask);
            break;
        default:
            break;
    }
    if (len == 0 || len > avail || len > 0xFFFFFFFFu) return 0;
    return static_cast<std::uint32_t>(len);
}

// Looks an opcode up by its name ("OPgoto8"); -1 when unknown.
constexpr int opcode_by_name(std::string_view name) {
    for (unsigned i = 0; i < 256; ++i)
        if (kOpcodeTable[i].name && name == kOpcodeTable[i].name) return static_cast<int>(i);
    return -1;
}

// --- Inline routines (inline_routines.def) -------------------------------------------
struct InlineRoutineInfo {
    const char* symbol;
    const char* operands;  // R, P, Q letters
};
inline constexpr InlineRoutineInfo kInlineRoutines[] = {
#define TARVELO_INLINE_ROUTINE(index, symbol, operands) {#symbol, operands},
#include "vm/core/bytecode/inline_routines.def"
#undef TARVELO_INLINE_ROUTINE
};
inline constexpr unsigned kInlineRoutineCount = sizeof(kInlineRoutines) / sizeof(kInlineRoutines[0]);

constexpr int inline_routine_by_name(std::string_view symbol) {
    for (unsigned i = 0; i < kInlineRoutineCount; ++i)
        if (symbol == kInlineRoutines[i].symbol) return static_cast<int>(i);
    return -1;
}
constexpr int inline_routine_operand_count(unsigned index) {
    return index < kInlineRoutineCount ? static_cast<int>(std::string_view(kInlineRoutines[index].operands).size()) : -1;
}

}  // namespace tarvelo::bytecode
