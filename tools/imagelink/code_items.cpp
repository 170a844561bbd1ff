#include "tools/imagelink/code_items.h"

#include <stdexcept>
#include <string>
#include <utility>

namespace tarvelo::imagelink {

using namespace bytecode;

Part make_part(std::uint8_t op, std::vector<Arg> args, int alt) {
    Part p;
    p.op = op;
    p.alt = alt;
    p.args = std::move(args);
    return p;
}

Arg reg_arg(std::int64_t r) {
    Arg a;
    a.v = r;
    return a;
}

Arg nibbles_arg(std::int64_t hi, std::int64_t lo) {
    Arg a;
    a.v = hi;
    a.v2 = lo;
    return a;
}

Arg label_arg(int label) {
    Arg a;
    a.label = label;
    return a;
}

namespace {

bool varies(OperandKind k) {
    return k == OperandKind::LookupTable || k == OperandKind::TableTable || k == OperandKind::RoutineRegs ||
           k == OperandKind::SniDescriptors;
}

// Offset within the instruction of its first operand that needs an even
// address, or -1.
int aligned_operand_offset(std::uint8_t op) {
    const OperandList& ol = operands_of(op);
    for (unsigned i = 0; i < ol.count; ++i)
        if (needs_even_address(ol.items[i].kind)) return ol.items[i].offset;
    return -1;
}

}  // namespace

const Arg& variable_arg(const Part& p) {
    const OperandList& ol = operands_of(p.op);
    for (unsigned i = 0; i < ol.count; ++i)
        if (varies(ol.items[i].kind)) return p.args.at(i);
    throw std::logic_error(std::string(opcode_info(p.op).name) + " has no operand of varying length");
}

namespace {

int offset_index(std::uint8_t op) {
    const OperandList& ol = operands_of(op);
    for (unsigned i = 0; i < ol.count; ++i)
        if (ol.items[i].kind == OperandKind::Offset8 || ol.items[i].kind == OperandKind::Offset16) return static_cast<int>(i);
    throw std::logic_error(std::string(opcode_info(op).name) + " has no branch offset");
}

}  // namespace

const Arg& offset_arg(const Part& p) { return p.args.at(static_cast<std::size_t>(offset_index(p.op))); }

OperandKind offset_kind(std::uint8_t op) { return operands_of(op).items[offset_index(op)].kind; }

std::uint8_t effective_op(const Part& p, std::uint32_t addr, std::uint32_t& pad) {
    pad = 0;
    const int off = aligned_operand_offset(p.op);
    if (off < 0 || ((addr + static_cast<std::uint32_t>(off)) & 1) == 0) return p.op;
    if (p.alt >= 0) {
        const int aoff = aligned_operand_offset(static_cast<std::uint8_t>(p.alt));
        if (aoff < 0 || ((addr + static_cast<std::uint32_t>(aoff)) & 1) == 0) return static_cast<std::uint8_t>(p.alt);
    }
    pad = 1;
    return p.op;
}

std::uint32_t part_length(std::uint8_t op, const Part& p, std::uint32_t addr) {
    const OpcodeInfo& info = opcode_info(op);
    if (info.length) return info.length;
    switch (op) {
        case OPlookupswitch: return static_cast<std::uint32_t>(lookupswitch_length(addr, variable_arg(p).list.size()));
        case OPtableswitch: return static_cast<std::uint32_t>(tableswitch_length(addr, variable_arg(p).labels.size()));
        case OPnative_code: return kNativeCodeFixedLength + static_cast<std::uint32_t>(variable_arg(p).list.size());
        case OPinvoke_sni: return kSniFixedLength + static_cast<std::uint32_t>(variable_arg(p).list.size());
        default: return 1;
    }
}

std::uint32_t form_size(const Form& f, std::uint32_t addr) {
    std::uint32_t a = addr;
    for (const Part& p : f.parts) {
        std::uint32_t pad;
        const std::uint8_t op = effective_op(p, a, pad);
        a += pad + part_length(op, p, a + pad);
    }
    return a - addr;
}

}  // namespace tarvelo::imagelink
