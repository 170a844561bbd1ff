#include "tests/vm/memory/synthetic_heap.h"

#include "vm/memory/heap_verifier.h"

namespace tarvelo::test {

namespace {

alignas(16) std::uint8_t gTypes[0x400];
std::uint32_t gHierRef[2];
std::uint32_t gHierWeak[3];
std::uint32_t gHierObj[1];
std::uint32_t gHierString[2];
SyntheticTypes gSyn{};
bool gSynReady = false;

alignas(16) std::uint8_t gFeatureTypes[0x40];
std::uint32_t gFeatureRecord[17];
std::uint32_t gFeatureDescriptor[17];
FeatureRuntimeState gFeatureState;
std::uint32_t gFeatureStatics[8];
SyntheticFeature gFeature{};

alignas(8) std::uint8_t gHeap[1u << 20];
alignas(8) std::uint8_t gImmortal[64u << 10];
std::uint32_t gStatics[HeapTest::kRootSlots];
std::uint32_t gOomeFrames[11];
alignas(8) std::uint8_t gGcAllocation[GarbageCollector::kAllocationBytes + 8];
std::uint32_t gFakeOome[4];
HeapSet gHeapSet;
EnvLog gLog;

void writeType(word_t base, std::uint32_t offset, word_t classType, std::uint8_t flags,
               std::uint8_t depth, word_t hierarchy, std::uint16_t size, std::uint16_t refBytes) {
    std::uint8_t* t = to_ptr<std::uint8_t>(base + offset);
    std::memset(t, 0, 36);
    std::uint32_t classOffset = classType - to_word(gTypes);
    std::uint32_t header = memory::immortal_header(classOffset);
    std::memcpy(t, &header, 4);
    t[image::kTypeFlagsOffset] = flags;
    t[image::kTypeDepthOffset] = depth;
    std::memcpy(t + image::kClassHierarchyOffset, &hierarchy, 4);
    std::memcpy(t + image::kClassInstanceSizeOffset, &size, 2);
    std::memcpy(t + image::kClassRefBytesOffset, &refBytes, 2);
}

void writeArrayType(std::uint32_t offset, std::uint32_t element, word_t classType) {
    std::uint8_t* t = gTypes + offset;
    std::memset(t, 0, 20);
    std::uint32_t header = memory::immortal_header(classType - to_word(gTypes));
    std::memcpy(t, &header, 4);
    t[image::kTypeFlagsOffset] = image::kTypeArray;
    std::memcpy(t + image::kArrayElementOffset, &element, 4);
}

word_t noFeatureRecord(int) { return 0; }

}  // namespace

const SyntheticTypes& syntheticTypes() {
    if (gSynReady) return gSyn;
    word_t b = to_word(gTypes);
    SyntheticTypes& s = gSyn;
    s.base = b;
    s.object = b + 0x000;
    s.klass = b + 0x030;
    s.leaf = b + 0x060;
    s.node1 = b + 0x090;
    s.node2 = b + 0x0C0;
    s.node3 = b + 0x0F0;
    s.reference = b + 0x120;
    s.weakRef = b + 0x150;
    s.weakSub = b + 0x180;
    s.autoClose = b + 0x1B0;
    s.softRef = b + 0x1E0;
    s.queue = b + 0x210;
    s.proxy = b + 0x240;
    s.intArray = b + 0x270;
    s.byteArray = b + 0x290;
    s.longArray = b + 0x2B0;
    s.charArray = b + 0x2D0;
    s.objectArray = b + 0x2F0;
    s.oddSize = b + 0x310;
    s.oddRefs = b + 0x340;
    s.refsOverSize = b + 0x370;
    s.string = b + 0x3A0;
    s.stringSub = b + 0x3D0;
    s.concreteEnd = b + 0x400;
    gHierObj[0] = s.object;
    gHierRef[0] = s.object;
    gHierRef[1] = s.reference;
    gHierWeak[0] = s.object;
    gHierWeak[1] = s.reference;
    gHierWeak[2] = s.weakRef;
    gHierString[0] = s.object;
    gHierString[1] = s.string;
    word_t ho = to_word(gHierObj), hr = to_word(gHierRef), hw = to_word(gHierWeak);
    word_t hs = to_word(gHierString);
    writeType(b, 0x000, s.klass, 0, 0, 0, 8, 0);
    writeType(b, 0x030, s.klass, 0, 1, ho, 8, 0);
    writeType(b, 0x060, s.klass, 0, 1, ho, 16, 0);
    writeType(b, 0x090, s.klass, 0, 1, ho, 16, 4);
    writeType(b, 0x0C0, s.klass, 0, 1, ho, 24, 8);
    writeType(b, 0x0F0, s.klass, 0, 1, ho, 24, 12);
    writeType(b, 0x120, s.klass, 0, 1, ho, 28, 16);
    writeType(b, 0x150, s.klass, 0, 2, hr, 28, 16);
    writeType(b, 0x180, s.klass, 0, 3, hw, 28, 16);
    writeType(b, 0x1B0, s.klass, 0, 3, hw, 32, 20);
    writeType(b, 0x1E0, s.klass, 0, 2, hr, 36, 16);
    writeType(b, 0x210, s.klass, 0, 1, ho, 24, 12);
    writeType(b, 0x240, s.klass, 0, 2, hr, 28, 16);
    writeArrayType(0x270, memory::kElemInt, s.klass);
    writeArrayType(0x290, memory::kElemByte, s.klass);
    writeArrayType(0x2B0, memory::kElemLong, s.klass);
    writeArrayType(0x2D0, memory::kElemChar, s.klass);
    writeArrayType(0x2F0, s.object, s.klass);
    writeType(b, 0x310, s.klass, 0, 1, ho, 18, 0);
    writeType(b, 0x340, s.klass, 0, 1, ho, 24, 6);
    writeType(b, 0x370, s.klass, 0, 1, ho, 20, 16);
    writeType(b, 0x3A0, s.klass, 0, 1, ho, 24, 4);
    writeType(b, 0x3D0, s.klass, 0, 2, hs, 24, 4);

    // The feature: its one class lies 0x10 from its own types base, and the
    // type header is owned by the feature's record.
    SyntheticFeature& f = gFeature;
    f.record = to_word(gFeatureRecord);
    f.state = &gFeatureState;
    f.featureType = to_word(gFeatureTypes) + 0x10;
    writeType(to_word(gFeatureTypes), 0x10, s.klass, 0, 1, ho, 16, 4);
    std::uint32_t owner = f.record;
    std::memcpy(to_ptr(f.featureType + memory::kOwnerOffset), &owner, 4);
    gFeatureDescriptor[kDescriptorTypesBase] = to_word(gFeatureTypes);
    gFeatureRecord[feature_record::kDescriptor] = to_word(gFeatureDescriptor);
    gFeatureRecord[feature_record::kRuntimeState] = to_word(&gFeatureState);
    gFeatureRecord[feature_record::kRefStaticsStart] = to_word(gFeatureStatics);
    gFeatureRecord[feature_record::kRefStaticsEnd] = to_word(gFeatureStatics + 8);
    gSynReady = true;
    return gSyn;
}

SyntheticFeature& syntheticFeature() {
    syntheticTypes();
    return gFeature;
}

EnvLog& envLog() { return gLog; }

void HeapTest::build(std::uint32_t heapBytes, std::uint32_t immortalBytes,
                     std::uint32_t initialBytes) {
    const SyntheticTypes& s = syntheticTypes();
    gLog = EnvLog{};
    std::memset(gStatics, 0, sizeof gStatics);
    std::memset(gFeatureStatics, 0, sizeof gFeatureStatics);
    std::memset(&gFeatureState, 0, sizeof gFeatureState);
    gFeatureState.state = static_cast<std::uint8_t>(FeatureState::kStarted);
    storeU64(gFeatureState.quota, 0x7FFFFFFF);

    MemoryEnvironment env{};
    env.currentOwnerFeature = [] { return gLog.currentFeature; };
    env.makeOutOfMemoryErrorPending = [](word_t) { ++gLog.oomePending; };
    env.throwNewOutOfMemoryError = [] { ++gLog.newOome; };
    env.onMarkStackOverflow = [] { ++gLog.stackOverflows; };
    env.traceStarted = [] { return true; };
    env.onGcStart = [](std::int32_t) { ++gLog.gcStarts; };
    env.currentTimeMillis = [] { return gLog.now; };
    env.resumeWaitingThread = [](word_t t) { gLog.resumed.push_back(t); };
    env.closeGuardedResource = [](word_t e) { gLog.closed.push_back(e); };
    env.featureRecord = [](int i) -> word_t {
        return i == 0 && gLog.featureInstalled ? gFeature.record : 0;
    };
    resetMemoryEnvironment();
    setMemoryEnvironment(env);

    MemoryLayout layout{};
    layout.heapStart = to_word(gHeap);
    layout.heapEnd = to_word(gHeap) + heapBytes;
    layout.heapInitialSize = initialBytes != 0 ? initialBytes : heapBytes;
    layout.immortalsStart = to_word(gImmortal);
    layout.immortalsEnd = to_word(gImmortal) + immortalBytes;
    layout.oomeFramesStart = to_word(gOomeFrames);
    layout.oomeFramesEnd = to_word(gOomeFrames + 11);
    layout.staticsRefStart = to_word(gStatics);
    layout.staticsRefEnd = to_word(gStatics + kRootSlots);
    layout.typesBase = s.base;
    layout.concreteTypesEnd = s.concreteEnd;
    layout.typesEnd = s.concreteEnd;
    layout.classType = s.klass;
    layout.stringType = s.string;
    layout.weakReferenceType = s.weakRef;
    layout.softReferenceType = 0;
    layout.proxyType = s.proxy;
    layout.autoCloseWeakRefType = s.autoClose;
    layout.outOfMemoryError = to_word(&gFakeOome[1]);
    layout.softRefMsPerFreeKb = 1000;

    gHeapSet.~HeapSet();
    new (&gHeapSet) HeapSet();
    hs_ = &gHeapSet;
    hs_->construct(layout, to_word(gGcAllocation));
    std::int8_t error = 0;
    hs_->initialize(&error);
    hs_->start();
    setHeapSet(hs_);
}

void HeapTest::tearDown() {
    setHeapSet(nullptr);
    resetMemoryEnvironment();
    MemoryEnvironment env{};
    env.featureRecord = noFeatureRecord;
    setMemoryEnvironment(env);
}

word_t& HeapTest::root(std::uint32_t i) { return gStatics[i]; }

word_t HeapTest::newObject(word_t type) { return hs_->allocateObject(type); }

word_t HeapTest::newArray(word_t type, std::int32_t length) { return hs_->allocateArray(type, length); }

word_t HeapTest::newWeak(word_t referent, word_t queue, word_t type) {
    root(kRootSlots - 1) = referent;
    root(kRootSlots - 2) = queue;
    word_t w = newObject(type != 0 ? type : syntheticTypes().weakRef);
    referent = root(kRootSlots - 1);
    queue = root(kRootSlots - 2);
    root(kRootSlots - 1) = root(kRootSlots - 2) = 0;
    if (w == 0) return 0;
    wordAt(w - 4) = referent;
    wordAt(w - 12) = queue;
    return w;
}

bool HeapTest::verify() { return verifyHeap(*hs_).ok; }

std::string HeapTest::verifyFault() { return verifyHeap(*hs_).fault; }

}  // namespace tarvelo::test
