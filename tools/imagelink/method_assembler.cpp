#include "tools/imagelink/method_assembler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <utility>

#include "tools/imagelink/text_lexer.h"
#include "tools/imagelink/text_parser.h"
#include "vm/core/bytecode/opcodes.h"

namespace tarvelo::imagelink {

using namespace bytecode;

FrameShape frame_shape(const Method& m) {
    FrameShape f;
    const int arg_words = m.prim_arg_words();
    const int ret_words = m.ret.prim_words();
    f.frame_words = 5 + std::max(m.temps + arg_words, ret_words);
    f.kept_refs = m.ref_arg_words();
    f.ref_base = f.kept_refs + m.refs_below;
    if (m.returns_ref() && f.ref_base == 0) f.ref_base = 1;
    int prim_cursor = f.frame_words;
    int ref_cursor = -f.ref_base;
    if (!m.is_static) f.receiver_reg = ref_cursor++;
    for (const Param& p : m.params) {
        if (p.type.is_ref()) {
            f.param_regs.push_back(ref_cursor++);
        } else {
            prim_cursor -= p.type.prim_words();
            f.param_regs.push_back(prim_cursor);
        }
    }
    return f;
}

namespace {

constexpr int kEndOfItem = -2;
constexpr int kLastPartOfItem = -3;  // the item's final part (its goto)
// Every Java stack block starts with a 16-byte header (vm/core/threads/java_stack.h).
constexpr std::uint32_t kStackBlockHeaderBytes = 16;

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
    std::uint8_t op = OPnop;
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

// Offset within the instruction of its first operand that needs an even
// address, or -1.
int aligned_operand_offset(std::uint8_t op) {
    const OperandList& ol = operands_of(op);
    for (unsigned i = 0; i < ol.count; ++i)
        if (needs_even_address(ol.items[i].kind)) return ol.items[i].offset;
    return -1;
}

// Chooses, for `part` at `addr`, the opcode (the part's or its alternative)
// and the padding needed before it.
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
        case OPlookupswitch: return static_cast<std::uint32_t>(lookupswitch_length(addr, p.args[1].list.size()));
        case OPtableswitch: return static_cast<std::uint32_t>(tableswitch_length(addr, p.args[1].labels.size()));
        case OPnative_code: return kNativeCodeFixedLength + static_cast<std::uint32_t>(p.args[1].list.size());
        case OPinvoke_sni: return kSniFixedLength + static_cast<std::uint32_t>(p.args[5].list.size());
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

class MethodAssembler {
public:
    MethodAssembler(LinkContext& ctx, Method& m) : ctx_(ctx), m_(m), shape_(frame_shape(m)) {}

    void run() {
        build_names();
        if (m_.native != NativeKind::None) {
            native_body();
        } else {
            for (const CodeLine& line : m_.code) line_to_items(line);
        }
        check_labels();
        relax();
        avoid_padding();
        compute_header();
        encode();
        resolve_handlers();
    }

private:
    LinkContext& ctx_;
    Method& m_;
    FrameShape shape_;
    std::map<std::string, RegisterAlias> names_;
    std::map<std::string, int> label_ids_;
    std::vector<std::string> label_names_;
    std::vector<SourceLocation> label_first_use_;
    std::vector<int> label_item_;  // item index of each label's definition, -1 undefined
    std::vector<Item> items_;
    std::vector<std::uint32_t> label_addr_;
    bool calls_ = false;
    // A string just loaded by `const_ref` and its register (the instruction
    // before the one being assembled): the name a Constants call takes.
    std::optional<std::pair<int, std::u16string>> loaded_string_, string_before_;
    int prim_min_ = 0;
    int ref_min_ = 0, ref_max_ = -1;
    SourceLocation cur_;

    [[noreturn]] void error(const std::string& msg) const { fail(cur_, msg); }

    // --- names and registers
    void build_names() {
        if (!m_.is_static) names_["this"] = RegisterAlias{true, shape_.receiver_reg};
        for (std::size_t i = 0; i < m_.params.size(); ++i)
            names_[m_.params[i].name] = RegisterAlias{m_.params[i].type.is_ref(), shape_.param_regs[i]};
        for (const auto& [n, a] : m_.aliases) names_[n] = a;
    }

    bool try_register(const Operand& o, RegisterAlias& r) const {
        if (o.kind != Operand::Kind::Word) return false;
        if (parse_register_name(o.text, r)) return true;
        auto it = names_.find(o.text);
        if (it == names_.end()) return false;
        r = it->second;
        return true;
    }

    int prim(const Operand& o, int words = 1) {
        cur_ = o.where;
        RegisterAlias r;
        if (!try_register(o, r)) error("expected a primitive register, found '" + describe(o) + "'");
        if (r.ref) error("'" + o.text + "' is a reference register; a primitive register is needed here");
        use_prim(r.index, words);
        return r.index;
    }
    int ref(const Operand& o) {
        cur_ = o.where;
        RegisterAlias r;
        if (!try_register(o, r)) error("expected a reference register, found '" + describe(o) + "'");
        if (!r.ref) error("'" + o.text + "' is a primitive register; a reference register is needed here");
        use_ref(r.index);
        return r.index;
    }
    void use_prim(int reg, int words) {
        for (int k = 0; k < words; ++k) {
            const int r = reg + k;
            if (r >= 0 && r <= 4) error("registers p0 to p4 hold the frame record");
            if (r >= shape_.frame_words)
                error("register p" + std::to_string(r) + " lies above the frame (registers 5 to " +
                      std::to_string(shape_.frame_words - 1) + "; declare more with .temps)");
            if (r < -128) error("primitive register below -128");
        }
        prim_min_ = std::min(prim_min_, reg);
    }
    void use_ref(int reg) {
        if (reg < -shape_.ref_base)
            error("register r" + std::to_string(reg) + " lies below the reference window base (lowest r" +
                  std::to_string(-shape_.ref_base) + "; declare more with .refs_below)");
        if (reg > 126) error("reference register above 126");
        ref_min_ = std::min(ref_min_, reg);
        ref_max_ = std::max(ref_max_, reg);
    }

    static std::string describe(const Operand& o) {
        switch (o.kind) {
            case Operand::Kind::Word: return o.text;
            case Operand::Kind::Integer: return std::to_string(o.value);
            case Operand::Kind::Floating: return std::to_string(o.fvalue);
            case Operand::Kind::String: return "\"" + utf16_to_utf8_local(o.chars) + "\"";
            case Operand::Kind::Char: return "character literal";
            case Operand::Kind::Keyed: return o.keyword + " " + o.text;
            case Operand::Kind::Case: return std::to_string(o.value) + ": " + o.text;
        }
        return "?";
    }
    static std::string utf16_to_utf8_local(const std::u16string& s) {
        std::string out;
        for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
        return out;
    }

    std::int64_t integer(const Operand& o, std::int64_t lo, std::int64_t hi, const char* what) {
        cur_ = o.where;
        std::int64_t v;
        if (o.kind == Operand::Kind::Integer) v = o.value;
        else if (o.kind == Operand::Kind::Char) v = o.value;
        else error(std::string("expected ") + what + ", found '" + describe(o) + "'");
        if (v < lo || v > hi)
            error(std::string(what) + " " + std::to_string(v) + " out of range " + std::to_string(lo) + " to " + std::to_string(hi));
        return v;
    }

    int label(const Operand& o) {
        cur_ = o.where;
        // A word that reads as a number (inf, nan) is a label where a label is expected.
        const bool named = o.kind == Operand::Kind::Floating && !o.text.empty() &&
                           ((o.text[0] >= 'a' && o.text[0] <= 'z') || (o.text[0] >= 'A' && o.text[0] <= 'Z'));
        if (o.kind != Operand::Kind::Word && !named) error("expected a label, found '" + describe(o) + "'");
        return label_id(o.text, o.where);
    }
    int label_id(const std::string& name, const SourceLocation& where) {
        auto it = label_ids_.find(name);
        if (it != label_ids_.end()) return it->second;
        const int id = static_cast<int>(label_names_.size());
        label_ids_[name] = id;
        label_names_.push_back(name);
        label_first_use_.push_back(where);
        label_item_.push_back(-1);
        return id;
    }

    Type* type_operand(const Operand& o) {
        cur_ = o.where;
        if (o.kind == Operand::Kind::Keyed && o.keyword == "class") return ctx_.type_or_fail(o.text, o.where);
        if (o.kind == Operand::Kind::Word) return ctx_.type_or_fail(o.text, o.where);
        error("expected a type, found '" + describe(o) + "'");
    }
    // `want_static`: a call instruction's kind, which picks between a static
    // and an instance method of the same name.
    Method* method_operand(const Operand& o, std::optional<bool> want_static = std::nullopt) {
        cur_ = o.where;
        if ((o.kind == Operand::Kind::Keyed && o.keyword == "method") || o.kind == Operand::Kind::Word) {
            if (o.text == "$main") {
                Method* mm = ctx_.main_method();
                if (!mm) fail(ctx_.program.whole_image(), "the image names no main method (.main)");
                return mm;
            }
            return ctx_.method_ref(o.text, m_.owner, o.where, want_static);
        }
        error("expected a method, found '" + describe(o) + "'");
    }
    Field* field_operand(const Operand& o) {
        cur_ = o.where;
        if ((o.kind == Operand::Kind::Keyed && (o.keyword == "field" || o.keyword == "static")) ||
            o.kind == Operand::Kind::Word)
            return ctx_.field_ref(o.text, m_.owner, o.where);
        error("expected a field, found '" + describe(o) + "'");
    }

    ImageRef type_ref(const Type* t) { return ImageRef{ImageRef::Kind::Type, t, 0, {}, 0}; }
    ImageRef method_ref(const Method* mm) {
        if (!mm->has_code()) error("'" + mm->display_name() + "' has no code to call directly");
        return ImageRef{ImageRef::Kind::Method, mm, 0, {}, 0};
    }
    ImageRef string_ref(const std::u16string& s) { return ImageRef{ImageRef::Kind::String, nullptr, ctx_.intern(s), {}, 0}; }
    ImageRef symbol_ref(const std::string& s) { return ImageRef{ImageRef::Kind::Symbol, nullptr, 0, s, 0}; }

    // A 32-bit operand: a number, a string, or a type, method, static
    // field, immutable or external symbol.
    Arg word_arg(const Operand& o) {
        cur_ = o.where;
        Arg a;
        switch (o.kind) {
            case Operand::Kind::Integer:
                if (o.value < std::numeric_limits<std::int32_t>::min() || o.value > 0xFFFFFFFFLL) error("32-bit constant out of range");
                a.v = o.value;
                return a;
            case Operand::Kind::Floating: {
                if (!o.single) error("a 32-bit constant takes a float (write 1.5f)");
                const float f = static_cast<float>(o.fvalue);
                std::uint32_t bits;
                std::memcpy(&bits, &f, 4);
                if (std::isnan(f)) bits = 0x7FC00000u;
                a.v = bits;
                return a;
            }
            case Operand::Kind::Char: a.v = o.value; return a;
            case Operand::Kind::String: a.has_ref = true; a.ref = string_ref(o.chars); return a;
            case Operand::Kind::Keyed:
                a.has_ref = true;
                if (o.keyword == "class") a.ref = type_ref(type_operand(o));
                else if (o.keyword == "method") a.ref = method_ref(method_operand(o));
                else if (o.keyword == "static" || o.keyword == "field") a.ref = static_ref(field_operand(o));
                else if (o.keyword == "symbol") a.ref = symbol_ref(o.text);
                else if (o.keyword == "immutable") a.ref = ImageRef{ImageRef::Kind::Immutable, ctx_.immutable(o.text, o.where), 0, {}, 0};
                else error("unknown operand keyword '" + o.keyword + "'");
                return a;
            case Operand::Kind::Word: {
                // A bare name: a type, then a static field, then a method.
                a.has_ref = true;
                if (Type* t = ctx_.find_type(o.text)) { a.ref = type_ref(t); return a; }
                if (auto jt = parse_java_type(o.text); jt && jt->is_array()) { a.ref = type_ref(ctx_.type_for(*jt, o.where)); return a; }
                if (o.text.find('(') == std::string::npos) {
                    try {
                        Field* f = ctx_.field_ref(o.text, m_.owner, o.where);
                        a.ref = static_ref(f);
                        return a;
                    } catch (const LinkError&) {
                    }
                }
                a.ref = method_ref(ctx_.method_ref(o.text, m_.owner, o.where));
                return a;
            }
            default:
                error("expected a 32-bit constant or address, found '" + describe(o) + "'");
        }
    }
    ImageRef static_ref(const Field* f) {
        if (!f->is_static) error("'" + f->name + "' is an instance field, not a static");
        return symbol_ref(f->symbol);
    }

    // --- items
    Item& add_item(Form f) {
        Item it;
        it.kind = Item::Kind::Instruction;
        it.where = cur_;
        it.forms.push_back(std::move(f));
        items_.push_back(std::move(it));
        return items_.back();
    }
    static Part part(std::uint8_t op, std::vector<Arg> args, int alt = -1) {
        Part p;
        p.op = op;
        p.alt = alt;
        p.args = std::move(args);
        return p;
    }
    static Arg R(std::int64_t r) { Arg a; a.v = r; return a; }
    static Arg N(std::int64_t hi, std::int64_t lo) { Arg a; a.v = hi; a.v2 = lo; return a; }
    static Arg L(int label) { Arg a; a.label = label; return a; }
    void single(std::uint8_t op, std::vector<Arg> args, int alt = -1) {
        note_calls(op);
        note_implicit(op);
        add_item(Form{{part(op, std::move(args), alt)}});
    }
    // Registers some opcodes name without an operand.
    void note_implicit(std::uint8_t op) {
        switch (op) {
            case OPmove_ref_m1: use_ref(0); use_ref(-1); break;
            case OPmove_ref_m2: use_ref(0); use_ref(-2); break;
            case OPclear_p5: use_prim(5, 1); break;
            case OPclear_pm1: use_prim(-1, 1); break;
            case OPifnull_m1: case OPifnonnull_m1: case OPnew_m1: case OPathrow_m1:
            case OPaload_int_4: case OPastore_int_4: case OPaload_ref_4:
                use_ref(-1);
                break;
            case OPastore_ref_4: use_ref(-2); break;
            default: break;
        }
    }
    void note_calls(std::uint8_t op) {
        const OpKind k = opcode_info(op).kind;
        if (k == OpKind::Invoke || k == OpKind::NativeVm || k == OpKind::ThreadBottom || k == OpKind::Proxy ||
            op == OPgetstatic_ref)
            calls_ = true;
    }

    void expect_count(const CodeLine& l, std::size_t lo, std::size_t hi = 0) {
        if (hi == 0) hi = lo;
        if (l.operands.size() < lo || l.operands.size() > hi) {
            cur_ = l.where;
            error("'" + l.name + "' takes " + (lo == hi ? std::to_string(lo) : std::to_string(lo) + " to " + std::to_string(hi)) +
                  " operand" + (hi == 1 ? "" : "s") + ", not " + std::to_string(l.operands.size()));
        }
    }

    void line_to_items(const CodeLine& l) {
        cur_ = l.where;
        string_before_ = std::exchange(loaded_string_, std::nullopt);
        if (l.kind == CodeLine::Kind::Label) {
            const int id = label_id(l.name, l.where);
            if (label_item_[id] >= 0) error("label '" + l.name + "' defined twice");
            label_item_[id] = static_cast<int>(items_.size());
            Item it;
            it.kind = Item::Kind::Label;
            it.label = id;
            it.where = l.where;
            items_.push_back(std::move(it));
            return;
        }
        if (l.kind == CodeLine::Kind::Bytes) {
            Item it;
            it.kind = Item::Kind::Bytes;
            it.bytes = l.bytes;
            it.where = l.where;
            items_.push_back(std::move(it));
            return;
        }
        instruction(l);
    }

    // --- generic instructions
    void instruction(const CodeLine& l) {
        const std::string& n = l.name;
        if (n.size() > 2 && n[0] == 'O' && n[1] == 'P') return forced(l);
        if (n == "move") { expect_count(l, 2); return move(prim(l.operands[0]), prim(l.operands[1])); }
        if (n == "move_ref") { expect_count(l, 2); return move_ref(ref(l.operands[0]), ref(l.operands[1])); }
        if (n == "const") { expect_count(l, 2); return const32(prim(l.operands[0]), l.operands[1]); }
        if (n == "const64") { expect_count(l, 2); return const64(prim(l.operands[0], 2), l.operands[1]); }
        if (n == "const_ref") {
            expect_count(l, 2);
            const int d = ref(l.operands[0]);
            if (l.operands[1].kind == Operand::Kind::String) loaded_string_.emplace(d, l.operands[1].chars);
            return const_ref(d, l.operands[1]);
        }
        if (n == "goto") { expect_count(l, 1); return branch(Cond{CondKind::Always}, label(l.operands[0])); }
        if (auto c = z_cond(n)) return branch_z(l, *c);
        if (auto c = icmp_cond(n)) {
            expect_count(l, 3);
            Cond cond{CondKind::Icmp, *c, 0, prim(l.operands[0]), prim(l.operands[1])};
            return branch(cond, label(l.operands[2]));
        }
        if (n == "ifnull" || n == "ifnonnull") {
            expect_count(l, 2);
            return branch(Cond{CondKind::Null, n == "ifnull" ? Rel::Eq : Rel::Ne, 0, ref(l.operands[0])}, label(l.operands[1]));
        }
        if (n == "if_acmpeq" || n == "if_acmpne") {
            expect_count(l, 3);
            return branch(Cond{CondKind::Acmp, n == "if_acmpeq" ? Rel::Eq : Rel::Ne, 0, ref(l.operands[0]), ref(l.operands[1])},
                          label(l.operands[2]));
        }
        if (n == "tableswitch") return tableswitch(l);
        if (n == "lookupswitch") return lookupswitch(l);
        if (n == "getfield" || n == "putfield") return field_access(l, n == "getfield");
        if (n == "this_getfield" || n == "this_putfield") return this_field_access(l, n == "this_getfield");
        if (n == "getstatic" || n == "putstatic") return static_access(l, n == "getstatic");
        if (n == "invokestatic" || n == "invokespecial" || n == "invokevirtual" || n == "invokeinterface" ||
            n == "this_invokevirtual" || n == "this_invokespecial")
            return invoke(l);
        if (n == "return") return do_return(l);
        if (n == "athrow") {
            expect_count(l, 1);
            const int a = ref(l.operands[0]);
            return a == -1 ? single(OPathrow_m1, {}) : single(OPathrow, {R(a)});
        }
        if (n == "new") {
            expect_count(l, 2);
            const int d = ref(l.operands[0]);
            Type* t = type_operand(l.operands[1]);
            if (!t->is_class() || t->is_abstract) error("'new' needs a class that has instances, not " + t->name);
            Arg w;
            w.has_ref = true;
            w.ref = type_ref(t);
            return d == -1 ? single(OPnew_m1, {w}) : single(OPnew, {R(d), w});
        }
        if (n == "newarray") {
            expect_count(l, 3);
            const int d = ref(l.operands[0]);
            const int len = prim(l.operands[1]);
            Type* t = type_operand(l.operands[2]);
            if (!t->is_array()) error("'newarray' needs an array type, not " + t->name);
            Arg w;
            w.has_ref = true;
            w.ref = type_ref(t);
            std::uint8_t op = OPnewarray4;
            switch (t->array_type.element().storage_size()) {
                case 1: op = OPnewarray1; break;
                case 2: op = OPnewarray2; break;
                case 8: op = OPnewarray8; break;
                default: break;
            }
            return single(op, {R(d), R(len), w});
        }
        if (n == "multianewarray") {
            expect_count(l, 4);
            const int d = ref(l.operands[0]);
            const std::int64_t dims = integer(l.operands[2], 1, 255, "dimension count");
            const int first = prim(l.operands[1]);
            use_prim(first - static_cast<int>(dims) + 1, static_cast<int>(dims));
            Type* t = type_operand(l.operands[3]);
            if (!t->is_array() || t->array_type.dims < dims) error("'multianewarray' needs an array type of at least that many dimensions");
            Arg w;
            w.has_ref = true;
            w.ref = type_ref(t);
            return single(OPmultianewarray, {R(d), R(first), R(dims), w});
        }
        if (n == "aload_int" || n == "astore_int" || n == "aload_ref" || n == "astore_ref") return array_access(l);
        if (n == "native_code") return native_code(l);
        const int op = opcode_by_name("OP" + n);
        if (op < 0) error("unknown instruction '" + n + "'");
        exact(l, static_cast<std::uint8_t>(op), false);
    }

    void move(int d, int s) {
        if (fits_nibble(d) && fits_nibble(s)) return single_or_wider(OPmove_4, {N(d, s)}, OPmove, {R(d), R(s)});
        single(OPmove, {R(d), R(s)});
    }
    void move_ref(int d, int s) {
        if (d == 0 && s == -1) return single(OPmove_ref_m1, {});
        if (d == 0 && s == -2) return single(OPmove_ref_m2, {});
        if (fits_nibble(d) && fits_nibble(s)) return single_or_wider(OPmove_ref_4, {N(d, s)}, OPmove_ref, {R(d), R(s)});
        single(OPmove_ref, {R(d), R(s)});
    }
    // A short form, with a form one byte longer that avoid_padding() may take.
    void single_or_wider(std::uint8_t op, std::vector<Arg> args, std::uint8_t wide_op, std::vector<Arg> wide_args) {
        single(op, std::move(args));
        Item& it = items_.back();
        it.forms.push_back(Form{{part(wide_op, std::move(wide_args))}});
        it.widenable = true;
    }
    void const32(int d, const Operand& o) {
        cur_ = o.where;
        std::int64_t v = 0;
        if (o.kind == Operand::Kind::Integer || o.kind == Operand::Kind::Char) {
            v = o.value;
            if (o.long_suffix) error("'const' loads 32 bits; use const64 for a long");
            if (v < std::numeric_limits<std::int32_t>::min() || v > 0xFFFFFFFFLL) error("constant does not fit 32 bits");
            v = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
        } else if (o.kind == Operand::Kind::Floating) {
            if (!o.single) error("'const' loads a float (1.5f); use const64 for a double");
            Arg a = word_arg(o);
            v = static_cast<std::int32_t>(static_cast<std::uint32_t>(a.v));
        } else {
            error("'const' takes an int or float constant");
        }
        if (v == 0) return single_or_wider(OPconst_0, {R(d)}, OPconst_i8, {R(d), R(0)});
        if (v == 1) return single_or_wider(OPconst_1, {R(d)}, OPconst_i8, {R(d), R(1)});
        if (v >= -128 && v <= 127) return single(OPconst_i8, {R(d), R(v)});
        if (v >= -32768 && v <= 32767) return single(OPconst_i16, {R(d), R(v)}, OPconst_i16_r);
        single(OPconst_i32, {R(d), R(static_cast<std::uint32_t>(v))}, OPconst_i32_r);
    }
    void const64(int d, const Operand& o) {
        cur_ = o.where;
        std::uint64_t bits = 0;
        if (o.kind == Operand::Kind::Integer || o.kind == Operand::Kind::Char) {
            bits = static_cast<std::uint64_t>(o.value);
        } else if (o.kind == Operand::Kind::Floating) {
            if (o.single) error("'const64' loads a long or a double, not a float");
            double dv = o.fvalue;
            std::memcpy(&bits, &dv, 8);
            if (std::isnan(dv)) bits = 0x7FF8000000000000ull;
        } else {
            error("'const64' takes a long or double constant");
        }
        const auto sv = static_cast<std::int64_t>(bits);
        if (sv >= -128 && sv <= 127) return single(OPconst64_i8, {R(d), R(sv)});
        single(OPconst64, {R(d), R(bits & 0xFFFFFFFFu), R(bits >> 32)}, OPconst64_r);
    }
    void const_ref(int d, const Operand& o) {
        cur_ = o.where;
        if (o.kind == Operand::Kind::Word && o.text == "null") return single(OPconst_null, {R(d)});
        Arg w = word_arg(o);
        if (!w.has_ref) error("'const_ref' takes a string, class, immutable or symbol");
        single(OPconst_ref, {R(d), w}, OPconst_ref_r);
    }

    // --- branches
    enum class CondKind { Always, Zero, Imm, Icmp, Null, Acmp };
    enum class Rel { Eq, Ne, Lt, Le, Ge, Gt };
    struct Cond {
        CondKind kind = CondKind::Always;
        Rel rel = Rel::Eq;
        std::int64_t imm = 0;
        int x = 0, y = 0;
    };
    static std::optional<Rel> rel_of(const std::string& s) {
        if (s == "eq") return Rel::Eq;
        if (s == "ne") return Rel::Ne;
        if (s == "lt") return Rel::Lt;
        if (s == "le") return Rel::Le;
        if (s == "ge") return Rel::Ge;
        if (s == "gt") return Rel::Gt;
        return std::nullopt;
    }
    static std::optional<Rel> z_cond(const std::string& n) {
        if (n.size() == 4 && n.compare(0, 2, "if") == 0) return rel_of(n.substr(2));
        return std::nullopt;
    }
    static std::optional<Rel> icmp_cond(const std::string& n) {
        if (n.size() == 9 && n.compare(0, 7, "if_icmp") == 0) return rel_of(n.substr(7));
        return std::nullopt;
    }
    void branch_z(const CodeLine& l, Rel rel) {
        expect_count(l, 2, 3);
        const int r = prim(l.operands[0]);
        if (l.operands.size() == 2) return branch(Cond{CondKind::Zero, rel, 0, r}, label(l.operands[1]));
        const std::int64_t c = integer(l.operands[1], -128, 127, "comparison constant");
        branch(Cond{CondKind::Imm, rel, c, r}, label(l.operands[2]));
    }
    static Rel inverse(Rel r) {
        switch (r) {
            case Rel::Eq: return Rel::Ne;
            case Rel::Ne: return Rel::Eq;
            case Rel::Lt: return Rel::Ge;
            case Rel::Le: return Rel::Gt;
            case Rel::Ge: return Rel::Lt;
            case Rel::Gt: return Rel::Le;
        }
        return r;
    }
    // The condition that holds exactly when `c` does not.
    std::optional<Cond> negate(Cond c) const {
        c.rel = inverse(c.rel);
        if (c.kind == CondKind::Imm) {
            // Only =, !=, >= and <= exist with a constant; x < k is x <= k-1.
            if (c.rel == Rel::Lt) { if (c.imm == -128) return std::nullopt; c.rel = Rel::Le; --c.imm; }
            else if (c.rel == Rel::Gt) { if (c.imm == 127) return std::nullopt; c.rel = Rel::Ge; ++c.imm; }
        }
        return c;
    }
    // A single conditional or unconditional branch part, when one exists
    // for this condition, direction and offset width.
    std::optional<Part> branch_part(Cond c, bool back, bool wide, int target) const {
        auto p = [&](std::uint8_t op, std::vector<Arg> args) {
            args.push_back(L(target));
            return part(op, std::move(args));
        };
        if (c.kind == CondKind::Icmp && (c.rel == Rel::Gt || c.rel == Rel::Ge)) {
            std::swap(c.x, c.y);
            c.rel = c.rel == Rel::Gt ? Rel::Lt : Rel::Le;
        }
        switch (c.kind) {
            case CondKind::Always:
                if (back) return p(wide ? OPgoto16_back : OPgoto8_back, {});
                return p(wide ? OPgoto16 : OPgoto8, {});
            case CondKind::Zero: {
                if (wide) return std::nullopt;
                static const std::uint8_t fwd[] = {OPifeq, OPifne, OPiflt, OPifle, OPifge, OPifgt};
                static const std::uint8_t bwd[] = {OPifeq_back, OPifne_back, OPiflt_back, OPifle_back, OPifge_back, OPifgt_back};
                return p((back ? bwd : fwd)[static_cast<int>(c.rel)], {R(c.x)});
            }
            case CondKind::Imm: {
                if (wide || back) return std::nullopt;
                // x < k is x <= k-1, and x > k is x >= k+1, when k+-1 is a byte.
                if (c.rel == Rel::Lt && c.imm > -128) { c.rel = Rel::Le; --c.imm; }
                else if (c.rel == Rel::Gt && c.imm < 127) { c.rel = Rel::Ge; ++c.imm; }
                std::uint8_t op;
                switch (c.rel) {
                    case Rel::Eq: op = OPifeq_imm; break;
                    case Rel::Ne: op = OPifne_imm; break;
                    case Rel::Ge: op = OPifge_imm; break;
                    case Rel::Le: op = OPifle_imm; break;
                    default: return std::nullopt;
                }
                return p(op, {R(c.x), R(c.imm)});
            }
            case CondKind::Icmp: {
                const bool nib = fits_nibble(c.x) && fits_nibble(c.y);
                if (!back) {
                    static const std::uint8_t w16[] = {OPif_icmpeq, OPif_icmpne, OPif_icmplt, OPif_icmple};
                    static const std::uint8_t w8[] = {OPif_icmpeq_4, OPif_icmpne_4, OPif_icmplt_4, OPif_icmple_4};
                    const int k = static_cast<int>(c.rel);
                    if (wide) return p(w16[k], {R(c.x), R(c.y)});
                    if (!nib) return std::nullopt;
                    return p(w8[k], {N(c.x, c.y)});
                }
                if (wide) {
                    static const std::uint8_t w16b[] = {OPif_icmpeq_back, OPif_icmpne_back, OPif_icmplt_back, OPif_icmple_back};
                    return p(w16b[static_cast<int>(c.rel)], {R(c.x), R(c.y)});
                }
                if (!nib) return std::nullopt;
                if (c.rel == Rel::Lt) return p(OPif_icmplt_back_4, {N(c.x, c.y)});
                if (c.rel == Rel::Le) return p(OPif_icmple_back_4, {N(c.x, c.y)});
                return std::nullopt;
            }
            case CondKind::Null: {
                if (wide) return std::nullopt;
                const bool eq = c.rel == Rel::Eq;
                if (back) return p(eq ? OPifnull_back : OPifnonnull_back, {R(c.x)});
                return p(eq ? OPifnull : OPifnonnull, {R(c.x)});
            }
            case CondKind::Acmp: {
                const bool eq = c.rel == Rel::Eq;
                if (back) {
                    if (!wide) return std::nullopt;
                    return p(eq ? OPif_acmpeq_back : OPif_acmpne_back, {R(c.x), R(c.y)});
                }
                if (wide) return p(eq ? OPif_acmpeq : OPif_acmpne, {R(c.x), R(c.y)});
                if (!fits_nibble(c.x) || !fits_nibble(c.y)) return std::nullopt;
                return p(eq ? OPif_acmpeq_4 : OPif_acmpne_4, {N(c.x, c.y)});
            }
        }
        return std::nullopt;
    }

    // Candidate forms, shortest first: one branch instruction of 8 then 16
    // bits, then the negated condition jumping over an unconditional branch.
    void branch(const Cond& c, int target) {
        const bool back = label_item_[target] >= 0;  // defined before this instruction
        Item it;
        it.kind = Item::Kind::Instruction;
        it.where = cur_;
        // ifnull r-1 forward may use the compact form on ref[-1].
        if (c.kind == CondKind::Null && c.x == -1 && !back) {
            Arg t = L(target);
            it.forms.push_back(Form{{part(c.rel == Rel::Eq ? OPifnull_m1 : OPifnonnull_m1, {t})}});
        }
        for (bool wide : {false, true})
            if (auto p = branch_part(c, back, wide, target)) it.forms.push_back(Form{{*p}});
        if (c.kind != CondKind::Always) {
            auto neg = negate(c);
            if (neg) {
                auto skip = branch_part(*neg, false, false, kEndOfItem);
                if (!skip) skip = branch_part(*neg, false, true, kEndOfItem);
                for (bool wide : {false, true}) {
                    auto jump = branch_part(Cond{CondKind::Always}, back, wide, target);
                    if (skip && jump) it.forms.push_back(Form{{*skip, *jump}});
                }
            } else if (c.kind == CondKind::Imm && (c.rel == Rel::Ge || c.rel == Rel::Le)) {
                // x >= -128 and x <= 127 have no negation with a byte constant:
                // x == k jumps to the goto, the strict opposite (x <= k or
                // x >= k once equality is out) skips it.
                auto eq = branch_part(Cond{CondKind::Imm, Rel::Eq, c.imm, c.x}, false, false, kLastPartOfItem);
                auto skip = branch_part(Cond{CondKind::Imm, c.rel == Rel::Ge ? Rel::Le : Rel::Ge, c.imm, c.x}, false, false,
                                        kEndOfItem);
                for (bool wide : {false, true}) {
                    auto jump = branch_part(Cond{CondKind::Always}, back, wide, target);
                    if (eq && skip && jump) it.forms.push_back(Form{{*eq, *skip, *jump}});
                }
            }
        }
        if (it.forms.empty()) error("no instruction encodes this branch");
        items_.push_back(std::move(it));
    }

    // --- switches
    void tableswitch(const CodeLine& l) {
        if (l.operands.size() < 3) { cur_ = l.where; error("tableswitch key, low, default, targets..."); }
        Arg key = R(prim(l.operands[0]));
        const std::int64_t low = integer(l.operands[1], std::numeric_limits<std::int32_t>::min(),
                                         std::numeric_limits<std::int32_t>::max(), "low key");
        Arg table;
        table.v = low;
        table.label = label(l.operands[2]);
        for (std::size_t i = 3; i < l.operands.size(); ++i) table.labels.push_back(label(l.operands[i]));
        if (table.labels.empty()) { cur_ = l.where; error("a tableswitch has at least one target"); }
        if (low + static_cast<std::int64_t>(table.labels.size()) - 1 > std::numeric_limits<std::int32_t>::max())
            error("tableswitch keys overflow 32 bits");
        single(OPtableswitch, {key, table});
    }
    void lookupswitch(const CodeLine& l) {
        if (l.operands.size() < 2) { cur_ = l.where; error("lookupswitch key, default, key: target..."); }
        Arg key = R(prim(l.operands[0]));
        Arg table;
        table.label = label(l.operands[1]);
        std::vector<std::pair<std::int64_t, int>> cases;
        for (std::size_t i = 2; i < l.operands.size(); ++i) {
            const Operand& o = l.operands[i];
            cur_ = o.where;
            if (o.kind != Operand::Kind::Case) error("a lookupswitch case is written 'key: label'");
            if (o.value < std::numeric_limits<std::int32_t>::min() || o.value > std::numeric_limits<std::int32_t>::max())
                error("lookupswitch key out of range");
            cases.emplace_back(o.value, label_id(o.text, o.where));
        }
        std::stable_sort(cases.begin(), cases.end(), [](auto& a, auto& b) { return a.first < b.first; });
        for (std::size_t i = 1; i < cases.size(); ++i)
            if (cases[i].first == cases[i - 1].first) error("lookupswitch key " + std::to_string(cases[i].first) + " appears twice");
        if (cases.size() > 0xFFFF) error("too many lookupswitch cases");
        for (auto& [k, lab] : cases) {
            table.list.push_back(k);
            table.labels.push_back(lab);
        }
        single(OPlookupswitch, {key, table});
    }

    // --- fields
    static std::uint8_t family_index(const JavaType& t) {
        // byte, short, char, int, long, ref
        if (t.is_ref()) return 5;
        switch (t.base) {
            case BaseKind::Boolean: case BaseKind::Byte: return 0;
            case BaseKind::Short: return 1;
            case BaseKind::Char: return 2;
            case BaseKind::Long: case BaseKind::Double: return 4;
            default: return 3;
        }
    }
    void field_access(const CodeLine& l, bool get) {
        expect_count(l, 3);
        Field* f = field_operand(l.operands[2]);
        if (f->is_static) error("'" + f->name + "' is static; use getstatic or putstatic");
        const std::uint8_t fam = family_index(f->type);
        const int obj = ref(l.operands[1]);
        if (fam == 5) {
            const int v = ref(l.operands[0]);
            const std::int32_t dist = -f->offset;
            if (dist > 255) error("reference field '" + f->name + "' lies more than 255 bytes below the header");
            return single(get ? OPgetfield_ref : OPputfield_ref, {R(v), R(obj), R(dist)});
        }
        const int v = prim(l.operands[0], fam == 4 ? 2 : 1);
        const std::int32_t off = f->offset;
        static const std::uint8_t get8[] = {OPgetfield_byte, OPgetfield_short, OPgetfield_char, OPgetfield_int, OPgetfield_long};
        static const std::uint8_t get16[] = {OPgetfield_byte_w, OPgetfield_short_w, OPgetfield_char_w, OPgetfield_int_w, OPgetfield_long_w};
        static const std::uint8_t put8[] = {OPputfield_byte, OPputfield_short, OPputfield_short, OPputfield_int, OPputfield_long};
        static const std::uint8_t put16[] = {OPputfield_byte_w, OPputfield_short_w, OPputfield_short_w, OPputfield_int_w, OPputfield_long_w};
        if (get && fam == 3 && off == 8 && fits_nibble(v) && fits_nibble(obj)) return single(OPgetfield_int_4, {N(v, obj)});
        if (off <= 255) return single((get ? get8 : put8)[fam], {R(v), R(obj), R(off)});
        single((get ? get16 : put16)[fam], {R(v), R(obj), R(off)});
    }
    void this_field_access(const CodeLine& l, bool get) {
        expect_count(l, 2);
        Field* f = field_operand(l.operands[1]);
        if (f->is_static) error("'" + f->name + "' is static");
        const std::uint8_t fam = family_index(f->type);
        int reg;
        std::int64_t index;
        if (fam == 5) {
            reg = ref(l.operands[0]);
            index = -f->offset / 4;
        } else {
            reg = prim(l.operands[0], fam == 4 ? 2 : 1);
            const std::int64_t unit = fam == 0 ? 1 : (fam == 1 || fam == 2) ? 2 : 4;
            if (f->offset % unit) error("field '" + f->name + "' is not at a multiple of its size; use getfield with the receiver");
            index = f->offset / unit;
        }
        if (index > 15) error("field '" + f->name + "' is beyond index 15 of the receiver forms; use getfield or putfield");
        if (!fits_nibble(reg)) error("the receiver forms take registers -8 to 7");
        static const std::uint8_t gets[] = {OPthis_getfield_byte, OPthis_getfield_short, OPthis_getfield_char,
                                            OPthis_getfield_int, OPthis_getfield_long, OPthis_getfield_ref};
        static const std::uint8_t puts[] = {OPthis_putfield_byte, OPthis_putfield_short, OPthis_putfield_short,
                                            OPthis_putfield_int, OPthis_putfield_long, OPthis_putfield_ref};
        single((get ? gets : puts)[fam], {N(reg, index)});
    }
    void static_access(const CodeLine& l, bool get) {
        expect_count(l, 2);
        Field* f = field_operand(l.operands[1]);
        if (!f->is_static) error("'" + f->name + "' is an instance field");
        const std::uint8_t fam = family_index(f->type);
        Arg w;
        w.has_ref = true;
        w.ref = static_ref(f);
        if (fam == 5) return single(get ? OPgetstatic_ref : OPputstatic_ref, {R(ref(l.operands[0])), w});
        static const std::uint8_t gets[] = {OPgetstatic_byte, OPgetstatic_short, OPgetstatic_char, OPgetstatic_int, OPgetstatic_long};
        static const std::uint8_t puts[] = {OPputstatic_byte, OPputstatic_short, OPputstatic_short, OPputstatic_int, OPputstatic_long};
        single((get ? gets : puts)[fam], {R(prim(l.operands[0], fam == 4 ? 2 : 1)), w});
    }
    void array_access(const CodeLine& l) {
        expect_count(l, 3);
        const std::string& n = l.name;
        if (n == "aload_int") {
            const int d = prim(l.operands[0]), a = ref(l.operands[1]), i = prim(l.operands[2]);
            if (a == -1 && fits_nibble(d) && fits_nibble(i)) return single(OPaload_int_4, {N(d, i)});
            return single(OPaload_int, {R(d), R(a), R(i)});
        }
        if (n == "astore_int") {
            const int a = ref(l.operands[0]), i = prim(l.operands[1]), v = prim(l.operands[2]);
            if (a == -1 && fits_nibble(i) && fits_nibble(v)) return single(OPastore_int_4, {N(i, v)});
            return single(OPastore_int, {R(a), R(i), R(v)});
        }
        if (n == "aload_ref") {
            const int d = ref(l.operands[0]), a = ref(l.operands[1]), i = prim(l.operands[2]);
            if (a == -1 && fits_nibble(d) && fits_nibble(i)) return single(OPaload_ref_4, {N(d, i)});
            return single(OPaload_ref, {R(d), R(a), R(i)});
        }
        const int a = ref(l.operands[0]), i = prim(l.operands[1]), v = ref(l.operands[2]);
        if (a == -2 && fits_nibble(i) && fits_nibble(v)) return single(OPastore_ref_4, {N(i, v)});
        single(OPastore_ref, {R(a), R(i), R(v)});
    }

    // --- invocations
    // Registers of a call's arguments in the caller: primitive ones from
    // p-1 down, reference ones from r up; the result at p-1 (p-2 for a
    // pair) or r.
    void use_call_area(const Method* callee, int p, int r) {
        const int words = std::max(callee->prim_arg_words(), callee->ret.prim_words());
        if (words > 0) use_prim(p - words, words);
        const int refs = std::max(callee->ref_arg_words(), callee->returns_ref() ? 1 : 0);
        for (int k = 0; k < refs; ++k) use_ref(r + k);
    }
    void invoke(const CodeLine& l) {
        const std::string& n = l.name;
        const bool this_form = n.compare(0, 5, "this_") == 0;
        expect_count(l, 1, this_form ? 1 : 3);
        Method* callee = method_operand(l.operands[0], n == "invokestatic");
        int p = 0, r = 0;
        if (l.operands.size() >= 2) p = prim_base(l.operands[1]);
        if (l.operands.size() == 3) r = ref_base(l.operands[2]);
        if (l.operands.size() == 2) { cur_ = l.where; error("give both bases: primitive and reference"); }
        cur_ = l.where;
        if (p > 0) error("the primitive base of a call is 0 or negative");
        const bool wants_static = n == "invokestatic";
        if (wants_static != callee->is_static) error(callee->display_name() + (callee->is_static ? " is static" : " is not static"));
        if (callee->native == NativeKind::Inline && n == "invokestatic") return inline_call(callee, p, r);
        if (callee->native == NativeKind::Constant && n == "invokestatic") return constant_call(callee, p, r);
        use_call_area(callee, p, r);
        calls_ = true;
        Arg w;
        if (n == "invokestatic" || n == "invokespecial" || n == "this_invokespecial") {
            w.has_ref = true;
            w.ref = method_ref(callee);
        }
        if (n == "invokestatic") {
            if (p == 0 && r == 0) return single(OPinvokestatic_0, {w});
            return single(OPinvokestatic, {R(p), R(r), w});
        }
        if (n == "invokespecial") {
            if (p == 0 && r == 0) return single(OPinvokespecial_0, {w});
            return single(OPinvokespecial, {R(p), R(r), w});
        }
        if (n == "this_invokespecial") return single(OPthis_invokespecial, {w});
        if (n == "invokeinterface") {
            const Type* owner = callee->owner;
            if (!owner->is_interface()) error(callee->display_name() + " is not an interface method");
            return single(OPinvokeinterface, {R(p), R(r), R(owner->interface_id), R(callee->interface_index)});
        }
        // Virtual calls.
        if (callee->owner->is_interface()) error(callee->display_name() + " is an interface method; use invokeinterface");
        if (!callee->is_virtual()) error(callee->display_name() + " is not virtual; use invokespecial");
        const int slot = callee->vtable_slot;
        if (n == "this_invokevirtual") {
            if (slot > 255) error("virtual slot above 255; use invokevirtual");
            return single(OPthis_invokevirtual, {R(slot)});
        }
        // Methods of Object may be called on arrays, which dispatch through
        // Object's table.
        if (callee->owner == ctx_.object_type()) return single(OPinvokevirtual_obj, {R(p), R(r), R(slot)});
        if (p == 0 && r == 0 && slot <= 255) return single(OPinvokevirtual_0, {R(slot)});
        single(OPinvokevirtual, {R(p), R(r), R(slot)});
    }
    // The value of a link-time constant in place of a call of a Constants
    // native: loaded where the call's result would be (p-1, the pair from
    // p-2, or r), the name read from the `const_ref` just before the call.
    void constant_call(const Method* callee, int p, int r) {
        if (!string_before_ || string_before_->first != r)
            error(callee->display_name() + " takes its constant's name as a string loaded into r" + std::to_string(r) +
                  " by the instruction just before the call");
        const std::string name = utf16_to_utf8(string_before_->second);
        const auto found = ctx_.program.constants.find(string_before_->second);
        if (found == ctx_.program.constants.end()) error("no constant named \"" + name + "\" (declare it with .constant)");
        const Operand& v = found->second.value;
        auto refuse = [&](const std::string& what) -> void {
            error("constant \"" + name + "\" (" + found->second.where.file + ":" +
                  std::to_string(found->second.where.line) + ") is not " + what);
        };
        const bool integral = v.kind == Operand::Kind::Integer || v.kind == Operand::Kind::Char;
        Operand o;
        o.where = cur_;
        const JavaType& t = callee->ret;
        if (t.is_ref()) {
            const bool isString = t == class_type("java.lang.String");
            if (isString ? v.kind != Operand::Kind::String : v.kind != Operand::Kind::Keyed || v.keyword != "class")
                refuse(isString ? "a string" : "a class (write class pkg.Name)");
            use_ref(r);
            o = v;
            o.where = cur_;
            return const_ref(r, o);
        }
        auto integer_in = [&](std::int64_t lo, std::int64_t hi, const std::string& what) {
            if (!integral || v.long_suffix || v.value < lo || v.value > hi) refuse(what);
            o.kind = Operand::Kind::Integer;
            o.value = v.value;
        };
        switch (t.base) {
            case BaseKind::Boolean:
                if (v.kind == Operand::Kind::Word && (v.text == "true" || v.text == "false")) {
                    o.kind = Operand::Kind::Integer;
                    o.value = v.text == "true" ? 1 : 0;
                } else {
                    integer_in(0, 1, "a boolean (true or false)");
                }
                break;
            case BaseKind::Byte: integer_in(-128, 127, "a byte"); break;
            case BaseKind::Short: integer_in(-32768, 32767, "a short"); break;
            case BaseKind::Char: integer_in(0, 0xFFFF, "a char"); break;
            case BaseKind::Int: integer_in(std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(), "an int"); break;
            case BaseKind::Long:
                if (!integral) refuse("a long");
                o.kind = Operand::Kind::Integer;
                o.value = v.value;
                break;
            case BaseKind::Float:
            case BaseKind::Double: {
                const bool single = t.base == BaseKind::Float;
                if (v.kind == Operand::Kind::Floating) {
                    o.fvalue = single ? static_cast<double>(static_cast<float>(v.fvalue)) : v.fvalue;
                } else if (integral && !v.long_suffix) {
                    o.fvalue = single ? static_cast<double>(static_cast<float>(v.value)) : static_cast<double>(v.value);
                } else {
                    refuse(single ? "a float" : "a double");
                }
                o.kind = Operand::Kind::Floating;
                o.single = single;
                break;
            }
            default: refuse("of a constant's type");
        }
        const int words = t.prim_words();
        use_prim(p - words, words);
        if (words == 2) return const64(p - 2, o);
        const32(p - 1, o);
    }
    int prim_base(const Operand& o) {
        cur_ = o.where;
        RegisterAlias a;
        if (!try_register(o, a) || a.ref) error("expected a primitive base register (p0, p-3, ...)");
        return a.index;
    }
    int ref_base(const Operand& o) {
        cur_ = o.where;
        RegisterAlias a;
        if (!try_register(o, a) || !a.ref) error("expected a reference base register (r0, r2, ...)");
        return a.index;
    }
    static int routine_index(const std::string& sym) { return inline_routine_by_name(sym); }

    // An inline routine in place of a call: its operands are the registers
    // the call's arguments and result occupy.
    void inline_call(const Method* callee, int p, int r) {
        std::vector<std::int64_t> regs;
        int pc = p, rc = r;
        for (const Param& par : callee->params) {
            if (par.type.is_ref()) {
                use_ref(rc);
                regs.push_back(rc++);
            } else {
                pc -= par.type.prim_words();
                use_prim(pc, par.type.prim_words());
                regs.push_back(pc);
            }
        }
        if (!callee->ret.is_void()) {
            if (callee->ret.is_ref()) error("inline routines return primitives");
            const int w = callee->ret.prim_words();
            use_prim(p - w, w);
            regs.push_back(p - w);
        }
        emit_native_code(callee->native_symbol, regs, callee->where);
    }
    void emit_native_code(const std::string& sym, const std::vector<std::int64_t>& regs, const SourceLocation& where) {
        const int idx = routine_index(sym);
        if (idx < 0) fail(where, "'" + sym + "' is not an inline routine");
        const std::string letters = kInlineRoutines[idx].operands;
        if (letters.size() != regs.size())
            fail(where, sym + " takes " + std::to_string(letters.size()) + " register operands, not " + std::to_string(regs.size()));
        Arg w;
        w.has_ref = true;
        w.ref = symbol_ref(sym);
        Arg list;
        list.list = regs;
        single(OPnative_code, {w, list});
    }
    void native_code(const CodeLine& l) {
        if (l.operands.empty()) { cur_ = l.where; error("native_code names its routine"); }
        const Operand& s = l.operands[0];
        cur_ = s.where;
        std::string sym;
        if (s.kind == Operand::Kind::Word) sym = s.text;
        else if (s.kind == Operand::Kind::Keyed && s.keyword == "symbol") sym = s.text;
        else error("native_code names its routine");
        const int idx = routine_index(sym);
        if (idx < 0) error("'" + sym + "' is not an inline routine");
        const std::string letters = kInlineRoutines[idx].operands;
        if (l.operands.size() - 1 != letters.size())
            error(sym + " takes " + std::to_string(letters.size()) + " register operands");
        std::vector<std::int64_t> regs;
        for (std::size_t i = 0; i < letters.size(); ++i) {
            const Operand& o = l.operands[i + 1];
            regs.push_back(letters[i] == 'R' ? ref(o) : prim(o, letters[i] == 'Q' ? 2 : 1));
        }
        emit_native_code(sym, regs, l.where);
    }

    void do_return(const CodeLine& l) {
        expect_count(l, 0, 1);
        int lowest;
        if (l.operands.size() == 1) {
            lowest = ref(l.operands[0]);
        } else {
            lowest = m_.returns_ref() ? -shape_.ref_base + 1 : -shape_.ref_base;
        }
        if (m_.returns_ref()) use_ref(-shape_.ref_base);
        if (lowest == 0) return single(OPreturn_0, {});
        if (lowest == -1) return single(OPreturn_m1, {});
        if (lowest == -2) return single(OPreturn_m2, {});
        single(OPreturn, {R(lowest)});
    }

    // --- native method bodies
    void native_body() {
        cur_ = m_.where;
        if (m_.native == NativeKind::Vm || m_.native == NativeKind::Constant) {
            Arg w;
            w.has_ref = true;
            w.ref = symbol_ref(m_.native_symbol);
            single(OPinvoke_vm_native, {w});
        } else if (m_.native == NativeKind::Inline) {
            std::vector<std::int64_t> regs;
            if (!m_.is_static) error("inline routines bind static methods");
            for (std::size_t i = 0; i < m_.params.size(); ++i) {
                regs.push_back(shape_.param_regs[i]);
                if (m_.params[i].type.is_ref()) use_ref(shape_.param_regs[i]);
                else use_prim(shape_.param_regs[i], m_.params[i].type.prim_words());
            }
            if (!m_.ret.is_void()) {
                if (m_.ret.is_ref()) error("inline routines return primitives");
                const int w = m_.ret.prim_words();
                regs.push_back(shape_.frame_words - w);
            }
            emit_native_code(m_.native_symbol, regs, m_.where);
        } else {
            if (!m_.is_static) error("native-interface methods are static");
            sni_call(shape_.frame_words, -shape_.ref_base);
        }
        CodeLine ret;
        ret.kind = CodeLine::Kind::Instruction;
        ret.name = "return";
        ret.where = m_.where;
        do_return(ret);
    }

    // OPinvoke_sni for this method's own arguments, placed as the
    // procedure-call standard with hardware floating point wants them:
    // integer words and array pointers in core slots (0-3 registers, then
    // the stack; a 64-bit integer on an even slot), floats and doubles in
    // s0-s15 / d0-d7 with back-filling, then on the stack.
    void sni_call(int p, int r) {
        std::vector<std::int64_t> descriptors;
        int ncrn = 0;   // next core register, 0-3
        int nsaa = 4;   // next stack slot
        int max_slot = -1;
        bool vfp_on_stack = false;
        std::uint32_t s_used = 0;  // bitmap of the single-precision registers
        auto stack_slots = [&](int words) {
            if (words == 2 && (nsaa & 1)) ++nsaa;
            const int at = nsaa;
            nsaa += words;
            max_slot = std::max(max_slot, nsaa - 1);
            return at;
        };
        auto core_slots = [&](int words) {
            if (words == 2 && (ncrn & 1)) ++ncrn;
            if (ncrn + words <= 4) {
                const int at = ncrn;
                ncrn += words;
                max_slot = std::max(max_slot, ncrn - 1);
                return at;
            }
            ncrn = 4;  // no argument is split between registers and the stack
            return stack_slots(words);
        };
        for (const Param& par : m_.params) {
            const JavaType& t = par.type;
            std::uint8_t d = 0;
            int slot = -1;
            if (t.is_ref()) {
                if (!t.is_array()) error("a native-interface method takes arrays, not " + t.java_name());
                d |= kSniArgRef;
                slot = core_slots(1);
            } else if (t.is_floating()) {
                d |= t.is_wide() ? kSniArg64 : 0;
                if (!vfp_on_stack) {
                    if (t.is_wide()) {
                        for (int k = 0; k < 16; k += 2)
                            if (!(s_used & (3u << k))) { s_used |= 3u << k; slot = k / 2; break; }
                    } else {
                        for (int k = 0; k < 16; ++k)
                            if (!(s_used & (1u << k))) { s_used |= 1u << k; slot = k; break; }
                    }
                }
                if (slot >= 0) {
                    d |= kSniArgFloat;
                } else {
                    vfp_on_stack = true;  // no back-filling once one went to the stack
                    slot = stack_slots(t.is_wide() ? 2 : 1);
                }
            } else {
                d |= t.is_wide() ? kSniArg64 : 0;
                slot = core_slots(t.is_wide() ? 2 : 1);
            }
            if (slot > 31) error("too many native arguments");
            descriptors.push_back(d | (slot << kSniSlotShift));
        }
        if (descriptors.size() > kSniCountMask) error("too many native arguments");
        const int units = std::max<int>(kSniMinAreaUnits, (max_slot + 2) / 2);
        if (units > 15) error("native arguments need too large an argument area");
        std::uint8_t result = kSniVoid;
        const JavaType& rt = m_.ret;
        if (rt.is_ref()) {
            if (!rt.is_array()) error("a native-interface method returns an array, not " + rt.java_name());
            result = kSniRef;
        } else {
            switch (rt.base) {
                case BaseKind::Void: result = kSniVoid; break;
                case BaseKind::Boolean: result = kSniBoolean; break;
                case BaseKind::Byte: result = kSniByte; break;
                case BaseKind::Char: result = kSniChar; break;
                case BaseKind::Short: result = kSniShort; break;
                case BaseKind::Int: result = kSniInt; break;
                case BaseKind::Long: result = kSniLong; break;
                case BaseKind::Float: result = kSniFloat; break;
                case BaseKind::Double: result = kSniDouble; break;
                default: break;
            }
        }
        // The registers the call reads and writes.
        int pc = p;
        int rc = r;
        for (const Param& par : m_.params) {
            if (par.type.is_ref()) use_ref(rc++);
            else { pc -= par.type.prim_words(); use_prim(pc, par.type.prim_words()); }
        }
        if (rt.is_ref()) use_ref(r);
        else if (!rt.is_void()) use_prim(p - rt.prim_words(), rt.prim_words());
        Arg w;
        w.has_ref = true;
        w.ref = symbol_ref(m_.native_symbol);
        Arg desc;
        desc.list = descriptors;
        single(OPinvoke_sni, {w, R(p), R(r), R((result << 4) | units),
                              R((m_.native_io ? kSniIoExceptionFlag : 0) | static_cast<int>(descriptors.size())), desc});
    }

    // --- exact opcodes
    void forced(const CodeLine& l) {
        const int op = opcode_by_name(l.name);
        cur_ = l.where;
        if (op < 0) error("unknown opcode '" + l.name + "'");
        exact(l, static_cast<std::uint8_t>(op), true);
    }
    void exact(const CodeLine& l, std::uint8_t op, bool is_forced) {
        const OperandList& ol = operands_of(op);
        if (op == OPtableswitch) return tableswitch(l);
        if (op == OPlookupswitch) return lookupswitch(l);
        if (op == OPnative_code) return native_code(l);
        std::vector<Arg> args;
        std::size_t k = 0;
        auto next = [&]() -> const Operand& {
            if (k >= l.operands.size()) { cur_ = l.where; error("too few operands for " + std::string(opcode_info(op).name)); }
            return l.operands[k++];
        };
        auto reg = [&](Window w) -> std::int64_t {
            const Operand& o = next();
            if (w == Window::Ref) return ref(o);
            return prim(o, w == Window::Pair ? 2 : 1);
        };
        // Call bases are positions, not registers the instruction reads.
        auto is_base = [&](unsigned i) {
            switch (op) {
                case OPinvoke_sni: return i == 1 || i == 2;
                case OPinvokevirtual: case OPinvokevirtual_obj: case OPinvokespecial: case OPinvokestatic:
                case OPinvokeinterface:
                    return i == 0 || i == 1;
                case OPinvokeindirect: return i == 3 || i == 4;
                default: return false;
            }
        };
        for (unsigned i = 0; i < ol.count; ++i) {
            const Operand_& d = ol.items[i];
            if (is_base(i)) {
                const Operand& o = next();
                args.push_back(R(d.kind == OperandKind::RefReg ? ref_base(o) : prim_base(o)));
                continue;
            }
            switch (d.kind) {
                case OperandKind::PrimReg: case OperandKind::PairReg: case OperandKind::RefReg:
                    args.push_back(R(reg(d.first)));
                    break;
                case OperandKind::Nibbles: {
                    const std::int64_t a = reg(d.first);
                    const std::int64_t b = reg(d.second);
                    if (!fits_nibble(static_cast<int>(a)) || !fits_nibble(static_cast<int>(b))) error("4-bit register operands are -8 to 7");
                    args.push_back(N(a, b));
                    break;
                }
                case OperandKind::FieldNibble: {
                    const std::int64_t a = reg(d.first);
                    if (!fits_nibble(static_cast<int>(a))) error("4-bit register operands are -8 to 7");
                    args.push_back(N(a, integer(next(), 0, 15, "field index")));
                    break;
                }
                case OperandKind::S8: args.push_back(R(integer(next(), -128, 127, "8-bit constant"))); break;
                case OperandKind::U8: args.push_back(R(integer(next(), 0, 255, "8-bit constant"))); break;
                case OperandKind::S16: args.push_back(R(integer(next(), -32768, 32767, "16-bit constant"))); break;
                case OperandKind::U16: case OperandKind::FieldU16:
                    args.push_back(R(integer(next(), 0, 65535, "16-bit constant")));
                    break;
                case OperandKind::U32: args.push_back(word_arg(next())); break;
                case OperandKind::Offset8: case OperandKind::Offset16: {
                    const Operand& o = next();
                    if (o.kind == Operand::Kind::Integer && is_forced) {
                        args.push_back(R(integer(o, 0, d.kind == OperandKind::Offset8 ? 255 : 65535, "branch offset")));
                    } else {
                        args.push_back(L(label(o)));
                    }
                    break;
                }
                case OperandKind::SniDescriptors: {
                    Arg list;
                    while (k < l.operands.size()) list.list.push_back(integer(next(), 0, 255, "descriptor byte"));
                    if (!args.empty() && static_cast<std::size_t>(args.back().v & kSniCountMask) != list.list.size())
                        error("the argument count does not match the descriptor bytes");
                    args.push_back(list);
                    break;
                }
                default:
                    error("operand kind not supported here");
            }
        }
        if (k != l.operands.size()) { cur_ = l.where; error("too many operands for " + std::string(opcode_info(op).name)); }
        if (op == OPinvoke_sni) {
            // Register use of an explicit native-interface call is the
            // caller's to declare; nothing to add.
        }
        // A forced branch keeps its direction; check it against the label.
        if (is_branch(opcode_info(op).kind)) {
            for (const Arg& a : args) {
                if (a.label < 0) continue;
                const bool back = label_item_[a.label] >= 0;
                if (back != is_backward(opcode_info(op).kind))
                    error(std::string(opcode_info(op).name) + (back ? " jumps forward but its target comes before it"
                                                                     : " jumps backward but its target comes after it"));
            }
        }
        single(op, std::move(args));
    }
    using Operand_ = bytecode::Operand;

    // --- layout
    void check_labels() {
        for (std::size_t i = 0; i < label_names_.size(); ++i)
            if (label_item_[i] < 0) fail(label_first_use_[i], "undefined label '" + label_names_[i] + "'");
    }

    std::uint32_t target_addr(int label, const Item& it, std::uint32_t item_end) const {
        if (label == kEndOfItem) return item_end;
        if (label == kLastPartOfItem) return item_end - opcode_info(it.forms[it.chosen].parts.back().op).length;
        return label_addr_[static_cast<std::size_t>(label)];
    }

    // Whether every branch of the item's chosen form reaches its target.
    bool fits(const Item& it) const {
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
                if (!ok(p.args[1].label)) return false;
                for (int lab : p.args[1].labels) if (!ok(lab)) return false;
            } else if (is_branch(kind)) {
                const Arg& ba = p.args.back();
                if (ba.label != -1) {
                    const std::uint32_t t = target_addr(ba.label, it, end);
                    const std::int64_t off = is_backward(kind) ? static_cast<std::int64_t>(next) - t
                                                               : static_cast<std::int64_t>(t) - next;
                    const std::int64_t max = operands_of(op).items[operands_of(op).count - 1].kind == OperandKind::Offset8 ? 255 : 0xFFFF;
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
    void place(std::uint32_t start) {
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

    // The code starts at a 4-aligned method address + 5 or + 10, so the
    // residue of every address mod 4 is known before the image layout.
    std::uint32_t start_ = 0;
    // A part whose aligned operand would fall on an odd address, and that
    // has no alternative form, gets a nop before it, which is executed each
    // time. Where an earlier instruction has a form one byte longer, taking
    // that form moves the part to an even address instead: the same bytes,
    // one dispatch fewer. The pads are taken in order, each with the
    // nearest widenable instructions before it (across labels and branches:
    // a wider form costs nothing where it runs); a widening is kept only if
    // the padding's cost goes down, so a pad inside a loop is not traded for
    // one that runs as often or more.
    static constexpr int kWideningTriesPerPad = 16;
    void avoid_padding() {
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
    std::size_t first_padded_item(std::size_t from) const {
        for (std::size_t i = from; i < items_.size(); ++i) {
            if (item_pads(items_[i]) != 0) return i;
        }
        return items_.size();
    }

    std::size_t item_pads(const Item& it) const {
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
    std::vector<int> loop_depths() const {
        std::vector<int> change(items_.size() + 1, 0);
        for (std::size_t i = 0; i < items_.size(); ++i) {
            const Item& it = items_[i];
            if (it.kind != Item::Kind::Instruction) continue;
            for (const Part& p : it.forms[it.chosen].parts) {
                if (!is_branch(opcode_info(p.op).kind) || p.args.empty()) continue;
                const int label = p.args.back().label;
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
    std::uint64_t padding_cost() const {
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

    void relax() {
        label_addr_.assign(label_names_.size(), 0);
        const bool compact_possible = will_be_compact_candidate();
        start_ = compact_possible ? image::kCompactCodeOffset : image::kFullCodeOffset;
        for (int round = 0; round < 1000; ++round) {
            place(start_);
            bool changed = false;
            for (Item& it : items_) {
                if (it.kind != Item::Kind::Instruction || fits(it)) continue;
                if (it.chosen + 1 >= it.forms.size()) {
                    cur_ = it.where;
                    error(it.forms.size() == 1 && (opcode_info(it.forms[0].parts[0].op).kind == OpKind::Switch)
                              ? "a switch target must follow the switch, within 65535 bytes"
                              : "branch target out of range");
                }
                ++it.chosen;
                changed = true;
            }
            if (!changed) return;
        }
        error("the layout of this method does not settle");
    }

    // The header form decides the code's address residue; it depends only
    // on the registers and the calls, which are known before the layout.
    bool will_be_compact_candidate() {
        image::MethodHeader h = header_fields();
        h.handler_count = static_cast<std::uint8_t>(m_.handlers.size());
        return !m_.force_full_header && !calls_ && image::fits_compact_header(h);
    }

    image::MethodHeader header_fields() const {
        image::MethodHeader h;
        h.returns_ref = m_.returns_ref();
        h.keep_context = m_.keep_context;
        h.ref_args = static_cast<std::uint8_t>(shape_.kept_refs);
        h.ref_base = static_cast<std::uint8_t>(shape_.ref_base);
        h.frame_words = static_cast<std::uint8_t>(shape_.frame_words);
        int above = ref_max_ + 1;
        if (!m_.handlers.empty()) above = std::max(above, 1);  // the caught exception goes to r0
        h.refs_above = static_cast<std::uint8_t>(std::max(above, 0));
        h.prim_below = static_cast<std::uint8_t>(std::max(-prim_min_, 0));
        return h;
    }

    void compute_header() {
        cur_ = m_.where;
        if (m_.handlers.size() > image::kFullMaxHandlers) error("a method has at most 63 handler entries");
        if (shape_.kept_refs > static_cast<int>(image::kFullMaxRefArgs)) error("too many reference arguments");
        if (shape_.ref_base > 128) error("too many reference registers below the base (at most 128)");
        if (shape_.frame_words > 127) error("too many primitive registers");
        image::MethodHeader h = header_fields();
        h.handler_count = static_cast<std::uint8_t>(m_.handlers.size());
        h.compact = start_ == image::kCompactCodeOffset;
        // A frame lives in one block of the Java stack: a larger one could
        // only ever fail at run time with StackOverflowError.
        const std::uint32_t frame = 4u * (h.ref_base + h.refs_above) + 4u * (h.frame_words + h.prim_below);
        const std::uint32_t block = ctx_.program.config_value("_java_vmthread_java_stack_block_size");
        const std::uint32_t room = block > kStackBlockHeaderBytes ? block - kStackBlockHeaderBytes : 0;
        if (frame > room)
            error("the frame of '" + m_.display_name() + "' takes " + std::to_string(frame) +
                  " bytes, more than a Java stack block holds (" + std::to_string(room) + " bytes of a " +
                  std::to_string(block) + "-byte block; raise _java_vmthread_java_stack_block_size)");
        m_.header = h;
    }

    void encode() {
        std::vector<std::uint8_t>& out = m_.code_bytes;
        out.clear();
        m_.fixups.clear();
        for (Item& it : items_) {
            cur_ = it.where;
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
                encode_part(op, p, start_ + static_cast<std::uint32_t>(out.size()), it, end, out);
            }
            if (start_ + out.size() != end) error("internal: instruction size changed while encoding");
        }
    }

    void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
        put16(out, v & 0xFFFF);
        put16(out, v >> 16);
    }
    void put_word(std::vector<std::uint8_t>& out, const Arg& a) {
        if (a.has_ref) {
            m_.fixups.push_back(CodeFixup{static_cast<std::uint32_t>(out.size()), a.ref});
            put32(out, 0);
        } else {
            put32(out, static_cast<std::uint32_t>(a.v));
        }
    }

    void encode_part(std::uint8_t op, const Part& p, std::uint32_t a, const Item& it, std::uint32_t item_end,
                     std::vector<std::uint8_t>& out) {
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
                    put_word(out, g);
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
        if (out.size() - begin != part_length(op, p, a)) error("internal: encoded length differs from the table");
    }

    void resolve_handlers() {
        m_.handler_table.clear();
        for (const Handler& h : m_.handlers) {
            cur_ = h.where;
            ResolvedHandler r;
            if (!h.catch_type.empty()) {
                r.catch_type = ctx_.type_or_fail(h.catch_type, h.where);
                if (r.catch_type->is_array()) error("a handler catches a class, not " + r.catch_type->name);
            }
            auto pos = [&](const std::string& name) {
                auto it = label_ids_.find(name);
                if (it == label_ids_.end()) error("undefined label '" + name + "'");
                return label_addr_[static_cast<std::size_t>(it->second)] - start_;
            };
            r.start = pos(h.from);
            r.end = pos(h.to);
            r.target = pos(h.target);
            if (r.end <= r.start) error("the protected range of a handler is empty or reversed");
            m_.handler_table.push_back(r);
        }
    }
};

}  // namespace

void assemble_methods(LinkContext& ctx) {
    for (Type* t : ctx.all_types()) {
        for (auto& mp : t->methods) {
            Method& m = *mp;
            if (!m.has_code()) continue;
            MethodAssembler a(ctx, m);
            a.run();
        }
    }
}

}  // namespace tarvelo::imagelink
