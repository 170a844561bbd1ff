// State shared by the linker's passes over one Program: name lookups of
// types, fields and methods (with errors at the referring source line), the
// array types created on demand, the interned strings and the statics.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "tools/imagelink/model.h"

namespace tarvelo::imagelink {

// Names of the types the virtual machine itself refers to.
namespace names {
inline constexpr const char* kObject = "java.lang.Object";
inline constexpr const char* kClass = "java.lang.Class";
inline constexpr const char* kString = "java.lang.String";
inline constexpr const char* kOutOfMemoryError = "java.lang.OutOfMemoryError";
inline constexpr const char* kMainThread = "java.lang.MainThread";
}  // namespace names

class LinkContext {
public:
    explicit LinkContext(Program& program);

    Program& program;

    // Types by name ("java.lang.String", "[I"); array types are created on
    // demand when their element exists.
    Type* find_type(const std::string& name);
    Type* type_or_fail(const std::string& name, const SourceLocation& where);
    Type* type_for(const JavaType& t, const SourceLocation& where);
    Type* object_type() const { return object_; }
    Type* class_type() const { return class_; }
    Type* string_type() const { return string_; }

    // Members by reference text: "pkg.C.f", "pkg.C.m(II)V", "pkg.C.m"
    // (unique name), or a bare member of `context`.
    Field* field_ref(const std::string& text, const Type* context, const SourceLocation& where);
    // A method by name (with its descriptor when the name is overloaded).
    // With `want_static`, only static (true) or only instance (false)
    // methods are considered first, so that a call names a static method
    // and an instance method of the same name without a descriptor.
    Method* method_ref(const std::string& text, const Type* context, const SourceLocation& where,
                       std::optional<bool> want_static = std::nullopt);
    // The image's main method (`.main`).
    Method* main_method();

    // Interned strings, in first-use order.
    std::uint32_t intern(const std::u16string& s);
    const std::vector<std::u16string>& interned() const { return strings_; }

    // Immutables by name.
    Immutable* immutable(const std::string& name, const SourceLocation& where);

    // Every type in image order of creation (declared, then created arrays).
    std::vector<Type*> all_types() const;

    // Static fields by area (filled by the type layout pass).
    std::vector<Field*> statics[5];
    std::vector<Field*> lazy_statics;

    void register_type(Type* t);
    // From now on array types created on demand are completed at once.
    void mark_laid_out() { laid_out_ = true; }

private:
    bool laid_out_ = false;
    Type* object_ = nullptr;
    Type* class_ = nullptr;
    Type* string_ = nullptr;
    std::unordered_map<std::string, Type*> types_;
    std::vector<std::u16string> strings_;
    std::unordered_map<std::u16string, std::uint32_t> string_index_;
    std::unordered_map<std::string, Immutable*> immutables_;
};

// Resolves the type graph and lays out fields, static areas, virtual
// tables, interface ids and interface method lists. Errors name the
// declaring source line.
void layout_types(LinkContext& ctx);

// The interface method table of class `c` for interface `i`: the methods
// implementing i's methods in i's order (nullptr for one an abstract class
// leaves unimplemented).
std::vector<Method*> interface_method_table(const Type& c, const Type& i);

}  // namespace tarvelo::imagelink
