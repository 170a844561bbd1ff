#include "vm/natives/class_lookup.h"

#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/image/runtime_layout.h"
#include "vm/core/lifecycle/shared_buffer.h"
#include "vm/core/threads/vm_thread.h"

namespace tarvelo {

namespace {

// Resource-name record fields.
constexpr std::uint32_t kResourceSize = 12;
constexpr std::uint32_t kResourceData = 16;

// The word-aligned rest of the scratch buffer after `used` bytes, as slots.
word_t* slotsAfter(std::int32_t used, int* count) {
    SharedBuffer* b = shared_buffer();
    const std::uint32_t start = (static_cast<std::uint32_t>(used) + 3u) & ~3u;
    if (b == nullptr || start >= b->length) {
        *count = 0;
        return nullptr;
    }
    *count = static_cast<int>((b->length - start) / sizeof(word_t));
    return reinterpret_cast<word_t*>(b->bytes + start);
}

}  // namespace

LookupContext ClassLookup::contextOf(VMThread* t) { return LookupContext{0, t->ownerFeature}; }

char* ClassLookup::stringToScratch(word_t string, std::int32_t* length) {
    SharedBuffer* b = shared_buffer();
    std::int32_t count = 0;
    const char16_t* chars = java::string_chars(string, &count);
    if (b == nullptr || chars == nullptr || static_cast<std::uint32_t>(count) + 1u > b->length) return nullptr;
    char* out = reinterpret_cast<char*>(b->bytes);
    for (std::int32_t i = 0; i < count; ++i) {
        // Names and number texts are bytes: a char above 0xFF has no byte,
        // and its low byte would make it another char.
        if (chars[i] > 0xFF) {
            *length = kNotBytes;
            return nullptr;
        }
        out[i] = static_cast<char>(chars[i]);
    }
    out[count] = '\0';
    *length = count;
    return out;
}

int ClassLookup::classForName(const LookupContext& context, const char* name, std::int32_t length, word_t* type) {
    *type = 0;
    FeatureImageDirectory* directory = image_directory();
    if (directory == nullptr) return 0;
    int slotCount = 0;
    word_t* slots = slotsAfter(length + 1, &slotCount);
    if (slotCount == 0) return -1;
    return directory->findClassByName(context, name, name + length, '.', slots, slotCount, type);
}

int ClassLookup::classForNameAt(const LookupContext& context, word_t name, word_t* type) {
    std::int32_t length = 0;
    const char* bytes = stringToScratch(name, &length);
    if (bytes == nullptr) {
        *type = 0;
        return length == kNotBytes ? 0 : -1;
    }
    return classForName(context, bytes, length, type);
}

void ClassLookup::addClassNotFoundException(VMThread* t) {
    if (t->pendingException != 0) return;
    if (!ExecutionContext::throwNew(t, vm_type(VMType::_java_Ljava_lang_ClassNotFoundException))) return;
    // The creation may have moved the name: read the argument again.
    java::throwable_message(t->pendingException) = ExecutionContext::refArg(t, 0);
}

int ClassLookup::openResource(VMThread* t, const char* name, std::int32_t length, word_t* data,
                              std::uint32_t* size) {
    if (data == nullptr || size == nullptr || length < 1 || name[0] != '/') return -2;
    FeatureImageDirectory* directory = image_directory();
    if (directory == nullptr) return -1;
    // The package records follow the name in the scratch buffer: a name
    // that leaves no room for them is not looked up.
    SharedBuffer* b = shared_buffer();
    if (b == nullptr || static_cast<std::uint32_t>(length) + 1u > b->length) return -2;
    int slotCount = 0;
    word_t* slots = slotsAfter(length + 1, &slotCount);
    if (slotCount == 0) return -2;
    const word_t record = directory->findResource(LookupContext{0, t->ownerFeature}, name + 1,
                                                  static_cast<std::uint32_t>(length - 1), slots, slotCount, true);
    if (record == 0) return -1;
    *data = *to_ptr<const std::uint32_t>(record + kResourceData);
    *size = *to_ptr<const std::uint32_t>(record + kResourceSize);
    return 0;
}

word_t ClassLookup::openResourceStream(VMThread* t, const LookupContext& context, word_t name, bool searchKernel) {
    std::int32_t length = 0;
    const char* bytes = stringToScratch(name, &length);
    if (bytes == nullptr) return 0;
    if (length > 0 && bytes[0] == '/') {
        ++bytes;
        --length;
    }
    int slotCount = 0;
    word_t* slots = slotsAfter(static_cast<std::int32_t>(bytes - reinterpret_cast<const char*>(shared_buffer()->bytes)) +
                                   length + 1,
                               &slotCount);
    FeatureImageDirectory* directory = image_directory();
    if (directory == nullptr || slotCount == 0) return 0;
    const word_t record =
        directory->findResource(context, bytes, static_cast<std::uint32_t>(length), slots, slotCount, searchKernel);
    if (record == 0) return 0;
    const std::uint32_t data = *to_ptr<const std::uint32_t>(record + kResourceData);
    const std::uint32_t size = *to_ptr<const std::uint32_t>(record + kResourceSize);
    const word_t stream = t->allocateObject(vm_type(VMType::_java_Lcom_olun_vm_support_io_MemoryInputStream));
    if (stream == 0) return 0;
    java::field(stream, image::layout::kMemoryInputStreamStart) = data;
    java::field(stream, image::layout::kMemoryInputStreamEnd) = data + size;
    java::field(stream, image::layout::kMemoryInputStreamPosition) = data;
    java::field(stream, image::layout::kMemoryInputStreamMark) = data;
    return stream;
}

}  // namespace tarvelo
