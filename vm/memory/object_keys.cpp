#include "vm/memory/object_keys.h"

#include <cstring>

#include "vm/memory/memory_layout.h"
#include "vm/memory/object_model.h"

namespace tarvelo {

namespace {

constexpr std::uint32_t kValueField = 4;    // below the header
constexpr std::uint32_t kOffsetField = 8;
constexpr std::uint32_t kCountField = 12;

struct Chars {
    const char16_t* first;
    std::uint32_t count;
};

// The characters of a string; none when its value array is missing or its
// offset and count do not lie inside that array.
Chars charsOf(word_t string) {
    word_t value = wordAt(string - kValueField);
    auto offset = static_cast<std::int32_t>(wordAt(string + kOffsetField));
    auto count = static_cast<std::int32_t>(wordAt(string + kCountField));
    if (value == 0 || offset < 0 || count <= 0) return {nullptr, 0};
    std::int64_t length = arrayLength(value);
    if (static_cast<std::int64_t>(offset) + count > length) return {nullptr, 0};
    const auto* data = to_ptr<const char16_t>(value + memory::kArrayDataOffset);
    return {data + offset, static_cast<std::uint32_t>(count)};
}

}  // namespace

std::uint32_t StringKey::hashCode(word_t string) {
    Chars c = charsOf(string);
    std::uint32_t h = 0;
    for (std::uint32_t i = 0; i < c.count; ++i) h = 31u * h + static_cast<std::uint16_t>(c.first[i]);
    return h;
}

bool StringKey::equals(word_t string, word_t other) {
    if (other == 0 || typeOf(other) != memoryLayout().stringType) return false;
    if (other == string) return true;
    Chars a = charsOf(string);
    Chars b = charsOf(other);
    return a.count == b.count &&
           (a.count == 0 || std::memcmp(a.first, b.first, 2u * a.count) == 0);
}

bool ByteArrayKey::equals(word_t array, word_t other) {
    if (array == other) return true;
    if (array == 0 || other == 0) return false;
    std::int32_t length = arrayLength(array);
    if (length != arrayLength(other)) return false;
    return length <= 0 ||
           std::memcmp(to_ptr<const void>(bytes(array)), to_ptr<const void>(bytes(other)),
                       static_cast<std::size_t>(length)) == 0;
}

}  // namespace tarvelo
