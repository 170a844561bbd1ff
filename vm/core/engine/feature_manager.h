// The run time of installed applications: the kernel feature component (a
// memory-release handler told about every marking), the feature manager
// with the list of stopped applications handed to the kernel's thread, and
// the kill of a started application (its threads, monitors, frames, statics
// and native resources).
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/model/vm_component.h"
#include "vm/memory/feature_record.h"
#include "vm/memory/memory_release_handler.h"

namespace tarvelo {

struct VMThread;

// Causes of a kill, stored in the `Feature` object.
enum FeatureStopCause : std::uint8_t { kStopKilled = 1, kStopRamControl = 2 };

struct FeatureManager {
    word_t stoppedHead;           // FeatureRecord; linked through runtime states
    std::uint32_t waitingThread;  // id of the thread waiting for one, 0 none
    // The record the frames of killed applications are attributed to: its
    // runtime says STOPPED, so every check on them finds a dead application.
    std::uint32_t placeholder[feature_record::kWords];
    FeatureRuntimeState placeholderState;

    word_t placeholderRecord() const { return to_word(placeholder); }

    // Kill of a STARTED application (nothing otherwise).
    void killFeature(word_t record, FeatureStopCause cause);
    void queueStoppedFeature(word_t record);
    // Takes `record` out of the stopped list (nothing if it is not queued):
    // an application is unlinked, and its storage freed, whether or not
    // the kernel has taken it from the list.
    void forgetStoppedFeature(word_t record);
    // The `Feature` object of the most recently stopped application, or 0
    // with the current thread suspended until one is queued (the native
    // then runs again).
    word_t takeStoppedFeature(VMThread* t);
};

struct KernelFeatureComponent : VMComponent {
    MemoryReleaseHandler handler;

    static KernelFeatureComponent* create();
    static bool initialize(VMComponent* self);
    static void start(VMComponent* self);
};

// The feature manager, null before the kernel feature component exists.
FeatureManager* feature_manager();

}  // namespace tarvelo
