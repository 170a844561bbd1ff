#include "vm/core/lifecycle/memory_manager_binding.h"

#include <cstring>
#include <new>

#include "vm/core/port/os_port.h"
#include "vm/core/lifecycle/component_table.h"
#include "vm/core/lifecycle/ostrevan.h"
#include "vm/memory/heap_set.h"
#include "vm/memory/installed_feature_table.h"
#include "vm/memory/memory_environment.h"
#include "vm/memory/support_allocator.h"

namespace tarvelo {

namespace {

// Zero-filled memory for a heap set from the runtime region, constructed.
HeapSet* new_heap_set() {
    void* p = _rowfen_support_malloc(static_cast<std::int32_t>(sizeof(HeapSet)));
    std::memset(p, 0, sizeof(HeapSet));
    return new (p) HeapSet();
}

std::int64_t system_time_ms() { return LLOSTV_IMPL_getCurrentTime__Z(1); }

bool fail(std::int8_t code) {
    if (Ostrevan* vm = ostrevan()) vm->setError(code);
    return false;
}

}  // namespace

void install_memory_environment() {
    MemoryEnvironment env = memoryEnvironment();
    env.currentTimeMillis = system_time_ms;
    env.featureRecord = installedFeatureRecord;
    setMemoryEnvironment(env);
}

HeapSet* create_memory_manager(Ostrevan& vm) {
    install_memory_environment();
    HeapSet* hs = new_heap_set();
    // The collector's buffer: 292 bytes, 8-aligned, its first word the size.
    void* gc = _rowfen_support_malloc(static_cast<std::int32_t>(GarbageCollector::kAllocationBytes));
    bool sized = hs->construct(memoryLayoutFromLinkSymbols(), to_word(gc));
    setHeapSet(hs);
    vm.addComponent(&hs->mainHeap.component);
    vm.addComponent(&hs->immortalHeap.component);
    vm.addComponent(&hs->tracker.component);
    vm.addComponent(&hs->softPolicy.component);
    if (!sized) vm.setError(kVMErrorHeapSize);
    vm.addComponent(&hs->component);
    return hs;
}

VMComponent* create_memory_manager_companion() { return new_plain_component(kMemoryManagerCompanion); }

bool MemoryComponentOps::initializeHeapSet(VMComponent*) {
    return heapSet()->frameRecordValid() || fail(kVMErrorReleaseHandlers);
}

void MemoryComponentOps::startHeapSet(VMComponent*) { heapSet()->reset(); }

bool MemoryComponentOps::initializeMainHeap(VMComponent*) {
    return heapSet()->mainHeap.memoryTest() != 0 || fail(kVMErrorHeapMemoryTest);
}

void MemoryComponentOps::startMainHeap(VMComponent*) { heapSet()->mainHeap.reset(); }

bool MemoryComponentOps::initializeImmortalHeap(VMComponent*) {
    return heapSet()->immortalHeap.memoryTest() != 0 || fail(kVMErrorHeapMemoryTest);
}

void MemoryComponentOps::startImmortalHeap(VMComponent*) { heapSet()->immortalHeap.reset(); }

void MemoryComponentOps::startReferenceTracker(VMComponent*) { heapSet()->tracker.reset(); }

bool MemoryComponentOps::initializeSoftReferencePolicy(VMComponent*) {
    return heapSet()->softPolicy.initialize() || fail(kVMErrorReleaseHandlers);
}

}  // namespace tarvelo
