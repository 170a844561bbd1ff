#include "vm/core/lifecycle/feature_rules_check.h"

#include "vm/core/lifecycle/ostrevan.h"
#include "vm/memory/support_allocator.h"

// Bounds of the section that holds the word, provided by the system linker.
extern "C" const std::uint32_t __start_kf_rule_conf[];
extern "C" const std::uint32_t __stop_kf_rule_conf[];

namespace tarvelo {

std::uint32_t feature_rules_word() { return __start_kf_rule_conf[0]; }

bool kernel_monitor_calls_checked = false;

KernelMonitorCallRule kernel_monitor_call_rule() {
    return static_cast<KernelMonitorCallRule>(feature_rules_word());
}

FeatureRulesCheck* FeatureRulesCheck::create() {
    auto* c = support_new<FeatureRulesCheck>();
    c->classId = kFeatureRulesCheck;
    return c;
}

bool FeatureRulesCheck::initialize(VMComponent*) {
    bool one_word = __stop_kf_rule_conf - __start_kf_rule_conf == 1;
    std::uint32_t word = one_word ? __start_kf_rule_conf[0] : 0;
    if (!one_word || word < 1 || word > 3) {
        kernel_monitor_calls_checked = false;
        ostrevan()->setError(kVMErrorFeatureRules);
        return false;
    }
    kernel_monitor_calls_checked = word != static_cast<std::uint32_t>(KernelMonitorCallRule::kAllowed);
    return true;
}

}  // namespace tarvelo
