// Natives of java.lang.System, java.lang.Runtime, the console stream and
// the stack-trace elements: console output, array copies, time, the
// system properties, the stop, the memory figures and the collection.
#include <cstring>

#include "vm/core/engine/engine.h"
#include "vm/core/engine/application_token.h"
#include "vm/core/engine/feature_context.h"
#include "vm/core/image/image_access.h"
#include "vm/model/type_tests.h"
#include "vm/core/lifecycle/vm_runtime.h"
#include "vm/core/port/os_port.h"
#include "vm/core/engine/monitoring_hooks.h"
#include "vm/core/runtime_support/system_out.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/heap_set.h"
#include "vm/memory/memory_layout.h"
#include "vm/memory/object_model.h"
#include "vm/natives/native_support.h"

using namespace tarvelo;
using namespace tarvelo::natives;

namespace {

// Bytes of one element of a primitive array (codes 4 to 11).
bool isPrimitiveElement(std::uint32_t element) { return element >= 4 && element <= 11; }

// The reference elements of System.arraycopy, one by one, with the store
// check when the element types are not assignable as a whole and the
// ownership check of installed applications. Backwards
// only within one array whose source range starts below its destination,
// so that no element is read after it was overwritten; otherwise forwards,
// so that a failing store leaves exactly the elements before it stored.
void copyReferences(VMThread* t, word_t src, std::int32_t srcPos, word_t dst, std::int32_t dstPos,
                    std::int32_t length) {
    const word_t srcElement = arrayElement(typeOf(src));
    const word_t dstElement = arrayElement(typeOf(dst));
    const bool assignable = VMJProcessor::isAssignable(srcElement, dstElement) != 0;
    auto* from = java::array_data<word_t>(src) + srcPos;
    auto* to = java::array_data<word_t>(dst) + dstPos;
    const bool backwards = src == dst && srcPos < dstPos;
    for (std::int32_t n = 0; n < length; ++n) {
        const std::int32_t i = backwards ? length - 1 - n : n;
        const word_t element = from[i];
        if (!assignable && element != 0 && VMJProcessor::isAssignable(typeOf(element), dstElement) == 0) {
            throwArrayStore(t);
            return;
        }
        // The ownership rule of a single array store, element by element.
        if (const std::int32_t code = FeatureIsolation::checkArrayStoreOwner(t, dst, element); code != 0) {
            FeatureIsolation::throwKernelAccessError(t, kIsolationArray, code);
            return;
        }
        to[i] = element;
    }
}

}  // namespace

extern "C" {

// static void DebugOutputStream.write(int c): one character on the console.
void VMNative_com_olun_vm_support_io_DebugOutputStream_write(VMThread* t) {
    rt::SystemOut::printChar(static_cast<std::uint16_t>(prim(t, 5)));
}

// static OutputStream System.getOutputStream()
void VMNative_java_lang_System_getOutputStream(VMThread* t) {
    const word_t stream = t->allocateObject(vm_type(VMType::_java_Lcom_olun_vm_support_io_DebugOutputStream));
    if (stream != 0) returnObject(t, stream);
}

// static void System.arraycopy(Object src, int srcPos, Object dst, int dstPos, int length)
void VMNative_java_lang_System_arraycopy(VMThread* t) {
    const word_t src = ref(t, 0);
    const word_t dst = ref(t, 1);
    const std::int32_t length = prim(t, 5);
    const std::int32_t dstPos = prim(t, 6);
    const std::int32_t srcPos = prim(t, 7);
    if (src == 0 || dst == 0) return throwNull(t);
    const word_t srcType = typeOf(src);
    const word_t dstType = typeOf(dst);
    if (!typeIsArray(srcType) || !typeIsArray(dstType)) return throwArrayStore(t);
    const std::uint32_t srcElement = arrayElement(srcType);
    const std::uint32_t dstElement = arrayElement(dstType);
    if (srcElement != dstElement && (isPrimitiveElement(srcElement) || isPrimitiveElement(dstElement)))
        return throwArrayStore(t);
    if (!rangeInside(srcPos, length, arrayLength(src)) || !rangeInside(dstPos, length, arrayLength(dst)))
        return throwArrayIndex(t);
    if (length == 0) return;
    if (isPrimitiveElement(srcElement)) {
        const std::uint32_t size = memory::element_size(srcElement);
        std::memmove(java::array_data<std::uint8_t>(dst) + static_cast<std::size_t>(dstPos) * size,
                     java::array_data<std::uint8_t>(src) + static_cast<std::size_t>(srcPos) * size,
                     static_cast<std::size_t>(length) * size);
        return;
    }
    copyReferences(t, src, srcPos, dst, dstPos, length);
}

// static long System.currentTimeMillis(): application time.
void VMNative_java_lang_System_currentTimeMillis(VMThread* t) { returnLong(t, LLOSTV_IMPL_getCurrentTime__Z(0)); }

// static long System.nanoTime()
void VMNative_java_lang_System_nanoTime(VMThread* t) { returnLong(t, LLOSTV_IMPL_getTimeNanos()); }

// static Class System.getMethodClass(int method): the class word of a method record.
void VMNative_java_lang_System_getMethodClass(VMThread* t) {
    const word_t method = static_cast<word_t>(prim(t, 5));
    returnObject(t, methodClassValid(method) ? image::read_u32(to_ptr<const void>(method)) : 0);
}

// static int System.toStringStackLine(char[] chars, int pc, int method): the
// text of one stack-trace element; text that does not fit writes nothing.
void VMNative_java_lang_System_toStringStackLine(VMThread* t) {
    const word_t chars = ref(t, 0);
    const word_t method = static_cast<word_t>(prim(t, 5));
    const word_t pc = static_cast<word_t>(prim(t, 6));
    if (chars == 0) return throwNull(t);
    // An application's method carries its "@F:...@" token first.
    constexpr std::int32_t kCapacity = 64 + kApplicationTokenMax;
    std::uint16_t text[kCapacity];
    const std::int32_t n = TulvarVMEngine::stackLineText(method, pc, text, kCapacity, methodClassValid(method));
    if (n > java::array_length(chars)) return throwIndex(t);
    std::memcpy(java::array_data<std::uint16_t>(chars), text, static_cast<std::size_t>(n) * 2);
    returnInt(t, n);
}

// static int[] System.stackIpsForOutOfMemoryError(): the frames recorded
// when the last allocation failed.
void VMNative_java_lang_System_stackIpsForOutOfMemoryError(VMThread* t) {
    constexpr std::int32_t kWords = 11;
    const word_t ints = t->allocateArray(types::int_array(), kWords * 4, kWords);
    if (ints == 0) return;
    const MemoryLayout& layout = memoryLayout();
    std::uint32_t bytes = layout.oomeFramesEnd - layout.oomeFramesStart;
    if (bytes > kWords * 4) bytes = kWords * 4;
    std::memcpy(java::array_data<std::int32_t>(ints), to_ptr<const void>(layout.oomeFramesStart), bytes);
    returnObject(t, ints);
}

// static void System.initializeProperties(Object tables)
void VMNative_java_lang_System_initializeProperties(VMThread* t) {
    const word_t tables = ref(t, 0);
    if (tables == 0) return throwNull(t);
    GreenThreadVMRuntime::getSystemProperties(tables);
}

// static void Runtime.exit0(int code)
void VMNative_java_lang_Runtime_exit0(VMThread* t) { GreenThreadVMRuntime::requestExit(prim(t, 5)); }

void VMNative_java_lang_Runtime_freeMemory(VMThread* t) { returnLong(t, heapSet()->freeMemory()); }
void VMNative_java_lang_Runtime_totalMemory(VMThread* t) { returnLong(t, heapSet()->totalMemory()); }
void VMNative_java_lang_Runtime_maxMemory(VMThread* t) { returnLong(t, heapSet()->maxMemory()); }

// static void Runtime.gc(): a full collection that shrinks the heap back to
// its initial size, between the port's two hooks.
void VMNative_java_lang_Runtime_gc(VMThread*) {
    LLOSTV_on_Runtime_gc_start();
    heapSet()->collector.collect(true);
    LLOSTV_on_Runtime_gc_done();
}

// Names and lines of stack-trace elements are resolved off the device.
void VMNative_java_lang_StackTraceElement_getLineNumber(VMThread* t) { returnInt(t, -1); }
void VMNative_java_lang_StackTraceElement_getMethodNameLength(VMThread* t) { returnInt(t, -1); }
void VMNative_java_lang_StackTraceElement_fillWithMethodName(VMThread* t) { returnInt(t, 0); }

}  // extern "C"

extern "C" {

// static int[] System.getStackTrace(Thread thread): the frames of the
// calling thread, or of another live thread; null for a thread not alive.
void VMNative_java_lang_System_getStackTrace(VMThread* t) {
    const word_t thread = ref(t, 0);
    if (thread == 0) return throwNull(t);
    VMThread* target = thread == t->javaThread || thread == TulvarVMEngine::currentThreadObject(t)
                           ? t
                           : GreenThreadVMRuntime::findThreadById(thread);
    if (target == nullptr) return returnObject(t, 0);
    word_t ints;
    if (target == t) {
        ints = ExecutionContext::newStackIps(t);
    } else {
        const std::uint32_t frames = TulvarVMEngine::countFrames(target);
        ints = t->allocateArray(types::int_array(), 4 * (2 * static_cast<std::int64_t>(frames) + 1),
                                static_cast<std::int32_t>(2 * frames + 1));
    }
    if (ints == 0) return;  // OutOfMemoryError is pending
    ExecutionContext::fillStackTrace(target, ints);
    returnObject(t, ints);
}

}  // extern "C"
