#include "vm/core/interpreter/inline_routines.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "vm/core/engine/engine.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/frame_record.h"
#include "vm/core/intrinsics/byte_array_intrinsics.h"
#include "vm/core/intrinsics/intrinsic_opcodes.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/threads/vm_thread.h"

namespace tarvelo {

namespace {

using IntrinsicOpcodes::Throw;

inline int reg(const std::uint8_t* ip, int i) { return static_cast<std::int8_t>(ip[i]); }
inline std::int64_t get64(const std::int32_t* P, int r) { return load_pair(P + r); }
inline void put64(std::int32_t* P, int r, std::int64_t v) { store_pair(P + r, v); }
inline double getd(const std::int32_t* P, int r) { return std::bit_cast<double>(load_pair(P + r)); }
inline void putd(std::int32_t* P, int r, double v) { store_pair(P + r, std::bit_cast<std::int64_t>(v)); }
inline float getf(const std::int32_t* P, int r) { return std::bit_cast<float>(P[r]); }
inline void putf(std::int32_t* P, int r, float v) { P[r] = std::bit_cast<std::int32_t>(v); }

word_t exception_type(Throw kind) {
    switch (kind) {
        case Throw::arithmetic: return types::arithmetic();
        case Throw::null_pointer: return types::null_pointer();
        case Throw::array_index_out_of_bounds: return types::array_index();
        case Throw::index_out_of_bounds: return types::index_out_of_bounds();
        case Throw::none: break;
    }
    return types::internal_limits();
}

// Raises `type` for the instruction whose operand bytes start at `ip`.
const std::uint8_t* raise(VMThread* t, const std::uint8_t* ip, word_t type) {
    t->pc = to_word(ip);
    ExecutionContext::throwNew(t, type);
    TulvarVMEngine::throwPendingException(t);
    return nullptr;
}

// --- Byte arrays -----------------------------------------------------------------------------------------

// The check of every n-byte access at `offset`: an array shorter than n
// bytes refuses every offset.
Throw check_access(word_t array, std::int32_t offset, std::int32_t n) {
    if (array == 0) return Throw::null_pointer;
    if (offset < 0 || offset >= java::array_length(array) - (n - 1)) return Throw::array_index_out_of_bounds;
    return Throw::none;
}

std::uint8_t* bytes_at(word_t array, std::int32_t offset) {
    return java::array_data<std::uint8_t>(array) + offset;
}

template <typename T>
T read_le(word_t array, std::int32_t offset) {
    T v;
    std::memcpy(&v, bytes_at(array, offset), sizeof(T));
    return v;
}

template <typename T>
void write_le(word_t array, std::int32_t offset, T v) {
    std::memcpy(bytes_at(array, offset), &v, sizeof(T));
}

inline std::uint16_t swap_bytes(std::uint16_t v) { return __builtin_bswap16(v); }
inline std::uint32_t swap_bytes(std::uint32_t v) { return __builtin_bswap32(v); }
inline std::uint64_t swap_bytes(std::uint64_t v) { return __builtin_bswap64(v); }

// The little-endian value of the bytes as read, or its big-endian reading.
template <typename T>
T ordered(T v, bool bigEndian) {
    return bigEndian ? swap_bytes(v) : v;
}

// Reads of n bytes; `endianOperand` < 0 for the little-endian two-argument forms.
template <typename T, typename Store>
const std::uint8_t* read_routine(VMThread* t, const std::uint8_t* ip, word_t* R, std::int32_t* P, bool threeArgs,
                                 Store store) {
    const word_t array = R[reg(ip, 0)];
    const std::int32_t offset = P[reg(ip, 1)];
    const bool bigEndian = threeArgs && P[reg(ip, 2)] != 0;
    const int dstAt = threeArgs ? 3 : 2;
    if (Throw k = check_access(array, offset, sizeof(T)); k != Throw::none) return raise(t, ip, exception_type(k));
    store(P, reg(ip, dstAt), ordered(read_le<T>(array, offset), bigEndian));
    return ip + dstAt + 1;
}

template <typename T, typename Load>
const std::uint8_t* write_routine(VMThread* t, const std::uint8_t* ip, word_t* R, std::int32_t* P, bool threeArgs,
                                  Load load) {
    const word_t array = R[reg(ip, 0)];
    const std::int32_t offset = P[reg(ip, 1)];
    const T value = load(P, reg(ip, 2));
    if (Throw k = check_access(array, offset, sizeof(T)); k != Throw::none) return raise(t, ip, exception_type(k));
    const bool bigEndian = threeArgs && P[reg(ip, 3)] != 0;
    write_le<T>(array, offset, ordered(value, bigEndian));
    return ip + (threeArgs ? 4 : 3);
}

const auto store_int = [](std::int32_t* P, int r, auto v) { P[r] = static_cast<std::int32_t>(v); };
const auto store_long = [](std::int32_t* P, int r, std::uint64_t v) { put64(P, r, static_cast<std::int64_t>(v)); };
const auto load_int = [](const std::int32_t* P, int r) { return static_cast<std::uint32_t>(P[r]); };
const auto load_short = [](const std::int32_t* P, int r) { return static_cast<std::uint16_t>(P[r]); };
const auto load_long = [](const std::int32_t* P, int r) { return static_cast<std::uint64_t>(get64(P, r)); };

// --- Routines with a body function --------------------------------------------------------------------------

template <typename V>
const std::uint8_t* finish(VMThread* t, const std::uint8_t* ip, const IntrinsicOpcodes::Result<V>& r,
                           std::int32_t* P, int dst, int length) {
    if (!r.ok()) return raise(t, ip, exception_type(r.thrown));
    if constexpr (sizeof(V) == 8) {
        put64(P, dst, r.value);
    } else {
        P[dst] = r.value;
    }
    return ip + length;
}

}  // namespace

}  // namespace tarvelo

using tarvelo::VMThread;
using tarvelo::word_t;
using namespace tarvelo;  // NOLINT: the routines below are the machine's own
namespace IO = tarvelo::IntrinsicOpcodes;

#define ROUTINE(symbol) \
    extern "C" const std::uint8_t* symbol(VMThread* t, const std::uint8_t* ip, word_t* R, std::int32_t* P)

// D -> D, F -> F and similar one-operand routines.
#define UNARY_DD(symbol, fn) \
    ROUTINE(symbol) { (void)t; (void)R; putd(P, reg(ip, 1), fn(getd(P, reg(ip, 0)))); return ip + 2; }
#define UNARY_FF(symbol, fn) \
    ROUTINE(symbol) { (void)t; (void)R; putf(P, reg(ip, 1), fn(getf(P, reg(ip, 0)))); return ip + 2; }
#define BINARY_DDD(symbol, fn) \
    ROUTINE(symbol) { (void)t; (void)R; putd(P, reg(ip, 2), fn(getd(P, reg(ip, 0)), getd(P, reg(ip, 1)))); return ip + 3; }
#define BINARY_FFF(symbol, fn) \
    ROUTINE(symbol) { (void)t; (void)R; putf(P, reg(ip, 2), fn(getf(P, reg(ip, 0)), getf(P, reg(ip, 1)))); return ip + 3; }

ROUTINE(ON_yq_zum_ByteArray_method_compareAndSwapInt_AB_I_I_I_I_I) {
    auto r = IO::byteArrayCompareAndSwapInt(R[reg(ip, 0)], P[reg(ip, 1)], P[reg(ip, 2)], P[reg(ip, 3)], P[reg(ip, 4)]);
    return finish(t, ip, r, P, reg(ip, 5), 6);
}
ROUTINE(ON_yq_zum_ByteArray_method_readAndWriteInt_AB_I_I_I_I) {
    auto r = IO::byteArraySwapInt(R[reg(ip, 0)], P[reg(ip, 1)], P[reg(ip, 2)], P[reg(ip, 3)]);
    return finish(t, ip, r, P, reg(ip, 4), 5);
}
ROUTINE(ON_java_lang_Double_method_convertUnsigned_I_D) {
    (void)t; (void)R;
    putd(P, reg(ip, 1), IO::doubleFromUnsignedInt(P[reg(ip, 0)]));
    return ip + 2;
}
UNARY_DD(ON_java_lang_Math_method_dsqrt_D_D, IO::mathSqrtDouble)
BINARY_DDD(ON_java_lang_Math_method_copysign_D_D_D, IO::mathCopySignDouble)
UNARY_DD(ON_java_lang_Math_method_abs_D_D, IO::mathAbsDouble)
UNARY_DD(ON_java_lang_Math_method_nearest_D_D, IO::mathNearestDouble)
UNARY_DD(ON_java_lang_Math_method_trunc_D_D, IO::mathTruncDouble)
UNARY_DD(ON_java_lang_Math_method_ceil_D_D, IO::mathCeilDouble)
UNARY_DD(ON_java_lang_Math_method_floor_D_D, IO::mathFloorDouble)
BINARY_DDD(ON_java_lang_Math_method_max_D_D_D, IO::mathMaxDouble)
BINARY_DDD(ON_java_lang_Math_method_min_D_D_D, IO::mathMinDouble)
UNARY_FF(ON_java_lang_Math_method_abs_F_F, IO::mathAbsFloat)
BINARY_FFF(ON_java_lang_Math_method_copysign_F_F_F, IO::mathCopySignFloat)
UNARY_FF(ON_java_lang_Math_method_nearest_F_F, IO::mathNearestFloat)
UNARY_FF(ON_java_lang_Math_method_trunc_F_F, IO::mathTruncFloat)
UNARY_FF(ON_java_lang_Math_method_ceil_F_F, IO::mathCeilFloat)
UNARY_FF(ON_java_lang_Math_method_floor_F_F, IO::mathFloorFloat)
BINARY_FFF(ON_java_lang_Math_method_max_F_F_F, IO::mathMaxFloat)
BINARY_FFF(ON_java_lang_Math_method_min_F_F_F, IO::mathMinFloat)
ROUTINE(ON_java_lang_Math_method_unsignedAddExact_I_I_I) {
    (void)R;
    return finish(t, ip, IO::unsignedAddExact(P[reg(ip, 0)], P[reg(ip, 1)]), P, reg(ip, 2), 3);
}
ROUTINE(ON_java_lang_Double_method_convertUnsigned_J_D) {
    (void)t; (void)R;
    putd(P, reg(ip, 1), IO::doubleFromUnsignedLong(get64(P, reg(ip, 0))));
    return ip + 2;
}
ROUTINE(ON_java_lang_Float_method_convertUnsigned_J_F) {
    (void)t; (void)R;
    putf(P, reg(ip, 1), IO::floatFromUnsignedLong(get64(P, reg(ip, 0))));
    return ip + 2;
}
ROUTINE(ON_java_lang_Float_method_convertUnsigned_I_F) {
    (void)t; (void)R;
    putf(P, reg(ip, 1), IO::floatFromUnsignedInt(P[reg(ip, 0)]));
    return ip + 2;
}
ROUTINE(ON_java_lang_Integer_method_divideUnsigned_I_I_I) {
    (void)R;
    return finish(t, ip, IO::intDivideUnsigned(P[reg(ip, 0)], P[reg(ip, 1)]), P, reg(ip, 2), 3);
}
ROUTINE(ON_java_lang_Integer_method_truncUnsigned_D_I) {
    (void)t; (void)R;
    P[reg(ip, 1)] = IO::intTruncUnsignedDouble(getd(P, reg(ip, 0)));
    return ip + 2;
}
ROUTINE(ON_java_lang_Integer_method_truncUnsigned_F_I) {
    (void)t; (void)R;
    P[reg(ip, 1)] = IO::intTruncUnsignedFloat(getf(P, reg(ip, 0)));
    return ip + 2;
}
ROUTINE(ON_java_lang_Integer_method_bitCount_I_I) {
    (void)t; (void)R;
    P[reg(ip, 1)] = IO::intBitCount(P[reg(ip, 0)]);
    return ip + 2;
}
ROUTINE(ON_java_lang_Integer_method_numberOfTrailingZeros_I_I) {
    (void)t; (void)R;
    P[reg(ip, 1)] = IO::intNumberOfTrailingZeros(P[reg(ip, 0)]);
    return ip + 2;
}
ROUTINE(ON_java_lang_Integer_method_numberOfLeadingZeros_I_I) {
    (void)t; (void)R;
    P[reg(ip, 1)] = IO::intNumberOfLeadingZeros(P[reg(ip, 0)]);
    return ip + 2;
}
ROUTINE(ON_java_lang_Integer_method_remainderUnsigned_I_I_I) {
    (void)R;
    return finish(t, ip, IO::intRemainderUnsigned(P[reg(ip, 0)], P[reg(ip, 1)]), P, reg(ip, 2), 3);
}
ROUTINE(ON_java_lang_Long_method_truncUnsigned_D_J) {
    (void)t; (void)R;
    put64(P, reg(ip, 1), IO::longTruncUnsignedDouble(getd(P, reg(ip, 0))));
    return ip + 2;
}
ROUTINE(ON_java_lang_Long_method_truncUnsigned_F_J) {
    (void)t; (void)R;
    put64(P, reg(ip, 1), IO::longTruncUnsignedFloat(getf(P, reg(ip, 0))));
    return ip + 2;
}
ROUTINE(ON_java_lang_Long_method_bitCount_J_I) {
    (void)t; (void)R;
    P[reg(ip, 1)] = IO::longBitCount(get64(P, reg(ip, 0)));
    return ip + 2;
}
ROUTINE(ON_java_lang_Long_method_numberOfTrailingZeros_J_I) {
    (void)t; (void)R;
    P[reg(ip, 1)] = IO::longNumberOfTrailingZeros(get64(P, reg(ip, 0)));
    return ip + 2;
}
ROUTINE(ON_java_lang_Long_method_numberOfLeadingZeros_J_I) {
    (void)t; (void)R;
    P[reg(ip, 1)] = IO::longNumberOfLeadingZeros(get64(P, reg(ip, 0)));
    return ip + 2;
}
ROUTINE(ON_java_lang_Long_method_remainderUnsigned_J_J_J) {
    (void)R;
    return finish(t, ip, IO::longRemainderUnsigned(get64(P, reg(ip, 0)), get64(P, reg(ip, 1))), P, reg(ip, 2), 3);
}
ROUTINE(ON_java_lang_Long_method_divideUnsigned_J_J_J) {
    (void)R;
    return finish(t, ip, IO::longDivideUnsigned(get64(P, reg(ip, 0)), get64(P, reg(ip, 1))), P, reg(ip, 2), 3);
}
// Done by the interpreter loop itself (it pops a frame); never called.
ROUTINE(ON_java_lang_Thread_method_opReturnAndReexecuteOpcode_V) {
    (void)t; (void)R; (void)P;
    return ip;
}
ROUTINE(ON_yq_zum_ByteArray_method_fill_AB_I_I_B_V) {
    IO::Status s = IO::byteArrayFill(R[reg(ip, 0)], P[reg(ip, 1)], P[reg(ip, 2)], P[reg(ip, 3)]);
    if (s != IO::Throw::none) return raise(t, ip, exception_type(s));
    return ip + 4;
}
ROUTINE(ON_yq_zum_ByteArray_method_writeLong_AB_I_J_I_V) { return write_routine<std::uint64_t>(t, ip, R, P, true, load_long); }
ROUTINE(ON_yq_zum_ByteArray_method_writeInt_AB_I_I_I_V) { return write_routine<std::uint32_t>(t, ip, R, P, true, load_int); }
ROUTINE(ON_yq_zum_ByteArray_method_writeShort_AB_I_I_I_V) { return write_routine<std::uint16_t>(t, ip, R, P, true, load_short); }
ROUTINE(ON_yq_zum_ByteArray_method_readLong_AB_I_I_J) { return read_routine<std::uint64_t>(t, ip, R, P, true, store_long); }
ROUTINE(ON_yq_zum_ByteArray_method_readInt_AB_I_I_I) {
    return read_routine<std::uint32_t>(t, ip, R, P, true, store_int);
}
ROUTINE(ON_yq_zum_ByteArray_method_readChar_AB_I_I_C) {
    return read_routine<std::uint16_t>(t, ip, R, P, true, store_int);
}
ROUTINE(ON_yq_zum_ByteArray_method_readShort_AB_I_I_S) {
    return read_routine<std::uint16_t>(t, ip, R, P, true,
                                       [](std::int32_t* Pr, int r, std::uint16_t v) { Pr[r] = static_cast<std::int16_t>(v); });
}
ROUTINE(ON_yq_zum_ByteArray_method_writeLong_AB_I_J_V) { return write_routine<std::uint64_t>(t, ip, R, P, false, load_long); }
ROUTINE(ON_yq_zum_ByteArray_method_writeInt_AB_I_I_V) { return write_routine<std::uint32_t>(t, ip, R, P, false, load_int); }
ROUTINE(ON_yq_zum_ByteArray_method_writeShort_AB_I_I_V) { return write_routine<std::uint16_t>(t, ip, R, P, false, load_short); }
ROUTINE(ON_yq_zum_ByteArray_method_readLong_AB_I_J) { return read_routine<std::uint64_t>(t, ip, R, P, false, store_long); }
ROUTINE(ON_yq_zum_ByteArray_method_readInt_AB_I_I) { return read_routine<std::uint32_t>(t, ip, R, P, false, store_int); }
ROUTINE(ON_yq_zum_ByteArray_method_readChar_AB_I_C) { return read_routine<std::uint16_t>(t, ip, R, P, false, store_int); }
ROUTINE(ON_yq_zum_ByteArray_method_readShort_AB_I_S) {
    return read_routine<std::uint16_t>(t, ip, R, P, false,
                                       [](std::int32_t* Pr, int r, std::uint16_t v) { Pr[r] = static_cast<std::int16_t>(v); });
}
ROUTINE(ON_yq_zum_ByteArray_method_readUnsignedByte_AB_I_I) {
    const word_t array = R[reg(ip, 0)];
    const std::int32_t index = P[reg(ip, 1)];
    if (Throw k = check_access(array, index, 1); k != Throw::none) return raise(t, ip, exception_type(k));
    P[reg(ip, 2)] = *bytes_at(array, index);
    return ip + 3;
}
ROUTINE(ON_java_lang_Math_method_abs_I_I) {
    (void)t; (void)R;
    const std::int32_t x = P[reg(ip, 0)];
    P[reg(ip, 1)] = x < 0 ? static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(x)) : x;
    return ip + 2;
}
ROUTINE(ON_java_lang_Math_method_max_I_I_I) {
    (void)t; (void)R;
    const std::int32_t a = P[reg(ip, 0)];
    const std::int32_t b = P[reg(ip, 1)];
    P[reg(ip, 2)] = a >= b ? a : b;
    return ip + 3;
}
ROUTINE(ON_java_lang_Math_method_min_I_I_I) {
    (void)t; (void)R;
    const std::int32_t a = P[reg(ip, 0)];
    const std::int32_t b = P[reg(ip, 1)];
    P[reg(ip, 2)] = a < b ? a : b;
    return ip + 3;
}

#undef ROUTINE
#undef UNARY_DD
#undef UNARY_FF
#undef BINARY_DDD
#undef BINARY_FFF

namespace tarvelo {

namespace {

constexpr std::size_t kRoutineCount = 58;

struct RoutineTable {
    InlineRoutine byAddress[kRoutineCount];
    std::size_t count = 0;

    RoutineTable() {
#define TARVELO_INLINE_ROUTINE(index, symbol, operands)                                          \
    byAddress[count++] = {function_word(&symbol),                                                \
                          (index) == 38 ? InlineRoutineKind::ReturnAndReexecute : InlineRoutineKind::Body, \
                          &symbol};
#include "vm/core/bytecode/inline_routines.def"
#undef TARVELO_INLINE_ROUTINE
        std::sort(byAddress, byAddress + count,
                  [](const InlineRoutine& a, const InlineRoutine& b) { return a.address < b.address; });
    }
};

}  // namespace

const InlineRoutine* find_inline_routine(word_t address) {
    static const RoutineTable table;
    const InlineRoutine* end = table.byAddress + table.count;
    const InlineRoutine* it = std::lower_bound(table.byAddress, end, address,
                                               [](const InlineRoutine& r, word_t a) { return r.address < a; });
    return it != end && it->address == address ? it : nullptr;
}

}  // namespace tarvelo
