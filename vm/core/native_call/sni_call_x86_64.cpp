// Native-interface calls on x86-64 (System V): the descriptors' destination
// slots are the device's; this machine places integer words and array
// pointers in its integer argument registers and then on the stack, and
// float and double values in its vector registers, in argument order.
#include <cstddef>
#include <cstring>

#include "vm/core/bytecode/opcodes.h"
#include "vm/core/engine/frame_record.h"
#include "vm/core/native_call/sni_call.h"
#include "vm/core/native_call/sni_machine_call.h"

namespace tarvelo {

namespace {

using namespace bytecode;

constexpr int kIntegerRegisters = 6;
constexpr int kVectorRegisters = 8;
constexpr int kMaxStackWords = kSniCountMask;  // one per argument at most

// The call block the trampoline reads (its layout is fixed by the assembler).
struct SniCallBlock {
    std::uint64_t gpr[kIntegerRegisters];
    std::uint64_t xmm[kVectorRegisters];
    std::uint64_t stackCount;
    const std::uint64_t* stack;
    const void* function;
};
static_assert(offsetof(SniCallBlock, xmm) == 48 && offsetof(SniCallBlock, stackCount) == 112 &&
              offsetof(SniCallBlock, stack) == 120 && offsetof(SniCallBlock, function) == 128);

struct SniCallResult {
    std::uint64_t rax;
    std::uint64_t rdx;
    std::uint64_t xmm0;
};

extern "C" void tarvelo_sni_trampoline(const SniCallBlock* block, SniCallResult* result);

// Places the arguments in argument order.
class ArgumentPlacer {
public:
    explicit ArgumentPlacer(SniCallBlock& block) : block_(block) {}

    void place(const std::uint8_t* descriptors, int count, const std::int32_t* prim, const word_t* ref) {
        for (int i = 0; i < count; ++i) {
            const std::uint8_t d = descriptors[i];
            if ((d & kSniArgRef) != 0) {
                integer(sni_array_argument(*ref++));
            } else if ((d & kSniArg64) == 0) {
                prim -= 1;
                const std::int32_t w = *prim;
                if ((d & kSniArgFloat) != 0) {
                    vector(static_cast<std::uint32_t>(w));
                } else {
                    integer(static_cast<std::uint64_t>(static_cast<std::int64_t>(w)));
                }
            } else {
                prim -= 2;
                const auto v = static_cast<std::uint64_t>(load_pair(prim));
                if ((d & kSniArgFloat) != 0) vector(v); else integer(v);
            }
        }
        block_.stackCount = static_cast<std::uint64_t>(stackCount_);
        block_.stack = stack_;
    }

private:
    void integer(std::uint64_t v) {
        if (gpr_ < kIntegerRegisters) block_.gpr[gpr_++] = v; else stack_[stackCount_++] = v;
    }
    void vector(std::uint64_t v) {
        if (xmm_ < kVectorRegisters) block_.xmm[xmm_++] = v; else stack_[stackCount_++] = v;
    }

    SniCallBlock& block_;
    std::uint64_t stack_[kMaxStackWords] = {};
    int gpr_ = 0;
    int xmm_ = 0;
    int stackCount_ = 0;
};

}  // namespace

SniReturn sni_machine_call(const SniCallSite& site, const void* function) {
    SniCallBlock block{};
    ArgumentPlacer placer(block);
    placer.place(site.descriptors, site.count, site.prim, site.ref);
    block.function = function;
    SniCallResult result{};
    tarvelo_sni_trampoline(&block, &result);
    return {result.rax, result.xmm0};
}

// --- Self-test ------------------------------------------------------------------------------------------

namespace {

// Ten integer words (six in registers, four stacked) and eleven floating
// values (eight in registers, three stacked), interleaved.
struct SelfTestSeen {
    std::int32_t ints[7];
    std::int64_t longs[3];
    double doubles[8];
    float floats[3];
};
SelfTestSeen seen;

std::int64_t self_test_target(std::int32_t a0, double d0, std::int64_t l0, float f0, std::int32_t a1, double d1,
                              std::int32_t a2, double d2, std::int32_t a3, double d3, std::int64_t l1, double d4,
                              std::int32_t a4, double d5, float f1, double d6, std::int32_t a5, double d7, float f2,
                              std::int32_t a6, std::int64_t l2) {
    seen = {{a0, a1, a2, a3, a4, a5, a6}, {l0, l1, l2}, {d0, d1, d2, d3, d4, d5, d6, d7}, {f0, f1, f2}};
    return l0 ^ l1 ^ l2 ^ a6;
}

}  // namespace

bool sni_argument_self_test() {
    // Argument kinds in order: i d l f i d i d i d l d i d f d i d f i l.
    static const char kKinds[] = "idlfididi" "dldidfdidfil";
    const int count = static_cast<int>(sizeof(kKinds) - 1);
    std::uint8_t descriptors[32];
    std::int32_t words[64] = {};
    std::int32_t* top = words + 64;  // prim[p]: arguments below it, the first highest
    const std::int32_t ints[7] = {1, -2, 0x7FFFFFFF, INT32_MIN, 5, -6, 7};
    const std::int64_t longs[3] = {0x0102030405060708LL, INT64_MIN, -3};
    const double doubles[8] = {0.5, -1.25, 3.0e300, -0.0, 7.75, 1.0 / 3.0, -1e-300, 42.0};
    const float floats[3] = {1.5f, -2.25f, 3.0e38f};
    for (int i = 0; i < count; ++i) {
        // This machine places by kind alone; the slots do not matter.
        descriptors[i] = kKinds[i] == 'i' ? 0 : kKinds[i] == 'f' ? kSniArgFloat : kKinds[i] == 'l' ? kSniArg64 : kSniArg64 | kSniArgFloat;
    }
    sni_write_test_arguments(kKinds, top, {ints, longs, floats, doubles});
    seen = {};
    const SniReturn result =
        sni_machine_call({descriptors, count, 0, top, nullptr}, reinterpret_cast<const void*>(&self_test_target));
    bool ok = static_cast<std::int64_t>(result.integer) == (longs[0] ^ longs[1] ^ longs[2] ^ ints[6]);
    ok = ok && std::memcmp(seen.ints, ints, sizeof ints) == 0 && std::memcmp(seen.longs, longs, sizeof longs) == 0;
    ok = ok && std::memcmp(seen.doubles, doubles, sizeof doubles) == 0 && std::memcmp(seen.floats, floats, sizeof floats) == 0;
    return ok;
}

}  // namespace tarvelo
