// The operands of a method's code lines: registers by number or by name
// (parameters, `this`, aliases), checked against the method's frame and
// recorded as used (the header's register counts come from them); labels,
// numbered in order of first mention; numbers in range; and references to
// types, methods, fields, strings, immutables and external symbols.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/imagelink/code_items.h"
#include "tools/imagelink/link_context.h"
#include "tools/imagelink/method_assembler.h"

namespace tarvelo::imagelink {

class CodeOperands {
public:
    CodeOperands(LinkContext& ctx, Method& m);

protected:
    LinkContext& ctx_;
    Method& m_;
    FrameShape shape_;
    std::map<std::string, RegisterAlias> names_;
    std::map<std::string, int> label_ids_;
    std::vector<std::string> label_names_;
    std::vector<SourceLocation> label_first_use_;
    std::vector<int> label_item_;  // item index of each label's definition, -1 undefined
    int prim_min_ = 0;
    int ref_min_ = 0, ref_max_ = -1;
    SourceLocation cur_;  // of the operand or line being read, for errors

    [[noreturn]] void error(const std::string& msg) const;

    // --- registers
    bool try_register(const Operand& o, RegisterAlias& r) const;
    int prim(const Operand& o, int words = 1);
    int ref(const Operand& o);
    void use_prim(int reg, int words);
    void use_ref(int reg);
    // A call's bases: where its arguments and result lie.
    int prim_base(const Operand& o);
    int ref_base(const Operand& o);

    // --- values and labels
    static std::string describe(const Operand& o);
    std::int64_t integer(const Operand& o, std::int64_t lo, std::int64_t hi, const char* what);
    int label(const Operand& o);
    int label_id(const std::string& name, const SourceLocation& where);

    // --- references
    Type* type_operand(const Operand& o);
    // `want_static`: a call instruction's kind, which picks between a static
    // and an instance method of the same name.
    Method* method_operand(const Operand& o, std::optional<bool> want_static = std::nullopt);
    Field* field_operand(const Operand& o);
    ImageRef type_ref(const Type* t);
    ImageRef method_ref(const Method* mm);
    ImageRef string_ref(const std::u16string& s);
    ImageRef symbol_ref(const std::string& s);
    ImageRef static_ref(const Field* f);
    // A 32-bit operand: a number, a string, or a type, method, static
    // field, immutable or external symbol.
    Arg word_arg(const Operand& o);

private:
    void build_names();
    static std::string utf16_to_utf8_local(const std::u16string& s);
};

}  // namespace tarvelo::imagelink
