#include "tools/imagelink/method_assembler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <utility>

#include "tools/imagelink/branch_forms.h"
#include "tools/imagelink/code_items.h"
#include "tools/imagelink/code_layout.h"
#include "tools/imagelink/code_operands.h"
#include "tools/imagelink/sni_arguments.h"
#include "tools/imagelink/text_lexer.h"
#include "tools/imagelink/text_parser.h"
#include "vm/core/bytecode/opcodes.h"
#include "vm/model/method_record.h"
#include "vm/core/threads/java_stack.h"

namespace tarvelo::imagelink {

using namespace bytecode;

FrameShape frame_shape(const Method& m) {
    FrameShape f;
    const int arg_words = m.prim_arg_words();
    const int ret_words = m.ret.prim_words();
    f.frame_words = static_cast<int>(image::kFrameRecordWords) + std::max(m.temps + arg_words, ret_words);
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

class MethodAssembler : CodeOperands {
public:
    using CodeOperands::CodeOperands;

    void run() {
        if (m_.native != NativeKind::None) {
            native_body();
        } else {
            for (const CodeLine& line : m_.code) line_to_items(line);
        }
        check_labels();
        // The header form decides the code's address residue.
        layout_.emplace(items_, label_item_,
                        will_be_compact_candidate() ? image::kCompactCodeOffset : image::kFullCodeOffset, cur_);
        layout_->relax();
        layout_->avoid_padding();
        compute_header();
        layout_->encode(m_.code_bytes, m_.fixups);
        resolve_handlers();
    }

private:
    std::vector<Item> items_;
    std::optional<CodeLayout> layout_;
    bool calls_ = false;
    // A string just loaded by `const_ref` and its register (the instruction
    // before the one being assembled): the name a Constants call takes.
    std::optional<std::pair<int, std::u16string>> loaded_string_, string_before_;

    // --- items
    Item& add_item(Form f) {
        Item it;
        it.kind = Item::Kind::Instruction;
        it.where = cur_;
        it.forms.push_back(std::move(f));
        items_.push_back(std::move(it));
        return items_.back();
    }
    void single(std::uint8_t op, std::vector<Arg> args, int alt = -1) {
        note_calls(op);
        note_implicit(op);
        add_item(Form{{make_part(op, std::move(args), alt)}});
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
        if (auto c = if_relation(n)) return branch_z(l, *c);
        if (auto c = if_icmp_relation(n)) {
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
            return a == -1 ? single(OPathrow_m1, {}) : single(OPathrow, {reg_arg(a)});
        }
        if (n == "new") {
            expect_count(l, 2);
            const int d = ref(l.operands[0]);
            Type* t = type_operand(l.operands[1]);
            if (!t->is_class() || t->is_abstract) error("'new' needs a class that has instances, not " + t->name);
            Arg w;
            w.has_ref = true;
            w.ref = type_ref(t);
            return d == -1 ? single(OPnew_m1, {w}) : single(OPnew, {reg_arg(d), w});
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
            return single(op, {reg_arg(d), reg_arg(len), w});
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
            return single(OPmultianewarray, {reg_arg(d), reg_arg(first), reg_arg(dims), w});
        }
        if (n == "aload_int" || n == "astore_int" || n == "aload_ref" || n == "astore_ref") return array_access(l);
        if (n == "native_code") return native_code(l);
        const int op = opcode_by_name("OP" + n);
        if (op < 0) error("unknown instruction '" + n + "'");
        exact(l, static_cast<std::uint8_t>(op), false);
    }

    void move(int d, int s) {
        if (fits_nibble(d) && fits_nibble(s)) return single_or_wider(OPmove_4, {nibbles_arg(d, s)}, OPmove, {reg_arg(d), reg_arg(s)});
        single(OPmove, {reg_arg(d), reg_arg(s)});
    }
    void move_ref(int d, int s) {
        if (d == 0 && s == -1) return single(OPmove_ref_m1, {});
        if (d == 0 && s == -2) return single(OPmove_ref_m2, {});
        if (fits_nibble(d) && fits_nibble(s)) return single_or_wider(OPmove_ref_4, {nibbles_arg(d, s)}, OPmove_ref, {reg_arg(d), reg_arg(s)});
        single(OPmove_ref, {reg_arg(d), reg_arg(s)});
    }
    // A short form, with a form one byte longer that avoid_padding() may take.
    void single_or_wider(std::uint8_t op, std::vector<Arg> args, std::uint8_t wide_op, std::vector<Arg> wide_args) {
        single(op, std::move(args));
        Item& it = items_.back();
        it.forms.push_back(Form{{make_part(wide_op, std::move(wide_args))}});
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
        if (v == 0) return single_or_wider(OPconst_0, {reg_arg(d)}, OPconst_i8, {reg_arg(d), reg_arg(0)});
        if (v == 1) return single_or_wider(OPconst_1, {reg_arg(d)}, OPconst_i8, {reg_arg(d), reg_arg(1)});
        if (v >= -128 && v <= 127) return single(OPconst_i8, {reg_arg(d), reg_arg(v)});
        if (v >= -32768 && v <= 32767) return single(OPconst_i16, {reg_arg(d), reg_arg(v)}, OPconst_i16_r);
        single(OPconst_i32, {reg_arg(d), reg_arg(static_cast<std::uint32_t>(v))}, OPconst_i32_r);
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
        if (sv >= -128 && sv <= 127) return single(OPconst64_i8, {reg_arg(d), reg_arg(sv)});
        single(OPconst64, {reg_arg(d), reg_arg(bits & 0xFFFFFFFFu), reg_arg(bits >> 32)}, OPconst64_r);
    }
    void const_ref(int d, const Operand& o) {
        cur_ = o.where;
        if (o.kind == Operand::Kind::Word && o.text == "null") return single(OPconst_null, {reg_arg(d)});
        Arg w = word_arg(o);
        if (!w.has_ref) error("'const_ref' takes a string, class, immutable or symbol");
        single(OPconst_ref, {reg_arg(d), w}, OPconst_ref_r);
    }

    // --- branches
    void branch_z(const CodeLine& l, Rel rel) {
        expect_count(l, 2, 3);
        const int r = prim(l.operands[0]);
        if (l.operands.size() == 2) return branch(Cond{CondKind::Zero, rel, 0, r}, label(l.operands[1]));
        const std::int64_t c = integer(l.operands[1], -128, 127, "comparison constant");
        branch(Cond{CondKind::Imm, rel, c, r}, label(l.operands[2]));
    }
    void branch(const Cond& c, int target) {
        const bool back = label_item_[target] >= 0;  // defined before this instruction
        Item it;
        it.kind = Item::Kind::Instruction;
        it.where = cur_;
        it.forms = branch_forms(c, back, target);
        if (it.forms.empty()) error("no instruction encodes this branch");
        items_.push_back(std::move(it));
    }

    // --- switches
    void tableswitch(const CodeLine& l) {
        if (l.operands.size() < 3) { cur_ = l.where; error("tableswitch key, low, default, targets..."); }
        Arg key = reg_arg(prim(l.operands[0]));
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
        Arg key = reg_arg(prim(l.operands[0]));
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
            return single(get ? OPgetfield_ref : OPputfield_ref, {reg_arg(v), reg_arg(obj), reg_arg(dist)});
        }
        const int v = prim(l.operands[0], fam == 4 ? 2 : 1);
        const std::int32_t off = f->offset;
        static const std::uint8_t get8[] = {OPgetfield_byte, OPgetfield_short, OPgetfield_char, OPgetfield_int, OPgetfield_long};
        static const std::uint8_t get16[] = {OPgetfield_byte_w, OPgetfield_short_w, OPgetfield_char_w, OPgetfield_int_w, OPgetfield_long_w};
        static const std::uint8_t put8[] = {OPputfield_byte, OPputfield_short, OPputfield_short, OPputfield_int, OPputfield_long};
        static const std::uint8_t put16[] = {OPputfield_byte_w, OPputfield_short_w, OPputfield_short_w, OPputfield_int_w, OPputfield_long_w};
        if (get && fam == 3 && off == 8 && fits_nibble(v) && fits_nibble(obj)) return single(OPgetfield_int_4, {nibbles_arg(v, obj)});
        if (off <= 255) return single((get ? get8 : put8)[fam], {reg_arg(v), reg_arg(obj), reg_arg(off)});
        single((get ? get16 : put16)[fam], {reg_arg(v), reg_arg(obj), reg_arg(off)});
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
        single((get ? gets : puts)[fam], {nibbles_arg(reg, index)});
    }
    void static_access(const CodeLine& l, bool get) {
        expect_count(l, 2);
        Field* f = field_operand(l.operands[1]);
        if (!f->is_static) error("'" + f->name + "' is an instance field");
        const std::uint8_t fam = family_index(f->type);
        Arg w;
        w.has_ref = true;
        w.ref = static_ref(f);
        if (fam == 5) return single(get ? OPgetstatic_ref : OPputstatic_ref, {reg_arg(ref(l.operands[0])), w});
        static const std::uint8_t gets[] = {OPgetstatic_byte, OPgetstatic_short, OPgetstatic_char, OPgetstatic_int, OPgetstatic_long};
        static const std::uint8_t puts[] = {OPputstatic_byte, OPputstatic_short, OPputstatic_short, OPputstatic_int, OPputstatic_long};
        single((get ? gets : puts)[fam], {reg_arg(prim(l.operands[0], fam == 4 ? 2 : 1)), w});
    }
    void array_access(const CodeLine& l) {
        expect_count(l, 3);
        const std::string& n = l.name;
        if (n == "aload_int") {
            const int d = prim(l.operands[0]), a = ref(l.operands[1]), i = prim(l.operands[2]);
            if (a == -1 && fits_nibble(d) && fits_nibble(i)) return single(OPaload_int_4, {nibbles_arg(d, i)});
            return single(OPaload_int, {reg_arg(d), reg_arg(a), reg_arg(i)});
        }
        if (n == "astore_int") {
            const int a = ref(l.operands[0]), i = prim(l.operands[1]), v = prim(l.operands[2]);
            if (a == -1 && fits_nibble(i) && fits_nibble(v)) return single(OPastore_int_4, {nibbles_arg(i, v)});
            return single(OPastore_int, {reg_arg(a), reg_arg(i), reg_arg(v)});
        }
        if (n == "aload_ref") {
            const int d = ref(l.operands[0]), a = ref(l.operands[1]), i = prim(l.operands[2]);
            if (a == -1 && fits_nibble(d) && fits_nibble(i)) return single(OPaload_ref_4, {nibbles_arg(d, i)});
            return single(OPaload_ref, {reg_arg(d), reg_arg(a), reg_arg(i)});
        }
        const int a = ref(l.operands[0]), i = prim(l.operands[1]), v = ref(l.operands[2]);
        if (a == -2 && fits_nibble(i) && fits_nibble(v)) return single(OPastore_ref_4, {nibbles_arg(i, v)});
        single(OPastore_ref, {reg_arg(a), reg_arg(i), reg_arg(v)});
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
            return single(OPinvokestatic, {reg_arg(p), reg_arg(r), w});
        }
        if (n == "invokespecial") {
            if (p == 0 && r == 0) return single(OPinvokespecial_0, {w});
            return single(OPinvokespecial, {reg_arg(p), reg_arg(r), w});
        }
        if (n == "this_invokespecial") return single(OPthis_invokespecial, {w});
        if (n == "invokeinterface") {
            const Type* owner = callee->owner;
            if (!owner->is_interface()) error(callee->display_name() + " is not an interface method");
            return single(OPinvokeinterface, {reg_arg(p), reg_arg(r), reg_arg(owner->interface_id), reg_arg(callee->interface_index)});
        }
        // Virtual calls.
        if (callee->owner->is_interface()) error(callee->display_name() + " is an interface method; use invokeinterface");
        if (!callee->is_virtual()) error(callee->display_name() + " is not virtual; use invokespecial");
        const int slot = callee->vtable_slot;
        if (n == "this_invokevirtual") {
            if (slot > 255) error("virtual slot above 255; use invokevirtual");
            return single(OPthis_invokevirtual, {reg_arg(slot)});
        }
        // Methods of Object may be called on arrays, which dispatch through
        // Object's table.
        if (callee->owner == ctx_.object_type()) return single(OPinvokevirtual_obj, {reg_arg(p), reg_arg(r), reg_arg(slot)});
        if (p == 0 && r == 0 && slot <= 255) return single(OPinvokevirtual_0, {reg_arg(slot)});
        single(OPinvokevirtual, {reg_arg(p), reg_arg(r), reg_arg(slot)});
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
        single(OPreturn, {reg_arg(lowest)});
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

    // OPinvoke_sni for this method's own arguments.
    void sni_call(int p, int r) {
        const SniSignature sig = sni_signature(m_);
        const JavaType& rt = m_.ret;
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
        desc.list = sig.descriptors;
        single(OPinvoke_sni, {w, reg_arg(p), reg_arg(r), reg_arg((sig.result << 4) | sig.area_units),
                              reg_arg((m_.native_io ? kSniIoExceptionFlag : 0) | static_cast<int>(sig.descriptors.size())), desc});
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
        for (unsigned i = 0; i < ol.count; ++i) {
            const Operand_& d = ol.items[i];
            // Call bases are positions, not registers the instruction reads.
            if (d.call_base) {
                const Operand& o = next();
                args.push_back(reg_arg(d.kind == OperandKind::RefReg ? ref_base(o) : prim_base(o)));
                continue;
            }
            switch (d.kind) {
                case OperandKind::PrimReg: case OperandKind::PairReg: case OperandKind::RefReg:
                    args.push_back(reg_arg(reg(d.first)));
                    break;
                case OperandKind::Nibbles: {
                    const std::int64_t a = reg(d.first);
                    const std::int64_t b = reg(d.second);
                    if (!fits_nibble(static_cast<int>(a)) || !fits_nibble(static_cast<int>(b))) error("4-bit register operands are -8 to 7");
                    args.push_back(nibbles_arg(a, b));
                    break;
                }
                case OperandKind::FieldNibble: {
                    const std::int64_t a = reg(d.first);
                    if (!fits_nibble(static_cast<int>(a))) error("4-bit register operands are -8 to 7");
                    args.push_back(nibbles_arg(a, integer(next(), 0, 15, "field index")));
                    break;
                }
                case OperandKind::S8: args.push_back(reg_arg(integer(next(), -128, 127, "8-bit constant"))); break;
                case OperandKind::U8: args.push_back(reg_arg(integer(next(), 0, 255, "8-bit constant"))); break;
                case OperandKind::S16: args.push_back(reg_arg(integer(next(), -32768, 32767, "16-bit constant"))); break;
                case OperandKind::U16: case OperandKind::FieldU16:
                    args.push_back(reg_arg(integer(next(), 0, 65535, "16-bit constant")));
                    break;
                case OperandKind::U32: args.push_back(word_arg(next())); break;
                case OperandKind::Offset8: case OperandKind::Offset16: {
                    const Operand& o = next();
                    if (o.kind == Operand::Kind::Integer && is_forced) {
                        args.push_back(reg_arg(integer(o, 0, d.kind == OperandKind::Offset8 ? 255 : 65535, "branch offset")));
                    } else {
                        args.push_back(label_arg(label(o)));
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
        h.compact = layout_->start() == image::kCompactCodeOffset;
        // A frame lives in one block of the Java stack: a larger one could
        // only ever fail at run time with StackOverflowError.
        const std::uint32_t frame = 4u * (h.ref_base + h.refs_above) + 4u * (h.frame_words + h.prim_below);
        const std::uint32_t block = ctx_.program.config_value("_java_vmthread_java_stack_block_size");
        constexpr std::uint32_t header = sizeof(StackBlock);
        const std::uint32_t room = block > header ? block - header : 0;
        if (frame > room)
            error("the frame of '" + m_.display_name() + "' takes " + std::to_string(frame) +
                  " bytes, more than a Java stack block holds (" + std::to_string(room) + " bytes of a " +
                  std::to_string(block) + "-byte block; raise _java_vmthread_java_stack_block_size)");
        m_.header = h;
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
                return layout_->label_offset(it->second);
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
