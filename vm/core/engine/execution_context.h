// The execution context: the view of a thread record that natives and the
// virtual machine's own code work through. It reads a native's arguments,
// stores its result, holds native local references across allocations,
// creates and raises exceptions, finishes what a native left for after its
// return, and makes calls into Java methods.
//
// Natives-pool calling convention (opcode 0xc2): the function receives only
// the thread record; the native method's own activation is current. Its
// primitive arguments are the registers 5 upward in reverse order (the last
// argument is register 5; a long or double takes two registers, low word
// first), its reference arguments the reference window's -n .. -1 (n the
// method's reference base offset; the receiver of an instance method first).
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

struct VMThread;

struct ExecutionContext {
    // --- Arguments of the current native --------------------------------------------
    static std::int32_t* primArgs(VMThread* t);    // register 0 of the native's frame
    static word_t* refArgs(VMThread* t);            // its reference window base
    static std::int32_t intArg(VMThread* t, std::int32_t reg) { return primArgs(t)[reg]; }
    static std::int64_t longArg(VMThread* t, std::int32_t reg);
    // Reference argument i (0 the first) of a native with n reference words.
    static word_t refArg(VMThread* t, std::int32_t i);
    static std::uint32_t refArgCount(VMThread* t);

    // --- Results ---------------------------------------------------------------------
    // Into register (frame words - 1); returns that slot.
    static std::int32_t returnInt(VMThread* t, std::int32_t value);
    // Into register slot - 1.
    static void returnInt(VMThread* t, std::int32_t slot, std::int32_t value);
    static void returnLong(VMThread* t, std::int64_t value);
    static void returnLong(VMThread* t, std::int32_t slot, std::int64_t value);
    static void returnFloat(VMThread* t, float value);
    static void returnDouble(VMThread* t, double value);
    static void returnDouble(VMThread* t, std::int32_t slot, double value);
    static void returnRef(VMThread* t, std::int32_t index, word_t value);

    // --- Exceptions ----------------------------------------------------------------------
    // Creates an exception of `type` with its stack trace and makes it
    // pending, unless one is pending already or creations nest too deep.
    // true when the new exception is pending.
    static bool throwNew(VMThread* t, word_t type);
    // The same, then the message (a String) into the new exception; the
    // message is made of the given bytes, one char each.
    static bool throwNew(VMThread* t, word_t type, const char* message);
    static void throwIllegalArgument(VMThread* t);
    static void checkIndexRange(VMThread* t);

    // --- Local references ------------------------------------------------------------
    // Reserves the next slot, holding `value`; the collector keeps it current.
    static word_t* pushLocalRef(VMThread* t, word_t value = 0);
    // Frees `slot` and every slot above it.
    static void popLocalRefsTo(VMThread* t, word_t* slot);
    static void clearLocalRefs(VMThread* t);

    // --- Stack traces ----------------------------------------------------------------
    // An int array of 2n + 1 elements for the n frames of the thread, or 0
    // with OutOfMemoryError pending. With `creating` (an exception whose
    // constructors run), the innermost frames whose first reference
    // argument is that exception are left out.
    static word_t newStackIps(VMThread* t, word_t creating = 0);
    // Element 0 = frames counted, then one (pc, method) pair per frame from
    // the current one outward while there is room.
    static void fillStackTrace(VMThread* t, word_t ints, word_t creating = 0);

    // --- After a native --------------------------------------------------------------
    // Raises the native exception a native asked for, completes a pending
    // resource registration and closes the scoped resource. `ioAllowed`:
    // the call site allows a NativeIOException.
    static void afterNativeCall(VMThread* t, bool ioAllowed);

    // --- Calls into Java -------------------------------------------------------------
    // Invokes `method` right after the current windows with the given
    // argument words (primitive words in argument order, the first the
    // highest register; reference words in order, the receiver first).
    // Charges one quantum. false with an exception raised.
    static bool invokeWithArgs(VMThread* t, word_t method, word_t receiver, const std::int32_t* prim,
                               std::uint32_t primWords, const word_t* refs, std::uint32_t refWords);
    static bool invokeSimple(VMThread* t, word_t method) {
        return invokeWithArgs(t, method, 0, nullptr, 0, nullptr, 0);
    }
    // Calls from virtual-machine code through Thread.callWrapper, at the
    // thread's bottom (or after its current frame): when the method returns
    // or throws, the thread reaches its thread-bottom step. The arguments
    // are given as for invokeWithArgs. true when no exception is pending
    // after the set-up.
    static bool prepareCallStaticMethod(VMThread* t, word_t method, const std::int32_t* prim = nullptr,
                                        std::uint32_t primWords = 0, const word_t* refs = nullptr,
                                        std::uint32_t refWords = 0);
    // The receiver is the first reference argument and the receiver of the
    // call; `slot` -1 calls `method` itself, else the method at `slot` of
    // the receiver's virtual table.
    static bool prepareCallVirtualMethod(VMThread* t, word_t receiver, word_t method, std::int32_t slot);

private:
    static bool callThroughWrapper(VMThread* t, word_t method, std::int32_t slot, word_t receiver,
                                   const std::int32_t* prim, std::uint32_t primWords, const word_t* refs,
                                   std::uint32_t refWords);
};

}  // namespace tarvelo
