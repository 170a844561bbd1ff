// The block of one thread in the state dump, and the text of the objects
// it shows.
#include <cstring>

#include "vm/core/engine/engine.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/engine/native_interface.h"
#include "vm/core/engine/native_resources.h"
#include "vm/core/engine/object_access.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/engine/vm_dumper.h"
#include "vm/core/engine/word_ptr.h"
#include "vm/core/port/os_port.h"
#include "vm/core/runtime_support/system_out.h"
#include "vm/core/threads/java_stack.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/threads/monitor_manager.h"
#include "vm/core/threads/schedule_context.h"
#include "vm/core/threads/thread_table.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/object_model.h"

namespace tarvelo {

namespace out = rt::SystemOut;

namespace {

constexpr std::int32_t kMaxChars = 128;
constexpr std::int64_t kMaxTimeout = 2147483647;

const char* state_name(std::uint8_t state) {
    switch (state) {
        case kThreadReady: return "READY";
        case kThreadRunning: return "RUNNING";
        case kThreadWaiting: return "WAITING";
        case kThreadMonitorQueued: return "MONITOR_QUEUED";
        case kThreadSuspended: return "SUSPENDED";
        case kThreadTerminated: return "TERMINATED";
        default: return "unknown";
    }
}

// At most `max` chars of a String; a String whose count does not fit its
// array prints nothing.
void print_string_chars(word_t string, std::int32_t max) {
    std::int32_t count = 0;
    const char16_t* data = java::string_chars(string, &count);
    if (data == nullptr) return;
    if (count > max) count = max;
    for (std::int32_t i = 0; i < count; ++i) out::printAsciiCharacter(data[i]);
}

bool is_reference_array(word_t type) {
    if (!typeIsArray(type)) return false;
    const std::uint32_t element = arrayElement(type);
    // Element codes below 0x100 name primitive kinds; anything else is the
    // element's type record.
    return element >= 0x100;
}

// Bytes in use of the watched block and the blocks below it at the fullest.
std::int64_t max_java_stack(VMThread* t, std::uint32_t blockSize) {
    const JavaStackMeter* meter = t->stackMeter.get();
    if (meter == nullptr || !meter->block) return -1;
    const std::int64_t blocks = static_cast<std::int64_t>(meter->block->index) + 1;
    return blocks * blockSize - meter->leastFree;
}

// The thread's owned bytes less the free space between its current windows:
// the current method's registers below its frame record are in use, as the
// invocation that made the frame counted them.
std::int64_t current_java_stack(VMThread* t, std::uint32_t blockSize) {
    std::int64_t owned = 0;
    for (StackBlock* b = t->topBlock.get(); b != nullptr; b = b->link.get()) owned += blockSize;
    if (t->currentFrame == 0 || t->refWindow == 0) return owned;
    const image::MethodHeader h = method_header(t->frame()->method);
    const word_t refTop = t->refWindow + 4u * h.refs_above;
    const word_t primBottom = t->currentFrame - 4u * h.prim_below;
    const std::int64_t free = static_cast<std::int64_t>(primBottom) - refTop;
    return free > 0 ? owned - free : owned;
}

// Prints each frame with the objects its reference registers hold.
struct DumpFrameVisitor final : FrameVisitor {
    bool visitFrame(const FrameView& f) override {
        out::print("    at ");
        TulvarVMEngine::printMethodReference(f.frame->method);
        out::sendCharacter(':');
        VMDumper::printHex(f.pc);
        out::print("@\n");
        const image::MethodHeader h = method_header(f.frame->method);
        const std::int32_t from = -static_cast<std::int32_t>(h.ref_base);
        const auto to = static_cast<std::int32_t>(h.refs_above);
        bool header = false;
        for (std::int32_t i = from; i < to; ++i) {
            const word_t object = f.refWindow[i];
            if (object == 0) continue;
            if (!header) {
                out::print("        Object References:\n");
                header = true;
            }
            out::print("            - ");
            ThreadDumper::printObject(object, true);
            out::println();
        }
        return true;
    }
};

}  // namespace

void ThreadDumper::printObject(word_t object, bool detailed) {
    if (object == 0) {
        out::print("null");
        return;
    }
    const word_t type = object_type(object);
    TulvarVMEngine::printTypeName(type);
    const bool array = typeIsArray(type);
    if (array) {
        out::sendCharacter('[');
        out::printInt(arrayLength(object));
        out::sendCharacter(']');
    }
    out::sendCharacter('@');
    VMDumper::printHex(object);
    if (type == types::string()) {
        out::print(" \"");
        print_string_chars(object, kMaxChars);
        out::sendCharacter('"');
    } else if (detailed && array && is_reference_array(type)) {
        const std::int32_t n = arrayLength(object);
        const auto* elements = to_ptr<const word_t>(object + memory::kArrayDataOffset);
        for (std::int32_t i = 0; i < n; ++i) {
            out::print("\n\t[");
            out::printInt(i);
            out::print("] ");
            printObject(elements[i]);
        }
    }
}

void ThreadDumper::printDescription(word_t description, std::uint32_t resource) {
    NativeResourceCleaner* cleaner = native_resource_cleaner();
    if (description == 0 || cleaner == nullptr || cleaner->dumpBuffer == 0) {
        out::print("<no description>");
        return;
    }
    auto* buffer = to_ptr<char>(cleaner->dumpBuffer);
    const std::uint32_t size = cleaner->dumpBufferSize;
    std::memset(buffer, 0, size);
    word_function<void(void*, char*, std::uint32_t)>(description)(to_ptr<void>(resource), buffer, size);
    // A description that filled the whole buffer ends at its last byte.
    buffer[size - 1] = '\0';
    for (std::uint32_t i = 0; i < size && buffer[i] != '\0'; ++i) out::sendCharacter(static_cast<std::uint8_t>(buffer[i]));
}

void ThreadDumper::dumpThread(VMThread* t) const {
    const word_t thread = t->javaThread;
    KernelThreadScheduler* scheduler = kernel_scheduler();

    out::print("name=\"");
    const word_t name = thread != 0 ? java::thread_name(thread) : 0;
    if (name != 0) {
        print_string_chars(name, kMaxChars);
    } else {
        out::printLong(t->threadId);
    }
    out::sendCharacter('"');
    if (thread != 0) {
        out::print(" prio=");
        out::printInt(java::thread_priority(thread));
    }

    out::print(" state=");
    std::uint8_t state = t->state;
    if (state == kThreadReady && scheduler != nullptr && scheduler->currentThread() == t) state = kThreadRunning;
    out::print(state_name(state));
    if (state == kThreadWaiting) {
        const std::int64_t wakeup = t->wakeupTime.load();
        if (wakeup == 0 || wakeup == -1) {
            out::print(" timeout(ms)=INF");
        } else {
            const std::int64_t left = wakeup - LLOSTV_IMPL_getCurrentTime__Z(1);
            if (left > 0) {
                out::print(" timeout(ms)=");
                out::printLong(left < kMaxTimeout ? left : kMaxTimeout);
            }
        }
    }
    if (JavaStackAllocator* alloc = java_stack_allocator(); alloc != nullptr && t->stackMeter) {
        out::print(" max_java_stack=");
        out::printLong(max_java_stack(t, alloc->blockSize));
        out::print(" current_java_stack=");
        out::printLong(current_java_stack(t, alloc->blockSize));
    }
    out::println();

    if (scheduleContexts && t->scheduleContext != 0) {
        const ScheduleContextFields* c = context_fields(t->scheduleContext);
        out::print("Schedule context: id=");
        out::printInt(c->contextId);
        out::print(" quota=");
        if (c->quota == kUnlimitedQuota) {
            out::print("DISABLED");
        } else {
            out::printInt(c->quota);
            out::print(" remaining=");
            out::printInt(c->remaining);
        }
        out::print(" total_consumed=");
        out::printLong(static_cast<std::int64_t>(consumed_total(c)));
        out::println();
    }

    if (t->state == kThreadMonitorQueued && t->heldMonitorCount >= 0 &&
        static_cast<std::uint32_t>(t->heldMonitorCount) < counted_length(t->monitorObjects)) {
        const word_t object = counted_words(t->monitorObjects)[t->heldMonitorCount];
        out::print("Locked on: ");
        printObject(object);
        const std::uint32_t owner = object != 0 ? KernelMonitorManager::ownerOf(object) : 0;
        ThreadTable* table = thread_table();
        if (VMThread* holder = owner != 0 && table != nullptr ? table->at(owner - 1) : nullptr) {
            out::print(" (owned by thread[");
            out::printLong(holder->threadId);
            out::print("])");
        }
        out::println();
    }

    if ((t->flags & kFlagNativeExceptionMask) != 0) {
        const PendingNativeException p = peek_pending_native_exception();
        out::print("pending native exception: errorCode=");
        out::printInt(p.code);
        if (p.message != nullptr) {
            out::print(" message=\"");
            for (std::int32_t i = 0; i < 512 && p.message[i] != '\0'; ++i)
                out::sendCharacter(static_cast<std::uint8_t>(p.message[i]));
            out::sendCharacter('"');
        }
        out::println();
    }
    if ((t->flags & kFlagScopedResource) != 0) {
        out::print("scoped native resource: id=");
        VMDumper::printHex(t->scopedResource);
        out::print(" close=");
        VMDumper::printHex(t->scopedClose);
        out::print(" description=");
        printDescription(t->scopedDescription, t->scopedResource);
        out::println();
    }
    const std::uint32_t resume = t->resumeState.load();
    if (resume == kResumePending || resume == kSuspendedByNative) {
        out::print("external event: status=");
        out::print(resume == kResumePending ? "received" : "waiting");
        out::println();
    }

    out::println();
    if (thread != 0) {
        printObject(thread);
        out::print(":\n");
    }
    if (t->nativeFunction != 0) {
        out::print("    at (native) [");
        VMDumper::printHex(t->nativeFunction);
        out::print("]\n");
    }
    if (t->currentFrame != 0) {
        DumpFrameVisitor frames;
        TulvarVMEngine::visitFrames(t, frames);
    }
}

}  // namespace tarvelo
