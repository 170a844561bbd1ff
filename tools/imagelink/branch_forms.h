// Branches: the conditions the branch instructions test, and the forms
// that encode a branch to a label (one instruction of 8 or 16 bits,
// forward or backward as the label lies, or a negated test jumping over an
// unconditional branch when no single instruction reaches).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/imagelink/code_items.h"

namespace tarvelo::imagelink {

enum class CondKind { Always, Zero, Imm, Icmp, Null, Acmp };
enum class Rel { Eq, Ne, Lt, Le, Ge, Gt };
struct Cond {
    CondKind kind = CondKind::Always;
    Rel rel = Rel::Eq;
    std::int64_t imm = 0;
    int x = 0, y = 0;
};

// The relation of `ifeq` ... `ifgt` / of `if_icmpeq` ... `if_icmpgt`.
std::optional<Rel> if_relation(const std::string& name);
std::optional<Rel> if_icmp_relation(const std::string& name);

// Candidate forms, shortest first, of a branch on `c` to label `target`
// (`back`: the label comes before the branch); none when no instruction
// encodes the condition.
std::vector<Form> branch_forms(const Cond& c, bool back, int target);

}  // namespace tarvelo::imagelink
