#include "tools/imagelink/text_parser.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>

#include "tools/imagelink/text_lexer.h"
#include "vm/model/image_format.h"

namespace tarvelo::imagelink {

namespace fs = std::filesystem;

bool parse_integer(const std::string& text, std::int64_t& value, bool* long_suffix) {
    std::string s = text;
    bool is_long = false;
    if (!s.empty() && (s.back() == 'L' || s.back() == 'l')) {
        is_long = true;
        s.pop_back();
    }
    bool neg = false;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
        neg = s[i] == '-';
        ++i;
    }
    int base = 10;
    if (s.size() - i > 2 && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) { base = 16; i += 2; }
    else if (s.size() - i > 2 && s[i] == '0' && (s[i + 1] == 'b' || s[i + 1] == 'B')) { base = 2; i += 2; }
    if (i >= s.size()) return false;
    std::uint64_t v = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else if (c == '_') continue;
        else return false;
        if (d >= base) return false;
        // Beyond 64 bits nothing fits, whatever the sign.
        if (__builtin_mul_overflow(v, static_cast<std::uint64_t>(base), &v) ||
            __builtin_add_overflow(v, static_cast<std::uint64_t>(d), &v)) {
            return false;
        }
    }
    // Hex and binary may give the full unsigned 64-bit pattern.
    if (neg) {
        if (v > (std::uint64_t{1} << 63)) return false;
        value = static_cast<std::int64_t>(std::uint64_t{0} - v);
    } else {
        if (base == 10 && v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return false;
        value = static_cast<std::int64_t>(v);
    }
    if (long_suffix) *long_suffix = is_long;
    return true;
}

bool parse_floating(const std::string& text, double& value, bool* single) {
    std::string s = text;
    bool is_single = false;
    if (s == "nan" || s == "nanf" || s == "NaN" || s == "NaNf") {
        value = std::numeric_limits<double>::quiet_NaN();
        is_single = s.back() == 'f';
        if (single) *single = is_single;
        return true;
    }
    if (s == "inf" || s == "inff" || s == "-inf" || s == "-inff") {
        value = s[0] == '-' ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
        is_single = s.back() == 'f' && s.size() > 3 && s.substr(s.size() - 2) == "ff";
        if (single) *single = is_single;
        return true;
    }
    if (s.size() > 2 && (s[0] == '0' || s[1] == '0') && s.find_first_of("xX") != std::string::npos) return false;
    if (!s.empty() && (s.back() == 'f' || s.back() == 'F')) { is_single = true; s.pop_back(); }
    else if (!s.empty() && (s.back() == 'd' || s.back() == 'D')) { s.pop_back(); }
    else if (s.find_first_of(".eE") == std::string::npos) return false;
    if (s.empty()) return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+')) return false;
    char* end = nullptr;
    // A float literal is rounded once, straight to float: going through a
    // double first rounds twice and can miss the nearest float.
    if (is_single) value = static_cast<double>(std::strtof(s.c_str(), &end));
    else value = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size()) return false;
    if (single) *single = is_single;
    return true;
}

bool parse_register_name(const std::string& w, RegisterAlias& a) {
    if (w.size() < 2 || (w[0] != 'p' && w[0] != 'r')) return false;
    for (std::size_t i = 1; i < w.size(); ++i)
        if (!((w[i] >= '0' && w[i] <= '9') || (i == 1 && w[i] == '-'))) return false;
    std::int64_t v;
    if (!parse_integer(w.substr(1), v) || v < -128 || v > 127) return false;
    a.ref = w[0] == 'r';
    a.index = static_cast<int>(v);
    return true;
}

namespace {

// Deeper includes are refused.
constexpr std::size_t kMaxIncludeDepth = 64;

class Parser {
public:
    // `open_files` is the chain of files being read, outermost first, by
    // canonical path.
    Parser(Program& program, const ParseOptions& options, std::vector<std::string>& open_files)
        : program_(program), options_(options), open_files_(open_files) {}

    void run(const std::string& text, const std::string& file) {
        file_ = file;
        toks_ = tokenize(text, file);
        pos_ = 0;
        while (!at_end()) {
            if (peek().kind == Token::Kind::Newline) { ++pos_; continue; }
            top_level();
        }
    }

private:
    Program& program_;
    const ParseOptions& options_;
    std::vector<std::string>& open_files_;
    std::string file_;
    std::vector<Token> toks_;
    std::size_t pos_ = 0;

    // --- token helpers
    const Token& peek(std::size_t k = 0) const { return toks_[std::min(pos_ + k, toks_.size() - 1)]; }
    bool at_end() const { return peek().kind == Token::Kind::End; }
    SourceLocation here() const { return {file_, peek().line}; }
    [[noreturn]] void error(const std::string& msg) const { fail(here(), msg); }
    const Token& next() { const Token& t = peek(); if (t.kind != Token::Kind::End) ++pos_; return t; }
    bool at_eol() const { return peek().kind == Token::Kind::Newline || peek().kind == Token::Kind::End; }
    void expect_eol() {
        if (!at_eol()) error("unexpected '" + describe(peek()) + "' at the end of the line");
        if (peek().kind == Token::Kind::Newline) ++pos_;
    }
    static std::string describe(const Token& t) {
        switch (t.kind) {
            case Token::Kind::Word: case Token::Kind::Punct: return t.text;
            case Token::Kind::String: return "\"" + utf16_to_utf8(t.chars) + "\"";
            case Token::Kind::Char: return "'" + utf16_to_utf8(t.chars) + "'";
            case Token::Kind::Newline: return "end of line";
            case Token::Kind::End: return "end of file";
        }
        return "?";
    }
    std::string word(const char* what) {
        if (peek().kind != Token::Kind::Word) error(std::string("expected ") + what + ", found '" + describe(peek()) + "'");
        return next().text;
    }
    bool accept_word(const char* w) {
        if (peek().is_word(w)) { ++pos_; return true; }
        return false;
    }
    bool accept_punct(char c) {
        if (peek().is_punct(c)) { ++pos_; return true; }
        return false;
    }
    void expect_punct(char c) {
        if (!accept_punct(c)) error(std::string("expected '") + c + "', found '" + describe(peek()) + "'");
    }
    std::u16string string_literal(const char* what) {
        if (peek().kind != Token::Kind::String) error(std::string("expected ") + what + " as a string literal");
        return next().chars;
    }
    std::int64_t integer(const char* what) {
        const std::string w = word(what);
        std::int64_t v;
        if (!parse_integer(w, v)) fail({file_, toks_[pos_ - 1].line}, std::string("expected ") + what + ", found '" + w + "'");
        return v;
    }
    std::uint32_t u32(const char* what) {
        const std::int64_t v = integer(what);
        if (v < 0 || v > 0xFFFFFFFFLL) fail({file_, toks_[pos_ - 1].line}, std::string(what) + " out of range");
        return static_cast<std::uint32_t>(v);
    }
    JavaType type(const char* what) {
        const std::string w = word(what);
        auto t = parse_any_type(w);
        if (!t) fail({file_, toks_[pos_ - 1].line}, "'" + w + "' is not a type");
        return *t;
    }
    // A possibly qualified name that may be followed by a descriptor in
    // parentheses: "pkg.C.m(II)V".
    std::string member_ref(const char* what) {
        std::string w = word(what);
        if (peek().is_punct('(')) {
            ++pos_;
            w += '(';
            while (!peek().is_punct(')')) {
                if (peek().kind != Token::Kind::Word) error("malformed method descriptor");
                w += next().text;
            }
            ++pos_;
            w += ')';
            if (peek().kind == Token::Kind::Word) w += next().text;
            else error("method descriptor without a return type");
        }
        return w;
    }

    // --- top level
    void top_level() {
        const std::string d = word("a directive");
        const SourceLocation at{file_, toks_[pos_ - 1].line};
        if (d == ".include") return include();
        if (d == ".config") {
            const std::string name = word("a configuration symbol");
            bool known = false;
            for (const auto& c : image::kLinkConfigDefaults) known |= name == c.name;
            if (!known) fail(at, "unknown configuration symbol '" + name + "'");
            // A 32-bit word: -1 is 0xFFFFFFFF.
            const std::int64_t v = integer("a value");
            if (v < INT32_MIN || v > 0xFFFFFFFFLL) fail(at, "configuration value out of 32 bits");
            program_.config[name] = static_cast<std::uint32_t>(v);
            return expect_eol();
        }
        if (d == ".option") {
            const std::string o = word("an option");
            if (o == "weak_externals") program_.weak_externals = true;
            else fail(at, "unknown option '" + o + "'");
            return expect_eol();
        }
        if (d == ".signature") {
            program_.signature = bytes_literal(24, "the kernel signature");
            return expect_eol();
        }
        if (d == ".compatible_uid") {
            auto b = bytes_literal(0, "a compatible kernel identifier");
            if (b.size() > 255) fail(at, "a compatible kernel identifier holds at most 255 bytes");
            program_.compatible_uids.push_back(std::move(b));
            return expect_eol();
        }
        if (d == ".main") {
            program_.main_method = member_ref("the main method");
            program_.main_where = at;
            return expect_eol();
        }
        if (d == ".clinit_order") {
            do {
                const SourceLocation w = here();
                program_.clinit_order.emplace_back(word("a class name"), w);
            } while (accept_punct(','));
            return expect_eol();
        }
        if (d == ".property") {
            Property p;
            p.where = at;
            p.key = string_literal("the property key");
            p.value = string_literal("the property value");
            program_.properties.push_back(std::move(p));
            return expect_eol();
        }
        if (d == ".constant") {
            const std::u16string name = string_literal("the constant's name");
            Constant c;
            c.where = at;
            c.value = operand();
            if (!program_.constants.emplace(name, std::move(c)).second)
                fail(at, "constant \"" + utf16_to_utf8(name) + "\" declared twice");
            return expect_eol();
        }
        if (d == ".string") {
            program_.strings.push_back(string_literal("the string"));
            return expect_eol();
        }
        if (d == ".resource") return resource(at);
        if (d == ".immutable") return immutable(at);
        if (d == ".module_data") {
            program_.module_data = word("an immutable name");
            return expect_eol();
        }
        if (d == ".class" || d == ".interface") return type_decl(at, d == ".interface");
        if (d == ".array") return array_decl(at);
        if (d == ".extend") return extend_decl(at);
        fail(at, "unknown directive '" + d + "'");
    }

    std::vector<std::uint8_t> bytes_literal(std::size_t exact, const char* what) {
        std::vector<std::uint8_t> out;
        const SourceLocation at = here();
        if (peek().kind == Token::Kind::String) {
            for (char16_t c : next().chars) {
                if (c > 0xFF) fail(at, std::string(what) + ": characters above 0xFF");
                out.push_back(static_cast<std::uint8_t>(c));
            }
        } else if (accept_word("hex")) {
            const std::string h = word("hexadecimal bytes");
            if (h.size() % 2) fail(at, "odd number of hexadecimal digits");
            for (std::size_t i = 0; i < h.size(); i += 2) {
                std::int64_t v;
                if (!parse_integer("0x" + h.substr(i, 2), v)) fail(at, "bad hexadecimal digits");
                out.push_back(static_cast<std::uint8_t>(v));
            }
        } else {
            error(std::string("expected ") + what + " as a string or hex digits");
        }
        if (exact && out.size() != exact)
            fail(at, std::string(what) + " must be " + std::to_string(exact) + " bytes, not " + std::to_string(out.size()));
        return out;
    }

    void include() {
        const SourceLocation at{file_, peek().line};
        const std::string name = utf16_to_utf8(string_literal("a file name"));
        expect_eol();
        const std::string path = resolve_include(name, at);
        const std::string key = fs::weakly_canonical(path).string();
        if (std::find(open_files_.begin(), open_files_.end(), key) != open_files_.end())
            fail(at, "'" + name + "' includes itself");
        // Each level of inclusion reads in a nested parser: a deep chain
        // would exhaust the stack.
        if (open_files_.size() >= kMaxIncludeDepth) {
            std::string chain;
            for (const std::string& f : open_files_) chain += f + " -> ";
            fail(at, "includes nest deeper than " + std::to_string(kMaxIncludeDepth) + " files: " + chain + path);
        }
        open_files_.push_back(key);
        std::string text = read_source_file(path, at, "the included file");
        program_.source_files.push_back(path);
        Parser inner(program_, options_, open_files_);
        inner.run(text, path);
        open_files_.pop_back();
    }

    std::string resolve_include(const std::string& name, const SourceLocation& at) const {
        std::vector<fs::path> dirs{fs::path(file_).parent_path()};
        for (const auto& d : options_.include_dirs) dirs.emplace_back(d);
        for (const auto& d : dirs) {
            const fs::path p = d / name;
            std::error_code ec;
            if (fs::is_regular_file(p, ec)) return p.string();
        }
        fail(at, "cannot find the included file '" + name + "'");
    }


    void resource(const SourceLocation& at) {
        Resource r;
        r.where = at;
        r.name = utf16_to_utf8(string_literal("the resource name"));
        if (r.name.size() < 2 || r.name[0] != '/' || r.name.back() == '/' || r.name.find("//") != std::string::npos)
            fail(at, "a resource name is an absolute path such as \"/dir/file.bin\"");
        for (std::size_t i = program_.own_resources_from; i < program_.resources.size(); ++i)
            if (program_.resources[i].name == r.name) fail(at, "resource '" + r.name + "' is declared twice");
        const std::string file = utf16_to_utf8(string_literal("the file holding the resource"));
        expect_eol();
        const fs::path p = fs::path(file_).parent_path() / file;
        const std::string bytes = read_source_file(p.string(), at, "the resource file");
        r.data.assign(bytes.begin(), bytes.end());
        program_.source_files.push_back(p.string());
        program_.resources.push_back(std::move(r));
    }

    void immutable(const SourceLocation& at) {
        Immutable im;
        im.where = at;
        if (accept_word("hidden")) im.listed = false;
        im.name = word("the immutable's name");
        im.type = type("the immutable's type");
        if (!im.type.is_ref()) fail(at, "an immutable is an object or an array");
        expect_punct('=');
        im.value = value();
        expect_eol();
        program_.immutables.push_back(std::move(im));
    }

    void skip_newlines() {
        while (peek().kind == Token::Kind::Newline) ++pos_;
    }

    int value_depth_ = 0;
    Value value() {
        struct Depth {
            int& d;
            explicit Depth(int& x) : d(x) { ++d; }
            ~Depth() { --d; }
        } depth(value_depth_);
        if (value_depth_ > 64) error("values nest too deeply");
        skip_newlines();
        Value v;
        v.where = here();
        const Token& t = peek();
        if (t.kind == Token::Kind::String) {
            v.kind = Value::Kind::String;
            v.chars = next().chars;
            return v;
        }
        if (t.kind == Token::Kind::Char) {
            v.kind = Value::Kind::Char;
            v.integer = next().chars[0];
            return v;
        }
        if (t.is_punct('{')) {
            ++pos_;
            skip_newlines();
            // An object literal starts with "name =".
            const bool object = peek().kind == Token::Kind::Word && peek(1).is_punct('=');
            v.kind = object ? Value::Kind::Object : Value::Kind::List;
            while (!peek().is_punct('}')) {
                if (object) {
                    const std::string f = word("a field name");
                    expect_punct('=');
                    v.fields.push_back(FieldInit{f, value()});
                } else {
                    v.items.push_back(value());
                }
                skip_newlines();
                if (!accept_punct(',')) break;
                skip_newlines();
            }
            skip_newlines();
            expect_punct('}');
            return v;
        }
        const std::string w = word("a value");
        if (w == "null") { v.kind = Value::Kind::Null; return v; }
        if (w == "true" || w == "false") { v.kind = Value::Kind::Integer; v.integer = w == "true"; return v; }
        if (w == "class") { v.kind = Value::Kind::TypeRef; v.text = word("a type"); return v; }
        if (w.size() > 1 && w[0] == '@') { v.kind = Value::Kind::Immutable; v.text = w.substr(1); return v; }
        if (parse_integer(w, v.integer)) { v.kind = Value::Kind::Integer; return v; }
        if (parse_floating(w, v.floating, &v.single)) { v.kind = Value::Kind::Floating; v.text = w; return v; }
        fail(v.where, "'" + w + "' is not a value");
    }

    void array_decl(const SourceLocation& at) {
        auto t = std::make_unique<Type>();
        t->kind = Type::Kind::Array;
        t->where = at;
        t->array_type = type("an array type");
        if (!t->array_type.is_array()) fail(at, "'.array' declares an array type such as int[]");
        t->name = t->array_type.type_name();
        while (!at_eol()) {
            const std::string m = word("a flag");
            if (m == "exported") t->exported = true;
            else if (m == "unnamed") t->findable = false;
            else fail(at, "unknown array flag '" + m + "'");
        }
        expect_eol();
        if (program_.find_type(t->name)) fail(at, "type '" + t->name + "' declared twice");
        program_.types.push_back(std::move(t));
    }

    void type_decl(const SourceLocation& at, bool is_interface) {
        auto t = std::make_unique<Type>();
        t->kind = is_interface ? Type::Kind::Interface : Type::Kind::Class;
        t->where = at;
        t->is_abstract = is_interface;
        for (;;) {
            if (accept_word("abstract")) t->is_abstract = true;
            else if (accept_word("exported")) t->exported = true;
            else if (accept_word("public_ctor")) t->public_ctor = true;
            else if (accept_word("private_ctor")) t->private_ctor = true;
            else if (accept_word("unnamed")) t->findable = false;
            else if (is_interface && accept_word("shared")) t->shared = true;
            else break;
        }
        t->name = word("the type's name");
        if (!parse_java_type(t->name) || t->name.find('[') != std::string::npos)
            fail(at, "'" + t->name + "' is not a class name");
        if (program_.find_type(t->name)) fail(at, "type '" + t->name + "' declared twice");
        if (accept_word("extends")) {
            if (is_interface) {
                do t->interface_names.push_back(word("an interface")); while (accept_punct(','));
            } else {
                t->super_name = word("the superclass");
            }
        }
        if (!is_interface && accept_word("implements")) {
            do t->interface_names.push_back(word("an interface")); while (accept_punct(','));
        }
        expect_eol();
        Type* type_ptr = t.get();
        program_.types.push_back(std::move(t));
        members(*type_ptr, at);
    }

    // Adds fields and methods to a class or interface declared earlier (the
    // class library's part of a type the runtime prelude declares).
    void extend_decl(const SourceLocation& at) {
        const std::string name = word("the type's name");
        Type* t = program_.find_type(name);
        if (t == nullptr || t->kind == Type::Kind::Array)
            fail(at, "'.extend " + name + "': no class or interface of that name is declared before");
        expect_eol();
        members(*t, at);
    }

    void members(Type& type, const SourceLocation& at) {
        Type* type_ptr = &type;
        for (;;) {
            skip_newlines();
            if (at_end()) fail(at, "'" + type_ptr->name + "' is not closed with .end");
            const SourceLocation m_at = here();
            const std::string d = word("a member directive");
            if (d == ".end") { expect_eol(); return; }
            if (d == ".field") field_decl(*type_ptr, m_at);
            else if (d == ".method") method_decl(*type_ptr, m_at);
            else fail(m_at, "expected .field, .method or .end, found '" + d + "'");
        }
    }

    void field_decl(Type& t, const SourceLocation& at) {
        auto f = std::make_unique<Field>();
        f->where = at;
        for (;;) {
            if (accept_word("static")) f->is_static = true;
            else if (accept_word("exported")) f->exported = true;
            else if (accept_word("lazy")) f->lazy = true;
            else break;
        }
        f->type = type("the field's type");
        if (f->type.is_void()) fail(at, "a field cannot be void");
        f->name = word("the field's name");
        if (t.find_field(f->name)) fail(at, "field '" + f->name + "' declared twice");
        while (!at_eol()) {
            if (accept_word("at")) {
                std::int64_t v = integer("a byte offset");
                if (v < -0x8000 || v > 0xFFFF) fail(at, "field offset out of range");
                f->pinned = static_cast<std::int32_t>(v);
            } else if (accept_word("init")) {
                f->init_wrapper = member_ref("the initialising method");
            } else {
                error("unexpected '" + describe(peek()) + "' in a field declaration");
            }
        }
        expect_eol();
        if (f->lazy && (!f->is_static || !f->type.is_ref())) fail(at, "only reference statics can be lazy");
        if (!f->init_wrapper.empty() && !f->lazy) fail(at, "'init' needs a lazy static");
        if (f->pinned && f->is_static) fail(at, "a static field cannot be pinned with 'at'");
        if (f->exported && !f->is_static) fail(at, "only static fields are exported");
        f->owner = &t;
        t.fields.push_back(std::move(f));
    }

    void method_decl(Type& t, const SourceLocation& at) {
        auto m = std::make_unique<Method>();
        m->where = at;
        bool native_word = false;
        for (;;) {
            if (accept_word("static")) m->is_static = true;
            else if (accept_word("abstract")) m->is_abstract = true;
            else if (accept_word("private")) m->is_private = true;
            else if (accept_word("public")) m->is_public = true;
            else if (accept_word("final")) m->is_final = true;
            else if (accept_word("keep_context")) m->keep_context = true;
            else if (accept_word("exported")) m->exported = true;
            else if (accept_word("native")) native_word = true;
            else break;
        }
        m->ret = type("the return type");
        m->name = word("the method's name");
        expect_punct('(');
        while (!peek().is_punct(')')) {
            Param p;
            p.type = type("a parameter type");
            if (p.type.is_void()) error("a parameter cannot be void");
            p.name = word("the parameter's name");
            for (const Param& q : m->params)
                if (q.name == p.name) error("parameter '" + p.name + "' declared twice");
            m->params.push_back(std::move(p));
            if (!accept_punct(',')) break;
        }
        expect_punct(')');
        if (!at_eol()) {
            const std::string kind = word("a native binding (sni, vm, inline or constant)");
            if (kind == "sni") m->native = NativeKind::Sni;
            else if (kind == "vm") m->native = NativeKind::Vm;
            else if (kind == "inline") m->native = NativeKind::Inline;
            else if (kind == "constant") m->native = NativeKind::Constant;
            else fail(at, "unknown native binding '" + kind + "'");
            m->native_symbol = word("the native function's symbol");
            if (accept_word("io")) {
                if (m->native != NativeKind::Sni) fail(at, "'io' applies to sni natives");
                m->native_io = true;
            }
        }
        expect_eol();
        if (native_word && m->native == NativeKind::None)
            fail(at, "a native method needs a binding: sni, vm, inline or constant");
        if (m->native == NativeKind::Constant &&
            (!m->is_static || m->params.size() != 1 || m->params[0].type != class_type("java.lang.String") ||
             m->ret.is_void() ||
             (m->ret.is_ref() && m->ret != class_type("java.lang.String") && m->ret != class_type("java.lang.Class"))))
            fail(at, "a constant native is static, takes the constant's name (a String) and returns a primitive, a String or a Class");
        if (t.is_interface() && !m->is_static && !m->is_initializer()) m->is_abstract = true;
        if (m->is_abstract && m->native != NativeKind::None) fail(at, "an abstract method cannot be native");
        if (m->is_initializer() && (!m->is_static || !m->params.empty() || !m->ret.is_void()))
            fail(at, "a static initialiser is 'static void <clinit>()'");
        m->owner = &t;
        if (t.find_method(m->name, m->descriptor()))
            fail(at, "method '" + m->name + m->descriptor() + "' declared twice");
        Method& mr = *m;
        t.methods.push_back(std::move(m));
        method_body(mr);
    }

    void method_body(Method& m) {
        const bool needs_body = !m.is_abstract && m.native == NativeKind::None;
        for (;;) {
            skip_newlines();
            if (at_end()) fail(m.where, "method '" + m.name + "' is not closed with .end");
            const SourceLocation at = here();
            const Token& first = peek();
            if (first.kind != Token::Kind::Word) error("expected an instruction, a label or a directive");
            // Labels: "name:" at the start of a line.
            if (peek(1).is_punct(':')) {
                const std::string name = next().text;
                ++pos_;
                if (!needs_body) fail(at, "only methods with code have labels");
                CodeLine l;
                l.kind = CodeLine::Kind::Label;
                l.name = name;
                l.where = at;
                m.code.push_back(std::move(l));
                continue;
            }
            const std::string d = next().text;
            if (d == ".end") {
                expect_eol();
                if (needs_body && m.code.empty()) fail(at, "method '" + m.name + "' has no code");
                return;
            }
            if (d == ".transfer") {
                if (!m.owner->is_interface() || !m.is_abstract) fail(at, ".transfer describes a method of an interface");
                TransferDecl x;
                x.where = at;
                x.value = word("a parameter or 'return'");
                x.kind = word("a transfer kind (unchanged, convert, convert_to, foreign)");
                if (x.kind == "convert_to") x.parameter = word("the parameter holding the class");
                m.transfers.push_back(std::move(x));
                expect_eol();
                continue;
            }
            if (!needs_body) fail(at, "abstract and native methods have no body; close them with .end");
            if (d == ".temps") {
                const std::int64_t n = integer("a register count");
                if (n < 0 || n > 120) fail(at, "bad register count");
                m.temps = static_cast<int>(n);
            } else if (d == ".refs_below") {
                const std::int64_t n = integer("a register count");
                if (n < 0 || n > 120) fail(at, "bad register count");
                m.refs_below = static_cast<int>(n);
            } else if (d == ".full_header") {
                m.force_full_header = true;
            } else if (d == ".reg") {
                const std::string name = word("an alias name");
                const std::string reg = word("a register");
                RegisterAlias a;
                if (!parse_register_word(reg, a)) fail(at, "'" + reg + "' is not a register (p5, p-1, r0, r-2)");
                m.aliases[name] = a;
            } else if (d == ".catch") {
                Handler h;
                h.where = at;
                const std::string ty = word("the caught type or 'any'");
                if (ty != "any") h.catch_type = ty;
                if (!accept_word("from")) error("expected 'from'");
                h.from = word("a label");
                if (!accept_word("to")) error("expected 'to'");
                h.to = word("a label");
                if (!accept_word("using")) error("expected 'using'");
                h.target = word("a label");
                m.handlers.push_back(std::move(h));
            } else if (d == ".byte") {
                CodeLine l;
                l.kind = CodeLine::Kind::Bytes;
                l.where = at;
                do {
                    const std::int64_t v = integer("a byte");
                    if (v < -128 || v > 255) fail(at, "byte value out of range");
                    l.bytes.push_back(static_cast<std::uint8_t>(v));
                } while (accept_punct(','));
                m.code.push_back(std::move(l));
            } else if (!d.empty() && d[0] == '.') {
                fail(at, "unknown method directive '" + d + "'");
            } else {
                CodeLine l;
                l.kind = CodeLine::Kind::Instruction;
                l.name = d;
                l.where = at;
                if (!at_eol()) {
                    do l.operands.push_back(operand()); while (accept_punct(','));
                }
                m.code.push_back(std::move(l));
            }
            expect_eol();
        }
    }

    Operand operand() {
        Operand o;
        o.where = here();
        const Token& t = peek();
        if (t.kind == Token::Kind::String) {
            o.kind = Operand::Kind::String;
            o.chars = next().chars;
            return o;
        }
        if (t.kind == Token::Kind::Char) {
            o.value = next().chars[0];
            o.kind = Operand::Kind::Char;
            if (peek().is_punct(':')) {  // a lookupswitch key written as a character
                ++pos_;
                o.kind = Operand::Kind::Case;
                o.text = word("a label");
            }
            return o;
        }
        std::string w = member_ref("an operand");
        static const char* keywords[] = {"class", "method", "static", "field", "symbol", "immutable"};
        for (const char* k : keywords) {
            if (w == k && peek().kind == Token::Kind::Word) {
                o.kind = Operand::Kind::Keyed;
                o.keyword = k;
                o.text = member_ref("a name");
                return o;
            }
        }
        if (peek().is_punct(':')) {
            ++pos_;
            o.kind = Operand::Kind::Case;
            std::int64_t v;
            if (!parse_integer(w, v)) fail(o.where, "a lookupswitch key is an integer, not '" + w + "'");
            o.value = v;
            o.text = word("a label");
            return o;
        }
        if (parse_integer(w, o.value, &o.long_suffix)) {
            o.kind = Operand::Kind::Integer;
            return o;
        }
        if (parse_floating(w, o.fvalue, &o.single)) {
            o.kind = Operand::Kind::Floating;
            o.text = w;  // "inf" and "nan" are also label names
            return o;
        }
        o.kind = Operand::Kind::Word;
        o.text = std::move(w);
        return o;
    }

    static bool parse_register_word(const std::string& w, RegisterAlias& a) { return parse_register_name(w, a); }
};

}  // namespace

std::string read_source_file(const std::string& path, const SourceLocation& at, const std::string& what_) {
    // An error at the file itself need not name it twice.
    const std::string what = at.file == path && at.line == 0 ? std::string("it") : what_ + " '" + path + "'";
    std::error_code ec;
    if (fs::is_directory(path, ec)) fail(at, what + " is a directory");
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) fail(at, "cannot read " + what + ": " + std::strerror(errno ? errno : ENOENT));
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) fail(at, "cannot read " + what + ": " + std::strerror(errno ? errno : EIO));
    return ss.str();
}

void parse_text(Program& program, const std::string& text, const std::string& file, const ParseOptions& options) {
    program.source_files.push_back(file);
    std::vector<std::string> open;
    Parser p(program, options, open);
    p.run(text, file);
}

void parse_file(Program& program, const std::string& path, const ParseOptions& options) {
    const std::string text = read_source_file(path, SourceLocation{path, 0}, "the image source");
    program.source_files.push_back(path);
    std::vector<std::string> open{fs::weakly_canonical(path).string()};
    Parser p(program, options, open);
    p.run(text, path);
}

}  // namespace tarvelo::imagelink
