// The one place where a 32-bit word seen by the virtual machine or by Java
// code (a reference, an image address, a native handle) becomes a pointer
// and back. The host build is non-PIE and keeps every such address below
// 4 GiB; on the 32-bit target both conversions are the identity.
#pragma once

#include <cstdint>
#include <cstdlib>

namespace tarvelo {

using word_t = std::uint32_t;

// Debug builds refuse a pointer that does not fit a 32-bit word: memory that
// Java can see must come from static regions or our own arenas.
[[noreturn]] void address_out_of_range(const void* p);

inline word_t to_word(const void* p) {
    auto v = reinterpret_cast<std::uintptr_t>(p);
#ifndef NDEBUG
    if (v > 0xFFFFFFFFu) address_out_of_range(p);
#endif
    return static_cast<word_t>(v);
}

template <typename T = void>
inline T* to_ptr(word_t w) {
    return reinterpret_cast<T*>(static_cast<std::uintptr_t>(w));
}

// Value of an absolute link-time symbol (a configuration constant fixed by
// the linker), declared as `extern "C" const char sym[];`.
inline std::uint32_t link_value(const void* sym) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(sym));
}

}  // namespace tarvelo
