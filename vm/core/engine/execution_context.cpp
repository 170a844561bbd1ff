#include "vm/core/engine/execution_context.h"

#include <cstring>

#include "platform/board/debug_console.h"
#include "platform/halt.h"
#include "vm/core/engine/engine.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/engine/memory_binding.h"
#include "vm/core/engine/native_interface.h"
#include "vm/core/engine/object_access.h"
#include "vm/core/lifecycle/ostrevan.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/threads/schedule_context.h"
#include "vm/core/engine/string_factory.h"
#include "vm/model/type_record.h"
#include "vm/core/threads/vm_thread.h"

namespace tarvelo {

namespace {

// A native exception's message is cut to this many bytes.
constexpr std::int32_t kMaxNativeMessage = 512;

image::MethodHeader current_header(VMThread* t) { return method_header(t->frame()->method); }

}  // namespace

// --- Arguments ------------------------------------------------------------------------------

std::int32_t* ExecutionContext::primArgs(VMThread* t) { return t->frame()->prim(); }

word_t* ExecutionContext::refArgs(VMThread* t) { return to_ptr<word_t>(t->refWindow); }

std::int64_t ExecutionContext::longArg(VMThread* t, std::int32_t reg) { return load_pair(primArgs(t) + reg); }

std::uint32_t ExecutionContext::refArgCount(VMThread* t) { return current_header(t).ref_base; }

word_t ExecutionContext::refArg(VMThread* t, std::int32_t i) {
    return refArgs(t)[i - static_cast<std::int32_t>(refArgCount(t))];
}

// --- Results --------------------------------------------------------------------------------

std::int32_t ExecutionContext::returnInt(VMThread* t, std::int32_t value) {
    std::int32_t slot = current_header(t).frame_words;
    primArgs(t)[slot - 1] = value;
    return slot;
}

void ExecutionContext::returnInt(VMThread* t, std::int32_t slot, std::int32_t value) { primArgs(t)[slot - 1] = value; }

void ExecutionContext::returnLong(VMThread* t, std::int64_t value) {
    returnLong(t, current_header(t).frame_words, value);
}

void ExecutionContext::returnLong(VMThread* t, std::int32_t slot, std::int64_t value) {
    store_pair(primArgs(t) + slot - 2, value);
}

void ExecutionContext::returnFloat(VMThread* t, float value) {
    std::int32_t bits;
    std::memcpy(&bits, &value, 4);
    returnInt(t, bits);
}

void ExecutionContext::returnDouble(VMThread* t, double value) {
    returnDouble(t, current_header(t).frame_words, value);
}

void ExecutionContext::returnDouble(VMThread* t, std::int32_t slot, double value) {
    std::int64_t bits;
    std::memcpy(&bits, &value, 8);
    returnLong(t, slot, bits);
}

void ExecutionContext::returnRef(VMThread* t, std::int32_t index, word_t value) { refArgs(t)[index] = value; }

// --- Local references ---------------------------------------------------------------------

word_t* ExecutionContext::pushLocalRef(VMThread* t, word_t value) {
    std::uint32_t capacity = counted_length(t->localRefs);
    if (t->localRefTop + 1 >= static_cast<std::int32_t>(capacity)) {
        // Natives hold at most two and the virtual machine's own exception
        // and string creation two more: more is a fault of the VM itself.
        DbgConsole_Printf("Native local-reference stack overflow\n");
        platform_halt(TARVELO_EXIT_HALTED);
    }
    ++t->localRefTop;
    word_t* slot = counted_words(t->localRefs) + t->localRefTop;
    *slot = value;
    return slot;
}

void ExecutionContext::popLocalRefsTo(VMThread* t, word_t* slot) {
    word_t* base = counted_words(t->localRefs);
    std::int32_t index = static_cast<std::int32_t>(slot - base);
    for (std::int32_t i = index; i <= t->localRefTop; ++i) base[i] = 0;
    if (index <= t->localRefTop) t->localRefTop = index - 1;
}

void ExecutionContext::clearLocalRefs(VMThread* t) {
    popLocalRefsTo(t, counted_words(t->localRefs));
    t->localRefTop = -1;
}

// --- Stack traces ---------------------------------------------------------------------------

namespace {

// Adds a (pc, method) pair per frame while there is room; counts them all.
// The frames of an exception's own constructors (and of the native that
// fills its trace) come first and are left out.
struct StackTraceCollector final : FrameVisitor {
    std::int32_t* pairs = nullptr;
    std::uint32_t capacity = 0;  // pairs
    std::uint32_t count = 0;
    word_t creating = 0;
    bool visitFrame(const FrameView& f) override {
        if (creating != 0) {
            const std::uint32_t base = method_header(f.frame->method).ref_base;
            if (base > 0 && f.refWindow[-static_cast<std::int32_t>(base)] == creating) return true;
            creating = 0;
        }
        if (count < capacity) {
            pairs[2 * count] = static_cast<std::int32_t>(f.pc);
            pairs[2 * count + 1] = static_cast<std::int32_t>(f.frame->method);
        }
        ++count;
        return true;
    }
};

}  // namespace

word_t ExecutionContext::newStackIps(VMThread* t, word_t creating) {
    StackTraceCollector counter;
    counter.creating = creating;
    TulvarVMEngine::visitFrames(t, counter);
    std::int64_t length = 2 * static_cast<std::int64_t>(counter.count) + 1;
    AllocatingFor owner(t);
    return t->allocateArray(types::int_array(), 4 * length, static_cast<std::int32_t>(length));
}

void ExecutionContext::fillStackTrace(VMThread* t, word_t ints, word_t creating) {
    std::int32_t length = java::array_length(ints);
    auto* data = java::array_data<std::int32_t>(ints);
    StackTraceCollector c;
    c.pairs = data + 1;
    c.capacity = length > 0 ? static_cast<std::uint32_t>(length - 1) / 2 : 0;
    c.creating = creating;
    TulvarVMEngine::visitFrames(t, c);
    if (length > 0) data[0] = static_cast<std::int32_t>(c.count);
}

// --- Exceptions ------------------------------------------------------------------------------

bool ExecutionContext::throwNew(VMThread* t, word_t type) {
    if (t->pendingException != 0 || t->throwDepth > 2 || type == 0) return false;
    AllocatingFor owner(t);
    ++t->throwDepth;
    bool made = false;
    word_t e = t->allocateObject(type);
    if (e != 0) {
        word_t* held = pushLocalRef(t, e);
        word_t ints = newStackIps(t);
        if (ints != 0) {
            fillStackTrace(t, ints);
            e = *held;
            java::throwable_stack_trace(e) = ints;
            if (t->pendingException == 0) {
                t->pendingException = e;
                made = true;
            }
        }
        popLocalRefsTo(t, held);
    }
    --t->throwDepth;
    return made;
}

bool ExecutionContext::throwNew(VMThread* t, word_t type, const char* message) {
    if (!throwNew(t, type)) return false;
    if (message == nullptr) return true;
    auto n = static_cast<std::int32_t>(std::strlen(message));
    word_t s = StringConversions::newStringFromBytes(t, reinterpret_cast<const std::uint8_t*>(message), n);
    // A failed string leaves OutOfMemoryError pending in place of the new
    // exception; the message then goes nowhere.
    if (s == 0) return false;
    java::throwable_message(t->pendingException) = s;
    return true;
}

void ExecutionContext::throwIllegalArgument(VMThread* t) {
    throwNew(t, types::illegal_argument(), "Non immortal object passed to native method");
}

void ExecutionContext::checkIndexRange(VMThread* t) { throwNew(t, types::index_out_of_bounds()); }

// --- After a native ---------------------------------------------------------------------

void ExecutionContext::afterNativeCall(VMThread* t, bool ioAllowed) {
    const std::uint8_t kind = t->flags & kFlagNativeExceptionMask;
    if (kind != 0) {
        t->flags = static_cast<std::uint8_t>(t->flags & ~kFlagNativeExceptionMask);
        PendingNativeException pending = take_pending_native_exception();
        word_t type = kind == kFlagNativeIOException && ioAllowed ? types::native_io_exception() : types::native_exception();
        if (t->pendingException == 0) throwNew(t, type);
        word_t e = t->pendingException;
        if (e != 0 && object_type(e) == type) {
            java::native_exception_code(e) = static_cast<std::uint32_t>(pending.code);
            if (pending.message != nullptr) {
                std::int32_t n = 0;
                while (n < kMaxNativeMessage && pending.message[n] != '\0') ++n;
                // A failed string leaves OutOfMemoryError pending instead.
                word_t s = StringConversions::newStringFromBytes(
                    t, reinterpret_cast<const std::uint8_t*>(pending.message), n);
                if (s != 0) java::throwable_message(t->pendingException) = s;
            }
        }
    }
    if ((t->flags & kFlagResourcePending) != 0) complete_resource_registration(t);
    if ((t->flags & kFlagScopedResource) != 0 && t->suspendCallback == 0 &&
        t->resumeState.load() != kSuspendedByNative)
        close_scoped_resource(t);
}

// --- Calls into Java -------------------------------------------------------------------------

bool ExecutionContext::invokeWithArgs(VMThread* t, word_t method, word_t receiver, const std::int32_t* prim,
                                      std::uint32_t primWords, const word_t* refs, std::uint32_t refWords) {
    charge_quantum(t);
    word_t* refArgs;
    std::int32_t* primTop;
    TulvarVMEngine::nextWindows(t, &refArgs, &primTop);
    // The arguments go into the outgoing windows before the invocation,
    // which checks what kernel code hands an application (it would
    // otherwise read whatever those words held before).
    for (std::uint32_t i = 0; i < primWords; ++i) primTop[-1 - static_cast<std::int32_t>(i)] = prim[i];
    std::uint32_t next = 0;
    if (receiver != 0) refArgs[next++] = receiver;
    for (std::uint32_t i = 0; i < refWords; ++i) refArgs[next++] = refs[i];
    t->thisObject = receiver;
    return TulvarVMEngine::invokeMethod(t, method, refArgs, primTop);
}

bool ExecutionContext::prepareCallStaticMethod(VMThread* t, word_t method, const std::int32_t* prim,
                                               std::uint32_t primWords, const word_t* refs, std::uint32_t refWords) {
    return callThroughWrapper(t, method, -1, 0, prim, primWords, refs, refWords);
}

bool ExecutionContext::prepareCallVirtualMethod(VMThread* t, word_t receiver, word_t method, std::int32_t slot) {
    return callThroughWrapper(t, method, slot, receiver, nullptr, 0, nullptr, 0);
}

bool ExecutionContext::callThroughWrapper(VMThread* t, word_t method, std::int32_t slot, word_t receiver,
                                          const std::int32_t* prim, std::uint32_t primWords, const word_t* refs,
                                          std::uint32_t refWords) {
    charge_quantum(t);
    word_t wrapper = prelude_member(PreludeMember::_java_Mjava_lang_Thread__callWrapper);
    word_t* refArgs;
    std::int32_t* primTop;
    TulvarVMEngine::nextWindows(t, &refArgs, &primTop);
    t->thisObject = 0;
    if (!TulvarVMEngine::invokeMethod(t, wrapper, refArgs, primTop)) return false;
    FrameRecord* w = t->frame();
    w->flags = static_cast<std::uint16_t>(w->flags | kFrameWrapper);
    w->returnPc = 0;
    t->pc += 1;
    word_t target = method;
    if (slot >= 0) {
        word_t vtable = image::class_vtable(to_ptr<const void>(object_type(receiver)));
        target = to_ptr<const word_t>(vtable)[slot];
    }
    // As in invokeWithArgs: the arguments first, then the invocation.
    refArgs = to_ptr<word_t>(t->refWindow);
    primTop = w->prim();
    for (std::uint32_t i = 0; i < primWords; ++i) primTop[-1 - static_cast<std::int32_t>(i)] = prim[i];
    std::uint32_t next = 0;
    if (receiver != 0) refArgs[next++] = receiver;
    for (std::uint32_t i = 0; i < refWords; ++i) refArgs[next++] = refs[i];
    t->thisObject = receiver;
    if (!TulvarVMEngine::invokeMethod(t, target, refArgs, primTop)) return false;
    return t->pendingException == 0;
}

}  // namespace tarvelo
