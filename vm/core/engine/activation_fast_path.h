// The common invocation and return, small enough to inline into the
// dispatch loop: a callee that runs in the caller's application context and
// fits in the current stack block, or in the thread's next block when the
// thread already owns it; and a return into a frame whose saved context is
// the kernel's, in the same block or in the older one. Every other case (a
// block still to be taken, a first frame, a change of application context,
// a return into an application frame with its liveness and isolation
// checks, the end of the thread) goes to TulvarVMEngine::invokeMethod and
// LLOSTV_return_method, which produce the same frames; these functions
// only decline, they never half-act: nothing is written before every
// condition has been checked.
#pragma once

#include <cstdint>

#include "vm/core/engine/activation_counts.h"
#include "vm/core/engine/feature_context.h"
#include "vm/core/engine/frame_record.h"
#include "vm/core/image/method_record.h"
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

    std::uint32_t refBytes() const { return 4u * (refBase + refsAbove); }
    std::uint32_t primBytes() const { return 4u * (frameWords + primBelow); }
    std::uint32_t primWords() const { return frameWords - image::kFrameRecordWords; }
};

// The shape from the header bytes `m` (from header byte 0), of the form
// given: the callers that branch on the form once get straight-line code
// for each.
template <bool kCompact>
[[gnu::always_inline]] inline ActivationShape activation_shape_as(const std::uint8_t* m) {
    const std::uint8_t b0 = m[0];
    if constexpr (kCompact) {
        const std::uint32_t refArgs = b0 & image::kCompactRefArgsMask;
        return {refArgs,
                refArgs + ((b0 & image::kCompactExtraRefBit) != 0 ? 1u : 0u),
                0,
                ((b0 & image::kCompactPrimMask) >> image::kCompactPrimShift) + image::kFrameRecordWords,
                0,
                image::kCompactCodeOffset,
                false};
    } else {
        return {static_cast<std::uint32_t>(m[1] & image::kFullRefArgsMask),
                m[2],
                m[4],
                m[3],
                m[5],
                image::kFullCodeOffset,
                (m[1] & image::kFullKeepContextBit) != 0};
    }
}

[[gnu::always_inline]] inline const std::uint8_t* method_header_bytes(word_t method) {
    return to_ptr<const std::uint8_t>(method) + image::kMethodHeaderOffset;
}

[[gnu::always_inline]] inline bool is_compact_header(const std::uint8_t* m) {
    return (m[0] & image::kHeaderCompactBit) != 0;
}

[[gnu::always_inline]] inline ActivationShape activation_shape(word_t method) {
    const std::uint8_t* m = method_header_bytes(method);
    return is_compact_header(m) ? activation_shape_as<true>(m) : activation_shape_as<false>(m);
}

// Nulls the reference slots [from, to): usually none to three, so plain
// stores (the interpreter is compiled so that such loops do not become
// calls to memset, which would cost more than the stores themselves).
[[gnu::always_inline]] inline void clear_reference_slots(word_t* from, word_t* to) {
    for (; from < to; ++from) *from = 0;
}

[[gnu::always_inline]] inline void copy_words(word_t* to, const word_t* from, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) to[i] = from[i];
}

[[gnu::always_inline]] inline std::uint8_t* byte_address(void* p) { return static_cast<std::uint8_t*>(p); }

// The stack meter on entering an activation with `freeBytes` to spare in
// `block`: it keeps the least free space seen in the block it watches, and
// moves up to a block entered from that one. Calls made in blocks below
// the watched one leave it as it is.
[[gnu::always_inline]] inline void meter_activation(JavaStackMeter* meter, StackBlock* block, std::int32_t freeBytes) {
    if (meter->block.get() == block) {
        if (freeBytes < meter->leastFree) meter->leastFree = freeBytes;
    } else if (block->link.get() == meter->block.get()) {
        meter->block.set(block);
        meter->leastFree = freeBytes;
    }
}

// Leaves `block` for `next` at a call: the caller's position goes into the
// header of `block` (`caller` null: the thread had no frame), and the kept
// reference arguments at `ref` and the primitive words just below `top`
// move to the start of the windows of `next`.
[[gnu::always_inline]] inline void enter_next_block(StackBlock* block, StackBlock* next, FrameRecord* caller,
                                                    word_t callerRefWindow, std::uint8_t* ref, std::uint8_t* top,
                                                    std::uint32_t keptRefs, std::uint32_t primWords) {
    const word_t base = to_word(block);
    block->savedFrame = static_cast<std::uint16_t>(caller != nullptr ? to_word(caller) - base : 0);
    block->savedRefWindow = static_cast<std::uint16_t>(caller != nullptr ? callerRefWindow - base : 0);
    block->savedPrimTop = static_cast<std::uint16_t>((to_word(top) - base) / 4);
    block->savedRefArgs = static_cast<std::uint16_t>((to_word(ref) - base) / 4);
    copy_words(next->firstRef(), reinterpret_cast<const word_t*>(ref), keptRefs);
    copy_words(reinterpret_cast<word_t*>(next->end()) - primWords, reinterpret_cast<const word_t*>(top) - primWords,
               primWords);
}

// The result of an activation that opened `block` (its `primWords`
// primitive words at the block's end), handed back over the border to its
// caller's outgoing areas (`refArgs`, and the primitive words below
// `primTop`): the reference result, or up to two primitive words, no more
// than the callee has and the caller's window holds there.
[[gnu::always_inline]] inline void return_result_across(bool returnsRef, std::uint32_t primWords, StackBlock* block,
                                                        word_t* refArgs, std::int32_t* primTop,
                                                        const std::int32_t* callerLowest) {
    if (returnsRef) {
        refArgs[0] = block->firstRef()[0];
        return;
    }
    std::int32_t n = primWords < 2 ? static_cast<std::int32_t>(primWords) : 2;
    const auto room = static_cast<std::int32_t>(primTop - callerLowest);
    if (room < n) n = room;
    const auto* result = reinterpret_cast<const std::int32_t*>(block->end());
    if (n == 2) {
        primTop[-2] = result[-2];
        primTop[-1] = result[-1];
    } else if (n == 1) {
        primTop[-1] = result[-1];
    }
}

[[gnu::always_inline]] inline bool declined(ActivationCount why) {
    count_activation(why);
    return false;
}

// Makes the activation whose frame record is `frame` current.
[[gnu::always_inline]] inline void begin_activation(VMThread* t, FrameRecord* frame, std::uint16_t flags,
                                                    std::int16_t callerRefDelta, word_t returnPc, word_t method,
                                                    word_t context, word_t* refWindow, std::uint32_t codeOffset) {
    frame->flags = flags;
    frame->callerRefDelta = callerRefDelta;
    frame->returnPc = returnPc;
    frame->method = method;
    frame->featureContext = context;
    frame->savedContext = 0;
    t->pc = method + codeOffset;
    t->currentFrame = to_word(frame);
    t->refWindow = to_word(refWindow);
}

// The dispatch loop's copies of the thread's pc and windows.
[[gnu::always_inline]] inline void load_activation(const VMThread* t, const std::uint8_t** code, std::int32_t** P,
                                                   word_t** R) {
    *code = to_ptr<const std::uint8_t>(t->pc);
    *P = to_ptr<std::int32_t>(t->currentFrame);
    *R = to_ptr<word_t>(t->refWindow);
}

// A call that does not fit in the current block, into the next block when
// the thread owns it already. One call in many: out of line, so that the
// common path keeps its registers.
template <bool kCompact>
[[gnu::noinline]] bool invoke_in_next_block(VMThread* t, word_t method, word_t* refArgs, std::int32_t* primTop,
                                            word_t returnPc) {
    StackBlock* const block = t->currentBlock.get();
    StackBlock* const next = owned_block_above(t->topBlock.get(), block);
    if (next == nullptr) return declined(ActivationCount::kCallNoRoom);
    const ActivationShape s = activation_shape_as<kCompact>(method_header_bytes(method));
    word_t* const ref = next->firstRef();
    std::uint8_t* const top = next->end();
    std::uint8_t* const frameBytes = top - 4u * s.frameWords;
    std::uint8_t* const primLow = frameBytes - 4u * s.primBelow;
    word_t* const refWindow = ref + s.refBase;
    word_t* const refTop = refWindow + s.refsAbove;
    // A frame larger than a block is the engine's to refuse.
    if (primLow < byte_address(refTop)) return declined(ActivationCount::kCallNoRoom);
    count_activation(ActivationCount::kInlineCallAcross);

    FrameRecord* const caller = t->frame();
    enter_next_block(block, next, caller, t->refWindow, byte_address(refArgs), byte_address(primTop), s.refArgs,
                     s.primWords());
    meter_activation(t->stackMeter.get(), next, static_cast<std::int32_t>(primLow - byte_address(refTop)));
    clear_reference_slots(ref + s.refArgs, refTop);
    const word_t context = t->ownerFeature;
    caller->savedContext = context;
    t->currentBlock.set(next);
    begin_activation(t, reinterpret_cast<FrameRecord*>(frameBytes), kFrameNewBlock, 0, returnPc, method, context,
                     refWindow, s.codeOffset);
    return true;
}

// The inline call of a method of shape `s`, whose header has the form
// `kCompact` (below). The shape becomes the addresses of the new
// activation first: fewer values to keep than the header's counts.
template <bool kCompact>
[[gnu::always_inline]] inline bool fast_invoke_shaped(VMThread* t, const ActivationShape s, word_t method,
                                                      word_t* refArgs, std::int32_t* primTop, word_t returnPc,
                                                      const std::uint8_t** code, std::int32_t** P, word_t** R) {
    std::uint8_t* const frameBytes = byte_address(primTop) - 4u * s.frameWords;
    std::uint8_t* const primLow = frameBytes - 4u * s.primBelow;
    word_t* const refWindow = refArgs + s.refBase;
    word_t* const refTop = refWindow + s.refsAbove;
    if (primLow < byte_address(refTop)) [[unlikely]] {
        if (t->frame() == nullptr) return declined(ActivationCount::kCallFirstFrame);
        if (!s.keepContext && t->thisObject != 0 && object_owner_feature(t->thisObject) != t->ownerFeature)
            return declined(ActivationCount::kCallOtherApplication);
        if (!invoke_in_next_block<kCompact>(t, method, refArgs, primTop, returnPc)) return false;
        load_activation(t, code, P, R);
        return true;
    }
    word_t* const clearFrom = refArgs + s.refArgs;
    const word_t pc = method + s.codeOffset;
    const bool keepContext = s.keepContext;

    FrameRecord* caller = t->frame();
    if (caller == nullptr) return declined(ActivationCount::kCallFirstFrame);
    const word_t context = t->ownerFeature;
    if (!keepContext && t->thisObject != 0 && object_owner_feature(t->thisObject) != context)
        return declined(ActivationCount::kCallOtherApplication);
    count_activation(ActivationCount::kInlineCall);

    meter_activation(t->stackMeter.get(), t->currentBlock.get(),
                     static_cast<std::int32_t>(primLow - byte_address(refTop)));
    clear_reference_slots(clearFrom, refTop);
    caller->savedContext = context;
    auto* frame = reinterpret_cast<FrameRecord*>(frameBytes);
    frame->flags = static_cast<std::uint16_t>((byte_address(caller) - frameBytes) & kFrameCallerDistanceMask);
    frame->callerRefDelta = static_cast<std::int16_t>(to_ptr<std::uint8_t>(t->refWindow) - byte_address(refWindow));
    frame->returnPc = returnPc;
    frame->method = method;
    frame->featureContext = context;
    frame->savedContext = 0;
    t->pc = pc;
    t->currentFrame = to_word(frame);
    t->refWindow = to_word(refWindow);
    *code = to_ptr<const std::uint8_t>(pc);
    *P = frame->prim();
    *R = refWindow;
    return true;
}

// Enters `method` with its kept reference arguments at `refArgs` and its
// primitive arguments just below `primTop`, returning to `returnPc`. On
// success the thread's pc, frame and reference window are the callee's and
// `code`, `P`, `R` hold them; false leaves the thread untouched.
[[gnu::always_inline]] inline bool try_fast_invoke(VMThread* t, word_t method, word_t* refArgs,
                                                   std::int32_t* primTop, word_t returnPc,
                                                   const std::uint8_t** code, std::int32_t** P, word_t** R) {
    const std::uint8_t* m = method_header_bytes(method);
    if (is_compact_header(m))
        return fast_invoke_shaped<true>(t, activation_shape_as<true>(m), method, refArgs, primTop, returnPc, code, P, R);
    return fast_invoke_shaped<false>(t, activation_shape_as<false>(m), method, refArgs, primTop, returnPc, code, P, R);
}

// Makes `caller` (its header `cs`, its reference window `callerRef`)
// current again at `returnPc`, clearing the reference slots from `lowest`
// up to the top of its window; the kernel's context, as the callers of the
// inline return are all the kernel's.
[[gnu::always_inline]] inline void resume_caller(VMThread* t, FrameRecord* caller, const ActivationShape& cs,
                                                 word_t* callerRef, word_t returnPc, word_t* lowest) {
    if (cs.refBase > 0) t->thisObject = callerRef[-static_cast<std::int32_t>(cs.refBase)];
    clear_reference_slots(lowest, callerRef + cs.refsAbove);
    t->ownerFeature = 0;
    t->pc = returnPc;
    t->currentFrame = to_word(caller);
    t->refWindow = to_word(callerRef);
}

// The return of an activation that opened its block, into the older block.
// One return in many: out of line, as the call into the next block.
[[gnu::noinline]] inline bool return_to_older_block(VMThread* t, word_t* lowest) {
    FrameRecord* frame = t->frame();
    StackBlock* block = t->currentBlock.get();
    StackBlock* older = block->link.get();
    if ((frame->flags & kFrameFirst) != 0 || older == nullptr || older->savedFrame == 0)
        return declined(ActivationCount::kReturnThreadBottom);
    auto* caller = reinterpret_cast<FrameRecord*>(older->bytes() + older->savedFrame);
    if (caller->savedContext != 0) return declined(ActivationCount::kReturnIntoApplication);
    count_activation(ActivationCount::kInlineReturnAcross);

    // The frame that opened the block ends at the block's end, which gives
    // its primitive words without a second header to read.
    const std::uint32_t primWords = (to_word(block->end()) - to_word(frame)) / 4 - image::kFrameRecordWords;
    const bool returnsRef = (to_ptr<const std::uint8_t>(frame->method)[image::kMethodHeaderOffset] & image::kHeaderReturnsRefBit) != 0;
    const ActivationShape cs = activation_shape(caller->method);
    auto* primTop = reinterpret_cast<std::int32_t*>(older->bytes() + 4u * older->savedPrimTop);
    auto* refArgs = reinterpret_cast<word_t*>(older->bytes() + 4u * older->savedRefArgs);
    return_result_across(returnsRef, primWords, block, refArgs, primTop, caller->prim() - cs.primBelow);
    // The slot of the caller's block that stands for `lowest`: the callee's
    // reference area began at the block's first slot and at `refArgs`.
    lowest = reinterpret_cast<word_t*>(byte_address(refArgs) + (byte_address(lowest) - byte_address(block->firstRef())));
    t->currentBlock.set(older);
    resume_caller(t, caller, cs, reinterpret_cast<word_t*>(older->bytes() + older->savedRefWindow), frame->returnPc,
                  lowest);
    return true;
}

// Leaves the current activation, clearing the reference registers from
// `lowest` up to the top of the caller's window. On success the caller's
// pc, frame and window are current and in `code`, `P`, `R`; false (the
// thread's first frame, or a caller in an application's context) leaves
// the thread untouched.
[[gnu::always_inline]] inline bool try_fast_return(VMThread* t, word_t* lowest, const std::uint8_t** code,
                                                   std::int32_t** P, word_t** R) {
    FrameRecord* frame = t->frame();
    const std::uint16_t flags = frame->flags;
    if ((flags & kFrameNewBlock) != 0) [[unlikely]] {
        if (!return_to_older_block(t, lowest)) return false;
        load_activation(t, code, P, R);
        return true;
    }
    auto* caller = reinterpret_cast<FrameRecord*>(byte_address(frame) + (flags & kFrameCallerDistanceMask));
    if (caller->savedContext != 0) return declined(ActivationCount::kReturnIntoApplication);
    count_activation(ActivationCount::kInlineReturn);
    auto* callerRef = reinterpret_cast<word_t*>(to_ptr<std::uint8_t>(t->refWindow) + frame->callerRefDelta);
    const word_t returnPc = frame->returnPc;
    resume_caller(t, caller, activation_shape(caller->method), callerRef, returnPc, lowest);
    *code = to_ptr<const std::uint8_t>(returnPc);
    *P = caller->prim();
    *R = callerRef;
    return true;
}

}  // namespace tarvelo
