#include "vm/core/intrinsics/byte_array_intrinsics.h"

#include <cstring>

#include "vm/model/object_header.h"

namespace tarvelo::IntrinsicOpcodes {

namespace {

using memory::kArrayDataOffset;
using memory::kArrayLengthOffset;

std::uint32_t array_length(word_t array) {
    std::uint32_t length;
    std::memcpy(&length, to_ptr<std::uint8_t>(array) + kArrayLengthOffset, sizeof length);
    return length;
}

std::uint8_t* element_address(word_t array, std::uint32_t offset) {
    return to_ptr<std::uint8_t>(array) + kArrayDataOffset + offset;
}

// Checks of the two int routines; on success `byte_offset` is the element's
// byte offset.
Throw check_int_access(word_t array, std::int32_t offset, std::int32_t offset2,
                       std::uint32_t& byte_offset) {
    const auto a = static_cast<std::uint32_t>(offset);
    const auto b = static_cast<std::uint32_t>(offset2);
    if (a > ~b) return Throw::arithmetic;
    byte_offset = a + b;
    if (array == 0) return Throw::null_pointer;
    if (static_cast<std::int32_t>(byte_offset) < 0 ||
        static_cast<std::uint64_t>(byte_offset) + 4 > array_length(array)) {
        return Throw::array_index_out_of_bounds;
    }
    if (((array + kArrayDataOffset + byte_offset) & 3u) != 0) return Throw::arithmetic;
    return Throw::none;
}

std::int32_t load_int(const std::uint8_t* p) {
    std::int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void store_int(std::uint8_t* p, std::int32_t v) { std::memcpy(p, &v, sizeof v); }

}  // namespace

Result<std::int32_t> byteArrayCompareAndSwapInt(word_t array, std::int32_t offset,
                                                std::int32_t offset2, std::int32_t expected,
                                                std::int32_t replacement) {
    std::uint32_t byte_offset = 0;
    if (const Throw t = check_int_access(array, offset, offset2, byte_offset); t != Throw::none) {
        return raise<std::int32_t>(t);
    }
    std::uint8_t* p = element_address(array, byte_offset);
    const std::int32_t old = load_int(p);
    if (old == expected) store_int(p, replacement);
    return value_of(old);
}

Result<std::int32_t> byteArraySwapInt(word_t array, std::int32_t offset, std::int32_t offset2,
                                      std::int32_t value) {
    std::uint32_t byte_offset = 0;
    if (const Throw t = check_int_access(array, offset, offset2, byte_offset); t != Throw::none) {
        return raise<std::int32_t>(t);
    }
    std::uint8_t* p = element_address(array, byte_offset);
    const std::int32_t old = load_int(p);
    store_int(p, value);
    return value_of(old);
}

Status byteArrayFill(word_t array, std::int32_t offset, std::int32_t count, std::int32_t value) {
    if (array == 0) return Throw::null_pointer;
    const auto start = static_cast<std::uint32_t>(offset);
    const auto n = static_cast<std::uint32_t>(count);
    if (start > ~n) return Throw::arithmetic;
    if (start + n > array_length(array)) return Throw::index_out_of_bounds;
    if (n != 0) std::memset(element_address(array, start), value & 0xFF, n);
    return Throw::none;
}

}  // namespace tarvelo::IntrinsicOpcodes
