#include "vm/core/native_call/sni_call.h"

#include <bit>
#include <cstddef>
#include <cstring>

#include "vm/core/bytecode/opcodes.h"
#include "vm/core/engine/engine.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/frame_record.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/engine/native_interface.h"
#include "vm/core/threads/vm_thread.h"

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

word_t last_native = 0;

// Places the arguments in argument order: integer words and array pointers
// in the integer registers, then on the stack; floats and doubles in the
// vector registers, then on the stack. `prim` points at prim[p] (the
// arguments lie below it, the first highest), `ref` at ref[r].
class ArgumentPlacer {
public:
    explicit ArgumentPlacer(SniCallBlock& block) : block_(block) {}

    void place(const std::uint8_t* descriptors, int count, const std::int32_t* prim, const word_t* ref) {
        for (int i = 0; i < count; ++i) {
            const std::uint8_t d = descriptors[i];
            if ((d & kSniArgRef) != 0) {
                const word_t array = *ref++;
                // An array travels as the address of element 0; its length
                // is the word before it.
                integer(array == 0 ? 0 : reinterpret_cast<std::uintptr_t>(to_ptr<std::uint8_t>(array + java::kArrayData)));
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

// The return registers widened by the result code into the windows.
void store_result(const SniCallResult& r, std::uint8_t code, std::int32_t* P, int p, word_t* R, int rr) {
    switch (code) {
        case kSniBoolean: P[p - 1] = static_cast<std::uint8_t>(r.rax); break;
        case kSniByte: P[p - 1] = static_cast<std::int8_t>(r.rax); break;
        case kSniChar: P[p - 1] = static_cast<std::uint16_t>(r.rax); break;
        case kSniShort: P[p - 1] = static_cast<std::int16_t>(r.rax); break;
        case kSniInt: P[p - 1] = static_cast<std::int32_t>(r.rax); break;
        case kSniLong: store_pair(P + p - 2, static_cast<std::int64_t>(r.rax)); break;
        case kSniFloat: P[p - 1] = static_cast<std::int32_t>(static_cast<std::uint32_t>(r.xmm0)); break;
        case kSniDouble: store_pair(P + p - 2, static_cast<std::int64_t>(r.xmm0)); break;
        case kSniRef: {
            const auto* element0 = reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(r.rax));
            R[rr] = element0 == nullptr ? 0 : to_word(element0) - java::kArrayData;
            break;
        }
        default: break;
    }
}

inline std::uint32_t read_u32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0] | (p[1] << 8)) | (static_cast<std::uint32_t>(p[2] | (p[3] << 8)) << 16);
}

}  // namespace

word_t last_native_function() { return last_native; }

const std::uint8_t* sni_invoke(VMThread* t, const std::uint8_t* call, std::int32_t* P, word_t* R) {
    const word_t function = read_u32(call + 1);
    const int p = static_cast<std::int8_t>(call[5]);
    const int r = static_cast<std::int8_t>(call[6]);
    const std::uint8_t resultCode = call[7] >> 4;
    const bool ioAllowed = (call[8] & kSniIoExceptionFlag) != 0;
    const int count = call[8] & kSniCountMask;
    const std::uint8_t* next = call + kSniFixedLength + count;
    t->pc = to_word(call + 1);
    if (function == 0 && t->suspendCallback == 0) {
        // The firmware lacks this native (an image linked with weak
        // externals): an error naming the method instead of a call to 0.
        TulvarVMEngine::throwMissingNative(t, t->frame()->method);
        return nullptr;
    }

    SniCallBlock block{};
    ArgumentPlacer placer(block);
    placer.place(call + kSniFixedLength, count, P + p, R + r);

    word_t target = function;
    if (t->suspendCallback != 0) {
        // Resumed after a suspension: the callback runs in the native's place.
        target = t->suspendCallback;
        t->suspendCallback = 0;
    }
    t->nativeFunction = target;
    block.function = to_ptr<const void>(target);
    SniCallResult result{};
    tarvelo_sni_trampoline(&block, &result);
    last_native = t->nativeFunction;
    t->nativeFunction = 0;

    if (t->flags != 0) ExecutionContext::afterNativeCall(t, ioAllowed);
    if (t->pendingException != 0) {
        // The exception wins over a suspension the native asked for.
        if (t->suspendCallback != 0 || t->state == kThreadWaiting) undo_native_suspension(t);
        t->suspendCallback = 0;
        t->pc = to_word(next);
        return nullptr;
    }
    if (t->suspendCallback != 0) return call;
    store_result(result, resultCode, P, p, R, r);
    return next;
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
    std::int32_t* cursor = top;
    const std::int32_t ints[7] = {1, -2, 0x7FFFFFFF, INT32_MIN, 5, -6, 7};
    const std::int64_t longs[3] = {0x0102030405060708LL, INT64_MIN, -3};
    const double doubles[8] = {0.5, -1.25, 3.0e300, -0.0, 7.75, 1.0 / 3.0, -1e-300, 42.0};
    const float floats[3] = {1.5f, -2.25f, 3.0e38f};
    int ni = 0, nl = 0, nd = 0, nf = 0;
    for (int i = 0; i < count; ++i) {
        switch (kKinds[i]) {
            case 'i':
                descriptors[i] = 0;
                *--cursor = ints[ni++];
                break;
            case 'f':
                descriptors[i] = kSniArgFloat;
                *--cursor = std::bit_cast<std::int32_t>(floats[nf++]);
                break;
            case 'l':
                descriptors[i] = kSniArg64;
                cursor -= 2;
                store_pair(cursor, longs[nl++]);
                break;
            default:
                descriptors[i] = kSniArg64 | kSniArgFloat;
                cursor -= 2;
                store_pair(cursor, std::bit_cast<std::int64_t>(doubles[nd++]));
                break;
        }
    }
    SniCallBlock block{};
    ArgumentPlacer placer(block);
    placer.place(descriptors, count, top, nullptr);
    block.function = reinterpret_cast<const void*>(&self_test_target);
    seen = {};
    SniCallResult result{};
    tarvelo_sni_trampoline(&block, &result);
    bool ok = static_cast<std::int64_t>(result.rax) == (longs[0] ^ longs[1] ^ longs[2] ^ ints[6]);
    ok = ok && std::memcmp(seen.ints, ints, sizeof ints) == 0 && std::memcmp(seen.longs, longs, sizeof longs) == 0;
    ok = ok && std::memcmp(seen.doubles, doubles, sizeof doubles) == 0 && std::memcmp(seen.floats, floats, sizeof floats) == 0;
    return ok;
}

}  // namespace tarvelo
