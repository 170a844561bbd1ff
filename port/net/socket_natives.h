// Shared pieces of the socket and DNS natives.
#pragma once

#include <cstdint>

extern "C" {

// Makes a socket non-blocking; -1 when its flags cannot be read.
std::int32_t LLNET_set_non_blocking(std::int32_t socket);

// After a socket call failed with `error`: raises "timeout" when the
// deadline (nonzero) has passed, parks the thread in the select task when
// the call would block (EAGAIN, EINPROGRESS), else raises the translated
// error. Returns 0 (the native's result is then ignored).
std::int32_t LLNET_handle_blocking_operation_error(std::int32_t socket, std::int32_t error, std::int32_t operation,
                                                   std::int64_t deadline, void* callback, void* callbackArgument);
}

namespace tarvelo::net {

// The length of a Java array (the word before its first element).
inline std::int32_t array_length(const void* array) { return reinterpret_cast<const std::int32_t*>(array)[-1]; }

// Whether [offset, offset + length) lies inside the Java array.
inline bool array_range_ok(const void* array, std::int32_t offset, std::int32_t length) {
    if (array == nullptr || offset < 0 || length < 0) return false;
    return static_cast<std::int64_t>(offset) + length <= array_length(array);
}

}  // namespace tarvelo::net
