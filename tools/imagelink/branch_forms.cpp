#include "tools/imagelink/branch_forms.h"

#include <utility>

namespace tarvelo::imagelink {

using namespace bytecode;

namespace {

std::optional<Rel> rel_of(const std::string& s) {
    if (s == "eq") return Rel::Eq;
    if (s == "ne") return Rel::Ne;
    if (s == "lt") return Rel::Lt;
    if (s == "le") return Rel::Le;
    if (s == "ge") return Rel::Ge;
    if (s == "gt") return Rel::Gt;
    return std::nullopt;
}

Rel inverse(Rel r) {
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
std::optional<Cond> negate(Cond c) {
    c.rel = inverse(c.rel);
    if (c.kind == CondKind::Imm) {
        // Only =, !=, >= and <= exist with a constant; x < k is x <= k-1.
        if (c.rel == Rel::Lt) { if (c.imm == -128) return std::nullopt; c.rel = Rel::Le; --c.imm; }
        else if (c.rel == Rel::Gt) { if (c.imm == 127) return std::nullopt; c.rel = Rel::Ge; ++c.imm; }
    }
    return c;
}

// A single conditional or unconditional branch part, when one exists
// for this condition, direction and offset width. The branch offset is
// the part's last operand in every branch layout.
std::optional<Part> branch_part(Cond c, bool back, bool wide, int target) {
    auto p = [&](std::uint8_t op, std::vector<Arg> args) {
        args.push_back(label_arg(target));
        return make_part(op, std::move(args));
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
            return p((back ? bwd : fwd)[static_cast<int>(c.rel)], {reg_arg(c.x)});
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
            return p(op, {reg_arg(c.x), reg_arg(c.imm)});
        }
        case CondKind::Icmp: {
            const bool nib = fits_nibble(c.x) && fits_nibble(c.y);
            if (!back) {
                static const std::uint8_t w16[] = {OPif_icmpeq, OPif_icmpne, OPif_icmplt, OPif_icmple};
                static const std::uint8_t w8[] = {OPif_icmpeq_4, OPif_icmpne_4, OPif_icmplt_4, OPif_icmple_4};
                const int k = static_cast<int>(c.rel);
                if (wide) return p(w16[k], {reg_arg(c.x), reg_arg(c.y)});
                if (!nib) return std::nullopt;
                return p(w8[k], {nibbles_arg(c.x, c.y)});
            }
            if (wide) {
                static const std::uint8_t w16b[] = {OPif_icmpeq_back, OPif_icmpne_back, OPif_icmplt_back, OPif_icmple_back};
                return p(w16b[static_cast<int>(c.rel)], {reg_arg(c.x), reg_arg(c.y)});
            }
            if (!nib) return std::nullopt;
            if (c.rel == Rel::Lt) return p(OPif_icmplt_back_4, {nibbles_arg(c.x, c.y)});
            if (c.rel == Rel::Le) return p(OPif_icmple_back_4, {nibbles_arg(c.x, c.y)});
            return std::nullopt;
        }
        case CondKind::Null: {
            if (wide) return std::nullopt;
            const bool eq = c.rel == Rel::Eq;
            if (back) return p(eq ? OPifnull_back : OPifnonnull_back, {reg_arg(c.x)});
            return p(eq ? OPifnull : OPifnonnull, {reg_arg(c.x)});
        }
        case CondKind::Acmp: {
            const bool eq = c.rel == Rel::Eq;
            if (back) {
                if (!wide) return std::nullopt;
                return p(eq ? OPif_acmpeq_back : OPif_acmpne_back, {reg_arg(c.x), reg_arg(c.y)});
            }
            if (wide) return p(eq ? OPif_acmpeq : OPif_acmpne, {reg_arg(c.x), reg_arg(c.y)});
            if (!fits_nibble(c.x) || !fits_nibble(c.y)) return std::nullopt;
            return p(eq ? OPif_acmpeq_4 : OPif_acmpne_4, {nibbles_arg(c.x, c.y)});
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<Rel> if_relation(const std::string& n) {
    if (n.size() == 4 && n.compare(0, 2, "if") == 0) return rel_of(n.substr(2));
    return std::nullopt;
}

std::optional<Rel> if_icmp_relation(const std::string& n) {
    if (n.size() == 9 && n.compare(0, 7, "if_icmp") == 0) return rel_of(n.substr(7));
    return std::nullopt;
}

std::vector<Form> branch_forms(const Cond& c, bool back, int target) {
    std::vector<Form> forms;
    // ifnull r-1 forward may use the compact form on ref[-1].
    if (c.kind == CondKind::Null && c.x == -1 && !back) {
        Arg t = label_arg(target);
        forms.push_back(Form{{make_part(c.rel == Rel::Eq ? OPifnull_m1 : OPifnonnull_m1, {t})}});
    }
    for (bool wide : {false, true})
        if (auto p = branch_part(c, back, wide, target)) forms.push_back(Form{{*p}});
    if (c.kind != CondKind::Always) {
        auto neg = negate(c);
        if (neg) {
            auto skip = branch_part(*neg, false, false, kEndOfItem);
            if (!skip) skip = branch_part(*neg, false, true, kEndOfItem);
            for (bool wide : {false, true}) {
                auto jump = branch_part(Cond{CondKind::Always}, back, wide, target);
                if (skip && jump) forms.push_back(Form{{*skip, *jump}});
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
                if (eq && skip && jump) forms.push_back(Form{{*eq, *skip, *jump}});
            }
        }
    }
    return forms;
}

}  // namespace tarvelo::imagelink
