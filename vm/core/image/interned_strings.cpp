#include "vm/core/image/interned_strings.h"

extern "C" {
__attribute__((weak)) extern const char _java_internStrings_start[];
__attribute__((weak)) extern const char _java_internStrings_end[];
}

namespace tarvelo {

namespace {

constexpr std::uint32_t kInternRecord = 24;
// The String of a record starts 4 bytes into it.
constexpr std::uint32_t kInternString = 4;

// The interned-string iterator's cursor: the next record. Reset at every
// start of the virtual machine.
word_t intern_cursor = 0;

}  // namespace

void reset_interned_string_iterator() { intern_cursor = to_word(_java_internStrings_start); }

word_t next_interned_string() {
    if (intern_cursor == 0) reset_interned_string_iterator();
    const word_t end = to_word(_java_internStrings_end);
    if (intern_cursor + kInternString >= end) return 0;
    const word_t s = intern_cursor + kInternString;
    intern_cursor += kInternRecord;
    return s;
}

word_t interned_string_at(std::int32_t index) {
    if (index < 0 || index >= interned_string_count()) return 0;
    return to_word(_java_internStrings_start) + static_cast<word_t>(index) * kInternRecord + kInternString;
}

std::int32_t interned_string_count() {
    return static_cast<std::int32_t>((to_word(_java_internStrings_end) - to_word(_java_internStrings_start)) /
                                     kInternRecord);
}

}  // namespace tarvelo
