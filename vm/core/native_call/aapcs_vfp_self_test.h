// The native call the start-up self-test of the ARM argument placement
// makes: twenty arguments covering every kind of place (ints in core
// registers and on the stack, longs on even slots in registers and on the
// stack, floats back-filling single registers left by doubles, doubles after
// floats, floats and doubles stacked once the sixteen single registers are
// taken), with the descriptor bytes the image linker gives such a native.
// The image linker's tests check the bytes against its own placement.
#pragma once

#include <cstdint>

namespace tarvelo::aapcs_vfp_self_test {

// Java parameter and result types of the native, in its descriptor form.
inline constexpr char kJavaDescriptor[] = "(IFDJFIDIJFDDDDFIFDIF)J";
// The kinds in argument order: i int, f float, d double, l long.
inline constexpr char kKinds[] = "ifdlfidilfddddfifdif";
inline constexpr std::uint8_t kDescriptors[] = {
    0x00,  // int: r0
    0x04,  // float: s0
    0x0e,  // double: d1
    0x12,  // long: r2, r3
    0x0c,  // float: s1 (back-filled)
    0x20,  // int: stack slot 4
    0x16,  // double: d2
    0x28,  // int: stack slot 5
    0x32,  // long: stack slots 6, 7
    0x34,  // float: s6
    0x26,  // double: d4
    0x2e,  // double: d5
    0x36,  // double: d6
    0x3e,  // double: d7
    0x3c,  // float: s7 (back-filled)
    0x40,  // int: stack slot 8
    0x48,  // float: stack slot 9 (the single registers are taken)
    0x52,  // double: stack slots 10, 11
    0x60,  // int: stack slot 12
    0x68,  // float: stack slot 13 (no back-filling once one is stacked)
};
inline constexpr int kAreaUnits = 7;  // slots 0-13
static_assert(sizeof kKinds - 1 == sizeof kDescriptors);

}  // namespace tarvelo::aapcs_vfp_self_test
