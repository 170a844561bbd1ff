// The loader's checks of installed applications on storage of the test's
// own: CRC-32, relocation records, the installed struct and its kernel
// check, and linking into the installed-feature table.
#include "vm/memory/feature_loader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "vm/core/engine/feature_context.h"
#include "vm/core/engine/feature_manager.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/feature_record.h"
#include "vm/memory/feature_runtime.h"
#include "vm/memory/installed_feature_table.h"
#include "vm/model/object_header.h"

namespace tarvelo {
namespace {


// --- the kernel -------------------------------------------------------------------
alignas(4) std::uint8_t kSignature[24] = {'t', 'e', 's', 't', '-', 'k', 'e', 'r', 'n', 'e', 'l'};
alignas(4) std::uint8_t kCompatible[] = {24, 'o', 'l', 'd', '-', 'k', 'e', 'r', 'n', 'e', 'l', 0, 0, 0, 0, 0,
                                         0,  0,   0,   0,   0,   0,   0,   0,   0};
alignas(4) std::uint32_t kAddresses[4] = {0x1000, 0x2000, 0x3000, 0x4010};
constexpr word_t kKernelTypes = 0x4000;

void use_test_kernel() {
    setKernelIdentity({kSignature, kCompatible, kCompatible + sizeof kCompatible,
                       reinterpret_cast<const std::uint8_t*>(kAddresses),
                       reinterpret_cast<const std::uint8_t*>(kAddresses + 4), kKernelTypes});
}

TEST(Crc32, IeeeCheckValueAndEmptyRange) {
    const char* text = "123456789";
    EXPECT_EQ(crc32::of(reinterpret_cast<const std::uint8_t*>(text), 9), 0xCBF43926u);
    EXPECT_EQ(crc32::of(nullptr, 0), 0u);
    // The running form over two parts equals the whole.
    std::uint32_t running = crc32::update(0xFFFFFFFFu, reinterpret_cast<const std::uint8_t*>(text), 4);
    running = crc32::update(running, reinterpret_cast<const std::uint8_t*>(text) + 4, 5);
    EXPECT_EQ(~running, 0xCBF43926u);
}

TEST(InstalledStruct, SizeGrowsByTwelveBytesPerSection) {
    EXPECT_EQ(installed_struct::size(0), 68);
    EXPECT_EQ(installed_struct::size(3), 104);
}

// --- relocations ---------------------------------------------------------------------

struct Records {
    std::vector<std::uint8_t> bytes;
    void number(std::uint32_t v) {
        do {
            std::uint8_t b = v & 0x7Fu;
            v >>= 7;
            if (v != 0) b |= 0x80u;
            bytes.push_back(b);
        } while (v != 0);
    }
    Records& add(int base, std::uint32_t delta, std::uint32_t value) {
        bytes.push_back(static_cast<std::uint8_t>(1 | (base << 6)));
        number(delta);
        number(value);
        return *this;
    }
    Records& bits(int base, std::uint32_t delta, std::uint32_t value, std::uint32_t fixed) {
        bytes.push_back(static_cast<std::uint8_t>(3 | 8 | (base << 6)));
        number(delta);
        number(value);
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(fixed >> (8 * i)));
        return *this;
    }
    std::int32_t size() const { return static_cast<std::int32_t>(bytes.size()); }
};

class Relocations : public ::testing::Test {
  protected:
    void SetUp() override {
        use_test_kernel();
        std::memset(block, 0, sizeof block);
        bases = {to_word(block), sizeof block, 0x8000, 0x100000, 0x100000, 0x200000, 0x300000};
    }
    std::int32_t apply(const Records& r, std::int32_t index, std::int32_t count) {
        return applyRelocations(state, bases, r.bytes.data(), r.size(), index, count);
    }
    // Static: every address the machine sees lies below 4 GiB.
    alignas(4) static inline std::uint8_t block[64];
    RelocationState state;
    RelocationBases bases{};
};

TEST_F(Relocations, AddsEachBaseAtTheRunningOffset) {
    Records r;
    r.add(1, 0, 0x10).add(2, 4, 0x20).add(3, 4, 0x30).add(0, 4, 2);
    storeWord(to_word(block) + 12, 5);
    EXPECT_EQ(apply(r, 0, 10), 0);
    EXPECT_EQ(loadWord(to_word(block)), 0x100010u);
    EXPECT_EQ(loadWord(to_word(block) + 4), 0x200020u);
    EXPECT_EQ(loadWord(to_word(block) + 8), 0x300030u);
    EXPECT_EQ(loadWord(to_word(block) + 12), 0x3005u);  // kernel addresses table word 2, plus the word
}

TEST_F(Relocations, CountTwoOverFiveRecordsStopsAtTheThirdAndResumes) {
    Records r;
    std::int32_t third = 0;
    for (int i = 0; i < 5; ++i) {
        if (i == 2) third = r.size();
        r.add(1, i == 0 ? 0 : 4, 1);
    }
    EXPECT_EQ(apply(r, 0, 2), -third);
    EXPECT_EQ(apply(r, third, 10), 0);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(loadWord(to_word(block) + 4 * i), 0x100001u) << i;
}

TEST_F(Relocations, BitFieldInsertChecksMaskAndFixedBits) {
    struct Case {
        std::uint32_t mask, value, fixed;
        std::int32_t result;
        std::uint32_t word;
    };
    const Case cases[] = {
        {0x0000FFF0u, 0x8000u + 0x120u, 0x1u, 0, 0x121u},   // fits: value - types base, with the fixed bits
        {0x0000FFF0u, 0x8000u + 0x10000u, 0, 167, 0xFFF0u}, // a bit outside the mask
        {0x0000FFF0u, 0x8000u + 0x30u, 0x10u, 168, 0xFFF0u}, // collides with the fixed bits
    };
    for (const Case& c : cases) {
        SetUp();
        storeWord(to_word(block), c.mask);
        Records r;
        r.bits(1, 0, c.value - bases.base1, c.fixed);
        EXPECT_EQ(apply(r, 0, 1), c.result) << c.value;
        EXPECT_EQ(loadWord(to_word(block)), c.word) << c.value;
    }
}

TEST_F(Relocations, MalformedRecordsAreRefused) {
    Records outside;
    outside.add(1, 64, 1);  // the word would lie past the block
    EXPECT_EQ(apply(outside, 0, 1), -1);
    Records pastTable;
    pastTable.add(0, 0, 4);  // the table has 4 words
    EXPECT_EQ(apply(pastTable, 0, 1), -1);
    Records truncated;
    truncated.bytes = {0x41, 0x80};  // the offset's number never ends
    EXPECT_EQ(apply(truncated, 0, 1), -1);
    Records badType;
    badType.bytes = {0x42, 0, 0};
    EXPECT_EQ(apply(badType, 0, 1), -1);
    Records one;
    one.add(1, 0, 1);
    // No record may be applied while records are left: not "done".
    EXPECT_EQ(apply(one, 0, 0), -1);
    EXPECT_EQ(apply(one, 0, -3), -1);
    EXPECT_EQ(loadWord(to_word(block)), 0u);
    EXPECT_EQ(apply(one, one.size(), 0), 0);  // nothing left
}

// --- the installed struct and its kernel check -------------------------------------------

class StoredFeature : public ::testing::Test {
  public:
    static constexpr std::uint32_t kRomSize = 256;
    void SetUp() override {
        use_test_kernel();
        std::memset(rom, 0, sizeof rom);
        std::memset(ram, 0, sizeof ram);
        for (std::uint32_t i = 104; i < kRomSize; ++i) rom[i] = static_cast<std::uint8_t>(i * 7);
        initializeInstalledStruct(romStart(), {romStart(), kRomSize, to_word(ram), sizeof ram, romStart() + 104, 2});
        section(0, 104, 64);
        section(1, 168, 88);
        finalizeInstalledStruct(romStart());
    }
    word_t romStart() { return to_word(rom); }
    void section(std::int32_t i, std::uint32_t offset, std::uint32_t size) {
        ASSERT_TRUE(setCrcSection(romStart(), i, offset, size, crc32::of(rom + offset, size)));
    }
    KernelCheck check(word_t ramStart) { return checkStoredFeature(romStart(), kRomSize, ramStart); }
    alignas(16) static inline std::uint8_t rom[kRomSize];
    alignas(8) static inline std::uint8_t ram[32];
};

TEST_F(StoredFeature, AcceptedByTheKernelItWasMadeFor) {
    const KernelCheck c = check(to_word(ram));
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(c.portCode, 0);
    EXPECT_EQ(loadWord(romStart() + 44), 't' | 'e' << 8 | 's' << 16 | 't' << 24);
}

TEST_F(StoredFeature, EachFailureHasItsResultAndPortCode) {
    struct Case {
        const char* what;
        void (*spoil)(StoredFeature&);
        std::int32_t result, portCode;
    };
    const Case cases[] = {
        {"struct changed", [](StoredFeature& s) { s.rom[20] ^= 1; }, 2, kInitCorrupted},
        {"content changed", [](StoredFeature& s) { s.rom[200] ^= 1; }, 2, kInitCorrupted},
        {"another kernel",
         [](StoredFeature& s) {
             s.rom[44] = 'X';
             finalizeInstalledStruct(s.romStart());
         },
         3, kInitWrongUid},
        {"other kernel addresses",
         [](StoredFeature& s) {
             storeWord(s.romStart() + 36, 1234);
             finalizeInstalledStruct(s.romStart());
         },
         4, kInitWrongAddresses},
        {"section outside the read-only area",
         [](StoredFeature& s) {
             storeWord(s.romStart() + 68 + 12 + 4, s.romStart() + kRomSize + 64);
             finalizeInstalledStruct(s.romStart());
         },
         2, kInitCorrupted},
        {"CRC table outside the read-only area",
         // Refused before any of the table is read (so not finalised here:
         // that would read past the area).
         [](StoredFeature& s) { storeWord(s.romStart() + 32, s.romStart() + kRomSize + 12); },
         2, kInitCorrupted},
    };
    for (const Case& c : cases) {
        SetUp();
        c.spoil(*this);
        const KernelCheck k = check(to_word(ram));
        EXPECT_EQ(k.result, c.result) << c.what;
        EXPECT_EQ(k.portCode, c.portCode) << c.what;
    }
    SetUp();
    const KernelCheck moved = check(to_word(ram) + 8);
    EXPECT_EQ(moved.result, 5);
    EXPECT_EQ(moved.portCode, kInitRamAddressChanged);
}

TEST_F(StoredFeature, CompatibleUidIsAccepted) {
    std::memcpy(rom + 44, kCompatible + 1, 24);
    finalizeInstalledStruct(romStart());
    EXPECT_EQ(check(to_word(ram)).result, 0);
}

TEST_F(StoredFeature, CrcSectionIndexOutsideTheTableWritesNothing) {
    const std::vector<std::uint8_t> before(rom, rom + kRomSize);
    EXPECT_FALSE(setCrcSection(romStart(), 2, 0, 4, 0));
    EXPECT_FALSE(setCrcSection(romStart(), -1, 0, 4, 0));
    EXPECT_EQ(std::vector<std::uint8_t>(rom, rom + kRomSize), before);
}

// --- linking into the table ------------------------------------------------------------------

// An application's read-only records as the table reads them.
struct FakeApplication {
    alignas(16) std::uint32_t structWords[17]{};
    std::uint32_t sections[18]{};
    std::uint32_t record[17]{};
    FeatureRuntimeState state{};
    std::uint32_t moduleData[6]{};  // 4 reference fields below a header of 2 words
    alignas(4) std::uint8_t name[16]{};
    std::uint32_t statics[4]{1, 2, 3, 4};

    FakeApplication(const char* text, word_t rom0, word_t rom1, word_t ram0, word_t ram1) {
        structWords[2] = rom0;
        structWords[3] = rom1;
        structWords[4] = ram0;
        structWords[5] = ram1;
        structWords[6] = to_word(sections);
        sections[0] = 1;
        sections[17] = to_word(record);
        record[feature_record::kRuntimeState] = to_word(&state);
        record[feature_record::kModuleData] = to_word(&moduleData[4]);
        moduleData[0] = to_word(name);  // at -16 from the object at moduleData[4]
        const auto n = static_cast<std::uint32_t>(std::strlen(text));
        std::memcpy(name + 8, &n, 4);
        name[12] = static_cast<std::uint8_t>(text[0]);
        name[13] = static_cast<std::uint8_t>(text[1]);
        record[6] = to_word(statics);
        record[7] = to_word(statics + 4);
    }
    word_t structAddress() { return to_word(structWords); }
};

// Records must lie below 4 GiB like every address the machine sees: in
// static storage, not on the stack or the host heap.
alignas(FakeApplication) unsigned char gPool[20][sizeof(FakeApplication)];
int gPoolUsed = 0;

FakeApplication& app(const char* name, word_t rom0, word_t rom1, word_t ram0, word_t ram1) {
    return *new (gPool[gPoolUsed++]) FakeApplication(name, rom0, rom1, ram0, ram1);
}

class LinkTable : public ::testing::Test {
  protected:
    void SetUp() override {
        gPoolUsed = 0;
        clearInstalledFeatureTable();
    }
    void TearDown() override { clearInstalledFeatureTable(); }
};

TEST_F(LinkTable, NameAndPlacementConflictsAreRefused) {
    word_t same = 0;
    FakeApplication& a = app("ab", 0x1000, 0x2000, 0x9000, 0x9100);
    ASSERT_EQ(linkInstalledFeature(a.structAddress(), 1000, &same), to_word(a.record));
    EXPECT_EQ(a.state.state, static_cast<std::uint8_t>(FeatureState::kUninstalled));
    EXPECT_EQ(a.state.level, 5);
    EXPECT_EQ(a.statics[0], 0u);
    EXPECT_EQ(loadU64(a.state.quota), 1000u);

    FakeApplication& sameName = app("ab", 0x3000, 0x4000, 0xA000, 0xA100);
    EXPECT_EQ(linkInstalledFeature(sameName.structAddress(), 0, &same), -3);
    EXPECT_EQ(same, to_word(a.record));
    // One read-only area inside another: neither end lies in the other's range.
    FakeApplication& inside = app("cd", 0x1100, 0x1200, 0xB000, 0xB100);
    EXPECT_EQ(linkInstalledFeature(inside.structAddress(), 0, &same), -4);
    FakeApplication& around = app("ef", 0x0800, 0x3000, 0xB000, 0xB100);
    EXPECT_EQ(linkInstalledFeature(around.structAddress(), 0, &same), -4);
    FakeApplication& ramInside = app("gh", 0x5000, 0x6000, 0x9010, 0x9020);
    EXPECT_EQ(linkInstalledFeature(ramInside.structAddress(), 0, &same), -5);
    EXPECT_EQ(installedSlotOf(to_word(inside.record)), -1);
}

TEST_F(LinkTable, SeventeenthApplicationFindsTheTableFull) {
    std::vector<FakeApplication*> apps;
    word_t same = 0;
    for (int i = 0; i < 17; ++i) {
        const char name[3] = {static_cast<char>('a' + i), 'x', 0};
        const word_t base = 0x10000 + 0x1000 * static_cast<word_t>(i);
        apps.push_back(&app(name, base, base + 0x800, base + 0x800, base + 0x1000));
        const std::int64_t r = linkInstalledFeature(apps.back()->structAddress(), 0, &same);
        if (i < 16) EXPECT_EQ(r, to_word(apps.back()->record)) << i;
        else EXPECT_EQ(r, -2);
    }
}

TEST_F(LinkTable, UnlinkLeavesAStaleFeatureObjectWithNothingToReach) {
    word_t same = 0;
    FakeApplication& a = app("ab", 0x1000, 0x2000, 0x9000, 0x9100);
    const word_t record = static_cast<word_t>(linkInstalledFeature(a.structAddress(), 0, &same));
    alignas(8) static std::uint8_t featureObject[32];
    const word_t feature = to_word(featureObject) + 12;
    setFeatureObjectHandle(feature, record);
    EXPECT_EQ(featureObjectRecord(feature), record);
    EXPECT_EQ(unlinkFeature(feature), record);
    removeFeature(record);
    EXPECT_EQ(featureObjectHandle(feature), -1);
    EXPECT_EQ(featureObjectRecord(feature), 0u);
    EXPECT_EQ(unlinkFeature(feature), 0u);
    EXPECT_EQ(installedSlotOf(record), -1);
    EXPECT_EQ(a.state.state, static_cast<std::uint8_t>(FeatureState::kUninstalled));
}

TEST_F(LinkTable, UnlinkedApplicationLeavesTheStoppedList) {
    // Killed applications wait in the stopped list until the kernel takes
    // them; one unlinked first must not stay there, its storage freed.
    word_t same = 0;
    FakeApplication* apps[3] = {&app("ab", 0x1000, 0x2000, 0x9000, 0x9100), &app("cd", 0x3000, 0x4000, 0xA000, 0xA100),
                                &app("ef", 0x5000, 0x6000, 0xB000, 0xB100)};
    word_t records[3];
    FeatureManager m{};
    for (int i = 0; i < 3; ++i) {
        records[i] = static_cast<word_t>(linkInstalledFeature(apps[i]->structAddress(), 0, &same));
        m.queueStoppedFeature(records[i]);
    }
    struct Case {
        int forget;
        word_t head;
    };
    // The list is last queued first: ef, cd, ab.
    const Case cases[] = {{1, records[2]}, {2, records[0]}, {1, records[0]}, {0, 0}};
    for (const Case& c : cases) {
        m.forgetStoppedFeature(records[c.forget]);
        EXPECT_EQ(m.stoppedHead, c.head) << c.forget;
        EXPECT_EQ(apps[c.forget]->state.nextStopped, 0u) << c.forget;
        for (word_t r = m.stoppedHead; r != 0; r = featureRuntimeState(r)->nextStopped)
            EXPECT_NE(r, records[c.forget]) << c.forget;
    }
}

// --- the current thread as application code sees it --------------------------------------

TEST(ContextOwner, ApplicationCodeNeverSeesAnotherApplicationsThreadObject) {
    // Thread objects as their owner words show them: two words of header.
    alignas(8) static std::uint32_t kernelThread[2] = {0, 0};
    alignas(8) static std::uint32_t appThread[2] = {0, 0x5000};
    alignas(8) static std::uint32_t second[2] = {0, 0};
    static VMThread t{};
    t.featureThreadObject = to_word(second);
    t.javaThread = to_word(kernelThread);
    EXPECT_EQ(FeatureIsolation::contextOwnerOf(&t, 0), to_word(kernelThread));
    EXPECT_EQ(FeatureIsolation::contextOwnerOf(&t, 0x5000), to_word(kernelThread));
    t.javaThread = to_word(appThread);
    EXPECT_EQ(FeatureIsolation::contextOwnerOf(&t, 0), to_word(appThread));
    EXPECT_EQ(FeatureIsolation::contextOwnerOf(&t, 0x5000), to_word(appThread));
    EXPECT_EQ(FeatureIsolation::contextOwnerOf(&t, 0x6000), to_word(second));
}

}  // namespace
}  // namespace tarvelo
