// Field offsets of runtime classes that the virtual machine reads or writes
// directly, as the runtime prelude pins them (tools/imagelink/prelude).
// Offsets are from the object's header word: reference fields below it
// (negative), primitive fields from 8 upward. java.lang.String's are in
// string_record.h.
#pragma once

#include <cstdint>

namespace tarvelo::image::layout {

// Methods the virtual machine enters itself, by their image symbols:
//   _java_Mjava_lang_Thread__clinitWrapper   static (int count): runs the class initialisers
//   _java_Mjava_lang_Thread__callWrapper     static (): the bottom frame of every call from VM code
//   _java_Mjava_lang_Thread__runWrapper      virtual on a Thread: a started thread's first call
//   _java_Mjava_lang_Thread__storeException  static native (Throwable)
//   _java_Mjava_lang_Throwable__printStackTrace  virtual on a Throwable
// and the static the arguments of main go to: _java_Sjava_lang_MainThread__Args.

// java.lang.Thread
inline constexpr std::int32_t kThreadName = -4;      // String
inline constexpr std::int32_t kThreadTarget = -8;    // Runnable
inline constexpr std::int32_t kThreadId = 8;         // int, the third word
inline constexpr std::int32_t kThreadPriority = 12;  // int
inline constexpr std::int32_t kThreadDaemon = 16;    // boolean

// java.lang.Throwable
inline constexpr std::int32_t kThrowableMessage = -4;     // String
inline constexpr std::int32_t kThrowableStackTrace = -8;  // int[]: count, then (pc, method) pairs
inline constexpr std::int32_t kThrowableCause = -12;
inline constexpr std::uint32_t kThrowableRefBytes = 16;

// java.lang.ref.Reference and its subclasses (yq.kf.Proxy's target is its referent)
inline constexpr std::int32_t kReferenceReferent = -4;
inline constexpr std::int32_t kReferenceDiscovered = -8;
inline constexpr std::int32_t kReferenceQueue = -12;
inline constexpr std::int32_t kReferenceQueueNext = -16;
inline constexpr std::int32_t kReferenceEnqueued = 8;  // byte
inline constexpr std::int32_t kAutoCloseWeakRefResource = -20;

// java.lang.ref.ReferenceQueue
inline constexpr std::int32_t kReferenceQueueHead = -4;
inline constexpr std::int32_t kReferenceQueueWaiter = -12;

// yq.sni.NativeException and yq.sni.NativeIOException
inline constexpr std::int32_t kNativeExceptionErrorCode = 8;

// yq.sni.NativeResource (registry entry)
inline constexpr std::int32_t kNativeResourceNext = -4;
inline constexpr std::int32_t kNativeResourceSecond = -8;
inline constexpr std::int32_t kNativeResourceClose = 8;        // 64 bits
inline constexpr std::int32_t kNativeResourceDescription = 16; // 64 bits
inline constexpr std::int32_t kNativeResourceValue = 24;       // 64 bits

// com.olun.vm.support.io.MemoryInputStream: its first four int fields
inline constexpr std::int32_t kMemoryInputStreamStart = 8;
inline constexpr std::int32_t kMemoryInputStreamEnd = 12;
inline constexpr std::int32_t kMemoryInputStreamPosition = 16;
inline constexpr std::int32_t kMemoryInputStreamMark = 20;

}  // namespace tarvelo::image::layout
