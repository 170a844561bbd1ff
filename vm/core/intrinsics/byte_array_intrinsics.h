// Body functions of the ByteArray inline routines that check more than a
// bound: the int compare-and-swap and exchange, and fill.
//
// `array` is the reference word of a Java byte array (0 for null). The
// offsets of the int routines are only ever used as their sum. These
// routines run between two instructions of one green thread, which is what
// makes the read-compare-write sequences atomic for Java code; they allocate
// nothing.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/core/intrinsics/intrinsic_result.h"

namespace tarvelo::IntrinsicOpcodes {

// The old int at byte offset + offset2, replaced by `replacement` when it
// equals `expected`. Checks, in order: offset + offset2 overflowing 32 bits
// unsigned (ArithmeticException), null (NullPointerException), fewer than 4
// bytes left at that offset (ArrayIndexOutOfBoundsException), an element
// address that is not a multiple of 4 (ArithmeticException).
Result<std::int32_t> byteArrayCompareAndSwapInt(word_t array, std::int32_t offset,
                                                std::int32_t offset2, std::int32_t expected,
                                                std::int32_t replacement);

// The old int at byte offset + offset2, replaced by `value`; same checks.
Result<std::int32_t> byteArraySwapInt(word_t array, std::int32_t offset, std::int32_t offset2,
                                      std::int32_t value);

// Sets `count` bytes from `offset` to the low 8 bits of `value`. Checks, in
// order: null (NullPointerException), offset + count overflowing 32 bits
// unsigned (ArithmeticException), offset + count above the length
// (IndexOutOfBoundsException). Nothing is written when a check fails.
Status byteArrayFill(word_t array, std::int32_t offset, std::int32_t count, std::int32_t value);

}  // namespace tarvelo::IntrinsicOpcodes
