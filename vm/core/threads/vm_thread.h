// The thread record: every Java thread runs as a green thread on one record.
// The records are created once, kept in a pool and in the thread table, and
// bound to a java.lang.Thread object when the thread starts. The first
// fields form the execution context that natives work through.
//
// Every field is one word (or smaller), as on the device: pointers are kept
// as words (word_ptr.h), heap references as plain words so that the
// collector can rewrite them in place.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/address.h"
#include "vm/core/engine/word_ptr.h"

namespace tarvelo {

struct StackBlock;
struct JavaStackMeter;
struct FrameRecord;

enum ThreadState : std::uint8_t {
    kThreadNone = 0,         // a record in the pool
    kThreadReady = 1,        // in a ready queue
    kThreadRunning = 2,
    kThreadWaiting = 3,      // sleeping, in Object.wait or suspended by a native
    kThreadMonitorQueued = 4,
    kThreadSuspended = 5,    // started while the class initialisers run; held until main
    kThreadTerminated = 6,
};

// Bits of the flags byte.
enum ThreadFlag : std::uint8_t {
    kFlagNativeExceptionMask = 0x03,  // 1 NativeException, 2 NativeIOException pending
    kFlagNativeException = 0x01,
    kFlagNativeIOException = 0x02,
    kFlagResourcePending = 0x04,      // a native-resource registration waits for the return
    kFlagScopedResource = 0x08,       // the scoped native resource is set
};

// Native suspend/resume handshake, changed by atomic exchange.
enum ResumeState : std::uint32_t {
    kResumeNone = 0,
    kResumePending = 1,      // a resume came before the suspension
    kSuspendedByNative = 2,
};

// Allocation entry points of the memory manager: the new object's address,
// or 0 with OutOfMemoryError pending on the current thread.
using ObjectAllocatorFn = word_t(word_t type);
using ArrayAllocatorFn = word_t(word_t arrayType, std::int64_t byteCount, std::int32_t length);

struct VMThread {
    // --- Execution context -------------------------------------------------
    word_t currentFrame;       // frame record of the running method; 0: no frame
    word_t refWindow;          // base of its reference window
    word_t pc;                 // saved bytecode position
    word_t thisObject;         // receiver of the method being entered or run
    word_t javaThread;         // the bound java.lang.Thread
    word_t pendingException;
    word_t uncaughtException;  // stored by Thread.storeException
    word_t localRefs;          // counted array of native local references
    std::int32_t localRefTop;  // index of the top local reference, -1 empty
    // Slot in bits 0-7, unique number above. Other tasks and interrupts read
    // it to find the thread they resume, while the application task binds
    // the record to a new thread.
    std::atomic<std::uint32_t> threadId;
    std::uint32_t scopedResource;
    word_t scopedClose;        // function
    word_t scopedDescription;  // function
    word_t nativeFunction;     // native being called, during the call
    std::uint8_t throwDepth;   // nesting guard of exception creation
    std::uint8_t flags;        // ThreadFlag
    // 1 while the thread reports its uncaught exception: a report that
    // throws in turn ends the thread instead of reporting again.
    std::uint8_t reportingUncaught;
    std::uint8_t pad0;
    // --- Scheduling ----------------------------------------------------------
    // Absolute system time (ms) at which a waiting thread wakes; 0 none, -1 at
    // once. Written by resumes from other tasks.
    std::atomic<std::int64_t> wakeupTime;
    WordPtr<VMThread> next, prev;  // the list the thread is in
    WordPtr<VMThread> monitorWaiters;
    word_t monitorObjects;    // counted arrays of the monitor stack: objects,
    word_t monitorCounts;     // entry counts (bytes),
    word_t monitorContexts;   // application context at the first entry
    word_t waitObject;        // object of a pending Object.wait
    std::atomic<std::uint32_t> resumeState;
    word_t suspendCallback;   // function
    std::uint32_t suspendArgument;
    std::atomic<std::uint32_t> resumeArgument;
    std::int8_t heldMonitorCount;
    std::uint8_t kernelMonitorDepth;
    std::uint8_t state;        // ThreadState
    std::int8_t effectivePriority;
    std::int8_t basePriority;
    std::uint8_t interruptStatus;  // 0 none, 1 interrupted, 2 interrupted while waiting
    std::uint8_t interruptibleWait;
    // 1 while the thread sits in the parked list instead of a ready queue
    // (its schedule context has a quota of 0); its state stays READY.
    std::uint8_t parked;
    // --- Engine ----------------------------------------------------------------
    word_t objectAllocator;    // ObjectAllocatorFn
    word_t arrayAllocator;     // ArrayAllocatorFn
    WordPtr<VMThread> poolNext;
    WordPtr<StackBlock> currentBlock;  // block of the running frame
    WordPtr<StackBlock> topBlock;      // newest block owned
    WordPtr<JavaStackMeter> stackMeter;
    word_t ownerFeature;       // installed application whose code runs; 0 kernel
    word_t featureThreadObject;
    word_t wantedContext;      // CPU-quota schedule contexts
    word_t scheduleContext;
    WordPtr<VMThread> contextNext;

    FrameRecord* frame() const { return to_ptr<FrameRecord>(currentFrame); }
    std::uint8_t slot() const { return static_cast<std::uint8_t>(threadId & 0xFFu); }

    word_t allocateObject(word_t type) const { return word_function<ObjectAllocatorFn>(objectAllocator)(type); }
    word_t allocateArray(word_t arrayType, std::int64_t byteCount, std::int32_t length) const {
        return word_function<ArrayAllocatorFn>(arrayAllocator)(arrayType, byteCount, length);
    }
};

// --- Thread ids ---------------------------------------------------------------
inline constexpr std::uint32_t kThreadSlotMask = 0xFFu;
inline constexpr std::uint32_t kUniqueNumberMask = 0x7FFFFFu;

// The next 23-bit unique number (never 0) from the one counter.
std::uint32_t next_unique_number();
// Restarts the counter (virtual-machine creation).
void reset_unique_numbers();
inline std::uint32_t make_thread_id(std::uint32_t unique, std::uint8_t slot) { return (unique << 8) | slot; }

// Every change of a thread's state goes through here, so that the
// monitoring hooks see it.
void set_thread_state(VMThread* t, ThreadState state);

// A zero-filled record for `slot` with its monitor stack, local-reference
// stack and stack meter, from the virtual machine's runtime region.
VMThread* create_thread_record(std::uint8_t slot);

// --- Native local references -------------------------------------------------
// A counted array of words: the count, then the slots.
inline std::uint32_t counted_length(word_t array) { return *to_ptr<std::uint32_t>(array); }
inline word_t* counted_words(word_t array) { return to_ptr<word_t>(array) + 1; }

}  // namespace tarvelo
