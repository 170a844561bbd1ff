// RAM control of installed applications, a link-time option
// (`_java_kf_ram_control_enabled` 2; off with 1): the started applications
// are kept in lists by their level (0 to 10), and when an allocation finds
// no room the memory manager asks RAM control, which kills the
// applications of the lowest level below the requester's to make room.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/model/vm_component.h"
#include "vm/memory/memory_release_handler.h"

namespace tarvelo {

struct RamControl : VMComponent {
    static constexpr int kLevels = 11;
    MemoryReleaseHandler handler;
    // First FeatureRecord of each level, linked through the runtime states.
    word_t levels[kLevels];

    // The component when the option is on, else null.
    static RamControl* createIfEnabled();
    static bool initialize(VMComponent* self);
    static void start(VMComponent* self);

    // A started application joins the list of its level; a killed one
    // leaves it. Both do nothing when RAM control is off.
    static void add(word_t record);
    static void remove(word_t record);
};

}  // namespace tarvelo
