#include "vm/core/threads/monitor_manager.h"

#include "vm/core/lifecycle/link_config.h"
#include "vm/core/lifecycle/ostrevan.h"
#include "vm/memory/support_allocator.h"

namespace tarvelo {

KernelMonitorManager* KernelMonitorManager::create() {
    auto* m = support_new<KernelMonitorManager>();
    m->classId = kKernelMonitorManager;
    return m;
}

bool KernelMonitorManager::initialize(VMComponent*) {
    std::int32_t threads = link_config::max_threads();
    if (threads < 0 || threads > 62) {
        ostrevan()->setError(kVMErrorThreadTable);
        return false;
    }
    if (link_config::max_monitors_per_thread() > 63) {
        ostrevan()->setError(kVMErrorMonitorsPerThread);
        return false;
    }
    return true;
}

}  // namespace tarvelo
