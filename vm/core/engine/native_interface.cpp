#include "vm/core/engine/native_interface.h"

#include <cstring>

#include "vm/core/engine/java_array_range.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/engine/native_resources.h"
#include "vm/core/image/image_directory.h"
#include "vm/memory/memory_layout.h"

#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/lifecycle/ostrevan.h"
#include "vm/core/engine/sni.h"
#include "vm/core/threads/thread_table.h"
#include "vm/core/threads/vm_thread.h"

namespace tarvelo {

namespace {

PendingNativeException pending_exception{0, nullptr};

const char* const kNoMessage = reinterpret_cast<const char*>(-1);

// The current Java thread when the caller may act on it: on the
// application task, with no native close function running. The task is
// tested first: another task or an interrupt must not read what only the
// application task writes.
VMThread* acting_thread() {
    Ostrevan* vm = ostrevan();
    KernelThreadScheduler* s = kernel_scheduler();
    if (vm == nullptr || s == nullptr || !s->onVMTask() || vm->runningHook != nullptr) return nullptr;
    return s->currentThread();
}

std::int32_t throw_native(std::int32_t code, const char* message, std::uint8_t kind) {
    VMThread* t = acting_thread();
    if (t == nullptr || t->resumeState.load() == kSuspendedByNative) return -1;
    pending_exception.code = code;
    pending_exception.message = message == kNoMessage ? nullptr : message;
    t->flags = static_cast<std::uint8_t>((t->flags & ~kFlagNativeExceptionMask) | kind);
    return 0;
}

}  // namespace

PendingNativeException peek_pending_native_exception() { return pending_exception; }

PendingNativeException take_pending_native_exception() {
    PendingNativeException p = pending_exception;
    pending_exception = {0, nullptr};
    return p;
}

void complete_resource_registration(VMThread* t) { NativeResources::completeRegistration(t); }

void close_scoped_resource(VMThread* t) {
    const word_t close = t->scopedClose;
    const std::uint32_t resource = t->scopedResource;
    t->flags = static_cast<std::uint8_t>(t->flags & ~kFlagScopedResource);
    t->scopedClose = 0;
    t->scopedDescription = 0;
    t->scopedResource = 0;
    run_close_hook(close, resource);
}

void undo_native_suspension(VMThread* t) {
    t->suspendCallback = 0;
    KernelThreadScheduler* s = kernel_scheduler();
    if (t->state == kThreadWaiting && s != nullptr) {
        s->wakeThread(t);
        s->removeReady(t);
        s->enqueueReadyFront(t, t->effectivePriority);
        set_thread_state(t, kThreadRunning);
        if (s->currentThread() == t) s->currentLeft = 0;
    }
    t->resumeState.store(kResumeNone);
    t->wakeupTime.store(0);
}

bool is_immortal_array(const void* elements) {
    if (elements == nullptr) return true;
    const word_t object = to_word(elements) - java::kArrayData;
    const MemoryLayout& layout = memoryLayout();
    return object < layout.heapStart || object >= layout.heapEnd;
}

// An array of the kernel image lies in read-only memory: a native must never
// be handed its elements to write into.
static bool is_image_array(const void* elements) {
    FeatureImageDirectory* directory = image_directory();
    if (elements == nullptr || directory == nullptr) return false;
    const ImageTables& tables = directory->kernel.tables;
    const word_t object = to_word(elements) - java::kArrayData;
    return tables.imageEnd != 0 && object >= tables.imageStart && object < tables.imageEnd;
}

}  // namespace tarvelo

using tarvelo::kernel_scheduler;
using tarvelo::VMThread;

extern "C" std::int32_t SNI_getCurrentJavaThreadID(void) {
    VMThread* t = tarvelo::acting_thread();
    return t != nullptr ? static_cast<std::int32_t>(t->threadId) : -1;
}

extern "C" std::int32_t SNI_suspendCurrentJavaThreadWithCallback(std::int64_t timeoutMs, SNI_callback callback,
                                                                 void* callbackArgument) {
    tarvelo::KernelThreadScheduler* s = kernel_scheduler();
    if (s == nullptr || timeoutMs < 0 || tarvelo::acting_thread() == nullptr) return -1;
    std::int32_t r = s->suspendCurrentJavaThread(timeoutMs, tarvelo::to_word(callback),
                                                 tarvelo::to_word(callbackArgument), false);
    return r == 2 ? -1 : 0;
}

namespace {

std::int32_t resume(std::int32_t threadId, std::uint32_t argument) {
    tarvelo::ThreadTable* table = tarvelo::thread_table();
    tarvelo::KernelThreadScheduler* s = kernel_scheduler();
    if (table == nullptr || s == nullptr) return -1;
    VMThread* t = table->findThread(static_cast<std::uint32_t>(threadId));
    if (t == nullptr) return -1;
    s->resumeJavaThread(t, argument);
    return 0;
}

}  // namespace

extern "C" std::int32_t SNI_resumeJavaThread(std::int32_t threadId) { return resume(threadId, 0); }

extern "C" std::int32_t SNI_resumeJavaThreadWithArg(std::int32_t threadId, void* argument) {
    return resume(threadId, tarvelo::to_word(argument));
}

extern "C" std::int32_t SNI_getCallbackArgs(void** callbackArgument, void** resumeArgument) {
    VMThread* t = tarvelo::acting_thread();
    if (t == nullptr) return -1;
    if (callbackArgument != nullptr) *callbackArgument = tarvelo::to_ptr<void>(t->suspendArgument);
    if (resumeArgument != nullptr) *resumeArgument = tarvelo::to_ptr<void>(t->resumeArgument.load());
    return 0;
}

extern "C" std::int32_t SNI_clearCurrentJavaThreadPendingResumeFlag(void) {
    VMThread* t = tarvelo::acting_thread();
    if (t == nullptr) return 0;
    std::uint32_t expected = tarvelo::kResumePending;
    return t->resumeState.compare_exchange_strong(expected, tarvelo::kResumeNone) ? 1 : 0;
}

extern "C" std::int32_t SNI_throwNativeException(std::int32_t errorCode, const char* message) {
    return tarvelo::throw_native(errorCode, message, tarvelo::kFlagNativeException);
}

extern "C" std::int32_t SNI_throwNativeIOException(std::int32_t errorCode, const char* message) {
    return tarvelo::throw_native(errorCode, message, tarvelo::kFlagNativeIOException);
}

extern "C" std::int32_t SNI_registerResource(void* resource, SNIX_resource_close close,
                                             SNIX_resource_description description) {
    VMThread* t = tarvelo::acting_thread();
    if (t == nullptr) return tarvelo::kResourceRefused;
    return tarvelo::NativeResources::registerResource(
        t, tarvelo::to_word(resource), close != nullptr ? tarvelo::function_word(close) : 0,
        description != nullptr ? tarvelo::function_word(description) : 0);
}

extern "C" std::int32_t SNI_unregisterResource(void* resource, SNIX_resource_close close) {
    VMThread* t = tarvelo::acting_thread();
    if (t == nullptr) return tarvelo::kResourceRefused;
    return tarvelo::NativeResources::unregisterResource(t, tarvelo::to_word(resource),
                                                        close != nullptr ? tarvelo::function_word(close) : 0);
}

extern "C" std::int32_t SNI_registerScopedResource(void* resource, SNIX_resource_close close,
                                                   SNIX_resource_description description) {
    VMThread* t = tarvelo::acting_thread();
    if (t == nullptr) return tarvelo::kResourceRefused;
    return tarvelo::NativeResources::registerScopedResource(
        t, tarvelo::to_word(resource), close != nullptr ? tarvelo::function_word(close) : 0,
        description != nullptr ? tarvelo::function_word(description) : 0);
}

extern "C" std::int32_t SNI_unregisterScopedResource(void) {
    VMThread* t = tarvelo::acting_thread();
    if (t == nullptr) return tarvelo::kResourceRefused;
    return tarvelo::NativeResources::unregisterScopedResource(t);
}

extern "C" std::int32_t SNI_retrieveArrayElements(const std::int8_t* javaArray, std::int32_t offset,
                                                  std::int32_t length, std::int8_t* buffer, std::int32_t bufferLength,
                                                  std::int8_t** pointer, std::int32_t* pointerLength, bool refresh) {
    if (javaArray == nullptr || buffer == nullptr || pointer == nullptr || pointerLength == nullptr ||
        bufferLength < 0 || !tarvelo::java_array_range_ok(javaArray, offset, length))
        return -2;
    // Immortal arrays are used in place, except those of the read-only image:
    // they are copied like heap arrays, and a flush leaves them unchanged.
    if (tarvelo::is_immortal_array(javaArray) && !tarvelo::is_image_array(javaArray)) {
        *pointer = const_cast<std::int8_t*>(javaArray) + offset;
        *pointerLength = length;
        return 0;
    }
    const std::int32_t n = length < bufferLength ? length : bufferLength;
    *pointer = buffer;
    *pointerLength = n;
    if (refresh) std::memcpy(buffer, javaArray + offset, static_cast<std::size_t>(n));
    return 0;
}

extern "C" std::int32_t SNI_flushArrayElements(std::int8_t* javaArray, std::int32_t offset, std::int32_t length,
                                               const std::int8_t* buffer, std::int32_t bufferLength) {
    if (javaArray == nullptr || buffer == nullptr || bufferLength < 0 ||
        !tarvelo::java_array_range_ok(javaArray, offset, length) || length < bufferLength)
        return -2;
    if (!tarvelo::is_immortal_array(javaArray))
        std::memcpy(javaArray + offset, buffer, static_cast<std::size_t>(bufferLength));
    return 0;
}
