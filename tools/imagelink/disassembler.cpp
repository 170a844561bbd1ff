#include "tools/imagelink/disassembler.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
#include <set>
#include <sstream>

#include "tools/imagelink/decoder.h"
#include "tools/imagelink/elf_file.h"
#include "vm/model/method_record.h"

namespace tarvelo::imagelink {

using namespace bytecode;

namespace {

std::string hex(std::uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%x", v);
    return b;
}

std::string reg_name(Window w, std::int64_t r) { return (w == Window::Ref ? "r" : "p") + std::to_string(r); }

std::string address_text(std::uint32_t a, const SymbolTable& symbols) {
    const std::string n = symbols.name(a);
    if (!n.empty()) return n;
    const std::string near = symbols.nearest(a, 0x40);
    return near.empty() ? hex(a) : hex(a) + " <" + near + ">";
}

std::string label_of(std::uint32_t a) { return "L" + hex(a).substr(2); }

}  // namespace

std::string disassemble_method(const ImageView& view, const MethodSpan& m, const SymbolTable& symbols) {
    std::ostringstream out;
    out << m.name << "    @" << hex(m.method) << "\n";
    std::string unreadable;
    if (!method_span_readable(view, m, &unreadable)) {
        out << "    <" << unreadable << ">\n";
        return out.str();
    }
    const image::MethodHeader h = image::decode_method_header(view.at(m.method));
    out << "    ; " << (h.compact ? "compact" : "full") << " header: frame words " << int(h.frame_words) << ", ref args "
        << int(h.ref_args) << ", ref base " << int(h.ref_base);
    if (!h.compact)
        out << ", refs above " << int(h.refs_above) << ", prim below " << int(h.prim_below) << (h.keep_context ? ", keeps context" : "");
    out << (h.returns_ref ? ", returns a reference" : "") << "\n";
    std::vector<Instruction> code;
    std::string why;
    const bool ok = decode_range(view, m.code, m.code_end, code, &why);
    std::set<std::uint32_t> targets;
    for (const Instruction& i : code)
        for (std::uint32_t t : i.targets) targets.insert(t);
    for (std::uint32_t k = 0; k < h.handler_count; ++k) {
        const image::HandlerEntry e = image::handler_entry(view.at(m.method), k);
        out << "    .catch " << (e.catch_type ? address_text(e.catch_type, symbols) : "any") << " from " << label_of(e.start_pc)
            << " to " << label_of(e.end_pc) << " using " << label_of(e.handler_pc) << "\n";
        targets.insert(e.start_pc);
        targets.insert(e.end_pc);
        targets.insert(e.handler_pc);
    }
    for (const Instruction& i : code) {
        if (targets.count(i.address)) out << label_of(i.address) << ":\n";
        std::ostringstream bytes;
        for (std::uint32_t k = 0; k < std::min<std::uint32_t>(i.length, 8); ++k) {
            char b[4];
            std::snprintf(b, sizeof b, "%02x ", view.u8(i.address + k));
            bytes << b;
        }
        if (i.length > 8) bytes << "..";
        char head[64];
        std::snprintf(head, sizeof head, "  %08x  %-26s", i.address, bytes.str().c_str());
        out << head << i.info().name;
        std::vector<std::string> ops;
        std::size_t target = 0;
        for (const DecodedOperand& o : i.operands) {
            switch (o.kind) {
                case OperandKind::PrimReg: case OperandKind::PairReg: case OperandKind::RefReg:
                    ops.push_back(reg_name(o.first, o.value));
                    break;
                case OperandKind::Nibbles:
                    ops.push_back(reg_name(o.first, o.value));
                    ops.push_back(reg_name(o.second, o.value2));
                    break;
                case OperandKind::FieldNibble:
                    ops.push_back(reg_name(o.first, o.value));
                    ops.push_back("#" + std::to_string(o.value2));
                    break;
                case OperandKind::U32:
                    ops.push_back(address_text(static_cast<std::uint32_t>(o.value), symbols));
                    break;
                case OperandKind::Offset8: case OperandKind::Offset16:
                    ops.push_back(label_of(i.targets[target++]));
                    break;
                case OperandKind::LookupTable: {
                    ops.push_back("default " + label_of(i.targets[0]));
                    for (std::size_t k = 0; k < i.keys.size(); ++k) ops.push_back(std::to_string(i.keys[k]) + ": " + label_of(i.targets[k + 1]));
                    break;
                }
                case OperandKind::TableTable: {
                    ops.push_back(std::to_string(i.keys[0]));
                    ops.push_back("default " + label_of(i.targets[0]));
                    for (std::size_t k = 1; k < i.targets.size(); ++k) ops.push_back(label_of(i.targets[k]));
                    break;
                }
                case OperandKind::RoutineRegs:
                    for (std::int8_t r : i.routine_regs) ops.push_back(std::to_string(r));
                    break;
                case OperandKind::SniDescriptors:
                    for (std::uint8_t d : i.descriptors) ops.push_back(hex(d));
                    break;
                default:
                    ops.push_back(std::to_string(o.value));
                    break;
            }
        }
        for (std::size_t k = 0; k < ops.size(); ++k) out << (k ? ", " : " ") << ops[k];
        out << "\n";
    }
    if (!ok) out << "    ; cannot decode further: " << why << "\n";
    return out.str();
}

std::string disassemble(const ImageView& view, const SymbolTable& symbols) {
    std::string out;
    for (const MethodSpan& m : view.methods()) {
        out += disassemble_method(view, m, symbols);
        out += "\n";
    }
    return out;
}

std::string disassemble_firmware(const ElfFile& elf, const LinkedImage& map) {
    auto sym = [&](const char* n) { return elf.symbol(n); };
    const auto start = sym("_java_vornsection_header_start"), end = sym("_java_vornsection_end");
    const auto is = sym("_tarvelo_method_index_start"), ie = sym("_tarvelo_method_index_end");
    if (!start || !end || !is || !ie || *end <= *start || *ie < *is)
        throw std::runtime_error("holds no application image (no image or method-index symbols)");
    if (*end > 0xFFFFFFFFu) throw std::runtime_error("the image lies above 4 GiB");
    const auto base = static_cast<std::uint32_t>(*start), size = static_cast<std::uint32_t>(*end - *start);
    std::vector<std::uint8_t> bytes;
    if (!elf.read(base, size, bytes)) throw std::runtime_error("cannot read the image's bytes");
    std::vector<std::uint8_t> index;
    if (!elf.read(*is, *ie - *is, index)) throw std::runtime_error("cannot read the method index");
    std::map<std::uint32_t, std::string> names;
    for (const MethodSpan& named : map.methods) names[named.method + base] = named.name;
    std::vector<MethodSpan> methods;
    for (std::size_t k = 0; k + 16 <= index.size(); k += 16) {
        MethodSpan m;
        std::memcpy(&m.record, &index[k], 4);
        std::memcpy(&m.method, &index[k + 4], 4);
        std::memcpy(&m.code, &index[k + 8], 4);
        std::memcpy(&m.code_end, &index[k + 12], 4);
        auto n = names.find(m.method);
        m.name = n != names.end() ? n->second : "method@" + hex(m.method);
        methods.push_back(m);
    }
    auto word = [&](const char* n) -> std::uint32_t {
        const auto v = sym(n);
        return v && *v <= 0xFFFFFFFFu ? static_cast<std::uint32_t>(*v) : 0;
    };
    ImageRegions r;
    r.types_start = word("_java_header_types_start");
    r.concrete_end = word("_java_header_concretetypes_end");
    r.types_end = word("_java_header_types_end");
    r.addresses_start = word("_java_kernel_addresses_table_start");
    r.addresses_end = word("_java_kernel_addresses_table_end");
    const ImageView view(bytes.data(), base, size, r, methods);
    return disassemble(view, symbols_of(map, base, {}));
}

}  // namespace tarvelo::imagelink
