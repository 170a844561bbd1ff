// Native resources: plain integers that natives hand to Java code (a
// socket, a TLS context, a random generator) tied to a close function, so
// that the virtual machine releases them when their owner goes away.
//
// The registry is a list of `yq.sni.NativeResource` objects in the Java
// heap, newest first. Each entry is allocated with the owner of the code
// that registered it, so its owner word names the application. The list
// head is a collector root. A registration made by a native is only kept
// pending (flags bit 2 of the thread) until the native returns, so that a
// native that fails afterwards can still cancel it; the entry is created
// then.
//
// Close functions run with the virtual machine's runningHook set to them:
// every native-interface call that acts on the current thread is refused
// meanwhile, so a close function cannot re-enter the virtual machine.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/model/vm_component.h"

namespace tarvelo {

struct VMThread;

// Component 14: the head of the list.
struct NativeResourceRegistry : VMComponent {
    word_t head;  // newest entry, or 0; a collector root

    static NativeResourceRegistry* create();
    // Makes the list head a collector root and binds the memory system's
    // auto-closing references to the registry.
    static bool initialize(VMComponent* self);
    static void start(VMComponent* self);
};

// Component 16: closes every registered resource when the virtual machine
// stops. It also keeps the buffer a description function writes into.
struct NativeResourceCleaner : VMComponent {
    word_t dumpBuffer;            // `dumpBufferSize` bytes
    std::uint32_t dumpBufferSize;

    static NativeResourceCleaner* create();
    static void stop(VMComponent* self);
};

// Results of the registry operations (those of the native interface).
inline constexpr std::int32_t kResourceOk = 0;
inline constexpr std::int32_t kResourceRefused = -1;
inline constexpr std::int32_t kResourceBadArgument = -2;

struct NativeResources {
    // -1 when a registration is already pending for this native call; -2
    // when `close` is 0 or the pair (resource, close) is registered; else
    // the registration is kept pending until the native returns. 0.
    static std::int32_t registerResource(VMThread* t, std::uint32_t resource, word_t close, word_t description);
    // Cancels the pending registration of the same pair, or removes the
    // registered entry of the pair without calling its close function; -2
    // when there is neither.
    static std::int32_t unregisterResource(VMThread* t, std::uint32_t resource, word_t close);
    // -1 when the thread has a scoped resource already, -2 when `close` is
    // 0; else sets it.
    static std::int32_t registerScopedResource(VMThread* t, std::uint32_t resource, word_t close,
                                               word_t description);
    // -1 when none is set; else clears it without closing it.
    static std::int32_t unregisterScopedResource(VMThread* t);

    // After the native returned: creates the entry of the pending
    // registration. When the entry cannot be allocated the resource is
    // closed at once (it could not be tracked); OutOfMemoryError is then
    // pending.
    static void completeRegistration(VMThread* t);

    // The entry of the pair, or 0.
    static word_t findResource(std::uint32_t resource, word_t close);
    // Whether `entry` is in the list.
    static bool isRegistered(word_t entry);
    // Closes the resource of a registered `entry` and unlinks it; an entry
    // no longer registered is left alone. Used for auto-closing references
    // whose referent died, inside a collection: nothing here allocates.
    static void closeGuardedResource(word_t entry);
    // Closes and unlinks every entry that `owner` (an application's
    // FeatureRecord; 0 the kernel) owns.
    static void closeResourcesOf(word_t owner);
    // Closes every entry, newest first, and empties the list.
    static void closeAll();

    // Entry fields.
    static std::uint32_t resourceOf(word_t entry);
    static word_t closeOf(word_t entry);
    static word_t descriptionOf(word_t entry);
    // The application that owns the entry, 0 for the kernel.
    static word_t ownerOf(word_t entry);
    static word_t next(word_t entry);
    // The first entry, or 0.
    static word_t first();
    static std::uint32_t count();
};

// Calls `close` with `resource`, with runningHook set to it meanwhile and
// lastHook set to it afterwards. Nothing happens for a null function.
void run_close_hook(word_t close, std::uint32_t resource);

NativeResourceRegistry* native_resource_registry();
NativeResourceCleaner* native_resource_cleaner();

}  // namespace tarvelo
