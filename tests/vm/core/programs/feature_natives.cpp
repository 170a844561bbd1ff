// Natives of the installed-application programs: applications made in
// memory (their records, runtime states and statics) and linked into the
// installed-feature table, objects handed to an application, and a full
// collection on demand.
#include <cstdint>
#include <cstring>

#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/engine/vm_dumper.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/feature_record.h"
#include "vm/memory/feature_runtime.h"
#include "vm/memory/heap_set.h"
#include "vm/model/object_header.h"

using tarvelo::ExecutionContext;
using tarvelo::VMThread;
using tarvelo::word_t;

namespace {

// What an installed application's read-only and RAM areas hold for the
// virtual machine.
struct MadeApplication {
    alignas(16) std::uint32_t structWords[17];
    std::uint32_t sections[18];
    std::uint32_t record[17];
    std::uint32_t descriptor[17];
    tarvelo::FeatureRuntimeState state;
    std::uint32_t statics[8];
    std::uint32_t kernelStatics[16];
};

MadeApplication made[4];

}  // namespace

extern "C" {

// static long Fx.install(int n, ModuleData data): application n, with its
// module data (an immutable of the image, naming it), linked into the
// table; its handle (or the refusal).
void VMNative_app_Fx_install(VMThread* t) {
    // The argument lies at the top of the two result words.
    const std::int32_t n = ExecutionContext::intArg(t, 6);
    MadeApplication& a = made[n & 3];
    std::memset(&a, 0, sizeof a);
    const word_t base = 0x100000u * static_cast<word_t>(n + 1);
    a.structWords[2] = base;
    a.structWords[3] = base + 0x1000;
    a.structWords[4] = base + 0x2000;
    a.structWords[5] = base + 0x3000;
    a.structWords[6] = tarvelo::to_word(a.sections);
    a.sections[0] = 1;
    a.sections[17] = tarvelo::to_word(a.record);
    a.record[tarvelo::feature_record::kDescriptor] = tarvelo::to_word(a.descriptor);
    a.record[tarvelo::feature_record::kRuntimeState] = tarvelo::to_word(&a.state);
    a.record[tarvelo::feature_record::kModuleData] = ExecutionContext::refArg(t, 0);
    a.record[14] = tarvelo::to_word(a.statics);
    a.record[15] = tarvelo::to_word(a.statics + 8);
    a.record[tarvelo::feature_record::kKernelStaticsCopies] = tarvelo::to_word(a.kernelStatics);
    word_t same = 0;
    const std::int64_t quota = tarvelo::heapSet()->maxMemory();
    ExecutionContext::returnLong(t, tarvelo::linkInstalledFeature(tarvelo::to_word(a.structWords), quota, &same));
}

// static void Fx.adopt(Object o, long handle): o belongs to the application.
void VMNative_app_Fx_adopt(VMThread* t) {
    const word_t o = ExecutionContext::refArg(t, 0);
    const auto record = static_cast<word_t>(ExecutionContext::longArg(t, 5));
    auto* owner = tarvelo::to_ptr<std::uint32_t>(o + tarvelo::memory::kOwnerOffset);
    *owner = record | (*owner & tarvelo::memory::kOwnerFeatureTypeBit);
}

// static void Fx.collect(): a full collection.
void VMNative_app_Fx_collect(VMThread*) {
    tarvelo::heapSet()->runThenCollect([](void*) {}, nullptr, true);
}

// static int Fx.liveObjects(long handle): the live-object flag of the last marking.
void VMNative_app_Fx_liveObjects(VMThread* t) {
    const auto record = static_cast<word_t>(ExecutionContext::longArg(t, 5));
    ExecutionContext::returnInt(t, tarvelo::featureRuntimeState(record)->liveObject);
}

// static void Fx.dump(): the applications' blocks of the state dump.
void VMNative_app_Fx_dump(VMThread*) {
    tarvelo::VMDumper::dumpStaleReferences();
    tarvelo::VMDumper::dumpStoppedFeatures();
}

}  // extern "C"

extern "C" {

// static void Ld.fill(byte[] b, long start, int size): a memory block
// descriptor (start, size, little-endian words) in b's first 8 bytes.
void VMNative_app_Ld_fill(VMThread* t) {
    const word_t b = ExecutionContext::refArg(t, 0);
    const auto start = static_cast<std::uint32_t>(ExecutionContext::longArg(t, 6));
    const auto size = static_cast<std::uint32_t>(ExecutionContext::intArg(t, 5));
    if (b == 0 || tarvelo::java::array_length(b) < 8) return;
    std::memcpy(tarvelo::java::array_data<std::uint8_t>(b), &start, 4);
    std::memcpy(tarvelo::java::array_data<std::uint8_t>(b) + 4, &size, 4);
}

}  // extern "C"
