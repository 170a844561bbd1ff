// Invocation and return through the engine: the activations the dispatch
// loop's inline path leaves to it (a stack block still to be taken, a first
// frame, a change of application context, a return into an application's
// frame or out of a thread's first one) and the calls the virtual
// machine's own code makes. An invocation has three concerns, each a step
// below: room on the stack, the application context with its isolation
// checks (the rule on calls made holding kernel monitors among them, first
// of all), and the frame itself. The frames are laid out and undone by the
// routines the inline path uses too (activation.h).
#include <cstdint>
#include <cstdio>

#include "vm/core/engine/activation.h"
#include "vm/core/engine/engine.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/feature_context.h"
#include "vm/core/engine/frame_record.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/model/image_format.h"
#include "vm/model/type_record.h"
#include "vm/core/lifecycle/feature_rules_check.h"
#include "vm/core/threads/java_stack.h"
#include "vm/core/threads/vm_thread.h"

namespace tarvelo {

namespace {

using image::MethodHeader;

// Where a new activation goes: its reference area and primitive top, in
// `block`; `newBlock` when the call left the caller's block for it.
struct Placement {
    std::uint8_t* ref;
    std::uint8_t* top;
    StackBlock* block;
    bool newBlock;
};

// Room on the stack: the activation stays in the current block when it
// fits, else it moves to the next block, the one the thread owns already
// or a new one, with the caller's position saved and the arguments moved.
// false with StackOverflowError pending when no block can be had.
bool place_activation(VMThread* t, const MethodHeader& h, FrameRecord* caller, word_t* refArgs,
                      std::int32_t* primTop, Placement* at) {
    *at = {byte_address(refArgs), byte_address(primTop), t->currentBlock.get(), false};
    if (at->top - h.prim_bytes() >= at->ref + h.ref_bytes()) return true;
    const std::uint32_t needed = h.ref_bytes() + h.prim_bytes();
    StackBlock* next = needed <= at->block->capacity() ? owned_block_above(t->topBlock.get(), at->block) : nullptr;
    if (next == nullptr) {
        const std::int32_t result = java_stack_allocator()->allocStackBlock(t, needed);
        if (result != kStackBlockTaken) {
            TulvarVMEngine::raiseStackOverflow(t, result);
            return false;
        }
        next = t->topBlock.get();
    }
    enter_next_block(at->block, next, caller, t->refWindow, at->ref, at->top, h.ref_args, h.prim_words());
    *at = {byte_address(next->firstRef()), next->end(), next, true};
    return true;
}

// The callee's application context when it may differ from the caller's,
// or false with the exception that forbids the call pending.
bool callee_context(VMThread* t, bool hadFrame, word_t* context) {
    const word_t current = t->ownerFeature;
    *context = current;
    if (!hadFrame) {
        *context = object_owner_feature(t->javaThread);
        return true;
    }
    const word_t owner = object_owner_feature(t->thisObject);
    if (owner == 0 || owner == current) return true;
    if (current == 0) {
        *context = owner;
        return true;
    }
    ExecutionContext::throwNew(t, types::illegal_access_error());
    return false;
}

// The rule on calls into an installed application's code made while the
// thread holds monitors of kernel objects: true when the call may go on
// (allowed, or reported with the error printed and dropped), false with
// "KF:E=M5" raised and unwound.
bool kernel_monitor_call_passes(VMThread* t, word_t method) {
    const word_t type = image::read_u32(to_ptr<const void>(method));
    if (type == 0 || image::read_u32(to_ptr<const char>(type) + image::kTypeOwnerOffset) == 0) return true;
    FeatureIsolation::throwKernelAccessError(t, kIsolationMonitor, 5);
    if (kernel_monitor_call_rule() == KernelMonitorCallRule::kRefused) {
        TulvarVMEngine::throwPendingException(t);
        return false;
    }
    const word_t error = t->pendingException;
    t->pendingException = 0;
    if (error != 0) TulvarVMEngine::printUncaughtException(t, error, 1);
    return true;
}

// The application context the callee runs in: the caller's, unless the
// receiver belongs to another application or the thread starts its first
// frame. That application must be started, and kernel code calling into it
// hands it only its own objects and the kernel's (`refs`, the kept
// reference arguments). false with the exception raised and unwound.
bool enter_context(VMThread* t, const MethodHeader& h, bool hadFrame, const word_t* refs, word_t* context) {
    *context = t->ownerFeature;
    if (h.keep_context ||
        (hadFrame && (t->thisObject == 0 || object_owner_feature(t->thisObject) == *context)))
        return true;
    if (!callee_context(t, hadFrame, context)) {
        TulvarVMEngine::throwPendingException(t);
        return false;
    }
    if (*context != 0 && !feature_is_started(*context)) {
        throw_dead_feature(t);
        TulvarVMEngine::throwPendingException(t);
        return false;
    }
    if (t->ownerFeature == 0 && *context != 0 && hadFrame) {
        for (std::uint32_t i = 0; i < h.ref_args; ++i) {
            if (const std::int32_t code = FeatureIsolation::checkArgumentOwner(*context, refs[i]); code != 0) {
                FeatureIsolation::raiseKernelAccessError(t, kIsolationParameter, code);
                return false;
            }
        }
    }
    return true;
}

// The frame: the stack meter, the frame record at the top of the placed
// activation and the thread's running activation, in `context`.
void begin_frame(VMThread* t, word_t method, const MethodHeader& h, FrameRecord* caller, const Placement& at,
                 word_t context) {
    std::uint8_t* const frameBytes = at.top - 4u * h.frame_words;
    auto* const refWindow = reinterpret_cast<word_t*>(at.ref) + h.ref_base;
    meter_activation(t->stackMeter.get(), at.block,
                     static_cast<std::int32_t>((at.top - h.prim_bytes()) - (at.ref + h.ref_bytes())));
    std::uint16_t flags = kFrameNewBlock;
    std::int16_t callerRefDelta = 0;
    if (caller == nullptr) {
        flags = kFrameNewBlock | kFrameFirst;
    } else if (!at.newBlock) {
        flags = caller_distance_flags(caller, frameBytes);
        callerRefDelta = caller_ref_delta(t->refWindow, refWindow);
    }
    if (caller != nullptr) caller->savedContext = t->ownerFeature;
    begin_activation(t, reinterpret_cast<FrameRecord*>(frameBytes), flags, callerRefDelta, t->pc, method, context,
                     refWindow, method + h.code_offset());
    t->ownerFeature = context;
    if (at.newBlock) t->currentBlock.set(at.block);
}

}  // namespace

void TulvarVMEngine::raiseStackOverflow(VMThread* t, std::int32_t code) {
    char text[12];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(code));
    ExecutionContext::throwNew(t, types::stack_overflow(), text);
}

bool TulvarVMEngine::invokeMethod(VMThread* t, word_t method, word_t* refArgs, std::int32_t* primTop) {
    // First, before anything is read from the frame: reporting the error
    // allocates, and the arguments lie in the caller's registers, which the
    // collector updates.
    if (t->kernelMonitorDepth != 0 && kernel_monitor_calls_checked && !kernel_monitor_call_passes(t, method))
        return false;
    const MethodHeader h = method_header(method);
    FrameRecord* const caller = t->frame();
    Placement at;
    if (!place_activation(t, h, caller, refArgs, primTop, &at)) {
        throwPendingException(t);
        return false;
    }
    // The method's own reference registers start out null.
    auto* const refs = reinterpret_cast<word_t*>(at.ref);
    clear_reference_slots(refs + h.ref_args, refs + h.ref_base + h.refs_above);
    word_t context = 0;
    if (!enter_context(t, h, caller != nullptr, refs, &context)) return false;
    begin_frame(t, method, h, caller, at, context);
    return true;
}

word_t* TulvarVMEngine::returnAcrossBlock(VMThread* t, std::uint32_t distance) {
    FrameRecord* frame = t->frame();
    StackBlock* block = t->currentBlock.get();
    StackBlock* older = block->link.get();
    t->pc = frame->returnPc;
    if (!has_saved_caller(older)) {
        // The thread's first activation returned: no frame is left.
        if (older != nullptr) t->currentBlock.set(older);
        t->currentFrame = 0;
        t->refWindow = 0;
        return nullptr;
    }
    FrameRecord* caller = saved_caller(older);
    const MethodHeader h = method_header(frame->method);
    word_t* const refArgs = saved_ref_args(older);
    return_result_across(h.returns_ref, h.prim_words(), block, refArgs, saved_prim_top(older),
                         caller->prim() - resume_shape(caller->method).primBelow);
    word_t* const lowest = slot_in_older_block(
        block, refArgs, reinterpret_cast<word_t*>(to_ptr<std::uint8_t>(t->refWindow) - distance));
    t->currentBlock.set(older);
    resume_activation(t, caller, saved_ref_window(older), frame->returnPc);
    return lowest;
}

bool LLOSTV_return_method(VMThread* t, word_t* lowest) {
    FrameRecord* frame = t->frame();
    const bool returnsRef = method_header(frame->method).returns_ref;
    if ((frame->flags & kFrameNewBlock) != 0) {
        const auto distance = static_cast<std::uint32_t>(to_ptr<std::uint8_t>(t->refWindow) - byte_address(lowest));
        lowest = TulvarVMEngine::returnAcrossBlock(t, distance);
        if (lowest == nullptr) {
            // The thread's first activation returned: it ends at the
            // thread-bottom instruction of the call wrapper.
            const word_t wrapper = prelude_member(PreludeMember::_java_Mjava_lang_Thread__callWrapper);
            t->pc = wrapper != 0 ? wrapper + method_header(wrapper).code_offset() : 0;
            return true;
        }
    } else {
        resume_activation(t, caller_in_block(frame), caller_ref_window(frame, t->refWindow), frame->returnPc);
    }

    FrameRecord* caller = t->frame();
    word_t* callerRef = to_ptr<word_t>(t->refWindow);
    const ResumeShape cs = resume_shape(caller->method);
    restore_receiver(t, cs.refBase, callerRef);

    const word_t context = caller->savedContext;
    if (context != 0 && !feature_is_started(context)) {
        throw_dead_feature(t);
        return false;
    }
    t->ownerFeature = context;
    std::int32_t refused = 0;
    if (context != 0 && returnsRef) {
        // A reference handed back into an application's frame must be one
        // that application may see; a refused one does not stay in the
        // result slot either.
        refused = FeatureIsolation::checkFieldStoreOwner(t, lowest[-1]);
        if (refused != 0) lowest[-1] = 0;
    }
    clear_reference_slots(lowest, callerRef + cs.refsAbove);
    if (refused != 0) FeatureIsolation::raiseKernelAccessError(t, kIsolationReturn, refused);
    return true;
}

void TulvarVMEngine::nextWindows(VMThread* t, word_t** refArgs, std::int32_t** primTop) {
    FrameRecord* frame = t->frame();
    if (frame == nullptr) {
        StackBlock* block = t->currentBlock.get();
        *refArgs = block->firstRef();
        *primTop = reinterpret_cast<std::int32_t*>(block->end());
        return;
    }
    const MethodHeader h = method_header(frame->method);
    *refArgs = to_ptr<word_t>(t->refWindow) + h.refs_above;
    *primTop = frame->prim() - h.prim_below;
}

}  // namespace tarvelo
