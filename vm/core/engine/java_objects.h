// Access to the fields of the Java classes the virtual machine reads and
// writes itself, at the offsets the runtime prelude pins
// (vm/core/image/runtime_layout.h, string_record.h).
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/core/image/runtime_layout.h"
#include "vm/model/string_record.h"
#include "vm/model/object_header.h"

namespace tarvelo::java {

inline std::uint32_t& word_at(word_t a) { return *to_ptr<std::uint32_t>(a); }
inline std::uint32_t& field(word_t object, std::int32_t offset) {
    return word_at(object + static_cast<std::uint32_t>(offset));
}

// --- java.lang.Throwable, yq.sni.NativeException --------------------------------
inline word_t& throwable_message(word_t e) { return field(e, image::layout::kThrowableMessage); }
inline word_t& throwable_stack_trace(word_t e) { return field(e, image::layout::kThrowableStackTrace); }
inline std::uint32_t& native_exception_code(word_t e) { return field(e, image::layout::kNativeExceptionErrorCode); }

// --- java.lang.Thread ---------------------------------------------------------------
inline constexpr std::int32_t kThreadIdNotStarted = -1;
inline constexpr std::int32_t kThreadIdEnded = -2;

inline word_t& thread_name(word_t t) { return field(t, image::layout::kThreadName); }
inline std::uint32_t& thread_id(word_t t) { return field(t, image::layout::kThreadId); }
inline std::int32_t thread_priority(word_t t) {
    return static_cast<std::int32_t>(field(t, image::layout::kThreadPriority));
}
inline void set_thread_priority(word_t t, std::int32_t p) {
    field(t, image::layout::kThreadPriority) = static_cast<std::uint32_t>(p);
}
inline bool thread_is_daemon(word_t t) {
    return *to_ptr<std::uint8_t>(t + static_cast<std::uint32_t>(image::layout::kThreadDaemon)) != 0;
}

// --- java.lang.String -------------------------------------------------------------------
inline word_t& string_value(word_t s) { return field(s, image::kStringValueField); }
inline std::int32_t string_offset(word_t s) { return static_cast<std::int32_t>(word_at(s + image::kStringOffsetField)); }
inline std::int32_t string_count(word_t s) { return static_cast<std::int32_t>(word_at(s + image::kStringCountField)); }
inline void set_string_fields(word_t s, std::int32_t offset, std::int32_t count) {
    word_at(s + image::kStringOffsetField) = static_cast<std::uint32_t>(offset);
    word_at(s + image::kStringCountField) = static_cast<std::uint32_t>(count);
}

// --- Arrays ---------------------------------------------------------------------------------
inline constexpr std::uint32_t kArrayData = memory::kArrayDataOffset;
inline std::int32_t array_length(word_t a) { return static_cast<std::int32_t>(word_at(a + memory::kArrayLengthOffset)); }
template <typename T>
inline T* array_data(word_t a) { return to_ptr<T>(a + kArrayData); }

// The first of the chars of String `s` (not null) and their count, or null
// when it has no value array or its offset and count do not name a range
// of it: the fields are Java code's to set and an installed application's
// Strings come from its file, so whatever reads a String's chars takes them
// from here.
inline const char16_t* string_chars(word_t s, std::int32_t* count) {
    const word_t value = string_value(s);
    if (value == 0) return nullptr;
    const std::int64_t offset = string_offset(s), n = string_count(s);
    if (offset < 0 || n < 0 || offset + n > array_length(value)) return nullptr;
    *count = static_cast<std::int32_t>(n);
    return array_data<const char16_t>(value) + offset;
}

}  // namespace tarvelo::java
