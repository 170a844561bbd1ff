#include <atomic>

#include "platform/board/debug_console.h"
#include "vm/core/port/os_port.h"

namespace {
// The port objects carry no state: a non-null address is all the bindings need.
const std::uint32_t port_singleton = 0;
}

extern "C" std::int32_t LLBSP_IMPL_putchar__I(std::int32_t c) { return DbgConsole_Putchar(c); }

extern "C" std::int32_t LLBSP_IMPL_atomic_exchange(std::int32_t* word, std::int32_t value) {
    std::int32_t old = std::atomic_ref<std::int32_t>(*word).exchange(value, std::memory_order_seq_cst);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    return old;
}

extern "C" void* LLOSTV_IMPL_getSingleton(void) { return const_cast<std::uint32_t*>(&port_singleton); }
extern "C" void* LLBSP_IMPL_getSingleton(void) { return const_cast<std::uint32_t*>(&port_singleton); }
