// Native-interface calls on 32-bit ARM with hardware floating point
// (AAPCS-VFP), the device's convention. The image linker has already decided
// every argument's place; each descriptor byte names it:
//   - an array reference or an integer word: word slot N of the outgoing
//     argument area (0-3 become r0-r3, 4 and up are the stacked arguments);
//     a long takes slots N and N+1 (N even);
//   - a float: the single register sN; a double: the double register dN
//     (s2N and s2N+1), so that a float placed after a double back-fills the
//     single register the double left free;
//   - floats and doubles that found no register are stacked like integers.
// Placement is one copy per argument; the trampoline loads the registers.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "vm/core/bytecode/opcodes.h"
#include "vm/core/native_call/aapcs_vfp_self_test.h"
#include "vm/core/native_call/sni_call.h"
#include "vm/core/native_call/sni_machine_call.h"

namespace tarvelo {

namespace {

using namespace bytecode;

constexpr int kSingleRegisters = 16;
constexpr int kMaxAreaWords = 15 * 2;  // the size nibble's largest area

// The call block the trampoline reads (its layout is fixed by the assembler).
struct SniArmCall {
    std::uint32_t vfp[kSingleRegisters];  // s0-s15, d0-d7 as pairs
    std::uint32_t areaBytes;
    const std::uint32_t* area;
    const void* function;
};

struct SniArmReturn {
    std::uint32_t r0;
    std::uint32_t r1;
    std::uint64_t d0;
};

extern "C" void tarvelo_sni_trampoline(const SniArmCall* call, SniArmReturn* result);

}  // namespace

SniReturn sni_machine_call(const SniCallSite& site, const void* function) {
    static_assert(sizeof(void*) == 4, "the AAPCS-VFP call passes 32-bit pointers");
    static_assert(offsetof(SniArmCall, areaBytes) == 64 && offsetof(SniArmCall, area) == 68 &&
                  offsetof(SniArmCall, function) == 72);
    static_assert(offsetof(SniArmReturn, r1) == 4 && offsetof(SniArmReturn, d0) == 8);
    // Every call has at least the four core registers' 16 bytes.
    const int areaWords = std::max(site.areaUnits, static_cast<int>(kSniMinAreaUnits)) * 2;
    std::uint32_t area[kMaxAreaWords] = {};
    SniArmCall call{};
    // A destination outside the area or the registers (a corrupt image) is
    // dropped rather than written past them.
    auto word_slot = [&](unsigned n, std::uint32_t w) {
        if (n < static_cast<unsigned>(areaWords)) area[n] = w;
    };
    const std::int32_t* prim = site.prim;
    const word_t* ref = site.ref;
    for (int i = 0; i < site.count; ++i) {
        const std::uint8_t d = site.descriptors[i];
        const unsigned n = d >> kSniSlotShift;
        if ((d & kSniArgRef) != 0) {
            word_slot(n, static_cast<std::uint32_t>(sni_array_argument(*ref++)));
        } else if ((d & kSniArg64) == 0) {
            prim -= 1;
            const auto w = static_cast<std::uint32_t>(prim[0]);
            if ((d & kSniArgFloat) == 0) {
                word_slot(n, w);
            } else if (n < kSingleRegisters) {
                call.vfp[n] = w;
            }
        } else {
            prim -= 2;  // the low word at the lower address
            const auto low = static_cast<std::uint32_t>(prim[0]);
            const auto high = static_cast<std::uint32_t>(prim[1]);
            if ((d & kSniArgFloat) == 0) {
                word_slot(n, low);
                word_slot(n + 1, high);
            } else if (n < kSingleRegisters / 2) {
                call.vfp[2 * n] = low;
                call.vfp[2 * n + 1] = high;
            }
        }
    }
    call.areaBytes = static_cast<std::uint32_t>(areaWords) * 4;
    call.area = area;
    call.function = function;
    SniArmReturn result{};
    tarvelo_sni_trampoline(&call, &result);
    return {static_cast<std::uint64_t>(result.r1) << 32 | result.r0, result.d0};
}

// --- Self-test ------------------------------------------------------------------------------------------

namespace {

// The call of aapcs_vfp_self_test.h: what the target receives.
struct SelfTestSeen {
    std::int32_t ints[5];
    std::int64_t longs[2];
    float floats[6];
    double doubles[7];
};
SelfTestSeen seen;

std::int64_t self_test_target(std::int32_t a0, float f0, double d0, std::int64_t l0, float f1, std::int32_t a1,
                              double d1, std::int32_t a2, std::int64_t l1, float f2, double d2, double d3, double d4,
                              double d5, float f3, std::int32_t a3, float f4, double d6, std::int32_t a4, float f5) {
    seen = {{a0, a1, a2, a3, a4}, {l0, l1}, {f0, f1, f2, f3, f4, f5}, {d0, d1, d2, d3, d4, d5, d6}};
    return l0 ^ l1 ^ a4;
}

}  // namespace

bool sni_argument_self_test() {
    using namespace aapcs_vfp_self_test;
    const int count = static_cast<int>(sizeof kDescriptors);
    std::int32_t words[64] = {};
    std::int32_t* top = words + 64;  // prim[p]: arguments below it, the first highest
    const std::int32_t ints[5] = {1, -2, 0x7FFFFFFF, INT32_MIN, 5};
    const std::int64_t longs[2] = {0x0102030405060708LL, INT64_MIN};
    const float floats[6] = {1.5f, -2.25f, 3.0e38f, -0.0f, 1e-40f, 7.0f};
    const double doubles[7] = {0.5, -1.25, 3.0e300, -0.0, 7.75, 1.0 / 3.0, -1e-300};
    sni_write_test_arguments(kKinds, top, {ints, longs, floats, doubles});
    seen = {};
    const SniReturn result = sni_machine_call({kDescriptors, count, kAreaUnits, top, nullptr},
                                              reinterpret_cast<const void*>(&self_test_target));
    bool ok = static_cast<std::int64_t>(result.integer) == (longs[0] ^ longs[1] ^ ints[4]);
    ok = ok && std::memcmp(seen.ints, ints, sizeof ints) == 0 && std::memcmp(seen.longs, longs, sizeof longs) == 0;
    ok = ok && std::memcmp(seen.floats, floats, sizeof floats) == 0 && std::memcmp(seen.doubles, doubles, sizeof doubles) == 0;
    return ok;
}

}  // namespace tarvelo
