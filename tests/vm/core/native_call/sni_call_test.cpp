// OPinvoke_sni: the arguments an instruction's descriptors name arrive where
// the machine's convention wants them (on ARM the descriptors' own slots and
// registers), the result lands where its type code says, and the start-up
// self-test passes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "platform/address.h"
#include "vm/core/engine/frame_record.h"
#include "vm/core/native_call/sni_call.h"
#include "vm/core/threads/vm_thread.h"

namespace {

using tarvelo::to_word;
using tarvelo::word_t;

// Java int arrays in static memory: header, owner, length, elements.
struct IntArray {
    std::uint32_t header = 0x82000000u;
    std::uint32_t owner = 0;
    std::int32_t length;
    std::int32_t elements[4];
};
IntArray first{.length = 3, .elements = {11, 12, 13, 0}};
IntArray second{.length = 1, .elements = {21, 0, 0, 0}};

// An OPinvoke_sni instruction calling `fn` with p = 0 and r = 0, in static
// memory like an image's code.
alignas(4) std::uint8_t code[32];

struct Instruction {
    std::uint8_t* bytes = code;
    Instruction(const void* fn, std::uint8_t types, std::uint8_t countAndFlag, std::initializer_list<std::uint8_t> descriptors) {
        std::memset(code, 0, sizeof code);
        bytes[0] = 0xc4;
        const std::uint32_t address = to_word(fn);
        std::memcpy(bytes + 1, &address, 4);
        bytes[7] = types;
        bytes[8] = countAndFlag;
        std::size_t i = 9;
        for (std::uint8_t d : descriptors) bytes[i++] = d;
    }
};

struct Seen {
    std::int32_t ints[4];
    const std::int32_t* arrays[2];
    std::int64_t longValue;
    float floats[2];
    double doubleValue;
} seen;

std::int64_t seven_arguments(std::int32_t a, const std::int32_t* x, std::int32_t b, std::int32_t c,
                             const std::int32_t* y, std::int32_t d, std::int64_t e) {
    seen.ints[0] = a;
    seen.ints[1] = b;
    seen.ints[2] = c;
    seen.ints[3] = d;
    seen.arrays[0] = x;
    seen.arrays[1] = y;
    seen.longValue = e;
    return 0x1122334455667788LL;
}

float floats_after_a_long(std::int64_t a, float b, std::int32_t c, double d, float e) {
    seen.longValue = a;
    seen.floats[0] = b;
    seen.ints[0] = c;
    seen.doubleValue = d;
    seen.floats[1] = e;
    return b + e;
}

const std::int32_t* same_array(const std::int32_t* a) { return a; }

class SniCall : public testing::Test {
protected:
    std::int32_t words[32] = {};
    std::int32_t* P = words + 24;  // prim[0] of the caller; arguments below it
    word_t R[4] = {};
    tarvelo::VMThread thread{};
};

// c4 <function> 00 00 64 87 00 09 10 18 21 28 32: a long result, a 32-byte
// argument area, the I/O-exception flag and 7 arguments.
TEST_F(SniCall, SevenArgumentsOfTheDocumentedInstruction) {
    Instruction call(reinterpret_cast<const void*>(&seven_arguments), 0x64, 0x87,
                     {0x00, 0x09, 0x10, 0x18, 0x21, 0x28, 0x32});
    P[-1] = 1;
    P[-2] = 2;
    P[-3] = 3;
    P[-4] = 4;
    tarvelo::store_pair(P - 6, -5);
    R[0] = to_word(&first);
    R[1] = to_word(&second);
    const std::uint8_t* next = tarvelo::sni_invoke(&thread, call.bytes, P, R);
    EXPECT_EQ(next, call.bytes + 16);
    EXPECT_EQ(seen.ints[0], 1);
    EXPECT_EQ(seen.ints[1], 2);
    EXPECT_EQ(seen.ints[2], 3);
    EXPECT_EQ(seen.ints[3], 4);
    EXPECT_EQ(seen.longValue, -5);
    // An array travels as its first element; its length is the word before.
    EXPECT_EQ(seen.arrays[0], first.elements);
    EXPECT_EQ(seen.arrays[0][-1], 3);
    EXPECT_EQ(seen.arrays[1], second.elements);
    EXPECT_EQ(tarvelo::load_pair(P - 2), 0x1122334455667788LL);
}

TEST_F(SniCall, FloatsGoToVectorRegistersWhateverPrecedesThem) {
    // long (slots 0-1), float s0, int slot 2, double d1, float s1; float result.
    Instruction call(reinterpret_cast<const void*>(&floats_after_a_long), 0x72, 0x05, {0x02, 0x04, 0x10, 0x0e, 0x0c});
    tarvelo::store_pair(P - 2, 0x100000001LL);
    float b = 1.25f, e = -3.5f;
    double d = 6.0e100;
    std::memcpy(P - 3, &b, 4);
    P[-4] = -9;
    std::memcpy(P - 6, &d, 8);
    std::memcpy(P - 7, &e, 4);
    tarvelo::sni_invoke(&thread, call.bytes, P, R);
    EXPECT_EQ(seen.longValue, 0x100000001LL);
    EXPECT_EQ(seen.floats[0], 1.25f);
    EXPECT_EQ(seen.ints[0], -9);
    EXPECT_EQ(seen.doubleValue, 6.0e100);
    EXPECT_EQ(seen.floats[1], -3.5f);
    float result;
    std::memcpy(&result, P - 1, 4);
    EXPECT_EQ(result, -2.25f);
}

TEST_F(SniCall, ArraysComeBackAsTheirObjectAndNullAsNull) {
    Instruction call(reinterpret_cast<const void*>(&same_array), 0x92, 0x01, {0x01});
    R[0] = to_word(&first);
    tarvelo::sni_invoke(&thread, call.bytes, P, R);
    EXPECT_EQ(R[0], to_word(&first));
    R[0] = 0;
    tarvelo::sni_invoke(&thread, call.bytes, P, R);
    EXPECT_EQ(R[0], 0u);
}

#if defined(__arm__)
std::int32_t two_ints(std::int32_t a, std::int32_t b) {
    seen.ints[0] = a;
    seen.ints[1] = b;
    return a;
}

// A destination beyond the argument area or the floating-point registers (a
// corrupt image) is dropped; nothing past them is written.
TEST_F(SniCall, DestinationsOutsideTheAreaAndRegistersAreDropped) {
    Instruction call(reinterpret_cast<const void*>(&two_ints), 0x52, 0x04,
                     {0x00, 31 << 3, 31 << 3 | 0x04, 15 << 3 | 0x06});
    P[-1] = 41;
    P[-2] = 42;
    P[-3] = 43;
    tarvelo::store_pair(P - 5, 44);
    seen.ints[1] = -1;
    EXPECT_EQ(tarvelo::sni_invoke(&thread, call.bytes, P, R), call.bytes + 13);
    EXPECT_EQ(seen.ints[0], 41);
    EXPECT_EQ(seen.ints[1], 0);  // r1 was never given a value
    EXPECT_EQ(P[-1], 41);
}
#endif

TEST(SniSelfTest, PlacementOfEveryKindOfArgumentHolds) { EXPECT_TRUE(tarvelo::sni_argument_self_test()); }

}  // namespace
