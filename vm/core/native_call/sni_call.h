// OPinvoke_sni: a call of a native-interface function with the Java
// arguments passed in the platform's procedure-call standard. The
// instruction's descriptor bytes say, per argument in order, whether it is
// an array reference, 64 bits wide or floating point, and where the device's
// convention places it; this host places integer words and array pointers in
// its integer argument registers and then on the stack, and float and double
// values in its vector registers, in argument order.
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

struct VMThread;

// Runs the OPinvoke_sni instruction at `call` for the current frame's
// windows. Returns where the interpreter continues: the next instruction
// after a normal return, `call` itself when the native suspended its
// thread with a callback (the instruction then runs again with the callback
// in place of the native), or null when an exception is pending (the
// thread's pc then stands after the instruction).
const std::uint8_t* sni_invoke(VMThread* t, const std::uint8_t* call, std::int32_t* P, word_t* R);

// The start-up self-test of the argument placement: a call with arguments
// of every kind in every kind of place must arrive intact. false when the
// placement is broken (the virtual machine then does not start, error -22).
bool sni_argument_self_test();

// The native function called last (for the state dump).
word_t last_native_function();

}  // namespace tarvelo
