#include "vm/core/native_call/sni_call.h"

#include <bit>
#include <cstddef>

#include "vm/core/bytecode/opcodes.h"
#include "vm/core/engine/engine.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/frame_record.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/engine/native_interface.h"
#include "vm/core/native_call/sni_machine_call.h"
#include "vm/core/threads/vm_thread.h"

namespace tarvelo {

namespace {

using namespace bytecode;

word_t last_native = 0;

// The return registers widened by the result code into the windows.
void store_result(const SniReturn& r, std::uint8_t code, std::int32_t* P, int p, word_t* R, int rr) {
    switch (code) {
        case kSniBoolean: P[p - 1] = static_cast<std::uint8_t>(r.integer); break;
        case kSniByte: P[p - 1] = static_cast<std::int8_t>(r.integer); break;
        case kSniChar: P[p - 1] = static_cast<std::uint16_t>(r.integer); break;
        case kSniShort: P[p - 1] = static_cast<std::int16_t>(r.integer); break;
        case kSniInt: P[p - 1] = static_cast<std::int32_t>(r.integer); break;
        case kSniLong: store_pair(P + p - 2, static_cast<std::int64_t>(r.integer)); break;
        case kSniFloat: P[p - 1] = static_cast<std::int32_t>(static_cast<std::uint32_t>(r.floating)); break;
        case kSniDouble: store_pair(P + p - 2, static_cast<std::int64_t>(r.floating)); break;
        case kSniRef: {
            // A pointer is one integer register wide.
            const auto* element0 = reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(r.integer));
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

    word_t target = function;
    if (t->suspendCallback != 0) {
        // Resumed after a suspension: the callback runs in the native's place.
        target = t->suspendCallback;
        t->suspendCallback = 0;
    }
    t->nativeFunction = target;
    const SniCallSite site{call + kSniFixedLength, count, call[7] & 0x0F, P + p, R + r};
    const SniReturn result = sni_machine_call(site, to_ptr<const void>(target));
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

void sni_write_test_arguments(const char* kinds, std::int32_t* top, const SniTestValues& values) {
    std::int32_t* cursor = top;
    int ni = 0, nl = 0, nf = 0, nd = 0;
    for (const char* k = kinds; *k != 0; ++k) {
        switch (*k) {
            case 'i': *--cursor = values.ints[ni++]; break;
            case 'f': *--cursor = std::bit_cast<std::int32_t>(values.floats[nf++]); break;
            case 'l':
                cursor -= 2;
                store_pair(cursor, values.longs[nl++]);
                break;
            default:
                cursor -= 2;
                store_pair(cursor, std::bit_cast<std::int64_t>(values.doubles[nd++]));
                break;
        }
    }
}

}  // namespace tarvelo
