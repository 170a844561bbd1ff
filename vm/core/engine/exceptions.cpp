// Exceptions: the search for a handler through the thread's frames, making
// the handler current, and the engine's own print of an exception that no
// frame handles.
#include <cstring>

#include "vm/core/engine/engine.h"
#include "vm/core/engine/application_token.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/feature_context.h"
#include "vm/core/image/image_directory.h"
#include "vm/model/image_format.h"
#include "vm/model/type_record.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/threads/java_stack.h"
#include "vm/core/engine/monitoring_hooks.h"
#include "vm/core/engine/object_access.h"
#include "vm/core/lifecycle/link_config.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/runtime_support/system_out.h"
#include "vm/core/lifecycle/shared_buffer.h"
#include "vm/model/type_tests.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/model/class_name_resolver.h"
#include "vm/memory/memory_layout.h"

namespace tarvelo {

namespace {

using image::MethodHeader;

// --- Handler search ----------------------------------------------------------------------------

// The caller of frame `f`: in the older block, at the position saved there,
// when `f` opened a new block; else at the distance its flags give. A null
// frame when there is none.
FrameView caller_of(const FrameView& f, std::uint16_t flags) {
    if ((flags & kFrameNewBlock) != 0) {
        StackBlock* older = f.block->link.get();
        if (older == nullptr || older->savedFrame == 0) return {};
        return {reinterpret_cast<FrameRecord*>(older->bytes() + older->savedFrame),
                reinterpret_cast<word_t*>(older->bytes() + older->savedRefWindow), f.frame->returnPc, older};
    }
    const std::uint32_t distance = flags & kFrameCallerDistanceMask;
    if (distance == 0) return {};
    return {reinterpret_cast<FrameRecord*>(reinterpret_cast<std::uint8_t*>(f.frame) + distance),
            reinterpret_cast<word_t*>(reinterpret_cast<std::uint8_t*>(f.refWindow) + f.frame->callerRefDelta),
            f.frame->returnPc, f.block};
}

class HandlerSearch final : public FrameVisitor {
public:
    HandlerSearch(VMThread* t, word_t exceptionType) : t_(t), type_(exceptionType) {}

    bool visitFrame(const FrameView& f) override {
        const word_t context = first_ ? t_->ownerFeature : f.frame->savedContext;
        // The innermost frame of a stopped application has no handler even
        // after the thread left its context to raise the exception.
        const bool deadFrame = first_ && !feature_is_started(f.frame->featureContext);
        if (!deadFrame && (context == 0 || feature_is_started(context))) {
            const word_t method = f.frame->method;
            const MethodHeader h = method_header(method);
            for (std::uint32_t i = 0; i < h.handler_count; ++i) {
                const image::HandlerEntry e = image::handler_entry(to_ptr<const void>(method), i);
                if (!(e.start_pc < f.pc && f.pc <= e.end_pc)) continue;
                if (e.catch_type != 0 && e.catch_type != type_ && !catches(e.catch_type)) continue;
                // A handler does not catch what its own code threw.
                if (first_ && e.start_pc <= e.handler_pc && e.handler_pc < e.end_pc && e.handler_pc < f.pc) continue;
                found.at = f;
                found.handlerPc = e.handler_pc;
                return false;
            }
        }
        first_ = false;
        return true;
    }

    bool visitFlags(const FrameView& f, std::uint16_t flags) override {
        if ((flags & kFrameProxyCall) != 0) {
            // The proxy's caller gets the result code 5 instead of the exception.
            found.at = caller_of(f, flags);
            found.handlerPc = f.frame->returnPc;
            found.proxyReturn = found.at.frame != nullptr;
            return false;
        }
        return (flags & (kFrameFirst | kFrameWrapper)) == 0;
    }

    TulvarVMEngine::HandlerFound found{};

private:
    // Whether a handler whose catch type is `catchType` (not 0 and not the
    // exception's own type) catches the exception. An installed
    // application's handler table is a record, not code: a catch type that
    // is no type header of the kernel or of an installed application
    // catches nothing rather than being read as one.
    bool catches(word_t catchType) const {
        const FeatureImageDirectory* directory = image_directory();
        if (directory != nullptr && directory->isValidTypeReference(catchType, false, false) == 0) return false;
        return VMJProcessor::isAssignable(type_, catchType) != 0;
    }

    VMThread* t_;
    word_t type_;
    bool first_ = true;
};

// The message of `exception` as NUL-terminated bytes in the scratch buffer.
const char* message_bytes(word_t exception) {
    SharedBuffer* buffer = shared_buffer();
    if (buffer == nullptr || buffer->length == 0) return "";
    buffer->bytes[0] = 0;
    word_t message = java::throwable_message(exception);
    if (message == 0) return reinterpret_cast<const char*>(buffer->bytes);
    std::int32_t count = 0;
    const char16_t* data = java::string_chars(message, &count);
    if (data == nullptr) return reinterpret_cast<const char*>(buffer->bytes);
    std::uint32_t n = static_cast<std::uint32_t>(count);
    if (n > buffer->length - 1) n = buffer->length - 1;
    for (std::uint32_t i = 0; i < n; ++i) buffer->bytes[i] = static_cast<std::uint8_t>(data[i]);
    buffer->bytes[n] = 0;
    return reinterpret_cast<const char*>(buffer->bytes);
}

}  // namespace

TulvarVMEngine::HandlerFound TulvarVMEngine::dispatchException(VMThread* t, word_t exception) {
    HandlerSearch search(t, object_type(exception));
    visitFrames(t, search);
    if (trace_started()) {
        FrameRecord* f = t->frame();
        const HandlerFound& h = search.found;
        OSTV_MONITOR_on_exception(object_type(exception), f != nullptr ? f->method : 0, t->pc,
                                  h.at.frame != nullptr ? h.at.frame->method : 0, h.handlerPc,
                                  message_bytes(exception));
    }
    return search.found;
}

void TulvarVMEngine::throwPendingException(VMThread* t) {
    for (int nested = 0; nested < 4; ++nested) {
        const word_t e = t->pendingException;
        if (e == 0) return;
        const HandlerFound h = dispatchException(t, e);
        FrameRecord* start = t->frame();
        if (h.at.frame == nullptr) {
            const bool silent = object_type(e) == types::dead_feature() ||
                                (t->ownerFeature != 0 && !feature_is_started(t->ownerFeature));
            if (!silent) printUncaughtException(t, e, -1);
            t->pendingException = 0;
            clearFrame(t);
            const word_t wrapper = prelude_member(PreludeMember::_java_Mjava_lang_Thread__callWrapper);
            t->pc = wrapper != 0 ? wrapper + method_header(wrapper).code_offset() : 0;
            return;
        }
        // An exception stopped at a proxy is printed for the kernel's log
        // before the proxy's caller goes on.
        if (h.proxyReturn && link_config::dump_kernel_uncaught_exception() == 2) printUncaughtException(t, e, -1);
        t->refWindow = to_word(h.at.refWindow);
        t->currentFrame = to_word(h.at.frame);
        t->pc = h.handlerPc;
        t->currentBlock.set(h.at.block);
        const MethodHeader mh = method_header(h.at.frame->method);
        if (h.proxyReturn) {
            h.at.frame->prim()[5] = 5;
        } else if (mh.refs_above > 0) {
            h.at.refWindow[0] = e;
            for (std::uint32_t i = 1; i < mh.refs_above; ++i) h.at.refWindow[i] = 0;
        }
        t->pendingException = 0;
        t->thisObject = mh.ref_base > 0 ? h.at.refWindow[-static_cast<std::int32_t>(mh.ref_base)] : 0;
        if (h.at.frame == start) return;
        const word_t context = h.at.frame->savedContext;
        if (context == 0 || feature_is_started(context)) {
            t->ownerFeature = context;
            return;
        }
        // The handler's application is no longer started: the exception of
        // that is raised at the handler frame in turn.
        throw_dead_feature(t);
    }
}

// --- Printing -----------------------------------------------------------------------------------

namespace {

namespace out {
void print(char c) { rt::SystemOut::printAsciiCharacter(static_cast<std::uint8_t>(c)); }
void print(const char* text) { rt::SystemOut::print(text); }
void printHex(std::uint32_t value) {
    rt::SystemOut::print("0x");
    rt::SystemOut::printAddress(value);
}
void println() { rt::SystemOut::println(); }
// At most `max` chars of a String (each char's low 8 bits); -1: all. A
// String whose count does not fit its array prints nothing.
void printString(word_t string, std::int32_t max) {
    std::int32_t count = 0;
    const char16_t* data = java::string_chars(string, &count);
    if (data == nullptr) return;
    if (max >= 0 && count > max) count = max;
    for (std::int32_t i = 0; i < count; ++i) rt::SystemOut::printAsciiCharacter(data[i]);
}
}  // namespace out

constexpr std::int32_t kMaxThreadNameChars = 128;
constexpr int kMaxPackageDepth = 32;

void print_bytes(std::uint32_t pointer, std::uint32_t length) {
    const auto* p = to_ptr<const char>(pointer);
    for (std::uint32_t i = 0; i < length; ++i) out::print(p[i]);
}

// The "@F:...@" token of an application's type; nothing for the kernel's.
void print_application_token(word_t type) {
    char token[kApplicationTokenMax];
    const std::int32_t n = applicationToken(type, token, true);
    for (std::int32_t i = 0; i < n; ++i) out::print(token[i]);
}

void print_type_name(word_t type) {
    const word_t record = type != 0 ? image::type_name_record(to_ptr<const void>(type)) : 0;
    if (record == 0) {
        print_application_token(type);
        out::print("@C:");
        out::printHex(type);
        out::print('@');
        return;
    }
    // An array type's record names its dimensions and element instead of
    // a package and a name: "[" per dimension, then the element's name.
    const word_t first = image::record_word(to_ptr<const void>(record), 0);
    if (first != 0 && *to_ptr<const char>(first) == '[') {
        const PrintSink sink{[](void*, int c) { out::print(static_cast<char>(c)); }, nullptr};
        ClassNameResolver::printName(sink, record, '/');
        return;
    }
    word_t packages[kMaxPackageDepth];
    int depth = 0;
    for (word_t p = image::record_word(to_ptr<const void>(record), 2); p != 0 && depth < kMaxPackageDepth;
         p = image::record_word(to_ptr<const void>(p), 2)) {
        packages[depth++] = p;
    }
    while (depth > 0) {
        const void* p = to_ptr<const void>(packages[--depth]);
        print_bytes(image::record_word(p, 0), image::record_word(p, 1));
        out::print('/');
    }
    const void* r = to_ptr<const void>(record);
    print_bytes(image::record_word(r, 0), image::record_word(r, 1));
}

void print_frame(word_t pc, word_t method) {
    out::print("    at ");
    TulvarVMEngine::printMethodReference(method);
    out::print(':');
    out::printHex(pc);
    out::print('@');
    out::println();
}

}  // namespace

void TulvarVMEngine::printTypeName(word_t type) { print_type_name(type); }

void TulvarVMEngine::printMethodReference(word_t method) {
    word_t klass = method != 0 ? image::read_u32(to_ptr<const void>(method)) : 0;
    // The install check knows the class words of the methods the tables of
    // an application name, not of those only its code calls: any other
    // word prints as an address.
    const FeatureImageDirectory* directory = image_directory();
    if (klass != 0 && directory != nullptr && directory->isValidTypeReference(klass, false, false) == 0) klass = 0;
    if (klass == 0) {
        out::print("@A:");
        out::printHex(method);
        return;
    }
    print_type_name(klass);
    out::print('.');
    print_application_token(klass);
    out::print("@M:");
    out::printHex(method);
}

namespace {

// Appends to a char array without passing its capacity.
struct CharWriter {
    std::uint16_t* chars;
    std::int32_t capacity;
    std::int32_t written = 0;
    void put(char c) {
        if (written < capacity) chars[written++] = static_cast<std::uint8_t>(c);
    }
    void put(const char* text) {
        while (*text != '\0') put(*text++);
    }
    // "0x" and eight hexadecimal digits, as the console prints addresses.
    void putHex(std::uint32_t value) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        put("0x");
        for (int shift = 28; shift >= 0; shift -= 4) put(kHex[(value >> shift) & 0xF]);
    }
};

}  // namespace

std::int32_t TulvarVMEngine::stackLineText(word_t method, word_t pc, std::uint16_t* chars, std::int32_t capacity,
                                           bool classWordReadable) {
    if (chars == nullptr || capacity < 0) return 0;
    CharWriter w{chars, capacity};
    const word_t klass = method != 0 && classWordReadable ? image::read_u32(to_ptr<const void>(method)) : 0;
    char token[kApplicationTokenMax];
    const std::int32_t n = applicationToken(klass, token, true);
    for (std::int32_t i = 0; i < n; ++i) w.put(token[i]);
    w.put(klass != 0 ? "@M:" : "@A:");
    w.putHex(method);
    w.put(':');
    w.putHex(pc);
    w.put('@');
    return w.written;
}

void TulvarVMEngine::throwMissingNative(VMThread* t, word_t method) {
    struct Text {
        char chars[200];
        std::size_t length = 0;
        void put(char c) {
            if (length + 1 < sizeof chars) chars[length++] = c;
        }
        void put(const char* text) {
            while (*text != '\0') put(*text++);
        }
    } text;
    text.put("native function missing: ");
    // "pkg/Class.@M:0x...@", which the symboliser turns into the method's
    // full name.
    const word_t klass = method != 0 ? image::read_u32(to_ptr<const void>(method)) : 0;
    const word_t record = klass != 0 ? image::type_name_record(to_ptr<const void>(klass)) : 0;
    if (record != 0) {
        const PrintSink sink{[](void* ctx, int c) { static_cast<Text*>(ctx)->put(static_cast<char>(c)); }, &text};
        ClassNameResolver::printName(sink, record, '/');
        text.put('.');
    }
    text.put(klass != 0 ? "@M:" : "@A:");
    static constexpr char kHex[] = "0123456789ABCDEF";
    text.put("0x");
    for (int shift = 28; shift >= 0; shift -= 4) text.put(kHex[(method >> shift) & 0xF]);
    text.put('@');
    text.chars[text.length] = '\0';
    ExecutionContext::throwNew(t, types::internal_limits(), text.chars);
}

void TulvarVMEngine::printUncaughtException(VMThread* t, word_t exception, std::int32_t maxFrames) {
    out::print("Exception in thread \"");
    const word_t name = t->javaThread != 0 ? java::thread_name(t->javaThread) : 0;
    if (name != 0) {
        out::printString(name, kMaxThreadNameChars);
    } else {
        rt::SystemOut::printLong(t->threadId);
    }
    out::print("\" ");
    print_type_name(object_type(exception));
    const word_t message = java::throwable_message(exception);
    if (message != 0) {
        out::print(": ");
        out::printString(message, -1);
    }
    out::println();

    const word_t ints = java::throwable_stack_trace(exception);
    if (ints != 0 && object_type(ints) == types::int_array()) {
        const std::int32_t length = java::array_length(ints);
        const auto* data = java::array_data<std::int32_t>(ints);
        std::int64_t n = length > 0 ? data[0] : 0;
        const std::int64_t capacity = length > 0 ? (length - 1) / 2 : 0;
        if (n > capacity) n = capacity;
        if (maxFrames >= 0 && n > maxFrames) n = maxFrames;
        for (std::int64_t i = 0; i < n; ++i)
            print_frame(static_cast<word_t>(data[1 + 2 * i]), static_cast<word_t>(data[2 + 2 * i]));
    } else if (exception == memoryLayout().outOfMemoryError) {
        const MemoryLayout& layout = memoryLayout();
        const auto* record = to_ptr<const std::uint32_t>(layout.oomeFramesStart);
        const std::uint32_t bytes = layout.oomeFramesEnd - layout.oomeFramesStart;
        std::int64_t n = bytes >= 4 ? record[0] : 0;
        const std::int64_t capacity = bytes >= 4 ? (bytes - 4) / 8 : 0;
        if (n > capacity) n = capacity;
        if (maxFrames >= 0 && n > maxFrames) n = maxFrames;
        for (std::int64_t i = 0; i < n; ++i) print_frame(record[1 + 2 * i], record[2 + 2 * i]);
    }
}

}  // namespace tarvelo
