// Binds the memory manager into the virtual machine: builds the heap set
// and its parts from the linked image's regions, adds them to the
// component list, installs what the memory system asks of the rest of the
// virtual machine, and gives each part its life-cycle operations, which
// record the memory errors (-13 bad heap size, -18 heap memory test,
// -128 frame record or release-handler table) in the virtual machine.
#pragma once

#include "vm/model/vm_component.h"

namespace tarvelo {

struct Ostrevan;
class HeapSet;

// Creates the memory manager, published as the one heap set, and pushes
// its parts (main heap 1, immortal heap 2, reference tracker 5,
// soft-reference policy 12) and then itself (8) on the component list.
// A main heap region under 12 bytes or of 64 MiB or more records -13.
HeapSet* create_memory_manager(Ostrevan& vm);

// The memory manager's companion component (11). It publishes the
// interpreter's opcode handler table once the interpreter exists; until
// then it has no work of its own.
VMComponent* create_memory_manager_companion();

// Installs the memory environment of a virtual machine with no Java
// thread yet: system time and the installed-feature slots. Entries
// installed before (by the interpreter) are kept.
void install_memory_environment();

// Life-cycle operations of the memory components.
struct MemoryComponentOps {
    static bool initializeHeapSet(VMComponent* self);
    static void startHeapSet(VMComponent* self);
    static bool initializeMainHeap(VMComponent* self);
    static void startMainHeap(VMComponent* self);
    static bool initializeImmortalHeap(VMComponent* self);
    static void startImmortalHeap(VMComponent* self);
    static void startReferenceTracker(VMComponent* self);
    static bool initializeSoftReferencePolicy(VMComponent* self);
};

}  // namespace tarvelo
