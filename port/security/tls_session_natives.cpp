// TLS sessions: one non-blocking stream socket bound to one configuration.
// A handshake, read, write or shutdown drain that would block parks its
// green thread in the select task; the retry callback runs the same step
// again with the time already spent as its argument, so the operation times
// out once no data has moved on the socket for the whole timeout.
#include <mbedtls/ctr_drbg.h>
#include <mbedtls/entropy.h>

#include <climits>
#include <cstring>

#include "platform/address.h"
#include "port/net/async_select.h"
#include "port/security/mbedtls_platform.h"
#include "port/security/tls_configuration.h"
#include "port/security/tls_errors.h"
#include "port/security/tls_natives.h"
#include "vm/core/engine/java_array_range.h"
#include "vm/core/engine/sni.h"
#include "vm/core/port/os_port.h"

using namespace tarvelo::tls;

namespace {

constexpr char DRBG_PERS[] = "mbed TLS tarvelo client";
constexpr std::size_t kPersonalisationLength = 4;
constexpr std::int32_t kZeroWritten = -255;

// The TLS generator, apart from the secure-random natives' one. Application
// task only.
mbedtls_ctr_drbg_context ctr_drbg;
mbedtls_entropy_context entropy;
bool generator_seeded = false;

enum Operation : std::int32_t { kSelectRead = 0, kSelectWrite = 1 };

std::int64_t now_ms() { return LLOSTV_IMPL_getCurrentTime__Z(1); }

TlsSession* session_of(std::int32_t handle) {
    return tarvelo::to_ptr<TlsSession>(static_cast<tarvelo::word_t>(handle));
}

void throw_invalid_argument() { SNI_throwNativeIOException(kInvalidArgument, "Invalid argument"); }

// The session of a blocking native, or null with -63 raised.
TlsSession* checked_session(std::int32_t handle) {
    TlsSession* s = session_of(handle);
    if (s == nullptr) throw_invalid_argument();
    return s;
}

// The time spent so far, handed from a parked step to its retry.
std::int32_t callback_elapsed() {
    void* argument = nullptr;
    (void)SNI_getCallbackArgs(&argument, nullptr);
    return static_cast<std::int32_t>(tarvelo::to_word(argument));
}

void* elapsed_argument(std::int32_t elapsed) { return tarvelo::to_ptr<void>(static_cast<tarvelo::word_t>(elapsed)); }

// Starts one library call on the session: the BIO flag cleared, and the
// session's own verification mode in force (the configuration is shared).
void begin_call(TlsSession* s) {
    LLNET_SSL_utils_mbedtls_on_bio_start();
    mbedtls_ssl_conf_authmode(&s->configuration->conf, s->authMode);
}

// The session of a read or write whose bytes are `length` from `offset` of
// the Java array `buffer`, with the library call begun; null (with -63
// raised) for no session or a range outside the array.
TlsSession* begin_transfer(std::int32_t session, const std::int8_t* buffer, std::int32_t offset,
                           std::int32_t length) {
    TlsSession* s = checked_session(session);
    if (s == nullptr) return nullptr;
    if (!tarvelo::java_array_range_ok(buffer, offset, length)) {
        throw_invalid_argument();
        return nullptr;
    }
    begin_call(s);
    return s;
}

// True when the connection ended with part of a record received: the
// library keeps the bytes of a record being assembled counted in `in_left`
// and clears it once the whole record is in.
bool record_cut_short(const TlsSession* s) { return s->ssl.in_left > 0; }

// a + b, held at the end of the 64-bit range it would pass.
std::int64_t saturated_sum(std::int64_t a, std::int64_t b) {
    std::int64_t sum;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? INT64_MAX : INT64_MIN;
}

}  // namespace

extern "C" {

int LLNET_SSL_utils_mbedtls_random(void*, unsigned char* output, std::size_t length) {
    // An unseeded generator would give predictable keys.
    if (!generator_seeded) return MBEDTLS_ERR_CTR_DRBG_ENTROPY_SOURCE_FAILED;
    return mbedtls_ctr_drbg_random(&ctr_drbg, output, length);
}

std::int64_t LLNET_SSL_utils_deadline(std::int64_t start, std::int32_t elapsed, std::int32_t timeout) {
    return timeout == 0 ? 0 : saturated_sum(saturated_sum(start, elapsed), timeout);
}

// A retry that moved nothing keeps the time already spent: restarting it
// from 0 would move the deadline back to start + timeout.
std::int64_t LLNET_SSL_utils_mbedtls_update_next_bio_timeout(std::int64_t start, std::int64_t deadline,
                                                             std::int32_t timeout, std::int32_t elapsed,
                                                             std::int32_t* outElapsed) {
    *outElapsed = elapsed;
    if (deadline == 0 || !LLNET_SSL_utils_mbedtls_bio_moved_data()) return deadline;
    const std::int64_t now = now_ms();
    // A start after now (or before the 64-bit range allows a difference)
    // counts as the whole time spent.
    std::int64_t spent;
    if (__builtin_sub_overflow(now, start, &spent)) spent = -1;
    *outElapsed = spent >= 0 && spent <= INT32_MAX ? static_cast<std::int32_t>(spent) : INT32_MAX;
    return saturated_sum(now, timeout);
}

// Parks the thread when the library wants the socket, else raises.
void LLNET_SSL_utils_mbedtls_handle_IO_error(TlsSession* s, int result, bool reset, std::int32_t socket,
                                             std::int64_t deadline, void* callback, std::int32_t elapsed) {
    if (result == MBEDTLS_ERR_SSL_WANT_READ || result == MBEDTLS_ERR_SSL_WANT_WRITE) {
        if (deadline != 0 && deadline < now_ms()) {
            SNI_throwNativeIOException(kTimeout, "timeout");
            return;
        }
        (void)async_select(socket, result == MBEDTLS_ERR_SSL_WANT_READ ? kSelectRead : kSelectWrite, deadline, callback,
                           elapsed_argument(elapsed));
        return;
    }
    if (reset) (void)mbedtls_ssl_session_reset(&s->ssl);
    SNI_throwNativeIOException(LLNET_SSL_TranslateReturnCode(result), "MbedTLS ssl operation failed");
}

// --- handshake -----------------------------------------------------------------

std::int32_t LLNET_SSL_SOCKET_initialHandShake(std::int32_t session, std::int32_t socket, std::int64_t start,
                                               std::int32_t timeout, std::int32_t elapsed);

std::int32_t LLNET_SSL_SOCKET_initialHandShake_callback(std::int32_t session, std::int32_t socket, std::int64_t start,
                                                        std::int32_t timeout) {
    return LLNET_SSL_SOCKET_initialHandShake(session, socket, start, timeout, callback_elapsed());
}

std::int32_t LLNET_SSL_SOCKET_initialHandShake(std::int32_t session, std::int32_t socket, std::int64_t start,
                                               std::int32_t timeout, std::int32_t elapsed) {
    TlsSession* s = checked_session(session);
    if (s == nullptr) return 0;
    std::int64_t deadline = LLNET_SSL_utils_deadline(start, elapsed, timeout);
    begin_call(s);
    const bool flights = LLNET_SSL_utils_mbedtls_flights_begin(s->bio);
    const int r = mbedtls_ssl_handshake(&s->ssl);
    LLNET_SSL_utils_mbedtls_flights_end(s->bio, flights);
    if (r == 0) return 0;
    deadline = LLNET_SSL_utils_mbedtls_update_next_bio_timeout(start, deadline, timeout, elapsed, &elapsed);
    LLNET_SSL_utils_mbedtls_handle_IO_error(s, r, true, socket, deadline,
                                            reinterpret_cast<void*>(LLNET_SSL_SOCKET_initialHandShake_callback), elapsed);
    return 0;
}

// --- read --------------------------------------------------------------------

std::int32_t LLNET_SSL_SOCKET_read(std::int32_t session, std::int32_t socket, std::int8_t* buffer, std::int32_t offset,
                                   std::int32_t length, std::int64_t start, std::int32_t timeout, std::int32_t elapsed);

std::int32_t LLNET_SSL_SOCKET_read_callback(std::int32_t session, std::int32_t socket, std::int8_t* buffer,
                                            std::int32_t offset, std::int32_t length, std::int64_t start,
                                            std::int32_t timeout) {
    return LLNET_SSL_SOCKET_read(session, socket, buffer, offset, length, start, timeout, callback_elapsed());
}

std::int32_t LLNET_SSL_SOCKET_read(std::int32_t session, std::int32_t socket, std::int8_t* buffer, std::int32_t offset,
                                   std::int32_t length, std::int64_t start, std::int32_t timeout, std::int32_t elapsed) {
    TlsSession* s = begin_transfer(session, buffer, offset, length);
    if (s == nullptr) return 0;
    std::int64_t deadline = LLNET_SSL_utils_deadline(start, elapsed, timeout);
    int r = mbedtls_ssl_read(&s->ssl, reinterpret_cast<unsigned char*>(buffer + offset), static_cast<std::size_t>(length));
    // The library answers 0 for any end of the connection. An end inside a
    // record lost the rest of the stream: that is the truncation TLS exists
    // to detect, so it fails the read.
    if (r == 0 && record_cut_short(s)) r = MBEDTLS_ERR_SSL_CONN_EOF;
    if (r >= 0) return r;
    // The peer's close_notify (or the end between records, above).
    if (r == MBEDTLS_ERR_SSL_PEER_CLOSE_NOTIFY) return 0;
    deadline = LLNET_SSL_utils_mbedtls_update_next_bio_timeout(start, deadline, timeout, elapsed, &elapsed);
    LLNET_SSL_utils_mbedtls_handle_IO_error(s, r, false, socket, deadline,
                                            reinterpret_cast<void*>(LLNET_SSL_SOCKET_read_callback), elapsed);
    return 0;
}

// --- write -------------------------------------------------------------------

std::int32_t LLNET_SSL_SOCKET_write(std::int32_t session, std::int32_t socket, const std::int8_t* buffer,
                                    std::int32_t offset, std::int32_t length, std::int64_t start, std::int32_t timeout,
                                    std::int32_t elapsed);

std::int32_t LLNET_SSL_SOCKET_write_callback(std::int32_t session, std::int32_t socket, const std::int8_t* buffer,
                                             std::int32_t offset, std::int32_t length, std::int64_t start,
                                             std::int32_t timeout) {
    return LLNET_SSL_SOCKET_write(session, socket, buffer, offset, length, start, timeout, callback_elapsed());
}

std::int32_t LLNET_SSL_SOCKET_write(std::int32_t session, std::int32_t socket, const std::int8_t* buffer,
                                    std::int32_t offset, std::int32_t length, std::int64_t start, std::int32_t timeout,
                                    std::int32_t elapsed) {
    TlsSession* s = begin_transfer(session, buffer, offset, length);
    if (s == nullptr) return 0;
    std::int64_t deadline = LLNET_SSL_utils_deadline(start, elapsed, timeout);
    const int r =
        mbedtls_ssl_write(&s->ssl, reinterpret_cast<const unsigned char*>(buffer + offset), static_cast<std::size_t>(length));
    if (r > 0) return r;
    if (r == 0) {
        SNI_throwNativeIOException(kZeroWritten, "0 byte written");
        return 0;
    }
    deadline = LLNET_SSL_utils_mbedtls_update_next_bio_timeout(start, deadline, timeout, elapsed, &elapsed);
    LLNET_SSL_utils_mbedtls_handle_IO_error(s, r, false, socket, deadline,
                                            reinterpret_cast<void*>(LLNET_SSL_SOCKET_write_callback), elapsed);
    return 0;
}

// --- shutdown drain ------------------------------------------------------------

void LLNET_SSL_SOCKET_drain(std::int32_t session, std::int32_t socket, std::int64_t start, std::int32_t timeout,
                            std::int32_t elapsed);

void LLNET_SSL_SOCKET_close_callback(std::int32_t session, std::int32_t socket, std::int32_t, std::int64_t start,
                                     std::int32_t timeout) {
    LLNET_SSL_SOCKET_drain(session, socket, start, timeout, callback_elapsed());
}

// Reads and drops one byte at a time until the peer's close_notify or the end
// of the connection; each byte renews the deadline.
void LLNET_SSL_SOCKET_drain(std::int32_t session, std::int32_t socket, std::int64_t start, std::int32_t timeout,
                            std::int32_t elapsed) {
    TlsSession* s = checked_session(session);
    if (s == nullptr) return;
    for (;;) {
        std::int64_t deadline = LLNET_SSL_utils_deadline(start, elapsed, timeout);
        unsigned char byte = 0;
        begin_call(s);
        const int r = mbedtls_ssl_read(&s->ssl, &byte, 1);
        if (r == 0 || r == MBEDTLS_ERR_SSL_PEER_CLOSE_NOTIFY || r == MBEDTLS_ERR_SSL_CONN_EOF) return;
        if (r > 0) {
            const std::int64_t spent = now_ms() - start;
            elapsed = spent >= 0 && spent <= INT32_MAX ? static_cast<std::int32_t>(spent) : INT32_MAX;
            continue;
        }
        deadline = LLNET_SSL_utils_mbedtls_update_next_bio_timeout(start, deadline, timeout, elapsed, &elapsed);
        LLNET_SSL_utils_mbedtls_handle_IO_error(s, r, false, socket, deadline,
                                                reinterpret_cast<void*>(LLNET_SSL_SOCKET_close_callback), elapsed);
        return;
    }
}

// --- the natives -----------------------------------------------------------------

void Java_com_olun_support_net_ssl_natives_SSLSocketSupportNatives_initialize(void) {
    if (generator_seeded) return;
    mbedtls_ctr_drbg_init(&ctr_drbg);
    mbedtls_entropy_init(&entropy);
    const int r = mbedtls_ctr_drbg_seed(&ctr_drbg, mbedtls_entropy_func, &entropy,
                                        reinterpret_cast<const unsigned char*>(DRBG_PERS), kPersonalisationLength);
    if (r != 0) {
        mbedtls_ctr_drbg_free(&ctr_drbg);
        mbedtls_entropy_free(&entropy);
        SNI_throwNativeIOException(LLNET_SSL_TranslateReturnCode(r), "MbedTLS init failed");
        return;
    }
    generator_seeded = true;
}

std::int32_t Java_com_olun_support_net_ssl_natives_SSLSocketSupportNatives_create(
    std::int32_t context, std::int32_t socket, const std::int8_t* host, std::int32_t hostLength, std::int32_t,
    std::int32_t flagA, std::int32_t flagB) {
    auto* c = tarvelo::to_ptr<TlsConfiguration>(static_cast<tarvelo::word_t>(context));
    if (c == nullptr || (hostLength > 0 && !tarvelo::java_array_range_ok(host, 0, hostLength))) {
        throw_invalid_argument();
        return 0;
    }
    auto* s = static_cast<TlsSession*>(tarvelo_mbedtls_calloc(1, sizeof(TlsSession)));
    auto* bio = static_cast<BioContext*>(tarvelo_mbedtls_calloc(1, sizeof(BioContext)));
    // The host name is handed over NUL-terminated.
    char* name = hostLength > 0 ? static_cast<char*>(tarvelo_mbedtls_calloc(1, static_cast<std::size_t>(hostLength) + 1))
                                : nullptr;
    if (s == nullptr || bio == nullptr || (hostLength > 0 && name == nullptr)) {
        tarvelo_mbedtls_free(s);
        tarvelo_mbedtls_free(bio);
        tarvelo_mbedtls_free(name);
        SNI_throwNativeIOException(kNotEnoughMemory, "Not enough memory");
        return 0;
    }
    s->configuration = c;
    s->bio = bio;
    bio->socket = socket;
    s->authMode = (flagA != 0 || flagB != 0) ? MBEDTLS_SSL_VERIFY_REQUIRED : MBEDTLS_SSL_VERIFY_NONE;
    mbedtls_ssl_init(&s->ssl);
    int r = mbedtls_ssl_setup(&s->ssl, &c->conf);
    if (r == 0 && name != nullptr) {
        std::memcpy(name, host, static_cast<std::size_t>(hostLength));
        // A failure here would leave the peer's name unchecked.
        r = mbedtls_ssl_set_hostname(&s->ssl, name);
    }
    tarvelo_mbedtls_free(name);
    if (r != 0) {
        mbedtls_ssl_free(&s->ssl);
        tarvelo_mbedtls_free(bio);
        tarvelo_mbedtls_free(s);
        SNI_throwNativeIOException(LLNET_SSL_TranslateReturnCode(r), "MbedTLS SSL context setup failed");
        return 0;
    }
    mbedtls_ssl_set_bio(&s->ssl, bio, LLNET_SSL_utils_mbedtls_send, LLNET_SSL_utils_mbedtls_recv, nullptr);
    return static_cast<std::int32_t>(tarvelo::to_word(s));
}

std::int32_t Java_com_olun_support_net_ssl_natives_SSLSocketSupportNatives_initialClientHandShake(
    std::int32_t session, std::int32_t socket, std::int64_t start, std::int32_t timeout) {
    return LLNET_SSL_SOCKET_initialHandShake(session, socket, start, timeout, 0);
}

std::int32_t Java_com_olun_support_net_ssl_natives_SSLSocketSupportNatives_initialServerHandShake(
    std::int32_t session, std::int32_t socket, std::int64_t start, std::int32_t timeout) {
    return LLNET_SSL_SOCKET_initialHandShake(session, socket, start, timeout, 0);
}

std::int32_t Java_com_olun_support_net_ssl_natives_SSLSocketSupportNatives_read(
    std::int32_t session, std::int32_t socket, std::int8_t* buffer, std::int32_t offset, std::int32_t length,
    std::int64_t start, std::int32_t timeout) {
    return LLNET_SSL_SOCKET_read(session, socket, buffer, offset, length, start, timeout, 0);
}

std::int32_t Java_com_olun_support_net_ssl_natives_SSLSocketSupportNatives_write(
    std::int32_t session, std::int32_t socket, const std::int8_t* buffer, std::int32_t offset, std::int32_t length,
    std::int64_t start, std::int32_t timeout) {
    return LLNET_SSL_SOCKET_write(session, socket, buffer, offset, length, start, timeout, 0);
}

std::int32_t Java_com_olun_support_net_ssl_natives_SSLSocketSupportNatives_available(std::int32_t session) {
    TlsSession* s = checked_session(session);
    if (s == nullptr) return 0;
    return static_cast<std::int32_t>(mbedtls_ssl_get_bytes_avail(&s->ssl));
}

void Java_com_olun_support_net_ssl_natives_SSLSocketSupportNatives_shutdown(std::int32_t session, std::int32_t socket,
                                                                          std::int32_t autoClose, std::int64_t start,
                                                                          std::int32_t timeout) {
    TlsSession* s = checked_session(session);
    if (s == nullptr) return;
    begin_call(s);
    (void)mbedtls_ssl_close_notify(&s->ssl);
    if (autoClose != 0) return;
    LLNET_SSL_SOCKET_drain(session, socket, start, timeout, 0);
}

void Java_com_olun_support_net_ssl_natives_SSLSocketSupportNatives_freeSSL(std::int32_t session) {
    TlsSession* s = checked_session(session);
    if (s == nullptr) return;
    tarvelo_mbedtls_free(s->bio);
    mbedtls_ssl_free(&s->ssl);
    tarvelo_mbedtls_free(s);
}

}  // extern "C"
