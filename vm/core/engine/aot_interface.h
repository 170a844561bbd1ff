// The few functions through which the separately compiled display natives
// reach the virtual machine: the current native's registers and result, a
// NullPointerException, array layout, and streams over image resources.
// Each acts on the thread whose native runs now.
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

struct AOTInterface {
    // ExecutionContext::returnInt of the current native.
    static void f003(std::int32_t value);
    // Raises NullPointerException in the current thread.
    static void f007();
    // Primitive register 5 + n of the current native's frame.
    static std::int32_t f016(std::int32_t n);
    // Reference register -1 - n of the current native's reference window.
    static word_t f017(std::int32_t n);
    // A new MemoryInputStream over the image resource named by `length`
    // bytes of the byte array `name` from `offset` (an absolute name: "/"
    // and the path); 0 off the application task, while a close function
    // runs, for a range outside the array, a name not found, or when the
    // stream cannot be allocated (OutOfMemoryError is then pending).
    static word_t f038(word_t name, std::int32_t offset, std::int32_t length);
    // The offset of element 0 from an array object.
    static std::int32_t f039();
    // The length word of an array object.
    static std::int32_t f040(word_t array);
    // A MemoryInputStream's end address when `start` is 0, else its start.
    static std::int32_t f041(word_t stream, std::int32_t start);

    // The image resource named by `length` bytes at `name` (an absolute
    // name: "/" and the path; nothing is allocated): its data address and
    // size, true; false off the application task, while a close function
    // runs, for a name that is not absolute or too long, or not found.
    static bool findResource(const char* name, std::int32_t length, word_t* data, std::uint32_t* size);
};

}  // namespace tarvelo
