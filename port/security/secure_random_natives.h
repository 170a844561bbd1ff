// The secure-random natives of the class library's SecureRandom service:
// every instance draws from one CTR-DRBG of mbedTLS seeded from its entropy
// collector (a generator of its own, apart from the TLS natives' one).
// Instances are plain ids registered as native resources.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// The new instance id (1, 2, ...), or -1 with a NativeException raised.
std::int32_t Java_com_olun_support_security_securerandom_NativeSecureRandomSpi_nativeInit(void);
// Fills bytes[0, length) with random bytes, in chunks of at most 1,024.
void Java_com_olun_support_security_securerandom_NativeSecureRandomSpi_nativeNextBytes(std::int32_t id,
                                                                                       std::int8_t* bytes,
                                                                                       std::int32_t length);
// Mixes seed[0, length) into the generator.
void Java_com_olun_support_security_securerandom_NativeSecureRandomSpi_nativeSetSeed(std::int32_t id,
                                                                                     const std::int8_t* seed,
                                                                                     std::int32_t length);
void Java_com_olun_support_security_securerandom_NativeSecureRandomSpi_nativeClose(std::int32_t id);
// The address of nativeClose, with which the class library unregisters an
// instance's native resource.
std::int32_t Java_com_olun_support_security_securerandom_NativeSecureRandomSpi_nativeGetCloseId(void);
}

namespace tarvelo::secure_random {

// Largest piece handed to the generator in one call.
constexpr std::int32_t kRandomChunk = 1024;
constexpr std::int32_t kSeedPiece = 256;

// Test hooks: the generator is replaced by these functions while set
// (null restores mbedTLS's); they have the signatures of
// mbedtls_ctr_drbg_seed's entropy-driven seeding, mbedtls_ctr_drbg_random
// and mbedtls_ctr_drbg_reseed without the context.
struct GeneratorHooks {
    int (*seed)();
    int (*random)(unsigned char* out, std::size_t length);
    int (*reseed)(const unsigned char* additional, std::size_t length);
};
void set_generator_hooks(const GeneratorHooks* hooks);
// Forgets the generator and the ids, as at start.
void reset_for_test();

}  // namespace tarvelo::secure_random
