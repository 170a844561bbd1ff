// Components of the virtual machine: each begins with its class id (the
// component id) and the link to the next component, and shares the life
// cycle initialize / start / stop (their operations: vm/core/lifecycle/
// component_table.h). The list is built by pushing each new
// component at its head, so the operations run from the last-created
// component to the first.
#pragma once

#include <cstdint>

namespace tarvelo {

enum ComponentId : std::uint32_t {
    kMainHeap = 1,
    kImmortalHeap = 2,
    kKernelFeatureComponent = 3,
    kRamControl = 4,
    kReferenceTracker = 5,
    kKernelMonitorManager = 6,
    kFeatureImageDirectory = 7,
    kMemoryManager = 8,
    kJavaStackAllocator = 9,
    kVMThreadPool = 10,
    kMemoryManagerCompanion = 11,
    kSoftReferencePolicy = 12,
    kWatchdogSupport = 13,
    kNativeResourceRegistry = 14,
    kKernelThreadScheduler = 15,
    kNativeResourceCleaner = 16,
    kFeatureRulesCheck = 17,
    kInternedStringIterator = 18,
    kComponentIdCount = 19,
};

struct VMComponent {
    std::uint32_t classId;
    VMComponent* next;
};

// The operations of one component class; a null entry is the base
// behaviour (initialize succeeds, start and stop do nothing).
struct ComponentOps {
    bool (*initialize)(VMComponent*);
    void (*start)(VMComponent*);
    void (*stop)(VMComponent*);
};

}  // namespace tarvelo
