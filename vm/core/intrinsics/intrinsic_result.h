// What an inline routine's body hands back to the interpreter: a value, or
// the Java exception the instruction must raise instead.
//
// The bodies compute only. The handler that called one stores the result,
// or, for a throw, records the instruction's position in the thread, creates
// the exception with the execution context's `throwNew` (no message) and
// dispatches it through the engine, as for any exception an instruction
// raises.
#pragma once

#include <cstdint>

namespace tarvelo::IntrinsicOpcodes {

enum class Throw : std::uint8_t {
    none = 0,
    arithmetic,               // java.lang.ArithmeticException
    null_pointer,             // java.lang.NullPointerException
    array_index_out_of_bounds,  // java.lang.ArrayIndexOutOfBoundsException
    index_out_of_bounds,      // java.lang.IndexOutOfBoundsException
};

// Fully qualified Java name of the exception type for `kind`, "" for none.
constexpr const char* exception_class_name(Throw kind) {
    switch (kind) {
        case Throw::arithmetic: return "java.lang.ArithmeticException";
        case Throw::null_pointer: return "java.lang.NullPointerException";
        case Throw::array_index_out_of_bounds: return "java.lang.ArrayIndexOutOfBoundsException";
        case Throw::index_out_of_bounds: return "java.lang.IndexOutOfBoundsException";
        case Throw::none: break;
    }
    return "";
}

template <typename T>
struct Result {
    T value;      // meaningful only when `thrown` is Throw::none
    Throw thrown;

    constexpr bool ok() const { return thrown == Throw::none; }
};

template <typename T>
constexpr Result<T> value_of(T v) { return Result<T>{v, Throw::none}; }

template <typename T>
constexpr Result<T> raise(Throw kind) { return Result<T>{T{}, kind}; }

// Result of a routine that stores nothing (ByteArray.fill).
using Status = Throw;

}  // namespace tarvelo::IntrinsicOpcodes
