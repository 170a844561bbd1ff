// Ranges of Java arrays as natives see them: a pointer to the first
// element, with the array's length (a signed 32-bit word) just before it.
#pragma once

#include <cstdint>

namespace tarvelo {

inline std::int32_t java_array_length(const std::int8_t* elements) {
    return reinterpret_cast<const std::int32_t*>(elements)[-1];
}

// Whether [offset, offset + length) lies inside the array (false for a null
// array or a negative offset or length).
inline bool java_array_range_ok(const std::int8_t* elements, std::int32_t offset, std::int32_t length) {
    if (elements == nullptr || offset < 0 || length < 0) return false;
    return static_cast<std::int64_t>(offset) + length <= java_array_length(elements);
}

}  // namespace tarvelo
