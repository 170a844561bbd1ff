#include "vm/core/engine/native_resources.h"

#include <cstring>

#include "vm/core/engine/memory_binding.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/engine/word_ptr.h"
#include "vm/core/image/runtime_layout.h"
#include "vm/core/lifecycle/link_config.h"
#include "vm/core/lifecycle/ostrevan.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/gc_roots.h"
#include "vm/memory/heap_set.h"
#include "vm/memory/memory_environment.h"
#include "vm/memory/object_model.h"
#include "vm/memory/support_allocator.h"

namespace tarvelo {

namespace layout = image::layout;

namespace {

NativeResourceRegistry* the_registry = nullptr;
NativeResourceCleaner* the_cleaner = nullptr;

// The registration a native left for its return: one native runs at a time,
// so one set serves the whole virtual machine.
struct PendingRegistration {
    std::uint32_t resource;
    word_t close;
    word_t description;
};
PendingRegistration pending{};

// The dump buffer is at least this long whatever the configuration says:
// a description function is told the buffer's length, and a zero-length
// buffer would leave it nowhere to put the terminating NUL.
constexpr std::uint32_t kMinDumpBuffer = 16;
// A configured size beyond this would only eat the runtime region.
constexpr std::uint32_t kMaxDumpBuffer = 1024;

std::uint32_t& field(word_t entry, std::int32_t offset) { return wordAt(entry + static_cast<std::uint32_t>(offset)); }

// The 64-bit fields hold a 32-bit word sign-extended.
void store_wide(word_t entry, std::int32_t offset, std::uint32_t value) {
    const auto wide = static_cast<std::int64_t>(static_cast<std::int32_t>(value));
    std::memcpy(to_ptr<std::uint8_t>(entry + static_cast<std::uint32_t>(offset)), &wide, sizeof wide);
}

std::uint32_t load_wide(word_t entry, std::int32_t offset) {
    std::int64_t wide;
    std::memcpy(&wide, to_ptr<const std::uint8_t>(entry + static_cast<std::uint32_t>(offset)), sizeof wide);
    return static_cast<std::uint32_t>(wide);
}

word_t* head_slot() { return the_registry != nullptr ? &the_registry->head : nullptr; }

void visit_head(void*, const SlotVisitor& visitor) {
    if (word_t* slot = head_slot(); slot != nullptr && *slot != 0) visitor(slot);
}

// Takes `entry` out of the list (it must be in it) and resets its fields,
// so that a stale reference to it names nothing registered.
void unlink(word_t entry) {
    word_t* slot = head_slot();
    while (slot != nullptr && *slot != 0) {
        if (*slot == entry) {
            *slot = field(entry, layout::kNativeResourceNext);
            break;
        }
        slot = &field(*slot, layout::kNativeResourceNext);
    }
    field(entry, layout::kNativeResourceNext) = 0;
    field(entry, layout::kNativeResourceSecond) = 0;
    store_wide(entry, layout::kNativeResourceValue, 0xFFFFFFFFu);
    store_wide(entry, layout::kNativeResourceClose, 0);
    store_wide(entry, layout::kNativeResourceDescription, 0);
}

// Closes the resource of a listed entry, then unlinks it.
void close_entry(word_t entry) {
    const word_t close = NativeResources::closeOf(entry);
    const std::uint32_t resource = NativeResources::resourceOf(entry);
    run_close_hook(close, resource);
    unlink(entry);
}

void close_guarded(word_t entry) { NativeResources::closeGuardedResource(entry); }

void clear_pending(VMThread* t) {
    t->flags = static_cast<std::uint8_t>(t->flags & ~kFlagResourcePending);
    pending = {};
}

}  // namespace

NativeResourceRegistry* native_resource_registry() { return the_registry; }
NativeResourceCleaner* native_resource_cleaner() { return the_cleaner; }

void run_close_hook(word_t close, std::uint32_t resource) {
    if (close == 0) return;
    Ostrevan* vm = ostrevan();
    auto* fn = word_function<void(void*)>(close);
    void* const previous = vm != nullptr ? vm->runningHook : nullptr;
    if (vm != nullptr) vm->runningHook = reinterpret_cast<void*>(fn);
    fn(to_ptr<void>(resource));
    if (vm != nullptr) {
        vm->runningHook = previous;
        vm->lastHook = reinterpret_cast<void*>(fn);
    }
}

// --- Components -----------------------------------------------------------------------------

NativeResourceRegistry* NativeResourceRegistry::create() {
    auto* r = support_new<NativeResourceRegistry>();
    r->classId = kNativeResourceRegistry;
    the_registry = r;
    pending = {};
    return r;
}

bool NativeResourceRegistry::initialize(VMComponent*) {
    HeapSet* heap = heapSet();
    if (heap == nullptr || !heap->roots.add({RootPhase::kThreadStacks, visit_head, nullptr})) return false;
    MemoryEnvironment env = memoryEnvironment();
    env.closeGuardedResource = close_guarded;
    setMemoryEnvironment(env);
    return true;
}

void NativeResourceRegistry::start(VMComponent* self) {
    // A restart after a stop begins with nothing registered: the stop
    // closed everything, and the heap itself starts over.
    static_cast<NativeResourceRegistry*>(self)->head = 0;
    pending = {};
}

NativeResourceCleaner* NativeResourceCleaner::create() {
    auto* c = support_new<NativeResourceCleaner>();
    c->classId = kNativeResourceCleaner;
    std::uint32_t size = static_cast<std::uint32_t>(link_config::dump_buffer_size());
    if (static_cast<std::int32_t>(size) < static_cast<std::int32_t>(kMinDumpBuffer)) size = kMinDumpBuffer;
    if (size > kMaxDumpBuffer) size = kMaxDumpBuffer;
    if (void* buffer = _rowfen_support_malloc(static_cast<std::int32_t>(size))) {
        std::memset(buffer, 0, size);
        c->dumpBuffer = to_word(buffer);
        c->dumpBufferSize = size;
    }
    the_cleaner = c;
    return c;
}

void NativeResourceCleaner::stop(VMComponent*) { NativeResources::closeAll(); }

// --- Registration ---------------------------------------------------------------------------

std::int32_t NativeResources::registerResource(VMThread* t, std::uint32_t resource, word_t close, word_t description) {
    if ((t->flags & kFlagResourcePending) != 0) return kResourceRefused;
    if (close == 0 || findResource(resource, close) != 0) return kResourceBadArgument;
    pending = {resource, close, description};
    t->flags = static_cast<std::uint8_t>(t->flags | kFlagResourcePending);
    return kResourceOk;
}

std::int32_t NativeResources::unregisterResource(VMThread* t, std::uint32_t resource, word_t close) {
    if ((t->flags & kFlagResourcePending) != 0 && pending.resource == resource && pending.close == close) {
        clear_pending(t);
        return kResourceOk;
    }
    const word_t entry = findResource(resource, close);
    if (entry == 0) return kResourceBadArgument;
    unlink(entry);
    return kResourceOk;
}

std::int32_t NativeResources::registerScopedResource(VMThread* t, std::uint32_t resource, word_t close,
                                                     word_t description) {
    if ((t->flags & kFlagScopedResource) != 0) return kResourceRefused;
    if (close == 0) return kResourceBadArgument;
    t->scopedResource = resource;
    t->scopedClose = close;
    t->scopedDescription = description;
    t->flags = static_cast<std::uint8_t>(t->flags | kFlagScopedResource);
    return kResourceOk;
}

std::int32_t NativeResources::unregisterScopedResource(VMThread* t) {
    if ((t->flags & kFlagScopedResource) == 0) return kResourceRefused;
    t->flags = static_cast<std::uint8_t>(t->flags & ~kFlagScopedResource);
    t->scopedClose = 0;
    t->scopedDescription = 0;
    t->scopedResource = 0;
    return kResourceOk;
}

void NativeResources::completeRegistration(VMThread* t) {
    const PendingRegistration r = pending;
    clear_pending(t);
    if (r.close == 0) return;
    const word_t type = vm_type(VMType::_java_Lyq_sni_NativeResource);
    word_t entry = 0;
    if (type != 0 && the_registry != nullptr) {
        AllocatingFor owner(t);
        entry = t->allocateObject(type);
    }
    if (entry == 0) {
        // Nothing would ever close it: it is closed now.
        run_close_hook(r.close, r.resource);
        return;
    }
    store_wide(entry, layout::kNativeResourceClose, r.close);
    store_wide(entry, layout::kNativeResourceDescription, r.description);
    store_wide(entry, layout::kNativeResourceValue, r.resource);
    field(entry, layout::kNativeResourceNext) = the_registry->head;
    the_registry->head = entry;
}

// --- The list -------------------------------------------------------------------------------

word_t NativeResources::first() { return the_registry != nullptr ? the_registry->head : 0; }

word_t NativeResources::next(word_t entry) { return field(entry, layout::kNativeResourceNext); }

std::uint32_t NativeResources::resourceOf(word_t entry) { return load_wide(entry, layout::kNativeResourceValue); }

word_t NativeResources::closeOf(word_t entry) { return load_wide(entry, layout::kNativeResourceClose); }

word_t NativeResources::descriptionOf(word_t entry) { return load_wide(entry, layout::kNativeResourceDescription); }

word_t NativeResources::ownerOf(word_t entry) { return memory::owner_feature(ownerWord(entry)); }

std::uint32_t NativeResources::count() {
    std::uint32_t n = 0;
    for (word_t e = first(); e != 0; e = next(e)) ++n;
    return n;
}

word_t NativeResources::findResource(std::uint32_t resource, word_t close) {
    for (word_t e = first(); e != 0; e = next(e))
        if (resourceOf(e) == resource && closeOf(e) == close) return e;
    return 0;
}

bool NativeResources::isRegistered(word_t entry) {
    if (entry == 0) return false;
    for (word_t e = first(); e != 0; e = next(e))
        if (e == entry) return true;
    return false;
}

void NativeResources::closeGuardedResource(word_t entry) {
    if (isRegistered(entry)) close_entry(entry);
}

void NativeResources::closeResourcesOf(word_t owner) {
    word_t e = first();
    while (e != 0) {
        const word_t following = next(e);
        if (ownerOf(e) == owner) close_entry(e);
        e = following;
    }
}

void NativeResources::closeAll() {
    while (word_t e = first()) close_entry(e);
}

}  // namespace tarvelo
