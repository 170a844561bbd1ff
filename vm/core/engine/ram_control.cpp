#include "vm/core/engine/ram_control.h"

#include "vm/core/engine/feature_manager.h"
#include "vm/core/lifecycle/link_config.h"
#include "vm/core/lifecycle/ostrevan.h"
#include "vm/core/lifecycle/vm_error.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/feature_record.h"
#include "vm/memory/heap_set.h"
#include "vm/memory/support_allocator.h"

namespace tarvelo {

namespace {

constexpr std::int32_t kRamControlOn = 2;
// A kernel thread's requests rank above every application's level.
constexpr int kKernelLevel = RamControl::kLevels - 1;

RamControl* the_control = nullptr;

int level_of(word_t record) {
    const int level = featureRuntimeState(record)->level;
    return level < RamControl::kLevels ? level : kKernelLevel;
}

// Kills every application of the level: true when there was any.
bool kill_level(RamControl* c, int level) {
    if (c->levels[level] == 0) return false;
    while (const word_t record = c->levels[level]) {
        // The kill takes the record out of the list; one that stays (not
        // started, so the kill does nothing) is taken out here.
        if (FeatureManager* m = feature_manager()) m->killFeature(record, kStopRamControl);
        if (c->levels[level] == record) RamControl::remove(record);
    }
    return true;
}

void before_collection(MemoryReleaseHandler*) {}
void after_collection(MemoryReleaseHandler*) {}

// Only in the second pass, and only when the heap is as large as the
// request, so that a request no heap could satisfy kills nothing.
bool release(MemoryReleaseHandler*, int pass, std::uint32_t size) {
    RamControl* c = the_control;
    HeapSet* heap = heapSet();
    if (c == nullptr || heap == nullptr || pass != 1 || heap->mainHeap.currentSize() < size) return false;
    VMThread* t = current_thread();
    const word_t requester = t != nullptr ? t->ownerFeature : 0;
    const int requesterLevel = requester == 0 ? kKernelLevel : level_of(requester);
    if (requesterLevel == 0) return false;
    if (kill_level(c, 0)) return true;
    for (int level = 1; level < requesterLevel; ++level)
        if (kill_level(c, level)) return true;
    return false;
}

const MemoryReleaseHandlerOps kHandlerOps{before_collection, after_collection, release};

}  // namespace

RamControl* RamControl::createIfEnabled() {
    the_control = nullptr;
    if (link_config::kf_ram_control_enabled() != kRamControlOn) return nullptr;
    auto* c = support_new<RamControl>();
    c->classId = kRamControl;
    c->handler.ops = &kHandlerOps;
    for (word_t& head : c->levels) head = 0;
    the_control = c;
    return c;
}

bool RamControl::initialize(VMComponent* self) {
    auto* c = static_cast<RamControl*>(self);
    HeapSet* heap = heapSet();
    if (heap == nullptr || !heap->registerReleaseHandler(&c->handler)) {
        if (Ostrevan* vm = ostrevan()) vm->setError(kVMErrorReleaseHandlers);
        return false;
    }
    return true;
}

void RamControl::start(VMComponent* self) {
    for (word_t& head : static_cast<RamControl*>(self)->levels) head = 0;
}

void RamControl::add(word_t record) {
    RamControl* c = the_control;
    if (c == nullptr || record == 0) return;
    remove(record);
    word_t& head = c->levels[level_of(record)];
    featureRuntimeState(record)->nextInLevel = head;
    head = record;
}

void RamControl::remove(word_t record) {
    RamControl* c = the_control;
    if (c == nullptr || record == 0) return;
    for (word_t& head : c->levels) {
        for (word_t* link = &head; *link != 0; link = &featureRuntimeState(*link)->nextInLevel) {
            if (*link != record) continue;
            *link = featureRuntimeState(record)->nextInLevel;
            featureRuntimeState(record)->nextInLevel = 0;
            return;
        }
    }
}

}  // namespace tarvelo
