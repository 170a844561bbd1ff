// Checks the feature-rules configuration word: alone in its own 4-byte
// section of the read-only runtime tables, and 1, 2 or 3.
#pragma once

#include <cstdint>

#include "vm/model/vm_component.h"

namespace tarvelo {

struct FeatureRulesCheck : VMComponent {
    static FeatureRulesCheck* create();
    static bool initialize(VMComponent* self);
};

// The rules word, valid once the check passed.
std::uint32_t feature_rules_word();

// The rules word's answer for a call into an installed application's code
// made while the thread holds monitors of kernel objects.
enum class KernelMonitorCallRule : std::uint8_t {
    kAllowed = 1,   // no check
    kReported = 2,  // "KF:E=M5" printed, the call goes on
    kRefused = 3,   // "KF:E=M5" thrown
};
// Set from the rules word once the check passed: whether calls made while
// holding kernel monitors are checked at all (a byte the invocation fast
// path reads).
extern bool kernel_monitor_calls_checked;
KernelMonitorCallRule kernel_monitor_call_rule();

}  // namespace tarvelo
