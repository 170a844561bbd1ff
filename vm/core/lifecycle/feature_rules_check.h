// Checks the feature-rules configuration word: alone in its own 4-byte
// section of the read-only runtime tables, and 1, 2 or 3.
#pragma once

#include "vm/core/lifecycle/vm_component.h"

namespace tarvelo {

struct FeatureRulesCheck : VMComponent {
    static FeatureRulesCheck* create();
    static bool initialize(VMComponent* self);
};

// The rules word, valid once the check passed.
std::uint32_t feature_rules_word();

}  // namespace tarvelo
