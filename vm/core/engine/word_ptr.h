// A pointer kept as a 32-bit word. The virtual machine's own records (thread
// records, stack blocks, frames) keep the layout they have on the device,
// where every pointer is one word; on the host the memory they point into
// lies below 4 GiB, so the word converts back through tarvelo::to_ptr.
#pragma once

#include "platform/address.h"

namespace tarvelo {

template <typename T>
struct WordPtr {
    word_t w;

    T* get() const { return to_ptr<T>(w); }
    void set(T* p) { w = to_word(p); }
    T* operator->() const { return get(); }
    explicit operator bool() const { return w != 0; }
};

// Function addresses as words (native functions, allocator entry points,
// callbacks): the code of a non-PIE host build lies below 4 GiB too.
template <typename Fn>
inline word_t function_word(Fn* fn) {
    return to_word(reinterpret_cast<const void*>(fn));
}

template <typename Fn>
inline Fn* word_function(word_t w) {
    return reinterpret_cast<Fn*>(to_ptr<void>(w));
}

}  // namespace tarvelo
