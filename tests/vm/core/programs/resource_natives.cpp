// Natives of the native-resource programs: registrations with two close
// functions, scoped resources, a close function that tries to re-enter the
// virtual machine, the entries seen from Java code, an application's
// resources closed on its own, and the state dump.
#include <cstdint>

#include "FreeRTOS.h"
#include "platform/board/debug_console.h"
#include "task.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/native_resources.h"
#include "vm/core/engine/sni.h"
#include "vm/core/engine/vm_dumper.h"
#include "vm/core/lifecycle/vm_facade.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/object_model.h"

using tarvelo::ExecutionContext;
using tarvelo::NativeResources;
using tarvelo::VMThread;
using tarvelo::word_t;

namespace {

int value_of(void* resource) { return static_cast<int>(reinterpret_cast<std::intptr_t>(resource)); }
void* resource_of(std::int32_t value) { return reinterpret_cast<void*>(static_cast<std::intptr_t>(value)); }

// Every native-interface call that acts on the current thread is refused
// while a close function runs.
bool all_refused(void* resource) {
    return SNI_getCurrentJavaThreadID() == -1 &&
           SNI_registerResource(resource, [](void*) {}, nullptr) == -1 &&
           SNI_unregisterResource(resource, [](void*) {}) == -1 &&
           SNI_registerScopedResource(resource, [](void*) {}, nullptr) == -1 &&
           SNI_unregisterScopedResource() == -1 && SNI_throwNativeException(1, nullptr) == -1 &&
           SNI_getCallbackArgs(nullptr, nullptr) == -1;
}

void close_a(void* resource) {
    DbgConsole_Printf("close A %d%s\n", value_of(resource), all_refused(resource) ? "" : " (not refused!)");
}
void close_b(void* resource) { DbgConsole_Printf("close B %d\n", value_of(resource)); }
void close_scoped(void* resource) {
    DbgConsole_Printf("close scoped %d%s\n", value_of(resource), all_refused(resource) ? "" : " (not refused!)");
}
void describe(void* resource, char* buffer, std::uint32_t length) {
    static const char kText[] = "resource #";
    std::uint32_t i = 0;
    for (; kText[i] != '\0' && i + 1 < length; ++i) buffer[i] = kText[i];
    if (i + 1 < length) buffer[i++] = static_cast<char>('0' + value_of(resource) % 10);
}
// Writes more than the buffer holds: the dump shows what fits.
void describe_long(void*, char* buffer, std::uint32_t length) {
    for (std::uint32_t i = 0; i < length; ++i) buffer[i] = 'x';
}

SNIX_resource_close close_function(std::int32_t which) {
    switch (which) {
        case 0: return close_a;
        case 1: return close_b;
        default: return nullptr;
    }
}

std::int32_t pending_thread = 0;
std::int32_t other_task_results[4];

// Another task: its registrations are refused, then it resumes the thread.
void resumer(void*) {
    vTaskDelay(2);
    other_task_results[0] = SNI_registerResource(resource_of(40), close_a, nullptr);
    other_task_results[1] = SNI_unregisterResource(resource_of(1), close_a);
    other_task_results[2] = SNI_registerScopedResource(resource_of(41), close_scoped, nullptr);
    other_task_results[3] = SNI_unregisterScopedResource();
    SNI_resumeJavaThread(pending_thread);
    vTaskDelete(nullptr);
}

std::int32_t scoped_callback(std::int32_t value) {
    DbgConsole_Printf("other task: %d %d %d %d\n", static_cast<int>(other_task_results[0]),
                      static_cast<int>(other_task_results[1]), static_cast<int>(other_task_results[2]),
                      static_cast<int>(other_task_results[3]));
    DbgConsole_Printf("callback %d\n", static_cast<int>(value));
    return value;
}

// A FeatureRecord of an application that exists only for the owner column
// and the closing of one owner's resources: its module data object's fourth
// reference field below the header is its name as a byte array.
struct alignas(8) FakeName {
    std::uint32_t header, owner;
    std::int32_t length;
    char bytes[24];
};
FakeName fake_name = {0, 0, 21, "a-rather-long-app-name"};
struct alignas(8) FakeModuleData {
    std::uint32_t refs[4];  // the fourth below the header first
    std::uint32_t header, owner;
};
FakeModuleData fake_data{};
std::uint32_t fake_record[17];

word_t fake_owner() {
    fake_data.refs[0] = tarvelo::to_word(&fake_name);
    fake_record[1] = tarvelo::to_word(&fake_data.header);
    return tarvelo::to_word(fake_record);
}

}  // namespace

extern "C" {

std::int32_t Java_app_Res_register(std::int32_t value, std::int32_t which) {
    return SNI_registerResource(resource_of(value), close_function(which), which == 0 ? describe : nullptr);
}

std::int32_t Java_app_Res_unregister(std::int32_t value, std::int32_t which) {
    return SNI_unregisterResource(resource_of(value), close_function(which));
}

// Two registrations in one call: the second is refused.
void Java_app_Res_registerTwice(std::int32_t value) {
    const std::int32_t first = SNI_registerResource(resource_of(value), close_a, nullptr);
    const std::int32_t second = SNI_registerResource(resource_of(value + 1), close_b, nullptr);
    DbgConsole_Printf("twice: %d %d\n", static_cast<int>(first), static_cast<int>(second));
}

// A registration cancelled before the native returns: nothing is kept and
// nothing is closed; a second unregistration finds nothing.
void Java_app_Res_registerThenCancel(std::int32_t value) {
    const std::int32_t r = SNI_registerResource(resource_of(value), close_a, nullptr);
    const std::int32_t u = SNI_unregisterResource(resource_of(value), close_a);
    const std::int32_t again = SNI_unregisterResource(resource_of(value), close_a);
    DbgConsole_Printf("cancelled: %d %d %d\n", static_cast<int>(r), static_cast<int>(u), static_cast<int>(again));
}

// A scoped resource without a close function (refused), one that is set,
// and a second one (refused).
void Java_app_Res_scoped(std::int32_t value) {
    const std::int32_t noClose = SNI_registerScopedResource(resource_of(value), nullptr, nullptr);
    const std::int32_t first = SNI_registerScopedResource(resource_of(value), close_scoped, describe);
    const std::int32_t second = SNI_registerScopedResource(resource_of(value + 1), close_scoped, nullptr);
    DbgConsole_Printf("scoped: %d %d %d\n", static_cast<int>(noClose), static_cast<int>(first),
                      static_cast<int>(second));
}

// Sets the scoped resource and clears it again: it is never closed.
void Java_app_Res_scopedCancel(std::int32_t value) {
    const std::int32_t r = SNI_registerScopedResource(resource_of(value), close_scoped, nullptr);
    const std::int32_t u = SNI_unregisterScopedResource();
    const std::int32_t again = SNI_unregisterScopedResource();
    DbgConsole_Printf("scoped cancelled: %d %d %d\n", static_cast<int>(r), static_cast<int>(u),
                      static_cast<int>(again));
}

// Sets the scoped resource and suspends until another task resumes the
// thread: the resource stays across the suspension and is closed after the
// callback returned.
std::int32_t Java_app_Res_scopedAcrossSuspend(std::int32_t value) {
    SNI_registerScopedResource(resource_of(value), close_scoped, nullptr);
    pending_thread = SNI_getCurrentJavaThreadID();
    SNI_suspendCurrentJavaThreadWithCallback(0, reinterpret_cast<SNI_callback>(&scoped_callback), nullptr);
    xTaskCreate(resumer, "resumer", 256, nullptr, 5, nullptr);
    return -1;
}

// Registers a resource and raises an exception: the registration stands
// unless the native cancels it.
std::int32_t Java_app_Res_registerAndFail(std::int32_t value, std::int32_t cancel) {
    SNI_registerResource(resource_of(value), close_b, nullptr);
    if (cancel != 0) SNI_unregisterResource(resource_of(value), close_b);
    SNI_throwNativeException(-4, "failed after registering");
    return 0;
}

// The registry as natives see it.
std::int32_t Java_app_Res_count() { return static_cast<std::int32_t>(NativeResources::count()); }

// The entry of (value, close A), for an auto-closing reference.
void VMNative_app_Res_entryOf(VMThread* t) {
    const word_t entry = NativeResources::findResource(static_cast<std::uint32_t>(ExecutionContext::intArg(t, 5)),
                                                       tarvelo::function_word(&close_a));
    ExecutionContext::returnRef(t, -static_cast<std::int32_t>(ExecutionContext::refArgCount(t)), entry);
}

// The entry of (value, close A) is made an application's; that application
// stops: exactly its resource is closed. (The owner word goes back to the
// kernel before anything allocates.)
std::int32_t Java_app_Res_closeApplicationOf(std::int32_t value) {
    const word_t entry = NativeResources::findResource(static_cast<std::uint32_t>(value), tarvelo::function_word(&close_a));
    if (entry == 0) return -1;
    const word_t owner = fake_owner();
    tarvelo::ownerWord(entry) = owner;
    NativeResources::closeResourcesOf(owner);
    tarvelo::ownerWord(entry) = 0;
    return NativeResources::isRegistered(entry) ? 1 : 0;
}

// --- The state dump ------------------------------------------------------------------------

void Java_app_Dump_dump() { tarvelo::GreenThreadVMFacade::dump(); }

// The dump seen from inside a native that has set a scoped resource, asked
// for an exception and has a registration pending; the entry of (value,
// close A) shows an application as its owner meanwhile.
void Java_app_Dump_dumpInNative(std::int32_t value) {
    SNI_registerScopedResource(resource_of(value), close_scoped, describe_long);
    SNI_throwNativeException(-5, "raised after the dump");
    SNI_registerResource(resource_of(value), close_b, nullptr);
    const word_t entry = NativeResources::findResource(static_cast<std::uint32_t>(value), tarvelo::function_word(&close_a));
    if (entry != 0) tarvelo::ownerWord(entry) = fake_owner();
    tarvelo::GreenThreadVMFacade::dump();
    if (entry != 0) tarvelo::ownerWord(entry) = 0;
    SNI_unregisterResource(resource_of(value), close_b);
}

}  // extern "C"

// --- A processor fault ------------------------------------------------------------------------

#include <cstdlib>
#include <cstring>

namespace {

// The division the processor itself refuses; the sanitizer build must not
// catch it first.
__attribute__((noinline, no_sanitize("undefined"))) std::int32_t divide(std::int32_t a, std::int32_t b) {
    return a / b;
}

}  // namespace

extern "C" {

// Faults as FAULT_KIND says: a store to an unmapped address, an integer
// division by zero, an undefined instruction.
void Java_app_Fault_crash() {
    const char* kind = std::getenv("FAULT_KIND");
    if (kind == nullptr) return;
    if (std::strcmp(kind, "segv") == 0) {
        volatile tarvelo::word_t unmapped = 0x10;
        *tarvelo::to_ptr<volatile std::uint32_t>(unmapped) = 1;
    } else if (std::strcmp(kind, "divide") == 0) {
        volatile std::int32_t zero = 0;
        volatile std::int32_t q = divide(7, zero);
        (void)q;
    } else if (std::strcmp(kind, "illegal") == 0) {
        __builtin_trap();
    }
}

}  // extern "C"

// --- The display natives' access to the virtual machine -----------------------------------

#include "vm/core/engine/aot_interface.h"

using tarvelo::AOTInterface;

extern "C" {

void VMNative_app_Aot_open(VMThread* t) {
    const word_t name = ExecutionContext::refArg(t, 0);
    const std::int32_t* prim = ExecutionContext::primArgs(t);
    const word_t stream = AOTInterface::f038(name, prim[6], prim[5]);
    ExecutionContext::returnRef(t, -static_cast<std::int32_t>(ExecutionContext::refArgCount(t)), stream);
}

void VMNative_app_Aot_size(VMThread* t) {
    const word_t stream = ExecutionContext::refArg(t, 0);
    AOTInterface::f003(AOTInterface::f041(stream, 0) - AOTInterface::f041(stream, 1));
}

void VMNative_app_Aot_layout(VMThread* t) {
    AOTInterface::f003(AOTInterface::f039() * 1000 + AOTInterface::f040(ExecutionContext::refArg(t, 0)));
}

void VMNative_app_Aot_registers(VMThread*) {
    AOTInterface::f003(AOTInterface::f016(0) * 100 + AOTInterface::f016(1) * 10 +
                       (AOTInterface::f017(0) == AOTInterface::f017(1) ? 1 : 0));
}

void VMNative_app_Aot_npe(VMThread*) { AOTInterface::f007(); }

}  // extern "C"
