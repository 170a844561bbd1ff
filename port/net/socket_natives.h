// Shared pieces of the socket and DNS natives.
#pragma once

#include <cstdint>

#include "vm/core/engine/java_array_range.h"

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
