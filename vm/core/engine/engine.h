// The execution engine: the activations of a running thread inside its
// stack blocks, and the operations that make and remove them: invocation,
// the return across a block border, calls from virtual-machine code into
// Java, class initialisation and frame walks. The interpreter builds its
// invoke and return instructions on these.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/core/engine/frame_record.h"
#include "vm/model/method_record.h"

namespace tarvelo {

struct VMThread;
struct StackBlock;

// One activation seen by a frame walk.
struct FrameView {
    FrameRecord* frame;
    word_t* refWindow;
    word_t pc;
    StackBlock* block;
};

class FrameVisitor {
public:
    // false ends the walk.
    virtual bool visitFrame(const FrameView& f) = 0;
    // Called for a frame with a proxy, new-block, first or wrapper flag;
    // false ends the walk.
    virtual bool visitFlags(const FrameView&, std::uint16_t) { return true; }

protected:
    ~FrameVisitor() = default;
};

struct TulvarVMEngine {
    // --- Threads ----------------------------------------------------------------
    // Binds a pooled record to a java.lang.Thread: clears its frame and
    // exceptions, sets its allocators, enters it in the thread table with a
    // new id, links it with the object and applies the object's priority.
    static bool bindThread(VMThread* t, word_t threadObject);
    static void linkThreadObject(VMThread* t, word_t threadObject);
    // Threads bound so far, and the most bound at once.
    static std::uint32_t startedThreadCount();
    static std::uint32_t peakThreadCount();
    // The first stack block and the stack meter; false with
    // StackOverflowError pending.
    static bool initializeThread(VMThread* t);
    // Ends the binding: the Thread's id becomes -2, the blocks and the table
    // slot are given back, the references cleared.
    static void releaseThread(VMThread* t);
    // The thread has no frame any more; its windows start again at the
    // bottom of its first block.
    static void clearFrame(VMThread* t);
    // Thread.currentThread: the current thread's Thread object as the code
    // that runs sees it (an installed application has its own).
    static word_t currentThreadObject(VMThread* t);

    // --- Activations --------------------------------------------------------------
    // Makes `method` current over the caller's outgoing arguments (the
    // reference arguments from `refArgs`, the primitive ones below
    // `primTop`). On failure the exception is raised and unwound (the
    // thread then stands in the handler frame) and false returned.
    static bool invokeMethod(VMThread* t, word_t method, word_t* refArgs, std::int32_t* primTop);
    // The return of an activation that opened a new block: the caller's
    // windows and pc back in the thread, the result copied; gives the
    // address in the caller's block that stands for the returning frame's
    // lowest reference slot (`distance` bytes below its window base).
    static word_t* returnAcrossBlock(VMThread* t, std::uint32_t distance);
    // Where a call made by virtual-machine code places its callee: after the
    // current frame's registers, or at the bottom of the current block when
    // the thread has no frame.
    static void nextWindows(VMThread* t, word_t** refArgs, std::int32_t** primTop);
    // Makes StackOverflowError pending, with the stack allocator's result
    // (`code`) as its message.
    static void raiseStackOverflow(VMThread* t, std::int32_t code);

    // --- Frame walks --------------------------------------------------------------
    // From `from` (the thread's current frame, windows, pc and block when null).
    static void visitFrames(VMThread* t, FrameVisitor& v, const FrameView* from = nullptr);
    // The frame n callers up from the current one; frame null when there
    // are fewer.
    static FrameView walkUpFrames(VMThread* t, std::uint32_t n);
    static std::uint32_t countFrames(VMThread* t);
    static FrameView currentView(VMThread* t);

    // --- Class initialisation -------------------------------------------------------
    // Thread.execClinit: invokes initialiser `index` of the table after the
    // current method's windows; IndexOutOfBoundsException outside the table.
    static void execClinit(VMThread* t, std::int32_t index);

    // --- Arrays of several dimensions (OPmultianewarray) -------------------------------
    // Lengths from prim[first], prim[first - 1], ...; the result into *dst.
    // false with an exception pending.
    static bool newMultiArray(VMThread* t, word_t arrayType, std::int32_t dims, std::int32_t* firstLength, word_t* dst);

    // --- Exceptions (exceptions.cpp) ------------------------------------------------------
    // Where a handler search ended: the handler frame, windows, pc and block,
    // or a null frame when no frame handles the exception.
    struct HandlerFound {
        FrameView at;
        word_t handlerPc;
        bool proxyReturn;  // ended at a cross-application proxy frame
    };
    // Searches the thread's frames from the current one for a handler of
    // `exception`.
    static HandlerFound dispatchException(VMThread* t, word_t exception);
    // Raises the thread's pending exception from its current frame and pc:
    // the thread then stands in the handler frame, or, without one, at the
    // thread-bottom instruction of Thread.callWrapper with no frame.
    static void throwPendingException(VMThread* t);
    // "Exception in thread ..." with at most `maxFrames` frames (-1: all).
    static void printUncaughtException(VMThread* t, word_t exception, std::int32_t maxFrames);
    // The text of a method in a frame line.
    static void printMethodReference(word_t method);
    // The type's qualified name with slashes, or "@C:0x...@" without a name record.
    static void printTypeName(word_t type);
    // The text of one stack-trace element (System.toStringStackLine) into
    // `chars`, at most `capacity` of them: "@M:0x<method>:0x<pc>@" ("@A:"
    // for a method without a class), after the "@F:...@" token of the
    // application that owns the class; the number of chars written. Names
    // are resolved off the device.
    // `classWordReadable` false: the method address came from Java code and
    // its class word is no type header of an image; it is not read ("@A:").
    static std::int32_t stackLineText(word_t method, word_t pc, std::uint16_t* chars, std::int32_t capacity,
                                      bool classWordReadable = true);
    // A native call whose function address is 0 (an image linked with weak
    // externals against a firmware that lacks the native): makes an
    // InternalLimitsError pending whose message names `method` as traces do.
    static void throwMissingNative(VMThread* t, word_t method);
};

// The return sequence (invocation.cpp, beside invokeMethod): pops the
// current activation of `t`, whose lowest reference slot still to be
// cleared is `lowest`. false when an exception is pending instead (the
// caller's application stopped); the thread record then holds the caller's
// frame and pc. A return that leaves the thread without a frame puts its pc
// at the thread-bottom instruction.
bool LLOSTV_return_method(VMThread* t, word_t* lowest);

// The method header of a method record's address.
inline image::MethodHeader method_header(word_t method) { return image::decode_method_header(to_ptr<const void>(method)); }

}  // namespace tarvelo
