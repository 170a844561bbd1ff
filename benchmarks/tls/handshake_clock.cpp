// The benchmark's clocks on the TLS library (linked with --wrap, benchmark
// only): the host time spent inside the library's handshake calls (all of
// the firmware's own work for a handshake: crypto, parsing, hashing and the
// lwIP sends), and within it the public-key operations (the key exchange's
// key pair and shared secret, the peer's signature check).
#include <mbedtls/ecdh.h>
#include <mbedtls/pk.h>
#include <mbedtls/ssl.h>

#include <chrono>
#include <cstdint>

namespace {

std::int64_t library_ns = 0;
std::int64_t public_key_ns = 0;

std::int64_t now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Runs `call` and adds its duration to `total`.
template <typename Call>
int timed(std::int64_t& total, Call call) {
    const std::int64_t start = now_ns();
    const int r = call();
    total += now_ns() - start;
    return r;
}

}  // namespace

extern "C" {

int __real_mbedtls_ssl_handshake(mbedtls_ssl_context* ssl);
int __real_mbedtls_ecdh_make_public(mbedtls_ecdh_context* ctx, size_t* olen, unsigned char* buf, size_t blen,
                                    int (*f_rng)(void*, unsigned char*, size_t), void* p_rng);
int __real_mbedtls_ecdh_calc_secret(mbedtls_ecdh_context* ctx, size_t* olen, unsigned char* buf, size_t blen,
                                    int (*f_rng)(void*, unsigned char*, size_t), void* p_rng);
int __real_mbedtls_pk_verify_restartable(mbedtls_pk_context* ctx, mbedtls_md_type_t md_alg, const unsigned char* hash,
                                         size_t hash_len, const unsigned char* sig, size_t sig_len,
                                         mbedtls_pk_restart_ctx* rs_ctx);

int __wrap_mbedtls_ssl_handshake(mbedtls_ssl_context* ssl) {
    return timed(library_ns, [&] { return __real_mbedtls_ssl_handshake(ssl); });
}

int __wrap_mbedtls_ecdh_make_public(mbedtls_ecdh_context* ctx, size_t* olen, unsigned char* buf, size_t blen,
                                    int (*f_rng)(void*, unsigned char*, size_t), void* p_rng) {
    return timed(public_key_ns, [&] { return __real_mbedtls_ecdh_make_public(ctx, olen, buf, blen, f_rng, p_rng); });
}

int __wrap_mbedtls_ecdh_calc_secret(mbedtls_ecdh_context* ctx, size_t* olen, unsigned char* buf, size_t blen,
                                    int (*f_rng)(void*, unsigned char*, size_t), void* p_rng) {
    return timed(public_key_ns, [&] { return __real_mbedtls_ecdh_calc_secret(ctx, olen, buf, blen, f_rng, p_rng); });
}

int __wrap_mbedtls_pk_verify_restartable(mbedtls_pk_context* ctx, mbedtls_md_type_t md_alg, const unsigned char* hash,
                                         size_t hash_len, const unsigned char* sig, size_t sig_len,
                                         mbedtls_pk_restart_ctx* rs_ctx) {
    return timed(public_key_ns, [&] {
        return __real_mbedtls_pk_verify_restartable(ctx, md_alg, hash, hash_len, sig, sig_len, rs_ctx);
    });
}

// Microseconds spent so far inside the handshake calls, and within them in
// the public-key operations.
std::int64_t Java_app_T_handshakeLibraryMicros(void) { return library_ns / 1000; }
std::int64_t Java_app_T_handshakePublicKeyMicros(void) { return public_key_ns / 1000; }

}  // extern "C"
