#include "vm/core/engine/aot_interface.h"

#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/engine/memory_binding.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/image/image_directory.h"
#include "vm/core/image/runtime_layout.h"
#include "vm/model/string_record.h"
#include "vm/core/lifecycle/ostrevan.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/object_model.h"

namespace tarvelo {

namespace layout = image::layout;

namespace {

// Longest resource name looked up; the path's segments get scratch slots.
constexpr std::int32_t kMaxName = 256;
constexpr int kNameSlots = 32;

VMThread* native_thread() { return current_thread(); }

// The thread may act on the virtual machine: on the application task, with
// no native close function running.
VMThread* acting_thread() {
    Ostrevan* vm = ostrevan();
    KernelThreadScheduler* s = kernel_scheduler();
    if (vm == nullptr || s == nullptr || !s->onVMTask() || vm->runningHook != nullptr) return nullptr;
    return s->currentThread();
}

}  // namespace

void AOTInterface::f003(std::int32_t value) { ExecutionContext::returnInt(native_thread(), value); }

void AOTInterface::f007() { ExecutionContext::throwNew(native_thread(), types::null_pointer()); }

std::int32_t AOTInterface::f016(std::int32_t n) { return ExecutionContext::primArgs(native_thread())[5 + n]; }

word_t AOTInterface::f017(std::int32_t n) { return ExecutionContext::refArgs(native_thread())[-1 - n]; }

bool AOTInterface::findResource(const char* name, std::int32_t length, word_t* data, std::uint32_t* size) {
    VMThread* t = acting_thread();
    FeatureImageDirectory* directory = image_directory();
    if (t == nullptr || directory == nullptr || name == nullptr || length < 2 || length > kMaxName || name[0] != '/')
        return false;
    word_t slots[kNameSlots];
    const LookupContext context{0, t->ownerFeature};
    const word_t record =
        directory->findResource(context, name + 1, static_cast<std::uint32_t>(length - 1), slots, kNameSlots, true);
    if (record == 0) return false;
    *data = wordAt(record + image::kResourceDataOffset);
    *size = wordAt(record + image::kResourceSizeOffset);
    return true;
}

word_t AOTInterface::f038(word_t name, std::int32_t offset, std::int32_t length) {
    VMThread* t = acting_thread();
    FeatureImageDirectory* directory = image_directory();
    if (t == nullptr || directory == nullptr || name == 0 || offset < 0 || length < 2 || length > kMaxName ||
        offset > java::array_length(name) - length)
        return 0;
    // The name is read before anything allocates: the array may move then.
    const auto* bytes = java::array_data<const char>(name) + offset;
    word_t data = 0;
    std::uint32_t size = 0;
    if (!findResource(bytes, length, &data, &size)) return 0;
    const word_t type = vm_type(VMType::_java_Lcom_olun_vm_support_io_MemoryInputStream);
    if (type == 0) return 0;
    AllocatingFor owner(t);
    const word_t stream = t->allocateObject(type);
    if (stream == 0) return 0;
    java::field(stream, layout::kMemoryInputStreamStart) = data;
    java::field(stream, layout::kMemoryInputStreamEnd) = data + size;
    java::field(stream, layout::kMemoryInputStreamPosition) = data;
    java::field(stream, layout::kMemoryInputStreamMark) = data;
    return stream;
}

std::int32_t AOTInterface::f039() { return static_cast<std::int32_t>(java::kArrayData); }

std::int32_t AOTInterface::f040(word_t array) { return java::array_length(array); }

std::int32_t AOTInterface::f041(word_t stream, std::int32_t start) {
    return static_cast<std::int32_t>(
        java::field(stream, start == 0 ? layout::kMemoryInputStreamEnd : layout::kMemoryInputStreamStart));
}

}  // namespace tarvelo
