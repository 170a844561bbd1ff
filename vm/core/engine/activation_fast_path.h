// The common invocation and return, small enough to inline into the
// dispatch loop: a callee that fits in the current stack block, running in
// the caller's application context, and a return into a frame of the same
// block whose saved context is the kernel's. Every other case (a new stack
// block, a first frame, a change of application context, a return into an
// application frame with its liveness and isolation checks) goes to
// TulvarVMEngine::invokeMethod and LLOSTV_return_method, which produce the
// same frames; these functions only decline, they never half-act: nothing
// is written before every condition has been checked.
#pragma once

#include <cstdint>

#include "vm/core/engine/feature_context.h"
#include "vm/core/engine/frame_record.h"
#include "vm/core/image/method_record.h"
#include "vm/core/lifecycle/feature_rules_check.h"
#include "vm/core/threads/java_stack.h"
#include "vm/core/threads/vm_thread.h"

namespace tarvelo {

// The register counts of a method header the call and return need, read
// with as few loads as the form allows.
struct ActivationShape {
    std::uint32_t refArgs;    // kept reference arguments
    std::uint32_t refBase;    // reference registers below the base
    std::uint32_t refsAbove;  // reference registers at and above the base
    std::uint32_t frameWords;
    std::uint32_t primBelow;
    std::uint32_t codeOffset;
    bool keepContext;
};

[[gnu::always_inline]] inline ActivationShape activation_shape(word_t method) {
    const auto* m = to_ptr<const std::uint8_t>(method) + image::kMethodHeaderOffset;
    const std::uint8_t b0 = m[0];
    if ((b0 & image::kHeaderCompactBit) != 0) {
        const std::uint32_t refArgs = b0 & image::kCompactRefArgsMask;
        return {refArgs,
                refArgs + ((b0 & image::kCompactExtraRefBit) != 0 ? 1u : 0u),
                0,
                ((b0 & image::kCompactPrimMask) >> image::kCompactPrimShift) + image::kFrameRecordWords,
                0,
                image::kCompactCodeOffset,
                false};
    }
    return {static_cast<std::uint32_t>(m[1] & image::kFullRefArgsMask),
            m[2],
            m[4],
            m[3],
            m[5],
            image::kFullCodeOffset,
            (m[1] & image::kFullKeepContextBit) != 0};
}

// Nulls the reference slots [from, to): usually none to three, so plain
// stores (the interpreter is compiled so that such loops do not become
// calls to memset, which would cost more than the stores themselves).
[[gnu::always_inline]] inline void clear_reference_slots(word_t* from, word_t* to) {
    for (; from < to; ++from) *from = 0;
}

// Enters `method` with its kept reference arguments at `refArgs` and its
// primitive arguments just below `primTop`, returning to `returnPc`. On
// success the thread's pc, frame and reference window are the callee's and
// `code`, `P`, `R` hold them; false leaves the thread untouched.
[[gnu::always_inline]] inline bool try_fast_invoke(VMThread* t, word_t method, word_t* refArgs,
                                                   std::int32_t* primTop, word_t returnPc,
                                                   const std::uint8_t** code, std::int32_t** P, word_t** R) {
    const ActivationShape s = activation_shape(method);
    const std::uint32_t refRegs = s.refBase + s.refsAbove;
    auto* ref = reinterpret_cast<std::uint8_t*>(refArgs);
    auto* frameBytes = reinterpret_cast<std::uint8_t*>(primTop) - 4u * s.frameWords;
    std::uint8_t* const primLow = frameBytes - 4u * s.primBelow;
    std::uint8_t* const refHigh = ref + 4u * refRegs;
    if (primLow < refHigh) return false;  // not in this block
    FrameRecord* caller = t->frame();
    if (caller == nullptr) return false;
    const word_t context = t->ownerFeature;
    if (!s.keepContext && t->thisObject != 0 && object_owner_feature(t->thisObject) != context) return false;
    // Calls made holding kernel monitors, when the rules word checks them.
    if (t->kernelMonitorDepth != 0 && kernel_monitor_calls_checked) return false;
    JavaStackMeter* meter = t->stackMeter.get();
    if (meter->block.get() != t->currentBlock.get()) return false;

    const auto freeBytes = static_cast<std::int32_t>(primLow - refHigh);
    if (freeBytes < meter->leastFree) meter->leastFree = freeBytes;
    clear_reference_slots(refArgs + s.refArgs, refArgs + refRegs);

    auto* frame = reinterpret_cast<FrameRecord*>(frameBytes);
    word_t* const refWindow = refArgs + s.refBase;
    frame->flags = static_cast<std::uint16_t>((reinterpret_cast<std::uint8_t*>(caller) - frameBytes) &
                                              kFrameCallerDistanceMask);
    frame->callerRefDelta = static_cast<std::int16_t>(to_ptr<std::uint8_t>(t->refWindow) -
                                                      reinterpret_cast<std::uint8_t*>(refWindow));
    frame->returnPc = returnPc;
    frame->method = method;
    frame->featureContext = context;
    frame->savedContext = 0;
    caller->savedContext = context;

    const word_t pc = method + s.codeOffset;
    t->pc = pc;
    t->currentFrame = to_word(frame);
    t->refWindow = to_word(refWindow);
    *code = to_ptr<const std::uint8_t>(pc);
    *P = frame->prim();
    *R = refWindow;
    return true;
}

// Leaves the current activation, clearing the reference registers from
// `lowest` up to the top of the caller's window. On success the caller's
// pc, frame and window are current and in `code`, `P`, `R`; false (a
// frame that opened its block, or a caller in an application's context)
// leaves the thread untouched.
[[gnu::always_inline]] inline bool try_fast_return(VMThread* t, word_t* lowest, const std::uint8_t** code,
                                                   std::int32_t** P, word_t** R) {
    FrameRecord* frame = t->frame();
    const std::uint16_t flags = frame->flags;
    if ((flags & kFrameNewBlock) != 0) return false;
    auto* caller = reinterpret_cast<FrameRecord*>(reinterpret_cast<std::uint8_t*>(frame) +
                                                  (flags & kFrameCallerDistanceMask));
    if (caller->savedContext != 0) return false;
    word_t* callerRef = reinterpret_cast<word_t*>(to_ptr<std::uint8_t>(t->refWindow) + frame->callerRefDelta);
    const ActivationShape cs = activation_shape(caller->method);
    if (cs.refBase > 0) t->thisObject = callerRef[-static_cast<std::int32_t>(cs.refBase)];
    clear_reference_slots(lowest, callerRef + cs.refsAbove);
    const word_t pc = frame->returnPc;
    t->ownerFeature = 0;
    t->pc = pc;
    t->currentFrame = to_word(caller);
    t->refWindow = to_word(callerRef);
    *code = to_ptr<const std::uint8_t>(pc);
    *P = caller->prim();
    *R = callerRef;
    return true;
}

}  // namespace tarvelo
