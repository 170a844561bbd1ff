#include "vm/core/lifecycle/ostrevan.h"

#include "vm/core/engine/feature_manager.h"
#include "vm/core/engine/ram_control.h"

#include "platform/address.h"
#include "vm/core/image/image_access.h"
#include "vm/core/image/image_directory.h"
#include "vm/core/threads/java_stack.h"
#include "vm/core/engine/memory_binding.h"
#include "vm/core/engine/monitoring_hooks.h"
#include "vm/core/engine/native_resources.h"
#include "vm/core/threads/schedule_context.h"
#include "vm/core/threads/thread_pool.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/lifecycle/component_table.h"
#include "vm/core/lifecycle/link_config.h"
#include "vm/core/lifecycle/memory_manager_binding.h"
#include "vm/model/object_header.h"
#include "vm/core/threads/monitor_manager.h"
#include "vm/core/lifecycle/feature_rules_check.h"
#include "vm/core/threads/reschedule.h"
#include "vm/core/lifecycle/shared_buffer.h"
#include "vm/core/threads/thread_table.h"
#include "vm/memory/support_allocator.h"
#include "vm/core/threads/watchdog_support.h"

namespace tarvelo {

namespace {
Ostrevan* the_vm = nullptr;

// The system-properties key table must not start with the first interned
// string record itself: a key is a reference, 4 bytes into a record.
void check_system_properties(Ostrevan& vm) {
    const char* keys = _java_properties_Keys;
    std::uint32_t length = image::read_u32(keys + memory::kArrayLengthOffset);
    if (length != 0 && image::read_u32(keys + memory::kArrayDataOffset) == to_word(_java_internStrings_start))
        vm.setError(kVMErrorSystemProperties);
}
}  // namespace

Ostrevan* ostrevan() { return the_vm; }

void Ostrevan::addComponent(VMComponent* component) {
    component->next = componentList;
    componentList = component;
}

void Ostrevan::setError(std::int8_t code) {
    if (errorCode == kVMErrorNone) errorCode = code;
    state = kVMFailed;
}

VMComponent* Ostrevan::findComponent(std::uint32_t classId) const {
    for (VMComponent* c = componentList; c != nullptr; c = c->next)
        if (c->classId == classId) return c;
    return nullptr;
}

void Ostrevan::createComponents() {
    addComponent(NativeResourceRegistry::create());
    check_system_properties(*this);
    addComponent(KernelThreadScheduler::create());
    bind_engine_to_memory(create_memory_manager(*this));
    addComponent(new_plain_component(kInternedStringIterator));
    addComponent(KernelMonitorManager::create());
    addComponent(WatchdogSupport::create());
    addComponent(NativeResourceCleaner::create());
    addComponent(FeatureImageDirectory::create());
    create_shared_buffer();
    threadTable = ThreadTable::create(*this);
    addComponent(create_memory_manager_companion());
    stackAllocator = JavaStackAllocator::create();
    addComponent(stackAllocator);
    threadPool = VMThreadPool::create();
    addComponent(threadPool);
    rulesCheck = FeatureRulesCheck::create();
    addComponent(rulesCheck);
    addComponent(KernelFeatureComponent::create());
    if (RamControl* ramControl = RamControl::createIfEnabled()) addComponent(ramControl);
}

void Ostrevan::createVM() {
    the_vm = this;
    reset_unique_numbers();
    createComponents();
    if (state != kVMCreated) {
        setError(kVMErrorNotStartable);
        return;
    }
    if (image::magic() != image::kImageMagic) {
        setError(kVMErrorBadMagic);
        return;
    }
    if (!initializeComponents() && errorCode == kVMErrorNone) setError(kVMErrorInitialization);
    ScheduleControl::createRootContext();
    initialize_monitoring();
    if (state != kVMFailed) state = kVMInitialized;
}

bool Ostrevan::initializeComponents() {
    for (VMComponent* c = componentList; c != nullptr; c = c->next)
        if (!component_initialize(c)) return false;
    return true;
}

void Ostrevan::startComponents() {
    for (VMComponent* c = componentList; c != nullptr; c = c->next) component_start(c);
}

void Ostrevan::resetComponents() {
    // A component that needs work before a restart does it in its start.
    exitCode = 0;
    stopRequested = 0;
    state = kVMInitialized;
}

void Ostrevan::stopComponents() {
    for (VMComponent* c = componentList; c != nullptr; c = c->next) component_stop(c);
}

void Ostrevan::requestStop() {
    stopRequested = 1;
    request_reschedule();
    // Every thread is interrupted; a waiting one is woken to see it.
    if (threadTable == nullptr) return;
    KernelThreadScheduler* scheduler = kernel_scheduler();
    for (std::uint32_t i = threadTable->length; i-- > 0;) {
        VMThread* t = threadTable->at(i);
        if (t == nullptr || t->javaThread == 0) continue;
        if (t->state == kThreadWaiting) {
            t->interruptStatus = 2;
            if (scheduler != nullptr) scheduler->wakeThread(t);
        } else if (t->interruptStatus == 0) {
            t->interruptStatus = 1;
        }
    }
}

}  // namespace tarvelo
