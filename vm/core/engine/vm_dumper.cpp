#include "vm/core/engine/vm_dumper.h"

#include "vm/core/engine/engine.h"
#include "vm/core/engine/native_resources.h"
#include "vm/core/lifecycle/ostrevan.h"
#include "vm/core/lifecycle/vm_facade.h"
#include "vm/core/native_call/sni_call.h"
#include "vm/core/runtime_support/system_out.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/threads/thread_table.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/feature_record.h"
#include "vm/memory/feature_runtime.h"
#include "vm/memory/heap_set.h"
#include "vm/memory/memory_environment.h"
#include "vm/memory/object_model.h"

namespace tarvelo {

namespace out = rt::SystemOut;

namespace {

constexpr std::int32_t kLineWidth = 80;
constexpr std::int32_t kOwnerColumns = 16;
constexpr std::int32_t kMaxFeatureNameChars = 128;

// The owner column: the application's name in 16 columns, or "KERNEL".
void print_owner(word_t owner) {
    std::int32_t printed = 0;
    const std::uint8_t* bytes = nullptr;
    std::int32_t length = 0;
    if (owner == 0) {
        out::print("KERNEL");
        printed = 6;
    } else if (featureName(owner, &bytes, &length)) {
        for (; printed < length && printed < kOwnerColumns; ++printed) out::sendCharacter(bytes[printed]);
    } else {
        VMDumper::printHex(owner);
        printed = 10;
    }
    VMDumper::printRepeated(' ', kOwnerColumns - printed);
}

}  // namespace

void VMDumper::printRepeated(char c, std::int32_t n) {
    for (std::int32_t i = 0; i < n; ++i) out::sendCharacter(static_cast<std::uint8_t>(c));
}

void VMDumper::printHex(std::uint32_t value) {
    out::print("0x");
    out::printAddress(value);
}

void VMDumper::printTitle(std::string_view title, char fill) {
    const auto length = static_cast<std::int32_t>(title.size());
    const std::int32_t before = (78 - length) / 2;
    printRepeated(fill, before);
    out::sendCharacter(' ');
    out::print(title);
    out::sendCharacter(' ');
    printRepeated(fill, kLineWidth - (before + length + 2));
    out::println();
}

void VMDumper::dumpVM(bool scheduleContexts) {
    Ostrevan* vm = ostrevan();
    if (vm == nullptr) {
        printTitle("VM Not Started", '=');
        return;
    }
    printTitle("VM Dump", '=');
    ThreadTable* table = vm->threadTable;
    out::print("Java threads count: ");
    out::printLong(table != nullptr ? table->count : 0);
    out::print("\nPeak java threads count: ");
    out::printLong(TulvarVMEngine::peakThreadCount());
    out::print("\nTotal created java threads: ");
    out::printLong(TulvarVMEngine::startedThreadCount());
    out::print("\nLast executed native function: ");
    printHex(last_native_function());
    out::print("\nLast executed external hook function: ");
    printHex(vm->lastHook != nullptr ? to_word(vm->lastHook) : 0);
    out::print("\nCurrently executing external hook function: ");
    printHex(vm->runningHook != nullptr ? to_word(vm->runningHook) : 0);

    out::print("\nState: ");
    KernelThreadScheduler* s = kernel_scheduler();
    if (s == nullptr || s->idle == 0) {
        out::print("running");
    } else {
        out::print("idle, ");
        out::print(s->wakeupPending.load() != 0 ? "notified" : "not notified");
    }
    out::println();

    if (table != nullptr) {
        ThreadDumper dumper;
        dumper.scheduleContexts = scheduleContexts;
        for (std::uint32_t i = table->length; i-- > 0;) {
            VMThread* t = table->at(i);
            if (t == nullptr) continue;
            printRepeated('-', kLineWidth);
            out::println();
            out::print("Java Thread[");
            out::printLong(t->threadId);
            out::print("]\n");
            dumper.dumpThread(t);
        }
    }
    printRepeated('=', kLineWidth);
    out::println();
    out::println();
    dumpMemoryManager();
    dumpNativeResources();
}

void VMDumper::dumpMemoryManager() {
    HeapSet* heap = heapSet();
    if (heap == nullptr) return;
    printTitle("Garbage Collector", '=');
    const std::uint32_t size = heap->totalMemory();
    const std::uint32_t free = heap->freeMemory();
    const std::uint32_t live = heap->collector.liveBytes;
    out::print("State: ");
    out::print(heap->collectionRunning != 0 ? "Running" : "Stopped");
    out::print("\nLast analyzed object: ");
    ThreadDumper::printObject(heap->lastAnalysed);
    out::print("\nTotal memory: ");
    out::printLong(size);
    out::print("\nMax memory: ");
    out::printLong(heap->maxMemory());
    out::print("\nCurrent allocated memory: ");
    out::printLong(static_cast<std::int64_t>(size) - free);
    out::print("\nCurrent free memory: ");
    out::printLong(free);
    out::print("\nAllocated memory after last GC: ");
    out::printLong(live);
    out::print("\nFree memory after last GC: ");
    out::printLong(static_cast<std::int64_t>(size) - live);
    out::println();
    printRepeated('=', kLineWidth);
    out::println();
    out::println();
}

void VMDumper::dumpNativeResources() {
    printTitle("Native Resources", '=');
    out::print("Id         CloseFunc  Owner            Description\n");
    printRepeated('-', kLineWidth);
    out::println();
    for (word_t e = NativeResources::first(); e != 0; e = NativeResources::next(e)) {
        printHex(NativeResources::resourceOf(e));
        out::sendCharacter(' ');
        printHex(NativeResources::closeOf(e));
        out::sendCharacter(' ');
        print_owner(NativeResources::ownerOf(e));
        out::sendCharacter(' ');
        ThreadDumper::printDescription(NativeResources::descriptionOf(e), NativeResources::resourceOf(e));
        out::println();
    }
    printRepeated('=', kLineWidth);
    out::println();
    out::println();
}

namespace {

// "Feature \"name\" [address]:" of an installed application.
void print_feature_line(word_t record) {
    out::print("Feature \"");
    const std::uint8_t* bytes = nullptr;
    std::int32_t length = 0;
    if (featureName(record, &bytes, &length)) {
        for (std::int32_t c = 0; c < length && c < kMaxFeatureNameChars; ++c) out::sendCharacter(bytes[c]);
    }
    out::print("\" [");
    VMDumper::printHex(record);
    out::print("]:\n");
}

// Every object of the main and immortal heaps owned by the application, one
// per line.
void list_owned_objects(word_t record) {
    HeapSet* heap = heapSet();
    if (heap == nullptr) return;
    auto visit = [record](word_t h) {
        if (memory::owner_feature(ownerWord(h)) != record) return;
        out::print("    - ");
        ThreadDumper::printObject(h);
        out::println();
    };
    const CompactingHeap& main = heap->mainHeap;
    for (word_t h = main.firstHeader(); h < main.end; h = CompactingHeap::nextHeader(h))
        if (memory::header_is_object(wordAt(h))) visit(h);
    const ImmortalHeap& immortal = heap->immortalHeap;
    if (immortal.firstHeader != 0)
        for (word_t h = immortal.firstHeader; h < immortal.top; h = CompactingHeap::nextHeader(h)) visit(h);
}

}  // namespace

void VMDumper::dumpStaleReferences() {
    printTitle("Kernel Stale References", '=');
    for (int i = 0; i < kMaxDynamicFeatures; ++i) {
        const word_t record = memoryEnvironment().featureRecord(i);
        if (record == 0) continue;
        print_feature_line(record);
        list_owned_objects(record);
    }
    printRepeated('=', kLineWidth);
    out::println();
    out::println();
}

void VMDumper::dumpStoppedFeatures() {
    for (int i = 0; i < kMaxDynamicFeatures; ++i) {
        const word_t record = memoryEnvironment().featureRecord(i);
        if (record == 0) continue;
        const FeatureRuntimeState* state = featureRuntimeState(record);
        if (state == nullptr || state->state != static_cast<std::uint8_t>(FeatureState::kStopped)) continue;
        print_feature_line(record);
        list_owned_objects(record);
    }
}

void GreenThreadVMFacade::dump() {
    VMDumper::dumpVM(/*scheduleContexts=*/true);
    if (ostrevan() == nullptr) return;
    VMDumper::dumpStaleReferences();
    // The applications left stopped close the dump.
    VMDumper::dumpStoppedFeatures();
}

}  // namespace tarvelo

extern "C" void LLOSTV_dump(void) { tarvelo::GreenThreadVMFacade::dump(); }
