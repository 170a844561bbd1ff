// Natives of the installed-threads programs: a native's suspension that
// nothing resumes, and the feature rules the firmware was linked with.
#include <cstdint>

#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/sni.h"
#include "vm/core/lifecycle/feature_rules_check.h"
#include "vm/core/lifecycle/link_config.h"
#include "vm/core/threads/vm_thread.h"

namespace {

std::int32_t never_resumed() { return 0; }

}  // namespace

extern "C" {

// static void Isolation.suspendForever(): suspended without a timeout and
// without an interrupt ending it.
void Java_app_Isolation_suspendForever() {
    SNI_suspendCurrentJavaThreadWithCallback(0, reinterpret_cast<SNI_callback>(&never_resumed), nullptr);
}

// static int Isolation.rulesWord()
void VMNative_app_Isolation_rulesWord(tarvelo::VMThread* t) {
    tarvelo::ExecutionContext::returnInt(t, static_cast<std::int32_t>(tarvelo::feature_rules_word()));
}

// static int Isolation.ramControl(): the RAM-control option (2 on).
void VMNative_app_Isolation_ramControl(tarvelo::VMThread* t) {
    tarvelo::ExecutionContext::returnInt(t, tarvelo::link_config::kf_ram_control_enabled());
}

}  // extern "C"
