#include "tools/imagelink/code_operands.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "tools/imagelink/link_error.h"
#include "tools/imagelink/text_parser.h"
#include "vm/model/method_record.h"

namespace tarvelo::imagelink {

CodeOperands::CodeOperands(LinkContext& ctx, Method& m) : ctx_(ctx), m_(m), shape_(frame_shape(m)) { build_names(); }

void CodeOperands::error(const std::string& msg) const { fail(cur_, msg); }

void CodeOperands::build_names() {
    if (!m_.is_static) names_["this"] = RegisterAlias{true, shape_.receiver_reg};
    for (std::size_t i = 0; i < m_.params.size(); ++i)
        names_[m_.params[i].name] = RegisterAlias{m_.params[i].type.is_ref(), shape_.param_regs[i]};
    for (const auto& [n, a] : m_.aliases) names_[n] = a;
}

bool CodeOperands::try_register(const Operand& o, RegisterAlias& r) const {
    if (o.kind != Operand::Kind::Word) return false;
    if (parse_register_name(o.text, r)) return true;
    auto it = names_.find(o.text);
    if (it == names_.end()) return false;
    r = it->second;
    return true;
}

int CodeOperands::prim(const Operand& o, int words) {
    cur_ = o.where;
    RegisterAlias r;
    if (!try_register(o, r)) error("expected a primitive register, found '" + describe(o) + "'");
    if (r.ref) error("'" + o.text + "' is a reference register; a primitive register is needed here");
    use_prim(r.index, words);
    return r.index;
}

int CodeOperands::ref(const Operand& o) {
    cur_ = o.where;
    RegisterAlias r;
    if (!try_register(o, r)) error("expected a reference register, found '" + describe(o) + "'");
    if (!r.ref) error("'" + o.text + "' is a primitive register; a reference register is needed here");
    use_ref(r.index);
    return r.index;
}

void CodeOperands::use_prim(int reg, int words) {
    for (int k = 0; k < words; ++k) {
        const int r = reg + k;
        if (r >= 0 && r < static_cast<int>(image::kFrameRecordWords)) error("registers p0 to p4 hold the frame record");
        if (r >= shape_.frame_words)
            error("register p" + std::to_string(r) + " lies above the frame (registers 5 to " +
                  std::to_string(shape_.frame_words - 1) + "; declare more with .temps)");
        if (r < -128) error("primitive register below -128");
    }
    prim_min_ = std::min(prim_min_, reg);
}

void CodeOperands::use_ref(int reg) {
    if (reg < -shape_.ref_base)
        error("register r" + std::to_string(reg) + " lies below the reference window base (lowest r" +
              std::to_string(-shape_.ref_base) + "; declare more with .refs_below)");
    if (reg > 126) error("reference register above 126");
    ref_min_ = std::min(ref_min_, reg);
    ref_max_ = std::max(ref_max_, reg);
}

std::string CodeOperands::describe(const Operand& o) {
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

std::string CodeOperands::utf16_to_utf8_local(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

std::int64_t CodeOperands::integer(const Operand& o, std::int64_t lo, std::int64_t hi, const char* what) {
    cur_ = o.where;
    std::int64_t v;
    if (o.kind == Operand::Kind::Integer) v = o.value;
    else if (o.kind == Operand::Kind::Char) v = o.value;
    else error(std::string("expected ") + what + ", found '" + describe(o) + "'");
    if (v < lo || v > hi)
        error(std::string(what) + " " + std::to_string(v) + " out of range " + std::to_string(lo) + " to " + std::to_string(hi));
    return v;
}

int CodeOperands::label(const Operand& o) {
    cur_ = o.where;
    // A word that reads as a number (inf, nan) is a label where a label is expected.
    const bool named = o.kind == Operand::Kind::Floating && !o.text.empty() &&
                       ((o.text[0] >= 'a' && o.text[0] <= 'z') || (o.text[0] >= 'A' && o.text[0] <= 'Z'));
    if (o.kind != Operand::Kind::Word && !named) error("expected a label, found '" + describe(o) + "'");
    return label_id(o.text, o.where);
}

int CodeOperands::label_id(const std::string& name, const SourceLocation& where) {
    auto it = label_ids_.find(name);
    if (it != label_ids_.end()) return it->second;
    const int id = static_cast<int>(label_names_.size());
    label_ids_[name] = id;
    label_names_.push_back(name);
    label_first_use_.push_back(where);
    label_item_.push_back(-1);
    return id;
}

Type* CodeOperands::type_operand(const Operand& o) {
    cur_ = o.where;
    if (o.kind == Operand::Kind::Keyed && o.keyword == "class") return ctx_.type_or_fail(o.text, o.where);
    if (o.kind == Operand::Kind::Word) return ctx_.type_or_fail(o.text, o.where);
    error("expected a type, found '" + describe(o) + "'");
}

Method* CodeOperands::method_operand(const Operand& o, std::optional<bool> want_static) {
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

Field* CodeOperands::field_operand(const Operand& o) {
    cur_ = o.where;
    if ((o.kind == Operand::Kind::Keyed && (o.keyword == "field" || o.keyword == "static")) ||
        o.kind == Operand::Kind::Word)
        return ctx_.field_ref(o.text, m_.owner, o.where);
    error("expected a field, found '" + describe(o) + "'");
}

ImageRef CodeOperands::type_ref(const Type* t) {
    return ImageRef{ImageRef::Kind::Type, t, 0, {}, 0};
}

ImageRef CodeOperands::method_ref(const Method* mm) {
    if (!mm->has_code()) error("'" + mm->display_name() + "' has no code to call directly");
    return ImageRef{ImageRef::Kind::Method, mm, 0, {}, 0};
}

ImageRef CodeOperands::string_ref(const std::u16string& s) {
    return ImageRef{ImageRef::Kind::String, nullptr, ctx_.intern(s), {}, 0};
}

ImageRef CodeOperands::symbol_ref(const std::string& s) {
    return ImageRef{ImageRef::Kind::Symbol, nullptr, 0, s, 0};
}

Arg CodeOperands::word_arg(const Operand& o) {
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

ImageRef CodeOperands::static_ref(const Field* f) {
    if (!f->is_static) error("'" + f->name + "' is an instance field, not a static");
    return symbol_ref(f->symbol);
}

int CodeOperands::prim_base(const Operand& o) {
    cur_ = o.where;
    RegisterAlias a;
    if (!try_register(o, a) || a.ref) error("expected a primitive base register (p0, p-3, ...)");
    return a.index;
}

int CodeOperands::ref_base(const Operand& o) {
    cur_ = o.where;
    RegisterAlias a;
    if (!try_register(o, a) || !a.ref) error("expected a reference base register (r0, r2, ...)");
    return a.index;
}

}  // namespace tarvelo::imagelink
