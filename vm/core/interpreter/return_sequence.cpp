// The return sequence of the return opcodes: pop the current activation,
// make its caller current, and clear the reference slots the returned
// frame leaves behind so that the collector never sees a dead reference.
#include <cstring>

#include "vm/core/engine/engine.h"
#include "vm/core/engine/feature_context.h"
#include "vm/core/engine/frame_record.h"
#include "vm/core/interpreter/interpreter.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/threads/vm_thread.h"

namespace tarvelo {

bool LLOSTV_return_method(VMThread* t, word_t* lowest) {
    FrameRecord* frame = t->frame();
    word_t* refWindow = to_ptr<word_t>(t->refWindow);
    const image::MethodHeader h = method_header(frame->method);

    if ((frame->flags & kFrameNewBlock) != 0) {
        const auto distance = static_cast<std::uint32_t>(reinterpret_cast<std::uint8_t*>(refWindow) -
                                                         reinterpret_cast<std::uint8_t*>(lowest));
        lowest = TulvarVMEngine::returnAcrossBlock(t, distance);
        if (lowest == nullptr) {
            // The thread's first activation returned: it ends at the
            // thread-bottom instruction of the call wrapper.
            const word_t wrapper = prelude_member(PreludeMember::_java_Mjava_lang_Thread__callWrapper);
            t->pc = wrapper != 0 ? wrapper + method_header(wrapper).code_offset() : 0;
            return true;
        }
    } else {
        t->pc = frame->returnPc;
        t->currentFrame = to_word(reinterpret_cast<std::uint8_t*>(frame) + (frame->flags & kFrameCallerDistanceMask));
        t->refWindow = to_word(reinterpret_cast<std::uint8_t*>(refWindow) + frame->callerRefDelta);
    }

    FrameRecord* caller = t->frame();
    word_t* callerRef = to_ptr<word_t>(t->refWindow);
    const image::MethodHeader ch = method_header(caller->method);
    if (ch.ref_base > 0) t->thisObject = callerRef[-static_cast<std::int32_t>(ch.ref_base)];

    const word_t context = caller->savedContext;
    if (context != 0 && !feature_is_started(context)) {
        throw_dead_feature(t);
        return false;
    }
    t->ownerFeature = context;
    std::int32_t refused = 0;
    if (context != 0 && h.returns_ref) {
        // A reference handed back into an application's frame must be one
        // that application may see; a refused one does not stay in the
        // result slot either.
        refused = FeatureIsolation::checkFieldStoreOwner(t, lowest[-1]);
        if (refused != 0) lowest[-1] = 0;
    }

    for (word_t* top = callerRef + ch.refs_above; lowest < top; ++lowest) *lowest = 0;
    if (refused != 0) FeatureIsolation::raiseKernelAccessError(t, kIsolationReturn, refused);
    return true;
}

}  // namespace tarvelo
