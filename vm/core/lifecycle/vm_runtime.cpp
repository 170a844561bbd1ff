#include "vm/core/lifecycle/vm_runtime.h"

#include <atomic>
#include <cstdint>
#include <cstring>

#include "vm/core/engine/allocation_entry_points.h"
#include "vm/core/engine/engine.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/feature_context.h"
#include "vm/core/image/image_access.h"
#include "vm/core/interpreter/interpreter.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/port/os_port.h"
#include "vm/core/lifecycle/ostrevan.h"
#include "vm/core/threads/reschedule.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/threads/schedule_context.h"
#include "vm/core/engine/string_factory.h"
#include "vm/core/threads/thread_lifecycle.h"
#include "vm/core/threads/thread_pool.h"
#include "vm/core/threads/thread_table.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/heap_set.h"

namespace tarvelo {

std::atomic<std::uint8_t> rescheduleRequested{0};

namespace {

// The exit code of a stop asked for from outside, or none.
constexpr std::int64_t kNoOutsideStop = INT64_MIN;
std::atomic<std::int64_t> outside_stop{kNoOutsideStop};

constexpr std::int32_t kMainThreadPriority = 5;

void start(Ostrevan& vm) {
    vm.startPhase = kStartPhaseInitializers;
    vm.startComponents();
    if (vm.failed()) return;
    vm.state = kVMStarted;
    kernel_scheduler()->recordVMTask();
    if (LLOSTV_IMPL_vmTaskStarted() != 0) vm.setError(kVMErrorPortTaskStarted);
}

// A record that could not be started goes back to the pool.
void give_back(VMThread* t) {
    t->wantedContext = 0;
    TulvarVMEngine::clearFrame(t);
    ScheduleControl::detach(t);
    TulvarVMEngine::releaseThread(t);
    t->pendingException = 0;
    thread_pool()->giveBack(t);
}

}  // namespace

bool GreenThreadVMRuntime::startMainThread(Ostrevan& vm) {
    const word_t object = allocation_entry_points().object != nullptr
                              ? allocation_entry_points().object(types::main_thread())
                              : 0;
    VMThread* t = nullptr;
    if (object != 0) {
        java::thread_name(object) = to_word(_java_main_thread_name);
        java::set_thread_priority(object, kMainThreadPriority);
        t = thread_pool()->bindThread(object);
    }
    if (t == nullptr) {
        vm.setError(kVMErrorInitialization);
        return false;
    }
    ScheduleControl::attach(t, ScheduleControl::rootContext());
    t->wantedContext = ScheduleControl::rootContext();
    const std::int32_t count = image::clinit_count();
    const word_t clinitWrapper = prelude_member(PreludeMember::_java_Mjava_lang_Thread__clinitWrapper);
    if (!TulvarVMEngine::initializeThread(t) ||
        !ExecutionContext::prepareCallStaticMethod(t, clinitWrapper, &count, 1)) {
        give_back(t);
        vm.setError(kVMErrorInitialization);
        return false;
    }
    kernel_scheduler()->enqueueReady(t, t->effectivePriority);
    return true;
}

void GreenThreadVMRuntime::createMainArguments(std::int32_t argc, char** argv) {
    VMThread* t = current_thread();
    const word_t argsStatic = prelude_member(PreludeMember::_java_Sjava_lang_MainThread__Args);
    if (t == nullptr || argc < 0 || argsStatic == 0) return;
    const word_t array = t->allocateArray(types::string_array(), 4 * static_cast<std::int64_t>(argc), argc);
    if (array != 0) {
        java::word_at(argsStatic) = array;
        for (std::int32_t i = 0; i < argc; ++i) {
            const char* arg = argv != nullptr && argv[i] != nullptr ? argv[i] : "";
            const word_t s = StringConversions::newStringFromBytes(t, reinterpret_cast<const std::uint8_t*>(arg),
                                                                   static_cast<std::int32_t>(std::strlen(arg)));
            if (s == 0) break;
            java::array_data<word_t>(java::word_at(argsStatic))[i] = s;
        }
    }
    // An argument that did not fit is left out; main starts without an
    // exception pending.
    t->pendingException = 0;
}

std::int32_t GreenThreadVMRuntime::startThread(word_t threadObject) {
    Ostrevan* vm = ostrevan();
    if (vm->startPhase == kStartPhaseFailed) return 0;
    if (FeatureIsolation::isThreadLimitReached(threadObject)) return -1;
    VMThread* t = thread_pool()->bindThread(threadObject);
    if (t == nullptr) return -1;
    // Binding may have allocated: the Thread object as it lies now.
    threadObject = t->javaThread;
    VMThread* starter = current_thread();
    const word_t wanted = ScheduleControl::wantedContextFor(starter, threadObject);
    t->wantedContext = wanted;
    ScheduleControl::attach(t, wanted);
    const word_t runWrapper = prelude_member(PreludeMember::_java_Mjava_lang_Thread__runWrapper);
    if (!TulvarVMEngine::initializeThread(t) ||
        !ExecutionContext::prepareCallVirtualMethod(t, threadObject, runWrapper, -1)) {
        give_back(t);
        return -2;
    }
    KernelThreadScheduler* s = kernel_scheduler();
    if (vm->startPhase == kStartPhaseMain) {
        s->enqueueReady(t, t->effectivePriority);
    } else {
        s->hold(t);
    }
    FeatureIsolation::incrementThreadCount(threadObject);
    return 0;
}

std::int32_t GreenThreadVMRuntime::startVM(Ostrevan& vm, std::int32_t argc, char** argv) {
    if (vm.state == kVMStopped) vm.resetComponents();
    if (vm.state != kVMInitialized) {
        vm.setError(kVMErrorNotStartable);
        return vm.errorCode;
    }
    start(vm);
    // An image without Java code (no runtime prelude) has no thread to run.
    if (vm.state == kVMStarted && runtime_prelude_complete()) startMainThread(vm);
    if (vm.state == kVMStarted) {
        VMThread* first = kernel_scheduler()->schedule();
        if (first != nullptr) {
            createMainArguments(argc, argv);
            interpretor(first);
        }
        vm.stopComponents();
        if (!vm.failed()) vm.state = kVMStopped;
    }
    return vm.errorCode;
}

namespace {

void stop_request(void*) { ostrevan()->requestStop(); }

}  // namespace

void GreenThreadVMRuntime::requestExit(std::int32_t code) {
    Ostrevan* vm = ostrevan();
    vm->exitCode = code;
    if (HeapSet* heap = heapSet()) {
        heap->runThenCollect(stop_request, nullptr, false);
    } else {
        vm->requestStop();
    }
}

void GreenThreadVMRuntime::postOutsideStop(std::int32_t code) {
    std::int64_t none = kNoOutsideStop;
    outside_stop.compare_exchange_strong(none, code);
}

void GreenThreadVMRuntime::takeOutsideStop(Ostrevan& vm) {
    const std::int64_t code = outside_stop.exchange(kNoOutsideStop);
    if (code == kNoOutsideStop || vm.stopRequested != 0) return;
    vm.exitCode = static_cast<std::int32_t>(code);
    vm.requestStop();
}

VMThread* GreenThreadVMRuntime::findThreadById(word_t threadObject) {
    if (threadObject == 0) return nullptr;
    const std::int32_t id = static_cast<std::int32_t>(java::thread_id(threadObject));
    if (id == java::kThreadIdNotStarted || id == java::kThreadIdEnded || id == 0) return nullptr;
    ThreadTable* table = thread_table();
    if (table == nullptr) return nullptr;
    VMThread* t = table->findThread(static_cast<std::uint32_t>(id));
    // Either of its Thread objects: its own, or the one an application sees.
    return t != nullptr && (t->javaThread == threadObject || t->featureThreadObject == threadObject) ? t : nullptr;
}

extern "C" {
// The image's system-property tables (weak: an image without Java code has
// none).
__attribute__((weak)) extern const char _java_properties_Keys[];
__attribute__((weak)) extern const char _java_properties_Values[];
}

void GreenThreadVMRuntime::getSystemProperties(word_t tables) {
    java::field(tables, -4) = to_word(_java_properties_Keys);
    java::field(tables, -8) = to_word(_java_properties_Values);
}

}  // namespace tarvelo
