// Arguments of the engine's natives-pool functions, read from the calling
// thread's frame.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/core/engine/aot_interface.h"
#include "vm/core/engine/execution_context.h"

namespace tarvelo::graphics {

// The k-th (from 0) of a native's `count` primitive arguments: the last one
// is register 5.
inline std::int32_t prim_arg(VMThread* t, std::int32_t count, std::int32_t k) {
    return ExecutionContext::primArgs(t)[5 + count - 1 - k];
}

// The first element of an array object.
inline std::uint8_t* array_elements(word_t array) { return to_ptr<std::uint8_t>(array + AOTInterface::f039()); }

}  // namespace tarvelo::graphics
