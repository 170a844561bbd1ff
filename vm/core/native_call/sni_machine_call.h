// The machine's part of OPinvoke_sni: placing the Java arguments an
// instruction describes where the machine's procedure-call standard wants
// them, calling the function, and handing back its return registers. One
// implementation per machine (x86-64 System V on the host, AAPCS-VFP on
// 32-bit ARM); the rest of the instruction is the same on every machine.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/core/engine/java_objects.h"

namespace tarvelo {

// The arguments of one call: the instruction's descriptor bytes and area
// size, the primitive window's word prim[p] (the arguments lie below it, the
// first highest) and the reference window's word ref[r].
struct SniCallSite {
    const std::uint8_t* descriptors;
    int count;
    int areaUnits;  // the outgoing argument area, in 8-byte units
    const std::int32_t* prim;
    const word_t* ref;
};

// What the function left in its return registers: the integer register(s)
// (a long's two words, low first) and the floating-point return register's
// bits (a float in the low 32).
struct SniReturn {
    std::uint64_t integer;
    std::uint64_t floating;
};

// Places the arguments, calls `function` and returns its return registers.
SniReturn sni_machine_call(const SniCallSite& site, const void* function);

// The address of element 0 of an array argument, 0 for null: the native
// finds the length in the word before it.
inline std::uintptr_t sni_array_argument(word_t array) {
    return array == 0 ? 0 : reinterpret_cast<std::uintptr_t>(to_ptr<std::uint8_t>(array + java::kArrayData));
}

// The self-tests' arguments: values taken in order from the lists by their
// kinds ('i' int, 'f' float, 'l' long, 'd' double), written into the
// primitive window below `top` as an instruction's arguments lie (the first
// highest, a pair's low word lower).
struct SniTestValues {
    const std::int32_t* ints;
    const std::int64_t* longs;
    const float* floats;
    const double* doubles;
};
void sni_write_test_arguments(const char* kinds, std::int32_t* top, const SniTestValues& values);

}  // namespace tarvelo
