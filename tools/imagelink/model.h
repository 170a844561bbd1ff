// The linker's in-memory model of an application image: types with their
// fields and methods, method code as labelled instructions, interned
// strings, system properties, immutable objects, resources and link-time
// configuration. A front end (the text form here, a class-file reader
// later) fills a Program; the passes lay it out and emit the image.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/imagelink/java_type.h"
#include "tools/imagelink/link_error.h"
#include "vm/model/method_record.h"

namespace tarvelo::imagelink {

struct Type;
struct Method;

// --- Instruction operands ------------------------------------------------------
// Operands are kept close to how they are written; the assembler interprets
// them by the instruction's needs. Words name registers ("p5", "r-1", a
// parameter or an alias), labels, types, fields and methods.
struct Operand {
    enum class Kind : std::uint8_t {
        Word,      // identifier-like text: register, label, type, member
        Integer,   // integral constant (value); long_suffix when written with L
        Floating,  // floating constant (fvalue); single when written with f
        String,    // string literal (text, UTF-8)
        Char,      // character literal (value)
        Keyed,     // keyword + word: class X, method M, static F, field F, symbol S, immutable N
        Case,      // lookupswitch entry: value ':' word
    };
    Kind kind = Kind::Word;
    std::string text;     // Word, Keyed (the word), Case (the label)
    std::u16string chars; // String
    std::string keyword;  // Keyed
    std::int64_t value = 0;
    double fvalue = 0;
    bool long_suffix = false;
    bool single = false;
    SourceLocation where;
};

struct CodeLine {
    enum class Kind : std::uint8_t { Label, Instruction, Bytes };
    Kind kind = Kind::Instruction;
    std::string name;               // label or mnemonic
    std::vector<Operand> operands;  // Instruction
    std::vector<std::uint8_t> bytes;  // Bytes
    SourceLocation where;
};

struct Handler {
    std::string catch_type;  // empty: any exception
    std::string from, to, target;  // labels: [from, to) is protected
    SourceLocation where;
};

// Constant: a natives-pool method whose every call the linker replaces by
// the value of the link-time constant its String argument names (the call's
// reference base must be loaded with that name just before the call).
enum class NativeKind : std::uint8_t { None, Sni, Vm, Inline, Constant };

// A 32-bit word of the image that holds the address of something the
// layout places later, or of a symbol the system linker resolves.
struct ImageRef {
    enum class Kind : std::uint8_t {
        Type,       // type header (ptr: Type)
        Method,     // method record's class word (ptr: Method)
        String,     // interned String reference (index into the interned strings)
        Immutable,  // immutable object (ptr: Immutable)
        Offset,     // image offset (index)
        Symbol,     // external symbol (symbol)
    };
    Kind kind = Kind::Offset;
    const void* ptr = nullptr;
    std::uint32_t index = 0;
    std::string symbol;
    std::int32_t addend = 0;
};

struct CodeFixup {
    std::uint32_t at = 0;  // byte offset within the code
    ImageRef ref;
};

struct ResolvedHandler {
    const Type* catch_type = nullptr;  // nullptr: any
    std::uint32_t start = 0, end = 0, target = 0;  // code offsets
};

struct Param {
    JavaType type;
    std::string name;
};

struct RegisterAlias {
    bool ref = false;
    int index = 0;
};

// How a value of a shared interface's method crosses between
// applications (`.transfer NAME KIND [PARAMETER]`): NAME is a parameter or
// "return"; KIND is unchanged, convert, convert_to (the class in
// PARAMETER) or foreign (the default of references: the kernel's objects
// pass, an application's are converted).
struct TransferDecl {
    std::string value;
    std::string kind;
    std::string parameter;
    SourceLocation where;
};

struct Method {
    std::string name;
    std::vector<Param> params;
    JavaType ret;
    bool is_static = false;
    bool is_abstract = false;
    bool is_private = false;
    bool is_public = false;
    bool is_final = false;
    bool keep_context = false;
    bool exported = false;
    bool force_full_header = false;
    NativeKind native = NativeKind::None;
    std::string native_symbol;
    bool native_io = false;  // natives-interface call may raise NativeIOException
    int temps = 0;             // primitive registers below the arguments (from 5)
    int refs_below = 0;        // own reference registers below the window base
    std::map<std::string, RegisterAlias> aliases;
    std::vector<CodeLine> code;
    std::vector<Handler> handlers;
    std::vector<TransferDecl> transfers;  // shared interfaces' methods
    SourceLocation where;

    // --- filled by the passes
    Type* owner = nullptr;
    int vtable_slot = -1;      // virtual methods
    int interface_index = -1;  // methods of interfaces: position in the interface
    image::MethodHeader header;
    std::vector<std::uint8_t> code_bytes;
    std::vector<CodeFixup> fixups;
    std::vector<ResolvedHandler> handler_table;
    std::uint32_t offset = 0;         // image offset of the class word
    std::uint32_t record_offset = 0;  // image offset of the first handler entry
    std::uint32_t code_offset() const { return offset + header.code_offset(); }

    bool is_constructor() const { return name == "<init>"; }
    bool is_initializer() const { return name == "<clinit>"; }
    bool is_virtual() const { return !is_static && !is_private && !is_constructor(); }
    bool has_code() const { return !is_abstract; }
    std::string descriptor() const;     // "(JJ)J"
    std::string display_name() const;   // "java.lang.Math.max(JJ)J"
    int ref_arg_words() const;          // receiver + reference parameters
    int prim_arg_words() const;
    bool returns_ref() const { return ret.is_ref(); }
};

struct Field {
    std::string name;
    JavaType type;
    bool is_static = false;
    bool exported = false;
    bool lazy = false;                  // lazily initialised reference static
    std::string init_wrapper;           // lazy: the wrapper method
    std::optional<std::int32_t> pinned; // instance: byte offset from the header
    SourceLocation where;

    // --- filled by the passes
    Type* owner = nullptr;
    std::int32_t offset = 0;  // instance: from the header (negative for references)
    std::string symbol;       // static: RAM symbol
};

struct Type {
    enum class Kind : std::uint8_t { Class, Interface, Array };
    Kind kind = Kind::Class;
    std::string name;  // dotted class name, or array descriptor "[I"
    std::string super_name;
    std::vector<std::string> interface_names;
    bool is_abstract = false;
    bool exported = false;
    bool public_ctor = false;
    bool private_ctor = false;
    bool findable = true;  // class-name record carries the type header
    bool shared = false;   // interfaces: a shared interface (calls through proxies)
    std::vector<std::unique_ptr<Field>> fields;
    std::vector<std::unique_ptr<Method>> methods;
    JavaType array_type;   // arrays: the whole type
    SourceLocation where;

    // --- filled by the passes
    Type* super = nullptr;
    std::vector<Type*> interfaces;         // direct
    std::vector<Type*> all_interfaces;     // classes: implemented, all; interfaces: all supers
    Type* element_type = nullptr;          // arrays of references
    int depth = 0;                         // classes: proper superclasses; interfaces: among interfaces
    std::vector<Method*> vtable;
    std::vector<Method*> interface_methods;  // interfaces: in order
    int interface_id = -1;
    std::uint32_t ref_bytes = 0;
    std::uint32_t instance_size = 8;
    std::uint32_t prim_end = 8;            // first free byte after primitive fields
    std::uint32_t offset = 0;              // image offset of the type header
    std::uint32_t name_record = 0;         // image offset of its class-name record
    std::string symbol;                    // `_java_L...`
    std::uint8_t flags = 0;

    bool is_class() const { return kind == Kind::Class; }
    bool is_interface() const { return kind == Kind::Interface; }
    bool is_array() const { return kind == Kind::Array; }
    bool instantiable() const { return kind == Kind::Array || (kind == Kind::Class && !is_abstract); }
    Method* find_method(const std::string& name, const std::string& descriptor) const;
    Field* find_field(const std::string& name) const;
};

// Constant values of immutable objects.
struct FieldInit;
struct Value {
    enum class Kind : std::uint8_t { Integer, Floating, Char, String, Null, Immutable, TypeRef, List, Object };
    Kind kind = Kind::Null;
    std::int64_t integer = 0;
    double floating = 0;
    bool single = false;
    std::string text;                 // Immutable name, TypeRef name
    std::u16string chars;             // String
    std::vector<Value> items;         // List
    std::vector<FieldInit> fields;    // Object
    SourceLocation where;
};

// One field of an object value: a named struct rather than a pair, since a
// pair of the still incomplete Value is not allowed as a vector element.
struct FieldInit {
    std::string name;
    Value value;
};

struct Immutable {
    std::string name;
    JavaType type;
    Value value;
    bool listed = true;  // named in the immutables key table
    SourceLocation where;
    // --- filled by the passes
    std::uint32_t offset = 0;  // image offset of the object header
};

struct Resource {
    std::string name;  // full name: "/resources/fonts/font.raw"
    std::vector<std::uint8_t> data;
    SourceLocation where;
};

struct Property {
    std::u16string key, value;
    SourceLocation where;
};

// A link-time constant (`.constant "name" VALUE`): what the calls of the
// Constants natives with that name become.
struct Constant {
    Operand value;
    SourceLocation where;
};

struct Program {
    std::vector<std::unique_ptr<Type>> types;
    std::vector<Property> properties;
    std::map<std::u16string, Constant> constants;
    std::vector<std::u16string> strings;  // interned strings declared explicitly
    std::vector<Immutable> immutables;
    std::vector<Resource> resources;
    // Resources before this index are the kernel's that an application is
    // linked against: an application's resource may carry one of their
    // names (its lookup finds the application's first), names are unique
    // among a module's own.
    std::size_t own_resources_from = 0;
    std::map<std::string, std::uint32_t> config;
    std::vector<std::pair<std::string, SourceLocation>> clinit_order;
    std::string main_method;  // "pkg.Class.main([Ljava.lang.String;)V" or "pkg.Class.main"
    SourceLocation main_where;
    std::optional<std::vector<std::uint8_t>> signature;
    std::vector<std::vector<std::uint8_t>> compatible_uids;
    std::string module_data;  // immutable naming the kernel's module data
    bool weak_externals = false;
    std::vector<std::string> source_files;  // every file read, for dependency lists

    Type* find_type(const std::string& name) const;
    // Where errors about the image as a whole are reported: the file the
    // user gave (the first one read), without a line.
    SourceLocation whole_image() const {
        return SourceLocation{source_files.empty() ? std::string() : source_files.front(), 0};
    }
    // A link-time configuration value: the override, else its default.
    std::uint32_t config_value(const std::string& name) const;
};

}  // namespace tarvelo::imagelink
