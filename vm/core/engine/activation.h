// The layout of activations in a thread's stack blocks, written and undone
// by one set of routines that both the engine's invocation and return
// (invocation.cpp) and the dispatch loop's inline call and return
// (activation_fast_path.h) use: the stack meter, the move of a call into
// the next block and of a result back out of it, the frame record and the
// thread's view of the running activation. All inline: the dispatch loop
// runs them on every call.
#pragma once

#include <cstdint>

#include "vm/core/engine/frame_record.h"
#include "vm/model/method_record.h"
#include "vm/core/threads/java_stack.h"
#include "vm/core/threads/vm_thread.h"

namespace tarvelo {

[[gnu::always_inline]] inline std::uint8_t* byte_address(void* p) { return static_cast<std::uint8_t*>(p); }

// Nulls the reference slots [from, to): usually none to three, so plain
// stores (the interpreter is compiled so that such loops do not become
// calls to memset, which would cost more than the stores themselves).
[[gnu::always_inline]] inline void clear_reference_slots(word_t* from, word_t* to) {
    for (; from < to; ++from) *from = 0;
}

[[gnu::always_inline]] inline void copy_words(word_t* to, const word_t* from, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) to[i] = from[i];
}

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

// The caller's position saved in `older` when a call left it for a newer
// block: whether the thread had a frame then, its frame record, its
// reference window and its outgoing areas.
[[gnu::always_inline]] inline bool has_saved_caller(const StackBlock* older) {
    return older != nullptr && older->savedFrame != 0;
}
[[gnu::always_inline]] inline FrameRecord* saved_caller(StackBlock* older) {
    return reinterpret_cast<FrameRecord*>(older->bytes() + older->savedFrame);
}
[[gnu::always_inline]] inline word_t* saved_ref_window(StackBlock* older) {
    return reinterpret_cast<word_t*>(older->bytes() + older->savedRefWindow);
}
[[gnu::always_inline]] inline word_t* saved_ref_args(StackBlock* older) {
    return reinterpret_cast<word_t*>(older->bytes() + 4u * older->savedRefArgs);
}
[[gnu::always_inline]] inline std::int32_t* saved_prim_top(StackBlock* older) {
    return reinterpret_cast<std::int32_t*>(older->bytes() + 4u * older->savedPrimTop);
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

// The slot of the caller's block that stands for `slot` of an activation
// that opened `block`: its reference area began at the block's first slot
// and, in the caller's block, at `refArgs`.
[[gnu::always_inline]] inline word_t* slot_in_older_block(StackBlock* block, word_t* refArgs, word_t* slot) {
    return reinterpret_cast<word_t*>(byte_address(refArgs) + (byte_address(slot) - byte_address(block->firstRef())));
}

// Writes the frame record at `frame`.
[[gnu::always_inline]] inline void write_frame_record(FrameRecord* frame, std::uint16_t flags,
                                                      std::int16_t callerRefDelta, word_t returnPc, word_t method,
                                                      word_t context) {
    frame->flags = flags;
    frame->callerRefDelta = callerRefDelta;
    frame->returnPc = returnPc;
    frame->method = method;
    frame->featureContext = context;
    frame->savedContext = 0;
}

// Makes `frame`, with reference window `refWindow`, the thread's running
// activation at `pc`.
[[gnu::always_inline]] inline void resume_activation(VMThread* t, FrameRecord* frame, word_t* refWindow, word_t pc) {
    t->pc = pc;
    t->currentFrame = to_word(frame);
    t->refWindow = to_word(refWindow);
}

// Writes the frame record at `frame` and makes that activation the
// thread's running one.
[[gnu::always_inline]] inline void begin_activation(VMThread* t, FrameRecord* frame, std::uint16_t flags,
                                                    std::int16_t callerRefDelta, word_t returnPc, word_t method,
                                                    word_t context, word_t* refWindow, word_t pc) {
    write_frame_record(frame, flags, callerRefDelta, returnPc, method, context);
    resume_activation(t, frame, refWindow, pc);
}

// The frame flags and reference delta of an activation at `frame` (window
// base `refWindow`) made in the caller's block.
[[gnu::always_inline]] inline std::uint16_t caller_distance_flags(FrameRecord* caller, std::uint8_t* frame) {
    return static_cast<std::uint16_t>((byte_address(caller) - frame) & kFrameCallerDistanceMask);
}
[[gnu::always_inline]] inline std::int16_t caller_ref_delta(word_t callerRefWindow, word_t* refWindow) {
    return static_cast<std::int16_t>(to_ptr<std::uint8_t>(callerRefWindow) - byte_address(refWindow));
}

// The caller of an activation made in the caller's block, and its window.
[[gnu::always_inline]] inline FrameRecord* caller_in_block(FrameRecord* frame) {
    return reinterpret_cast<FrameRecord*>(byte_address(frame) + (frame->flags & kFrameCallerDistanceMask));
}
[[gnu::always_inline]] inline word_t* caller_ref_window(FrameRecord* frame, word_t refWindow) {
    return reinterpret_cast<word_t*>(to_ptr<std::uint8_t>(refWindow) + frame->callerRefDelta);
}

// The counts of a method's header that its resumption needs: the
// reference registers below and above its base, and the primitive
// registers below its frame record.
struct ResumeShape {
    std::uint32_t refBase;
    std::uint32_t refsAbove;
    std::uint32_t primBelow;
};

template <bool kCompact>
[[gnu::always_inline]] inline ResumeShape resume_shape_as(const std::uint8_t* header) {
    using Form = image::HeaderForm<kCompact>;
    return {Form::ref_base(header), Form::refs_above(header), Form::prim_below(header)};
}

[[gnu::always_inline]] inline ResumeShape resume_shape(word_t method) {
    const std::uint8_t* header = image::method_header_bytes(to_ptr<const void>(method));
    if (!image::is_compact_header(header)) return resume_shape_as<false>(header);
    return resume_shape_as<true>(header);
}

// The receiver of the method resumed with reference window `callerRef`
// (`refBase` registers below its base), when it has one.
[[gnu::always_inline]] inline void restore_receiver(VMThread* t, std::uint32_t refBase, word_t* callerRef) {
    if (refBase > 0) t->thisObject = callerRef[-static_cast<std::int32_t>(refBase)];
}

}  // namespace tarvelo
