// Java types as the linker sees them: a base kind (a primitive, void or a
// class) with a number of array dimensions. Written in image sources either
// as Java source types ("int", "java.lang.String[]") or as descriptors
// ("I", "[Ljava.lang.String;"); class names are always dotted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvelo::imagelink {

enum class BaseKind : std::uint8_t { Boolean, Byte, Char, Short, Int, Long, Float, Double, Void, Class };

struct JavaType {
    BaseKind base = BaseKind::Void;
    std::string class_name;  // dotted, for BaseKind::Class
    int dims = 0;

    bool is_void() const { return dims == 0 && base == BaseKind::Void; }
    bool is_ref() const { return dims > 0 || base == BaseKind::Class; }
    bool is_array() const { return dims > 0; }
    bool is_wide() const { return dims == 0 && (base == BaseKind::Long || base == BaseKind::Double); }
    bool is_floating() const { return dims == 0 && (base == BaseKind::Float || base == BaseKind::Double); }
    // Words the value takes in the primitive window (0 for references, void).
    int prim_words() const;
    // Bytes of a field or array element of this type.
    std::uint32_t storage_size() const;
    // The element type of an array type (one dimension less).
    JavaType element() const;
    // Primitive element code 4..11 for a one-dimensional primitive array's
    // element; 0 otherwise.
    std::uint32_t primitive_code() const;

    std::string descriptor() const;  // "I", "[Ljava.lang.String;"
    std::string java_name() const;   // "int", "java.lang.String[]"
    // Name of the type header that holds this type: the class name for a
    // class, the descriptor for an array ("[I").
    std::string type_name() const;

    bool operator==(const JavaType& o) const { return base == o.base && class_name == o.class_name && dims == o.dims; }
    bool operator!=(const JavaType& o) const { return !(*this == o); }
};

JavaType primitive(BaseKind kind);
JavaType class_type(std::string name);

// Parses a Java source type ("long", "int[][]", "java.lang.Object[]").
std::optional<JavaType> parse_java_type(std::string_view text);
// Parses one descriptor at `pos`, advancing it ("J", "[I", "Ljava/lang/String;").
std::optional<JavaType> parse_descriptor(std::string_view text, std::size_t& pos);
// Parses a whole descriptor or, failing that, a Java source type.
std::optional<JavaType> parse_any_type(std::string_view text);

// Symbol part of a type for its `_java_` symbol: "Ljava_lang_Object", "AI",
// "ALjava_lang_String", "AAC".
std::string type_symbol_part(const JavaType& t);
// Replaces every character that may not appear in an assembler symbol.
std::string mangle(std::string_view text);

}  // namespace tarvelo::imagelink
