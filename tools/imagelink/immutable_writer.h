// The immutable objects of one module (the kernel image, or an application
// file): the `.immutable` declarations with the objects nested in their
// values, written as a block of a key table (the listed names as interned
// Strings), a value table (Object[]) and the objects themselves. The
// builder of the module supplies its byte output through an ImmutableSink:
// how an object's header and owner words are written and how a word names
// a String, a type or an object placed later differ between the two.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "tools/imagelink/link_context.h"
#include "tools/imagelink/model.h"
#include "tools/imagelink/module_output.h"

namespace tarvelo::imagelink {

// An object of the block: a named immutable or one nested in a value.
struct ImmObject {
    const Type* type = nullptr;
    const Value* value = nullptr;
    Immutable* named = nullptr;
    SourceLocation where;
    std::uint32_t offset = 0;  // of the header word
};

class ImmutableSink {
public:
    virtual ~ImmutableSink() = default;
    virtual std::uint32_t pos() const = 0;
    virtual void u8(std::uint32_t v) = 0;
    virtual void u32(std::uint32_t v) = 0;
    // Overwrites a byte already written.
    virtual void set8(std::uint32_t at, std::uint8_t v) = 0;
    // The header and owner words of an object of type `t`.
    virtual void object_header(const Type* t, const SourceLocation& where) = 0;
    // A word holding the offset of an object of the block, known later.
    virtual void ref_object(std::function<std::uint32_t()> offset) = 0;
    // A word referring to interned string `interned` / to type `t`.
    virtual void ref_string(std::uint32_t interned) = 0;
    virtual void ref_type(const Type* t, const SourceLocation& where) = 0;
    // Called once an object is written ([o.offset, pos()) holds it).
    virtual void placed(const ImmObject& /*o*/) {}
};

// The sink of a module's immutables: its output, and what the module notes
// of each object placed (map entries, labels).
class ModuleImmutables : public ImmutableSink {
public:
    ModuleImmutables(ModuleOutput& out, std::function<void(const ImmObject&)> placed)
        : out_(out), placed_(std::move(placed)) {}
    std::uint32_t pos() const override { return out_.pos(); }
    void u8(std::uint32_t v) override { out_.u8(v); }
    void u32(std::uint32_t v) override { out_.u32(v); }
    void set8(std::uint32_t at, std::uint8_t v) override { out_.set8(at, v); }
    void object_header(const Type* t, const SourceLocation& where) override { out_.object_header(t, where); }
    void ref_object(std::function<std::uint32_t()> offset) override { out_.ref(std::move(offset)); }
    void ref_string(std::uint32_t interned) override { out_.string_word(interned); }
    void ref_type(const Type* t, const SourceLocation& where) override { out_.type_word(t, where); }
    void placed(const ImmObject& o) override { placed_(o); }

private:
    ModuleOutput& out_;
    std::function<void(const ImmObject&)> placed_;
};

class ImmutableObjects {
public:
    // Collects the objects of `immutables` (in order) and the ones nested
    // in their values, interning the listed names and the strings the
    // values name. `@name` may refer only to one of `immutables`.
    ImmutableObjects(LinkContext& ctx, std::vector<Immutable*> immutables);

    bool owns(const Immutable* im) const {
        for (const Immutable* mine : immutables_)
            if (mine == im) return true;
        return false;
    }

    // The key table (String[] of the listed names) and the value table
    // (Object[] of their objects), each an array object.
    void write_keys(ImmutableSink& out) const;
    void write_values(ImmutableSink& out) const;
    // Every object, each 4-aligned.
    void write_objects(ImmutableSink& out);

private:
    LinkContext& ctx_;
    std::vector<Immutable*> immutables_;
    std::vector<ImmObject> objects_;

    void collect_nested(std::size_t i);
    void check_string(const ImmObject& o) const;
    std::vector<const ImmObject*> listed() const;
    Immutable* own(const std::string& name, const SourceLocation& at) const;
    std::uint64_t scalar_bits(const Value& v, const JavaType& t, const SourceLocation& at) const;
    void write_ref_value(ImmutableSink& out, const Value& v, const SourceLocation& at);
    void write_object(ImmutableSink& out, ImmObject& o);
};

}  // namespace tarvelo::imagelink
