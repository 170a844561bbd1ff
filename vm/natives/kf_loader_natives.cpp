// Natives of com.olun.kf.DynamicLoaderNatives (natives-pool calls): the
// storage of installed applications, copies into their read-only area with
// a running CRC-32, relocations, the `InstalledFeatureStruct`, the check of
// a stored application against this kernel and its linking into the
// installed-feature table.
//
// Memory blocks are 8-byte descriptors (start, size). The loader may only
// name descriptors inside the application code chunk describing memory of
// the chunk or of an allocated application, and every write into a
// read-only area goes through the port, which bounds it: a corrupt file or
// a wrong argument gives a refusal, never a write elsewhere.
#include <cstdint>
#include <cstring>

#include "bsp/zev/port/kf/inc/LLKERNEL_RAM.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/feature_manager.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/model/image_format.h"
#include "vm/model/image_symbols.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/application_tables_check.h"
#include "vm/memory/feature_loader.h"
#include "vm/memory/feature_record.h"
#include "vm/memory/feature_runtime.h"
#include "vm/memory/heap_set.h"
#include "vm/memory/installed_feature_table.h"
#include "vm/model/object_header.h"

// The types of every type header, of interned strings and of their
// characters.
extern "C" const char _java_Ljava_lang_Class[];
extern "C" const char _java_Ljava_lang_String[];
extern "C" const char _java_AC[];

namespace tarvelo {

namespace {

std::uint32_t gCopyCrc = 0xFFFFFFFFu;
RelocationState gRelocation;
word_t gAlreadyInstalled = 0;

}  // namespace

void ensureKernelIdentity() {
    static bool done = false;
    if (done) return;
    done = true;
    const auto* header = reinterpret_cast<const std::uint8_t*>(_java_kernel_header_start);
    auto word = [&](std::uint32_t i) { return loadWord(to_word(header) + 4 * i); };
    KernelIdentity k{};
    k.signature = reinterpret_cast<const std::uint8_t*>(_java_signature_start);
    k.compatibleStart = to_ptr<const std::uint8_t>(word(image::kKernelCompatibleUidsStart));
    k.compatibleEnd = to_ptr<const std::uint8_t>(word(image::kKernelCompatibleUidsEnd));
    k.addressesStart = reinterpret_cast<const std::uint8_t*>(_java_kernel_addresses_table_start);
    k.addressesEnd = reinterpret_cast<const std::uint8_t*>(_java_kernel_addresses_table_end);
    k.typesBase = to_word(_java_header_types_start);
    setKernelIdentity(k);
}

namespace {

word_t chunk_start() { return to_word(_java_kernel_code_chunk_start); }
word_t chunk_end() { return to_word(_java_kernel_code_chunk_end); }

bool within(std::uint64_t start, std::uint64_t size, std::uint64_t areaStart, std::uint64_t areaSize) {
    return start >= areaStart && start + size <= areaStart + areaSize;
}

// Whether [start, start + size) is memory a block may describe: the code
// chunk after its descriptor, or the areas of an allocated application.
bool block_memory(word_t start, std::uint32_t size) {
    if (within(start, size, chunk_start() + image::kCodeChunkDescriptorSize,
               chunk_end() - chunk_start() - image::kCodeChunkDescriptorSize))
        return true;
    for (std::int32_t i = 0; i < LLKERNEL_IMPL_getAllocatedFeaturesCount(); ++i) {
        void* h = LLKERNEL_IMPL_getFeatureHandle__I(i);
        if (h == nullptr) continue;
        if (within(start, size, to_word(LLKERNEL_IMPL_getFeatureAddressROM__I(h)),
                   static_cast<std::uint32_t>(LLKERNEL_RAM_getFeatureSizeROM(h))) ||
            within(start, size, to_word(LLKERNEL_IMPL_getFeatureAddressRAM__I(h)),
                   static_cast<std::uint32_t>(LLKERNEL_RAM_getFeatureSizeRAM(h))))
            return true;
    }
    return false;
}

struct Block {
    word_t start = 0;
    std::uint32_t size = 0;
    bool valid = false;
};

Block block_of(std::int64_t block) {
    Block b;
    const auto d = static_cast<std::uint64_t>(block);
    if ((d & 3u) != 0 || d < chunk_start() || d + 8 > chunk_end()) return b;
    b.start = loadWord(static_cast<word_t>(d));
    b.size = loadWord(static_cast<word_t>(d) + 4);
    b.valid = block_memory(b.start, b.size);
    return b;
}

void* handle_ptr(std::int32_t handle) { return to_ptr<void>(static_cast<word_t>(handle)); }

bool known_handle(std::int32_t handle) {
    return handle != 0 && LLKERNEL_RAM_getFeatureSizeROM(handle_ptr(handle)) >= 0;
}

// The struct at a block start: the read-only area of an allocated
// application, large enough for the struct's fixed part.
bool struct_block(const Block& b) {
    if (!b.valid || b.size < installed_struct::kCrcTable) return false;
    for (std::int32_t i = 0; i < LLKERNEL_IMPL_getAllocatedFeaturesCount(); ++i) {
        void* h = LLKERNEL_IMPL_getFeatureHandle__I(i);
        if (h != nullptr && to_word(LLKERNEL_IMPL_getFeatureAddressROM__I(h)) == b.start) return true;
    }
    return false;
}

// Writes into a read-only area through the port.
bool rom_write(word_t destination, const void* src, std::uint32_t length) {
    return LLKERNEL_IMPL_copyToROM__LrowFen_lang_Ram_2LrowFen_lang_Ram_2I(to_ptr<void>(destination), src,
                                                                       static_cast<std::int32_t>(length)) == 0;
}

bool byte_array_range(word_t array, std::int32_t offset, std::int32_t length) {
    if (array == 0 || offset < 0 || length < 0) return false;
    const std::int32_t n = java::array_length(array);
    return offset <= n - length;
}

}  // namespace

std::int32_t checkKernelOf(std::int32_t handle) {
    ensureKernelIdentity();
    void* h = handle_ptr(handle);
    KernelCheck c{0, 0};
    if (handle == 0 || !known_handle(handle)) {
        // A handle the port does not know has no area to read.
        c = {6, kInitNoHandle};
    } else {
        c = checkStoredFeature(to_word(LLKERNEL_IMPL_getFeatureAddressROM__I(h)),
                               static_cast<std::uint32_t>(LLKERNEL_RAM_getFeatureSizeROM(h)),
                               to_word(LLKERNEL_IMPL_getFeatureAddressRAM__I(h)));
    }
    if (c.portCode == 0) return 0;
    return LLKERNEL_IMPL_onFeatureInitializationError__II(h, c.portCode) == 0 ? 1 : c.result;
}

}  // namespace tarvelo

using namespace tarvelo;

extern "C" {

// static long getMemoryBlockStartAddress(long block)
void VMNative_com_olun_kf_DynamicLoaderNatives_getMemoryBlockStartAddress(VMThread* t) {
    const Block b = block_of(ExecutionContext::longArg(t, 5));
    ExecutionContext::returnLong(t, b.valid ? static_cast<std::int64_t>(static_cast<std::int32_t>(b.start)) : 0);
}

// static int getMemoryBlockSize(long block)
void VMNative_com_olun_kf_DynamicLoaderNatives_getMemoryBlockSize(VMThread* t) {
    const Block b = block_of(ExecutionContext::longArg(t, 5));
    ExecutionContext::returnInt(t, b.valid ? static_cast<std::int32_t>(b.size) : 0);
}

// static long getFeatureCodeChunk()
void VMNative_com_olun_kf_DynamicLoaderNatives_getFeatureCodeChunk(VMThread* t) {
    const word_t c = chunk_start();
    const std::uint32_t words[2] = {c + image::kCodeChunkDescriptorSize,
                                    chunk_end() - c - image::kCodeChunkDescriptorSize};
    std::memcpy(to_ptr<void>(c), words, sizeof words);
    ExecutionContext::returnLong(t, c);
}

// static boolean copyByteArrayToRAM(long block, byte[] src, int srcOffset, int blockOffset, int length)
void VMNative_com_olun_kf_DynamicLoaderNatives_copyByteArrayToRAM(VMThread* t) {
    const Block b = block_of(ExecutionContext::longArg(t, 8));
    const word_t src = ExecutionContext::refArg(t, 0);
    const std::int32_t srcOffset = ExecutionContext::intArg(t, 7);
    const std::int32_t blockOffset = ExecutionContext::intArg(t, 6);
    const std::int32_t length = ExecutionContext::intArg(t, 5);
    bool ok = b.valid && byte_array_range(src, srcOffset, length) && blockOffset >= 0 &&
              static_cast<std::uint64_t>(blockOffset) + static_cast<std::uint64_t>(length) <= b.size;
    if (ok) std::memmove(to_ptr<void>(b.start + static_cast<std::uint32_t>(blockOffset)),
                         java::array_data<std::uint8_t>(src) + srcOffset, static_cast<std::size_t>(length));
    ExecutionContext::returnInt(t, ok ? 1 : 0);
}

// static boolean copyRAMToROM(long destination, long srcBlock, int srcOffset, int length)
void VMNative_com_olun_kf_DynamicLoaderNatives_copyRAMToROM(VMThread* t) {
    const auto destination = static_cast<word_t>(ExecutionContext::longArg(t, 9));
    const Block b = block_of(ExecutionContext::longArg(t, 7));
    const std::int32_t srcOffset = ExecutionContext::intArg(t, 6);
    const std::int32_t length = ExecutionContext::intArg(t, 5);
    bool ok = b.valid && srcOffset >= 0 && length >= 0 &&
              static_cast<std::uint64_t>(srcOffset) + static_cast<std::uint64_t>(length) <= b.size;
    if (ok) {
        const auto* p = to_ptr<const std::uint8_t>(b.start + static_cast<std::uint32_t>(srcOffset));
        gCopyCrc = crc32::update(gCopyCrc, p, static_cast<std::uint32_t>(length));
        ok = rom_write(destination, p, static_cast<std::uint32_t>(length));
    }
    ExecutionContext::returnInt(t, ok ? 1 : 0);
}

// static boolean copyByteArrayToROM(long destination, byte[] src, int srcOffset, int length)
void VMNative_com_olun_kf_DynamicLoaderNatives_copyByteArrayToROM(VMThread* t) {
    const auto destination = static_cast<word_t>(ExecutionContext::longArg(t, 7));
    const word_t src = ExecutionContext::refArg(t, 0);
    const std::int32_t srcOffset = ExecutionContext::intArg(t, 6);
    const std::int32_t length = ExecutionContext::intArg(t, 5);
    if (src == 0) {
        ExecutionContext::throwNew(t, types::null_pointer());
        return;
    }
    if (!byte_array_range(src, srcOffset, length)) {
        ExecutionContext::checkIndexRange(t);
        return;
    }
    const std::uint8_t* p = java::array_data<std::uint8_t>(src) + srcOffset;
    gCopyCrc = crc32::update(gCopyCrc, p, static_cast<std::uint32_t>(length));
    ExecutionContext::returnInt(t, rom_write(destination, p, static_cast<std::uint32_t>(length)) ? 1 : 0);
}

// static boolean flushCopyToROM()
void VMNative_com_olun_kf_DynamicLoaderNatives_flushCopyToROM(VMThread* t) {
    ExecutionContext::returnInt(t, LLKERNEL_IMPL_flushCopyToROM() == 0 ? 1 : 0);
}

// static void copyToROMCRCStart()
void VMNative_com_olun_kf_DynamicLoaderNatives_copyToROMCRCStart(VMThread*) { gCopyCrc = 0xFFFFFFFFu; }

// static int copyToROMCRCEnd()
void VMNative_com_olun_kf_DynamicLoaderNatives_copyToROMCRCEnd(VMThread* t) {
    ExecutionContext::returnInt(t, static_cast<std::int32_t>(~gCopyCrc));
}

// static int allocateFeature(int romSize, int ramSize)
void VMNative_com_olun_kf_DynamicLoaderNatives_allocateFeature(VMThread* t) {
    void* h = LLKERNEL_IMPL_allocateFeature__II(ExecutionContext::intArg(t, 6), ExecutionContext::intArg(t, 5));
    ExecutionContext::returnInt(t, static_cast<std::int32_t>(to_word(h)));
}

// static void freeFeature(int handle)
void VMNative_com_olun_kf_DynamicLoaderNatives_freeFeature(VMThread* t) {
    const std::int32_t handle = ExecutionContext::intArg(t, 5);
    // An application still linked keeps its storage until it is unlinked.
    for (int i = 0; i < installedFeatureSlots(); ++i) {
        const word_t s = installedFeatureEntry(i);
        if (s != 0 && s == to_word(LLKERNEL_IMPL_getFeatureAddressROM__I(handle_ptr(handle)))) return;
    }
    LLKERNEL_IMPL_freeFeature__I(handle_ptr(handle));
}

// static long getFeatureAddressROM(int handle): the argument lies at the
// top of the two result words.
void VMNative_com_olun_kf_DynamicLoaderNatives_getFeatureAddressROM(VMThread* t) {
    const std::int32_t handle = ExecutionContext::intArg(t, 6);
    const word_t a = known_handle(handle) ? to_word(LLKERNEL_IMPL_getFeatureAddressROM__I(handle_ptr(handle))) : 0;
    ExecutionContext::returnLong(t, (a & 15u) == 0 ? a : 0);
}

// static long getFeatureAddressRAM(int handle)
void VMNative_com_olun_kf_DynamicLoaderNatives_getFeatureAddressRAM(VMThread* t) {
    const std::int32_t handle = ExecutionContext::intArg(t, 6);
    const word_t a = known_handle(handle) ? to_word(LLKERNEL_IMPL_getFeatureAddressRAM__I(handle_ptr(handle))) : 0;
    ExecutionContext::returnLong(t, (a & 7u) == 0 ? a : 0);
}

// static int getInstalledFeaturesCount()
void VMNative_com_olun_kf_DynamicLoaderNatives_getInstalledFeaturesCount(VMThread* t) {
    ExecutionContext::returnInt(t, LLKERNEL_IMPL_getAllocatedFeaturesCount());
}

// static int getInstalledFeatureHandle(int index)
void VMNative_com_olun_kf_DynamicLoaderNatives_getInstalledFeatureHandle(VMThread* t) {
    void* h = LLKERNEL_IMPL_getFeatureHandle__I(ExecutionContext::intArg(t, 5));
    ExecutionContext::returnInt(t, static_cast<std::int32_t>(to_word(h)));
}

// static int getInstalledFeatureStructSize(int crcSections)
void VMNative_com_olun_kf_DynamicLoaderNatives_getInstalledFeatureStructSize(VMThread* t) {
    ExecutionContext::returnInt(t, installed_struct::size(ExecutionContext::intArg(t, 5)));
}

// static void initializeInstalledFeatureStruct(long block, int handle, int sectionTable, int romSize,
//                                              int ramSize, int crcSections)
void VMNative_com_olun_kf_DynamicLoaderNatives_initializeInstalledFeatureStruct(VMThread* t) {
    ensureKernelIdentity();
    const Block b = block_of(ExecutionContext::longArg(t, 10));
    const std::int32_t handle = ExecutionContext::intArg(t, 9);
    InstalledStructFields f{};
    f.sectionTable = static_cast<word_t>(ExecutionContext::intArg(t, 8));
    const std::int32_t romSize = ExecutionContext::intArg(t, 7);
    const std::int32_t ramSize = ExecutionContext::intArg(t, 6);
    f.crcSections = ExecutionContext::intArg(t, 5);
    if (!struct_block(b) || !known_handle(handle) || romSize < 0 || ramSize < 0 || f.crcSections < 0 ||
        romSize > LLKERNEL_RAM_getFeatureSizeROM(handle_ptr(handle)) ||
        ramSize > LLKERNEL_RAM_getFeatureSizeRAM(handle_ptr(handle)) ||
        static_cast<std::uint64_t>(installed_struct::size(f.crcSections)) > b.size)
        return;
    f.romStart = to_word(LLKERNEL_IMPL_getFeatureAddressROM__I(handle_ptr(handle)));
    f.ramStart = to_word(LLKERNEL_IMPL_getFeatureAddressRAM__I(handle_ptr(handle)));
    f.romSize = static_cast<std::uint32_t>(romSize);
    f.ramSize = static_cast<std::uint32_t>(ramSize);
    // Built on a copy, then written through the port.
    alignas(4) static std::uint8_t scratch[installed_struct::kCrcTable];
    initializeInstalledStruct(to_word(scratch), f);
    rom_write(b.start, scratch, sizeof scratch);
}

// static void initializeInstalledFeatureStructCRCSection(long block, int index, int offset, int size, int crc)
void VMNative_com_olun_kf_DynamicLoaderNatives_initializeInstalledFeatureStructCRCSection(VMThread* t) {
    const Block b = block_of(ExecutionContext::longArg(t, 9));
    if (!struct_block(b)) return;
    const std::int32_t index = ExecutionContext::intArg(t, 8);
    const auto offset = static_cast<std::uint32_t>(ExecutionContext::intArg(t, 7));
    const auto size = static_cast<std::uint32_t>(ExecutionContext::intArg(t, 6));
    const auto crc = static_cast<std::uint32_t>(ExecutionContext::intArg(t, 5));
    namespace s = installed_struct;
    const std::uint32_t entries = (loadWord(b.start + s::kCrcTableEnd) - (b.start + s::kCrcTable)) / s::kCrcEntryBytes;
    if (index < 0 || static_cast<std::uint32_t>(index) >= entries) return;
    const word_t romStart = loadWord(b.start + s::kRomStart);
    const std::uint32_t entry[3] = {romStart + offset, romStart + offset + size, crc};
    rom_write(b.start + s::kCrcTable + s::kCrcEntryBytes * static_cast<std::uint32_t>(index), entry, sizeof entry);
}

// static void finalizeInstalledFeatureStruct(long block)
void VMNative_com_olun_kf_DynamicLoaderNatives_finalizeInstalledFeatureStruct(VMThread* t) {
    const Block b = block_of(ExecutionContext::longArg(t, 5));
    if (!struct_block(b)) return;
    namespace s = installed_struct;
    const word_t tableEnd = loadWord(b.start + s::kCrcTableEnd);
    if (tableEnd < b.start + s::kCrcTable || tableEnd > b.start + b.size) return;
    const std::uint32_t crc = overallCrc(b.start);
    rom_write(b.start + s::kOverallCrc, &crc, 4);
}

// static int applyRelocations(long block, byte[] records, int index, int count, long typesBase, long base1,
//                             long blockBase, long base2, long base3)
void VMNative_com_olun_kf_DynamicLoaderNatives_applyRelocations(VMThread* t) {
    ensureKernelIdentity();
    const Block b = block_of(ExecutionContext::longArg(t, 17));
    const word_t records = ExecutionContext::refArg(t, 0);
    const std::int32_t index = ExecutionContext::intArg(t, 16);
    const std::int32_t count = ExecutionContext::intArg(t, 15);
    RelocationBases bases{};
    bases.typesBase = static_cast<word_t>(ExecutionContext::longArg(t, 13));
    bases.base1 = static_cast<word_t>(ExecutionContext::longArg(t, 11));
    bases.blockBase = static_cast<word_t>(ExecutionContext::longArg(t, 9));
    bases.base2 = static_cast<word_t>(ExecutionContext::longArg(t, 7));
    bases.base3 = static_cast<word_t>(ExecutionContext::longArg(t, 5));
    if (!b.valid || records == 0) {
        ExecutionContext::returnInt(t, -1);
        return;
    }
    // Relocations change RAM only: a read-only area is written by copies.
    bases.blockStart = b.start;
    bases.blockSize = b.size;
    ExecutionContext::returnInt(t, applyRelocations(gRelocation, bases, java::array_data<std::uint8_t>(records),
                                                    java::array_length(records), index, count));
}

// static int checkKernel(int handle)
void VMNative_com_olun_kf_DynamicLoaderNatives_checkKernel(VMThread* t) {
    ExecutionContext::returnInt(t, checkKernelOf(ExecutionContext::intArg(t, 5)));
}

// static long addLinkedFeature(int handle, boolean silent)
void VMNative_com_olun_kf_DynamicLoaderNatives_addLinkedFeature(VMThread* t) {
    const std::int32_t handle = ExecutionContext::intArg(t, 6);
    const bool silent = ExecutionContext::intArg(t, 5) != 0;
    std::int64_t result = -1;
    gAlreadyInstalled = 0;
    if (known_handle(handle)) {
        void* h = handle_ptr(handle);
        const word_t rom = to_word(LLKERNEL_IMPL_getFeatureAddressROM__I(h));
        const word_t ram = to_word(LLKERNEL_IMPL_getFeatureAddressRAM__I(h));
        HeapSet* heap = heapSet();
        const std::int64_t quota = heap != nullptr ? heap->maxMemory() : 0;
        // Every word of the stored application that the virtual machine
        // follows on its own is checked against its areas before the first
        // use (linking zeroes its statics): the file's CRC proves nothing
        // against a file made to harm.
        const ApplicationAreas areas{
            rom, static_cast<word_t>(rom + static_cast<std::uint32_t>(LLKERNEL_RAM_getFeatureSizeROM(h))), ram,
            static_cast<word_t>(ram + static_cast<std::uint32_t>(LLKERNEL_RAM_getFeatureSizeRAM(h))),
            to_word(_java_statics_refls_kernel_end) - to_word(_java_statics_refls_kernel_start),
            to_word(_java_header_types_start),
            to_word(_java_header_types_end),
            to_word(_java_Ljava_lang_Class),
            to_word(_java_vornsection_header_start),
            to_word(_java_vornsection_end),
            to_word(_java_Ljava_lang_String),
            to_word(_java_AC),
            to_word(_java_kernel_addresses_table_start),
            to_word(_java_kernel_addresses_table_end)};
        if (installedApplicationFault(areas) == ApplicationFault::kNone)
            result = linkInstalledFeature(rom, quota, &gAlreadyInstalled);
    }
    if (result < 0 && result >= -5 && result != -1 && !silent) {
        static constexpr std::int32_t kCodes[] = {0, 0, kInitTooMany, kInitAlreadyInstalled, kInitRomOverlap,
                                                  kInitRamOverlap};
        if (LLKERNEL_IMPL_onFeatureInitializationError__II(handle_ptr(handle), kCodes[-result]) == 0) result = -1;
    }
    ExecutionContext::returnLong(t, result);
}

// static long getAlreadyInstalledFeatureDescriptor()
void VMNative_com_olun_kf_DynamicLoaderNatives_getAlreadyInstalledFeatureDescriptor(VMThread* t) {
    ExecutionContext::returnLong(t, gAlreadyInstalled);
}

// static boolean unlink(Feature feature)
void VMNative_com_olun_kf_DynamicLoaderNatives_unlink(VMThread* t) {
    const word_t record = featureObjectRecord(ExecutionContext::refArg(t, 0));
    bool ok = false;
    if (record != 0) {
        const std::uint8_t state = featureRuntimeState(record)->state;
        // Storage in use is never freed: a started application's code runs,
        // a stopped one's objects live, and the dead objects of one returned
        // to INSTALLED still wait for the sweep, which reads their types
        // from that storage. A full collection removes them first.
        if (state == static_cast<std::uint8_t>(FeatureState::kInstalled) ||
            state == static_cast<std::uint8_t>(FeatureState::kUninstalled)) {
            HeapSet* heap = heapSet();
            if (heap != nullptr) heap->runThenCollect([](void*) {}, nullptr, true);
            ok = featureRuntimeState(record)->liveObject == 0;
        }
    }
    if (ok) {
        const word_t structAddress = installedFeatureEntry(installedSlotOf(record));
        // Read after the collection, which may have moved the object.
        unlinkFeature(ExecutionContext::refArg(t, 0));
        // A killed application stays in the stopped list until the kernel
        // takes it; its record must not outlive its storage there.
        if (FeatureManager* m = feature_manager()) m->forgetStoppedFeature(record);
        removeFeature(record);
        for (std::int32_t i = 0; i < LLKERNEL_IMPL_getAllocatedFeaturesCount(); ++i) {
            void* h = LLKERNEL_IMPL_getFeatureHandle__I(i);
            if (h != nullptr && to_word(LLKERNEL_IMPL_getFeatureAddressROM__I(h)) == structAddress) {
                LLKERNEL_IMPL_freeFeature__I(h);
                break;
            }
        }
    }
    ExecutionContext::returnInt(t, ok ? 1 : 0);
}

}  // extern "C"
