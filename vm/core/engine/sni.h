// The native interface: how natives, other tasks and interrupt handlers act
// on the virtual machine. Results: 0 success, -1 refused (another task than
// the application task, a native close function running, or a state that
// forbids it), -2 bad argument.
#pragma once

#include <cstdint>

extern "C" {

using SNI_callback = void*;
using SNIX_resource_close = void (*)(void* resource);
using SNIX_resource_description = void (*)(void* resource, char* buffer, std::uint32_t bufferLength);

void* SNI_createVM(void);
std::int32_t SNI_startVM(void* vm, std::int32_t argc, char** argv);
std::int32_t SNI_getExitCode(void* vm);
void SNI_destroyVM(void* vm);

// Thread identity and suspension.
std::int32_t SNI_getCurrentJavaThreadID(void);
std::int32_t SNI_suspendCurrentJavaThreadWithCallback(std::int64_t timeoutMs, SNI_callback callback,
                                                      void* callbackArgument);
std::int32_t SNI_resumeJavaThread(std::int32_t threadId);
std::int32_t SNI_resumeJavaThreadWithArg(std::int32_t threadId, void* argument);
std::int32_t SNI_getCallbackArgs(void** callbackArgument, void** resumeArgument);
std::int32_t SNI_clearCurrentJavaThreadPendingResumeFlag(void);

// Exceptions raised when the native returns; `message` is NUL-terminated,
// null or (const char*)-1 for none, and must stay valid until the return.
std::int32_t SNI_throwNativeException(std::int32_t errorCode, const char* message);
std::int32_t SNI_throwNativeIOException(std::int32_t errorCode, const char* message);

// Native resources: a value tied to its close function, owned by the
// calling code's application and closed when that application stops, when
// an auto-closing reference to it dies, or when the virtual machine stops.
// The registration completes when the native returns; unregistering the
// same pair before then cancels it. Neither call closes anything.
std::int32_t SNI_registerResource(void* resource, SNIX_resource_close close, SNIX_resource_description description);
std::int32_t SNI_unregisterResource(void* resource, SNIX_resource_close close);

// The thread's one scoped resource, closed when the native returns (unless
// the thread is being suspended) or the thread ends.
std::int32_t SNI_registerScopedResource(void* resource, SNIX_resource_close close,
                                        SNIX_resource_description description);
std::int32_t SNI_unregisterScopedResource(void);

// Java byte arrays seen by natives (a pointer to the first element, the
// length in the word before it) and native buffers: offsets and lengths in
// bytes. An immortal array (outside the managed heap) is used in place;
// the elements of a heap array are copied, since the collector moves them.
std::int32_t SNI_retrieveArrayElements(const std::int8_t* javaArray, std::int32_t offset, std::int32_t length,
                                       std::int8_t* buffer, std::int32_t bufferLength, std::int8_t** pointer,
                                       std::int32_t* pointerLength, bool refresh);
std::int32_t SNI_flushArrayElements(std::int8_t* javaArray, std::int32_t offset, std::int32_t length,
                                    const std::int8_t* buffer, std::int32_t bufferLength);

}
