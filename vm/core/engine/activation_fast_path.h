// The common invocation and return, small enough to inline into the
// dispatch loop: a callee that runs in the caller's application context and
// fits in the current stack block, or in the thread's next block when the
// thread already owns it; and a return into a frame whose saved context is
// the kernel's, in the same block or in the older one. Every other case (a
// block still to be taken, a first frame, a change of application context,
// a call made holding kernel monitors when those are checked, a return into
// an application frame with its liveness and isolation checks, the end of
// the thread) goes to TulvarVMEngine::invokeMethod and LLOSTV_return_method,
// which build the same frames with the same routines (activation.h); these
// functions only decline, they never half-act: nothing is written before
// every condition has been checked. Benchmark builds count each outcome
// (activation_counts.h).
//
// The running activation is the dispatch loop's: its pc, frame and
// reference window live in the loop's locals (`code`, `P`, `R`), and the
// thread record's copies are written back only where something outside the
// loop may look (the interpreter's save points). So the calls and returns
// within a block read the caller from the locals and leave the record
// alone; those across a block border, one in many, write the record and
// load the locals from it.
#pragma once

#include <cstdint>

#include "vm/core/engine/activation.h"
#include "vm/core/engine/activation_counts.h"
#include "vm/core/engine/feature_context.h"
#include "vm/core/engine/frame_record.h"
#include "vm/model/method_record.h"
#include "vm/core/lifecycle/feature_rules_check.h"
#include "vm/core/threads/java_stack.h"
#include "vm/core/threads/vm_thread.h"

namespace tarvelo {

[[gnu::always_inline]] inline bool declined(ActivationCount why) {
    count_activation(why);
    return false;
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
[[gnu::noinline]] bool invoke_in_next_block(VMThread* t, FrameRecord* caller, word_t* callerRef, word_t method,
                                            word_t* refArgs, std::int32_t* primTop, word_t returnPc) {
    StackBlock* const block = t->currentBlock.get();
    StackBlock* const next = owned_block_above(t->topBlock.get(), block);
    if (next == nullptr) return declined(ActivationCount::kCallNoRoom);
    using Form = image::HeaderForm<kCompact>;
    const std::uint8_t* header = image::method_header_bytes(to_ptr<const void>(method));
    const std::uint32_t frameWords = Form::frame_words(header);
    const std::uint32_t keptRefs = Form::ref_args(header);
    word_t* const ref = next->firstRef();
    std::uint8_t* const top = next->end();
    std::uint8_t* const frameBytes = top - 4u * frameWords;
    std::uint8_t* const primLow = frameBytes - 4u * Form::prim_below(header);
    word_t* const refWindow = ref + Form::ref_base(header);
    word_t* const refTop = refWindow + Form::refs_above(header);
    // A frame larger than a block is the engine's to refuse.
    if (primLow < byte_address(refTop)) return declined(ActivationCount::kCallNoRoom);
    count_activation(ActivationCount::kInlineCallAcross);

    enter_next_block(block, next, caller, to_word(callerRef), byte_address(refArgs), byte_address(primTop), keptRefs,
                     frameWords - image::kFrameRecordWords);
    meter_activation(t->stackMeter.get(), next, static_cast<std::int32_t>(primLow - byte_address(refTop)));
    clear_reference_slots(ref + keptRefs, refTop);
    const word_t context = t->ownerFeature;
    caller->savedContext = context;
    t->currentBlock.set(next);
    begin_activation(t, reinterpret_cast<FrameRecord*>(frameBytes), kFrameNewBlock, 0, returnPc, method, context,
                     refWindow, method + Form::kCodeOffset);
    return true;
}

// The inline call of a method whose header, at `header`, has the form
// `kCompact` (below). The header's counts become the new activation's
// addresses first: fewer values for the dispatch loop to keep across the
// checks.
template <bool kCompact, bool kMayHaveReceiver>
[[gnu::always_inline]] inline bool fast_invoke_shaped(VMThread* t, const std::uint8_t* header, word_t method,
                                                      word_t* refArgs, std::int32_t* primTop, word_t returnPc,
                                                      const std::uint8_t** code, std::int32_t** P, word_t** R) {
    using Form = image::HeaderForm<kCompact>;
    FrameRecord* const caller = reinterpret_cast<FrameRecord*>(*P);
    std::uint8_t* const frameBytes = byte_address(primTop) - 4u * Form::frame_words(header);
    std::uint8_t* const primLow = frameBytes - 4u * Form::prim_below(header);
    word_t* const refWindow = refArgs + Form::ref_base(header);
    word_t* const refTop = refWindow + Form::refs_above(header);
    word_t* const clearFrom = refArgs + Form::ref_args(header);
    const word_t pc = method + Form::kCodeOffset;
    // Whether the callee must run in its receiver's application, another
    // than the caller's. A static call has no receiver.
    const auto otherApplication = [&] {
        return kMayHaveReceiver && !Form::keep_context(header) && t->thisObject != 0 &&
               object_owner_feature(t->thisObject) != t->ownerFeature;
    };
    if (primLow < byte_address(refTop)) [[unlikely]] {
        if (caller == nullptr) return declined(ActivationCount::kCallFirstFrame);
        if (otherApplication()) return declined(ActivationCount::kCallOtherApplication);
        if (t->kernelMonitorDepth != 0 && kernel_monitor_calls_checked)
            return declined(ActivationCount::kCallHoldingKernelMonitors);
        if (!invoke_in_next_block<kCompact>(t, caller, *R, method, refArgs, primTop, returnPc)) return false;
        load_activation(t, code, P, R);
        return true;
    }

    if (caller == nullptr) return declined(ActivationCount::kCallFirstFrame);
    const word_t context = t->ownerFeature;
    if (otherApplication()) return declined(ActivationCount::kCallOtherApplication);
    // Calls made holding kernel monitors, when the rules word checks them.
    if (t->kernelMonitorDepth != 0 && kernel_monitor_calls_checked)
        return declined(ActivationCount::kCallHoldingKernelMonitors);
    count_activation(ActivationCount::kInlineCall);

    meter_activation(t->stackMeter.get(), t->currentBlock.get(),
                     static_cast<std::int32_t>(primLow - byte_address(refTop)));
    clear_reference_slots(clearFrom, refTop);
    caller->savedContext = context;
    auto* frame = reinterpret_cast<FrameRecord*>(frameBytes);
    write_frame_record(frame, caller_distance_flags(caller, frameBytes), caller_ref_delta(to_word(*R), refWindow),
                       returnPc, method, context);
    *code = to_ptr<const std::uint8_t>(pc);
    *P = frame->prim();
    *R = refWindow;
    return true;
}

// Enters `method` with its kept reference arguments at `refArgs` and its
// primitive arguments just below `primTop`, returning to `returnPc`, from
// the activation whose frame and window are `P` and `R`. On success `code`,
// `P`, `R` hold the callee's pc, frame and window (the thread record's
// copies are written only across a block border); false leaves the thread
// and the locals untouched. `kMayHaveReceiver` false: a static call, whose
// thread's receiver is null.
template <bool kMayHaveReceiver = true>
[[gnu::always_inline]] inline bool try_fast_invoke(VMThread* t, word_t method, word_t* refArgs,
                                                   std::int32_t* primTop, word_t returnPc,
                                                   const std::uint8_t** code, std::int32_t** P, word_t** R) {
    const std::uint8_t* header = image::method_header_bytes(to_ptr<const void>(method));
    if (!image::is_compact_header(header))
        return fast_invoke_shaped<false, kMayHaveReceiver>(t, header, method, refArgs, primTop, returnPc, code, P, R);
    return fast_invoke_shaped<true, kMayHaveReceiver>(t, header, method, refArgs, primTop, returnPc, code, P, R);
}

// Prepares the resumption of a caller (its header's counts `cs`, its
// reference window `callerRef`): its receiver, the reference slots from
// `lowest` up to the top of its window cleared, and the kernel's context,
// as the callers of the inline return are all the kernel's.
[[gnu::always_inline]] inline void resume_kernel_caller(VMThread* t, const ResumeShape& cs, word_t* callerRef,
                                                        word_t* lowest) {
    restore_receiver(t, cs.refBase, callerRef);
    clear_reference_slots(lowest, callerRef + cs.refsAbove);
    t->ownerFeature = 0;
}

// The return of an activation that opened its block, into the older block.
// One return in many: out of line, as the call into the next block.
[[gnu::noinline]] inline bool return_to_older_block(VMThread* t, FrameRecord* frame, word_t* lowest) {
    StackBlock* block = t->currentBlock.get();
    StackBlock* older = block->link.get();
    if ((frame->flags & kFrameFirst) != 0 || !has_saved_caller(older))
        return declined(ActivationCount::kReturnThreadBottom);
    FrameRecord* caller = saved_caller(older);
    if (caller->savedContext != 0) return declined(ActivationCount::kReturnIntoApplication);
    count_activation(ActivationCount::kInlineReturnAcross);

    // The frame that opened the block ends at the block's end, which gives
    // its primitive words without a second header to read.
    const std::uint32_t primWords = (to_word(block->end()) - to_word(frame)) / 4 - image::kFrameRecordWords;
    const bool returnsRef = image::header_returns_ref(image::method_header_bytes(to_ptr<const void>(frame->method)));
    const ResumeShape cs = resume_shape(caller->method);
    word_t* const refArgs = saved_ref_args(older);
    return_result_across(returnsRef, primWords, block, refArgs, saved_prim_top(older), caller->prim() - cs.primBelow);
    lowest = slot_in_older_block(block, refArgs, lowest);
    t->currentBlock.set(older);
    word_t* const callerRef = saved_ref_window(older);
    resume_kernel_caller(t, cs, callerRef, lowest);
    resume_activation(t, caller, callerRef, frame->returnPc);
    return true;
}

// Leaves the activation whose frame and window are `P` and `R`, clearing
// the reference registers from `lowest` up to the top of the caller's
// window. On success `code`, `P`, `R` hold the caller's pc, frame and
// window (the thread record's copies are written only across a block
// border); false (the thread's first frame, or a caller in an
// application's context) leaves the thread and the locals untouched.
[[gnu::always_inline]] inline bool try_fast_return(VMThread* t, word_t* lowest, const std::uint8_t** code,
                                                   std::int32_t** P, word_t** R) {
    auto* const frame = reinterpret_cast<FrameRecord*>(*P);
    if ((frame->flags & kFrameNewBlock) != 0) [[unlikely]] {
        if (!return_to_older_block(t, frame, lowest)) return false;
        load_activation(t, code, P, R);
        return true;
    }
    FrameRecord* caller = caller_in_block(frame);
    if (caller->savedContext != 0) return declined(ActivationCount::kReturnIntoApplication);
    count_activation(ActivationCount::kInlineReturn);
    word_t* const callerRef = caller_ref_window(frame, to_word(*R));
    const word_t returnPc = frame->returnPc;
    resume_kernel_caller(t, resume_shape(caller->method), callerRef, lowest);
    *code = to_ptr<const std::uint8_t>(returnPc);
    *P = caller->prim();
    *R = callerRef;
    return true;
}

}  // namespace tarvelo
