#include "tools/imagelink/java_type.h"

#include <algorithm>

namespace tarvelo::imagelink {

int JavaType::prim_words() const {
    if (is_ref() || is_void()) return 0;
    return is_wide() ? 2 : 1;
}

std::uint32_t JavaType::storage_size() const {
    if (is_ref()) return 4;
    switch (base) {
        case BaseKind::Boolean: case BaseKind::Byte: return 1;
        case BaseKind::Char: case BaseKind::Short: return 2;
        case BaseKind::Long: case BaseKind::Double: return 8;
        case BaseKind::Void: return 0;
        default: return 4;
    }
}

JavaType JavaType::element() const {
    JavaType e = *this;
    if (e.dims > 0) --e.dims;
    return e;
}

std::uint32_t JavaType::primitive_code() const {
    if (dims != 1) return 0;
    switch (base) {
        case BaseKind::Boolean: return 4;
        case BaseKind::Char: return 5;
        case BaseKind::Float: return 6;
        case BaseKind::Double: return 7;
        case BaseKind::Byte: return 8;
        case BaseKind::Short: return 9;
        case BaseKind::Int: return 10;
        case BaseKind::Long: return 11;
        default: return 0;
    }
}

static char base_letter(BaseKind k) {
    switch (k) {
        case BaseKind::Boolean: return 'Z';
        case BaseKind::Byte: return 'B';
        case BaseKind::Char: return 'C';
        case BaseKind::Short: return 'S';
        case BaseKind::Int: return 'I';
        case BaseKind::Long: return 'J';
        case BaseKind::Float: return 'F';
        case BaseKind::Double: return 'D';
        case BaseKind::Void: return 'V';
        case BaseKind::Class: return 'L';
    }
    return '?';
}

static const char* base_java_name(BaseKind k) {
    switch (k) {
        case BaseKind::Boolean: return "boolean";
        case BaseKind::Byte: return "byte";
        case BaseKind::Char: return "char";
        case BaseKind::Short: return "short";
        case BaseKind::Int: return "int";
        case BaseKind::Long: return "long";
        case BaseKind::Float: return "float";
        case BaseKind::Double: return "double";
        case BaseKind::Void: return "void";
        case BaseKind::Class: return "";
    }
    return "";
}

std::string JavaType::descriptor() const {
    std::string s(static_cast<std::size_t>(dims), '[');
    if (base == BaseKind::Class) {
        s += 'L';
        s += class_name;
        s += ';';
    } else {
        s += base_letter(base);
    }
    return s;
}

std::string JavaType::java_name() const {
    std::string s = base == BaseKind::Class ? class_name : base_java_name(base);
    for (int i = 0; i < dims; ++i) s += "[]";
    return s;
}

std::string JavaType::type_name() const { return dims > 0 ? descriptor() : class_name; }

JavaType primitive(BaseKind kind) { return JavaType{kind, {}, 0}; }
JavaType class_type(std::string name) { return JavaType{BaseKind::Class, std::move(name), 0}; }

static bool valid_class_name(std::string_view s) {
    if (s.empty() || s.front() == '.' || s.back() == '.') return false;
    char prev = 0;
    for (char c : s) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                        c == '$' || c == '.';
        if (!ok || (c == '.' && prev == '.')) return false;
        prev = c;
    }
    return true;
}

std::optional<JavaType> parse_java_type(std::string_view text) {
    JavaType t;
    while (text.size() >= 2 && text.substr(text.size() - 2) == "[]") {
        ++t.dims;
        text.remove_suffix(2);
    }
    static const struct { const char* name; BaseKind kind; } prims[] = {
        {"boolean", BaseKind::Boolean}, {"byte", BaseKind::Byte}, {"char", BaseKind::Char},
        {"short", BaseKind::Short}, {"int", BaseKind::Int}, {"long", BaseKind::Long},
        {"float", BaseKind::Float}, {"double", BaseKind::Double}, {"void", BaseKind::Void},
    };
    for (const auto& p : prims) {
        if (text == p.name) {
            if (p.kind == BaseKind::Void && t.dims > 0) return std::nullopt;
            t.base = p.kind;
            return t;
        }
    }
    if (!valid_class_name(text)) return std::nullopt;
    t.base = BaseKind::Class;
    t.class_name = std::string(text);
    return t;
}

std::optional<JavaType> parse_descriptor(std::string_view text, std::size_t& pos) {
    JavaType t;
    while (pos < text.size() && text[pos] == '[') {
        ++t.dims;
        ++pos;
    }
    if (pos >= text.size()) return std::nullopt;
    const char c = text[pos++];
    switch (c) {
        case 'Z': t.base = BaseKind::Boolean; break;
        case 'B': t.base = BaseKind::Byte; break;
        case 'C': t.base = BaseKind::Char; break;
        case 'S': t.base = BaseKind::Short; break;
        case 'I': t.base = BaseKind::Int; break;
        case 'J': t.base = BaseKind::Long; break;
        case 'F': t.base = BaseKind::Float; break;
        case 'D': t.base = BaseKind::Double; break;
        case 'V':
            if (t.dims > 0) return std::nullopt;
            t.base = BaseKind::Void;
            break;
        case 'L': {
            const std::size_t end = text.find(';', pos);
            if (end == std::string_view::npos) return std::nullopt;
            std::string name(text.substr(pos, end - pos));
            std::replace(name.begin(), name.end(), '/', '.');
            if (!valid_class_name(name)) return std::nullopt;
            t.base = BaseKind::Class;
            t.class_name = std::move(name);
            pos = end + 1;
            break;
        }
        default:
            return std::nullopt;
    }
    return t;
}

std::optional<JavaType> parse_any_type(std::string_view text) {
    std::size_t pos = 0;
    if (auto d = parse_descriptor(text, pos); d && pos == text.size()) {
        // A one-letter descriptor and a one-letter class name look alike; a
        // bare capital letter is read as the descriptor.
        return d;
    }
    return parse_java_type(text);
}

std::string mangle(std::string_view text) {
    std::string s;
    for (char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_') {
            s += c;
        } else if (c == '.' || c == '/') {
            s += '_';
        } else {
            static const char hex[] = "0123456789abcdef";
            s += "_0";
            s += hex[(static_cast<unsigned char>(c) >> 4) & 0xF];
            s += hex[static_cast<unsigned char>(c) & 0xF];
        }
    }
    return s;
}

std::string type_symbol_part(const JavaType& t) {
    std::string s(static_cast<std::size_t>(t.dims), 'A');
    if (t.base == BaseKind::Class) {
        s += 'L';
        s += mangle(t.class_name);
    } else {
        s += base_letter(t.base);
    }
    return s;
}

}  // namespace tarvelo::imagelink
