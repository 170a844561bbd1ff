// The operations of every component class, indexed by class id: a component's
// virtual call is an index into these tables.
#include "vm/core/lifecycle/component_table.h"

#include "vm/core/engine/feature_manager.h"
#include "vm/core/engine/native_resources.h"
#include "vm/core/engine/ram_control.h"
#include "vm/core/lifecycle/feature_rules_check.h"
#include "vm/core/image/image_directory.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/lifecycle/memory_manager_binding.h"
#include "vm/core/threads/monitor_manager.h"
#include "vm/core/threads/thread_pool.h"
#include "vm/memory/support_allocator.h"
#include "vm/core/image/interned_strings.h"
#include "vm/core/threads/watchdog_support.h"

namespace tarvelo {

namespace {

const ComponentOps kBase{};

void startInternedStringIterator(VMComponent*) { reset_interned_string_iterator(); }

using M = MemoryComponentOps;

const ComponentOps kOps[kComponentIdCount] = {
    /*  0 */ {},
    /*  1 main heap */ {M::initializeMainHeap, M::startMainHeap, nullptr},
    /*  2 immortal heap */ {M::initializeImmortalHeap, M::startImmortalHeap, nullptr},
    /*  3 KernelFeatureComponent */ {KernelFeatureComponent::initialize, KernelFeatureComponent::start, nullptr},
    /*  4 RamControl */ {RamControl::initialize, RamControl::start, nullptr},
    /*  5 reference tracker */ {nullptr, M::startReferenceTracker, nullptr},
    /*  6 KernelMonitorManager */ {KernelMonitorManager::initialize, KernelMonitorManager::start, nullptr},
    /*  7 FeatureImageDirectory */ {FeatureImageDirectory::initializeComponent,
                                     FeatureImageDirectory::startComponent, nullptr},
    /*  8 MemoryManager */ {M::initializeHeapSet, M::startHeapSet, nullptr},
    /*  9 JavaStackAllocator */ {},
    /* 10 VMThreadPool */ {VMThreadPool::initialize, nullptr, VMThreadPool::stop},
    /* 11 memory manager companion */ {},
    /* 12 soft-reference policy */ {M::initializeSoftReferencePolicy, nullptr, nullptr},
    /* 13 WatchdogSupport */ {WatchdogSupport::initialize, nullptr, WatchdogSupport::stop},
    /* 14 NativeResourceRegistry */ {NativeResourceRegistry::initialize, NativeResourceRegistry::start, nullptr},
    /* 15 KernelThreadScheduler */ {KernelThreadScheduler::initialize, nullptr, KernelThreadScheduler::stop},
    /* 16 NativeResourceCleaner */ {nullptr, nullptr, NativeResourceCleaner::stop},
    /* 17 FeatureRulesCheck */ {FeatureRulesCheck::initialize, nullptr, nullptr},
    /* 18 InternedStringIterator */ {nullptr, startInternedStringIterator, nullptr},
};

}  // namespace

const ComponentOps& component_ops(std::uint32_t classId) {
    return classId < kComponentIdCount ? kOps[classId] : kBase;
}

bool component_initialize(VMComponent* c) {
    auto fn = component_ops(c->classId).initialize;
    return fn == nullptr || fn(c);
}

void component_start(VMComponent* c) {
    if (auto fn = component_ops(c->classId).start) fn(c);
}

void component_stop(VMComponent* c) {
    if (auto fn = component_ops(c->classId).stop) fn(c);
}

VMComponent* new_plain_component(std::uint32_t classId) {
    auto* c = support_new<VMComponent>();
    c->classId = classId;
    return c;
}

}  // namespace tarvelo
