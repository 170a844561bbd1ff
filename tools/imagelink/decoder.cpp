#include "tools/imagelink/decoder.h"

#include <cstdio>

namespace tarvelo::imagelink {

using namespace bytecode;

static std::string hex(std::uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%x", v);
    return b;
}

bool decode(const ImageView& view, std::uint32_t address, std::uint32_t limit, Instruction& out, std::string* why) {
    auto failed = [&](const std::string& m) {
        if (why) *why = m + " at " + hex(address);
        return false;
    };
    out = Instruction{};
    out.address = address;
    if (!view.contains(address) || address >= limit) return failed("code runs past its end");
    const std::uint8_t op = view.u8(address);
    if (!is_opcode(op)) return failed("byte " + hex(op) + " is not an opcode");
    const std::size_t avail = std::min<std::uint64_t>(limit - address, view.end() - address);
    const std::uint32_t len =
        instruction_length(view.at(address), avail, address, [&](std::uint32_t r) { return view.routine_operands(r); });
    if (len == 0) {
        if (op == OPnative_code && avail >= 5 && view.routine_index(view.u32(address + 1)) < 0)
            return failed("OPnative_code names no inline routine (" + hex(view.u32(address + 1)) + ")");
        return failed(std::string(opcode_info(op).name) + " is truncated or malformed");
    }
    out.opcode = op;
    out.length = len;
    const OperandList& ol = operands_of(op);
    for (unsigned i = 0; i < ol.count; ++i) {
        const bytecode::Operand& d = ol.items[i];
        DecodedOperand o{d.kind, address + d.offset};
        o.first = d.first;
        o.second = d.second;
        o.call_base = d.call_base;
        const std::uint32_t a = address + d.offset;
        switch (d.kind) {
            case OperandKind::PrimReg: case OperandKind::PairReg: case OperandKind::RefReg: case OperandKind::S8:
                o.value = static_cast<std::int8_t>(view.u8(a));
                break;
            case OperandKind::U8:
                o.value = view.u8(a);
                break;
            case OperandKind::Nibbles:
                o.value = high_nibble(view.u8(a));
                o.value2 = low_nibble(view.u8(a));
                break;
            case OperandKind::FieldNibble:
                o.value = high_nibble(view.u8(a));
                o.value2 = field_index(view.u8(a));
                break;
            case OperandKind::S16:
                o.value = static_cast<std::int16_t>(view.u16(a));
                break;
            case OperandKind::U16: case OperandKind::FieldU16:
                o.value = view.u16(a);
                break;
            case OperandKind::U32:
                o.value = view.u32(a);
                break;
            case OperandKind::Offset8: case OperandKind::Offset16:
                o.value = d.kind == OperandKind::Offset8 ? view.u8(a) : view.u16(a);
                out.targets.push_back(branch_target(opcode_info(op).kind, address + len, static_cast<std::uint32_t>(o.value)));
                break;
            case OperandKind::LookupTable: {
                const std::uint32_t p = switch_table_address(address);
                out.table = p;
                const std::uint32_t count = view.u16(p);
                // instruction_length has bounded the table by the span.
                if (lookupswitch_length(address, count) > len) return failed("lookupswitch table runs past the code");
                const std::uint32_t base = p + kLookupBaseOffset;
                out.targets.push_back(base + view.u16(p + 2));
                for (std::uint32_t k = 0; k < count; ++k) {
                    out.keys.push_back(static_cast<std::int32_t>(view.u32(p + 4 + 4 * k)));
                    out.targets.push_back(base + view.u16(p + 4 + 4 * count + 2 * k));
                }
                break;
            }
            case OperandKind::TableTable: {
                const std::uint32_t p = switch_table_address(address);
                out.table = p;
                const auto lo = static_cast<std::int32_t>(view.u32(p));
                const auto hi = static_cast<std::int32_t>(view.u32(p + 4));
                out.keys = {lo, hi};
                const std::uint32_t base = p + kTableBaseOffset;
                out.targets.push_back(base + view.u16(p + 8));
                const std::uint64_t n = static_cast<std::uint64_t>(static_cast<std::int64_t>(hi) - lo + 1);
                if (hi < lo || tableswitch_length(address, n) > len) return failed("tableswitch table runs past the code");
                for (std::uint64_t k = 0; k < n; ++k) out.targets.push_back(base + view.u16(p + 10 + 2 * static_cast<std::uint32_t>(k)));
                break;
            }
            case OperandKind::RoutineRegs:
                for (std::uint32_t k = address + kNativeCodeFixedLength; k < address + len; ++k)
                    out.routine_regs.push_back(static_cast<std::int8_t>(view.u8(k)));
                break;
            case OperandKind::SniDescriptors:
                for (std::uint32_t k = address + kSniFixedLength; k < address + len; ++k) out.descriptors.push_back(view.u8(k));
                break;
        }
        out.operands.push_back(o);
    }
    return true;
}

bool decode_range(const ImageView& view, std::uint32_t start, std::uint32_t end, std::vector<Instruction>& out,
                  std::string* why) {
    out.clear();
    std::uint32_t a = start;
    while (a < end) {
        Instruction ins;
        if (!decode(view, a, end, ins, why)) return false;
        out.push_back(ins);
        a = ins.next();
    }
    if (a != end) {
        if (why) *why = "the last instruction ends past the method's end";
        return false;
    }
    return true;
}

}  // namespace tarvelo::imagelink
