#include "tools/imagelink/code_layout.h"

#include <algorithm>

#include "tools/imagelink/link_error.h"

namespace tarvelo::imagelink {

using namespace bytecode;

CodeLayout::CodeLayout(std::vector<Item>& items, const std::vector<int>& label_item, std::uint32_t start,
                       const SourceLocation& where)
    : items_(items), label_item_(label_item), start_(start), where_(where) {}

std::uint32_t CodeLayout::target_addr(int label, const Item& it, std::uint32_t item_end) const {
    if (label == kEndOfItem) return item_end;
    if (label == kLastPartOfItem) return item_end - opcode_info(it.forms[it.chosen].parts.back().op).length;
    return label_addr_[static_cast<std::size_t>(label)];
}

// Whether every branch of the item's chosen form reaches its target.
bool CodeLayout::fits(const Item& it) const {
    const Form& f = it.forms[it.chosen];
    std::uint32_t a = it.addr;
    const std::uint32_t end = it.addr + it.size;
    for (const Part& p : f.parts) {
        std::uint32_t pad;
        const std::uint8_t op = effective_op(p, a, pad);
        a += pad;
        const std::uint32_t len = part_length(op, p, a);
        const std::uint32_t next = a + len;
        const OpKind kind = opcode_info(op).kind;
        if (op == OPtableswitch || op == OPlookupswitch) {
            // Targets after the table, within 16 bits.
            const std::uint32_t base = switch_table_address(a) + (op == OPtableswitch ? kTableBaseOffset : kLookupBaseOffset);
            auto ok = [&](int lab) {
                const std::int64_t off = static_cast<std::int64_t>(target_addr(lab, it, end)) - base;
                return off >= 0 && off <= 0xFFFF;
            };
            const Arg& table = variable_arg(p);
            if (!ok(table.label)) return false;
            for (int lab : table.labels) if (!ok(lab)) return false;
        } else if (is_branch(kind)) {
            const Arg& ba = offset_arg(p);
            if (ba.label != -1) {
                const std::uint32_t t = target_addr(ba.label, it, end);
                const std::int64_t off = is_backward(kind) ? static_cast<std::int64_t>(next) - t
                                                           : static_cast<std::int64_t>(t) - next;
                const std::int64_t max = offset_kind(op) == OperandKind::Offset8 ? 255 : 0xFFFF;
                if (off < 0 || off > max) return false;
            }
        }
        a = next;
    }
    return true;
}

// Labels just before an instruction that starts with a padding byte
// name the instruction after the pad: a branch to them (a loop's
// back edge above all) skips the nop, which only the way in from above
// executes.
void CodeLayout::place(std::uint32_t start) {
    std::uint32_t a = start;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        Item& it = items_[i];
        it.addr = a;
        switch (it.kind) {
            case Item::Kind::Label: it.size = 0; label_addr_[static_cast<std::size_t>(it.label)] = a; break;
            case Item::Kind::Bytes: it.size = static_cast<std::uint32_t>(it.bytes.size()); break;
            case Item::Kind::Instruction: {
                it.size = form_size(it.forms[it.chosen], a);
                std::uint32_t pad;
                effective_op(it.forms[it.chosen].parts.front(), a, pad);
                for (std::size_t j = i; pad && j-- > 0 && items_[j].kind == Item::Kind::Label;)
                    label_addr_[static_cast<std::size_t>(items_[j].label)] = a + pad;
                break;
            }
        }
        a += it.size;
    }
}

// A part whose aligned operand would fall on an odd address, and that
// has no alternative form, gets a nop before it, which is executed each
// time. Where an earlier instruction has a form one byte longer, taking
// that form moves the part to an even address instead: the same bytes,
// one dispatch fewer. The pads are taken in order, each with the
// nearest widenable instructions before it (across labels and branches:
// a wider form costs nothing where it runs); a widening is kept only if
// the padding's cost goes down, so a pad inside a loop is not traded for
// one that runs as often or more.
constexpr int kWideningTriesPerPad = 16;

void CodeLayout::avoid_padding() {
    std::uint64_t cost = padding_cost();
    for (std::size_t from = 0; cost > 0;) {
        const std::size_t padded = first_padded_item(from);
        if (padded == items_.size()) return;
        int tries = 0;
        for (std::size_t j = padded; j-- > 0 && tries < kWideningTriesPerPad;) {
            Item& it = items_[j];
            if (it.kind != Item::Kind::Instruction || !it.widenable || it.chosen != 0) continue;
            ++tries;
            it.chosen = 1;
            relax();
            const std::uint64_t now = padding_cost();
            if (now < cost) {
                cost = now;
                break;
            }
            it.chosen = 0;
            relax();
        }
        from = padded + 1;
    }
}

// The first instruction at or after item `from` that has a padded part,
// or items_.size(). Addresses are those of the last place().
std::size_t CodeLayout::first_padded_item(std::size_t from) const {
    for (std::size_t i = from; i < items_.size(); ++i) {
        if (item_pads(items_[i]) != 0) return i;
    }
    return items_.size();
}

std::size_t CodeLayout::item_pads(const Item& it) const {
    if (it.kind != Item::Kind::Instruction) return 0;
    std::size_t n = 0;
    std::uint32_t a = it.addr;
    for (const Part& p : it.forms[it.chosen].parts) {
        std::uint32_t pad;
        const std::uint8_t op = effective_op(p, a, pad);
        n += pad;
        a += pad + part_length(op, p, a + pad);
    }
    return n;
}

// How many loops hold each item: a branch back to a label at or before
// it (or the branch's own item) encloses the items from the label on.
std::vector<int> CodeLayout::loop_depths() const {
    std::vector<int> change(items_.size() + 1, 0);
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const Item& it = items_[i];
        if (it.kind != Item::Kind::Instruction) continue;
        for (const Part& p : it.forms[it.chosen].parts) {
            if (!is_branch(opcode_info(p.op).kind)) continue;
            const int label = offset_arg(p).label;
            if (label < 0) continue;
            const int head = label_item_[static_cast<std::size_t>(label)];
            if (head < 0 || static_cast<std::size_t>(head) > i) continue;
            ++change[static_cast<std::size_t>(head)];
            --change[i + 1];
        }
    }
    std::vector<int> depth(items_.size(), 0);
    int d = 0;
    for (std::size_t i = 0; i < items_.size(); ++i) depth[i] = d += change[i];
    return depth;
}

// The padding's cost: each pad weighs eight times more per loop that
// runs it. A pad just after labels runs only on the way in from above
// (branches to the labels land past it), as often as what precedes.
std::uint64_t CodeLayout::padding_cost() const {
    const std::vector<int> depth = loop_depths();
    std::uint64_t cost = 0;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const std::size_t pads = item_pads(items_[i]);
        if (pads == 0) continue;
        std::size_t j = i;
        while (j > 0 && items_[j - 1].kind == Item::Kind::Label) --j;
        const int d = j < i ? (j > 0 ? depth[j - 1] : 0) : depth[i];
        cost += pads << (3 * std::min(d, 6));
    }
    return cost;
}

void CodeLayout::relax() {
    label_addr_.assign(label_item_.size(), 0);
    for (int round = 0; round < 1000; ++round) {
        place(start_);
        bool changed = false;
        for (Item& it : items_) {
            if (it.kind != Item::Kind::Instruction || fits(it)) continue;
            if (it.chosen + 1 >= it.forms.size()) {
                fail(it.where, it.forms.size() == 1 && (opcode_info(it.forms[0].parts[0].op).kind == OpKind::Switch)
                          ? "a switch target must follow the switch, within 65535 bytes"
                          : "branch target out of range");
            }
            ++it.chosen;
            changed = true;
        }
        if (!changed) return;
    }
    fail(where_, "the layout of this method does not settle");
}

void CodeLayout::encode(std::vector<std::uint8_t>& out, std::vector<CodeFixup>& fixups) const {
    out.clear();
    fixups.clear();
    for (const Item& it : items_) {
        if (it.kind == Item::Kind::Label) continue;
        if (it.kind == Item::Kind::Bytes) {
            out.insert(out.end(), it.bytes.begin(), it.bytes.end());
            continue;
        }
        const std::uint32_t end = it.addr + it.size;
        for (const Part& p : it.forms[it.chosen].parts) {
            const std::uint32_t here = start_ + static_cast<std::uint32_t>(out.size());
            std::uint32_t pad;
            const std::uint8_t op = effective_op(p, here, pad);
            if (pad) out.push_back(OPnop);
            encode_part(op, p, start_ + static_cast<std::uint32_t>(out.size()), it, end, out, fixups);
        }
        if (start_ + out.size() != end) fail(it.where, "internal: instruction size changed while encoding");
    }
}

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
void put_word(std::vector<std::uint8_t>& out, std::vector<CodeFixup>& fixups, const Arg& a) {
    if (a.has_ref) {
        fixups.push_back(CodeFixup{static_cast<std::uint32_t>(out.size()), a.ref});
        put32(out, 0);
    } else {
        put32(out, static_cast<std::uint32_t>(a.v));
    }
}

}  // namespace

void CodeLayout::encode_part(std::uint8_t op, const Part& p, std::uint32_t a, const Item& it, std::uint32_t item_end,
                             std::vector<std::uint8_t>& out, std::vector<CodeFixup>& fixups) const {
    // The alternative of a register-first / register-last pair lists
    // its operands in the other order.
    std::vector<Arg> args = p.args;
    if (op != p.op) std::rotate(args.begin(), args.begin() + 1, args.end());
    const OperandList& ol = operands_of(op);
    const std::size_t begin = out.size();
    out.push_back(op);
    const std::uint32_t next = a + part_length(op, p, a);
    for (unsigned i = 0; i < ol.count; ++i) {
        const Arg& g = args[i];
        switch (ol.items[i].kind) {
            case OperandKind::PrimReg: case OperandKind::PairReg: case OperandKind::RefReg:
            case OperandKind::S8: case OperandKind::U8:
                out.push_back(static_cast<std::uint8_t>(g.v));
                break;
            case OperandKind::Nibbles:
                out.push_back(pack_nibbles(static_cast<int>(g.v), static_cast<int>(g.v2)));
                break;
            case OperandKind::FieldNibble:
                out.push_back(static_cast<std::uint8_t>(((g.v & 0xF) << 4) | (g.v2 & 0xF)));
                break;
            case OperandKind::S16: case OperandKind::U16: case OperandKind::FieldU16:
                put16(out, static_cast<std::uint32_t>(g.v) & 0xFFFF);
                break;
            case OperandKind::U32:
                put_word(out, fixups, g);
                break;
            case OperandKind::Offset8: case OperandKind::Offset16: {
                std::uint32_t off = static_cast<std::uint32_t>(g.v);
                if (g.label != -1) {
                    const std::uint32_t t = target_addr(g.label, it, item_end);
                    off = is_backward(opcode_info(op).kind) ? next - t : t - next;
                }
                if (ol.items[i].kind == OperandKind::Offset8) out.push_back(static_cast<std::uint8_t>(off));
                else put16(out, off);
                break;
            }
            case OperandKind::LookupTable: case OperandKind::TableTable: {
                const std::uint32_t tp = switch_table_address(a);
                while (a + (out.size() - begin) < tp) out.push_back(0);
                const bool table = op == OPtableswitch;
                const std::uint32_t base = tp + (table ? kTableBaseOffset : kLookupBaseOffset);
                auto rel = [&](int lab) { return target_addr(lab, it, item_end) - base; };
                if (table) {
                    put32(out, static_cast<std::uint32_t>(g.v));
                    put32(out, static_cast<std::uint32_t>(g.v + static_cast<std::int64_t>(g.labels.size()) - 1));
                    put16(out, rel(g.label));
                    for (int lab : g.labels) put16(out, rel(lab));
                } else {
                    put16(out, static_cast<std::uint32_t>(g.list.size()));
                    put16(out, rel(g.label));
                    for (std::int64_t key : g.list) put32(out, static_cast<std::uint32_t>(key));
                    for (int lab : g.labels) put16(out, rel(lab));
                }
                break;
            }
            case OperandKind::RoutineRegs: case OperandKind::SniDescriptors:
                for (std::int64_t v : g.list) out.push_back(static_cast<std::uint8_t>(v));
                break;
        }
    }
    if (out.size() - begin != part_length(op, p, a)) fail(it.where, "internal: encoded length differs from the table");
}


}  // namespace tarvelo::imagelink
