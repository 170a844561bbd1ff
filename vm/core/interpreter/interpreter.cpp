// The dispatch loop and the opcode handlers. Everything the loop keeps
// between two instructions lives in locals: the thread, the instruction
// pointer and the running activation's frame and reference window, which
// the inline calls and returns change without touching the thread record.
// They are written back to the record (SAVE_AT) only at yield points,
// throws, invocations and returns the engine makes, and before every call
// out of the loop that may look at the thread: one that allocates (the
// collector walks the stacks), raises, calls a native, blocks or switches
// threads. `init_reg` reloads them from the record after any operation
// that may have changed the frame, the pc or the thread.
#include "vm/core/interpreter/interpreter.h"

#include <bit>
#include <cstring>

#include "vm/core/bytecode/opcodes.h"
#include "vm/core/engine/activation_fast_path.h"
#include "vm/core/engine/inline_allocation.h"
#include "vm/core/engine/shared_interface_proxies.h"
#include "vm/core/engine/engine.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/feature_context.h"
#include "vm/core/engine/frame_record.h"
#include "vm/model/type_record.h"
#include "vm/core/interpreter/inline_routines.h"
#include "vm/core/interpreter/interpreter_support.h"
#include "vm/core/processor/java_arith.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/threads/monitor_manager.h"
#include "vm/core/threads/thread_operations.h"
#include "vm/core/native_call/sni_call.h"
#include "vm/core/engine/native_interface.h"
#include "vm/core/engine/object_access.h"
#include "vm/core/processor/lookup_switch.h"
#include "vm/core/threads/reschedule.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/threads/schedule_context.h"
#include "vm/core/threads/thread_lifecycle.h"
#include "vm/core/image/instance_tests.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/model/object_header.h"

#if !defined(__GNUC__)
#error "the dispatch loop jumps through a table of label addresses (GNU C computed goto)"
#endif

namespace tarvelo {

namespace {

using bytecode::high_nibble;
using bytecode::low_nibble;

inline std::int8_t s8(const std::uint8_t* p) { return static_cast<std::int8_t>(*p); }
inline std::uint16_t u16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::int16_t s16(const std::uint8_t* p) { return static_cast<std::int16_t>(u16(p)); }
inline std::uint32_t u32(const std::uint8_t* p) { return u16(p) | (static_cast<std::uint32_t>(u16(p + 2)) << 16); }
inline std::int32_t s32(const std::uint8_t* p) { return static_cast<std::int32_t>(u32(p)); }

inline float f32(std::int32_t bits) { return std::bit_cast<float>(bits); }
inline std::int32_t bits32(float f) { return std::bit_cast<std::int32_t>(f); }
inline double f64(std::int64_t bits) { return std::bit_cast<double>(bits); }
inline std::int64_t bits64(double d) { return std::bit_cast<std::int64_t>(d); }

inline std::int64_t get64(const std::int32_t* P, int reg) { return load_pair(P + reg); }
inline void put64(std::int32_t* P, int reg, std::int64_t v) { store_pair(P + reg, v); }
inline double getd(const std::int32_t* P, int reg) { return f64(load_pair(P + reg)); }
inline void putd(std::int32_t* P, int reg, double v) { store_pair(P + reg, bits64(v)); }

template <typename T>
inline T load(word_t address) {
    T v;
    std::memcpy(&v, to_ptr<const void>(address), sizeof(T));
    return v;
}
template <typename T>
inline void store(word_t address, T v) {
    std::memcpy(to_ptr<void>(address), &v, sizeof(T));
}

inline std::int32_t array_length(word_t a) { return java::array_length(a); }
inline word_t element_address(word_t a, std::int32_t index, unsigned shift) {
    return a + java::kArrayData + (static_cast<std::uint32_t>(index) << shift);
}
// An index i is inside an array of n elements when 0 <= i < n.
inline bool in_bounds(std::int32_t index, std::int32_t length) {
    return static_cast<std::uint32_t>(index) < static_cast<std::uint32_t>(length);
}

// The virtual method table of the receiver's type, or of Object's for an
// array when `arraysAsObject`.
inline const word_t* vtable_of(word_t receiver, bool arraysAsObject) {
    word_t type = object_type(receiver);
    if (arraysAsObject && (image::type_flags(to_ptr<const void>(type)) & image::kTypeArray) != 0)
        type = types::object();
    return to_ptr<const word_t>(image::class_vtable(to_ptr<const void>(type)));
}

// A reference the current code may load: kernel code sees everything, code
// of an application its own objects and the kernel's.
inline bool may_load(const VMThread* T, word_t value) {
    if (value == 0 || T->ownerFeature == 0) return true;
    word_t owner = object_owner_feature(value);
    return owner == 0 || owner == T->ownerFeature;
}

// Whether the non-null `value` may be an element of the reference array
// `a`. Most stores put an element of exactly the array's element type,
// which needs no walk of the type hierarchy.
inline bool may_store_element(word_t a, word_t value) {
    return image::array_element(to_ptr<const void>(object_type(a))) == object_type(value) ||
           VMJProcessor::arrayStoreCheck(a, value) != 0;
}

// The isolation code of storing the non-null `value` into `container` (0:
// allowed). A kernel object may go anywhere, which settles most stores
// without the full check.
inline std::int32_t store_owner_code(VMThread* T, word_t container, word_t value) {
    if (object_owner_feature(value) == 0) return 0;
    return FeatureIsolation::checkArrayStoreOwner(T, container, value);
}

constexpr bool opcodes_in_order() {
    unsigned expected = 0;
#define TARVELO_OPCODE(name, value, layout, length, kind) \
    if ((value) != expected++) return false;
#include "vm/core/bytecode/opcodes.def"
#undef TARVELO_OPCODE
    return expected == 0xff;
}
static_assert(opcodes_in_order(), "opcodes.def must list the opcodes 0x00 to 0xfe in order");

}  // namespace

void interpretor(VMThread* thread) {
    // The opcode table lists the opcodes 0x00 to 0xfe in order (checked
    // below), so entry k is the handler of opcode k.
    static const void* const routines[256] = {
#define TARVELO_OPCODE(name, value, layout, length, kind) &&L_##name,
#include "vm/core/bytecode/opcodes.def"
#undef TARVELO_OPCODE
        &&L_invalid,
    };

    VMThread* T = thread;
    const std::uint8_t* ip = nullptr;
    std::int32_t* P = nullptr;
    word_t* R = nullptr;
    word_t exceptionType = 0;
    const std::uint8_t* op = nullptr;  // opcode address of a yield-point instruction
    // The static load whose init wrapper has just returned into it. The load
    // runs again at once (the return is not followed by a yield point), and
    // then completes with whatever the wrapper left, null included, instead
    // of entering the wrapper again without end.
    const std::uint8_t* initializedLoad = nullptr;
    // The operands of the invocation and return tails (ops_control.inc).
    word_t callee = 0;
    word_t* calleeRefs = nullptr;
    std::int32_t* calleeTop = nullptr;
    word_t* returnLowest = nullptr;

#define DISPATCH() goto* routines[*ip++]
// The running activation written back to the thread record, resuming at `at`.
#define SAVE_AT(at)                            \
    do {                                       \
        T->pc = to_word(at);                   \
        T->currentFrame = to_word(P);          \
        T->refWindow = to_word(R);             \
    } while (0)
#define RESCHEDULE() (rescheduleRequested.load(std::memory_order_relaxed) == 1)
#define THROW(type)            \
    do {                       \
        exceptionType = (type); \
        goto throw_new;        \
    } while (0)
#define YIELD_POINT()                    \
    do {                                 \
        op = ip - 1;                     \
        if (RESCHEDULE()) goto yield_reexecute; \
    } while (0)

    goto init_reg;

init_reg:
    ip = to_ptr<const std::uint8_t>(T->pc);
    P = to_ptr<std::int32_t>(T->currentFrame);
    R = to_ptr<word_t>(T->refWindow);
    DISPATCH();

yield_reexecute:
    ip = op;
    goto yield_save_pc;

yield_save_pc:
    SAVE_AT(ip);
    goto switch_thread;

switch_thread: {
    VMThread* next = kernel_scheduler()->schedule();
    if (next == nullptr) return;
    T = next;
    goto init_reg;
}

throw_new:
    SAVE_AT(ip);
    ExecutionContext::throwNew(T, exceptionType);
    goto dispatch_exception;

dispatch_exception_store_pc:
    SAVE_AT(ip);
dispatch_exception:
    TulvarVMEngine::throwPendingException(T);
    goto init_reg;

L_invalid:
    // 0xff never occurs in a linked image: refuse it like a limit.
    THROW(types::internal_limits());

#include "vm/core/interpreter/ops_compute.inc"
#include "vm/core/interpreter/ops_objects.inc"
#include "vm/core/interpreter/ops_control.inc"
#include "vm/core/interpreter/ops_natives.inc"

#undef DISPATCH
#undef SAVE_AT
#undef RESCHEDULE
#undef THROW
#undef YIELD_POINT
}

}  // namespace tarvelo
