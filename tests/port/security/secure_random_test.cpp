// The secure-random natives: ids and resources, chunking, reseeding with the
// seed as additional input, and refusals that write nothing.
#include "port/security/secure_random_natives.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/port/security/java_bytes.h"
#include "tests/port/security/sni_stand_in.h"
#include "vm/core/engine/word_ptr.h"

namespace {

using namespace tarvelo::secure_random;
using tarvelo::test::JavaBytes;
using tarvelo::test::reset_sni;
using tarvelo::test::sni;

#define NATIVE(name) Java_com_olun_support_security_securerandom_NativeSecureRandomSpi_##name

// The generator the hooks stand for.
struct FakeGenerator {
    std::vector<int> seed_results;  // consumed in order; 0 once empty
    int random_result = 0;
    int reseed_result = 0;
    std::vector<std::size_t> draws;
    std::vector<std::string> reseeds;  // the additional input of each reseed
    int seeds = 0;
} fake;

const GeneratorHooks kFakeHooks = {
    []() {
        ++fake.seeds;
        if (fake.seed_results.empty()) return 0;
        const int r = fake.seed_results.front();
        fake.seed_results.erase(fake.seed_results.begin());
        return r;
    },
    [](unsigned char* out, std::size_t length) {
        fake.draws.push_back(length);
        for (std::size_t i = 0; i < length; ++i) out[i] = 0x5A;
        return fake.random_result;
    },
    [](const unsigned char* additional, std::size_t length) {
        fake.reseeds.emplace_back(reinterpret_cast<const char*>(additional), additional ? length : 0);
        return fake.reseed_result;
    },
};

class SecureRandomNatives : public ::testing::Test {
protected:
    void SetUp() override {
        reset_sni();
        reset_for_test();
        fake = FakeGenerator{};
        set_generator_hooks(&kFakeHooks);
    }
    void TearDown() override {
        set_generator_hooks(nullptr);
        reset_for_test();
    }
};

TEST_F(SecureRandomNatives, InstancesShareOneGeneratorSeededOnce) {
    EXPECT_EQ(NATIVE(nativeInit)(), 1);
    EXPECT_EQ(NATIVE(nativeInit)(), 2);
    EXPECT_EQ(fake.seeds, 1);
    ASSERT_EQ(sni().registered.size(), 2u);
    EXPECT_EQ(sni().registered[1].first, reinterpret_cast<void*>(2));
    EXPECT_EQ(sni().registered[1].second, reinterpret_cast<void*>(NATIVE(nativeClose)));
    EXPECT_EQ(static_cast<std::uint32_t>(NATIVE(nativeGetCloseId)()), tarvelo::function_word(NATIVE(nativeClose)));
    EXPECT_TRUE(sni().raised.empty());
}

TEST_F(SecureRandomNatives, RefusedRegistrationRaisesAndTakesNoId) {
    sni().register_result = -1;
    EXPECT_EQ(NATIVE(nativeInit)(), -1);
    ASSERT_EQ(sni().raised.size(), 1u);
    EXPECT_EQ(sni().raised[0].code, -1);
    EXPECT_EQ(sni().raised[0].message, "Can't register SNI native resource");
    sni().register_result = 0;
    EXPECT_EQ(NATIVE(nativeInit)(), 1);
}

TEST_F(SecureRandomNatives, NextBytesDrawsInChunksOfAtMost1024) {
    ASSERT_EQ(NATIVE(nativeInit)(), 1);
    JavaBytes bytes(2500);
    NATIVE(nativeNextBytes)(1, bytes.elements(), 2500);
    EXPECT_EQ(fake.draws, (std::vector<std::size_t>{1024, 1024, 452}));
    EXPECT_EQ(bytes.bytes(), std::string(2500, 0x5A));

    fake.draws.clear();
    NATIVE(nativeNextBytes)(1, bytes.elements(), 0);
    EXPECT_TRUE(fake.draws.empty());
    EXPECT_TRUE(sni().raised.empty());
}

TEST_F(SecureRandomNatives, FailingChunkRaisesAndTheRestIsStillProduced) {
    ASSERT_EQ(NATIVE(nativeInit)(), 1);
    fake.random_result = -0x0034;
    JavaBytes bytes(1500);
    NATIVE(nativeNextBytes)(1, bytes.elements(), 1500);
    EXPECT_EQ(fake.draws, (std::vector<std::size_t>{1024, 476}));
    ASSERT_FALSE(sni().raised.empty());
    EXPECT_EQ(sni().raised[0].code, -0x0034);
    EXPECT_EQ(sni().raised[0].message, "mbedtls_ctr_drbg_random failed");
}

// Without a successful seed the generator delivers nothing; the next
// instance retries the seeding.
TEST_F(SecureRandomNatives, NoOutputWithoutSuccessfulSeed) {
    fake.seed_results = {-0x0034};
    EXPECT_EQ(NATIVE(nativeInit)(), -1);
    ASSERT_EQ(sni().raised.size(), 1u);
    EXPECT_EQ(sni().raised[0].code, -0x0034);
    EXPECT_EQ(sni().raised[0].message, "mbedtls_ctr_drbg_seed failed");

    JavaBytes bytes(16, 7);
    NATIVE(nativeNextBytes)(1, bytes.elements(), 16);
    EXPECT_EQ(sni().raised.size(), 2u);
    EXPECT_TRUE(fake.draws.empty());
    EXPECT_EQ(bytes.bytes(), std::string(16, 7));

    EXPECT_EQ(NATIVE(nativeInit)(), 1);
    EXPECT_EQ(fake.seeds, 2);
    NATIVE(nativeNextBytes)(1, bytes.elements(), 16);
    EXPECT_EQ(fake.draws.size(), 1u);
    EXPECT_EQ(sni().raised.size(), 2u);
}

TEST_F(SecureRandomNatives, BadRangesRaiseAndWriteNothing) {
    ASSERT_EQ(NATIVE(nativeInit)(), 1);
    JavaBytes bytes(8, 7);
    const std::int32_t lengths[] = {-1, 9, INT32_MIN, INT32_MAX};
    for (std::int32_t length : lengths) {
        sni().raised.clear();
        NATIVE(nativeNextBytes)(1, bytes.elements(), length);
        EXPECT_EQ(sni().raised.size(), 1u) << length;
        NATIVE(nativeSetSeed)(1, bytes.elements(), length);
        EXPECT_EQ(sni().raised.size(), 2u) << length;
    }
    NATIVE(nativeNextBytes)(1, nullptr, 1);
    NATIVE(nativeSetSeed)(1, nullptr, 1);
    EXPECT_TRUE(fake.draws.empty());
    EXPECT_TRUE(fake.reseeds.empty());
    EXPECT_EQ(bytes.bytes(), std::string(8, 7));
}

// A seeded generator is reseeded with the seed as additional input, in
// pieces of at most 256 bytes; it is never seeded a second time.
TEST_F(SecureRandomNatives, SetSeedReseedsWithTheSeedInPieces) {
    ASSERT_EQ(NATIVE(nativeInit)(), 1);
    std::string seed(600, 0);
    for (std::size_t i = 0; i < seed.size(); ++i) seed[i] = static_cast<char>(i * 7);
    JavaBytes bytes(seed);
    NATIVE(nativeSetSeed)(1, bytes.elements(), 600);
    EXPECT_EQ(fake.seeds, 1);
    ASSERT_EQ(fake.reseeds.size(), 3u);
    EXPECT_EQ(fake.reseeds[0], seed.substr(0, 256));
    EXPECT_EQ(fake.reseeds[1], seed.substr(256, 256));
    EXPECT_EQ(fake.reseeds[2], seed.substr(512));

    fake.reseeds.clear();
    NATIVE(nativeSetSeed)(1, bytes.elements(), 0);
    EXPECT_EQ(fake.reseeds, (std::vector<std::string>{""}));
    EXPECT_TRUE(sni().raised.empty());

    fake.reseed_result = -0x0038;
    fake.reseeds.clear();
    NATIVE(nativeSetSeed)(1, bytes.elements(), 600);
    EXPECT_EQ(fake.reseeds.size(), 1u);
    ASSERT_EQ(sni().raised.size(), 1u);
    EXPECT_EQ(sni().raised[0].code, -0x0038);
    EXPECT_EQ(sni().raised[0].message, "mbedtls_ctr_drbg_reseed failed");
}

// The same natives over mbedTLS's own generator.
TEST(SecureRandomGenerator, RealGeneratorDrawsAndTakesLongSeeds) {
    reset_sni();
    reset_for_test();
    ASSERT_EQ(NATIVE(nativeInit)(), 1);
    JavaBytes a(2500), b(2500);
    NATIVE(nativeNextBytes)(1, a.elements(), 2500);
    NATIVE(nativeNextBytes)(1, b.elements(), 2500);
    EXPECT_NE(a.bytes(), b.bytes());
    EXPECT_NE(a.bytes(), std::string(2500, 0));
    // More than the generator takes as additional input in one call.
    JavaBytes seed(std::string(1000, 'x'));
    NATIVE(nativeSetSeed)(1, seed.elements(), 1000);
    NATIVE(nativeNextBytes)(1, a.elements(), 32);
    EXPECT_TRUE(sni().raised.empty());
    reset_for_test();
}

}  // namespace
