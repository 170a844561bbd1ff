// Ranges of Java arrays as natives see them: a pointer to the first
// element, with the array's length (a signed 32-bit word) just before it.
// Every native that reads or writes the elements of an array it is handed
// checks the range here first: the class library's argument checks are not
// trusted to have run.
#pragma once

#include <cstdint>

namespace tarvelo {

// The array's length in elements (bytes for a byte array).
inline std::int32_t java_array_length(const void* elements) {
    return static_cast<const std::int32_t*>(elements)[-1];
}

// Whether [offset, offset + length) lies inside the array, counted in
// elements (false for a null array or a negative offset or length).
inline bool java_array_range_ok(const void* elements, std::int32_t offset, std::int32_t length) {
    if (elements == nullptr || offset < 0 || length < 0) return false;
    return static_cast<std::int64_t>(offset) + length <= java_array_length(elements);
}

}  // namespace tarvelo
