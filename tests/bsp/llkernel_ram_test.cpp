#include "bsp/zev/port/kf/inc/LLKERNEL_RAM.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/address.h"
#include "vm/memory/best_fit_allocator.h"

namespace {

// The port's diagnostics go to the debug console (standard output).
std::string gConsole;

const std::string& console() {
    gConsole += ::testing::internal::GetCapturedStdout();
    ::testing::internal::CaptureStdout();
    return gConsole;
}

void clearConsole() {
    console();
    gConsole.clear();
}

}  // namespace

namespace tarvelo {
namespace {

class LlkernelRamTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::testing::internal::CaptureStdout();
        resetPort();
    }
    static void resetPort() {
        LLKERNEL_RAM_BESTFIT_initialize(kernel_working_buffer,
                                        kernel_working_buffer + kKernelWorkingBufferSize);
        clearConsole();
    }
    void TearDown() override { ::testing::internal::GetCapturedStdout(); }
    static std::uint32_t blockBytes(void* handle) {
        return *reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(handle) - 4) &
               ~BestFitAllocator::kAllocatedBit;
    }
};

TEST_F(LlkernelRamTest, BlockLayoutForReadOnly100Ram50) {
    void* h = LLKERNEL_IMPL_allocateFeature__II(100, 50);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(blockBytes(h), 192u + 8u) << "192 bytes asked, plus the allocator's tags";
    word_t block = to_word(h);
    word_t rom = to_word(LLKERNEL_IMPL_getFeatureAddressROM__I(h));
    word_t ram = to_word(LLKERNEL_IMPL_getFeatureAddressRAM__I(h));
    EXPECT_EQ(rom % 16, 0u);
    EXPECT_GE(rom, block + 20);
    EXPECT_EQ(rom, (block + 35) & ~15u);
    EXPECT_EQ(ram % 8, 0u);
    EXPECT_EQ(ram, (rom + 100 + 7) & ~7u);
    EXPECT_LE(ram + 50, block + 192);
    EXPECT_EQ(LLKERNEL_IMPL_getAllocatedFeaturesCount(), 1);
    EXPECT_EQ(LLKERNEL_IMPL_getFeatureHandle__I(0), h);
}

TEST_F(LlkernelRamTest, SeventeenthAllocationIsRefused) {
    void* handles[16];
    for (auto& h : handles) {
        h = LLKERNEL_IMPL_allocateFeature__II(64, 32);
        ASSERT_NE(h, nullptr);
    }
    auto* heapWords = reinterpret_cast<std::uint32_t*>(kernel_working_buffer);
    std::uint32_t topBefore = heapWords[16];
    EXPECT_EQ(LLKERNEL_IMPL_allocateFeature__II(64, 32), nullptr);
    EXPECT_EQ(heapWords[16], topBefore) << "the allocator is not touched";
    EXPECT_EQ(LLKERNEL_IMPL_getAllocatedFeaturesCount(), 16);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(LLKERNEL_IMPL_getFeatureHandle__I(i), handles[i]);
}

struct BadSize {
    std::int32_t rom;
    std::int32_t ram;
};

class LlkernelBadSizeTest : public LlkernelRamTest, public ::testing::WithParamInterface<BadSize> {};

TEST_P(LlkernelBadSizeTest, RefusedWithoutAllocating) {
    EXPECT_EQ(LLKERNEL_IMPL_allocateFeature__II(GetParam().rom, GetParam().ram), nullptr);
    EXPECT_EQ(LLKERNEL_IMPL_getAllocatedFeaturesCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, LlkernelBadSizeTest,
                         ::testing::Values(BadSize{-1, 10}, BadSize{10, -60},
                                           BadSize{0x7FFFFFFF, 0x7FFFFFFF},
                                           BadSize{0x7FFFFFF0, 0},
                                           BadSize{0, static_cast<std::int32_t>(
                                                          kKernelWorkingBufferSize)}));

TEST_F(LlkernelRamTest, FreeFirstReturnsMemoryAndUnknownHandleOnlyLogs) {
    void* a = LLKERNEL_IMPL_allocateFeature__II(100, 0);
    void* b = LLKERNEL_IMPL_allocateFeature__II(100, 0);
    LLKERNEL_IMPL_freeFeature__I(a);
    EXPECT_EQ(LLKERNEL_IMPL_getAllocatedFeaturesCount(), 1);
    EXPECT_EQ(LLKERNEL_IMPL_getFeatureHandle__I(0), b);
    EXPECT_EQ(LLKERNEL_IMPL_allocateFeature__II(100, 0), a) << "memory went back to the allocator";
    clearConsole();
    LLKERNEL_IMPL_freeFeature__I(kernel_working_buffer + 4000);
    EXPECT_EQ(LLKERNEL_IMPL_getAllocatedFeaturesCount(), 2);
    EXPECT_NE(console().find("[LLKERNEL][E] "), std::string::npos);
    EXPECT_NE(console().find("Feature free issue (feature not found)\n"), std::string::npos);
}

TEST_F(LlkernelRamTest, FreeWithNothingInstalledLogs) {
    LLKERNEL_IMPL_freeFeature__I(kernel_working_buffer + 100);
    EXPECT_NE(console().find("Feature free issue (no feature installed)\n"), std::string::npos);
}

TEST_F(LlkernelRamTest, LookupsOfUnknownHandlesAndIndexes) {
    void* a = LLKERNEL_IMPL_allocateFeature__II(10, 10);
    EXPECT_EQ(LLKERNEL_IMPL_getFeatureHandle__I(1), nullptr);
    EXPECT_NE(console().find("No feature found at index (allocation_index=1)\n"), std::string::npos);
    EXPECT_EQ(LLKERNEL_IMPL_getFeatureHandle__I(-1), nullptr);
    void* bogus = static_cast<std::uint8_t*>(a) + 4;
    EXPECT_EQ(LLKERNEL_IMPL_getFeatureAddressROM__I(bogus), nullptr);
    EXPECT_EQ(LLKERNEL_IMPL_getFeatureAddressRAM__I(bogus), nullptr);
    EXPECT_NE(console().find("Feature handle not valid (handle=0x"), std::string::npos);
}

TEST_F(LlkernelRamTest, CopyToRomBounds) {
    void* h = LLKERNEL_IMPL_allocateFeature__II(64, 16);
    auto* rom = static_cast<std::uint8_t*>(LLKERNEL_IMPL_getFeatureAddressROM__I(h));
    std::uint8_t src[65];
    for (int i = 0; i < 65; ++i) src[i] = static_cast<std::uint8_t>(i + 1);
    struct Case {
        int offset;
        int length;
        int result;
    } cases[] = {{0, 64, 0}, {60, 4, 0}, {60, 5, -1}, {0, 65, -1}, {-1, 2, -1}, {64, 0, 0},
                 {10, -1, -1}};
    for (const auto& c : cases) {
        clearConsole();
        EXPECT_EQ(LLKERNEL_IMPL_copyToROM__LrowFen_lang_Ram_2LrowFen_lang_Ram_2I(
                      rom + c.offset, src, c.length),
                  c.result)
            << c.offset << "+" << c.length;
        if (c.result != 0) {
            EXPECT_NE(console().find("[LLKERNEL][E] "), std::string::npos);
        }
    }
    EXPECT_EQ(std::memcmp(rom, src, 60), 0);
    EXPECT_EQ(LLKERNEL_IMPL_copyToROM__LrowFen_lang_Ram_2LrowFen_lang_Ram_2I(nullptr, src, 1), -1);
    EXPECT_NE(console().find("Wrong parameters passed\n"), std::string::npos);
    clearConsole();
    EXPECT_EQ(LLKERNEL_IMPL_copyToROM__LrowFen_lang_Ram_2LrowFen_lang_Ram_2I(rom + 65, src, 1), -1);
    EXPECT_NE(console().find("ROM destination address do not match LLKERNEL installed feature ROM "
                            "area\n"),
              std::string::npos);
    EXPECT_EQ(LLKERNEL_IMPL_flushCopyToROM(), 0);
}

TEST_F(LlkernelRamTest, InitializationErrorsFreeOnlyForCodes1_2_5) {
    struct Case {
        int code;
        bool freed;
        const char* text;
    } cases[] = {{1, true, "CORRUPTED CONTENT"},
                 {2, true, "INCOMPATIBLE_KERNEL_WRONG_UID"},
                 {3, false, "TOO_MANY_INSTALLED"},
                 {4, false, "ALREADY_INSTALLED"},
                 {5, true, "INCOMPATIBLE_KERNEL_WRONG_ADDRESSES"},
                 {6, false, "ROM_OVERLAP"},
                 {7, false, "RAM_OVERLAP"},
                 {8, false, "RAM_ADDRESS_CHANGED"},
                 {9, false, "[LLKERNEL][A] No LLKERNEL error code found for 9\n"},
                 {0, false, "[LLKERNEL][A] No LLKERNEL error code found for 0\n"}};
    for (const auto& c : cases) {
        resetPort();
        void* h = LLKERNEL_IMPL_allocateFeature__II(32, 32);
        EXPECT_EQ(LLKERNEL_IMPL_onFeatureInitializationError__II(h, c.code), 0);
        EXPECT_EQ(LLKERNEL_IMPL_getAllocatedFeaturesCount(), c.freed ? 0 : 1) << c.code;
        EXPECT_NE(console().find(c.text), std::string::npos) << c.code << ": " << console();
    }
}

}  // namespace
}  // namespace tarvelo
