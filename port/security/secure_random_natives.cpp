#include "port/security/secure_random_natives.h"

#include <mbedtls/ctr_drbg.h>
#include <mbedtls/entropy.h>

#include <algorithm>

#include "port/security/tls_errors.h"
#include "vm/core/engine/java_array_range.h"
#include "vm/core/engine/sni.h"
#include "vm/core/engine/word_ptr.h"

namespace {

using tarvelo::secure_random::GeneratorHooks;
using tarvelo::secure_random::kRandomChunk;
using tarvelo::secure_random::kSeedPiece;

// Used by the application task only: all green threads run on it.
mbedtls_ctr_drbg_context ctr_drbg;
mbedtls_entropy_context entropy;
// The contexts have been initialised (once, for the process's life).
bool contexts_ready = false;
// A seeding succeeded: only then does the generator deliver output. A
// failed first seeding leaves it unseeded, and the next instance retries.
bool initialized = false;
std::int32_t native_ids = 1;
const GeneratorHooks* hooks = nullptr;

int first_seed() {
    if (hooks != nullptr) return hooks->seed();
    if (!contexts_ready) {
        mbedtls_ctr_drbg_init(&ctr_drbg);
        mbedtls_entropy_init(&entropy);
        contexts_ready = true;
    }
    return mbedtls_ctr_drbg_seed(&ctr_drbg, mbedtls_entropy_func, &entropy, nullptr, 0);
}

int draw(unsigned char* out, std::size_t length) {
    if (hooks != nullptr) return hooks->random(out, length);
    return mbedtls_ctr_drbg_random(&ctr_drbg, out, length);
}

int reseed(const unsigned char* additional, std::size_t length) {
    if (hooks != nullptr) return hooks->reseed(additional, length);
    return mbedtls_ctr_drbg_reseed(&ctr_drbg, additional, length);
}

// Seeds the generator unless it is already seeded; raises on failure.
bool ensure_seeded() {
    if (initialized) return true;
    const int r = first_seed();
    if (r != 0) {
        SNI_throwNativeException(r, "mbedtls_ctr_drbg_seed failed");
        return false;
    }
    initialized = true;
    return true;
}

}  // namespace

namespace tarvelo::secure_random {

void set_generator_hooks(const GeneratorHooks* h) { hooks = h; }

void reset_for_test() {
    if (contexts_ready) {
        mbedtls_ctr_drbg_free(&ctr_drbg);
        mbedtls_entropy_free(&entropy);
        contexts_ready = false;
    }
    initialized = false;
    native_ids = 1;
}

}  // namespace tarvelo::secure_random

extern "C" std::int32_t Java_com_olun_support_security_securerandom_NativeSecureRandomSpi_nativeInit(void) {
    if (!ensure_seeded()) return -1;
    const std::int32_t id = native_ids;
    // The close function is the native itself: the class library names it
    // (nativeGetCloseId) when it unregisters the instance. It takes the id in
    // the resource's word.
    const auto close = reinterpret_cast<SNIX_resource_close>(
        reinterpret_cast<void*>(Java_com_olun_support_security_securerandom_NativeSecureRandomSpi_nativeClose));
    if (SNI_registerResource(reinterpret_cast<void*>(static_cast<std::intptr_t>(id)), close, nullptr) != 0) {
        SNI_throwNativeException(-1, "Can't register SNI native resource");
        return -1;
    }
    ++native_ids;
    return id;
}

extern "C" void Java_com_olun_support_security_securerandom_NativeSecureRandomSpi_nativeNextBytes(std::int32_t,
                                                                                                  std::int8_t* bytes,
                                                                                                  std::int32_t length) {
    // A bad range raises before anything is written.
    if (!tarvelo::java_array_range_ok(bytes, 0, length)) {
        SNI_throwNativeException(tarvelo::tls::kInvalidArgument, "Invalid argument");
        return;
    }
    // A generator that was never seeded must not deliver output.
    if (!initialized) {
        SNI_throwNativeException(-1, "Secure random generator not seeded");
        return;
    }
    auto* out = reinterpret_cast<unsigned char*>(bytes);
    for (std::int32_t done = 0; done < length;) {
        const std::int32_t n = std::min(kRandomChunk, length - done);
        const int r = draw(out + done, static_cast<std::size_t>(n));
        if (r != 0) SNI_throwNativeException(r, "mbedtls_ctr_drbg_random failed");
        done += n;
    }
}

extern "C" void Java_com_olun_support_security_securerandom_NativeSecureRandomSpi_nativeSetSeed(std::int32_t,
                                                                                                const std::int8_t* seed,
                                                                                                std::int32_t length) {
    if (!tarvelo::java_array_range_ok(seed, 0, length)) {
        SNI_throwNativeException(tarvelo::tls::kInvalidArgument, "Invalid argument");
        return;
    }
    if (!ensure_seeded()) return;
    // A seeded generator may not be seeded again: the seed is mixed in as
    // additional input of reseeds, in pieces the generator accepts (its
    // entropy and additional input together are bounded).
    const auto* in = reinterpret_cast<const unsigned char*>(seed);
    std::int32_t done = 0;
    do {
        const std::int32_t n = std::min(kSeedPiece, length - done);
        const int r = reseed(n > 0 ? in + done : nullptr, static_cast<std::size_t>(n));
        if (r != 0) {
            SNI_throwNativeException(r, "mbedtls_ctr_drbg_reseed failed");
            return;
        }
        done += n;
    } while (done < length);
}

extern "C" void Java_com_olun_support_security_securerandom_NativeSecureRandomSpi_nativeClose(std::int32_t) {
    // Instances share the one generator: nothing to release.
}

extern "C" std::int32_t Java_com_olun_support_security_securerandom_NativeSecureRandomSpi_nativeGetCloseId(void) {
    return static_cast<std::int32_t>(
        tarvelo::function_word(Java_com_olun_support_security_securerandom_NativeSecureRandomSpi_nativeClose));
}
